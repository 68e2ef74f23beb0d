// devsim: emulated LED controllers for the programs and their tests.
#include "platform/Numbers.h"
#include "platform/Version.h"
#include "sim/DevsimProtocol.h"
#include "sim/SimBackend.h"
#include "sim/devsim/DevsimServer.h"

#include <algorithm>
#include <csignal>
#include <iostream>
#include <optional>
#include <string>
#include <sys/eventfd.h>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUnreachable = 3;  // the daemon is not listening at the socket
constexpr int kExitUsage = 64;

constexpr const char* kCommands[] = {"serve", "plug",  "unplug", "list",    "trace",
                                     "state", "fault", "event",  "suspend", "resume"};

constexpr const char* kUsage =
    "usage: devsim serve   --socket PATH [--latency-ms N] [--device SPEC]...\n"
    "       devsim plug    --socket PATH SPEC          # prints the new device id\n"
    "       devsim unplug  --socket PATH ID\n"
    "       devsim list    --socket PATH               # ID PID MODE FIRMWARE NAME\n"
    "       devsim trace   --socket PATH [--clear]     # ID PID CMD KEY INDEX DATA\n"
    "       devsim state   --socket PATH ID            # key=value lines\n"
    "       devsim fault   --socket PATH ID KIND=N     # drop-replies, error-replies, delay-ms, unplug-after, "
    "short-writes, wrong-checksums, power-cycle-after\n"
    "       devsim event   --socket PATH ID INDEX [DATAHEX]  # the controller sends its report 0x42/0x20\n"
    "       devsim suspend --socket PATH               # the machine goes to sleep\n"
    "       devsim resume  --socket PATH               # the machine wakes up\n"
    "SPEC = standard|led5 [,fw=MAJOR.MINOR.BUILD] [,boot] [,name=TEXT] [,group] [,board=N] [,identity=HEX] "
    "[,subdevices=N] [,denied] [,sameid]\n"
    "       devsim --help | --version\n"
    "Programs reach the daemon's controllers with LUMENSTRA_HID=devsim:PATH.\n"
    "Example: devsim list --socket \"$XDG_RUNTIME_DIR/devsim.sock\"\n"
    "Exit codes: 0 done, 1 the daemon refused the request, 3 no daemon at the socket, 64 usage error.\n";

int usageError(const std::string& message) {
    std::cerr << "devsim: " << message << "\n"
              << "Try 'devsim --help' for more information.\n";
    return kExitUsage;
}

struct Arguments {
    std::string command;
    std::string socket;
    std::optional<int> latencyMs;
    std::vector<std::string> devices;
    bool clear = false;
    std::vector<std::string> positional;
};

std::optional<int> parseNonNegative(std::string_view text) {
    const auto value = platform::parseWholeNumber<int>(text);
    if (!value || *value < 0) return std::nullopt;
    return value;
}

int g_stopFd = -1;

void onStopSignal(int) {
    // Async-signal-safe: only a write to the event counter.
    if (g_stopFd >= 0) ::eventfd_write(g_stopFd, 1);
}

int serve(const Arguments& args) {
    if (!args.positional.empty()) return usageError("serve takes no argument \"" + args.positional.front() + "\"");
    std::vector<sim::DeviceSpec> specs;
    for (const std::string& text : args.devices) {
        sim::DeviceSpecResult parsed = sim::parseDeviceSpec(text);
        if (!parsed.spec) return usageError("--device " + text + ": " + parsed.error);
        specs.push_back(*parsed.spec);
    }
    sim::SimBackend backend(std::chrono::milliseconds(args.latencyMs.value_or(1)));
    for (const sim::DeviceSpec& spec : specs) {
        sim::SimBackend::PlugResult plugged = backend.plug(spec);
        if (plugged.id == 0) {
            std::cerr << "devsim: " << plugged.error << "\n";
            return kExitFailure;
        }
    }
    g_stopFd = ::eventfd(0, EFD_CLOEXEC);
    struct sigaction action {};
    action.sa_handler = onStopSignal;
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::string error;
    {
        sim::devsim::DevsimServer server(backend);
        if (!server.listen(args.socket, error)) {
            std::cerr << "devsim: " << error << "\n";
            return kExitFailure;
        }
        std::cerr << "devsim: serving " << specs.size() << " device(s) on " << args.socket << "\n";
        server.run(g_stopFd);
    }
    return kExitOk;
}

// Sends one request and prints its data lines; exit 1 with the daemon's reason on failure.
int ask(const Arguments& args, const std::string& request) {
    sim::devsim::Answer answer = sim::devsim::request(args.socket, request);
    for (const std::string& line : answer.lines) std::cout << line << "\n";
    if (!answer.ok) {
        std::cerr << "devsim: " << answer.error << "\n";
        if (!answer.reached) {
            std::cerr << "devsim: start the daemon first: devsim serve --socket " << args.socket << "\n";
            return kExitUnreachable;
        }
        return kExitFailure;
    }
    return kExitOk;
}

int run(const Arguments& args) {
    const std::size_t count = args.positional.size();
    auto expect = [&](std::size_t wanted, const char* what) -> std::optional<int> {
        if (count != wanted) return usageError(args.command + " needs " + what);
        return std::nullopt;
    };
    if (args.command != "serve" && (args.latencyMs || !args.devices.empty()))
        return usageError("--latency-ms and --device belong to serve");
    if (args.command != "trace" && args.clear) return usageError("--clear belongs to trace");

    if (args.command == "serve") return serve(args);
    if (args.command == "plug") {
        if (auto bad = expect(1, "one SPEC")) return *bad;
        sim::DeviceSpecResult parsed = sim::parseDeviceSpec(args.positional[0]);
        if (!parsed.spec) return usageError(parsed.error);
        return ask(args, "plug " + args.positional[0]);
    }
    if (args.command == "unplug" || args.command == "state") {
        if (auto bad = expect(1, "one device ID")) return *bad;
        if (!parseNonNegative(args.positional[0])) return usageError("device ID must be a number");
        return ask(args, args.command + " " + args.positional[0]);
    }
    if (args.command == "list") {
        if (auto bad = expect(0, "no argument")) return *bad;
        return ask(args, "list");
    }
    if (args.command == "trace") {
        if (auto bad = expect(0, "no argument besides --clear")) return *bad;
        return ask(args, args.clear ? "trace clear" : "trace");
    }
    if (args.command == "event") {
        if (count != 2 && count != 3) return usageError("event needs ID INDEX [DATAHEX]");
        std::string bytes;
        if (!parseNonNegative(args.positional[0])) return usageError("device ID must be a number");
        const auto index = parseNonNegative(args.positional[1]);
        if (!index || *index > 0xFFFF) return usageError("INDEX must be a number from 0 to 65535");
        std::string hex = count == 3 ? args.positional[2] : std::string();
        if (!sim::fromHex(hex, bytes) || bytes.size() > sim::kDataSize)
            return usageError("DATAHEX must be at most 60 bytes of hex digits");
        return ask(args, "event " + args.positional[0] + " " + args.positional[1] + " " + hex);
    }
    if (args.command == "suspend" || args.command == "resume") {
        if (auto bad = expect(0, "no argument")) return *bad;
        return ask(args, args.command);
    }
    if (args.command == "fault") {
        if (auto bad = expect(2, "ID KIND=N")) return *bad;
        if (!parseNonNegative(args.positional[0])) return usageError("device ID must be a number");
        const std::string& fault = args.positional[1];
        std::size_t equals = fault.find('=');
        if (equals == std::string::npos) return usageError("fault must be KIND=N");
        std::string kind = fault.substr(0, equals);
        if (!sim::parseFaultKind(kind))
            return usageError("unknown fault " + kind +
                              " (drop-replies, error-replies, delay-ms, unplug-after, short-writes, wrong-checksums, "
                              "power-cycle-after)");
        if (!parseNonNegative(fault.substr(equals + 1)))
            return usageError("fault value must be a number of at least 0");
        return ask(args, "fault " + args.positional[0] + " " + kind + " " + fault.substr(equals + 1));
    }
    return usageError("unknown command \"" + args.command + "\"");
}

}  // namespace

int main(int argc, char** argv) {
    std::vector<std::string> words(argv + 1, argv + argc);
    for (const std::string& word : words) {
        if (word == "--help" || word == "-h") {
            std::cout << kUsage;
            return kExitOk;
        }
        if (word == "--version") {
            std::cout << "devsim " << platform::kVersion << "\n";
            return kExitOk;
        }
    }
    if (words.empty()) return usageError("a command is needed");
    Arguments args;
    args.command = words[0];
    if (std::find(std::begin(kCommands), std::end(kCommands), args.command) == std::end(kCommands))
        return usageError("unknown command \"" + args.command + "\"");
    for (std::size_t i = 1; i < words.size(); ++i) {
        const std::string& word = words[i];
        auto value = [&]() -> std::optional<std::string> {
            if (i + 1 >= words.size()) return std::nullopt;
            return words[++i];
        };
        if (word == "--socket") {
            auto path = value();
            if (!path) return usageError("--socket needs a PATH");
            args.socket = *path;
        } else if (word == "--latency-ms") {
            auto text = value();
            const auto latency = text ? parseNonNegative(*text) : std::nullopt;
            if (!latency) return usageError("--latency-ms needs a number of at least 0");
            args.latencyMs = latency;
        } else if (word == "--device") {
            auto spec = value();
            if (!spec) return usageError("--device needs a SPEC");
            args.devices.push_back(*spec);
        } else if (word == "--clear") {
            args.clear = true;
        } else if (word.size() > 1 && word[0] == '-' && word[1] == '-') {
            return usageError("unknown option " + word);
        } else {
            args.positional.push_back(word);
        }
    }
    if (args.socket.empty()) return usageError("--socket PATH is needed");
    return run(args);
}
