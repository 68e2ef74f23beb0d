#include "updater/FlashSequence.h"

#include "platform/LittleEndian.h"
#include "platform/Timing.h"
#include "updater/UpdateDecision.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

namespace updater {
namespace {

constexpr std::size_t kInfoBlockSize = 60;
constexpr std::uint32_t kVersionTextLength = 26;

void sleepFor(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

// The controller the sequence began with. One that has left the bus (power
// lost, cable pulled, the machine suspended) has lost its write point even
// when it is back: its tries end at once, and the next run starts afresh.
class Target {
public:
    explicit Target(IapLink& link) : m_link(link), m_deviceId(link.targetDeviceId()) {}
    bool present() const { return m_deviceId != 0 && m_link.targetDeviceId() == m_deviceId; }

private:
    IapLink& m_link;
    std::uint16_t m_deviceId;
};

// Tries a step up to kRetries times, while the controller is still there.
template <class Step>
bool retry(const Target& target, Step step, std::chrono::milliseconds pause) {
    for (int attempt = 0; attempt < kRetries && target.present(); ++attempt) {
        if (attempt > 0) sleepFor(pause);
        if (step()) return true;
    }
    return false;
}

std::string blockFailure(const char* format, int value) {
    char text[96];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

// Writes `bytes` from `start` in blocks; each block is tried until the write
// point moves by exactly its length. Progress runs from `from` to `to`.
bool setAndCheckWritePoint(IapLink& link, const Target& target, std::uint32_t address) {
    return retry(
        target,
        [&] {
            std::uint32_t point = 0;
            return link.SetWritePoint(address) == 0 && link.GetWritePoint(point) == 0 && point == address;
        },
        platform::timing().updaterFlashRetryPause);
}

bool writeBlocks(IapLink& link, const Target& target, std::span<const std::uint8_t> bytes, std::uint32_t start,
                 int blockSize, int from, int to, const std::function<void(int)>& progress, int& failedOffset) {
    const int blocks = BlockCount(bytes.size(), blockSize);
    std::uint32_t previous = start;
    for (int k = 0; k < blocks; ++k) {
        const std::size_t offset = static_cast<std::size_t>(k) * static_cast<std::size_t>(blockSize);
        const int length =
            static_cast<int>(std::min<std::size_t>(static_cast<std::size_t>(blockSize), bytes.size() - offset));
        bool written = false;
        for (int attempt = 0; attempt < kRetries && !written && target.present(); ++attempt) {
            if (attempt > 0) sleepFor(platform::timing().updaterFlashRetryPause);
            std::uint32_t point = 0;
            if (link.WriteBlock(bytes.data() + offset, length, point) != 0) continue;
            if (point == previous + static_cast<std::uint32_t>(length)) {
                written = true;
                break;
            }
            // The controller stored the block elsewhere: go back to where it belongs.
            if (!setAndCheckWritePoint(link, target, previous)) break;
        }
        if (!written) {
            failedOffset = static_cast<int>(offset);
            return false;
        }
        previous += static_cast<std::uint32_t>(length);
        if (progress) progress(from + (k + 1) * (to - from) / blocks);
    }
    return true;
}

bool verifyVersionArea(IapLink& link, const std::vector<std::uint8_t>& written) {
    const int blocks = BlockCount(written.size(), static_cast<int>(kInfoBlockSize));
    for (int n = 0; n < blocks; ++n) {
        std::uint8_t block[60] = {};
        if (link.GetInfoBlock(n, block) != 0) return false;
        const std::size_t offset = static_cast<std::size_t>(n) * kInfoBlockSize;
        const std::size_t length = std::min(kInfoBlockSize, written.size() - offset);
        if (std::memcmp(block, written.data() + offset, length) != 0) return false;
    }
    return true;
}

}  // namespace

std::uint32_t ImageChecksum(std::span<const std::uint8_t> data) {
    std::uint32_t sum = 0;
    for (std::size_t offset = 0; offset < data.size(); offset += 4) {
        // A short last word counts as if padded with zeros.
        std::uint8_t word[4] = {};
        std::copy_n(data.begin() + static_cast<std::ptrdiff_t>(offset), std::min<std::size_t>(4, data.size() - offset),
                    word);
        sum += platform::readLe32(word);
    }
    return sum;
}

int BlockCount(std::size_t length, int blockSize) {
    if (blockSize <= 0) return 0;
    return static_cast<int>((length + static_cast<std::size_t>(blockSize) - 1) / static_cast<std::size_t>(blockSize));
}

std::vector<std::uint8_t> BuildVersionRecord(const std::vector<std::uint8_t>& info, const std::u16string& versionText) {
    std::vector<std::uint8_t> record = info;
    if (record.size() < 4 + kVersionTextLength) record.resize(4 + kVersionTextLength, 0xFF);
    platform::writeLe32(record.data(), kVersionTextLength);
    for (std::size_t i = 0; i < kVersionTextLength / 2; ++i) {
        const char16_t c = i < versionText.size() ? versionText[i] : u'\0';
        platform::writeLe16(record.data() + 4 + 2 * i, c);
    }
    return record;
}

bool SetAndCheckWritePoint(IapLink& link, std::uint32_t address) {
    return setAndCheckWritePoint(link, Target(link), address);
}

FlashResult RunFlashSequence(IapLink& link, const FlashJob& job) {
    const auto progress = [&](int value) {
        if (job.progress) job.progress(value);
    };
    const Target target(link);
    std::uint16_t unitSize = 0;
    std::uint16_t startOffset = 0;
    // Whatever may be half written is invalidated before the failure is reported.
    const auto fail = [&](std::string reason) {
        const std::uint32_t length = std::uint32_t{unitSize} + startOffset;
        retry(
            target, [&] { return link.EraseFlash(length) == 0; }, platform::timing().updaterFlashRetryPause);
        return FlashResult{false, std::move(reason)};
    };

    progress(0);
    std::uint8_t info[64] = {};
    if (!retry(
            target, [&] { return link.GetFwInfo(info) == 0; }, platform::timing().updaterInfoRetryPause))
        return fail("Fail to Get FW Info!");
    sleepFor(std::chrono::milliseconds(10));
    unitSize = platform::readLe16(info + 32);
    const std::uint16_t units = platform::readLe16(info + 34);
    startOffset = platform::readLe16(info + 36);
    if (job.imageNumber < 0 || job.imageNumber >= kImagesPerGroup || !job.image || !job.group || !job.imageGroup)
        return fail("Layout Error!");

    const int blockSize = std::min<int>(job.group->writeBlockSize, kMaxWriteBlock);
    const std::vector<std::uint8_t>& data = job.image->data;
    // A package that cannot be written whole (no block size, or a version
    // record reaching into the application) leaves the flash untouched.
    if (blockSize < 1 || data.empty() ||
        BuildVersionRecord(job.image->info, job.imageGroup->versionText).size() > startOffset)
        return {false, "Layout Error!"};
    const std::uint32_t eraseLength = std::uint32_t{unitSize} * units;
    const std::uint32_t hostChecksum = ImageChecksum(data);
    int failedOffset = 0;

    std::uint32_t remembered = 0;
    for (int pass = 1;; ++pass) {
        if (!retry(
                target, [&] { return link.EraseFlash(eraseLength) == 0; }, platform::timing().updaterFlashRetryPause))
            return fail("Fail to Erase Flash!");
        sleepFor(platform::timing().updaterEraseSettle);
        if (!setAndCheckWritePoint(link, target, startOffset)) return fail("Fail to Set Flash Write Point!");
        progress(10);
        if (!writeBlocks(link, target, data, startOffset, blockSize, 10, 80, job.progress, failedOffset))
            return fail(blockFailure("Fail to Write Flash : %d Block!", failedOffset));
        std::uint32_t deviceChecksum = 0;
        const bool read = link.GetFlashChecksum(startOffset, static_cast<std::uint32_t>(data.size()), deviceChecksum) ==
                          0;
        if (read && deviceChecksum == hostChecksum) break;
        // The same wrong value twice means the flash keeps reading back the
        // same way; a third pass is tried only when it changed.
        if (pass == 3 || (pass == 2 && deviceChecksum == remembered)) return fail("Fail to  CheckSum FW Data!");
        remembered = deviceChecksum;
    }

    sleepFor(platform::timing().updaterStepSettle);
    if (!setAndCheckWritePoint(link, target, 0)) return fail("Fail to Set Flash Version Write Point!");
    const std::vector<std::uint8_t> versionRecord = BuildVersionRecord(job.image->info, job.imageGroup->versionText);
    for (int attempt = 0;; ++attempt) {
        if (!writeBlocks(link, target, versionRecord, 0, blockSize, 80, 100, job.progress, failedOffset))
            return fail(blockFailure("Fail to Write Flash : %d Block!", failedOffset));
        if (verifyVersionArea(link, versionRecord)) break;
        if (attempt == 1) return fail(blockFailure("Fail to Verify Version Flash : %d Block!", 3));
        // Start the version area afresh and write it once more.
        link.EraseFlash(startOffset);
        if (!setAndCheckWritePoint(link, target, 0)) return fail("Fail to Set Flash Version Write Point!");
    }
    link.ResetDevice();
    progress(100);
    if (job.subDevice != 0) {
        DeviceInformation information;
        if (!ReadDeviceInformation(link, information) ||
            ChooseImage(information, *job.group, *job.imageGroup, job.imageNumberOption) < 0)
            return fail("Fail to Reset  Device!");
    }
    return {true, {}};
}

}  // namespace updater
