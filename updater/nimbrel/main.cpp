// Nimbrel: the firmware updater, reading its package from its own file.
#include "backends/BackendSelection.h"
#include "devicelink/HidLibrary.h"
#include "platform/Numbers.h"
#include "platform/SingleInstance.h"
#include "updater/CommandLine.h"
#include "updater/nimbrel/NimbrelSession.h"
#include "updater/Package.h"
#include "updater/UpdateDecision.h"

#include <QCoreApplication>
#include <QTimer>

#include <filesystem>
#include <iostream>
#include <unistd.h>

namespace {

// A plain yes or no on the terminal; no terminal, or no answer, is no.
bool confirmedOnTerminal() {
    if (::isatty(STDIN_FILENO) != 1) return false;
    std::string answer;
    if (!std::getline(std::cin, answer)) return false;
    const std::string lower = platform::lowercaseAscii(answer);
    return lower == "y" || lower == "yes";
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv, argv + argc);
    platform::SingleInstanceLock lock;
    if (lock.acquire(updater::kNimbrelMutex) == platform::SingleInstanceLock::Result::HeldElsewhere) {
        std::cerr << "Nimbrel: another updater is running\n";
        return updater::kExitUpdateFailed;
    }
    const updater::NimbrelOptions options = updater::parseNimbrelArguments(arguments);
    if (options.help) {
        std::cout << updater::nimbrelHelpText() << std::flush;
        return 0;
    }
    QCoreApplication application(argc, argv);

    std::error_code error;
    const std::string self = std::filesystem::read_symlink("/proc/self/exe", error).string();
    updater::PackageLoad load = updater::LoadPackage(self);
    if (!load.ok) {
        std::cerr << "Nimbrel: " << (load.message.empty() ? "the firmware package is damaged" : load.message) << "\n";
        return updater::kExitUpdateFailed;
    }

    std::string backendError;
    if (!backends::installBackendFromEnvironment(backendError)) {
        std::cerr << "Nimbrel: " << backendError << "\n";
        return updater::kExitUpdateFailed;
    }

    int exitCode = 0;
    {
        updater::NimbrelSession session(load.package, options, std::cout, std::cerr, [&](int code) {
            exitCode = code;
            QCoreApplication::exit(code);
        }, confirmedOnTerminal);
        QTimer::singleShot(0, &application, [&session] { session.start(); });
        application.exec();
    }
    devicelink::HidSetBackend(nullptr);
    return exitCode;
}
