#pragma once

#include "devicelink/ControllerKinds.h"
#include "updater/Package.h"

#include <array>
#include <cstdint>
#include <string>

namespace devicelink {
class CUSBDriver;
}

// Lumenstra's firmware version check: the version the family's updater
// carries against the one the controller reports, without any window.
namespace devicecontrol {

// programFolder (ending with '/') + "Nimbrel/Nimbrel" (standard family) or "Nimbrel/Nimbrel2".
std::string UpdaterPath(const std::string& programFolder, devicelink::Family family);

// Whether an updater with a readable firmware package is installed for a family.
struct PackageStatus {
    bool installed = false;
    bool updaterPresent = false;  // the updater's file exists
    std::string problem;          // why its package cannot be read; empty when installed or absent
};
PackageStatus CheckFirmwarePackage(const std::string& updaterPath);

struct FirmwareCheckState {
    std::string packageMessage;    // why the updater's package could not be read; empty when it could
    std::u16string deviceVersion;  // the controller's version text
    std::u16string updateVersion;  // the version text the package offers
    int group = -1;                // package group of the link, -1 none
    int image = -1;                // image for the controller; -2 not of the group, -3 unreadable
    updater::FirmwareVersion imageVersion;
    std::array<std::uint8_t, 60> applicationInformation{};  // 0xFF bytes until read
};

// -1 the controller is older (an update is due), 0 no update, 1 the controller is newer.
int CompareFirmwareVersions(const FirmwareCheckState& state);

// Reads the trailer of `updaterPath`, the controller's information through
// `link` at `position` (each read up to 15 times), picks the package image and compares.
int FirmwareCheck(devicelink::CUSBDriver& link, int position, const std::string& updaterPath,
                  FirmwareCheckState& state);

}  // namespace devicecontrol
