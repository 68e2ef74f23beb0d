#include "cli/CliCommands.h"
#include "cli/CommandTable.h"

#include "devicelink/UsbDriver.h"
#include "platform/Numbers.h"

#include <cstdio>
#include <ostream>

namespace cli {
namespace {

constexpr char kOverviewHead[] =
    "Usage: lumenstra-cli COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n";

constexpr char kOverviewTail[] =
    "\n"
    "Options:\n"
    "  --help  this text; COMMAND --help describes one command\n"
    "\n"
    "The environment variable LUMENSTRA_HID chooses the controllers: unset or\n"
    "\"hidapi\" for real ones, \"devsim:SOCKET\" for those of a devsim daemon.\n"
    "\n"
    "Exit codes: 0 success, 1 failure (no reply, error reply, no backend),\n"
    "2 no such device, 64 usage error.\n";

constexpr char kDeviceUsage[] =
    "Usage: lumenstra-cli COMMAND [--family standard|led5] [--device N] [OPTIONS]\n"
    "\n"
    "  list [--json]             one line per controller: FAMILY POSITION TITLE GROUP FIRMWARE\n"
    "  read [-o FILE] [--json]   read back what the controller runs; -o writes a .KV6 profile\n"
    "  apply FILE                import FILE into the saved profile and send it\n"
    "  set --zone main|fan|logo --effect NAME [--color RRGGBB] [--color2 RRGGBB]\n"
    "      [--speed 0-4] [--brightness 0-2] [--random on|off] [--direction N] [--morse TEXT]\n"
    "                            change the saved profile as the editor would, then send it\n"
    "  restore [--on-resume]     send the saved profile to every controller; --on-resume keeps\n"
    "                            running and sends it again whenever controllers come back\n"
    "                            (after the machine resumed, or when one is plugged in)\n"
    "  rename NAME               store a name of up to 20 characters on the controller\n"
    "  group on|off [--yes]      make the controller a group member or not\n"
    "  reset, zelvor             reset the controller, or hand it to the sync source\n"
    "\n"
    "Without --family the first standard controller is used, else the first LED5 one.\n"
    "Effect names: static mode_07 mode_08 mode_11 direct mode_0a mode_10 mode_02 mode_01\n"
    "morse multi mode_df mode_09 light_off.\n"
    "Exit codes: 0 success, 1 a device command failed, 2 no such device, 64 usage error.\n";

constexpr char kPortsUsage[] =
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

constexpr char kCheckUsage[] =
    "Usage: lumenstra-cli check [--family standard|led5] [--device N]\n"
    "\n"
    "Compares the firmware of the controller at position N (default 0; counted over\n"
    "the family's application controllers, then its boot-loader ones) with the\n"
    "version the family's updater (Nimbrel/Nimbrel or Nimbrel/Nimbrel2 in\n"
    "Lumenstra's folder) offers. Prints:\n"
    "  mode: app|boot\n"
    "  firmware: TEXT      the controller's version text\n"
    "  package: TEXT       the package's version text\n"
    "  result: -1|0|1      -1 an update is due, 0 none, 1 the controller is newer\n"
    "\n"
    "Exit codes: 0 checked, 2 no such device, 5 no firmware package is installed\n"
    "(no updater, or one whose package cannot be read), 64 usage error.\n";

constexpr char kUpdateUsage[] =
    "Usage: lumenstra-cli update [--family standard|led5] [--device N]\n"
    "\n"
    "Runs the family's updater for the controller at position N (default 0) with\n"
    "dev:N+1 -silent and ends with the updater's exit code: 0 updated, 1 update\n"
    "failed, 2 no device, 3 device information or layout problem, 4 the package\n"
    "is not newer; 5 no firmware package is installed, 64 usage error.\n";

// Overview order is table order.
const Command kCommands[] = {
    {.name = "list",
     .summary = "  list    one line per controller: FAMILY POSITION TITLE GROUP FIRMWARE\n",
     .usage = kDeviceUsage,
     .run = runDeviceList,
     .readsOptions = true,
     .flags = {"--json"},
     .noWords = true,
     .opens = Opens::Links},
    {.name = "read",
     .summary = "  read, apply, set, restore, rename, group, reset, zelvor\n"
                "          read back and change what the controllers run (lumenstra-cli set --help)\n",
     .usage = kDeviceUsage,
     .run = runRead,
     .readsOptions = true,
     .valued = {"-o"},
     .flags = {"--json"},
     .opens = Opens::Device},
    {.name = "apply", .summary = "", .usage = kDeviceUsage, .run = runApply, .readsOptions = true, .opens = Opens::Device},
    {.name = "set",
     .summary = "",
     .usage = kDeviceUsage,
     .run = runSet,
     .readsOptions = true,
     .valued = {"--zone", "--effect", "--color", "--color2", "--speed", "--brightness", "--random", "--direction",
                "--morse"},
     .noWords = true,
     .opens = Opens::DeviceAfterChecks},
    {.name = "restore",
     .summary = "",
     .usage = kDeviceUsage,
     .run = runRestore,
     .readsOptions = true,
     .flags = {"--on-resume"},
     .noWords = true,
     .opens = Opens::Identities},
    {.name = "rename", .summary = "", .usage = kDeviceUsage, .run = runRename, .readsOptions = true, .opens = Opens::Device},
    {.name = "group",
     .summary = "",
     .usage = kDeviceUsage,
     .run = runGroup,
     .readsOptions = true,
     .flags = {"--yes"},
     .opens = Opens::Device},
    {.name = "reset", .summary = "", .usage = kDeviceUsage, .run = runReset, .readsOptions = true, .opens = Opens::Device},
    {.name = "zelvor", .summary = "", .usage = kDeviceUsage, .run = runZelvor, .readsOptions = true, .opens = Opens::Device},
    {.name = "ports",
     .summary = "  ports   one line per attached controller: FAMILY POSITION MODE DEVICE_ID PRODUCT_ID\n"
                "          (family standard or led5, mode app or boot, product ID in hex)\n",
     .usage = kPortsUsage,
     .run = runPorts},
    {.name = "raw",
     .summary = "  raw     [--family standard|led5] [--device N] CMD KEY INDEX [DATAHEX]\n"
                "          sends one command record to a controller and prints the reply record\n"
                "          as 128 hex digits\n",
     .usage = kRawUsage,
     .run = runRaw},
    {.name = "check",
     .summary = "  check   [--family standard|led5] [--device N]\n"
                "          compares the controller's firmware with the version its updater offers\n",
     .usage = kCheckUsage,
     .run = runCheck,
     .help = Help::FirstWord},
    {.name = "update",
     .summary = "  update  [--family standard|led5] [--device N]\n"
                "          runs the family's updater for the controller; its exit code is passed on\n",
     .usage = kUpdateUsage,
     .run = runUpdate,
     .help = Help::FirstWord},
};

std::string overview() {
    std::string text = kOverviewHead;
    for (const Command& command : kCommands) text += command.summary;
    return text + kOverviewTail;
}

bool wantsHelp(const Command& command, const std::vector<std::string>& arguments) {
    const auto isHelp = [](const std::string& word) { return word == "--help" || word == "-h"; };
    if (command.help == Help::FirstWord) return !arguments.empty() && isHelp(arguments[0]);
    for (const std::string& argument : arguments)
        if (isHelp(argument)) return true;
    return false;
}

// Hex without sign or blanks, an optional 0x, at most eight digits.
bool parseHexNumber(const std::string& text, std::uint32_t limit, std::uint32_t& value) {
    std::string_view digits = text;
    if (digits.starts_with("0x") || digits.starts_with("0X")) digits.remove_prefix(2);
    if (digits.size() > 8) return false;
    const std::optional<std::uint32_t> number = platform::parseWholeNumber<std::uint32_t>(digits, 16);
    if (!number || *number > limit) return false;
    value = *number;
    return true;
}

bool parseHexBytes(const std::string& text, std::array<std::uint8_t, 60>& bytes) {
    if (text.size() % 2 != 0 || text.size() > 2 * bytes.size()) return false;
    for (std::size_t i = 0; i < text.size() / 2; ++i) {
        const std::optional<std::uint8_t> byte =
            platform::parseWholeNumber<std::uint8_t>(std::string_view(text).substr(2 * i, 2), 16);
        if (!byte) return false;
        bytes[i] = *byte;
    }
    return true;
}

// Parses the options a command accepts; `valued` take a value, `flags` do not.
std::optional<Options> parseOptions(const std::vector<std::string>& arguments, const std::set<std::string>& valued,
                                    const std::set<std::string>& flags, std::string& error) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument == "--family" || argument == "--device" || valued.count(argument)) {
            if (i + 1 >= arguments.size()) {
                error = argument + " needs a value";
                return std::nullopt;
            }
            const std::string& value = arguments[++i];
            if (argument == "--family") {
                Family family = Family::Standard;
                if (!parseFamily(value, family, error)) return std::nullopt;
                options.family = family;
            } else if (argument == "--device") {
                const std::optional<int> device = numberIn(value, 0, 19);
                if (!device) {
                    error = "bad device number \"" + value + "\" (0 to 19)";
                    return std::nullopt;
                }
                options.device = *device;
            } else {
                options.values[argument] = value;
            }
        } else if (argument == "--json" && flags.count(argument)) {
            options.json = true;
        } else if (argument == "--yes" && flags.count(argument)) {
            options.yes = true;
        } else if (argument == "--on-resume" && flags.count(argument)) {
            options.onResume = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            error = "unknown option \"" + argument + "\"";
            return std::nullopt;
        } else {
            options.positional.push_back(argument);
        }
    }
    return options;
}

// The steps every command shares before its own work: --help, the option
// parse and opening what the row names.
int dispatch(const Command& command, const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (wantsHelp(command, arguments)) {
        out << command.usage;
        return kExitSuccess;
    }
    Call call(command, arguments, out, err);
    if (command.readsOptions) {
        std::string error;
        std::optional<Options> options = parseOptions(arguments, command.valued, command.flags, error);
        if (!options) return call.usage(error);
        call.options = std::move(*options);
        if (command.noWords && !call.options.positional.empty())
            return call.unexpectedArgument(call.options.positional[0]);
    }
    switch (command.opens) {
    case Opens::Nothing:
    case Opens::DeviceAfterChecks: break;
    case Opens::Links: call.session.emplace(); break;
    case Opens::Identities:
        call.session.emplace();
        call.session->refreshIdentities();
        break;
    case Opens::Device:
        if (const int result = call.openDevice()) return result;
        break;
    }
    return command.run(call);
}

}  // namespace

const char* familyName(Family family) { return family == Family::Standard ? "standard" : "led5"; }

std::optional<int> numberIn(const std::string& text, int low, int high) {
    const std::optional<int> number = platform::parseWholeNumber<int>(text);
    if (!number || *number < low || *number > high) return std::nullopt;
    return number;
}

Session::Session(QObject* owner) {
    if (owner) m_links.setOwner(owner);
    m_links.open(Family::Standard, devicelink::LinkMode::Application);
    m_links.open(Family::Led5, devicelink::LinkMode::Application);
}

void Session::refreshIdentities() {
    for (const Family family : {Family::Standard, Family::Led5})
        devicecontrol::RefreshDeviceIdentities(link(family), link(family).deviceCount(), table(family));
}

void Call::message(const std::string& what) { err << "lumenstra-cli " << command.name << ": " << what << "\n"; }

int Call::failure(const std::string& what) {
    message(what);
    return kExitFailure;
}

int Call::usage(const std::string& what) {
    message(what);
    err << command.usage;
    return kExitUsage;
}

int Call::unexpectedArgument(const std::string& argument) { return usage("unexpected argument \"" + argument + "\""); }

int Call::noController(Family which, int position, std::optional<int> attached) {
    std::string what = std::string("no ") + familyName(which) + " controller at position " + std::to_string(position);
    if (attached) what += " (" + std::to_string(*attached) + " attached)";
    message(what);
    return kExitNoDevice;
}

int Call::openDevice() {
    session.emplace();
    session->refreshIdentities();
    family = options.family.value_or(session->defaultFamily());
    const int attached = session->link(family).deviceCount();
    if (options.device < attached) return kExitSuccess;
    return noController(family, options.device, attached);
}

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

int runPorts(Call& call) {
    if (!call.arguments.empty()) {
        // The messages still carry the command's former name.
        call.err << "lumenstra-cli list: unexpected argument \"" << call.arguments[0] << "\"\n" << kPortsUsage;
        return kExitUsage;
    }
    using devicelink::LinkMode;
    devicecontrol::ControllerLinks links;
    links.openAll();
    const struct {
        Family family;
        LinkMode mode;
        const char* modeName;
    } rows[] = {{Family::Standard, LinkMode::Application, "app"},
                {Family::Standard, LinkMode::BootLoader, "boot"},
                {Family::Led5, LinkMode::Application, "app"},
                {Family::Led5, LinkMode::BootLoader, "boot"}};
    for (const auto& row : rows) {
        int position = 0;
        for (const auto& device : links.link(row.family, row.mode).devices()) {
            char productId[5];
            std::snprintf(productId, sizeof productId, "%04x", device.ProductID);
            call.out << familyName(row.family) << ' ' << position++ << ' ' << row.modeName << ' ' << device.DeviceId
                     << ' ' << productId << '\n';
        }
    }
    return kExitSuccess;
}

int runRaw(Call& call) {
    std::string error;
    const std::optional<RawRequest> request = parseRawArguments(call.arguments, error);
    if (!request) return call.usage(error);
    devicecontrol::ControllerLinks links;
    devicelink::CUSBDriver& driver = links.link(request->family);
    driver.OpenDriver();
    if (request->device >= driver.deviceCount())
        return call.noController(request->family, request->device, driver.deviceCount());
    devicelink::LedCommandRecord record;
    record.cmd = request->cmd;
    record.key = request->key;
    record.index = request->index;
    record.data = request->data;
    if (driver.SetData(record, request->device) != 0) return call.failure("no reply from the controller");
    call.out << recordHex(record.bytes()) << '\n';
    return kExitSuccess;
}

int runCli(const std::vector<std::string>& arguments, std::ostream& out, std::ostream& err) {
    if (arguments.empty()) {
        err << overview();
        return kExitUsage;
    }
    const std::string& word = arguments[0];
    if (word == "--help" || word == "-h" || word == "help") {
        out << overview();
        return kExitSuccess;
    }
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    for (const Command& command : kCommands)
        if (word == command.name) return dispatch(command, rest, out, err);
    err << "lumenstra-cli: unknown command \"" << word << "\"\n" << overview();
    return kExitUsage;
}

}  // namespace cli
