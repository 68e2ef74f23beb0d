// lumenstra-cli check and update: the firmware version check and the updater
// launch of the main window, without a window.
#include "cli/CliCommands.h"

#include "devicecontrol/ControllerLinks.h"
#include "devicelink/UsbDriver.h"
#include "devicecontrol/VersionCheck.h"
#include "platform/Folders.h"
#include "platform/Utf16.h"

#include <sys/wait.h>
#include <cerrno>
#include <unistd.h>

#include <filesystem>
#include <ostream>

namespace cli {
namespace {

constexpr char kCheckUsage[] =
    "Usage: lumenstra-cli check [--family standard|led5] [--device N]\n"
    "\n"
    "Compares the firmware of the controller at position N (default 0; counted over\n"
    "the family's application controllers, then its boot-loader ones) with the\n"
    "version the family's updater (Nimbrel/Nimbrel or Nimbrel/Nimbrel2 next to\n"
    "this program) offers. Prints:\n"
    "  mode: app|boot\n"
    "  firmware: TEXT      the controller's version text\n"
    "  package: TEXT       the package's version text\n"
    "  result: -1|0|1      -1 an update is due, 0 none, 1 the controller is newer\n"
    "\n"
    "Exit codes: 0 checked, 2 no such device, 64 usage error.\n";

constexpr char kUpdateUsage[] =
    "Usage: lumenstra-cli update [--family standard|led5] [--device N]\n"
    "\n"
    "Runs the family's updater for the controller at position N (default 0) with\n"
    "dev:N+1 -silent and ends with the updater's exit code: 0 updated, 1 update\n"
    "failed, 2 no device, 3 device information or layout problem, 4 the package\n"
    "is not newer; 64 usage error.\n";

struct Target {
    Family family = Family::Standard;
    int device = 0;
};

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
            if (value.empty() || value.size() > 2 || value.find_first_not_of("0123456789") != std::string::npos) {
                error = "--device takes a number from 0 to 99";
                return false;
            }
            target.device = std::stoi(value);
        } else {
            error = "unexpected argument \"" + word + "\"";
            return false;
        }
    }
    return true;
}

}  // namespace

int runCheck(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (!arguments.empty() && (arguments[0] == "--help" || arguments[0] == "-h")) {
        out << kCheckUsage;
        return kExitSuccess;
    }
    Target target;
    std::string error;
    if (!parseTarget(arguments, target, error)) {
        err << "lumenstra-cli check: " << error << "\n" << kCheckUsage;
        return kExitUsage;
    }
    const bool isLed5 = target.family == Family::Led5;
    devicecontrol::ControllerLinks links;
    devicelink::CUSBDriver& application = links.link(target.family, devicelink::LinkMode::Application);
    devicelink::CUSBDriver& bootLoader = links.link(target.family, devicelink::LinkMode::BootLoader);
    application.OpenDriver();
    bootLoader.OpenDriver();
    const int applications = application.deviceCount();
    if (target.device >= applications + bootLoader.deviceCount()) {
        err << "lumenstra-cli check: no " << (isLed5 ? "led5" : "standard") << " controller at position " << target.device
            << "\n";
        return kExitNoDevice;
    }
    const bool inBootLoader = target.device >= applications;
    devicelink::CUSBDriver& link = inBootLoader ? bootLoader : application;
    devicecontrol::FirmwareCheckState state;
    const int result = devicecontrol::FirmwareCheck(link, inBootLoader ? target.device - applications : target.device,
                                                 devicecontrol::UpdaterPath(platform::programFolder(), target.family), state);
    if (!state.packageMessage.empty()) err << "lumenstra-cli check: " << state.packageMessage << "\n";
    out << "mode: " << (inBootLoader ? "boot" : "app") << "\n"
        << "firmware: " << platform::utf16ToUtf8(state.deviceVersion) << "\n"
        << "package: " << platform::utf16ToUtf8(state.updateVersion) << "\n"
        << "result: " << result << "\n";
    return kExitSuccess;
}

int runUpdate(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (!arguments.empty() && (arguments[0] == "--help" || arguments[0] == "-h")) {
        out << kUpdateUsage;
        return kExitSuccess;
    }
    Target target;
    std::string error;
    if (!parseTarget(arguments, target, error)) {
        err << "lumenstra-cli update: " << error << "\n" << kUpdateUsage;
        return kExitUsage;
    }
    const std::string updater = devicecontrol::UpdaterPath(platform::programFolder(), target.family);
    if (::access(updater.c_str(), X_OK) != 0) {
        err << "lumenstra-cli update: cannot run " << updater << "\n";
        return kExitFailure;
    }
    const std::string device = "dev:" + std::to_string(target.device + 1);
    out << std::flush;
    const pid_t child = ::fork();
    if (child < 0) {
        err << "lumenstra-cli update: cannot start " << updater << "\n";
        return kExitFailure;
    }
    if (child == 0) {
        // The updater opens its own device connections; it must not hold ours.
        ::close_range(3, ~0U, 0);
        ::execl(updater.c_str(), updater.c_str(), device.c_str(), "-silent", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return kExitFailure;
    }
    if (!WIFEXITED(status)) {
        err << "lumenstra-cli update: the updater ended abnormally\n";
        return kExitFailure;
    }
    return WEXITSTATUS(status);
}

}  // namespace cli
