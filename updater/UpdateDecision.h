#pragma once

#include "updater/IapLink.h"
#include "updater/Package.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>

// What the updater decides before it flashes: which image fits the connected
// controller, whether the package is newer, and the process exit codes.
namespace updater {

enum ExitCode : int {
    kExitSuccess = 0,
    kExitUpdateFailed = 1,
    kExitNoDevice = 2,
    kExitDeviceProblem = 3,
    kExitNotNewer = 4,
};

// Results of the image choice besides an image number 0-8.
inline constexpr int kNoFittingImage = -1;
inline constexpr int kNotOfGroup = -2;
inline constexpr int kNoInformation = -3;

struct DeviceInformation {
    std::array<std::uint8_t, 64> firmware{};          // GetFwInfo
    std::array<std::uint8_t, 60> applicationBlock{};  // the block GetApInfoIndex names; zero when unread
    std::array<std::uint8_t, 60> versionBlock{};      // GetInfoBlock(0)
};

// Reads the three records, each up to kRetries times; false when the
// firmware information or the version block never comes.
bool ReadDeviceInformation(IapLink& link, DeviceInformation& information);

// The image of `imageGroup` for a device of `deviceGroup`: with
// `imageNumberOption` (1-9) that image, else the first whose board ID matches.
int ChooseImage(const DeviceInformation& information, const GroupRecord& deviceGroup, const GroupBlock& imageGroup,
                int imageNumberOption);

// The version text of the device's version block; empty when none is stored.
std::u16string DeviceVersionText(const DeviceInformation& information);

// The device version of the application block, when the block is valid.
bool DeviceVersion(const DeviceInformation& information, FirmwareVersion& version);

// -1 when `a` is older than `b`, 0 equal, 1 newer.
int CompareVersions(const FirmwareVersion& a, const FirmwareVersion& b);

// The package counts as newer when the device block is unknown or invalid,
// or when the image version is greater.
bool IsPackageNewer(const DeviceInformation& information, const ImageEntry& image);

// The refusal text of a failed image choice.
std::string ImageChoiceReason(int selectedImage);

// Why Update does not run. Silent runs end with `exitCode`; the window shows
// `message` in a message box, or the result pop-up with code 3 when
// `message` is empty.
struct Refusal {
    int exitCode = 0;
    std::string message;
    bool operator==(const Refusal&) const = default;
};

struct UpdateRequest {
    int selectedImage = kNoFittingImage;  // an image of the image group, or why there is none
    int imageGroup = -1;
    int deviceGroup = -1;
    bool force = false;
    int imageNumberOption = -1;  // "bin:", 1-9
};

// The checks of Update in their order: an image was chosen, its group and
// data exist, and the update is due (forced, another group's image, an image
// number given, or the package newer than the device).
std::optional<Refusal> RefuseUpdate(const Trailer& trailer, const DeviceInformation& information,
                                    const UpdateRequest& request);

}  // namespace updater
