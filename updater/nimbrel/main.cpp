// Nimbrel: the firmware updater, reading its package from its own file.
#include "backends/BackendSelection.h"
#include "devicelink/HidLibrary.h"
#include "platform/SingleInstance.h"
#include "updater/CommandLine.h"
#include "updater/nimbrel/NimbrelSession.h"
#include "updater/Package.h"
#include "updater/UpdateDecision.h"

#include <QCoreApplication>
#include <QTimer>

#include <algorithm>
#include <cctype>
#include <filesystem>
#include <iostream>

namespace {

bool asksForHelp(const std::vector<std::string>& arguments) {
    if (arguments.size() < 2) return false;
    return std::any_of(arguments.begin(), arguments.end(), [](std::string argument) {
        std::transform(argument.begin(), argument.end(), argument.begin(), [](unsigned char c) { return std::tolower(c); });
        return argument.find("/?") != std::string::npos || argument.find("/help") != std::string::npos ||
               argument == "--help";
    });
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv, argv + argc);
    platform::SingleInstanceLock lock;
    const platform::SingleInstanceLock::Result locked = lock.acquire(updater::kNimbrelMutex);
    if (locked == platform::SingleInstanceLock::Result::HeldElsewhere) {
        std::cerr << "Nimbrel: another updater is running\n";
        return updater::kExitUpdateFailed;
    }
    // Two updaters flashing one controller can break it: without a lock we can
    // trust, none runs.
    if (locked == platform::SingleInstanceLock::Result::Refused) {
        std::cerr << "Nimbrel: " << lock.problem() << "; not updating without the single-instance lock\n";
        return updater::kExitUpdateFailed;
    }
    if (asksForHelp(arguments)) {
        std::cout << updater::nimbrelHelpText() << std::flush;
        return 0;
    }
    QCoreApplication application(argc, argv);
    const updater::NimbrelOptions options = updater::parseNimbrelArguments(arguments);

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
        });
        QTimer::singleShot(0, &application, [&session] { session.start(); });
        application.exec();
    }
    devicelink::HidSetBackend(nullptr);
    return exitCode;
}
