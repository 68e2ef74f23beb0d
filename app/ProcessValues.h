#pragma once

#include <string>

namespace app {

// Values that the start-up sets once and every part of Lumenstra reads.
struct ProcessValues {
    bool debug = false;         // the command word "debug": write the debug log
    std::string programFolder;  // the executable's folder, ending with '/'
    std::string dataFolder;     // the per-user settings folder, ending with '/'
};

// Written only during start-up, before any other thread exists.
ProcessValues& processValues();

}  // namespace app
