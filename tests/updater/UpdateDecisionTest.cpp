#include "updater/FlashSequence.h"
#include "updater/IapLink.h"
#include "updater/UpdateDecision.h"

#include <gtest/gtest.h>

namespace {

using updater::FirmwareVersion;
using updater::LedCommandRecord;

LedCommandRecord record(std::uint8_t cmd, std::uint8_t key, std::uint8_t data0 = 0, std::uint8_t data1 = 0) {
    LedCommandRecord r;
    r.cmd = cmd;
    r.key = key;
    r.data[0] = data0;
    r.data[1] = data1;
    return r;
}

TEST(ReplyRuleTest, WhichReportsAnswerThePendingCommand) {
    struct Case {
        LedCommandRecord pending;
        LedCommandRecord reply;
        bool answers;
        const char* why;
    };
    const Case cases[] = {
        {record(0x12, 0x00), record(0x12, 0x00), true, "same command"},
        {record(0x12, 0x00), record(0x12, 0x01), false, "other key"},
        {record(0x1F, 60), record(0x1E, 0x02), true, "block write answered with the new point"},
        {record(0x1F, 60), record(0x1E, 0x00), false, "block write answered with 0x1E/0x00"},
        {record(0x1E, 0x00), record(0x1E, 0x02), false, "0x1E/0x02 only answers a block write"},
        {record(0x1D, 0x00), record(0xFF, 0xAA, 0x1D, 0x00), true, "error reply naming the command"},
        {record(0x1D, 0x00), record(0xFF, 0xAA, 0x1D, 0x01), false, "error reply naming another key"},
        {record(0x1F, 7), record(0xFF, 0xAA, 0x1F, 7), true, "error reply to a block write"},
    };
    for (const Case& c : cases) EXPECT_EQ(updater::IsReplyTo(c.pending, c.reply), c.answers) << c.why;
}

TEST(FlashArithmeticTest, BlockCountsAndChecksums) {
    EXPECT_EQ(updater::BlockCount(61, 60), 2);
    EXPECT_EQ(updater::BlockCount(60, 60), 1);
    EXPECT_EQ(updater::BlockCount(0, 60), 0);
    EXPECT_EQ(updater::BlockCount(10, 0), 0);
    const std::vector<std::uint8_t> words = {0xFF, 0xFF, 0xFF, 0xFF, 0x02, 0, 0, 0, 0x01, 0x01};
    // 0xFFFFFFFF + 2 wraps to 1; the partial word 0x0101 counts zero-padded.
    EXPECT_EQ(updater::ImageChecksum(words), 1u + 0x0101u);
}

TEST(FlashArithmeticTest, VersionRecordCarriesTheGroupVersionText) {
    const std::vector<std::uint8_t> info(150, 0x77);
    const auto written = updater::BuildVersionRecord(info, u"1.2.7 build fourteen");
    ASSERT_EQ(written.size(), info.size());
    EXPECT_EQ(written[0], 26);
    EXPECT_EQ(written[3], 0);
    EXPECT_EQ(written[4], '1');
    EXPECT_EQ(written[5], 0);
    EXPECT_EQ(written[28], 'f') << "13 characters, the last one the 'f' of fourteen";
    EXPECT_EQ(written[29], 0);
    EXPECT_EQ(written[30], 0x77) << "the rest of the information part is kept";
}

TEST(VersionTest, ComparisonOrdersFieldByField) {
    struct Case {
        FirmwareVersion a, b;
        int expected;
    };
    const Case cases[] = {
        {{1, 2, 5}, {1, 2, 7}, -1}, {{1, 2, 7}, {1, 2, 7}, 0},    {{1, 3, 0}, {1, 2, 900}, 1},
        {{2, 0, 0}, {1, 9, 9}, 1},  {{1, 2, 100}, {1, 2, 99}, 1}, {{0, 0, 4294967295u}, {0, 1, 0}, -1},
    };
    for (const Case& c : cases)
        EXPECT_EQ(updater::CompareVersions(c.a, c.b), c.expected)
            << int(c.a.major) << "." << int(c.a.minor) << "." << c.a.build;
}

updater::DeviceInformation deviceWith(FirmwareVersion version, std::uint16_t marker = 0x5AA5, std::uint16_t board = 1) {
    updater::DeviceInformation information;
    for (int i = 0; i < 16; ++i) information.firmware[4 + i] = static_cast<std::uint8_t>(0x30 + i);
    information.firmware[20] = static_cast<std::uint8_t>(board);
    information.applicationBlock[2] = version.major;
    information.applicationBlock[3] = version.minor;
    for (int i = 0; i < 4; ++i)
        information.applicationBlock[4 + i] = static_cast<std::uint8_t>(version.build >> (8 * i));
    information.applicationBlock[56] = static_cast<std::uint8_t>(marker & 0xFF);
    information.applicationBlock[57] = static_cast<std::uint8_t>(marker >> 8);
    return information;
}

TEST(VersionTest, PackageNewerRule) {
    updater::ImageEntry image;
    image.version = {1, 2, 100};
    EXPECT_FALSE(updater::IsPackageNewer(deviceWith({1, 2, 100}), image)) << "equal is not newer";
    EXPECT_FALSE(updater::IsPackageNewer(deviceWith({1, 3, 0}), image));
    EXPECT_TRUE(updater::IsPackageNewer(deviceWith({1, 2, 99}), image));
    EXPECT_TRUE(updater::IsPackageNewer(deviceWith({1, 2, 100}, 0x0000), image)) << "invalid block";
    EXPECT_TRUE(updater::IsPackageNewer(deviceWith({0xFF, 0xFF, 0}), image)) << "unknown version";
}

TEST(ImageChoiceTest, BoardIdIdentityAndImageOption) {
    updater::GroupRecord group;
    for (int i = 0; i < 16; ++i) group.identities[1][static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(0x30 + i);
    updater::GroupBlock images;
    images.images[0] = {100, 10, u"a", 1, {}};
    images.images[1] = {0, 0, u"empty", 2, {}};
    images.images[2] = {100, 10, u"c", 2, {}};
    images.images[3] = {100, 10, u"d", 2, {}};
    struct Case {
        std::uint16_t board;
        int option;
        int expected;
    };
    const Case cases[] = {
        {1, -1, 0},
        {2, -1, 2},
        {9, -1, updater::kNoFittingImage},
        {1, 3, 2},                         // bin:3 picks slot 2 whatever its board ID
        {1, 2, updater::kNoFittingImage},  // bin:2 names an empty slot
    };
    for (const Case& c : cases)
        EXPECT_EQ(updater::ChooseImage(deviceWith({1, 0, 0}, 0x5AA5, c.board), group, images, c.option), c.expected)
            << "board " << c.board << " option " << c.option;
    auto stranger = deviceWith({1, 0, 0});
    stranger.firmware[19] ^= 1;
    EXPECT_EQ(updater::ChooseImage(stranger, group, images, -1), updater::kNotOfGroup);
    EXPECT_EQ(updater::ImageChoiceReason(updater::kNotOfGroup), "HW Setup Error!");
}

TEST(VersionTest, DeviceVersionTextFromTheVersionBlock) {
    updater::DeviceInformation information;
    information.versionBlock.fill(0xFF);
    EXPECT_EQ(updater::DeviceVersionText(information), u"");
    information.versionBlock[0] = 6;
    information.versionBlock[1] = information.versionBlock[2] = information.versionBlock[3] = 0;
    const char16_t text[] = u"1.2.5";
    for (int i = 0; i < 5; ++i) {
        information.versionBlock[4 + 2 * i] = static_cast<std::uint8_t>(text[i]);
        information.versionBlock[5 + 2 * i] = 0;
    }
    EXPECT_EQ(updater::DeviceVersionText(information), u"1.2") << "the stored length counts bytes";
}

TEST(UpdateRefusalTest, TheChecksOfUpdateInTheirOrder) {
    updater::Trailer trailer;
    trailer.groupBlocks[0].images[0] = {100, 10, u"a", 1, {1, 2, 7}};
    trailer.groupBlocks[1].images[0] = {100, 10, u"b", 1, {1, 2, 7}};
    using updater::Refusal;
    struct Case {
        int selected, imageGroup, deviceGroup;
        bool force;
        int imageOption;
        FirmwareVersion device;
        std::optional<Refusal> expected;
    };
    const Refusal notNewer{updater::kExitNotNewer, {}};
    const Case cases[] = {
        {updater::kNoFittingImage, 0, 0, false, -1, {1, 2, 5}, Refusal{3, "Layout Fail!"}},
        {updater::kNotOfGroup, 0, 0, true, -1, {1, 2, 5}, Refusal{3, "HW Setup Error!"}},
        {updater::kNoInformation, 0, 0, false, -1, {1, 2, 5}, Refusal{3, "Get Info Error!"}},
        {0, -1, 0, false, -1, {1, 2, 5}, Refusal{3, "Image Group -1: Error Group!"}},
        {4, 0, 0, false, -1, {1, 2, 5}, Refusal{3, "Image 4: Empty Bin File!"}},
        {0, 0, 0, false, -1, {1, 2, 5}, std::nullopt},  // newer
        {0, 0, 0, false, -1, {1, 2, 7}, notNewer},
        {0, 0, 0, false, -1, {1, 3, 0}, notNewer},
        {0, 0, 0, true, -1, {1, 2, 7}, std::nullopt},   // -force
        {0, 1, 0, false, -1, {1, 2, 7}, std::nullopt},  // another group's image
        {0, 0, 0, false, 1, {1, 2, 7}, std::nullopt},   // bin:1
    };
    for (const Case& c : cases) {
        updater::UpdateRequest request;
        request.selectedImage = c.selected;
        request.imageGroup = c.imageGroup;
        request.deviceGroup = c.deviceGroup;
        request.force = c.force;
        request.imageNumberOption = c.imageOption;
        const auto refusal = updater::RefuseUpdate(trailer, deviceWith(c.device), request);
        EXPECT_EQ(refusal.has_value(), c.expected.has_value())
            << "selected " << c.selected << " group " << c.imageGroup;
        if (refusal && c.expected) {
            EXPECT_EQ(refusal->exitCode, c.expected->exitCode) << c.expected->message;
            EXPECT_EQ(refusal->message, c.expected->message);
        }
    }
}

}  // namespace
