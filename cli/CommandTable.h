#pragma once

#include "cli/CliCommands.h"
#include "devicecontrol/ControllerLinks.h"
#include "devicecontrol/DeviceIdentity.h"

#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The parts of lumenstra-cli behind runCli: one row per command, and what the
// dispatcher hands a command's runner once the shared steps are done.
namespace cli {

const char* familyName(Family family);

// A decimal number from low to high, the whole text.
std::optional<int> numberIn(const std::string& text, int low, int high);

// The options of the device commands: --family, --device and their own.
struct Options {
    std::optional<Family> family;
    int device = 0;
    bool json = false;
    bool yes = false;
    bool onResume = false;
    std::map<std::string, std::string> values;
    std::vector<std::string> positional;
};

// Both application links, opened as the program opens them, with the
// identity tables that every plug refreshes.
class Session {
public:
    // `owner`, when given, hears of every arrival and removal.
    explicit Session(QObject* owner = nullptr);
    devicelink::CUSBDriver& link(Family family) { return m_links.link(family); }
    devicecontrol::IdentityTable& table(Family family) { return m_tables[family == Family::Standard ? 0 : 1]; }
    void refreshIdentities();
    Family defaultFamily() const { return m_links.defaultFamily(); }

private:
    devicecontrol::ControllerLinks m_links;
    devicecontrol::IdentityTable m_tables[2];
};

// What the dispatcher opens before the runner starts.
enum class Opens {
    Nothing,            // the runner opens what it needs
    Links,              // a Session
    Identities,         // a Session with the identities read
    Device,             // as Identities, and --family/--device name an attached controller
    DeviceAfterChecks,  // as Device, once the runner has checked its values and calls openDevice()
};

// Where --help counts.
enum class Help { AnyWord, FirstWord };

class Call;

struct Command {
    const char* name;
    const char* summary;  // its lines of the overview; empty where another row's lines name it
    const char* usage;    // printed for --help and after every usage error
    int (*run)(Call&);
    Help help = Help::AnyWord;
    // The shared option parse, with the command's valued options and flags;
    // off for commands that read their words themselves.
    bool readsOptions = false;
    std::set<std::string> valued{};
    std::set<std::string> flags{};
    bool noWords = false;  // a word besides the options is a usage error before anything opens
    Opens opens = Opens::Nothing;
};

// One run of a command: its words, its streams and what the dispatcher prepared.
class Call {
public:
    Call(const Command& row, const std::vector<std::string>& words, std::ostream& output, std::ostream& errors)
        : command(row), arguments(words), out(output), err(errors) {}

    // "lumenstra-cli NAME: WHAT" on the error stream.
    void message(const std::string& what);
    int failure(const std::string& what);
    int usage(const std::string& what);
    int unexpectedArgument(const std::string& argument);
    // `attached`, when given, is added as " (N attached)".
    int noController(Family family, int position, std::optional<int> attached);
    // Opens the Session and resolves the controller the options name.
    int openDevice();

    const Command& command;
    const std::vector<std::string>& arguments;
    std::ostream& out;
    std::ostream& err;
    Options options;
    std::optional<Session> session;
    Family family = Family::Standard;  // resolved by openDevice()
};

int runPorts(Call& call);
int runRaw(Call& call);
int runCheck(Call& call);
int runUpdate(Call& call);
int runDeviceList(Call& call);
int runRead(Call& call);
int runApply(Call& call);
int runSet(Call& call);
int runRestore(Call& call);
int runRename(Call& call);
int runGroup(Call& call);
int runReset(Call& call);
int runZelvor(Call& call);

}  // namespace cli
