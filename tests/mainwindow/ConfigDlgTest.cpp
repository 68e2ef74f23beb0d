// Scenarios on the real main window, offscreen, against controllers emulated in this process.
#include "devicecontrol/ConfigurationSequences.h"
#include "devicelink/HidLibrary.h"
#include "devicelink/UsbDriver.h"
#include "mainwindow/ConfigDlg.h"
#include "platform/Timing.h"
#include "platform/Utf16.h"
#include "sim/SimBackend.h"
#include "skin/FindWindow.h"
#include "skin/MessageBox.h"
#include "skin/PopupDlgs.h"
#include "skin/SkinDocuments.h"
#include "skin/SkinMessages.h"
#include "skin/SkinRecord.h"
#include "skin/SkinText.h"
#include "tests/devicecontrol/SimFixture.h"
#include "tests/mainwindow/MainWindowFixture.h"
#include "tests/support/TestEnvironment.h"
#include "updater/Package.h"

#include <QApplication>
#include <QKeyEvent>
#include <QTest>
#include <QTimer>

#include <gmock/gmock.h>

#include <filesystem>
#include <functional>

using namespace std::chrono_literals;
using devicecontroltest::commandOf;
using testing::ElementsAre;
namespace fs = std::filesystem;

namespace {

using mainwindowtest::PopupAnswerer;
using mainwindowtest::pumpUntil;
using ConfigDlgTest = mainwindowtest::MainWindowTest;

TEST_F(ConfigDlgTest, AStandardAndAnLed5ControllerAreListedReadBackAndTheStandardPageIsShown) {
    const int standard = simulator->plug(sim::ControllerKind::Standard).front();
    const int led5 = simulator->plug(sim::ControllerKind::Led5).front();
    // The icon as the build tree holds it, beside the program folder.
    fs::create_directories(home.path("dist/icons/hicolor/48x48/apps"));
    ASSERT_TRUE(QImage(48, 48, QImage::Format_RGB32)
                    .save(QString::fromStdString(home.path("dist/icons/hicolor/48x48/apps/lumenstra.png"))));
    open();
    ASSERT_TRUE(settled());
    EXPECT_EQ(window->windowTitle(), "Ostmar Pellan KV 6000 Series_RGB_LED");
    EXPECT_FALSE(window->windowIcon().isNull()) << "the minimised window shows the application icon";
    for (int family : {0, 1}) {
        EXPECT_TRUE(window->deviceButton(family).isVisible()) << family;
        ASSERT_EQ(window->deviceMenu(family).itemCount(), 1) << family;
    }
    EXPECT_EQ(window->deviceMenu(0).row(0)->caption(), "Graphics card 1");
    EXPECT_EQ(window->deviceMenu(1).row(0)->caption(), "Graphics card 2 (5 LED)") << "numbers run on across both menus";
    const auto trace = simulator->trace();
    for (int id : {standard, led5}) {
        const auto sent = commandsTo(trace, id);
        EXPECT_NE(std::find(sent.begin(), sent.end(), "52/96/0"), sent.end()) << "read back: the sync source of " << id;
    }
    EXPECT_EQ(window->currentFamily(), 0);
    EXPECT_TRUE(window->page(0).isVisible());
    EXPECT_FALSE(window->page(1).isVisible());
}

TEST_F(ConfigDlgTest, ChoosingTheLed5ControllerSwitchesThePage) {
    simulator->plug(sim::ControllerKind::Standard);
    const int led5 = simulator->plug(sim::ControllerKind::Led5).front();
    open();
    ASSERT_TRUE(settled());
    simulator->clearTrace();
    platform::sendMessage(window.get(), {CConfigDlg::kMsgLed5MenuClick, skin::makeWord(0xFFFF, 0),
                                         static_cast<std::intptr_t>(skin::makeWord(0, CConfigDlg::kItemCommandBase))});
    EXPECT_EQ(window->currentFamily(), 1);
    EXPECT_TRUE(window->page(1).isVisible());
    EXPECT_FALSE(window->page(0).isVisible());
    EXPECT_TRUE(window->deviceButton(1).isChecked());
    EXPECT_FALSE(window->deviceButton(0).isChecked());
    const auto sent = commandsTo(simulator->takeTrace(), led5);
    EXPECT_EQ(std::count(sent.begin(), sent.end(), "41/80/0"), 2) << "the page update runs twice";
}

TEST_F(ConfigDlgTest, ApplyWritesTheWholeConfigurationUnderTheProgressPopup) {
    simulator->plug(sim::ControllerKind::Standard);
    open();
    ASSERT_TRUE(settled());
    // What the configuration sequence sends for this record, as its own tests fix it.
    effects::LedProfileSet set = window->editCopy(0, 0);
    set.selected().zoneEffects[0] = effects::EFFECT_MODE_01;
    window->editCopy(0, 0) = set;
    effects::EditorState state = window->page(0).editorState();
    simulator->clearTrace();
    devicecontrol::ApplyConfiguration(window->applicationLink(0), devicelink::Family::Standard, set, state);
    const auto expected = simulator->takeTrace();

    platform::postMessage(window.get(), {CConfigDlg::kMsgApply, 0, 0});
    ASSERT_TRUE(pumpUntil([&] { return !window->applyProgress().empty() && !window->busy(); }));
    const auto applied = simulator->takeTrace();
    ASSERT_EQ(applied.size(), expected.size());
    for (std::size_t i = 0; i < applied.size(); ++i) EXPECT_EQ(applied[i].record, expected[i].record) << i;

    // 10, one step of 80/15 after each effect written, 90, 100.
    const std::vector<int>& progress = window->applyProgress();
    ASSERT_GE(progress.size(), 4u);
    EXPECT_EQ(progress.front(), 10);
    for (std::size_t k = 1; k + 2 < progress.size(); ++k)
        EXPECT_EQ(progress[k], 10 + static_cast<int>(k) * 80 / 15) << k;
    EXPECT_EQ(progress[progress.size() - 2], 90);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_FALSE(window->progressPopup().isVisible());
    EXPECT_TRUE(window->page(0).isVisible());
    EXPECT_EQ(window->appliedCopy(0, 0), window->editCopy(0, 0));
}

// A controller that does not take the configuration must not look applied.
TEST_F(ConfigDlgTest, ApplyResetAndZelvorWarnExactlyWhenTheControllerRefusedCommands) {
    struct Case {
        unsigned message;
        std::intptr_t lParam;
        int errorReplies;
        bool warned;
    };
    const Case cases[] = {
        {CConfigDlg::kMsgApply, 0, 0, false},
        {CConfigDlg::kMsgApply, 0, 100000, true},
        {CConfigDlg::kMsgResetProfile, 0, 0, false},
        {CConfigDlg::kMsgResetProfile, 0, 100000, true},
        {CConfigDlg::kMsgResetProfile, 0x10000, 100000, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << c.message << " " << c.lParam << " " << c.errorReplies);
        const int id = simulator->plug(sim::ControllerKind::Standard).front();
        PopupAnswerer popups;
        open();
        ASSERT_TRUE(settled());
        simulator->setFault(id, sim::FaultKind::ErrorReplies, c.errorReplies);
        platform::postMessage(window.get(), {c.message, 0, c.lParam});
        platform::pumpEventsFor(50ms);
        ASSERT_TRUE(pumpUntil([&] { return !window->busy(); }));
        platform::pumpEventsFor(200ms);
        const bool warned = std::find(popups.seen.begin(), popups.seen.end(), "APPLY_FAIL") != popups.seen.end();
        EXPECT_EQ(warned, c.warned);
        window.reset();
        simulator->setFault(id, sim::FaultKind::ErrorReplies, 0);
        simulator->unplug(id);
    }
}

TEST_F(ConfigDlgTest, UnpluggingOneControllerKeepsTheWindowAndTheLastOneClosesIt) {
    const std::vector<int> standard = simulator->plug(sim::ControllerKind::Standard, 2);
    const int led5 = simulator->plug(sim::ControllerKind::Led5).front();
    open();
    ASSERT_TRUE(settled());
    window->editCopy(0, 1).selected().zoneEffects[0] = effects::EFFECT_MODE_02;
    ASSERT_NE(window->editCopy(0, 0).selected().zoneEffects[0], effects::EFFECT_MODE_02);

    ASSERT_TRUE(simulator->unplug(standard[0]));
    ASSERT_TRUE(settled());
    EXPECT_EQ(window->editCopy(0, 0).selected().zoneEffects[0], effects::EFFECT_MODE_02)
        << "the records moved down with the controllers";
    EXPECT_EQ(window->deviceMenu(0).itemCount(), 1);
    ASSERT_TRUE(simulator->unplug(led5));
    ASSERT_TRUE(settled());
    EXPECT_FALSE(window->deviceButton(1).isVisible());
    EXPECT_TRUE(window->isVisible());

    ASSERT_TRUE(simulator->unplug(standard[1]));
    EXPECT_TRUE(pumpUntil([&] { return !window->isVisible(); }));
}

TEST_F(ConfigDlgTest, AnOlderControllerGetsTheInformationPopupAndTheUpdaterIsStartedWithoutExitSequence) {
    installUpdater();
    simulator->plug(sim::ControllerKind::Led5);
    open();
    ASSERT_TRUE(settled());
    PopupAnswerer popups;
    popups.infoAnswer = CInfoDlg::kResultUpdate;
    std::size_t queuedWhileOpen = 0;
    bool dimmed = false;
    popups.whileInfoOpen = [&] {
        // The information pop-up runs over the dimming cover of the main window.
        const QWidget* cover = skin::findWindow(QString::fromUtf8(skin::kDimmingTitle));
        dimmed = cover && cover->isVisible() && cover->geometry() == window->frameGeometry();
        sim::DeviceSpec current;
        current.firmware = {2, 0, 0};
        simulator->plug(current);
        pumpUntil([&] { return window->plugQueue().size() == 1; }, 2s);
        queuedWhileOpen = window->plugQueue().size();
    };
    sim::DeviceSpec older;
    older.firmware = {1, 4, 0};
    simulator->plug(older);
    ASSERT_TRUE(pumpUntil([&] { return !window->isVisible(); }));
    EXPECT_THAT(popups.seen, ElementsAre("InfoDlg"));
    EXPECT_TRUE(dimmed);
    EXPECT_EQ(queuedWhileOpen, 1u) << "the second arrival waits in the plug queue";
    EXPECT_TRUE(window->closing());
    ASSERT_TRUE(pumpUntil([&] { return fs::exists(updaterRun); }));
    EXPECT_EQ(testsupport::readFileBytes(updaterRun), "dev:1 true ../mainwindow_tests\n");
    for (const auto& entry : simulator->trace()) EXPECT_NE(commandOf(entry), "50/00/0") << "no exit sequence";
}

TEST_F(ConfigDlgTest, ClosingAfterAnApplyOfProfile0SendsTheExitSequence) {
    const std::vector<int> ids = simulator->plug(sim::ControllerKind::Standard, 2);
    open();
    ASSERT_TRUE(settled());
    platform::postMessage(window.get(), {CConfigDlg::kMsgApply, 0, 0});
    ASSERT_TRUE(pumpUntil([&] { return !window->applyProgress().empty() && !window->busy(); }));
    ASSERT_EQ(window->lastAppliedProfile(), 0);
    simulator->clearTrace();
    window->close();
    const auto trace = simulator->takeTrace();
    for (int id : ids) EXPECT_THAT(commandsTo(trace, id), ElementsAre("41/03/0", "50/00/0", "41/00/0")) << id;
    EXPECT_EQ(window->links().link(devicelink::Family::Standard).connected(), 0);
}

TEST_F(ConfigDlgTest, RenamingAndGroupTogglesAreStoredInTheControllers) {
    const std::vector<int> ids = simulator->plug(sim::ControllerKind::Standard, 2);
    open();
    ASSERT_TRUE(settled());
    PopupAnswerer popups;

    window->StartRename(0, 1);
    auto* editor = window->findChild<QLineEdit*>(QStringLiteral("DEV_NAME"));
    ASSERT_NE(editor, nullptr);
    EXPECT_FALSE(window->deviceMenu(0).isEnabled());
    editor->setText(QStringLiteral("Top card"));
    QTest::keyClick(editor, Qt::Key_Return);
    ASSERT_TRUE(pumpUntil([&] { return window->deviceMenu(0).isEnabled(); }));
    EXPECT_EQ(simulator->devices()[1].name, "Top card");
    EXPECT_EQ(window->deviceMenu(0).row(1)->caption(), "Top card");
    EXPECT_EQ(window->currentDevice(), 1);

    // The current device's check box makes it a group member.
    platform::postMessage(window.get(),
                          {skin::kMenuRightClick, skin::makeWord(0xFFFF, 1),
                           static_cast<std::intptr_t>(skin::makeWord(1, CConfigDlg::kItemCommandBase + 1))});
    ASSERT_TRUE(pumpUntil([&] { return window->identityTable(0)[1][0] == 19; }));
    EXPECT_TRUE(popups.seen.empty()) << "the first member is not asked";

    // The device button's check box makes every device a member after one question.
    window->editCopy(0, 1).selected().zoneEffects[1] = effects::EFFECT_MODE_02;
    window->appliedCopy(0, 1) = window->editCopy(0, 1);
    skin::CBitmapListBtn& button = window->deviceButton(0);
    platform::postMessage(window.get(), {skin::kWmCommand, skin::makeWord(1, skin::kListItemCode),
                                         reinterpret_cast<std::intptr_t>(&button)});
    ASSERT_TRUE(pumpUntil([&] { return window->identityTable(0)[0][0] == 19; }));
    EXPECT_THAT(popups.seen, ElementsAre("OVERWRITE"));
    for (std::size_t i = 0; i < ids.size(); ++i) {
        devicelink::CUSBDriver& link = window->applicationLink(0);
        std::uint8_t block[60] = {};
        ASSERT_EQ(link.GetIdentityBlock(block, static_cast<int>(i)), 0);
        EXPECT_EQ(block[0], 19) << i;
    }
    EXPECT_EQ(window->editCopy(0, 0).selected().zoneEffects[1], effects::EFFECT_MODE_02)
        << "the joiner took the member's records";
}

TEST_F(ConfigDlgTest, ZelvorSyncResetsTheProfileHandsTheCardOverAndReadsItBack) {
    const int id = simulator->plug(sim::ControllerKind::Standard).front();
    open();
    ASSERT_TRUE(settled());
    window->editCopy(0, 0).selected().zoneEffects[0] = effects::EFFECT_MODE_02;
    simulator->clearTrace();
    platform::postMessage(window.get(), {CConfigDlg::kMsgResetProfile, 0, 0x10000});
    ASSERT_TRUE(pumpUntil([&] { return !window->busy() && window->editCopy(0, 0).selected().zelvor == 1; }));
    ASSERT_TRUE(settled());
    const auto sent = commandsTo(simulator->takeTrace(), id);
    ASSERT_GE(sent.size(), 5u);
    EXPECT_THAT(std::vector<std::string>(sent.begin(), sent.begin() + 5),
                ElementsAre("50/10/0", "51/96/0", "50/55/0", "41/03/0", "52/96/0"))
        << "hand over, then read back under the loading pop-up";
    EXPECT_EQ(window->appliedCopy(0, 0).selected().zelvor, 1) << "the read-back profile is the applied one";
    EXPECT_NE(window->editCopy(0, 0).selected().zoneEffects[0], effects::EFFECT_MODE_02);
}

TEST_F(ConfigDlgTest, TheVersionPageComparesTheCurrentControllerWithTheUpdatersPackage) {
    ASSERT_TRUE(openWithANewerController());
    window->ShowView(2);
    EXPECT_TRUE(window->versionPage().isVisible());
    EXPECT_FALSE(window->page(0).isVisible());
    const devicecontrol::FirmwareCheckState& check = window->versionPage().checkState();
    EXPECT_EQ(platform::utf16ToUtf8(check.deviceVersion), "2.1.0");
    EXPECT_EQ(platform::utf16ToUtf8(check.updateVersion), "2.0.0");
    EXPECT_EQ(check.image, 0);
    window->ShowView(0);
    EXPECT_FALSE(window->versionPage().isVisible());
    EXPECT_TRUE(window->page(0).isVisible());
}

TEST_F(ConfigDlgTest, TheVersionPagesOkAndCloseEndThePageWithOne) {
    ASSERT_TRUE(openWithANewerController());
    for (const char* key : {"BUTTON_OK", "BUTTON_CLOSE"}) {
        window->ShowView(2);
        CVersionDlg& page = window->versionPage();
        ASSERT_TRUE(page.isVisible()) << key;
        page.setResult(0);
        auto* button = page.findChild<skin::CBitmapBtn*>(QString::fromLatin1(key));
        ASSERT_NE(button, nullptr) << key;
        QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(5, 5));
        ASSERT_TRUE(pumpUntil([&] { return !page.isVisible(); }, 2s)) << key;
        EXPECT_EQ(page.result(), skin::kResultOk) << key;
        EXPECT_TRUE(window->isVisible()) << "only the page ends";
    }
}

TEST_F(ConfigDlgTest, WithoutAnUpdaterTheVersionPageSaysNoPackageIsInstalled) {
    sim::DeviceSpec controller;
    controller.firmware = {2, 1, 0};
    simulator->plug(controller);
    open();
    ASSERT_TRUE(settled());
    boxes.clear();
    window->ShowView(2);
    const CVersionDlg& page = window->versionPage();
    EXPECT_FALSE(page.packageStatus().installed);
    EXPECT_FALSE(page.packageStatus().updaterPresent);
    EXPECT_EQ(page.updateText(), "no firmware package is installed");
    EXPECT_EQ(page.firmwareText(), "2.1.0") << "the controller's version is still shown";
    EXPECT_TRUE(boxes.empty()) << "said on the page, not in a message box";

    // A whole package, as the build's demo updater carries one.
    fs::create_directories(programFolder + "Nimbrel");
    fs::copy_file(std::string(LUMENSTRA_BIN_DIR) + "/Nimbrel/Nimbrel", programFolder + "Nimbrel/Nimbrel");
    window->ShowView(2);
    EXPECT_TRUE(page.packageStatus().installed);
    EXPECT_NE(page.updateText(), "no firmware package is installed");
    EXPECT_FALSE(page.updateText().empty());
}

TEST_F(ConfigDlgTest, EveryViewLiesInsideTheWindowAtEveryResolutionSet) {
    simulator->plug(sim::ControllerKind::Standard);
    simulator->plug(sim::ControllerKind::Led5);
    for (const char* resolution : {"1920x1080/", "1366x768/", "960x540/"}) {
        window = std::make_unique<CConfigDlg>();
        window->setResolutionFolder(resolution);
        window->show();
        ASSERT_TRUE(settled()) << resolution;
        const skin::SkinRecord sub = skin::ParseSkinRecord(
            skin::GetSkinText(skin::skinDocument(skin::SkinDocument::Buttons), "MAIN", "SUB_DLG"));
        for (const int view : {0, 2}) {
            window->ShowView(view);
            const QWidget& page = view == 0 ? static_cast<QWidget&>(window->currentPage()) : window->versionPage();
            EXPECT_EQ(page.pos(), QPoint(sub.left, sub.top)) << resolution << " view " << view;
            EXPECT_TRUE(window->rect().contains(page.geometry()))
                << resolution << " view " << view << ": the page ends inside the window";
        }
        // The page's own controls lie on its picture.
        const CVersionDlg& version = window->versionPage();
        for (const char* key : {"BUTTON_OK", "BUTTON_UPDATE", "BUTTON_CLOSE"}) {
            const auto* button = version.findChild<skin::CBitmapBtn*>(QString::fromLatin1(key));
            ASSERT_NE(button, nullptr) << key;
            EXPECT_TRUE(version.rect().contains(button->geometry())) << resolution << " " << key;
        }
        window.reset();
    }
}

TEST_F(ConfigDlgTest, WithoutControllersTheNoDeviceWarningEndsTheProgramUnlessNodev) {
    PopupAnswerer popups;
    open();
    EXPECT_THAT(popups.seen, ElementsAre("NO_KEYBOARD"));
    EXPECT_TRUE(pumpUntil([&] { return !window->isVisible(); }));

    popups.seen.clear();
    open(false);
    platform::pumpEvents(5);
    EXPECT_TRUE(popups.seen.empty());
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->deviceMenu(0).itemCount(), 2) << "nodev works on two standard devices";
}

}  // namespace
