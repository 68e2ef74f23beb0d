#include "updater/CommandLine.h"

#include "platform/Numbers.h"

namespace updater {
namespace {

struct NumberedOption {
    const char* name;
    int low;
    int high;
    int offset;  // added to the number given
    int NimbrelOptions::*field;
};

constexpr NumberedOption kNumberedOptions[] = {
    {"devgroup:", 1, 5, -1, &NimbrelOptions::deviceGroup},
    {"bingroup:", 1, 5, -1, &NimbrelOptions::imageGroup},
    {"bin:", 1, 9, 0, &NimbrelOptions::imageNumber},
    {"dev:", 1, 10, -1, &NimbrelOptions::targetDevice},
};

}  // namespace

bool asksForVersion(const std::vector<std::string>& arguments) {
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        if (platform::lowercaseAscii(arguments[i]) == "--version") return true;
    }
    return false;
}

NimbrelOptions parseNimbrelArguments(const std::vector<std::string>& arguments) {
    NimbrelOptions options;
    if (arguments.size() <= 1) return options;
    // The program's own path is no request: a folder named "help" must not stop the update.
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string lower = platform::lowercaseAscii(arguments[i]);
        if (lower.find("/?") != std::string::npos || lower.find("/help") != std::string::npos || lower == "-h" ||
            lower == "--help") {
            options.help = true;
            return options;
        }
    }
    for (std::size_t i = 1; i < arguments.size(); ++i) {
        const std::string lower = platform::lowercaseAscii(arguments[i]);
        for (const NumberedOption& option : kNumberedOptions) {
            const std::size_t at = lower.find(option.name);
            if (at == std::string::npos) continue;
            const int value = platform::readIntLikeAtoi(
                std::string_view(lower).substr(at + std::char_traits<char>::length(option.name)));
            if (value >= option.low && value <= option.high) options.*option.field = value + option.offset;
        }
        if (lower == "-silent") {
            options.silent = true;
            options.autoStart = true;
        } else if (lower == "-force") {
            options.force = true;
        } else if (lower == "true") {
            options.autoStart = true;
            if (i + 1 < arguments.size()) options.relaunchPath = platform::lowercaseAscii(arguments[i + 1]);
        }
    }
    return options;
}

std::string nimbrelHelpText() {
    return std::string("\n\n") + "Halvern Nimbrel " + " " + "v1.08" + "\n" +
           "/?  \t\t:help Info\n\n"
           "devgroup:  \t:force to use the dev's group(1~5) to update the fw,\n\t\t ex: devgroup:1\n\n"
           "bingroup:  \t:force to use the bins's group(1~5) to update the fw,\n\t\t ex: bingroup:1\n\n"
           "bin:  \t\t:force to update the bin(layout 1~9),\n\t\t but still check the version. ex: bin:2\n\n"
           "dev:  \t\t:Specify the device(1~10) of the same group to update the fw,\n\t\t but still check the version. "
           "ex: dev:2\n"
           "\t\t PS: The device is must plugged!!\n\n"
           "-silent  \t:don't show ui and auto to update fw\n\n"
           "-force  \t:force to update fw (Ignore Ver)\n"
           "\n\nPlease press enter key to end\n";
}

}  // namespace updater
