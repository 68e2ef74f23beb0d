#include "sim/EmulatedController.h"

#include "platform/Utf16.h"

#include <algorithm>
#include <cstdio>

namespace sim {

namespace {

constexpr std::uint8_t kCmdSubDevice = 0x10;
constexpr std::uint8_t kCmdBootControl = 0x11;
constexpr std::uint8_t kCmdInformation = 0x12;
constexpr std::uint8_t kCmdFlash = 0x1D;
constexpr std::uint8_t kCmdWritePoint = 0x1E;
constexpr std::uint8_t kCmdWriteBlock = 0x1F;
constexpr std::uint8_t kKeyEnterBootLoader = 0x00;
constexpr std::uint8_t kKeyResetDevice = 0x01;
constexpr std::uint8_t kCmdLink = 0x40;
constexpr std::uint8_t kCmdControlMode = 0x41;
constexpr std::uint8_t kCmdEventReport = 0x42;
constexpr std::uint8_t kCmdControl = 0x50;
constexpr std::uint8_t kCmdWrite = 0x51;
constexpr std::uint8_t kCmdRead = 0x52;

constexpr std::uint8_t kKeyEffectMode = 0x28;
constexpr std::uint8_t kKeyEffectModeList = 0x29;
constexpr std::uint8_t kKeyEffectSlot = 0x2C;
constexpr std::uint8_t kKeyIdentity = 0x94;
constexpr std::uint8_t kKeyZoneMap = 0xA0;

constexpr std::uint8_t kMarkerIdentity = 18;
constexpr std::uint8_t kMarkerGroupMember = 19;

// Settings a 0x51 write stores and a 0x52 read returns, with the indices the
// firmware accepts for each.
struct SettingRule {
    std::uint8_t key;
    std::uint16_t firstIndex;
    std::uint16_t lastIndex;
    const char* name;
};
constexpr SettingRule kSettings[] = {
    {0x28, 0, 0, "effect-mode"},    {0x30, 0, 0, "custom-colors-begin"}, {0x73, 0, 7, "morse"},
    {0x94, 0, 0, "identity-block"}, {0x96, 0, 0, "sync-flag"},           {0x9C, 1, 1, "color-pair"},
    {0xA0, 1, 1, "zone-map"},       {0xA8, 0, 1, "custom-colors"},
};

const SettingRule* findSetting(std::uint8_t key, std::uint16_t index) {
    for (const SettingRule& rule : kSettings)
        if (rule.key == key && index >= rule.firstIndex && index <= rule.lastIndex) return &rule;
    return nullptr;
}

// Mode codes the effect mode list reports; the rest of its 18 bytes are 0xFF.
constexpr std::uint8_t kSupportedModes[] = {0x00, 0x01, 0x02, 0x05, 0x06, 0x07, 0x08,
                                            0x09, 0x0A, 0x0B, 0x10, 0x11, 0xB0, 0xE0};

void putU16(std::span<std::uint8_t> out, std::size_t at, std::uint16_t value) {
    out[at] = static_cast<std::uint8_t>(value & 0xFF);
    out[at + 1] = static_cast<std::uint8_t>(value >> 8);
}

void putU32(std::span<std::uint8_t> out, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) out[at + i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t u32Of(const RecordData& data, std::size_t at) {
    return static_cast<std::uint32_t>(data[at] | data[at + 1] << 8 | data[at + 2] << 16) |
           static_cast<std::uint32_t>(data[at + 3]) << 24;
}

Record withData(const Record& request, const RecordData& data) {
    return makeRecord(recordCmd(request), recordKey(request), recordIndex(request), data);
}

std::string hexOf(const RecordData& data) { return toHex(data); }

std::string hexByte(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "%02x", value & 0xFF);
    return text;
}

}  // namespace

std::optional<FaultKind> parseFaultKind(std::string_view name) {
    for (FaultKind kind : {FaultKind::DropReplies, FaultKind::ErrorReplies, FaultKind::DelayMs, FaultKind::UnplugAfter,
                           FaultKind::ShortWrites, FaultKind::WrongChecksums, FaultKind::PowerCycleAfter})
        if (faultName(kind) == name) return kind;
    return std::nullopt;
}

std::string_view faultName(FaultKind kind) {
    switch (kind) {
    case FaultKind::DropReplies: return "drop-replies";
    case FaultKind::ErrorReplies: return "error-replies";
    case FaultKind::DelayMs: return "delay-ms";
    case FaultKind::UnplugAfter: return "unplug-after";
    case FaultKind::ShortWrites: return "short-writes";
    case FaultKind::WrongChecksums: return "wrong-checksums";
    case FaultKind::PowerCycleAfter: return "power-cycle-after";
    }
    return {};
}

EmulatedController::EmulatedController(const DeviceSpec& spec, std::uint16_t identitySeed)
    : m_spec(spec),
      m_flash(std::size_t{m_layout.applicationStart} + std::size_t{m_layout.unitSize} * m_layout.applicationUnits,
              0xFF),
      m_bootLoader(spec.bootLoader) {
    std::span<std::uint8_t> versionArea(m_flash.data(), m_layout.applicationStart);
    // Version record: text length, then the version as UTF-16LE text.
    putU32(versionArea, 0, kVersionTextBytes);
    std::u16string text = platform::utf8ToUtf16(formatVersion(spec.firmware));
    text.resize(kVersionTextBytes / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i) putU16(versionArea, 4 + 2 * i, text[i]);
    // Application information block.
    std::size_t info = std::size_t{m_layout.applicationInfoBlock} * kDataSize;
    versionArea[info + 2] = spec.firmware.major;
    versionArea[info + 3] = spec.firmware.minor;
    putU32(versionArea, info + 4, spec.firmware.build);
    putU16(versionArea, info + 56, kApplicationInfoMarker);

    // A controller that was never named or grouped has an all-zero identity block.
    RecordData identity{};
    if (!spec.name.empty() || spec.groupMember) {
        identity[0] = spec.groupMember ? kMarkerGroupMember : kMarkerIdentity;
        std::uint16_t seed = identitySeed == 0 ? 1 : identitySeed;
        const std::uint16_t parts[4] = {seed, applicationProductId(spec.kind), 0x2516,
                                        static_cast<std::uint16_t>(0xA000 | (seed & 0x0FFF))};
        for (int i = 0; i < 4; ++i) putU16(identity, 1 + 2 * i, parts[i]);
        std::u16string name = platform::utf8ToUtf16(spec.name);
        for (std::size_t i = 0; i < name.size() && i < kMaxNameCharacters; ++i) putU16(identity, 9 + 2 * i, name[i]);
    }
    m_settings[{kKeyIdentity, 0}] = identity;

    RecordData zoneMap{};
    zoneMap[1] = 3;
    zoneMap[4] = 5;
    zoneMap[5] = 6;
    m_settings[{kKeyZoneMap, 1}] = zoneMap;
}

std::uint16_t EmulatedController::productId() const {
    return inBootLoader() && !m_bootLoaderInPlace && !m_spec.sameId ? bootLoaderProductId(m_spec.kind)
                                                                    : applicationProductId(m_spec.kind);
}

std::string EmulatedController::name() const {
    RecordData identity = m_settings.at({kKeyIdentity, 0});
    std::u16string text;
    for (std::size_t i = 0; i < kMaxNameCharacters; ++i) {
        char16_t c = static_cast<char16_t>(identity[9 + 2 * i] | (identity[10 + 2 * i] << 8));
        if (c == 0) break;
        text.push_back(c);
    }
    return platform::utf16ToUtf8(text);
}

void EmulatedController::setFault(FaultKind kind, int value) {
    value = std::max(value, 0);
    switch (kind) {
    case FaultKind::DropReplies: m_faults.dropReplies = value; break;
    case FaultKind::ErrorReplies: m_faults.errorReplies = value; break;
    case FaultKind::DelayMs: m_faults.delayMs = value; break;
    case FaultKind::UnplugAfter: m_faults.unplugAfter = value; break;
    case FaultKind::ShortWrites: m_faults.shortWrites = value; break;
    case FaultKind::WrongChecksums: m_faults.wrongChecksums = value; break;
    case FaultKind::PowerCycleAfter: m_faults.powerCycleAfter = value; break;
    }
}

Record EmulatedController::eventReport(std::uint16_t index, std::span<const std::uint8_t> data) {
    return makeRecord(kCmdEventReport, 0x20, index, data);
}

Record EmulatedController::errorReply(const Record& request) {
    const std::uint8_t named[2] = {recordCmd(request), recordKey(request)};
    return makeRecord(kErrorCmd, kErrorKey, recordIndex(request), named);
}

void EmulatedController::powerReturned() {
    m_bootLoader = true;
    m_bootLoaderInPlace = false;
    m_writePoint = 0;
    m_subDevice = 0;
}

ControllerResponse EmulatedController::receive(const Record& record) {
    ControllerResponse response;
    ++m_recordsReceived;
    if (m_faults.unplugAfter > 0 && --m_faults.unplugAfter == 0) {
        response.unplug = true;
        return response;
    }
    if (m_faults.powerCycleAfter > 0 && --m_faults.powerCycleAfter == 0) {
        response.powerCycle = true;
        return response;
    }
    // The firmware acts on the record even when its reply is lost.
    const bool wasInBootLoader = m_bootLoader;
    const bool wasInPlace = m_bootLoaderInPlace;
    std::optional<Record> reply = m_bootLoader ? answerBootLoader(record) : answerApplication(record);
    // A sub-device behind the hub switches without the USB device leaving the bus.
    response.reenumerate = m_bootLoader != wasInBootLoader && !(wasInPlace || m_bootLoaderInPlace);
    if (!m_bootLoader) m_bootLoaderInPlace = false;
    // Entering the boot loader or resetting the device is never answered.
    if (response.reenumerate) return response;
    if (m_faults.dropReplies > 0) {
        --m_faults.dropReplies;
        return response;
    }
    if (m_faults.errorReplies > 0) {
        --m_faults.errorReplies;
        reply = errorReply(record);
    }
    if (reply) response.replies.push_back(*reply);
    response.extraDelay = std::chrono::milliseconds(m_faults.delayMs);
    return response;
}

std::optional<Record> EmulatedController::answerApplication(const Record& request) {
    switch (recordCmd(request)) {
    case kCmdInformation:
        if (auto reply = answerInformation(request)) return reply;
        break;
    case kCmdBootControl:
        if (recordKey(request) == kKeyEnterBootLoader) {
            m_bootLoader = true;
            m_bootLoaderInPlace = m_subDevice != 0;
            return std::nullopt;
        }
        break;
    case kCmdSubDevice:
        if (m_spec.subDevices > 1) return answerSubDevice(request);
        break;
    case kCmdLink:
        if (recordIndex(request) != 0) break;
        if (recordKey(request) == 0x20) {
            RecordData data{};
            putU32(data, 0, 0x00010000u | productId());
            putU16(data, 4, kRecordSize);
            data[6] = 1;
            return withData(request, data);
        }
        if (recordKey(request) == 0x63) {
            RecordData data{};
            data[0] = 1;
            data[1] = m_controlMode;
            return withData(request, data);
        }
        break;
    case kCmdControlMode:
        if (recordIndex(request) != 0) break;
        m_controlMode = recordKey(request);
        return request;
    case kCmdEventReport:
        if (recordKey(request) != 0x00 || recordIndex(request) != 0) break;
        m_eventReportValue = static_cast<std::uint32_t>(request[4] | (request[5] << 8) | (request[6] << 16)) |
                             (static_cast<std::uint32_t>(request[7]) << 24);
        m_eventReportSwitch = request[8];
        return request;
    case kCmdControl:
        if (recordIndex(request) != 0) break;
        if (recordKey(request) == 0x00 || recordKey(request) == 0x10 || recordKey(request) == 0x55) {
            m_lastControl = recordKey(request);
            return request;
        }
        break;
    case kCmdWrite:
        if (auto reply = answerSettingWrite(request)) return reply;
        break;
    case kCmdRead:
        if (auto reply = answerSettingRead(request)) return reply;
        break;
    default: break;
    }
    return errorReply(request);
}

RecordData EmulatedController::firmwareInformation() const {
    RecordData data{};
    auto identity = m_spec.identity.value_or(defaultFirmwareIdentity(m_spec.kind));
    std::copy(identity.begin(), identity.end(), data.begin() + 4);
    putU16(data, 20, static_cast<std::uint16_t>(m_spec.boardId + m_subDevice));
    putU16(data, 32, m_layout.unitSize);
    putU16(data, 34, m_layout.applicationUnits);
    putU16(data, 36, m_layout.applicationStart);
    return data;
}

RecordData EmulatedController::informationBlock(std::uint8_t number) const {
    RecordData data;
    data.fill(0xFF);
    std::size_t start = std::size_t{number} * kDataSize;
    for (std::size_t i = 0; i < kDataSize && start + i < m_layout.applicationStart; ++i) data[i] = m_flash[start + i];
    return data;
}

std::optional<Record> EmulatedController::answerInformation(const Record& request) const {
    if (recordIndex(request) != 0) return std::nullopt;
    std::uint8_t key = recordKey(request);
    RecordData data{};
    if (key == 0x00) {
        data = firmwareInformation();
    } else if (key == 0x01) {
        data[0] = 4;
        putU16(data, 2, m_layout.applicationInfoBlock);
    } else if (key == 0x02) {
        data[0] = m_bootLoader ? 0 : 1;  // the application firmware needs the boot loader for updates
    } else if (key >= 0x20) {
        data = informationBlock(static_cast<std::uint8_t>(key - 0x20));
    } else {
        return std::nullopt;
    }
    return withData(request, data);
}

std::tuple<std::uint16_t, std::uint8_t, std::uint8_t> EmulatedController::slotKey(std::uint16_t slot,
                                                                                  const RecordData& data) {
    bool zoneSlot = data[0] == 5 || data[0] == 6;
    return {slot, data[0], zoneSlot ? data[3] : std::uint8_t{0}};
}

std::optional<Record> EmulatedController::answerSettingWrite(const Record& request) {
    std::uint8_t key = recordKey(request);
    std::uint16_t index = recordIndex(request);
    RecordData data = recordData(request);
    if (key == kKeyEffectSlot) {
        m_effectSlots[slotKey(index, data)] = data;
        return request;
    }
    if (!findSetting(key, index)) return std::nullopt;
    m_settings[{key, index}] = data;
    return request;
}

std::optional<Record> EmulatedController::answerSettingRead(const Record& request) const {
    std::uint8_t key = recordKey(request);
    std::uint16_t index = recordIndex(request);
    if (key == kKeyEffectSlot) {
        RecordData asked = recordData(request);
        auto key3 = slotKey(index, asked);
        auto found = m_effectSlots.find(key3);
        if (found != m_effectSlots.end()) return withData(request, found->second);
        // Never written: a blank record of the mode asked for.
        RecordData blank{};
        blank[0] = std::get<1>(key3);
        blank[3] = std::get<2>(key3);
        return withData(request, blank);
    }
    if (key == kKeyEffectModeList && index == 0) {
        RecordData list{};
        std::fill(list.begin(), list.begin() + 18, 0xFF);
        std::copy(std::begin(kSupportedModes), std::end(kSupportedModes), list.begin());
        return withData(request, list);
    }
    if (!findSetting(key, index)) return std::nullopt;
    auto found = m_settings.find({key, index});
    return withData(request, found == m_settings.end() ? RecordData{} : found->second);
}

std::optional<RecordData> EmulatedController::setting(std::uint8_t key, std::uint16_t index) const {
    auto found = m_settings.find({key, index});
    if (found == m_settings.end()) return std::nullopt;
    return found->second;
}

std::optional<RecordData> EmulatedController::effectSlot(std::uint16_t slot, std::uint8_t mode,
                                                         std::uint8_t subMode) const {
    RecordData asked{};
    asked[0] = mode;
    asked[3] = subMode;
    auto found = m_effectSlots.find(slotKey(slot, asked));
    if (found == m_effectSlots.end()) return std::nullopt;
    return found->second;
}

std::vector<std::pair<std::string, std::string>> EmulatedController::state() const {
    std::vector<std::pair<std::string, std::string>> lines;
    auto add = [&](std::string key, std::string value) { lines.emplace_back(std::move(key), std::move(value)); };
    char pid[8];
    std::snprintf(pid, sizeof pid, "%04x", productId());
    add("kind", std::string(kindName(m_spec.kind)));
    add("pid", pid);
    add("mode", inBootLoader() ? "boot" : "app");
    add("firmware", formatVersion(firmwareVersion()));
    add("board", std::to_string(m_spec.boardId));
    auto identity = m_spec.identity.value_or(defaultFirmwareIdentity(m_spec.kind));
    add("identity", toHex(identity));
    add("name", name());
    std::uint8_t marker = m_settings.at({kKeyIdentity, 0})[0];
    add("group", marker == kMarkerGroupMember ? "1" : "0");
    add("control-mode", hexByte(m_controlMode));
    char eventReport[16];
    std::snprintf(eventReport, sizeof eventReport, "%08x", m_eventReportValue);
    add("event-report", std::string(eventReport) + "," + hexByte(m_eventReportSwitch));
    add("last-control", m_lastControl ? hexByte(*m_lastControl) : "none");
    add("records", std::to_string(m_recordsReceived));
    char checksum[16];
    std::snprintf(checksum, sizeof checksum, "%08x",
                  *flashChecksum(m_layout.applicationStart,
                                 static_cast<std::uint32_t>(m_flash.size() - m_layout.applicationStart)));
    add("flash-checksum", checksum);
    add("write-point", std::to_string(m_writePoint));
    add("sub-device", std::to_string(m_subDevice) + "/" + std::to_string(m_spec.subDevices));
    for (FaultKind kind : {FaultKind::DropReplies, FaultKind::ErrorReplies, FaultKind::DelayMs, FaultKind::UnplugAfter,
                           FaultKind::ShortWrites, FaultKind::WrongChecksums, FaultKind::PowerCycleAfter}) {
        int value = kind == FaultKind::DropReplies      ? m_faults.dropReplies
                    : kind == FaultKind::ErrorReplies   ? m_faults.errorReplies
                    : kind == FaultKind::DelayMs        ? m_faults.delayMs
                    : kind == FaultKind::UnplugAfter    ? m_faults.unplugAfter
                    : kind == FaultKind::ShortWrites    ? m_faults.shortWrites
                    : kind == FaultKind::WrongChecksums ? m_faults.wrongChecksums
                                                        : m_faults.powerCycleAfter;
        add("fault-" + std::string(faultName(kind)), std::to_string(value));
    }
    for (const auto& [where, data] : m_settings) {
        const SettingRule* rule = findSetting(where.first, where.second);
        std::string key = rule ? rule->name : "setting-" + hexByte(where.first);
        if (rule && rule->firstIndex != rule->lastIndex) key += "-" + std::to_string(where.second);
        add(key, hexOf(data));
    }
    for (const auto& [where, data] : m_effectSlots) {
        auto [slot, mode, subMode] = where;
        std::string key = "slot-" + std::to_string(slot) + "-" + hexByte(mode);
        if (mode == 5 || mode == 6) key += "-" + hexByte(subMode);
        add(key, hexOf(data));
    }
    return lines;
}

FirmwareVersion EmulatedController::firmwareVersion() const {
    const std::size_t info = std::size_t{m_layout.applicationInfoBlock} * kDataSize;
    if ((m_flash[info + 56] | m_flash[info + 57] << 8) != kApplicationInfoMarker) return {0, 0, 0};
    FirmwareVersion version;
    version.major = m_flash[info + 2];
    version.minor = m_flash[info + 3];
    version.build = static_cast<std::uint32_t>(m_flash[info + 4] | m_flash[info + 5] << 8 | m_flash[info + 6] << 16) |
                    static_cast<std::uint32_t>(m_flash[info + 7]) << 24;
    return version;
}

std::optional<std::uint32_t> EmulatedController::flashChecksum(std::uint32_t start, std::uint32_t length) const {
    if (start > m_flash.size() || length > m_flash.size() - start) return std::nullopt;
    std::uint32_t sum = 0;
    for (std::uint32_t offset = 0; offset < length; offset += 4) {
        std::uint32_t word = 0;
        for (std::uint32_t i = 0; i < 4 && offset + i < length; ++i)
            word |= static_cast<std::uint32_t>(m_flash[start + offset + i]) << (8 * i);
        sum += word;
    }
    return sum;
}

std::optional<Record> EmulatedController::answerBootLoader(const Record& request) {
    const std::uint8_t key = recordKey(request);
    switch (recordCmd(request)) {
    case kCmdSubDevice: return answerSubDevice(request);
    case kCmdBootControl:
        if (key == kKeyResetDevice) {
            m_bootLoader = false;
            return std::nullopt;
        }
        if (key == kKeyEnterBootLoader) return std::nullopt;  // already there
        break;
    case kCmdInformation:
        if (auto reply = answerInformation(request)) return reply;
        break;
    case kCmdFlash:
    case kCmdWritePoint:
    case kCmdWriteBlock:
        if (auto reply = answerFlash(request)) return reply;
        break;
    default: break;
    }
    return errorReply(request);
}

std::optional<Record> EmulatedController::answerSubDevice(const Record& request) {
    const std::uint32_t asked = u32Of(recordData(request), 0);
    RecordData reply{};
    switch (recordKey(request)) {
    case 0x00: putU32(reply, 0, m_subDevice); return withData(request, reply);
    case 0x01:
        if (asked >= m_spec.subDevices) break;
        m_subDevice = asked;
        return request;
    case 0x02: putU32(reply, 0, m_spec.subDevices); return withData(request, reply);
    default: break;
    }
    return errorReply(request);
}

std::optional<Record> EmulatedController::answerFlash(const Record& request) {
    const std::uint8_t key = recordKey(request);
    const RecordData data = recordData(request);
    const auto u32At = [&](std::size_t at) { return u32Of(data, at); };
    const std::uint32_t size = static_cast<std::uint32_t>(m_flash.size());
    switch (recordCmd(request)) {
    case kCmdFlash:
        if (key == 0x00) {
            // A length within the version area erases only that area; anything
            // longer erases the whole chip, version area and application.
            const std::uint32_t length = u32At(4);
            std::fill(m_flash.begin(), m_flash.begin() + (length <= m_layout.applicationStart ? length : size), 0xFF);
            return request;
        }
        if (key == 0x01) {
            auto sum = flashChecksum(u32At(0), u32At(4));
            if (!sum) break;
            if (m_faults.wrongChecksums > 0) {
                --m_faults.wrongChecksums;
                ++*sum;
            }
            RecordData reply{};
            putU32(reply, 0, *sum);
            return withData(request, reply);
        }
        break;
    case kCmdWritePoint:
        if (key == 0x00 && u32At(0) == 0xFFFFFFFFu) {
            RecordData reply{};
            putU32(reply, 0, m_writePoint);
            return withData(request, reply);
        }
        if (key == 0x01 && u32At(0) <= size) {
            m_writePoint = u32At(0);
            return request;
        }
        break;
    case kCmdWriteBlock: {
        std::uint32_t length = key;
        if (length == 0 || length > kDataSize || length > size - m_writePoint) break;
        if (m_faults.shortWrites > 0) {
            --m_faults.shortWrites;
            length = length > 2 ? length - 2 : 0;
        }
        std::copy(data.begin(), data.begin() + length, m_flash.begin() + m_writePoint);
        m_writePoint += length;
        RecordData reply{};
        putU32(reply, 0, m_writePoint);
        return makeRecord(kCmdWritePoint, 0x02, recordIndex(request), reply);
    }
    default: break;
    }
    return std::nullopt;
}

}  // namespace sim
