#pragma once

#include "sim/DeviceSpec.h"
#include "sim/Record.h"

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <tuple>
#include <utility>
#include <vector>

// A model of the controller firmware as the host sees it: it takes command
// records and answers with reply records. The application firmware is
// emulated; a boot-loader answer function and its flash model can sit beside
// it, selected by the controller's mode, without changing the callers.
namespace sim {

enum class FaultKind { DropReplies, ErrorReplies, DelayMs, UnplugAfter, ShortWrites, WrongChecksums, PowerCycleAfter };

// "drop-replies", "error-replies", "delay-ms", "unplug-after", "short-writes", "wrong-checksums",
// "power-cycle-after".
std::optional<FaultKind> parseFaultKind(std::string_view name);
std::string_view faultName(FaultKind kind);

struct ControllerFaults {
    int dropReplies = 0;     // the next N records are stored but not answered
    int errorReplies = 0;    // the next N records are answered with 0xFF/0xAA
    int delayMs = 0;         // every reply comes this much later than the latency
    int unplugAfter = 0;     // the Nth record from now disconnects the controller unanswered; 0 = never
    int shortWrites = 0;     // the next N block writes in the boot loader store 2 bytes less
    int wrongChecksums = 0;  // the next N flash checksums are reported one too high
    // The Nth record from now cuts the power: the controller leaves the bus
    // unanswered and comes back in its boot loader, its flash as it was; 0 = never.
    int powerCycleAfter = 0;
};

// What the controller does with one record.
struct ControllerResponse {
    std::vector<Record> replies;
    std::chrono::milliseconds extraDelay{0};
    bool unplug = false;
    // The power was cut: the controller leaves the bus and returns (powerReturned).
    bool powerCycle = false;
    // The controller entered or left its boot loader: it leaves the bus and
    // comes back under its other product ID.
    bool reenumerate = false;
};

// Layout of the firmware information and version area the emulation reports.
struct FlashLayout {
    std::uint16_t unitSize = 1024;          // P
    std::uint16_t applicationUnits = 64;    // N: 64 KiB of application
    std::uint16_t applicationStart = 1024;  // S, also the version area's size
    std::uint16_t applicationInfoBlock = 2;
};

constexpr std::uint8_t kErrorCmd = 0xFF;
constexpr std::uint8_t kErrorKey = 0xAA;
constexpr std::uint16_t kApplicationInfoMarker = 0x5AA5;
constexpr std::size_t kVersionTextBytes = 26;

class EmulatedController {
public:
    // `identitySeed` makes the 8-byte identity of a named or grouped
    // controller unique among the controllers of one simulator.
    EmulatedController(const DeviceSpec& spec, std::uint16_t identitySeed);

    const DeviceSpec& spec() const { return m_spec; }
    std::uint16_t productId() const;
    bool inBootLoader() const { return m_bootLoader; }
    // The version the application information block of the version area holds
    // (0.0.0 when the block is erased or invalid).
    FirmwareVersion firmwareVersion() const;
    // Flash layout: the version area [0, S), then the application [S, S + P*N).
    const std::vector<std::uint8_t>& flash() const { return m_flash; }
    std::uint32_t writePoint() const { return m_writePoint; }
    // Little-endian 32-bit words of flash[start, start + length), a final
    // partial word padded with zeros; nullopt when the range leaves the flash.
    std::optional<std::uint32_t> flashChecksum(std::uint32_t start, std::uint32_t length) const;
    // The name from the identity block as stored now (UTF-8, cut at the first zero).
    std::string name() const;

    ControllerResponse receive(const Record& record);
    // Power is back after a cut: the boot loader runs, the write point and the
    // sub-device selection are lost, the flash is as the cut left it.
    void powerReturned();
    void setFault(FaultKind kind, int value);
    const ControllerFaults& faults() const { return m_faults; }

    // The unsolicited report 0x42/0x20 the controller sends on its own.
    static Record eventReport(std::uint16_t index, std::span<const std::uint8_t> data);
    static Record errorReply(const Record& request);

    // The setting a 0x51 write stored under (key, index), as a 0x52 read returns it.
    std::optional<RecordData> setting(std::uint8_t key, std::uint16_t index) const;
    // The effect slot record stored for `mode` (and, in zone slots, `subMode`).
    std::optional<RecordData> effectSlot(std::uint16_t slot, std::uint8_t mode, std::uint8_t subMode) const;
    std::uint8_t controlMode() const { return m_controlMode; }
    std::uint64_t recordsReceived() const { return m_recordsReceived; }
    RecordData firmwareInformation() const;
    RecordData informationBlock(std::uint8_t number) const;

    // The emulated state as key=value pairs, in a stable order.
    std::vector<std::pair<std::string, std::string>> state() const;

private:
    std::optional<Record> answerApplication(const Record& request);
    std::optional<Record> answerInformation(const Record& request) const;
    std::optional<Record> answerBootLoader(const Record& request);
    std::optional<Record> answerFlash(const Record& request);
    std::optional<Record> answerSubDevice(const Record& request);
    std::optional<Record> answerSettingWrite(const Record& request);
    std::optional<Record> answerSettingRead(const Record& request) const;
    static std::tuple<std::uint16_t, std::uint8_t, std::uint8_t> slotKey(std::uint16_t slot, const RecordData& data);

    DeviceSpec m_spec;
    FlashLayout m_layout;
    std::vector<std::uint8_t> m_flash;
    bool m_bootLoader = false;
    // Entered for a sub-device other than 0: the hub keeps its application product ID.
    bool m_bootLoaderInPlace = false;
    std::uint32_t m_writePoint = 0;
    std::uint32_t m_subDevice = 0;
    ControllerFaults m_faults;
    std::uint64_t m_recordsReceived = 0;

    std::map<std::pair<std::uint8_t, std::uint16_t>, RecordData> m_settings;
    std::map<std::tuple<std::uint16_t, std::uint8_t, std::uint8_t>, RecordData> m_effectSlots;
    std::uint8_t m_controlMode = 0;
    std::uint32_t m_eventReportValue = 0;
    std::uint8_t m_eventReportSwitch = 0;
    std::optional<std::uint8_t> m_lastControl;
};

}  // namespace sim
