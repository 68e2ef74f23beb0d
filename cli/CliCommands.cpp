#include "cli/CliCommands.h"
#include "cli/CommandTable.h"

#include "backends/BackendSelection.h"
#include "devicelink/HidLibrary.h"
#include "devicelink/UsbDriver.h"
#include "platform/Numbers.h"
#include "platform/Utf16.h"
#include "platform/Version.h"

#include <algorithm>
#include <cstdio>
#include <ostream>

namespace cli {
namespace {

constexpr char kOverviewHead[] =
    "Usage: lumenstra-cli COMMAND [ARGUMENTS]\n"
    "\n"
    "Commands:\n";

#define LUMENSTRA_EXIT_CODES                                                                       \
    "Exit codes: 0 done, 1 a controller command failed (or a file is missing, unreadable or not\n" \
    "a profile), 2 no such controller, 3 no backend or no access to the controllers, 64 usage error.\n"

#define LUMENSTRA_SELECTION                                                                 \
    "Choosing the controller (default: the first standard one, else the first LED5 one):\n" \
    "  --family standard|led5   the family; positions count within it\n"                    \
    "  --device N               position N, counted from 0 as list shows it (Nimbrel's\n"   \
    "                           dev:N and devsim's IDs count from 1)\n"                     \
    "  --name TEXT              the controller with that stored name (list shows it)\n"     \
    "  --identity HEX           the controller with that 16-digit identity (list shows it)\n"

constexpr char kOverviewTail[] =
    "\n"
    "Options:\n"
    "  --help  this text; COMMAND --help describes one command with an example\n"
    "\n"
    "The environment variable LUMENSTRA_HID chooses the controllers: unset or\n"
    "\"hidapi\" for real ones, \"devsim:SOCKET\" for those of a devsim daemon.\n"
    "\n" LUMENSTRA_EXIT_CODES;

constexpr char kListUsage[] =
    "Usage: lumenstra-cli list [--json]\n"
    "\n"
    "One line per controller: FAMILY POSITION \"TITLE\" group|single FIRMWARE IDENTITY\n"
    "TITLE is the stored name or \"Controller N\"; IDENTITY the 8-byte identity the\n"
    "controller stores, as 16 hex digits (\"-\" until a command has given it one).\n"
    "--json prints the same fields as a list of objects. Nothing is written.\n"
    "\n"
    "Example: lumenstra-cli list --json\n"
    "\n" LUMENSTRA_EXIT_CODES;

constexpr char kReadUsage[] =
    "Usage: lumenstra-cli read [SELECTION] [-o FILE.KV6] [--json]\n"
    "\n"
    "Reads back what the controller runs, and only reads: the controller goes on\n"
    "running what it ran. What the controller cannot report (the fan and logo zones)\n"
    "is taken from the saved profile and marked \"(saved profile)\"; in JSON each zone\n"
    "has \"source\": \"controller\" or \"saved profile\". -o writes it all as a profile file.\n"
    "\n" LUMENSTRA_SELECTION
    "\n"
    "Example: lumenstra-cli read --device 0 --json\n"
    "\n" LUMENSTRA_EXIT_CODES;

constexpr char kApplyUsage[] =
    "Usage: lumenstra-cli apply [SELECTION | --all] [--quiet] FILE.KV6\n"
    "\n"
    "Imports the profile file into the saved profile and sends it to the controller\n"
    "(to its whole group when it is a group member). The file is checked before any\n"
    "controller is opened.\n"
    "\n" LUMENSTRA_SELECTION
    "  --all                    every controller\n"
    "  --quiet                  no summary line\n"
    "\n"
    "Example: lumenstra-cli apply --all ~/Saved.KV6\n"
    "\n" LUMENSTRA_EXIT_CODES;

constexpr char kSetUsage[] =
    "Usage: lumenstra-cli set [SELECTION | --all] --zone main|fan|logo|all --effect NAME\n"
    "       [--color COLOUR] [--color2 COLOUR] [--speed 0-4] [--brightness 0-2]\n"
    "       [--random on|off] [--direction N] [--morse TEXT] [--quiet]\n"
    "\n"
    "Changes the saved profile as the window's editor would, then sends it.\n"
    "Effects, by the names on the window's buttons or by code:\n"
    "  static (static)   flow (mode_07, LED5 only)   rotate (mode_0a)   dual (mode_09)\n"
    "  twin (mode_08)    morse (morse)   rainbow (mode_02)   breathe (mode_01)\n"
    "  off (light_off)   and by code only: direct mode_11 mode_10\n"
    "The fan and logo zones take static, rainbow, breathe and off; --zone all sets\n"
    "all three zones. direct sets one colour on every LED of the main zone.\n"
    "COLOUR is RRGGBB, #RRGGBB or a CSS colour name (red, teal, rebeccapurple ...).\n"
    "\n" LUMENSTRA_SELECTION
    "  --all                    every controller\n"
    "  --quiet                  no summary line\n"
    "\n"
    "Example: lumenstra-cli set --zone all --effect breathe --color '#ff8800' --speed 2\n"
    "\n" LUMENSTRA_EXIT_CODES;

constexpr char kRestoreUsage[] =
    "Usage: lumenstra-cli restore [--quiet] [--on-resume]\n"
    "\n"
    "Sends the saved profile to every controller (once per group), as the login unit\n"
    "does. No controller attached is no error. --on-resume keeps running and sends\n"
    "it again whenever controllers come back (after the machine resumed, or when\n"
    "one is plugged in).\n"
    "\n"
    "Example: lumenstra-cli restore\n"
    "\n" LUMENSTRA_EXIT_CODES;

constexpr char kRenameUsage[] =
    "Usage: lumenstra-cli rename [SELECTION] [--quiet] NAME\n"
    "\n"
    "Stores a name of 1 to 20 characters on the controller; list and --name use it.\n"
    "\n" LUMENSTRA_SELECTION
    "\n"
    "Example: lumenstra-cli rename --device 0 'Top card'\n"
    "\n" LUMENSTRA_EXIT_CODES;

constexpr char kGroupUsage[] =
    "Usage: lumenstra-cli group [SELECTION] [--yes] [--quiet] on|off\n"
    "\n"
    "Makes the controller a group member or not; commands sent to a member reach the\n"
    "whole group. Joining a group whose members run another configuration takes that\n"
    "over and needs --yes.\n"
    "\n" LUMENSTRA_SELECTION
    "\n"
    "Example: lumenstra-cli group --device 1 --yes on\n"
    "\n" LUMENSTRA_EXIT_CODES;

constexpr char kResetUsage[] =
    "Usage: lumenstra-cli reset [SELECTION | --all] [--quiet]\n"
    "\n"
    "Resets the controller and sends it the default lighting. The saved profile is\n"
    "not changed: lumenstra-cli restore sends it again.\n"
    "\n" LUMENSTRA_SELECTION
    "  --all                    every controller\n"
    "\n"
    "Example: lumenstra-cli reset --all\n"
    "\n" LUMENSTRA_EXIT_CODES;

constexpr char kZelvorUsage[] =
    "Usage: lumenstra-cli zelvor [SELECTION | --all] [--quiet] on|off\n"
    "\n"
    "on: resets the controller and hands its lighting to the sync source.\n"
    "off: the controller runs its own effects again: the saved profile is sent.\n"
    "The saved profile is not changed.\n"
    "\n" LUMENSTRA_SELECTION
    "  --all                    every controller\n"
    "\n"
    "Example: lumenstra-cli zelvor --all off\n"
    "\n" LUMENSTRA_EXIT_CODES;

constexpr char kPortsUsage[] =
    "Usage: lumenstra-cli ports\n"
    "\n"
    "Prints one line per attached controller, in link order:\n"
    "  FAMILY POSITION MODE IDENTITY PRODUCT_ID\n"
    "FAMILY is standard or led5, POSITION the device number used by every other\n"
    "command, MODE app (application firmware) or boot (boot loader), IDENTITY the\n"
    "controller's 16-digit identity as list shows it (\"-\" when it has none or is in\n"
    "its boot loader) and PRODUCT_ID four hex digits.\n"
    "\n"
    "Example: lumenstra-cli ports\n"
    "\n" LUMENSTRA_EXIT_CODES;

constexpr char kRawUsage[] =
    "Usage: lumenstra-cli raw [--family standard|led5] [--device N] CMD KEY INDEX [DATAHEX]\n"
    "\n"
    "Sends one command record to the controller at position N (default 0) of the\n"
    "family's application link (default standard) and prints the reply record as\n"
    "128 hex digits. CMD and KEY are one byte, INDEX two bytes, all in hex;\n"
    "DATAHEX is up to 60 bytes in hex, zero-filled.\n"
    "\n"
    "Example: lumenstra-cli raw 52 9c 1\n"
    "\n" LUMENSTRA_EXIT_CODES;

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
    "Example: lumenstra-cli check --family led5\n"
    "\n"
    "5 no firmware package is installed (no updater, or one whose package cannot be read).\n" LUMENSTRA_EXIT_CODES;

constexpr char kUpdateUsage[] =
    "Usage: lumenstra-cli update [--family standard|led5] [--device N] [--yes]\n"
    "\n"
    "Runs the family's updater for the controller at position N (default 0) and\n"
    "ends with the updater's exit code: 0 updated, 1 update failed, 2 no device,\n"
    "3 device information or layout problem, 4 the package is not newer; 64 usage\n"
    "error; 5 no firmware package is installed. It asks before flashing; --yes answers for scripts, and without it "
    "and\n"
    "without a terminal to ask on nothing is flashed (64). On a terminal the\n"
    "updater shows its phases and progress, else it runs with -silent; the last\n"
    "line is \"result: CODE WORDS\".\n"
    "\n"
    "Example: lumenstra-cli update --family led5 --device 0 --yes\n";

constexpr char kServeUsage[] =
    "Usage: lumenstra-cli serve [--address ADDRESS] [--port N]\n"
    "\n"
    "Offers every attached controller to OpenRGB SDK clients (OpenRGB's client\n"
    "mode, scripts) on ADDRESS (default 127.0.0.1, this machine only) and port N\n"
    "(default 6742), protocol versions 0 to 4. Each controller is one GPU device\n"
    "with the zones Main (15 LEDs), Fan and Logo and the effects the editor offers\n"
    "for its family, plus Direct for colours per LED. Update mode shows a mode on\n"
    "the card at once, save mode stores it as the saved profile and writes it whole.\n"
    "Runs until stopped. Lumenstra and the server drive the controllers one at a\n"
    "time: whichever starts second says so and ends. Give --address 0.0.0.0 (or the\n"
    "address of one interface) only to let other machines in: the protocol has no\n"
    "password.\n"
    "\n"
    "Example: lumenstra-cli serve --port 6742\n"
    "\n"
    "1 also: another server or Lumenstra drives the controllers, or nothing can listen\n"
    "on ADDRESS and port N.\n" LUMENSTRA_EXIT_CODES;

// Overview order is table order.
const Command kCommands[] = {
    {.name = "list",
     .summary = "  list    one line per controller: FAMILY POSITION TITLE GROUP FIRMWARE IDENTITY\n",
     .usage = kListUsage,
     .run = runDeviceList,
     .readsOptions = true,
     .flags = {"--json"},
     .noWords = true,
     .opens = Opens::Links,
     .readOnly = true},
    {.name = "read",
     .summary = "  read, apply, set, restore, rename, group, reset, zelvor\n"
                "          read back and change what the controllers run (lumenstra-cli set --help)\n",
     .usage = kReadUsage,
     .run = runRead,
     .readsOptions = true,
     .valued = {"-o"},
     .flags = {"--json"},
     .opens = Opens::Device,
     .selects = true,
     .readOnly = true},
    {.name = "apply",
     .summary = "",
     .usage = kApplyUsage,
     .run = runApply,
     .readsOptions = true,
     .flags = {"--quiet"},
     .opens = Opens::DeviceAfterChecks,
     .selects = true,
     .selectsAll = true,
     .writes = true},
    {.name = "set",
     .summary = "",
     .usage = kSetUsage,
     .run = runSet,
     .readsOptions = true,
     .valued = {"--zone", "--effect", "--color", "--color2", "--speed", "--brightness", "--random", "--direction",
                "--morse"},
     .flags = {"--quiet"},
     .noWords = true,
     .opens = Opens::DeviceAfterChecks,
     .selects = true,
     .selectsAll = true,
     .writes = true},
    {.name = "restore",
     .summary = "",
     .usage = kRestoreUsage,
     .run = runRestore,
     .readsOptions = true,
     .flags = {"--quiet", "--on-resume"},
     .noWords = true,
     .opens = Opens::Identities,
     .writes = true},
    {.name = "rename",
     .summary = "",
     .usage = kRenameUsage,
     .run = runRename,
     .readsOptions = true,
     .flags = {"--quiet"},
     .opens = Opens::Device,
     .selects = true,
     .writes = true},
    {.name = "group",
     .summary = "",
     .usage = kGroupUsage,
     .run = runGroup,
     .readsOptions = true,
     .flags = {"--yes", "--quiet"},
     .opens = Opens::Device,
     .selects = true,
     .writes = true},
    {.name = "reset",
     .summary = "",
     .usage = kResetUsage,
     .run = runReset,
     .readsOptions = true,
     .flags = {"--quiet"},
     .noWords = true,
     .opens = Opens::Device,
     .selects = true,
     .selectsAll = true,
     .writes = true},
    {.name = "zelvor",
     .summary = "",
     .usage = kZelvorUsage,
     .run = runZelvor,
     .readsOptions = true,
     .flags = {"--quiet"},
     .opens = Opens::DeviceAfterChecks,
     .selects = true,
     .selectsAll = true,
     .writes = true},
    {.name = "serve",
     .summary = "  serve   [--address ADDRESS] [--port N]\n"
                "          offers the controllers to OpenRGB SDK clients (default 127.0.0.1 port 6742)\n",
     .usage = kServeUsage,
     .run = runServe,
     .readsOptions = true,
     .valued = {"--address", "--port"},
     .noWords = true},
    {.name = "ports",
     .summary = "  ports   one line per attached controller: FAMILY POSITION MODE IDENTITY PRODUCT_ID\n"
                "          (family standard or led5, mode app or boot, product ID in hex)\n",
     .usage = kPortsUsage,
     .run = runPorts},
    {.name = "raw",
     .summary = "  raw     [--family standard|led5] [--device N] CMD KEY INDEX [DATAHEX]\n"
                "          sends one command record to a controller and prints the reply record\n"
                "          as 128 hex digits\n",
     .usage = kRawUsage,
     .run = runRaw,
     .writes = true},
    {.name = "check",
     .summary = "  check   [--family standard|led5] [--device N]\n"
                "          compares the controller's firmware with the version its updater offers\n",
     .usage = kCheckUsage,
     .run = runCheck,
     .help = Help::FirstWord},
    {.name = "update",
     .summary = "  update  [--family standard|led5] [--device N] [--yes]\n"
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

// Parses the options the command accepts: its `valued` options take a value,
// its `flags` do not; the selection options as the row allows them.
std::optional<Options> parseOptions(const std::vector<std::string>& arguments, const Command& command,
                                    std::string& error) {
    Options options;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        const bool selection = command.selects && (argument == "--name" || argument == "--identity");
        if (argument == "--family" || argument == "--device" || selection || command.valued.count(argument)) {
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
                options.deviceGiven = true;
            } else if (argument == "--name") {
                options.name = value;
            } else if (argument == "--identity") {
                if (value.size() != 16 || !platform::parseWholeNumber<std::uint64_t>(value, 16)) {
                    error = "bad identity \"" + value + "\" (16 hex digits, as list shows them)";
                    return std::nullopt;
                }
                options.identity = platform::lowercaseAscii(value);
            } else {
                options.values[argument] = value;
            }
        } else if (argument == "--all" && command.selectsAll) {
            options.all = true;
        } else if (argument == "--json" && command.flags.count(argument)) {
            options.json = true;
        } else if (argument == "--yes" && command.flags.count(argument)) {
            options.yes = true;
        } else if (argument == "--quiet" && command.flags.count(argument)) {
            options.quiet = true;
        } else if (argument == "--on-resume" && command.flags.count(argument)) {
            options.onResume = true;
        } else if (argument.size() > 1 && argument[0] == '-') {
            error = "unknown option \"" + argument + "\"";
            return std::nullopt;
        } else {
            options.positional.push_back(argument);
        }
    }
    const int choices =
        int(options.deviceGiven) + int(options.all) + int(options.name.has_value()) + int(options.identity.has_value());
    if (choices > 1) {
        error = "choose the controller one way: --device, --name, --identity or --all";
        return std::nullopt;
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
        std::optional<Options> options = parseOptions(arguments, command, error);
        if (!options) return call.usage(error);
        call.options = std::move(*options);
        if (command.noWords && !call.options.positional.empty())
            return call.unexpectedArgument(call.options.positional[0]);
    }
    switch (command.opens) {
    case Opens::Nothing:
        if (const int result = call.holdControllers()) return result;
        break;
    case Opens::DeviceAfterChecks: break;
    case Opens::Links:
    case Opens::Identities:
        if (const int result = call.openSession()) return result;
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
    // One seed per draw: the two families' tables are refreshed apart, and a
    // shared clock seed would give their new controllers the same identity.
    std::uint32_t draws = 0;
    const auto seed = [&draws] { return devicecontrol::DefaultIdentitySeed() + 0x9E37u * draws++; };
    for (const Family family : {Family::Standard, Family::Led5})
        devicecontrol::RefreshDeviceIdentities(link(family), link(family).deviceCount(), table(family), seed);
}

void Session::readIdentities() {
    for (const Family family : {Family::Standard, Family::Led5}) {
        devicecontrol::IdentityTable& blocks = table(family);
        blocks.assign(static_cast<std::size_t>(link(family).deviceCount()), devicecontrol::IdentityBlock{});
        for (std::size_t i = 0; i < blocks.size(); ++i) {
            std::uint8_t data[60];
            if (link(family).GetIdentityBlock(data, static_cast<int>(i)) == 0)
                std::copy(std::begin(data), std::end(data), blocks[i].begin());
        }
    }
}

std::string identityText(const devicecontrol::IdentityBlock& block) {
    const std::array<std::uint8_t, 8> identity = devicecontrol::IdentityOf(block);
    if (std::all_of(identity.begin(), identity.end(), [](std::uint8_t b) { return b == 0; })) return "-";
    std::string text;
    char digits[3];
    for (const std::uint8_t byte : identity) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}

std::string controllerTitle(Session& session, const Target& target) {
    const int number =
        target.position + 1 + (target.family == Family::Led5 ? session.link(Family::Standard).deviceCount() : 0);
    const auto& table = session.table(target.family);
    const devicecontrol::IdentityBlock block = static_cast<std::size_t>(target.position) < table.size()
                                                   ? table[static_cast<std::size_t>(target.position)]
                                                   : devicecontrol::IdentityBlock{};
    return devicecontrol::DeviceTitle(block, "Controller %d", number);
}

void Call::message(const std::string& what) { err << "lumenstra-cli " << command.name << ": " << what << "\n"; }

int Call::failure(const std::string& what) {
    message(what);
    return kExitFailure;
}

int Call::usage(const std::string& what) {
    message(what);
    err << "Try 'lumenstra-cli " << command.name << " --help' for more information.\n";
    return kExitUsage;
}

int Call::unexpectedArgument(const std::string& argument) { return usage("unexpected argument \"" + argument + "\""); }

int Call::noController(Family which, int at, std::optional<int> attached) {
    std::string what = std::string("no ") + familyName(which) + " controller at position " + std::to_string(at);
    if (attached) what += " (" + std::to_string(*attached) + " attached)";
    message(what);
    return kExitNoDevice;
}

int Call::reachBackend() {
    std::string error;
    if (backends::backendReachable(error)) return kExitSuccess;
    message(error);
    return kExitNoAccess;
}

int Call::checkAccess(int attached) {
    if (attached > 0 || devicelink::HidPermissionDenials() == 0) return kExitSuccess;
    message(
        "a controller is attached but this user may not open it: install dist/70-lumenstra.rules "
        "(cmake --install does) and plug the controller again, or run: sudo udevadm trigger");
    return kExitNoAccess;
}

int Call::holdControllers() {
    if (!command.writes || m_controllersHeld) return kExitSuccess;
    if (!devicecontrol::LockControllers(m_controllerLock))
        return failure("another program kept writing to the controllers");
    m_controllersHeld = true;
    return kExitSuccess;
}

void Call::releaseControllers() {
    m_controllerLock.release();
    m_controllersHeld = false;
}

int Call::openSession() {
    if (const int result = reachBackend()) return result;
    if (const int result = holdControllers()) return result;
    session.emplace();
    if (command.opens != Opens::Links) {
        if (command.readOnly)
            session->readIdentities();
        else
            session->refreshIdentities();
    }
    return checkAccess(session->controllerCount());
}

int Call::openDevice() {
    if (const int result = reachBackend()) return result;
    if (const int result = holdControllers()) return result;
    session.emplace();
    if (command.readOnly)
        session->readIdentities();
    else
        session->refreshIdentities();
    const std::vector<Family> families = options.family ? std::vector<Family>{*options.family}
                                                        : std::vector<Family>{Family::Standard, Family::Led5};
    int attached = 0;
    for (const Family which : families) attached += session->link(which).deviceCount();
    if (const int result = checkAccess(attached)) return result;

    targets.clear();
    if (options.all || options.name || options.identity) {
        for (const Family which : families)
            for (int at = 0; at < session->link(which).deviceCount(); ++at) {
                const devicecontrol::IdentityBlock& block = session->table(which)[static_cast<std::size_t>(at)];
                const bool chosen =
                    options.all ||
                    (options.name && platform::utf16ToUtf8(devicecontrol::IdentityName(block)) == *options.name) ||
                    (options.identity && identityText(block) == *options.identity);
                if (chosen) targets.push_back({which, at});
            }
        if (targets.empty()) {
            if (options.all)
                message("no controller attached");
            else if (options.name)
                message("no controller named \"" + *options.name + "\" (lumenstra-cli list shows the names)");
            else
                message("no controller with identity " + *options.identity + " (lumenstra-cli list shows them)");
            return kExitNoDevice;
        }
        if (options.name && targets.size() > 1)
            return usage(std::to_string(targets.size()) + " controllers are named \"" + *options.name +
                         "\": choose one with --identity");
        if (options.identity && targets.size() > 1)
            return usage(std::to_string(targets.size()) + " controllers share identity " + *options.identity +
                         ": choose one with --family and --device");
    } else {
        const Family which = options.family.value_or(session->defaultFamily());
        const int count = session->link(which).deviceCount();
        if (options.device >= count) return noController(which, options.device, count);
        targets.push_back({which, options.device});
    }
    family = targets.front().family;
    position = targets.front().position;
    return kExitSuccess;
}

void Call::summary(const std::string& what) {
    if (!options.quiet) out << what << "\n";
}

std::string Call::targetText(const Target& target) {
    return std::string(familyName(target.family)) + " " + std::to_string(target.position) + " \"" +
           controllerTitle(*session, target) + "\"";
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
    if (!call.arguments.empty()) return call.unexpectedArgument(call.arguments[0]);
    if (const int result = call.reachBackend()) return result;
    using devicelink::LinkMode;
    devicecontrol::ControllerLinks links;
    links.openAll();
    int attached = 0;
    for (const Family family : {Family::Standard, Family::Led5})
        for (const LinkMode mode : {LinkMode::Application, LinkMode::BootLoader})
            attached += links.link(family, mode).deviceCount();
    if (const int result = call.checkAccess(attached)) return result;
    const struct {
        Family family;
        LinkMode mode;
        const char* modeName;
    } rows[] = {{Family::Standard, LinkMode::Application, "app"},
                {Family::Standard, LinkMode::BootLoader, "boot"},
                {Family::Led5, LinkMode::Application, "app"},
                {Family::Led5, LinkMode::BootLoader, "boot"}};
    for (const auto& row : rows) {
        devicelink::CUSBDriver& link = links.link(row.family, row.mode);
        int position = 0;
        for (const auto& device : link.devices()) {
            char productId[5];
            std::snprintf(productId, sizeof productId, "%04x", device.ProductID);
            // The link's device IDs count per link, so two controllers can share one: the identity names them.
            std::string identity = "-";
            std::uint8_t data[60];
            if (row.mode == LinkMode::Application && link.GetIdentityBlock(data, position) == 0) {
                devicecontrol::IdentityBlock block;
                std::copy(std::begin(data), std::end(data), block.begin());
                identity = identityText(block);
            }
            call.out << familyName(row.family) << ' ' << position++ << ' ' << row.modeName << ' ' << identity << ' '
                     << productId << '\n';
        }
    }
    return kExitSuccess;
}

int runRaw(Call& call) {
    std::string error;
    const std::optional<RawRequest> request = parseRawArguments(call.arguments, error);
    if (!request) return call.usage(error);
    if (const int result = call.reachBackend()) return result;
    devicecontrol::ControllerLinks links;
    devicelink::CUSBDriver& driver = links.link(request->family);
    driver.OpenDriver();
    if (const int result = call.checkAccess(driver.deviceCount())) return result;
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
    if (word == "--version") {
        out << "lumenstra-cli " << platform::kVersion << "\n";
        return kExitSuccess;
    }
    const std::vector<std::string> rest(arguments.begin() + 1, arguments.end());
    for (const Command& command : kCommands)
        if (word == command.name) return dispatch(command, rest, out, err);
    err << "lumenstra-cli: unknown command \"" << word << "\"\n"
        << "Try 'lumenstra-cli --help' for the list of commands.\n";
    return kExitUsage;
}

}  // namespace cli
