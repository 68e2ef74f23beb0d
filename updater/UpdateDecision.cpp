#include "updater/UpdateDecision.h"

#include "updater/FlashSequence.h"

#include "platform/LittleEndian.h"
#include "platform/Timing.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <thread>

namespace updater {
namespace {

template <class Step>
bool retryInfo(IapLink& link, Step step) {
    for (int attempt = 0; attempt < kRetries && link.connected() > 0; ++attempt) {
        if (attempt > 0) std::this_thread::sleep_for(platform::timing().updaterInfoRetryPause);
        if (step()) return true;
    }
    return false;
}

}  // namespace

bool ReadDeviceInformation(IapLink& link, DeviceInformation& information) {
    information = DeviceInformation{};
    std::uint8_t firmware[64] = {};
    if (!retryInfo(link, [&] { return link.GetFwInfo(firmware) == 0; })) return false;
    std::copy(std::begin(firmware), std::end(firmware), information.firmware.begin());
    std::uint8_t block[60] = {};
    if (!retryInfo(link, [&] { return link.GetInfoBlock(0, block) == 0; })) return false;
    std::copy(std::begin(block), std::end(block), information.versionBlock.begin());
    const bool application = retryInfo(link, [&] {
        std::uint16_t number = 0;
        return link.GetApInfoIndex(number) == 0 && link.GetInfoBlock(number, block) == 0;
    });
    if (application) std::copy(std::begin(block), std::end(block), information.applicationBlock.begin());
    return true;
}

int ChooseImage(const DeviceInformation& information, const GroupRecord& deviceGroup, const GroupBlock& imageGroup,
                int imageNumberOption) {
    const bool belongs =
        std::any_of(deviceGroup.identities.begin(), deviceGroup.identities.end(), [&](const DeviceIdentity& identity) {
            return std::equal(identity.begin(), identity.end(), information.firmware.begin() + 4);
        });
    if (!belongs) return kNotOfGroup;
    const std::uint16_t boardId = platform::readLe16(information.firmware.data() + 20);
    for (int n = 0; n < kImagesPerGroup; ++n) {
        const ImageEntry& image = imageGroup.images[static_cast<std::size_t>(n)];
        if (image.dataLength == 0) continue;
        if (imageNumberOption > 0 ? imageNumberOption == n + 1 : image.boardId == boardId) return n;
    }
    return kNoFittingImage;
}

std::u16string DeviceVersionText(const DeviceInformation& information) {
    const std::uint8_t* block = information.versionBlock.data();
    const std::uint32_t length = platform::readLe32(block);
    const bool erased = std::all_of(block + 4, block + 30, [](std::uint8_t b) { return b == 0xFF; });
    if (length == 0xFFFFFFFFu || erased) return {};
    std::u16string text;
    for (std::uint32_t i = 0; i + 1 < std::min<std::uint32_t>(length, 26); i += 2) {
        const char16_t c = static_cast<char16_t>(platform::readLe16(block + 4 + i));
        if (c == 0) break;
        text.push_back(c);
    }
    return text;
}

bool DeviceVersion(const DeviceInformation& information, FirmwareVersion& version) {
    const std::uint8_t* block = information.applicationBlock.data();
    if (block[2] == 0xFF && block[3] == 0xFF) return false;
    if (platform::readLe16(block + 56) != 0x5AA5) return false;
    version = {block[2], block[3], platform::readLe32(block + 4)};
    return true;
}

int CompareVersions(const FirmwareVersion& a, const FirmwareVersion& b) {
    const auto key = [](const FirmwareVersion& v) { return std::tuple(v.major, v.minor, v.build); };
    return key(a) < key(b) ? -1 : key(a) == key(b) ? 0 : 1;
}

bool IsPackageNewer(const DeviceInformation& information, const ImageEntry& image) {
    FirmwareVersion device;
    if (!DeviceVersion(information, device)) return true;
    return CompareVersions(image.version, device) > 0;
}

std::string ImageChoiceReason(int selectedImage) {
    switch (selectedImage) {
    case kNoFittingImage: return "Layout Fail!";
    case kNotOfGroup: return "HW Setup Error!";
    case kNoInformation: return "Get Info Error!";
    default: return {};
    }
}

std::optional<Refusal> RefuseUpdate(const Trailer& trailer, const DeviceInformation& information,
                                    const UpdateRequest& request) {
    if (request.selectedImage < 0) return Refusal{kExitDeviceProblem, ImageChoiceReason(request.selectedImage)};
    char text[64];
    if (request.imageGroup < 0 || request.imageGroup >= kGroupCount) {
        std::snprintf(text, sizeof text, "Image Group %d: Error Group!", request.imageGroup);
        return Refusal{kExitDeviceProblem, text};
    }
    const GroupBlock& block = trailer.groupBlocks[static_cast<std::size_t>(request.imageGroup)];
    if (request.selectedImage >= kImagesPerGroup ||
        block.images[static_cast<std::size_t>(request.selectedImage)].dataLength == 0) {
        std::snprintf(text, sizeof text, "Image %d: Empty Bin File!", request.selectedImage);
        return Refusal{kExitDeviceProblem, text};
    }
    const bool allowed = request.force || request.imageGroup != request.deviceGroup || request.imageNumberOption > 0 ||
                         IsPackageNewer(information, block.images[static_cast<std::size_t>(request.selectedImage)]);
    if (!allowed) return Refusal{kExitNotNewer, {}};
    return std::nullopt;
}

}  // namespace updater
