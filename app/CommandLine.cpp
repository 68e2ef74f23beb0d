#include "app/CommandLine.h"

#include "platform/Numbers.h"

namespace app {
namespace {

struct LanguageWord {
    std::string_view word;
    int code;
};

constexpr LanguageWord kLanguageWords[] = {
    {"en", 0}, {"cs", 8}, {"ct", 11}, {"japan", 4}, {"indonesia", 15}, {"arabic", 13}, {"korean", 5},
};

}  // namespace

StartOptions parseCommandLine(const std::vector<std::string>& words) {
    StartOptions options;
    for (const std::string& original : words) {
        const std::string word = platform::lowercaseAscii(original);
        if (word == "true") {
            options.trueFlag = true;
        } else if (word == "debug") {
            options.debug = true;
        } else if (word == "nodev") {
            options.deviceCheck = false;
        } else if (const auto at = word.find("ui:"); at != std::string::npos) {
            options.resolutionChoice = platform::readIntLikeAtoi(std::string_view(word).substr(at + 3));
        } else {
            for (const LanguageWord& language : kLanguageWords) {
                if (word == language.word) {
                    options.languageCode = language.code;
                    break;
                }
            }
        }
    }
    return options;
}

std::string chooseResolutionFolder(int resolutionChoice, int screenWidth) {
    switch (resolutionChoice) {
    case -1:
        if (screenWidth > 1700) return "1920x1080/";
        if (screenWidth > 1210) return "1366x768/";
        return "960x540/";
    case 0: return "1920x1080/";
    case 1: return "1366x768/";
    default: return "960x540/";
    }
}

}  // namespace app
