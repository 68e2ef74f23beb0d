#include "app/CommandLine.h"

#include <climits>

namespace app {
namespace {

std::string lowercaseAscii(std::string_view word) {
    std::string lower(word);
    for (char& c : lower)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return lower;
}

bool isBlank(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

struct LanguageWord {
    std::string_view word;
    int code;
};

constexpr LanguageWord kLanguageWords[] = {
    {"en", 0}, {"cs", 8}, {"ct", 11}, {"japan", 4}, {"indonesia", 15}, {"arabic", 13}, {"korean", 5},
};

}  // namespace

int readIntLikeAtoi(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
        value = value * 10 + (text[i] - '0');
        if (value > static_cast<long long>(INT_MAX) + 1) break;  // already out of range either way
    }
    if (negative) value = -value;
    if (value > INT_MAX) return INT_MAX;
    if (value < INT_MIN) return INT_MIN;
    return static_cast<int>(value);
}

StartOptions parseCommandLine(const std::vector<std::string>& words) {
    StartOptions options;
    for (const std::string& original : words) {
        const std::string word = lowercaseAscii(original);
        if (word == "true") {
            options.trueFlag = true;
        } else if (word == "debug") {
            options.debug = true;
        } else if (word == "nodev") {
            options.deviceCheck = false;
        } else if (const auto at = word.find("ui:"); at != std::string::npos) {
            options.resolutionChoice = readIntLikeAtoi(std::string_view(word).substr(at + 3));
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
    case 0:
        return "1920x1080/";
    case 1:
        return "1366x768/";
    default:
        return "960x540/";
    }
}

}  // namespace app
