// Nimbrel's window, offscreen, against emulated controllers in the same
// process: what it shows, what OK, Cancel and the pop-ups do, and that
// nothing reaches a controller before OK.
#include "devicelink/HidLibrary.h"
#include "sim/SimBackend.h"
#include "tests/devicelink/DeviceLinkFixture.h"
#include "tests/support/TestEnvironment.h"
#include "tests/updater/UpdaterFixture.h"
#include "updater/nimbrel/NimbrelDlg.h"

#include <QTest>

#include <gtest/gtest.h>

#include <filesystem>
#include <sys/stat.h>

namespace {

using namespace std::chrono_literals;
using devicelinktest::pumpUntil;
using sim::ControllerKind;

const std::string kSkinFolder = LUMENSTRA_BIN_DIR "/Nimbrel/NimbrelSkin/";

class NimbrelWindowTest : public testsupport::IsolatedTest {
protected:
    NimbrelWindowTest() {
        devicelink::HidSetBackend(simulator);
        updatertest::addGroup(package, 0, ControllerKind::Standard, 1, data, {1, 2, 7});
        package.trailer.title = u"Nimbrel test";
        package.trailer.captions = {u"First caption", u"Second caption", u"Third caption"};
    }
    ~NimbrelWindowTest() override {
        window.reset();
        devicelink::HidSetBackend(nullptr);
    }

    int plug(const std::string& spec) { return simulator->plug(*sim::parseDeviceSpec(spec).spec).id; }

    updater::CNimbrelDlg& open(const updater::NimbrelOptions& options = {}) {
        window = std::make_unique<updater::CNimbrelDlg>(package, options, kSkinFolder);
        window->setRelaunchFolder(home.path(""));
        EXPECT_TRUE(window->skinLoaded());
        window->show();
        started = window->start();
        return *window;
    }

    bool ready() {
        return pumpUntil([&] { return window->okButton().isEnabled() && window->procedure().selectedImage() >= 0; },
                         10s);
    }

    static void click(QWidget& widget) { QTest::mouseClick(&widget, Qt::LeftButton, {}, widget.rect().center()); }

    // Waits for the result pop-up and clicks its OK.
    int confirmResult() {
        if (!pumpUntil([&] { return window->warning() && window->warning()->isVisible(); }, 20s)) return -1;
        updater::CWarning& warning = *window->warning();
        const int code = warning.code();
        lastWarningText = warning.textLabel().text().toStdString();
        lastWarningTitle = warning.windowTitle().toStdString();
        click(warning.okButton());
        return code;
    }

    bool waitForEnd() {
        return pumpUntil([&] { return window->ended(); }, 20s);
    }

    std::string firmwareOf(int id) { return updatertest::firmwareOf(*simulator, id); }

    std::string stateOf(int id, const std::string& key) { return updatertest::stateOf(*simulator, id, key); }

    // Records sent to the boot loader: what flashing takes.
    long bootLoaderRecords() {
        const auto trace = simulator->trace();
        return std::count_if(trace.begin(), trace.end(), [](const sim::TraceEntry& e) {
            return e.productId == sim::bootLoaderProductId(ControllerKind::Standard);
        });
    }

    std::string text(const std::string& key) { return window->textLabel(key).text().toStdString(); }

    // Stands in for Lumenstra: records the argument it was started with. The
    // file appears whole, so a test that sees it can read it at once.
    std::string writeRelaunchScript() {
        const std::string script = home.path("relaunch.sh");
        testsupport::writeFileBytes(script,
                                    "#!/bin/sh\nfolder=\"$(dirname \"$0\")\"\n"
                                    "echo \"$1\" > \"$folder/relaunch-argument.part\"\n"
                                    "mv \"$folder/relaunch-argument.part\" \"$folder/relaunch-argument\"\n");
        ::chmod(script.c_str(), 0755);
        return home.path("relaunch-argument");
    }

    updatertest::ShortUpdaterTiming timing;
    std::shared_ptr<sim::SimBackend> simulator = std::make_shared<sim::SimBackend>(0ms);
    std::vector<std::uint8_t> data = updatertest::imageBytes(3001);
    updater::FirmwarePackage package;
    std::unique_ptr<updater::CNimbrelDlg> window;
    bool started = false;
    std::string lastWarningText;
    std::string lastWarningTitle;
};

TEST_F(NimbrelWindowTest, AnOlderControllerIsShownAndUpdatedAfterOk) {
    const int id = plug("standard,fw=1.2.5");
    updater::CNimbrelDlg& dlg = open();
    ASSERT_TRUE(started);
    ASSERT_TRUE(ready());
    EXPECT_EQ(text("STR_TITLE"), "Nimbrel test");
    EXPECT_EQ(text("STR_CAPTION2"), "Second caption");
    EXPECT_EQ(text("RECT_PRODUCT"), "Standard");
    EXPECT_EQ(text("RECT_LAYOUT"), "Test layout");
    EXPECT_EQ(text("RECT_VER"), "1.2.7");
    EXPECT_FALSE(text("RECT_CUR_VER").empty());
    EXPECT_EQ(QString::fromStdString(text("RECT_CUR_VER")),
              QString::fromStdU16String(dlg.procedure().deviceVersionText()));
    EXPECT_EQ(bootLoaderRecords(), 0) << "nothing is flashed before OK";
    EXPECT_TRUE(dlg.closeButton().isEnabled());
    EXPECT_FALSE(dlg.progressBar().isVisible());

    std::vector<int> values;
    bool closeEnabledWhileFlashing = false;
    bool escapeClosedIt = false;
    QObject::connect(&dlg.progressBar(), &QProgressBar::valueChanged, [&](int value) {
        values.push_back(value);
        if (value > 0 && value < 100) {
            closeEnabledWhileFlashing |= dlg.closeButton().isEnabled() || dlg.okButton().isEnabled();
            QTest::keyClick(&dlg, Qt::Key_Escape);
            escapeClosedIt |= dlg.ended();
        }
    });
    click(dlg.okButton());
    EXPECT_EQ(confirmResult(), updater::kWarningSuccess);
    EXPECT_EQ(lastWarningText, "Firmware Update Success!");
    EXPECT_EQ(lastWarningTitle, "Halvern NIMBREL WARN");
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(dlg.exitCode(), updater::kExitSuccess);
    // The bar rises to 100; the controller's return afterwards sets it back to 0.
    const auto full = std::find(values.begin(), values.end(), 100);
    ASSERT_NE(full, values.end());
    EXPECT_GE(full - values.begin(), 2);
    EXPECT_TRUE(std::is_sorted(values.begin(), full + 1));
    EXPECT_FALSE(closeEnabledWhileFlashing);
    EXPECT_FALSE(escapeClosedIt);
    EXPECT_GT(bootLoaderRecords(), 0);
    ASSERT_TRUE(pumpUntil([&] { return stateOf(id, "mode") == "app"; }, 10s));
    EXPECT_EQ(firmwareOf(id), "1.2.7");
}

TEST_F(NimbrelWindowTest, TheSameVersionIsRefusedUnlessForceIsTicked) {
    const int id = plug("standard,fw=1.2.7");
    updater::CNimbrelDlg& dlg = open();
    ASSERT_TRUE(ready());
    click(dlg.okButton());
    EXPECT_EQ(confirmResult(), updater::kWarningError);
    EXPECT_EQ(lastWarningText.substr(0, 5), "Error");
    EXPECT_FALSE(dlg.ended()) << "the window stays for another choice";
    EXPECT_EQ(bootLoaderRecords(), 0);
    click(dlg.cancelButton());
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(dlg.exitCode(), updater::kExitNotNewer);
    EXPECT_EQ(firmwareOf(id), "1.2.7");
    EXPECT_EQ(stateOf(id, "mode"), "app");
}

TEST_F(NimbrelWindowTest, TheForceBoxUpdatesTheSameVersion) {
    const int id = plug("standard,fw=1.2.7");
    updater::CNimbrelDlg& dlg = open();
    ASSERT_TRUE(ready());
    ASSERT_TRUE(dlg.forceBox().isVisible());
    dlg.forceBox().click();
    click(dlg.okButton());
    EXPECT_EQ(confirmResult(), updater::kWarningSuccess);
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(dlg.exitCode(), updater::kExitSuccess);
    EXPECT_GT(bootLoaderRecords(), 0);
    ASSERT_TRUE(pumpUntil([&] { return stateOf(id, "mode") == "app"; }, 10s));
}

TEST_F(NimbrelWindowTest, PowerLossFailsAndASecondRunRecoversFromTheBootLoader) {
    const int id = plug("standard,fw=1.2.5");
    // Six records in the application firmware, four to start the flash, then 50 blocks.
    ASSERT_TRUE(simulator->setFault(id, sim::FaultKind::UnplugAfter, 60));
    updater::CNimbrelDlg& dlg = open();
    ASSERT_TRUE(ready());
    click(dlg.okButton());
    EXPECT_EQ(confirmResult(), updater::kWarningFailed);
    EXPECT_EQ(lastWarningText.substr(0, 23), "Firmware Update Failed!");
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(dlg.exitCode(), updater::kExitUpdateFailed);
    window.reset();

    // Power back: the half-written controller starts in its boot loader.
    const int back = plug("standard,boot,fw=1.2.5");
    updater::CNimbrelDlg& second = open();
    ASSERT_TRUE(ready());
    click(second.okButton());
    EXPECT_EQ(confirmResult(), updater::kWarningSuccess);
    ASSERT_TRUE(waitForEnd());
    EXPECT_EQ(second.exitCode(), updater::kExitSuccess);
    ASSERT_TRUE(pumpUntil([&] { return stateOf(back, "mode") == "app"; }, 10s));
    EXPECT_EQ(firmwareOf(back), "1.2.7");
}

TEST_F(NimbrelWindowTest, CancelAndCloseEndWithoutSendingAnything) {
    for (const bool useClose : {false, true}) {
        simulator->clearTrace();
        const int id = plug("standard,fw=1.2.5");
        updater::CNimbrelDlg& dlg = open();
        ASSERT_TRUE(ready());
        const long before = static_cast<long>(simulator->trace().size());
        click(useClose ? dlg.closeButton() : dlg.cancelButton());
        ASSERT_TRUE(waitForEnd()) << useClose;
        EXPECT_EQ(dlg.exitCode(), 0) << useClose;
        EXPECT_EQ(static_cast<long>(simulator->trace().size()), before) << useClose;
        EXPECT_EQ(bootLoaderRecords(), 0) << useClose;
        EXPECT_EQ(firmwareOf(id), "1.2.5") << useClose;
        window.reset();
        simulator->unplug(id);
    }
}

TEST_F(NimbrelWindowTest, TheGroupSelectorOfATwoGroupPackage) {
    struct Case {
        std::uint8_t shown;
        bool visible;
    };
    updatertest::addGroup(package, 1, ControllerKind::Led5, 1, data, {1, 2, 7});
    package.trailer.groupBlocks[1].versionText = u"2.0.1";
    for (const Case c : {Case{1, true}, Case{0, false}}) {
        package.trailer.groupSelectorShown = c.shown;
        plug("standard,fw=1.2.5");
        updater::CNimbrelDlg& dlg = open();
        ASSERT_TRUE(ready());
        EXPECT_EQ(dlg.groupSelector().isVisible(), c.visible);
        EXPECT_EQ(dlg.groupLabel().isVisible(), c.visible);
        EXPECT_EQ(dlg.groupLabel().text().toStdString(), "Bin Group:");
        if (c.visible) {
            ASSERT_EQ(dlg.groupSelector().count(), 2);
            EXPECT_EQ(dlg.groupSelector().itemText(0).toStdString(), "Standard");
            EXPECT_EQ(dlg.groupSelector().itemText(1).toStdString(), "LED5");
            dlg.groupSelector().setCurrentIndex(1);
            emit dlg.groupSelector().activated(1);
            ASSERT_TRUE(pumpUntil([&] { return dlg.procedure().imageGroup() == 1; }));
            EXPECT_EQ(text("RECT_PRODUCT"), "LED5");
            EXPECT_EQ(text("RECT_VER"), "2.0.1");
        }
        window.reset();
        for (const auto& device : simulator->devices()) simulator->unplug(device.id);
    }
}

TEST_F(NimbrelWindowTest, AutoStartRelaunchesLumenstraOnlyAfterSuccess) {
    const std::string argumentFile = writeRelaunchScript();
    for (const bool powerLoss : {true, false}) {
        std::filesystem::remove(argumentFile);
        const int id = plug("standard,fw=1.2.5");
        if (powerLoss) {
            ASSERT_TRUE(simulator->setFault(id, sim::FaultKind::UnplugAfter, 60));
        }
        updater::NimbrelOptions options;
        options.autoStart = true;
        options.relaunchPath = "relaunch.sh";
        updater::CNimbrelDlg& dlg = open(options);
        // No OK: "true" starts as soon as the controller is ready.
        EXPECT_EQ(confirmResult(), powerLoss ? updater::kWarningFailed : updater::kWarningSuccess);
        ASSERT_TRUE(waitForEnd());
        EXPECT_EQ(dlg.exitCode(), powerLoss ? updater::kExitUpdateFailed : updater::kExitSuccess);
        if (powerLoss) {
            // Nothing could start it later than the end of the window.
            EXPECT_FALSE(std::filesystem::exists(argumentFile));
        } else {
            ASSERT_TRUE(pumpUntil([&] { return std::filesystem::exists(argumentFile); }, 10s));
            EXPECT_EQ(testsupport::readFileBytes(argumentFile), "true\n");
        }
        window.reset();
        for (const auto& device : simulator->devices()) simulator->unplug(device.id);
    }
}

TEST_F(NimbrelWindowTest, ControlsCarryTheirSkinKeysForAssistiveTechnology) {
    plug("standard,fw=1.2.5");
    updater::CNimbrelDlg& dlg = open();
    ASSERT_TRUE(ready());
    struct Expected {
        QWidget* control;
        const char* key;
    };
    const Expected table[] = {{&dlg.okButton(), "BUTTON_OK"},       {&dlg.cancelButton(), "BUTTON_CANCEL"},
                              {&dlg.closeButton(), "BUTTON_CLOSE"}, {&dlg.groupSelector(), "COMBO_BIN_GROUP"},
                              {&dlg.forceBox(), "CHECK_FORCE"},     {&dlg.progressBar(), "RECT_UPDATE"}};
    for (const Expected& e : table) EXPECT_EQ(e.control->accessibleDescription().toStdString(), e.key);
    EXPECT_EQ(dlg.okButton().caption(), "OK");
    EXPECT_EQ(dlg.cancelButton().caption(), "Cancel");
}

}  // namespace
