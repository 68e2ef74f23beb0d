#include "tests/support/RunProgram.h"
#include "tests/support/TestEnvironment.h"

#include <sys/wait.h>

#include <cstdio>
#include <string>
#include <vector>

using testsupport::writeFileBytes;

namespace {

const std::string kSkintool = std::string(LUMENSTRA_BIN_DIR) + "/skintool";

struct ToolRun {
    int exitCode = -1;
    std::string output;  // standard output only
};

std::string quoted(const std::string& argument) {
    std::string out = "'";
    for (const char c : argument) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

ToolRun runSkintool(const std::vector<std::string>& arguments) {
    std::string command = quoted(kSkintool);
    for (const std::string& argument : arguments) command += " " + quoted(argument);
    command += " 2>/dev/null";
    ToolRun run;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return run;
    char buffer[4096];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) run.output.append(buffer, got);
    const int status = ::pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return run;
}

}  // namespace

class SkintoolTest : public testsupport::IsolatedTest {
protected:
    std::string path = home.path("Buttons.xml");
    void SetUp() override {
        writeFileBytes(path,
                       "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\r\n<BUTTONS>\r\n"
                       "<MAIN><BUTTON_MIN SIZE=\"14\">BUTTON_MIN,10,20,30,40,Min &amp; max,TRUE</BUTTON_MIN>"
                       "<MAIN><STR_DEV_LIST>nested</STR_DEV_LIST></MAIN></MAIN>\r\n</BUTTONS>\r\n");
    }
};

TEST_F(SkintoolTest, GetPrintsTheLookUpResultAndANewline) {
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"get", path, "MAIN", "BUTTON_MIN"}, "BUTTON_MIN,10,20,30,40,Min & max,TRUE\n"},
        {{"get", path, "MAIN", "BUTTON_MIN", "SIZE"}, "14\n"},
        {{"get", path, "MAIN", "STR_DEV_LIST"}, "nested\n"},
        {{"get", path, "MAIN", "NONE"}, "\n"},
        {{"get", path, "MAIN", "BUTTON_MIN", "NONE"}, "\n"},
    };
    for (const auto& [arguments, expected] : cases) {
        const ToolRun run = runSkintool(arguments);
        EXPECT_EQ(run.exitCode, 0) << arguments[3];
        EXPECT_EQ(run.output, expected) << arguments[3];
    }
}

TEST_F(SkintoolTest, DiagPrintsTheParseResultAndTheDiagnosticText) {
    ToolRun run = runSkintool({"diag", path});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "true\nUTF-8 length 202 to 202 wide chars \n");

    writeFileBytes(path, "<a></b></a>");
    run = runSkintool({"diag", path});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.output, "false\nUTF-8 length 11 to 11 wide chars  No start tag for end tag 'b' at offset 3\n");
}

TEST_F(SkintoolTest, RecordPrintsTheParsedFieldsOnOneLine) {
    EXPECT_EQ(runSkintool({"record", "RECT_UPDATE,59, 268,684,16, FALSE,FALSE"}).output, "59 268 743 284 0 [ FALSE]\n");
    EXPECT_EQ(runSkintool({"record", "A,1,2,3,4,x,2"}).output, "1 2 4 6 2 [x]\n");
    EXPECT_EQ(runSkintool({"record", "--nimbrel", "A,1,2,3,4,x,2"}).output, "1 2 4 6 0 [x]\n");
    EXPECT_EQ(runSkintool({"record", "--nimbrel", "A,1,2,3,4,TRUE,x"}).output, "1 2 4 6 1 [TRUE]\n");
}

TEST_F(SkintoolTest, ExitCodesTellUnreadableFilesFromUsageErrors) {
    const std::vector<std::pair<std::vector<std::string>, int>> cases = {
        {{"get", home.path("missing.xml"), "A", "B"}, 2},
        {{"diag", home.root()}, 2},
        {{}, 64},
        {{"frobnicate"}, 64},
        {{"get", path, "MAIN"}, 64},
        {{"get", path, "MAIN", "KEY", "ATTRIBUTE", "EXTRA"}, 64},
        {{"diag"}, 64},
        {{"record"}, 64},
        {{"record", "--other", "A,1,2,3,4,,0"}, 64},
        {{"record", "1 2 3 4 5 hello"}, 64},
        {{"check"}, 64},
        {{"--help"}, 0},
    };
    for (const auto& [arguments, code] : cases) {
        EXPECT_EQ(runSkintool(arguments).exitCode, code) << (arguments.empty() ? "(none)" : arguments[0]);
    }
    EXPECT_NE(runSkintool({"--help"}).output.find("skintool get FILE SECTION KEY [ATTRIBUTE]"), std::string::npos);
}

// Malformed input is named with what is wrong, never answered with zeros.
TEST_F(SkintoolTest, MalformedRecordsAndUnknownCommandsAreNamed) {
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        const char* fragment;
    } cases[] = {
        {{"record", "1 2 3 4 5 hello"}, 64, "at least 5 are needed"},
        {{"record", "A,1,2,x,4,text,1"}, 64, "w \"x\", which is no whole number"},
        {{"record", "A,1,2,3"}, 64, "has 4 comma-separated field(s)"},
        {{"record", "--nimbrel", "A,1,,3,4"}, 64, "y \"\""},
        {{"frobnicate"}, 64, "unknown command 'frobnicate'"},
    };
    for (const auto& c : cases) {
        const testsupport::ProgramRun run = testsupport::runProgram(kSkintool, c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode) << c.arguments.back();
        EXPECT_NE(run.errors.find(c.fragment), std::string::npos) << run.errors;
        EXPECT_NE(run.errors.find("skintool --help"), std::string::npos) << run.errors;
        EXPECT_TRUE(run.output.empty()) << run.output;
    }
}
