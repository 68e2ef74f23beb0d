#pragma once

#include "updater/Package.h"

#include <string>

namespace updater {

// A package described in text, for building updaters (nimbrel-pack):
//
//   title = Nimbrel            caption1 = ...   caption2 = ...   caption3 = ...
//   group_selector = yes|no    default_group = 1..5
//   [group G]                  G = 1..5
//   name = ...   version_text = ...   app = VVVV:PPPP   boot = VVVV:PPPP
//   identity = 32 hex digits (up to five lines)
//   sub_device_scan = yes|no   sub_device = N   block_size = 1..60
//   [image G.I]                I = 1..9
//   name = ...   board = N   version = MAJOR.MINOR.BUILD
//   data = FILE   info = FILE  (relative to the manifest's folder)
//
// Blank lines and lines starting with '#' are ignored; numbers are decimal or 0x hex.
// The version area of the controllers (their S): an information part longer
// than this would overwrite the start of the application.
constexpr std::size_t kVersionAreaSize = 1024;

// A manifest loads only when it yields at least one image to update with:
// every image lies in a group with its application IDs and a block size, has
// a non-empty data part and an information part that fits the version area,
// and every text fits its field.
struct Manifest {
    Trailer trailer;
    std::array<FirmwareImage, kGroupCount * kImagesPerGroup> images;
};

struct ManifestLoad {
    bool ok = false;
    std::string error;  // "FILE:LINE: what is wrong"
    Manifest manifest;
};

ManifestLoad LoadManifest(const std::string& path);
ManifestLoad ParseManifest(const std::string& text, const std::string& name, const std::string& baseFolder);

// A readable listing of a package's groups, images, versions and texts.
std::string DescribePackage(const FirmwarePackage& package);

std::string versionText(const FirmwareVersion& version);

}  // namespace updater
