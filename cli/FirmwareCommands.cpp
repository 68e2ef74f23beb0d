// lumenstra-cli check and update: the firmware version check and the updater
// launch of the main window, without a window.
#include "cli/CliCommands.h"
#include "cli/CommandTable.h"

#include "devicecontrol/ControllerLinks.h"
#include "devicelink/UsbDriver.h"
#include "devicecontrol/VersionCheck.h"
#include "platform/Folders.h"
#include "platform/Numbers.h"
#include "platform/Utf16.h"

#include <sys/wait.h>
#include <cerrno>
#include <unistd.h>

#include <filesystem>
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
            const std::optional<unsigned> device =
                value.size() <= 2 ? platform::parseWholeNumber<unsigned>(value) : std::nullopt;
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

}  // namespace

int runCheck(Call& call) {
    Target target;
    std::string error;
    if (!parseTarget(call.arguments, target, error)) return call.usage(error);
    if (const int result = call.reachBackend()) return result;
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
    const int result = devicecontrol::FirmwareCheck(link, inBootLoader ? target.position - applications : target.position,
                                                 devicecontrol::UpdaterPath(platform::programFolder(), target.family), state);
    if (!state.packageMessage.empty()) call.message(state.packageMessage);
    call.out << "mode: " << (inBootLoader ? "boot" : "app") << "\n"
        << "firmware: " << platform::utf16ToUtf8(state.deviceVersion) << "\n"
        << "package: " << platform::utf16ToUtf8(state.updateVersion) << "\n"
        << "result: " << result << "\n";
    return kExitSuccess;
}

int runUpdate(Call& call) {
    Target target;
    std::string error;
    if (!parseTarget(call.arguments, target, error)) return call.usage(error);
    const std::string updater = devicecontrol::UpdaterPath(platform::programFolder(), target.family);
    if (::access(updater.c_str(), X_OK) != 0) return call.failure("cannot run " + updater);
    const std::string device = "dev:" + std::to_string(target.position + 1);
    call.out << std::flush;
    const pid_t child = ::fork();
    if (child < 0) return call.failure("cannot start " + updater);
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
    if (!WIFEXITED(status)) return call.failure("the updater ended abnormally");
    return WEXITSTATUS(status);
}

}  // namespace cli
