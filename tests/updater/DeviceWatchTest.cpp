// The updater's device watch and update procedure against emulated
// controllers in the same process, with a host that records what a window
// would show.
#include "devicelink/HidLibrary.h"
#include "platform/Timing.h"
#include "sim/SimBackend.h"
#include "tests/devicelink/DeviceLinkFixture.h"
#include "tests/support/TestEnvironment.h"
#include "tests/updater/UpdaterFixture.h"
#include "updater/UpdateProcedure.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

namespace {

using namespace std::chrono_literals;
using devicelinktest::pumpUntil;
using sim::ControllerKind;

constexpr std::uint16_t kStandardApp = 0x014D;
constexpr std::uint16_t kStandardBoot = 0x014E;

struct RecordingHost : updater::UpdateHost {
    std::vector<std::string> messages;
    std::vector<updater::Refusal> refusals;
    std::vector<int> progress;
    bool connected = false;
    std::optional<bool> ended;
    std::optional<int> closedWith;
    std::vector<std::string> silentReports;

    void showMessage(const std::string& text) override { messages.push_back(text); }
    void refused(const updater::Refusal& refusal) override { refusals.push_back(refusal); }
    void setControlState(bool, bool isConnected) override { connected = isConnected; }
    void repaint() override {}
    void setProgress(int percent) override { progress.push_back(percent); }
    void updateEnded(bool success, const std::string&) override { ended = success; }
    void close(int exitCode) override { closedWith = exitCode; }
    void reportSilently(const std::string& text) override { silentReports.push_back(text); }
};

class DeviceWatchTest : public testsupport::IsolatedTest {
protected:
    DeviceWatchTest() {
        devicelink::HidSetBackend(simulator);
        updatertest::addGroup(package, 0, ControllerKind::Standard, 1, data, {1, 2, 7});
    }
    ~DeviceWatchTest() override {
        procedure.reset();
        devicelink::HidSetBackend(nullptr);
    }

    int plug(const std::string& spec) { return simulator->plug(*sim::parseDeviceSpec(spec).spec).id; }

    updater::UpdateProcedure& start(const updater::NimbrelOptions& options) {
        procedure = std::make_unique<updater::UpdateProcedure>(package, options, host);
        opened = procedure->open();
        return *procedure;
    }

    static updater::NimbrelOptions silent() {
        updater::NimbrelOptions options;
        options.silent = options.autoStart = true;
        return options;
    }

    bool waitForExit() {
        return pumpUntil([&] { return host.closedWith.has_value(); }, 20s);
    }

    std::string firmwareOf(int id) { return updatertest::firmwareOf(*simulator, id); }

    std::string stateOf(int id, const std::string& key) { return updatertest::stateOf(*simulator, id, key); }

    // How many records with `cmd`/`key` reached controllers under `productId`.
    long sent(std::uint16_t productId, std::uint8_t cmd, std::uint8_t key) {
        const auto trace = simulator->trace();
        return std::count_if(trace.begin(), trace.end(), [&](const sim::TraceEntry& entry) {
            return entry.productId == productId && entry.record[0] == cmd && entry.record[1] == key;
        });
    }

    updatertest::ShortUpdaterTiming timing;
    std::shared_ptr<sim::SimBackend> simulator = std::make_shared<sim::SimBackend>(0ms);
    std::vector<std::uint8_t> data = updatertest::imageBytes(3001);
    updater::FirmwarePackage package;
    RecordingHost host;
    std::unique_ptr<updater::UpdateProcedure> procedure;
    bool opened = false;
};

TEST_F(DeviceWatchTest, SilentStartWithoutAControllerEndsWithNoDevice) {
    start(silent());
    EXPECT_TRUE(opened);
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(*host.closedWith, updater::kExitNoDevice);
}

TEST_F(DeviceWatchTest, ATargetBeyondTheDevicesEndsAtOnce) {
    plug("standard");
    updater::NimbrelOptions options = silent();
    options.targetDevice = 1;  // dev:2
    start(options);
    EXPECT_FALSE(opened);
    EXPECT_EQ(host.messages, std::vector<std::string>{"The Target Dev is wrong or no device is found!!"});
    EXPECT_EQ(procedure->exitCode(), updater::kExitNoDevice);
}

TEST_F(DeviceWatchTest, ATargetCountsOverTheGroupsInOrder) {
    updatertest::addGroup(package, 1, ControllerKind::Led5, 1, data, {1, 2, 7});
    plug("standard");
    plug("led5");
    for (int target : {0, 1}) {
        updater::NimbrelOptions options;
        options.targetDevice = target;
        host = RecordingHost{};
        start(options);
        ASSERT_TRUE(pumpUntil([&] { return procedure->selectedImage() >= 0; })) << "target " << target;
        EXPECT_EQ(procedure->deviceGroup(), target);
        // Another report of the other group's controller, at the same position.
        procedure->onPlugReport(devicelinktest::plugWParam(0, 2 * (1 - target)), 1);
        platform::pumpEventsFor(50ms);
        EXPECT_EQ(procedure->deviceGroup(), target) << "the other group's report is not followed";
        procedure.reset();
    }
}

TEST_F(DeviceWatchTest, AnApplicationModeControllerIsUpdatedWithoutUserAction) {
    const int id = plug("standard,fw=1.2.5");
    start(silent());
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(*host.closedWith, updater::kExitSuccess);
    EXPECT_EQ(firmwareOf(id), "1.2.7");
    EXPECT_EQ(sent(kStandardApp, 0x11, 0x00), 1) << "asked into its boot loader once";
    EXPECT_GE(sent(kStandardBoot, 0x1D, 0x00), 1) << "erased from its boot loader";
    EXPECT_EQ(sent(kStandardBoot, 0x11, 0x01), 1) << "reset at the end";
    ASSERT_FALSE(host.progress.empty());
    EXPECT_EQ(host.progress.back(), 100);
}

TEST_F(DeviceWatchTest, AReportWhileBothIdentitiesAreListedIsRepostedFifteenTimes) {
    plug("standard,fw=1.2.5");
    plug("standard,boot,fw=1.2.5");
    start(updater::NimbrelOptions{});
    // Every handling of a report starts by resetting the progress: each of the
    // two arrival reports is handled once, then again for each of its re-posts.
    ASSERT_TRUE(pumpUntil([&] { return host.progress.size() >= 32; }, 5s)) << host.progress.size();
    platform::pumpEventsFor(50ms);
    EXPECT_EQ(host.progress.size(), 32u);
    EXPECT_EQ(sent(kStandardBoot, 0x12, 0x00), 1) << "the boot-loader report refreshes once it is processed";
    EXPECT_EQ(sent(kStandardApp, 0x12, 0x00), 0) << "the application report does not";
    EXPECT_EQ(procedure->selectedImage(), 0);
}

TEST_F(DeviceWatchTest, ASecondControllerOfAnotherGroupIsWarnedAbout) {
    updatertest::addGroup(package, 1, ControllerKind::Led5, 1, data, {1, 2, 7});
    struct Case {
        int deviceGroupOption;
        int groupAfter;
    };
    for (const Case c : {Case{-1, 1}, Case{0, 0}}) {
        const int first = plug("standard");
        updater::NimbrelOptions options;
        options.deviceGroup = c.deviceGroupOption;
        host = RecordingHost{};
        start(options);
        ASSERT_TRUE(pumpUntil([&] { return procedure->selectedImage() >= 0; }));
        const int second = plug("led5");
        ASSERT_TRUE(pumpUntil([&] { return !host.messages.empty(); }));
        EXPECT_EQ(host.messages[0], "Please don't plug in two different device!!");
        platform::pumpEventsFor(50ms);
        EXPECT_EQ(procedure->deviceGroup(), c.groupAfter) << "devgroup option " << c.deviceGroupOption;
        procedure.reset();
        simulator->unplug(first);
        simulator->unplug(second);
    }
}

TEST_F(DeviceWatchTest, TheSubDeviceIsTheGroupsOrTheFirstThatAnImageFits) {
    struct Case {
        std::uint8_t scan, fixed;
        std::uint16_t imageBoard;
        int subDevice, selected;
        const char* deviceState;
    };
    const Case cases[] = {
        {1, 0, 3, 2, 0, "2/3"},                         // board 1 + 2
        {0, 1, 2, 1, 0, "1/3"},                         // the group names sub-device 1
        {1, 0, 9, 0, updater::kNoFittingImage, "2/3"},  // none fits: every one was tried
    };
    for (const Case& c : cases) {
        const int id = plug("standard,board=1,subdevices=3");
        package.trailer.groupRecords[0].subDeviceScan = c.scan;
        package.trailer.groupRecords[0].subDevice = c.fixed;
        package.trailer.groupBlocks[0].images[0].boardId = c.imageBoard;
        host = RecordingHost{};
        start(updater::NimbrelOptions{});
        ASSERT_TRUE(pumpUntil([&] { return host.connected; })) << c.imageBoard;
        EXPECT_EQ(procedure->subDevice(), c.subDevice) << c.imageBoard;
        EXPECT_EQ(procedure->selectedImage(), c.selected) << c.imageBoard;
        EXPECT_EQ(stateOf(id, "sub-device"), c.deviceState) << c.imageBoard;
        procedure.reset();
        simulator->unplug(id);
    }
}

TEST_F(DeviceWatchTest, ASubDeviceBehindAHubIsUpdatedWithoutLeavingTheBus) {
    const int id = plug("standard,fw=1.2.5,board=1,subdevices=2");
    package.trailer.groupRecords[0].subDeviceScan = 1;
    package.trailer.groupBlocks[0].images[0].boardId = 2;
    start(silent());
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(*host.closedWith, updater::kExitSuccess);
    EXPECT_EQ(firmwareOf(id), "1.2.7");
    EXPECT_EQ(sent(kStandardApp, 0x11, 0x00), 1);
    EXPECT_GE(sent(kStandardApp, 0x1F, 60), 50) << "the blocks went through the application link";
    const auto trace = simulator->trace();
    EXPECT_TRUE(std::all_of(trace.begin(), trace.end(), [](const sim::TraceEntry& e) {
        return e.productId == kStandardApp;
    })) << "never under the boot-loader product ID";
}

TEST_F(DeviceWatchTest, AControllerThatDoesNotReachItsBootLoaderIsReported) {
    for (const bool comesBackAsApplication : {false, true}) {
        // Coming back under the application identity ends the wait at once, whatever its length.
        platform::TimingPolicy policy = platform::timing();
        policy.updaterReenumerateWait = comesBackAsApplication ? std::chrono::milliseconds(3600000) : 300ms;
        platform::setTiming(policy);
        const int id = plug("standard,fw=1.2.5");
        host = RecordingHost{};
        start(updater::NimbrelOptions{});
        ASSERT_TRUE(pumpUntil([&] { return host.connected; }));
        // The update-mode query, then EnterBootLoader: the controller leaves.
        simulator->setFault(id, sim::FaultKind::UnplugAfter, 2);
        procedure->update();
        EXPECT_TRUE(procedure->updating());
        ASSERT_TRUE(pumpUntil([&] { return !procedure->anyLinkConnected(); }));
        const int back = comesBackAsApplication ? plug("standard,fw=1.2.5") : 0;
        ASSERT_TRUE(pumpUntil([&] { return !host.refusals.empty(); }, 5s)) << comesBackAsApplication;
        EXPECT_EQ(host.refusals[0], (updater::Refusal{updater::kExitDeviceProblem, {}}));
        EXPECT_FALSE(procedure->updating());
        procedure.reset();
        if (back) simulator->unplug(back);
    }
}

TEST_F(DeviceWatchTest, PickingAnImageGroupWhileFlashingLeavesTheControllerToTheUpdate) {
    plug("standard,boot,fw=1.2.5");
    updater::NimbrelOptions options;
    options.autoStart = true;
    start(options);
    ASSERT_TRUE(pumpUntil([&] { return procedure->flashing(); }, 5s));
    while (procedure->flashing()) {
        procedure->chooseImageGroup(0);
        platform::pumpEventsFor(1ms);
    }
    ASSERT_TRUE(pumpUntil([&] { return host.ended.has_value(); }, 20s));
    EXPECT_TRUE(*host.ended);
}

TEST_F(DeviceWatchTest, TheLastControllerLeavingClearsTheDeviceGroup) {
    const int id = plug("standard");
    start(updater::NimbrelOptions{});
    ASSERT_TRUE(pumpUntil([&] { return host.connected && procedure->deviceGroup() == 0; }));
    simulator->unplug(id);
    ASSERT_TRUE(pumpUntil([&] { return procedure->deviceGroup() == -1; }));
    EXPECT_FALSE(host.connected);
    EXPECT_TRUE(procedure->deviceVersionText().empty());
}

// The links themselves: arrivals wait for the settle timer, removals do not.
TEST_F(DeviceWatchTest, LinksReportArrivalsAfterTheSettleAndRemovalsAtOnce) {
    platform::TimingPolicy slower = platform::timing();
    slower.updaterArrivalSettle = 100ms;
    platform::setTiming(slower);
    const int first = plug("standard");
    plug("standard");
    devicelinktest::MessageRecorder owner;
    updater::IapLink link(0, sim::kVendorId, kStandardApp);
    link.setOwner(&owner);
    EXPECT_EQ(link.open(), 2) << "listed at once";
    const auto reports = [&] { return owner.withId(updater::kMsgUpdaterPlug); };
    EXPECT_TRUE(reports().empty()) << "reported only after the settle";
    ASSERT_TRUE(pumpUntil([&] { return reports().size() == 2; }));
    EXPECT_EQ(reports()[0].wParam, devicelinktest::plugWParam(0, 0));
    EXPECT_EQ(reports()[1].wParam, devicelinktest::plugWParam(1, 0));
    EXPECT_EQ(reports()[1].lParam, 2);

    simulator->unplug(first);
    ASSERT_TRUE(pumpUntil([&] { return reports().size() == 3; }));
    EXPECT_EQ(reports()[2].wParam, devicelinktest::plugWParam(0, 0));
    EXPECT_EQ(reports()[2].lParam, 0);

    // Gone before its arrival was reported: neither is.
    const int brief = plug("standard");
    ASSERT_TRUE(pumpUntil([&] { return link.connected() == 2; }));
    simulator->unplug(brief);
    ASSERT_TRUE(pumpUntil([&] { return link.connected() == 1; }));
    platform::pumpEventsFor(300ms);
    EXPECT_EQ(reports().size(), 3u);
}

// A group whose boot loader has its application's IDs has one link; its
// reports stand for either identity and a silent run always ends: flashed when
// the controller is in its boot loader, refused (3) when it was asked there
// and never came back on that link (this controller returns under 014E).
TEST_F(DeviceWatchTest, AGroupWithOneIdForBothIdentitiesEndsInSilentMode) {
    const struct {
        const char* device;
        std::uint16_t productId;
        int exitCode;
        std::vector<std::string> reports;
        const char* firmware;
    } cases[] = {
        {"standard,boot,fw=1.2.5", kStandardBoot, updater::kExitSuccess, {}, "1.2.7"},
        // A boot loader with other IDs never shows on the group's one link.
        {"standard,fw=1.2.5", kStandardApp, updater::kExitDeviceProblem, {updater::kBootLoaderNotReachedText}, "1.2.5"},
        // One that keeps them comes back there and is flashed.
        {"standard,fw=1.2.5,sameid", kStandardApp, updater::kExitSuccess, {}, "1.2.7"},
    };
    for (const auto& c : cases) {
        package.trailer.groupRecords[0].appProductId = package.trailer.groupRecords[0].bootProductId = c.productId;
        const int id = plug(c.device);
        host = RecordingHost{};
        start(silent());
        ASSERT_TRUE(waitForExit()) << c.device << ": the silent run waits for ever";
        EXPECT_EQ(*host.closedWith, c.exitCode) << c.device;
        EXPECT_EQ(host.silentReports, c.reports) << c.device;
        EXPECT_EQ(firmwareOf(id), c.firmware) << c.device;
        procedure.reset();
        simulator->unplug(id);
    }
}

// A silent run whose controller went before its arrival was reported sees no
// report at all; it ends as "no device" instead of waiting.
TEST_F(DeviceWatchTest, ASilentRunThatStandsStillEndsWithNoDevice) {
    platform::TimingPolicy policy = platform::timing();
    policy.updaterSilentIdleWait = 200ms;
    policy.updaterArrivalSettle = 1s;  // the removal comes first
    platform::setTiming(policy);
    const int id = plug("standard,fw=1.2.5");
    start(silent());
    simulator->unplug(id);
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(*host.closedWith, updater::kExitNoDevice);
    EXPECT_EQ(host.silentReports.size(), 1u);
}

// A silent run says why it failed or was refused, as the terminal does.
TEST_F(DeviceWatchTest, ASilentRunReportsWhyItFailedOrWasRefused) {
    const struct {
        const char* device;
        sim::FaultKind fault;
        int after;
        int exitCode;
        std::string reportStart;
    } cases[] = {
        // The application firmware's records, the boot loader's information and
        // the start of the flash come first: record 20 is a block.
        {"standard,fw=1.2.5", sim::FaultKind::UnplugAfter, 20, updater::kExitUpdateFailed, "Fail to Write Flash : "},
        {"standard,fw=1.2.5", sim::FaultKind::WrongChecksums, 3, updater::kExitUpdateFailed,
         "Fail to  CheckSum FW Data!"},
        {"standard,fw=1.2.5,board=9", sim::FaultKind::DropReplies, 0, updater::kExitDeviceProblem, "Layout Fail!"},
    };
    for (const auto& c : cases) {
        const int id = plug(c.device);
        simulator->setFault(id, c.fault, c.after);
        host = RecordingHost{};
        start(silent());
        ASSERT_TRUE(waitForExit()) << c.reportStart;
        EXPECT_EQ(*host.closedWith, c.exitCode) << c.reportStart;
        ASSERT_EQ(host.silentReports.size(), 1u) << c.reportStart;
        EXPECT_EQ(host.silentReports[0].rfind(c.reportStart, 0), 0u) << host.silentReports[0];
        EXPECT_TRUE(host.messages.empty()) << "no message box in a silent run";
        procedure.reset();
        simulator->unplug(id);
    }
}

// The records of one controller, in the order it received them.
std::vector<sim::Record> recordsOf(const std::vector<sim::TraceEntry>& trace, int id) {
    std::vector<sim::Record> records;
    for (const sim::TraceEntry& entry : trace)
        if (entry.deviceId == id) records.push_back(entry.record);
    return records;
}

// Power cut at twelve points of an update (the erase, ten blocks spread over
// the image, a block of the version area): the run never reports success, the
// controller comes back in its boot loader with its flash as the cut left it,
// and a second run installs the image. The points come from a clean run.
TEST_F(DeviceWatchTest, AnUpdateCutByAPowerCycleIsRecoveredByASecondRun) {
    const int mapped = plug("standard,fw=1.2.5");
    start(silent());
    ASSERT_TRUE(waitForExit());
    ASSERT_EQ(*host.closedWith, updater::kExitSuccess);
    const std::vector<sim::Record> clean = recordsOf(simulator->trace(), mapped);
    const std::uint32_t imageChecksum = [&] {
        std::uint32_t sum = 0;
        simulator->inspect(mapped, [&](const sim::EmulatedController& c) { sum = *c.flashChecksum(1024, 65536); });
        return sum;
    }();
    procedure.reset();
    simulator->unplug(mapped);

    std::vector<std::size_t> imageBlocks, versionBlocks;
    std::size_t erase = 0;
    bool checksumSeen = false;
    for (std::size_t i = 0; i < clean.size(); ++i) {
        const auto cmd = clean[i][0], key = clean[i][1];
        if (cmd == 0x1D && key == 0x00 && erase == 0) erase = i;
        if (cmd == 0x1D && key == 0x01) checksumSeen = true;
        if (cmd == 0x1F) (checksumSeen ? versionBlocks : imageBlocks).push_back(i);
    }
    ASSERT_NE(erase, 0u);
    ASSERT_GE(imageBlocks.size(), 10u);
    ASSERT_FALSE(versionBlocks.empty());
    std::vector<std::pair<std::string, std::size_t>> cuts{{"erase", erase}};
    for (std::size_t k = 0; k < 10; ++k) {
        const std::size_t block = k * (imageBlocks.size() - 1) / 9;
        cuts.emplace_back("image block " + std::to_string(block), imageBlocks[block]);
    }
    cuts.emplace_back("version block", versionBlocks[versionBlocks.size() / 2]);

    for (const auto& [where, index] : cuts) {
        const int id = plug("standard,fw=1.2.5");
        simulator->setFault(id, sim::FaultKind::PowerCycleAfter, static_cast<int>(index + 1));
        host = RecordingHost{};
        start(silent());
        ASSERT_TRUE(waitForExit()) << where;
        EXPECT_NE(*host.closedWith, updater::kExitSuccess) << where << ": a cut run reported success";
        procedure.reset();
        ASSERT_TRUE(pumpUntil([&] { return stateOf(id, "mode") == "boot"; }, 5s))
            << where << ": not back in its boot loader";
        const std::vector<sim::Record> received = recordsOf(simulator->trace(), id);
        ASSERT_GT(received.size(), index) << where;
        EXPECT_EQ(received[index], clean[index]) << where << ": the runs went different ways";

        host = RecordingHost{};
        start(silent());
        ASSERT_TRUE(waitForExit()) << where;
        EXPECT_EQ(*host.closedWith, updater::kExitSuccess) << where << ": the second run did not recover";
        EXPECT_EQ(firmwareOf(id), "1.2.7") << where;
        std::uint32_t sum = 0;
        simulator->inspect(id, [&](const sim::EmulatedController& c) { sum = *c.flashChecksum(1024, 65536); });
        EXPECT_EQ(sum, imageChecksum) << where;
        procedure.reset();
        simulator->unplug(id);
    }
}

// The machine sleeping during a flash takes the controller off every link:
// the update fails (never success), and after the wake a second run installs it.
TEST_F(DeviceWatchTest, SuspendDuringAFlashEndsAsAFailureThatASecondRunRecovers) {
    const int id = plug("standard,fw=1.2.5");
    simulator->setLatency(5ms);  // about 250 ms of blocks: the sleep comes in their middle
    start(silent());
    ASSERT_TRUE(pumpUntil([&] { return sent(kStandardBoot, 0x1F, 60) >= 10; }, 10s));
    simulator->suspend();
    ASSERT_LT(sent(kStandardBoot, 0x1F, 60), 45) << "the flash was nearly done before the sleep";
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(*host.closedWith, updater::kExitUpdateFailed);
    ASSERT_EQ(host.silentReports.size(), 1u);
    procedure.reset();
    simulator->resume();
    EXPECT_EQ(stateOf(id, "mode"), "boot") << "left half written in its boot loader";
    simulator->setLatency(0ms);
    host = RecordingHost{};
    start(silent());
    ASSERT_TRUE(waitForExit());
    EXPECT_EQ(*host.closedWith, updater::kExitSuccess);
    EXPECT_EQ(firmwareOf(id), "1.2.7");
}

}  // namespace
