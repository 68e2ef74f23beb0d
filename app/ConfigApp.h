#pragma once

#include "platform/SingleInstance.h"

#include <string>
#include <vector>

// Lumenstra's application object: one instance per user, the companion
// hand-shake, the command line, and the main window's modal run, which is the
// program's only event loop.
class CConfigApp {
public:
    static constexpr char kInstanceMutex[] = "Ostmar_Pellan_KV 6000_Series_RGB_LED_configure";

    explicit CConfigApp(std::vector<std::string> arguments);

    // The whole start-up and the main window's modal run. Always false: the
    // process ends when the main window has closed.
    bool InitInstance();
    // Releases the instance lock; the process exit code.
    int ExitInstance();

    int run() {
        InitInstance();
        return ExitInstance();
    }

private:
    std::vector<std::string> m_arguments;
    platform::SingleInstanceLock m_instanceLock;
};
