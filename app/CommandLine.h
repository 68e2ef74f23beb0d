#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace app {

// What Lumenstra's command line chooses, with the defaults of a plain start.
struct StartOptions {
    bool trueFlag = false;      // "true": started again by the updater
    bool debug = false;         // "debug": write the debug log
    bool deviceCheck = true;    // "nodev" clears it: run without a controller
    int languageCode = 255;     // language words; kept for callers, unused by the texts
    int resolutionChoice = -1;  // "ui:N"; -1 chooses by screen width
    bool operator==(const StartOptions&) const = default;
};

// Each word is lowercased and tested against the words in a fixed order; the
// first test that matches decides and a word matching none is ignored. Later
// words override earlier ones.
StartOptions parseCommandLine(const std::vector<std::string>& words);

// The skin resolution folder ("1920x1080/", "1366x768/" or "960x540/") for a
// resolution choice; -1 chooses by the primary screen's width.
std::string chooseResolutionFolder(int resolutionChoice, int screenWidth);

}  // namespace app
