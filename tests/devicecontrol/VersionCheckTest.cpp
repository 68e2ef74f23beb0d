#include "devicecontrol/VersionCheck.h"

#include "platform/Timing.h"
#include "platform/Utf16.h"
#include "tests/devicecontrol/SimFixture.h"

#include <gtest/gtest.h>

namespace {

devicecontrol::FirmwareCheckState stateWith(updater::FirmwareVersion device, updater::FirmwareVersion image) {
    devicecontrol::FirmwareCheckState state;
    state.group = 0;
    state.image = 0;
    state.imageVersion = image;
    state.applicationInformation.fill(0xFF);
    state.applicationInformation[2] = device.major;
    state.applicationInformation[3] = device.minor;
    for (int i = 0; i < 4; ++i)
        state.applicationInformation[4 + static_cast<std::size_t>(i)] =
            static_cast<std::uint8_t>(device.build >> (8 * i));
    return state;
}

TEST(VersionCheckTest, ComparisonOfControllerAndPackage) {
    struct Case {
        updater::FirmwareVersion device, image;
        int expected;
    };
    const Case cases[] = {
        {{1, 2, 5}, {1, 2, 7}, -1},  // update due
        {{1, 3, 0}, {1, 2, 9}, 0},   // newer minor: no update, but not "newer" either
        {{1, 2, 9}, {1, 2, 7}, 1},   // a greater build is the only "newer"
        {{1, 2, 7}, {1, 2, 7}, 0},       {{1, 2, 7}, {2, 0, 0}, -1},
        {{0xFF, 0xFF, 1}, {1, 2, 7}, 0},  // no version on the controller
    };
    for (const Case& c : cases)
        EXPECT_EQ(devicecontrol::CompareFirmwareVersions(stateWith(c.device, c.image)), c.expected)
            << int(c.device.major) << "." << int(c.device.minor) << "." << c.device.build;
}

TEST(VersionCheckTest, NoGroupOrNoImageOffersNothing) {
    auto state = stateWith({1, 0, 0}, {9, 0, 0});
    state.group = -1;
    EXPECT_EQ(devicecontrol::CompareFirmwareVersions(state), 0);
    state.group = 0;
    for (int image : {-1, -2, -3}) {
        state.image = image;
        EXPECT_EQ(devicecontrol::CompareFirmwareVersions(state), 1) << image;
    }
}

TEST(VersionCheckTest, UpdaterPathsByFamily) {
    EXPECT_EQ(devicecontrol::UpdaterPath("/opt/l/", devicelink::Family::Standard), "/opt/l/Nimbrel/Nimbrel");
    EXPECT_EQ(devicecontrol::UpdaterPath("/opt/l/", devicelink::Family::Led5), "/opt/l/Nimbrel/Nimbrel2");
}

}  // namespace

namespace {

// An updater whose package offers firmware 2.0.0 to the standard controllers of board 1.
updater::Trailer standardPackage() {
    updater::Trailer trailer;
    trailer.captions[2] = u"caption 2.0";
    updater::GroupRecord& group = trailer.groupRecords[1];
    group.appVendorId = devicelink::kVendorId;
    group.appProductId = devicelink::kStandardAppProductId;
    group.bootVendorId = devicelink::kVendorId;
    group.bootProductId = devicelink::kStandardBootProductId;
    const auto identity = sim::defaultFirmwareIdentity(sim::ControllerKind::Standard);
    std::copy(identity.begin(), identity.end(), group.identities[3].begin());
    updater::GroupBlock& block = trailer.groupBlocks[1];
    block.versionText = u"2.0.0";
    block.images[4].dataLength = 4096;
    block.images[4].boardId = 1;
    block.images[4].version = {2, 0, 0};
    return trailer;
}

std::string packageBytes(const updater::Trailer& trailer, bool marked) {
    std::vector<std::uint8_t> bytes = updater::serializeTrailer(trailer);
    if (!marked) bytes[updater::kTrailerSize - 13] ^= 0x20;  // inside ".maaV106"
    updater::Scramble(bytes.data(), bytes.size());
    return std::string(64, '\x7f') + std::string(bytes.begin(), bytes.end());
}

class FirmwareCheckTest : public devicecontroltest::SimTest {
protected:
    FirmwareCheckTest() {
        platform::TimingPolicy shortened = platform::timing();
        shortened.hidReplyWait = std::chrono::milliseconds(20);
        shortened.updaterInfoRetryPause = std::chrono::milliseconds(1);
        platform::setTiming(shortened);
    }
    std::string updaterPath = home.path("Nimbrel");
};

TEST_F(FirmwareCheckTest, PackageControllerAndLinkDecideTheResult) {
    struct Case {
        const char* name;
        std::string package;
        sim::DeviceSpec spec;
        std::string message;
        int group, image, result;
        std::u16string deviceVersion, updateVersion;
    };
    const updater::Trailer offer = standardPackage();
    updater::Trailer otherIdentity = offer;
    otherIdentity.groupRecords[1].identities[3][0] ^= 0xFF;
    sim::DeviceSpec older;
    older.firmware = {1, 4, 9};
    sim::DeviceSpec otherBoard = older;
    otherBoard.boardId = 7;
    sim::DeviceSpec newer = older;
    newer.firmware = {2, 0, 3};
    const Case cases[] = {
        {"older firmware", packageBytes(offer, true), older, "", 1, 4, -1, u"1.4.9", u"2.0.0"},
        {"newer build", packageBytes(offer, true), newer, "", 1, 4, 1, u"2.0.3", u"2.0.0"},
        {"marker mismatch", packageBytes(offer, false), older, updater::kNoMarkerMessage, -1, -3, 0, u"1.4.9", u""},
        {"short updater", std::string(100, 'x'), older, updater::kCannotReadMessage, -1, -3, 0, u"1.4.9", u""},
        {"identity mismatch", packageBytes(otherIdentity, true), older, "", 1, -2, 1, u"1.4.9", u"2.0.0"},
        {"no image for the board", packageBytes(offer, true), otherBoard, "", 1, -1, 1, u"1.4.9", u"2.0.0"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        testsupport::writeFileBytes(updaterPath, c.package);
        const int id = simulator->plug(c.spec).id;
        ASSERT_NE(id, 0);
        devicelink::CUSBDriver link;
        open(link, 0);
        devicecontrol::FirmwareCheckState state;
        EXPECT_EQ(devicecontrol::FirmwareCheck(link, 0, updaterPath, state), c.result);
        EXPECT_EQ(state.packageMessage, c.message);
        EXPECT_EQ(state.group, c.group);
        EXPECT_EQ(state.image, c.image);
        EXPECT_EQ(platform::utf16ToUtf8(state.deviceVersion), platform::utf16ToUtf8(c.deviceVersion));
        EXPECT_EQ(platform::utf16ToUtf8(state.updateVersion), platform::utf16ToUtf8(c.updateVersion));
        link.CloseDriver();
        ASSERT_TRUE(simulator->unplug(id));
        ASSERT_TRUE(simulator->waitUntilSettled(std::chrono::milliseconds(2000)));
    }
}

TEST_F(FirmwareCheckTest, AControllerThatDoesNotAnswerHasUnreadableInformation) {
    testsupport::writeFileBytes(updaterPath, packageBytes(standardPackage(), true));
    const int id = simulator->plug(sim::ControllerKind::Standard).front();
    devicelink::CUSBDriver link;
    open(link, 0);
    ASSERT_TRUE(simulator->setFault(id, sim::FaultKind::DropReplies, 1000));
    devicecontrol::FirmwareCheckState state;
    EXPECT_EQ(devicecontrol::FirmwareCheck(link, 0, updaterPath, state), 1);
    EXPECT_EQ(state.group, 1);
    EXPECT_EQ(state.image, -3);
    EXPECT_TRUE(state.deviceVersion.empty());
    EXPECT_EQ(state.applicationInformation[2], 0xFF);
}

TEST_F(FirmwareCheckTest, AGroupWithOnlyItsApplicationVendorSetIsNotEmpty) {
    // The boot-loader link finds the group through its boot-loader product ID.
    updater::Trailer trailer = standardPackage();
    trailer.groupRecords[1].appProductId = 0;
    testsupport::writeFileBytes(updaterPath, packageBytes(trailer, true));
    sim::DeviceSpec boot;
    boot.bootLoader = true;
    simulator->plug(boot);
    devicelink::CUSBDriver link(devicelink::Family::Standard, devicelink::LinkMode::BootLoader);
    open(link, 1);
    devicecontrol::FirmwareCheckState state;
    devicecontrol::FirmwareCheck(link, 0, updaterPath, state);
    EXPECT_EQ(state.group, 1);
    EXPECT_EQ(platform::utf16ToUtf8(state.updateVersion), "2.0.0");
}

}  // namespace
