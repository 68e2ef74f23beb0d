#pragma once

#include <string>
#include <vector>

namespace updater {

inline constexpr char kNimbrelMutex[] = "KESTREL_NIMBREL_MUTEX";

// What the updater's command line asks for; -1 leaves a choice to the updater.
struct NimbrelOptions {
    bool help = false;
    int deviceGroup = -1;      // "devgroup:1-5", kept zero-based
    int imageGroup = -1;       // "bingroup:1-5", kept zero-based
    int imageNumber = -1;      // "bin:1-9", kept as given
    int targetDevice = -1;     // "dev:1-10", kept zero-based
    bool silent = false;       // "-silent": no window, start at once
    bool autoStart = false;    // "-silent" or "true"
    bool force = false;        // "-force": ignore the versions
    std::string relaunchPath;  // the argument after "true", lower-cased
    bool operator==(const NimbrelOptions&) const = default;
};

// `arguments` starts with the program path. Arguments are compared in lower
// case; a number outside its option's range leaves the option unset. Help is
// asked for by "/?" or "/help" anywhere in an argument after the path, or by
// "-h" or "--help".
NimbrelOptions parseNimbrelArguments(const std::vector<std::string>& arguments);

// Whether a word after the program path is "--version", in any case: the
// updater then prints its version and ends before it touches anything.
bool asksForVersion(const std::vector<std::string>& arguments);

// The help text, piece by piece as the updater prints it.
std::string nimbrelHelpText();

}  // namespace updater
