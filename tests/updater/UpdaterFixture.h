#pragma once

#include "platform/Timing.h"
#include "sim/DeviceSpec.h"
#include "sim/SimBackend.h"
#include "updater/Package.h"

#include <algorithm>
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

// What the updater's tests against the simulator share: shortened waits, and
// firmware packages for the simulated controllers made in memory.
namespace updatertest {

// The updater's waits and pauses shortened for the life of a test, so that a
// failure path costs milliseconds. Declare it before the links, so that it is
// restored after their reader threads have ended.
class ShortUpdaterTiming {
public:
    ShortUpdaterTiming() : m_saved(platform::timing()) {
        using namespace std::chrono_literals;
        platform::TimingPolicy shortened = m_saved;
        shortened.hidReplyWait = 100ms;
        shortened.hidWritePause = 0us;
        shortened.updaterInfoRetryPause = 1ms;
        shortened.updaterFlashRetryPause = 1ms;
        shortened.updaterArrivalSettle = 5ms;
        shortened.updaterReenumerateWait = 300ms;
        shortened.updaterSilentIdleWait = 2s;
        shortened.updaterEraseSettle = 1ms;
        shortened.updaterStepSettle = 1ms;
        platform::setTiming(shortened);
    }
    ~ShortUpdaterTiming() { platform::setTiming(m_saved); }
    ShortUpdaterTiming(const ShortUpdaterTiming&) = delete;
    ShortUpdaterTiming& operator=(const ShortUpdaterTiming&) = delete;

private:
    platform::TimingPolicy m_saved;
};

inline std::vector<std::uint8_t> imageBytes(std::size_t length) {
    std::vector<std::uint8_t> data(length);
    for (std::size_t i = 0; i < length; ++i) data[i] = static_cast<std::uint8_t>((i * 31) ^ (i >> 8));
    return data;
}

// A version area whose application information block (block 2) carries `version`.
inline std::vector<std::uint8_t> infoFor(updater::FirmwareVersion version) {
    std::vector<std::uint8_t> info(180, 0xFF);
    info[122] = version.major;
    info[123] = version.minor;
    for (int i = 0; i < 4; ++i)
        info[124 + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(version.build >> (8 * i));
    info[176] = 0xA5;
    info[177] = 0x5A;
    return info;
}

// Group `g` for the controllers of `kind` with one image (slot 0) for `board`.
inline void addGroup(updater::FirmwarePackage& package, int g, sim::ControllerKind kind, std::uint16_t board,
                     const std::vector<std::uint8_t>& data, updater::FirmwareVersion version) {
    const auto at = static_cast<std::size_t>(g);
    updater::GroupRecord& record = package.trailer.groupRecords[at];
    const auto identity = sim::defaultFirmwareIdentity(kind);
    std::copy(identity.begin(), identity.end(), record.identities[0].begin());
    record.appVendorId = record.bootVendorId = sim::kVendorId;
    record.appProductId = sim::applicationProductId(kind);
    record.bootProductId = sim::bootLoaderProductId(kind);
    record.writeBlockSize = 60;
    updater::GroupBlock& block = package.trailer.groupBlocks[at];
    block.name = kind == sim::ControllerKind::Standard ? u"Standard" : u"LED5";
    block.versionText = u"1.2.7";
    const std::vector<std::uint8_t> info = infoFor(version);
    block.images[0] = {static_cast<std::uint32_t>(data.size()), static_cast<std::uint32_t>(info.size()), u"Test layout",
                       board, version};
    package.images[at * updater::kImagesPerGroup] = {data, info};
}

// The firmware version an emulated controller runs, as "1.2.7".
inline std::string firmwareOf(const sim::SimBackend& simulator, int id) {
    std::string version;
    simulator.inspect(id, [&](const sim::EmulatedController& c) { version = sim::formatVersion(c.firmwareVersion()); });
    return version;
}

// One key of an emulated controller's state ("mode" and the like); empty when absent.
inline std::string stateOf(const sim::SimBackend& simulator, int id, const std::string& key) {
    for (const auto& [name, value] : simulator.state(id).value_or(std::vector<std::pair<std::string, std::string>>{}))
        if (name == key) return value;
    return {};
}

}  // namespace updatertest
