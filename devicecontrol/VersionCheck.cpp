#include "devicecontrol/VersionCheck.h"

#include "devicelink/UsbDriver.h"
#include "platform/LittleEndian.h"
#include "platform/Timing.h"

#include <algorithm>
#include <filesystem>
#include <thread>

namespace devicecontrol {
namespace {

constexpr int kReadAttempts = 15;

template <class Read>
bool tryRead(Read read) {
    for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(platform::timing().updaterInfoRetryPause);
        if (read()) return true;
    }
    return false;
}

std::u16string versionTextOf(const std::uint8_t (&block)[60]) {
    std::u16string text;
    for (std::size_t i = 4; i + 1 < 60; i += 2) {
        const char16_t c = static_cast<char16_t>(platform::readLe16(block + i));
        if (c == 0 || c == 0xFFFF) break;
        text.push_back(c);
    }
    return text;
}

}  // namespace

std::string UpdaterPath(const std::string& programFolder, devicelink::Family family) {
    return programFolder + "Nimbrel/" + (family != devicelink::Family::Standard ? "Nimbrel2" : "Nimbrel");
}

PackageStatus CheckFirmwarePackage(const std::string& updaterPath) {
    PackageStatus status;
    std::error_code error;
    status.updaterPresent = std::filesystem::exists(updaterPath, error);
    if (!status.updaterPresent) return status;
    const updater::PackageLoad load = updater::LoadPackage(updaterPath);
    status.installed = load.ok;
    if (load.ok) return status;
    status.problem = load.message;
    while (!status.problem.empty() && status.problem.back() == '\n') status.problem.pop_back();
    if (status.problem.empty()) status.problem = "the package is damaged";
    return status;
}

int CompareFirmwareVersions(const FirmwareCheckState& state) {
    if (state.group < 0) return 0;
    if (state.image < 0) return 1;
    const auto& info = state.applicationInformation;
    if (info[2] == 0xFF && info[3] == 0xFF) return 0;
    const std::uint32_t build = platform::readLe32(info.data() + 4);
    if (state.imageVersion.major != info[2]) return state.imageVersion.major > info[2] ? -1 : 0;
    if (state.imageVersion.minor != info[3]) return state.imageVersion.minor > info[3] ? -1 : 0;
    if (state.imageVersion.build != build) return state.imageVersion.build > build ? -1 : 1;
    return 0;
}

int FirmwareCheck(devicelink::CUSBDriver& link, int position, const std::string& updaterPath,
                  FirmwareCheckState& state) {
    state = FirmwareCheckState{};
    state.applicationInformation.fill(0xFF);
    updater::Trailer trailer;
    // A missing or damaged package offers nothing: no group matches.
    const bool havePackage = updater::ReadPackageTrailer(updaterPath, trailer);
    if (!havePackage) {
        state.packageMessage = updater::LoadPackage(updaterPath).message;
        trailer = updater::Trailer{};
    }
    state.updateVersion = trailer.captions[2];

    state.image = -3;
    std::uint8_t firmware[64] = {};
    std::uint8_t block0[60] = {};
    // Fifteen tries at a controller that is not there would only hold the window up.
    const bool attached = position >= 0 && position < link.deviceCount();
    const bool informationRead = attached && tryRead([&] { return link.GetFwInfo(firmware, position) == 0; });
    if (informationRead) {
        const bool versionBlockRead = tryRead([&] { return link.GetInfoBlock(0, block0, position) == 0; });
        std::uint8_t application[60] = {};
        if (versionBlockRead && tryRead([&] {
                std::uint16_t number = 0;
                return link.GetApInfoIndex(number, position) == 0 &&
                       link.GetInfoBlock(number, application, position) == 0;
            }))
            std::copy(std::begin(application), std::end(application), state.applicationInformation.begin());
    }
    state.deviceVersion = versionTextOf(block0);

    const auto& ids = link.matchConfig();
    for (int g = 0; g < updater::kGroupCount; ++g) {
        const updater::GroupRecord& record = trailer.groupRecords[static_cast<std::size_t>(g)];
        // A group is empty only when both application IDs are 0.
        if (record.appVendorId == 0 && record.appProductId == 0) continue;
        if (record.appVendorId != ids.VendorID) continue;
        if (record.appProductId != ids.ProductID && record.bootProductId != ids.ProductID) continue;
        state.group = g;
        break;
    }
    if (state.group >= 0) {
        const updater::GroupBlock& block = trailer.groupBlocks[static_cast<std::size_t>(state.group)];
        const updater::GroupRecord& record = trailer.groupRecords[static_cast<std::size_t>(state.group)];
        // A controller whose information could not be read keeps -3.
        if (informationRead) {
            const bool identityMatches =
                std::any_of(record.identities.begin(), record.identities.end(), [&](const auto& identity) {
                    return std::equal(identity.begin(), identity.end(), firmware + 4);
                });
            state.image = identityMatches ? -1 : -2;
            const std::uint16_t board = platform::readLe16(firmware + 20);
            for (int n = 0; identityMatches && n < updater::kImagesPerGroup; ++n) {
                const updater::ImageEntry& entry = block.images[static_cast<std::size_t>(n)];
                if (entry.dataLength != 0 && entry.boardId == board) {
                    state.image = n;
                    state.imageVersion = entry.version;
                    break;
                }
            }
        }
        state.updateVersion = block.versionText;
    }
    return CompareFirmwareVersions(state);
}

}  // namespace devicecontrol
