#include "tests/devicelink/DeviceLinkFixture.h"

#include "platform/DebugLog.h"

#include <gmock/gmock.h>

using namespace devicelink;
using namespace devicelinktest;
using testing::ElementsAre;

namespace {

class TransportTest : public DeviceLinkTest {};

std::vector<std::uint16_t> idsOf(const CUSBDriver& driver) {
    std::vector<std::uint16_t> ids;
    for (const auto& device : driver.devices()) ids.push_back(device.DeviceId);
    return ids;
}

// The controller's event report 0x42/0x20 with its index, report ID byte first.
std::vector<std::uint8_t> eventReport(std::uint8_t index) {
    std::vector<std::uint8_t> report(65, 0);
    report[1] = 0x42;
    report[2] = 0x20;
    report[5] = index;
    return report;
}

TEST_F(TransportTest, OpenWithoutControllerFailsAndReportsOneRemovalAtPositionZero) {
    CUSBDriver driver;
    EXPECT_FALSE(open(driver, 0));
    EXPECT_EQ(driver.connected(), 0);
    ASSERT_TRUE(pumpUntil([&] { return !owner.messages.empty(); }));
    platform::pumpEvents(3);
    ASSERT_EQ(owner.withId(kMsgPlug).size(), 1u);
    EXPECT_EQ(owner.messages[0].wParam, plugWParam(0, 0));
    EXPECT_EQ(owner.messages[0].lParam, 0);
}

TEST_F(TransportTest, TwoControllersGetIdsInEnumerationOrderAndRenumberAfterUnplug) {
    backend->plug(controllerInfo("a", kStandardAppProductId), false);
    backend->plug(controllerInfo("b", kStandardAppProductId), false);
    CUSBDriver driver;
    ASSERT_TRUE(open(driver, 0));
    EXPECT_THAT(idsOf(driver), ElementsAre(1, 2));
    ASSERT_TRUE(pumpUntil([&] { return owner.messages.size() == 2; }));
    EXPECT_EQ(owner.messages[0].wParam, plugWParam(0, 0));
    EXPECT_EQ(owner.messages[1].wParam, plugWParam(1, 0));
    EXPECT_EQ(owner.messages[1].lParam, 1);

    backend->unplug("a");
    ASSERT_TRUE(pumpUntil([&] { return owner.messages.size() == 3; }));
    EXPECT_EQ(owner.messages[2].id, kMsgPlug);
    EXPECT_EQ(owner.messages[2].wParam, plugWParam(0, 0));
    EXPECT_EQ(owner.messages[2].lParam, 0);
    EXPECT_THAT(idsOf(driver), ElementsAre(2));
    EXPECT_EQ(driver.deviceIdOfOrdinal(0), 2);
    EXPECT_NE(driver.connected(), 0);
}

TEST_F(TransportTest, PlugAfterAnEmptyOpenIsReportedWithoutAnotherOpen) {
    CUSBDriver driver{devicelink::Family::Led5};
    ASSERT_FALSE(open(driver, 2));
    backend->plug(controllerInfo("led5", kLed5AppProductId));
    ASSERT_TRUE(pumpUntil([&] { return owner.messages.size() == 2; }));
    EXPECT_EQ(owner.messages[1].wParam, plugWParam(0, 2));
    EXPECT_EQ(owner.messages[1].lParam, 1);
    EXPECT_EQ(driver.connected(), 1);
    EXPECT_THAT(idsOf(driver), ElementsAre(1));
}

TEST_F(TransportTest, SuspendRemovesEveryDeviceAndResumeAddsThemAgainFromIdOne) {
    backend->plug(controllerInfo("a", kStandardAppProductId), false);
    backend->plug(controllerInfo("b", kStandardAppProductId), false);
    CUSBDriver driver;
    ASSERT_TRUE(open(driver, 0));
    ASSERT_TRUE(pumpUntil([&] { return owner.messages.size() == 2; }));

    backend->power(hid::PlugEvent::Kind::Suspend);
    ASSERT_TRUE(pumpUntil([&] { return owner.messages.size() == 4; }));
    EXPECT_EQ(owner.messages[2].lParam, 0);
    EXPECT_EQ(owner.messages[3].lParam, 0);
    EXPECT_EQ(driver.connected(), 0);
    EXPECT_TRUE(driver.devices().empty());
    const auto record = std::array<std::uint8_t, 4>{0x41, 0, 0, 0};
    EXPECT_EQ(HidWrite(1, record.data(), 4, 0), 0) << "no write while suspended";

    backend->power(hid::PlugEvent::Kind::Resume);
    ASSERT_TRUE(pumpUntil([&] { return owner.messages.size() == 6; }));
    EXPECT_EQ(owner.messages[4].wParam, plugWParam(0, 0));
    EXPECT_EQ(owner.messages[5].wParam, plugWParam(1, 0));
    EXPECT_EQ(owner.messages[5].lParam, 1);
    EXPECT_THAT(idsOf(driver), ElementsAre(1, 2));
}

TEST_F(TransportTest, OnlyTheLinkOfTheMatchingProductAndUsageReportsADevice) {
    backend->plug(controllerInfo("boot", kStandardBootProductId), false);
    backend->plug(controllerInfo("other-usage", kStandardAppProductId, 0xFF00, 0x0002), false);
    auto foreign = controllerInfo("foreign", kStandardAppProductId);
    foreign.vendorId = 0x1234;
    backend->plug(foreign, false);
    CUSBDriver app;
    CUSBDriver boot{devicelink::Family::Standard, devicelink::LinkMode::BootLoader};
    EXPECT_FALSE(open(app, 0));
    EXPECT_TRUE(open(boot, 1));
    ASSERT_TRUE(pumpUntil([&] { return owner.messages.size() == 2; }));
    platform::pumpEvents(3);
    ASSERT_EQ(owner.messages.size(), 2u);
    EXPECT_EQ(owner.messages[0].wParam, plugWParam(0, 0));
    EXPECT_EQ(owner.messages[0].lParam, 0);
    EXPECT_EQ(owner.messages[1].wParam, plugWParam(0, 1));
    EXPECT_EQ(owner.messages[1].lParam, 1);
    EXPECT_EQ(backend->openCount("other-usage") + backend->openCount("foreign"), 0);
}

TEST_F(TransportTest, ReopeningRestartsIdsAndDropsNotificationsOfTheEarlierOpen) {
    backend->plug(controllerInfo("a", kStandardAppProductId), false);
    CUSBDriver driver;
    ASSERT_TRUE(open(driver, 0));
    backend->plug(controllerInfo("b", kStandardAppProductId));  // queued for the first open
    ASSERT_TRUE(open(driver, 0));
    ASSERT_TRUE(pumpUntil([&] { return driver.deviceCount() == 2; }));
    platform::pumpEvents(5);
    EXPECT_THAT(idsOf(driver), ElementsAre(1, 2));
    EXPECT_EQ(backend->openCount("a"), 2);
    EXPECT_EQ(backend->openCount("b"), 2);
}

TEST_F(TransportTest, RemovalOfAnUnlistedDeviceStillReportsAndClearsConnected) {
    backend->plug(controllerInfo("a", kStandardAppProductId), false);
    CUSBDriver driver;
    ASSERT_TRUE(open(driver, 0));
    HidNotifyRecord stranger;
    stranger.Event = 0;
    stranger.DeviceId = 9;
    platform::sendMessage(&driver, {kMsgHidNotify, 1, reinterpret_cast<std::intptr_t>(&stranger)});
    EXPECT_EQ(driver.connected(), 0);
    ASSERT_TRUE(pumpUntil([&] { return owner.messages.size() == 2; }));
    EXPECT_EQ(owner.messages[1].wParam, plugWParam(1, 0)) << "position = count when nothing matched";
    EXPECT_EQ(owner.messages[1].lParam, 0);
    EXPECT_EQ(driver.deviceCount(), 1);
}

TEST_F(TransportTest, OrdinalsCountOnlyVendorCollectionsAndEndAtTheLastDevice) {
    CUSBDriver driver;
    EXPECT_EQ(driver.deviceIdOfOrdinal(0), 0) << "empty list";
    const HidNotifyRecord records[] = {{1, 1, 0x2516, 0x014D, 1, 0xFF00},
                                       {1, 2, 0x2516, 0x014D, 1, 0x0001},
                                       {1, 3, 0x2516, 0x014D, 1, 0xFF00}};
    for (const auto& record : records)
        platform::sendMessage(&driver, {kMsgHidNotify, 1, reinterpret_cast<std::intptr_t>(&record)});
    const struct {
        int ordinal;
        std::uint16_t id;
    } cases[] = {{0, 1}, {1, 3}, {2, 3}, {7, 3}};
    for (const auto& c : cases) EXPECT_EQ(driver.deviceIdOfOrdinal(c.ordinal), c.id) << c.ordinal;
}

TEST_F(TransportTest, WritesAReportIdByteAndTheRecordPaddedToTheReportLength) {
    auto device = backend->plug(controllerInfo("a", kStandardAppProductId), false);
    CUSBDriver driver;
    ASSERT_TRUE(open(driver, 0));
    const std::uint8_t bytes[] = {0x41, 0x03, 0x00, 0x00, 0x7E};
    EXPECT_EQ(HidWrite(1, bytes, 5, 0), 1);
    EXPECT_EQ(HidWrite(0, bytes, 5, 0), 0) << "no device has ID 0";
    EXPECT_EQ(HidWrite(2, bytes, 5, 0), 0) << "unknown ID";
    const std::vector<std::uint8_t> oversized(100, 0xAB);
    EXPECT_EQ(HidWrite(1, oversized.data(), 100, 0), 1);
    const auto written = device->written();
    ASSERT_EQ(written.size(), 2u);
    std::vector<std::uint8_t> expected(65, 0);
    std::copy(std::begin(bytes), std::end(bytes), expected.begin() + 1);
    EXPECT_EQ(written[0], expected);
    EXPECT_EQ(written[1].size(), 65u);
    EXPECT_EQ(written[1][0], 0);
    EXPECT_EQ(written[1][64], 0xAB);
}

TEST_F(TransportTest, LocationInfoNamesTheUsbPortOfAnOpenDevice) {
    backend->plug(controllerInfo("a", kStandardAppProductId), false);
    auto noLocation = controllerInfo("b", kStandardAppProductId);
    noLocation.locationPath.clear();
    backend->plug(noLocation, false);
    CUSBDriver driver;
    ASSERT_TRUE(open(driver, 0));
    std::string location;
    EXPECT_EQ(HidGetLocationInfo(1, location, 0), 1);
    EXPECT_EQ(location, "/sys/devices/usb1/a");
    EXPECT_EQ(HidGetLocationInfo(2, location, 0), -1);
    EXPECT_EQ(HidGetLocationInfo(3, location, 0), 0);
}

TEST_F(TransportTest, PermissionProblemIsReportedNamingTheUdevRule) {
    backend->plug(controllerInfo("/dev/hidraw7", kStandardAppProductId), false);
    backend->refuseOpen("/dev/hidraw7", hid::OpenError::PermissionDenied);
    CUSBDriver driver;
    testing::internal::CaptureStderr();
    EXPECT_FALSE(open(driver, 0));
    const std::string errors = testing::internal::GetCapturedStderr();
    EXPECT_THAT(errors, testing::HasSubstr("/dev/hidraw7"));
    EXPECT_THAT(errors, testing::HasSubstr("permission denied"));
    EXPECT_THAT(errors, testing::HasSubstr("dist/70-lumenstra.rules"));
}

TEST_F(TransportTest, ReportsReachTheCallbackOnlyWithTheReportIdByte) {
    auto device = backend->plug(controllerInfo("a", kStandardAppProductId), false);
    CUSBDriver driver;
    ASSERT_TRUE(open(driver, 0));
    // The controller's event report in both shapes: a 64-byte one lacks the report ID.
    const std::vector<std::uint8_t> report = eventReport(0x07);
    device->pushInput(std::vector<std::uint8_t>(report.begin() + 1, report.end()));
    device->pushInput(report);
    ASSERT_TRUE(pumpUntil([&] { return !owner.withId(kMsgDeviceEvent).empty(); }));
    platform::pumpEventsFor(std::chrono::milliseconds(30));
    const auto events = owner.withId(kMsgDeviceEvent);
    ASSERT_EQ(events.size(), 1u);
    EXPECT_EQ(events[0].wParam, 7u);
}

TEST_F(TransportTest, ReadersThatBlockForHoursStillStopOnUnplugAndClose) {
    // A reader stopped only by its read's timeout would hold this test up for hours.
    platform::TimingPolicy blocking = platform::timing();
    blocking.hidReadWait = std::chrono::hours(4);
    platform::setTiming(blocking);
    auto first = backend->plug(controllerInfo("a", kStandardAppProductId), false);
    backend->plug(controllerInfo("b", kStandardAppProductId), false);
    CUSBDriver driver;
    ASSERT_TRUE(open(driver, 0));
    first->pushInput(eventReport(0x03));
    ASSERT_TRUE(pumpUntil([&] { return !owner.withId(kMsgDeviceEvent).empty(); }))
        << "a blocked reader gets the report";
    backend->unplug("a");
    ASSERT_TRUE(pumpUntil([&] { return driver.deviceCount() == 1; }));
    driver.CloseDriver();
    EXPECT_EQ(driver.deviceCount(), 0);
}

TEST_F(TransportTest, BootLoaderLinksTraceEveryReportOnlyWhenTheDebugLogIsOn) {
    for (const bool debug : {false, true}) {
        auto device = backend->plug(controllerInfo("boot", kLed5BootProductId), false);
        CUSBDriver driver{devicelink::Family::Led5, devicelink::LinkMode::BootLoader};
        ASSERT_TRUE(open(driver, 3));
        driver.groupList().clear();
        device->setResponder(echoWith({0x33}));
        platform::enableDebugLog(debug);
        testing::internal::CaptureStderr();
        LedCommandRecord record;
        record.cmd = 0x12;
        record.key = 0x00;
        const int result = driver.SetData(record, 0);
        const std::string trace = testing::internal::GetCapturedStderr();
        platform::enableDebugLog(false);
        EXPECT_EQ(result, 0);
        EXPECT_EQ(record.data[0], 0x33);
        if (!debug) {
            EXPECT_EQ(trace, "");
            backend->unplug("boot");
            continue;
        }
        EXPECT_THAT(trace, testing::HasSubstr("ID:1,pBuffer="));
        EXPECT_THAT(trace, testing::HasSubstr(" , Length=41\n"));
        EXPECT_THAT(trace, testing::HasSubstr("00 12 00 00 00 33 00 00 00\n"));
        const std::string log = testsupport::readFileBytes(platform::debugLogPath());
        EXPECT_NE(log.find(testsupport::utf16le("00 12 00 00 00 33 00 00 00")), std::string::npos);
    }
}

TEST_F(TransportTest, ReopeningAfterAStrayRemovalFindsEveryDeviceAgain) {
    backend->plug(controllerInfo("a", kStandardAppProductId), false);
    backend->plug(controllerInfo("b", kStandardAppProductId), false);
    CUSBDriver driver;
    ASSERT_TRUE(open(driver, 0));
    HidNotifyRecord stranger;
    stranger.DeviceId = 9;
    platform::sendMessage(&driver, {kMsgHidNotify, 1, reinterpret_cast<std::intptr_t>(&stranger)});
    ASSERT_EQ(driver.connected(), 0);
    ASSERT_TRUE(open(driver, 0));
    EXPECT_THAT(idsOf(driver), ElementsAre(1, 2));
}

// The power hook that logind's sleep signal feeds.
TEST_F(TransportTest, PowerHookSuspendsAndResumesEveryLink) {
    backend->plug(controllerInfo("a", kStandardAppProductId), false);
    backend->plug(controllerInfo("b", kLed5AppProductId), false);
    CUSBDriver standard;
    CUSBDriver led5{devicelink::Family::Led5};
    ASSERT_TRUE(open(standard, 0));
    ASSERT_TRUE(open(led5, 2));
    HidPowerEvent(true);
    EXPECT_TRUE(standard.devices().empty());
    EXPECT_TRUE(led5.devices().empty());
    HidPowerEvent(false);
    EXPECT_THAT(idsOf(standard), ElementsAre(1));
    EXPECT_THAT(idsOf(led5), ElementsAre(1));
}

}  // namespace
