#include "cli/CliCommands.h"
#include "cli/EffectCommands.h"

#include "devicelink/HidLibrary.h"
#include "devicecontrol/ControllerLinks.h"
#include "devicelink/UsbDriver.h"

#include <charconv>
#include <cstdio>
#include <ostream>

namespace cli {
namespace {

constexpr char kUsage[] =
    "Usage: lumenstra-cli COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n"
    "  list    one line per controller: FAMILY POSITION TITLE GROUP FIRMWARE\n"
    "  read, apply, set, restore, rename, group, reset, zelvor\n"
    "          read back and change what the controllers run (lumenstra-cli set --help)\n"
    "  ports   one line per attached controller: FAMILY POSITION MODE DEVICE_ID PRODUCT_ID\n"
    "          (family standard or led5, mode app or boot, product ID in hex)\n"
    "  raw     [--family standard|led5] [--device N] CMD KEY INDEX [DATAHEX]\n"
    "          sends one command record to a controller and prints the reply record\n"
    "          as 128 hex digits\n"
    "  check   [--family standard|led5] [--device N]\n"
    "          compares the controller's firmware with the version its updater offers\n"
    "  update  [--family standard|led5] [--device N]\n"
    "          runs the family's updater for the controller; its exit code is passed on\n"
    "\n"
    "Options:\n"
    "  --help  this text; COMMAND --help describes one command\n"
    "\n"
    "The environment variable LUMENSTRA_HID chooses the controllers: unset or\n"
    "\"hidapi\" for real ones, \"devsim:SOCKET\" for those of a devsim daemon.\n"
    "\n"
    "Exit codes: 0 success, 1 failure (no reply, error reply, no backend),\n"
    "2 no such device, 64 usage error.\n";

constexpr char kListUsage[] =
    "Usage: lumenstra-cli ports\n"
    "\n"
    "Prints one line per attached controller, in link order:\n"
    "  FAMILY POSITION MODE DEVICE_ID PRODUCT_ID\n"
    "FAMILY is standard or led5, POSITION the device number used by every other\n"
    "command, MODE app (application firmware) or boot (boot loader), DEVICE_ID the\n"
    "link's device ID and PRODUCT_ID four hex digits.\n";

constexpr char kRawUsage[] =
    "Usage: lumenstra-cli raw [--family standard|led5] [--device N] CMD KEY INDEX [DATAHEX]\n"
    "\n"
    "Sends one command record to the controller at position N (default 0) of the\n"
    "family's application link (default standard) and prints the reply record as\n"
    "128 hex digits. CMD and KEY are one byte, INDEX two bytes, all in hex;\n"
    "DATAHEX is up to 60 bytes in hex, zero-filled.\n"
    "\n"
    "Exit codes: 0 reply received, 1 no reply or error, 2 no such device, 64 usage error.\n";

bool parseHexNumber(const std::string& text, std::uint32_t limit, std::uint32_t& value) {
    std::string digits = text;
    if (digits.rfind("0x", 0) == 0 || digits.rfind("0X", 0) == 0) digits = digits.substr(2);
    if (digits.empty() || digits.size() > 8) return false;
    const auto [end, problem] = std::from_chars(digits.data(), digits.data() + digits.size(), value, 16);
    return problem == std::errc() && end == digits.data() + digits.size() && value <= limit;
}

bool parseHexBytes(const std::string& text, std::array<std::uint8_t, 60>& bytes) {
    if (text.size() % 2 != 0 || text.size() > 2 * bytes.size()) return false;
    for (std::size_t i = 0; i < text.size() / 2; ++i) {
        std::uint32_t value = 0;
        const char* first = text.data() + 2 * i;
        const auto [end, problem] = std::from_chars(first, first + 2, value, 16);
        if (problem != std::errc() || end != first + 2) return false;
        bytes[i] = static_cast<std::uint8_t>(value);
    }
    return true;
}

bool wantsHelp(const std::vector<std::string>& arguments) {
    for (const std::string& argument : arguments)
        if (argument == "--help" || argument == "-h") return true;
    return false;
}

}  // namespace

bool parseFamily(const std::string& value, Family& family, std::string& error) {
    if (value == "standard") {
        family = Family::Standard;
        return true;
    }
    if (value == "led5") {
        family = Family::Led5;
        return true;
    }
    error = "unknown family \"" + value + "\" (standard or led5)";
    return false;
}

std::optional<RawRequest> parseRawArguments(const std::vector<std::string>& arguments, std::string& error) {
    RawRequest request;
    std::vector<std::string> positional;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--family" || argument == "--device") {
            if (i + 1 >= arguments.size()) {
                error = argument + " needs a value";
                return std::nullopt;
            }
            const std::string& value = arguments[++i];
            if (argument == "--family") {
                if (!parseFamily(value, request.family, error)) return std::nullopt;
            } else {
                std::uint32_t device = 0;
                if (!parseHexNumber(value, 0xFFFF, device)) {
                    error = "bad device number \"" + value + "\"";
                    return std::nullopt;
                }
                request.device = static_cast<int>(device);
            }
        } else if (argument.size() > 1 && argument[0] == '-') {
            error = "unknown option \"" + argument + "\"";
            return std::nullopt;
        } else {
            positional.push_back(argument);
        }
    }
    if (positional.size() < 3 || positional.size() > 4) {
        error = "expected CMD KEY INDEX [DATAHEX]";
        return std::nullopt;
    }
    std::uint32_t cmd = 0, key = 0, index = 0;
    if (!parseHexNumber(positional[0], 0xFF, cmd) || !parseHexNumber(positional[1], 0xFF, key) ||
        !parseHexNumber(positional[2], 0xFFFF, index)) {
        error = "CMD and KEY must be one hex byte, INDEX two";
        return std::nullopt;
    }
    if (positional.size() == 4 && !parseHexBytes(positional[3], request.data)) {
        error = "DATAHEX must be an even number of hex digits, at most 120";
        return std::nullopt;
    }
    request.cmd = static_cast<std::uint8_t>(cmd);
    request.key = static_cast<std::uint8_t>(key);
    request.index = static_cast<std::uint16_t>(index);
    return request;
}

std::string recordHex(const std::array<std::uint8_t, 64>& record) {
    std::string text;
    char digits[3];
    for (const std::uint8_t byte : record) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}

int runList(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (wantsHelp(arguments)) {
        out << kListUsage;
        return kExitSuccess;
    }
    if (!arguments.empty()) {
        err << "lumenstra-cli list: unexpected argument \"" << arguments[0] << "\"\n" << kListUsage;
        return kExitUsage;
    }
    using devicelink::LinkMode;
    devicecontrol::ControllerLinks links;
    links.openAll();
    const struct {
        Family family;
        LinkMode mode;
        const char* familyName;
        const char* modeName;
    } rows[] = {{Family::Standard, LinkMode::Application, "standard", "app"},
                {Family::Standard, LinkMode::BootLoader, "standard", "boot"},
                {Family::Led5, LinkMode::Application, "led5", "app"},
                {Family::Led5, LinkMode::BootLoader, "led5", "boot"}};
    for (const auto& row : rows) {
        int position = 0;
        for (const auto& device : links.link(row.family, row.mode).devices()) {
            char productId[5];
            std::snprintf(productId, sizeof productId, "%04x", device.ProductID);
            out << row.familyName << ' ' << position++ << ' ' << row.modeName << ' ' << device.DeviceId << ' ' << productId
                << '\n';
        }
    }
    return kExitSuccess;
}

int runRaw(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (wantsHelp(arguments)) {
        out << kRawUsage;
        return kExitSuccess;
    }
    std::string error;
    const std::optional<RawRequest> request = parseRawArguments(arguments, error);
    if (!request) {
        err << "lumenstra-cli raw: " << error << "\n" << kRawUsage;
        return kExitUsage;
    }
    devicecontrol::ControllerLinks links;
    devicelink::CUSBDriver& driver = links.link(request->family);
    driver.OpenDriver();
    if (request->device >= driver.deviceCount()) {
        err << "lumenstra-cli raw: no " << (request->family == Family::Standard ? "standard" : "led5")
            << " controller at position " << request->device << " (" << driver.deviceCount() << " attached)\n";
        return kExitNoDevice;
    }
    devicelink::LedCommandRecord record;
    record.cmd = request->cmd;
    record.key = request->key;
    record.index = request->index;
    record.data = request->data;
    if (driver.SetData(record, request->device) != 0) {
        err << "lumenstra-cli raw: no reply from the controller\n";
        return kExitFailure;
    }
    out << recordHex(record.bytes()) << '\n';
    return kExitSuccess;
}

int runCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (arguments.empty()) {
        err << kUsage;
        return kExitUsage;
    }
    const std::string& command = arguments[0];
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    if (command == "--help" || command == "-h" || command == "help") {
        out << kUsage;
        return kExitSuccess;
    }
    if (command == "list") return runDeviceList(rest, out, err);
    if (command == "ports") return runList(rest, out, err);
    if (command == "read") return runRead(rest, out, err);
    if (command == "apply") return runApply(rest, out, err);
    if (command == "set") return runSet(rest, out, err);
    if (command == "restore") return runRestore(rest, out, err);
    if (command == "rename") return runRename(rest, out, err);
    if (command == "group") return runGroup(rest, out, err);
    if (command == "reset") return runReset(rest, out, err);
    if (command == "zelvor") return runZelvor(rest, out, err);
    if (command == "raw") return runRaw(rest, out, err);
    if (command == "check") return runCheck(rest, out, err);
    if (command == "update") return runUpdate(rest, out, err);
    err << "lumenstra-cli: unknown command \"" << command << "\"\n" << kUsage;
    return kExitUsage;
}

}  // namespace cli
