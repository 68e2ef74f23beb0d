// lumenstra-cli check and update: the firmware version check and the updater
// launch of the main window, without a window.
#include "cli/CliCommands.h"
#include "cli/CommandTable.h"

#include "devicecontrol/ControllerLinks.h"
#include "devicecontrol/VersionCheck.h"
#include "devicelink/UsbDriver.h"
#include "platform/Folders.h"
#include "platform/Numbers.h"
#include "platform/Utf16.h"
#include "updater/Package.h"

#include <cerrno>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <iostream>
#include <ostream>

namespace cli {
namespace {

bool parseTarget(const std::vector<std::string>& arguments, Target& target, std::string& error) {
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& word = arguments[i];
        if ((word == "--family" || word == "--device") && i + 1 >= arguments.size()) {
            error = word + " needs a value";
            return false;
        }
        if (word == "--family") {
            const std::string& value = arguments[++i];
            if (value != "standard" && value != "led5") {
                error = "--family is standard or led5";
                return false;
            }
            target.family = value == "led5" ? Family::Led5 : Family::Standard;
        } else if (word == "--device") {
            const std::string& value = arguments[++i];
            const std::optional<unsigned> device = value.size() <= 2 ? platform::parseWholeNumber<unsigned>(value)
                                                                     : std::nullopt;
            if (!device) {
                error = "--device takes a number from 0 to 99";
                return false;
            }
            target.position = static_cast<int>(*device);
        } else {
            error = "unexpected argument \"" + word + "\"";
            return false;
        }
    }
    return true;
}

// The family's updater in Lumenstra's folder; empty, with the reason told,
// when no firmware package can be read from it.
std::string installedUpdater(Call& call, Family family) {
    const std::string updater =
        devicecontrol::UpdaterPath(platform::lumenstraFolder(platform::programFolder()), family);
    const devicecontrol::PackageStatus status = devicecontrol::CheckFirmwarePackage(updater);
    if (!status.installed) {
        call.message("no firmware package is installed (" +
                     (status.updaterPresent ? updater + ": " + status.problem : "no updater " + updater) + ")");
        return {};
    }
    return updater;
}

}  // namespace

int runCheck(Call& call) {
    Target target;
    std::string error;
    if (!parseTarget(call.arguments, target, error)) return call.usage(error);
    if (const int result = call.reachBackend()) return result;
    const std::string updater = installedUpdater(call, target.family);
    if (updater.empty()) return kExitNoPackage;
    devicecontrol::ControllerLinks links;
    devicelink::CUSBDriver& application = links.link(target.family, devicelink::LinkMode::Application);
    devicelink::CUSBDriver& bootLoader = links.link(target.family, devicelink::LinkMode::BootLoader);
    application.OpenDriver();
    bootLoader.OpenDriver();
    const int applications = application.deviceCount();
    if (const int result = call.checkAccess(applications + bootLoader.deviceCount())) return result;
    if (target.position >= applications + bootLoader.deviceCount())
        return call.noController(target.family, target.position, std::nullopt);
    const bool inBootLoader = target.position >= applications;
    devicelink::CUSBDriver& link = inBootLoader ? bootLoader : application;
    devicecontrol::FirmwareCheckState state;
    const int result = devicecontrol::FirmwareCheck(link,
                                                    inBootLoader ? target.position - applications : target.position,
                                                    updater, state);
    if (!state.packageMessage.empty()) call.message(state.packageMessage);
    call.out << "mode: " << (inBootLoader ? "boot" : "app") << "\n"
             << "firmware: " << platform::utf16ToUtf8(state.deviceVersion) << "\n"
             << "package: " << platform::utf16ToUtf8(state.updateVersion) << "\n"
             << "result: " << result << "\n";
    return kExitSuccess;
}

namespace {

// What the updater's exit code means, for the line printed beside it.
const char* updateResultWords(int code) {
    switch (code) {
    case 0: return "updated";
    case 1: return "the update failed";
    case 2: return "no such controller";
    case 3: return "device information or layout problem";
    case 4: return "the package is not newer";
    default: return "the updater ended with an unknown code";
    }
}

}  // namespace

int runUpdate(Call& call) {
    std::vector<std::string> words = call.arguments;
    const auto yes = std::find(words.begin(), words.end(), "--yes");
    const bool confirmed = yes != words.end();
    if (confirmed) words.erase(yes);
    Target target;
    std::string error;
    if (!parseTarget(words, target, error)) return call.usage(error);
    const std::string updater = installedUpdater(call, target.family);
    if (updater.empty()) return kExitNoPackage;
    if (::access(updater.c_str(), X_OK) != 0) return call.failure("cannot run " + updater);
    if (!confirmed) {
        // Nothing is flashed without a yes; a script says it with --yes.
        if (::isatty(STDIN_FILENO) != 1) return call.usage("update flashes the controller: confirm with --yes");
        call.out << "Flash the firmware of controller " << target.position
                 << "? Do not unplug or power off the card while it runs. [y/N] " << std::flush;
        std::string answer;
        if (!std::getline(std::cin, answer) || (answer != "y" && answer != "yes")) {
            call.out << "Nothing was flashed.\n";
            return kExitSuccess;
        }
    }
    // On a terminal the updater's own text front end shows the phases and the
    // progress; otherwise it runs silently.
    const bool terminal = ::isatty(STDOUT_FILENO) == 1;
    const std::string device = "dev:" + std::to_string(target.position + 1);
    const char* mode = terminal ? "true" : "-silent";
    call.out << std::flush;
    const pid_t child = ::fork();
    if (child < 0) return call.failure("cannot start " + updater);
    if (child == 0) {
        // The updater opens its own device connections; it must not hold ours.
        ::close_range(3, ~0U, 0);
        // Its window would need a click: the terminal front end needs none.
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) ::unsetenv(name);
        ::execl(updater.c_str(), updater.c_str(), device.c_str(), mode, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return kExitFailure;
    }
    if (!WIFEXITED(status)) return call.failure("the updater ended abnormally");
    const int code = WEXITSTATUS(status);
    call.out << "result: " << code << " " << updateResultWords(code) << "\n";
    return code;
}

}  // namespace cli
