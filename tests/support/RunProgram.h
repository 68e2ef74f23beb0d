#pragma once

#include <string>
#include <vector>

namespace testsupport {

struct ProgramRun {
    int exitCode = -1;   // -1 when it could not run or was killed
    std::string output;  // standard output
    std::string errors;  // standard error
};

// Runs a program (no shell) with the test's environment and waits for it, at
// most `timeoutSeconds`; a program still running then is killed.
ProgramRun runProgram(const std::string& program, const std::vector<std::string>& arguments, int timeoutSeconds = 60);

}  // namespace testsupport
