#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// What a simulated controller is made of, as written on the devsim command
// line: "standard|led5 [,fw=MAJOR.MINOR.BUILD] [,boot] [,name=TEXT] [,group]
// [,board=N] [,identity=HEX] [,subdevices=N] [,denied] [,sameid]".
namespace sim {

constexpr std::uint16_t kVendorId = 0x2516;
constexpr std::uint16_t kUsagePage = 0xFF00;
constexpr std::uint16_t kUsage = 0x0001;

enum class ControllerKind { Standard, Led5 };

std::uint16_t applicationProductId(ControllerKind kind);
std::uint16_t bootLoaderProductId(ControllerKind kind);
std::string_view kindName(ControllerKind kind);

struct FirmwareVersion {
    std::uint8_t major = 1;
    std::uint8_t minor = 0;
    std::uint32_t build = 0;
    bool operator==(const FirmwareVersion&) const = default;
};
std::string formatVersion(const FirmwareVersion& version);

constexpr std::size_t kFirmwareIdentitySize = 16;
constexpr std::size_t kMaxNameCharacters = 20;
constexpr unsigned kMaxSubDevices = 8;

struct DeviceSpec {
    ControllerKind kind = ControllerKind::Standard;
    FirmwareVersion firmware;
    bool bootLoader = false;    // starts in its boot loader
    std::string name;           // UTF-8, at most 20 UTF-16 characters
    bool groupMember = false;   // identity block marker 19 instead of 18
    std::uint16_t boardId = 1;  // firmware information bytes 20-21
    // Firmware information bytes 4-19; empty means the kind's default.
    std::optional<std::array<std::uint8_t, kFirmwareIdentitySize>> identity;
    // Controllers behind the one USB device (1-8). With more than one, the
    // application firmware answers the sub-device commands, sub-device k
    // reports board ID board + k, and a sub-device other than 0 enters and
    // leaves its boot loader without the USB device re-enumerating.
    std::uint8_t subDevices = 1;
    // The host may not open it, as a device node without the udev rule's permission.
    bool denied = false;
    // Its boot loader keeps the application's product ID, a layout some boards use.
    bool sameId = false;
    bool operator==(const DeviceSpec&) const = default;
};

// The identity a controller of `kind` reports when its spec names none.
std::array<std::uint8_t, kFirmwareIdentitySize> defaultFirmwareIdentity(ControllerKind kind);

struct DeviceSpecResult {
    std::optional<DeviceSpec> spec;
    std::string error;  // set when spec is empty
};

// Parses the text; options may come in any order, each at most once. Spaces
// around commas and the kind are ignored; the name keeps inner spaces.
DeviceSpecResult parseDeviceSpec(std::string_view text);

}  // namespace sim
