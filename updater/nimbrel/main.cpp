// Nimbrel: the firmware updater, reading its package from its own file.
#include "backends/BackendSelection.h"
#include "devicelink/HidLibrary.h"
#include "platform/Folders.h"
#include "platform/Numbers.h"
#include "platform/SingleInstance.h"
#include "platform/Version.h"
#include "skin/PrivateFonts.h"
#include "updater/CommandLine.h"
#include "updater/Package.h"
#include "updater/UpdateDecision.h"
#include "updater/nimbrel/NimbrelDlg.h"
#include "updater/nimbrel/NimbrelSession.h"

#include <QApplication>
#include <QTimer>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <memory>
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

// The window needs a display; without one Nimbrel works on the terminal.
bool displayAvailable() {
    for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
        const char* value = std::getenv(name);
        if (value && *value) return true;
    }
    return false;
}

}  // namespace

int main(int argc, char** argv) {
    const std::vector<std::string> arguments(argv, argv + argc);
    if (updater::asksForVersion(arguments)) {
        std::cout << "Nimbrel " << platform::kVersion << "\n";
        return 0;
    }
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
    const updater::NimbrelOptions options = updater::parseNimbrelArguments(arguments);
    if (options.help) {
        std::cout << updater::nimbrelHelpText() << std::flush;
        return 0;
    }
    // A silent run stays without a window.
    const bool windowed = !options.silent && displayAvailable();
    std::unique_ptr<QCoreApplication> application = windowed ? std::make_unique<QApplication>(argc, argv)
                                                             : std::make_unique<QCoreApplication>(argc, argv);

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
    bool ran = false;
    if (windowed) {
        int fonts[3] = {skin::kNoFont, skin::kNoFont, skin::kNoFont};
        skin::LoadPrivateFont(skin::kFontCondensedMedium, fonts[0]);
        skin::LoadPrivateFont(skin::kFontCondensedBook, fonts[1]);
        skin::LoadPrivateFont(skin::kFontNotoSans, fonts[2]);
        updater::CNimbrelDlg window(load.package, options, platform::programFolder() + "NimbrelSkin/");
        if (window.skinLoaded()) {
            ran = true;
            window.setFinished([&](int code) {
                exitCode = code;
                QCoreApplication::exit(code);
            });
            window.show();
            QTimer::singleShot(0, &window, [&window, &exitCode] {
                if (!window.start()) {
                    exitCode = window.exitCode();
                    QCoreApplication::exit(exitCode);
                }
            });
            application->exec();
        } else {
            std::cerr << "Nimbrel: the window's skin is missing; the update runs on the terminal\n";
        }
        for (int& font : fonts) skin::RemovePrivateFont(font);
    }
    if (!ran) {
        updater::NimbrelSession session(
            load.package, options, std::cout, std::cerr,
            [&](int code) {
                exitCode = code;
                QCoreApplication::exit(code);
            },
            confirmedOnTerminal);
        QTimer::singleShot(0, application.get(), [&session] { session.start(); });
        application->exec();
    }
    devicelink::HidSetBackend(nullptr);
    return exitCode;
}
