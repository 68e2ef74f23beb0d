#pragma once

#include "devicecontrol/ControllerLinks.h"
#include "platform/SingleInstance.h"

#include <string>
#include <vector>

// Lumenstra's application object: one instance per user, the companion
// hand-shake, the command line, and the main window's modal run, which is the
// program's only event loop.
class CConfigApp {
public:
    static constexpr const char* kInstanceMutex = devicecontrol::kInstanceLockName;
    // The exit code while lumenstra-cli serve drives the controllers.
    static constexpr int kExitServerRuns = 1;

    explicit CConfigApp(std::vector<std::string> arguments);

    // The whole start-up and the main window's modal run. Always false: the
    // process ends when the main window has closed.
    bool InitInstance();
    // Releases the instance lock; the process exit code: 0, or kExitServerRuns.
    int ExitInstance();

    int run() {
        InitInstance();
        return ExitInstance();
    }

private:
    std::vector<std::string> m_arguments;
    platform::SingleInstanceLock m_instanceLock;
    int m_exitCode = 0;
};
