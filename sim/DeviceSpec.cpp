#include "sim/DeviceSpec.h"

#include "platform/Numbers.h"
#include "platform/Utf16.h"
#include "sim/Record.h"

#include <set>
#include <vector>

namespace sim {

std::uint16_t applicationProductId(ControllerKind kind) { return kind == ControllerKind::Standard ? 0x014D : 0x015B; }

std::uint16_t bootLoaderProductId(ControllerKind kind) { return kind == ControllerKind::Standard ? 0x014E : 0x015C; }

std::string_view kindName(ControllerKind kind) { return kind == ControllerKind::Standard ? "standard" : "led5"; }

std::string formatVersion(const FirmwareVersion& version) {
    return std::to_string(version.major) + "." + std::to_string(version.minor) + "." + std::to_string(version.build);
}

std::array<std::uint8_t, kFirmwareIdentitySize> defaultFirmwareIdentity(ControllerKind kind) {
    std::array<std::uint8_t, kFirmwareIdentitySize> identity{};
    for (std::size_t i = 0; i < identity.size(); ++i) identity[i] = static_cast<std::uint8_t>(0x30 + i);
    identity[15] = kind == ControllerKind::Standard ? 0x4D : 0x5B;
    return identity;
}

namespace {

std::string_view trim(std::string_view text) {
    while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

std::optional<FirmwareVersion> parseVersion(std::string_view text) {
    std::vector<std::string_view> fields;
    std::size_t start = 0;
    for (std::size_t dot; (dot = text.find('.', start)) != std::string_view::npos; start = dot + 1)
        fields.push_back(text.substr(start, dot - start));
    fields.push_back(text.substr(start));
    if (fields.size() != 3) return std::nullopt;
    const auto major = platform::parseWholeNumber<std::uint8_t>(fields[0]);
    const auto minor = platform::parseWholeNumber<std::uint8_t>(fields[1]);
    const auto build = platform::parseWholeNumber<std::uint32_t>(fields[2]);
    if (!major || !minor || !build) return std::nullopt;
    return FirmwareVersion{*major, *minor, *build};
}

DeviceSpecResult failure(std::string message) { return {std::nullopt, std::move(message)}; }

}  // namespace

DeviceSpecResult parseDeviceSpec(std::string_view text) {
    std::vector<std::string_view> parts;
    std::size_t start = 0;
    for (std::size_t comma; (comma = text.find(',', start)) != std::string_view::npos; start = comma + 1)
        parts.push_back(text.substr(start, comma - start));
    parts.push_back(text.substr(start));

    DeviceSpec spec;
    std::string_view kind = trim(parts[0]);
    if (kind == "standard")
        spec.kind = ControllerKind::Standard;
    else if (kind == "led5")
        spec.kind = ControllerKind::Led5;
    else
        return failure("device kind must be standard or led5, not \"" + std::string(kind) + "\"");

    std::set<std::string> seen;
    for (std::size_t i = 1; i < parts.size(); ++i) {
        std::string_view option = trim(parts[i]);
        std::size_t equals = option.find('=');
        std::string name(option.substr(0, equals));
        std::string_view value = equals == std::string_view::npos ? std::string_view{} : option.substr(equals + 1);
        bool hasValue = equals != std::string_view::npos;
        if (name.empty()) return failure("empty option in device spec");
        if (!seen.insert(name).second) return failure("option " + name + " given twice");

        if (name == "boot" || name == "group" || name == "denied" || name == "sameid") {
            if (hasValue) return failure(name + " takes no value");
            (name == "boot"     ? spec.bootLoader
             : name == "group"  ? spec.groupMember
             : name == "sameid" ? spec.sameId
                                : spec.denied) = true;
        } else if (!hasValue) {
            return failure("option " + name + " needs a value (" + name + "=...)");
        } else if (name == "fw") {
            auto version = parseVersion(value);
            if (!version) return failure("fw must be MAJOR.MINOR.BUILD (0-255, 0-255, 0-4294967295)");
            spec.firmware = *version;
        } else if (name == "name") {
            if (platform::utf8ToUtf16(value).size() > kMaxNameCharacters)
                return failure("name is longer than 20 characters");
            spec.name = std::string(value);
        } else if (name == "board") {
            const auto board = platform::parseWholeNumber<unsigned long>(value);
            if (!board || *board > 0xFFFF) return failure("board must be a number from 0 to 65535");
            spec.boardId = static_cast<std::uint16_t>(*board);
        } else if (name == "identity") {
            std::string bytes;
            if (value.size() != 2 * kFirmwareIdentitySize || !fromHex(value, bytes))
                return failure("identity must be 32 hex digits (16 bytes)");
            std::array<std::uint8_t, kFirmwareIdentitySize> identity{};
            for (std::size_t b = 0; b < identity.size(); ++b) identity[b] = static_cast<std::uint8_t>(bytes[b]);
            spec.identity = identity;
        } else if (name == "subdevices") {
            const auto count = platform::parseWholeNumber<unsigned>(value);
            if (!count || *count < 1 || *count > kMaxSubDevices)
                return failure("subdevices must be a number from 1 to 8");
            spec.subDevices = static_cast<std::uint8_t>(*count);
        } else {
            return failure("unknown option \"" + name + "\" in device spec");
        }
    }
    return {spec, {}};
}

}  // namespace sim
