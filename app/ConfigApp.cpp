#include "app/ConfigApp.h"

#include "app/CommandLine.h"
#include "effects/Profiles.h"
#include "mainwindow/ConfigDlg.h"
#include "platform/Companion.h"
#include "platform/DebugLog.h"
#include "platform/Folders.h"
#include "platform/Process.h"
#include "platform/Timing.h"
#include "skin/SkinDocuments.h"

#include <QGuiApplication>
#include <QScreen>

#include <cstdio>
#include <thread>

#include <unistd.h>

namespace {

int primaryScreenWidth() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen ? screen->geometry().width() : 0;
}

}  // namespace

CConfigApp::CConfigApp(std::vector<std::string> arguments) : m_arguments(std::move(arguments)) {}

bool CConfigApp::InitInstance() {
    platform::setUpDataFolder(effects::kDataFolder);

    // A second instance ends silently: no window, nothing to the companion.
    // The SDK server holds the same lock: that one is named, and the exit is an error.
    const platform::SingleInstanceLock::Result lock = m_instanceLock.acquire(kInstanceMutex);
    if (lock == platform::SingleInstanceLock::Result::HeldElsewhere) {
        platform::SingleInstanceLock server;
        if (server.acquire(devicecontrol::kServerLockName) == platform::SingleInstanceLock::Result::HeldElsewhere) {
            std::fputs(
                "lumenstra: lumenstra-cli serve drives the controllers; stop it first "
                "(systemctl --user stop lumenstra-server)\n",
                stderr);
            m_exitCode = kExitServerRuns;
        }
        return false;
    }
    // A runtime folder that is not ours only costs the lock and the companion:
    // say so and run on, as without a lock file.
    if (lock == platform::SingleInstanceLock::Result::Refused)
        std::fprintf(stderr, "lumenstra: %s; running without the single-instance lock\n",
                     m_instanceLock.problem().c_str());

    const std::string programFolder = platform::programFolder();
    skin::setSkinProgramFolder(programFolder);

    // Starting a companion that is not installed would only cost three pauses.
    const std::string companionPath = programFolder + platform::kCompanionExecutable;
    const bool companionInstalled = ::access(companionPath.c_str(), X_OK) == 0;
    // The companion could not open its socket in a refused runtime folder either.
    if (companionInstalled && platform::companion().problem().empty())
        platform::EnsureCompanionRunning([] { return platform::companion().exists(); },
                                         [&] { platform::startDetached(companionPath); },
                                         [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); },
                                         platform::timing().companionStartPause);

    const app::StartOptions options = app::parseCommandLine(m_arguments);
    platform::enableDebugLog(options.debug);
    platform::DebugTrace("App Init");
    if (!companionInstalled) platform::DebugTrace("Companion not installed: %s", companionPath.c_str());

    platform::sendToCompanion(platform::kMsgConfigurationRun, 0, 1);

    const std::string resolutionFolder = app::chooseResolutionFolder(options.resolutionChoice, primaryScreenWidth());
    {
        CConfigDlg mainWindow;
        mainWindow.setResolutionFolder(QString::fromStdString(resolutionFolder));
        mainWindow.setTrueFlag(options.trueFlag);
        mainWindow.setDeviceCheck(options.deviceCheck);
        mainWindow.setLanguageCode(options.languageCode);
        mainWindow.exec();
    }

    // Posted, not sent: the companion may handle it after we have gone.
    platform::postToCompanion(platform::kMsgConfigurationRun, 0, 0);
    return false;
}

int CConfigApp::ExitInstance() {
    m_instanceLock.release();
    return m_exitCode;
}
