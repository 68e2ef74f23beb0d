#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

// The firmware package appended to the updater's own file. Read backwards from
// the end: a fixed-size trailer describing up to five groups of up to nine
// images, and before it each image's data part and information part. Every
// part is stored scrambled on its own.
namespace updater {

constexpr std::size_t kTrailerSize = 11416;
constexpr int kGroupCount = 5;
constexpr int kImagesPerGroup = 9;
constexpr int kIdentitiesPerGroup = 5;
constexpr std::size_t kIdentitySize = 16;
constexpr std::size_t kTextFieldSize = 520;  // UTF-16LE with the terminator
constexpr std::size_t kImageNameSize = 60;

using DeviceIdentity = std::array<std::uint8_t, kIdentitySize>;

struct FirmwareVersion {
    std::uint8_t major = 0;
    std::uint8_t minor = 0;
    std::uint32_t build = 0;
    bool operator==(const FirmwareVersion&) const = default;
};

struct ImageEntry {
    std::uint32_t dataLength = 0;  // 0: no image in this slot
    std::uint32_t infoLength = 0;
    std::u16string name;
    std::uint16_t boardId = 0;
    FirmwareVersion version;
    bool operator==(const ImageEntry&) const = default;
};

struct GroupRecord {
    std::array<DeviceIdentity, kIdentitiesPerGroup> identities{};
    std::uint8_t subDeviceScan = 0;  // 1: try every sub-device
    std::uint8_t subDevice = 0;
    std::uint32_t bootVendorId = 0;
    std::uint32_t bootProductId = 0;
    std::uint32_t appVendorId = 0;  // 0: the group is empty
    std::uint32_t appProductId = 0;
    std::uint8_t writeBlockSize = 0;  // bytes per flash write command, at most 60
    bool operator==(const GroupRecord&) const = default;
};

struct GroupBlock {
    std::u16string name;         // empty: not offered in the group selector
    std::u16string versionText;  // its first 13 characters go to the device's version record
    std::array<ImageEntry, kImagesPerGroup> images;
    bool operator==(const GroupBlock&) const = default;
};

struct Trailer {
    std::array<GroupRecord, kGroupCount> groupRecords;
    std::array<GroupBlock, kGroupCount> groupBlocks;
    std::uint8_t groupSelectorShown = 0;  // 1: the window shows the group selector
    std::uint8_t defaultImageGroup = 0;
    std::u16string title;
    std::array<std::u16string, 3> captions;
    bool operator==(const Trailer&) const = default;
};

// The trailer's bytes after descrambling, and back. Texts longer than their
// field are cut so that the terminator always fits.
Trailer parseTrailer(const std::vector<std::uint8_t>& bytes);
std::vector<std::uint8_t> serializeTrailer(const Trailer& trailer);
bool hasPackageMarker(const std::vector<std::uint8_t>& trailerBytes);

void Descramble(std::uint8_t* buffer, std::size_t length);
// The inverse of Descramble, used to build packages.
void Scramble(std::uint8_t* buffer, std::size_t length);

struct FirmwareImage {
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> info;
};

struct FirmwarePackage {
    Trailer trailer;
    // The package carries a SHA-256 of each image and of itself, and they matched.
    bool checksummed = false;
    std::array<FirmwareImage, kGroupCount * kImagesPerGroup> images;  // group * 9 + image

    const FirmwareImage& image(int group, int index) const { return images[group * kImagesPerGroup + index]; }
};

struct PackageLoad {
    bool ok = false;
    // The text the updater shows when the load fails; empty when it shows none.
    std::string message;
    FirmwarePackage package;
};

inline constexpr char kCannotOpenMessage[] = "Can not open Program file!\n";
inline constexpr char kCannotReadMessage[] = "Fail to read Program file!";
inline constexpr char kNoMarkerMessage[] = "Fail to find firmware information!";
inline constexpr char kDamagedMessage[] = "The firmware package is damaged (checksum mismatch)!";

// Packages built now carry a checksum block in front of their first part
// (where older readers see the program): SHA-256 of each image (its data part,
// then its information part) and of the whole package. Three trailer bytes the
// format leaves unused mark it, so older packages load as before.
constexpr std::size_t kChecksumBlockSize = 8 + 32 * kGroupCount * kImagesPerGroup + 32;

// Reads the package at the end of `path`. Every length in the table is checked
// against the bytes really in front of the trailer before anything is
// allocated, so a damaged or hostile file fails the load instead of exhausting
// memory. A package with checksums loads only when every one matches
// (kDamagedMessage otherwise).
PackageLoad LoadPackage(const std::string& path);

// Reads only the trailer (what the configuration program needs to learn the
// offered version); nothing when the file has no package.
bool ReadPackageTrailer(const std::string& path, Trailer& trailer);

// The bytes to append to an updater program: the checksum block (unless
// `withChecksums` is false, as packages were built before), every image's
// parts, then the trailer, each scrambled. Image lengths in the trailer are
// taken from `images`.
std::vector<std::uint8_t> BuildPackage(Trailer trailer,
                                       const std::array<FirmwareImage, kGroupCount * kImagesPerGroup>& images,
                                       bool withChecksums = true);

}  // namespace updater
