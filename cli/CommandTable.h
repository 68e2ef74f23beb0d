#pragma once

#include "cli/CliCommands.h"
#include "devicecontrol/ControllerLinks.h"
#include "devicecontrol/DeviceIdentity.h"
#include "effects/EffectModel.h"
#include "platform/SingleInstance.h"

#include <functional>
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

// The options of the device commands: --family, --device, the other ways of
// choosing controllers, and their own.
struct Options {
    std::optional<Family> family;
    int device = 0;
    bool deviceGiven = false;
    bool all = false;                     // --all
    std::optional<std::string> name;      // --name: the stored controller name
    std::optional<std::string> identity;  // --identity: 16 hex digits as list shows them
    bool json = false;
    bool yes = false;
    bool quiet = false;
    bool onResume = false;
    std::map<std::string, std::string> values;
    std::vector<std::string> positional;
};

// One controller: its family's application link and its position there.
struct Target {
    Family family = Family::Standard;
    int position = 0;
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
    // The identity blocks as the controllers hold them; nothing is written.
    void readIdentities();
    Family defaultFamily() const { return m_links.defaultFamily(); }
    int controllerCount() { return link(Family::Standard).deviceCount() + link(Family::Led5).deviceCount(); }

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
    const char* usage;    // printed for --help, with an example
    int (*run)(Call&);
    Help help = Help::AnyWord;
    // The shared option parse, with the command's valued options and flags;
    // off for commands that read their words themselves.
    bool readsOptions = false;
    std::set<std::string> valued{};
    std::set<std::string> flags{};
    bool noWords = false;  // a word besides the options is a usage error before anything opens
    Opens opens = Opens::Nothing;
    bool selects = false;     // --name and --identity choose the controller
    bool selectsAll = false;  // --all: every controller
    bool readOnly = false;    // controllers without an identity keep having none
    // It writes to the controllers or their identities: it holds the
    // controllers' lock from before the links open until it ends, so that
    // another program's command sequence never comes between its own.
    bool writes = false;
};

// One run of a command: its words, its streams and what the dispatcher prepared.
class Call {
public:
    Call(const Command& row, const std::vector<std::string>& words, std::ostream& output, std::ostream& errors)
        : command(row), arguments(words), out(output), err(errors) {}

    // "lumenstra-cli NAME: WHAT" on the error stream.
    void message(const std::string& what);
    int failure(const std::string& what);
    // The message and a pointer to the command's --help.
    int usage(const std::string& what);
    int unexpectedArgument(const std::string& argument);
    // `attached`, when given, is added as " (N attached)".
    int noController(Family family, int position, std::optional<int> attached);
    // kExitNoAccess with what to do when the backend cannot be reached.
    int reachBackend();
    // kExitNoAccess when no controller is open because access was refused.
    int checkAccess(int attached);
    // Takes the controllers' lock once when the row writes; kExitFailure when
    // another program kept it (see devicecontrol::LockControllers).
    int holdControllers();
    // Lets the lock go until the next holdControllers().
    void releaseControllers();
    // Opens the Session (identities read as the row says), under the lock of a writing row.
    int openSession();
    // Opens the Session and resolves the controllers the options name, under
    // the lock of a writing row.
    int openDevice();
    // A one-line report of what a command changed, unless --quiet.
    void summary(const std::string& what);
    // "standard 0 \"Top\"" for messages and summaries.
    std::string targetText(const Target& target);

private:
    // Declared before the session, so that the lock outlives the open links.
    platform::SingleInstanceLock m_controllerLock;
    bool m_controllersHeld = false;

public:
    const Command& command;
    const std::vector<std::string>& arguments;
    std::ostream& out;
    std::ostream& err;
    Options options;
    std::optional<Session> session;
    std::vector<Target> targets;       // resolved by openDevice(), at least one
    Family family = Family::Standard;  // the first target's
    int position = 0;
};

// The identity as 16 lower-case hex digits, "-" when the block holds none.
std::string identityText(const devicecontrol::IdentityBlock& block);
// The stored name, else "Controller N" with N counted from 1 over both families.
std::string controllerTitle(Session& session, const Target& target);

// Shared by the commands that change what the controllers run.
// The data folder, made when missing.
std::string dataFolder();
// The firmware version text the controller reports, "-" when it does not.
std::string firmwareText(devicelink::CUSBDriver& link, int position);
bool stillAttached(devicelink::CUSBDriver& link, int position);
// Apply as the window runs it, for the device and its group; empty when the
// controller took every command, else what went wrong, to follow its name.
std::string applyTo(Session& session, Family family, int position, effects::LedProfileSet& set);
// Waits for the controllers' lock; false, said on the call's error stream, when another program kept it.
bool lockControllers(Call& call, platform::SingleInstanceLock& lock);
// The saved profile changes under the data folder's lock; empty when saved.
std::string updateSaved(const std::string& folder, effects::LedProfileSet& set,
                        const std::function<bool(effects::LedProfileSet&)>& change);

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
int runServe(Call& call);

}  // namespace cli
