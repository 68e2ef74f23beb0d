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

// Answers every skinned pop-up that opens: warnings by their message key,
// the firmware information pop-up with `infoAnswer`. Records what it saw.
class PopupAnswerer {
public:
    PopupAnswerer() {
        m_timer.setInterval(10);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { answer(); });
        m_timer.start();
    }
    std::vector<std::string> seen;
    std::map<std::string, int> answers;  // message key -> result; absent: OK
    int infoAnswer = skin::kResultOk;
    std::function<void()> whileInfoOpen;  // runs once while the information pop-up is up

private:
    void answer() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (!widget->isVisible()) continue;
            if (auto* warning = dynamic_cast<skin::CWarnDlg*>(widget)) {
                seen.push_back(warning->message());
                const auto found = answers.find(warning->message());
                warning->done(found == answers.end() ? skin::kResultOk : found->second);
                return;
            }
            if (auto* info = dynamic_cast<CInfoDlg*>(widget)) {
                if (info->property("answered").toBool()) continue;
                info->setProperty("answered", true);
                seen.push_back("InfoDlg");
                if (whileInfoOpen) std::exchange(whileInfoOpen, {})();
                info->done(infoAnswer);
                return;
            }
        }
    }
    QTimer m_timer;
};

bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

class ConfigDlgTest : public testsupport::IsolatedTest {
protected:
    ConfigDlgTest() {
        devicelink::HidSetBackend(simulator);
        platform::TimingPolicy shortened = platform::timing();
        shortened.hidReplyWait = 150ms;
        shortened.hidWritePause = 0us;
        shortened.loadingPopupDelay = 5ms;
        shortened.loadingPopupSettle = 1ms;
        shortened.updaterInfoRetryPause = 1ms;
        platform::setTiming(shortened);
        // The program folder: the built skin, and an updater of our own.
        fs::create_directories(programFolder + "Nimbrel");
        for (const char* name : {"Skins.xml", "Strings.xml", "Skins"})
            fs::create_symlink(std::string(LUMENSTRA_BIN_DIR) + "/" + name, programFolder + name);
        skin::setSkinProgramFolder(programFolder);
        previousBox = skin::SetMessageBoxHandler([this](QWidget*, const std::string& text) { boxes.push_back(text); });
    }
    ~ConfigDlgTest() override {
        window.reset();
        skin::SetMessageBoxHandler(previousBox);
        platform::setTiming(saved);
        devicelink::HidSetBackend(nullptr);
    }

    // An updater that offers firmware 2.0.0 to standard controllers and, run, writes its arguments down.
    void installUpdater() {
        updater::Trailer trailer;
        updater::GroupRecord& group = trailer.groupRecords[0];
        group.appVendorId = devicelink::kVendorId;
        group.appProductId = devicelink::kStandardAppProductId;
        group.bootProductId = devicelink::kStandardBootProductId;
        const auto identity = sim::defaultFirmwareIdentity(sim::ControllerKind::Standard);
        std::copy(identity.begin(), identity.end(), group.identities[0].begin());
        trailer.groupBlocks[0].versionText = u"2.0.0";
        trailer.groupBlocks[0].images[0] = {4096, 0, u"image", 1, {2, 0, 0}};
        std::vector<std::uint8_t> bytes = updater::serializeTrailer(trailer);
        updater::Scramble(bytes.data(), bytes.size());
        const std::string path = programFolder + "Nimbrel/Nimbrel";
        testsupport::writeFileBytes(path, "#!/bin/sh\necho \"$@\" > '" + updaterRun + "'\nexit 0\n" +
                                              std::string(bytes.begin(), bytes.end()));
        fs::permissions(path, fs::perms::owner_all);
    }

    void open(bool deviceCheck = true) {
        window = std::make_unique<CConfigDlg>();
        window->setResolutionFolder("960x540/");
        window->setDeviceCheck(deviceCheck);
        window->show();
    }

    // The updater of installUpdater and a controller that runs 2.1.0, newer than its package.
    bool openWithANewerController() {
        installUpdater();
        sim::DeviceSpec newer;
        newer.firmware = {2, 1, 0};
        simulator->plug(newer);
        open();
        return settled();
    }

    // Every plugged controller is loaded and the last one selected.
    bool settled() {
        const auto quiet = [&] {
            if (!simulator->waitUntilSettled(0ms) || window->busy() || !window->plugQueue().empty() ||
                window->windowTimerRunning(CConfigDlg::kTimerDeferredSelection))
                return false;
            for (int family : {0, 1})
                if (window->deviceMenu(family).itemCount() != window->applicationLink(family).deviceCount())
                    return false;
            return true;
        };
        // Quiet twice, some time apart: posted plug messages have been handled.
        return pumpUntil(quiet) && (platform::pumpEventsFor(50ms), pumpUntil(quiet));
    }

    std::vector<std::string> commandsTo(const std::vector<sim::TraceEntry>& trace, int deviceId) {
        std::vector<std::string> commands;
        for (const auto& entry : trace)
            if (entry.deviceId == deviceId) commands.push_back(commandOf(entry));
        return commands;
    }

    std::string storedValue(int id, const std::string& key) {
        const auto state = simulator->state(id);
        if (!state) return {};
        for (const auto& [name, value] : *state)
            if (name == key) return value;
        return {};
    }

    platform::TimingPolicy saved = platform::timing();
    std::shared_ptr<sim::SimBackend> simulator = std::make_shared<sim::SimBackend>(0ms);
    std::string programFolder = home.path("program/");
    std::string updaterRun = home.path("updater-run");
    skin::MessageBoxHandler previousBox;
    std::vector<std::string> boxes;
    std::unique_ptr<CConfigDlg> window;
};

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
