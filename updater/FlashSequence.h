#pragma once

#include "updater/IapLink.h"
#include "updater/Package.h"

#include <cstdint>
#include <functional>
#include <span>
#include <string>

// Writing one firmware image and its version record into a controller that
// accepts the boot-loader commands, with the retries, passes and the erase
// that invalidates a half-written flash on failure.
namespace updater {

inline constexpr int kRetries = 15;

struct FlashResult {
    bool ok = false;
    std::string reason;  // the failing step's text; empty on success
};

// Little-endian 32-bit words summed with wrap-around; a final partial word
// counts with zero bytes after the end of the data.
std::uint32_t ImageChecksum(std::span<const std::uint8_t> data);

// Blocks of at most `blockSize` bytes covering `length` bytes.
int BlockCount(std::size_t length, int blockSize);

// The version record the updater writes: the image's information part with
// bytes 0-3 = 26 and bytes 4-29 = the first 26 bytes of `versionText` (UTF-16LE).
std::vector<std::uint8_t> BuildVersionRecord(const std::vector<std::uint8_t>& info, const std::u16string& versionText);

// Up to kRetries times SetWritePoint then GetWritePoint, until the point reads back.
bool SetAndCheckWritePoint(IapLink& link, std::uint32_t address);

struct FlashJob {
    const GroupRecord* group = nullptr;      // the device's group: block size
    const GroupBlock* imageGroup = nullptr;  // the chosen image group: version text
    const FirmwareImage* image = nullptr;
    int imageNumber = 0;  // 0-based; 9 or more is a layout error
    // A sub-device other than 0 is read again after the reset; the update
    // failed when no image (chosen as before, with the "bin:" option) fits it.
    int subDevice = 0;
    int imageNumberOption = -1;
    std::function<void(int)> progress;  // 0-100, called on the flashing thread
};

FlashResult RunFlashSequence(IapLink& link, const FlashJob& job);

}  // namespace updater
