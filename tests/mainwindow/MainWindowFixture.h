#pragma once

// The real main window, offscreen, against controllers emulated in this process.
#include "devicelink/HidLibrary.h"
#include "devicelink/UsbDriver.h"
#include "mainwindow/ConfigDlg.h"
#include "platform/Timing.h"
#include "sim/SimBackend.h"
#include "skin/MessageBox.h"
#include "skin/PopupDlgs.h"
#include "skin/SkinDocuments.h"
#include "tests/devicecontrol/SimFixture.h"
#include "tests/support/TestEnvironment.h"
#include "updater/Package.h"

#include <QApplication>
#include <QTimer>

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace mainwindowtest {

using namespace std::chrono_literals;
using devicecontroltest::commandOf;

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

inline bool pumpUntil(const std::function<bool()>& done, std::chrono::milliseconds limit = 10s) {
    const auto end = std::chrono::steady_clock::now() + limit;
    while (!done()) {
        if (std::chrono::steady_clock::now() > end) return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    }
    return true;
}

class MainWindowTest : public testsupport::IsolatedTest {
protected:
    MainWindowTest() {
        devicelink::HidSetBackend(simulator);
        platform::TimingPolicy shortened = platform::timing();
        shortened.hidReplyWait = 150ms;
        shortened.hidWritePause = 0us;
        shortened.loadingPopupDelay = 5ms;
        shortened.loadingPopupSettle = 1ms;
        shortened.updaterInfoRetryPause = 1ms;
        platform::setTiming(shortened);
        // The program folder: the built skin, and an updater of our own.
        std::filesystem::create_directories(programFolder + "Nimbrel");
        for (const char* name : {"Skins.xml", "Strings.xml", "Skins"})
            std::filesystem::create_symlink(std::string(LUMENSTRA_BIN_DIR) + "/" + name, programFolder + name);
        skin::setSkinProgramFolder(programFolder);
        previousBox = skin::SetMessageBoxHandler([this](QWidget*, const std::string& text) { boxes.push_back(text); });
    }
    ~MainWindowTest() override {
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
        std::filesystem::permissions(path, std::filesystem::perms::owner_all);
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

}  // namespace mainwindowtest
