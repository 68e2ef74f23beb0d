#include "cli/CliCommands.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

TEST(RawArguments, AcceptsHexNumbersOptionsAndData) {
    std::string error;
    auto request = cli::parseRawArguments({"--family", "led5", "52", "2C", "0105", "--device", "a", "0aff"}, error);
    ASSERT_TRUE(request) << error;
    EXPECT_EQ(request->family, cli::Family::Led5);
    EXPECT_EQ(request->device, 10);
    EXPECT_EQ(request->cmd, 0x52);
    EXPECT_EQ(request->key, 0x2C);
    EXPECT_EQ(request->index, 0x0105);
    EXPECT_EQ(request->data[0], 0x0A);
    EXPECT_EQ(request->data[1], 0xFF);
    EXPECT_EQ(request->data[2], 0);

    request = cli::parseRawArguments({"0x12", "0", "0", std::string(120, 'e')}, error);
    ASSERT_TRUE(request) << error;
    EXPECT_EQ(request->family, cli::Family::Standard);
    EXPECT_EQ(request->device, 0);
    EXPECT_EQ(request->data[59], 0xEE);
}

TEST(RawArguments, RejectsWhatIsNotARecord) {
    const std::vector<std::vector<std::string>> cases = {
        {},
        {"52", "94"},
        {"52", "94", "0", "00", "extra"},
        {"152", "94", "0"},
        {"52", "94", "10000"},
        {"5g", "94", "0"},
        {"52", "94", "0", "abc"},
        {"52", "94", "0", std::string(122, '0')},
        {"52", "94", "0", "zz"},
        {"--family", "other", "52", "94", "0"},
        {"--device"},
        {"--device", "x", "52", "94", "0"},
        {"--fast", "52", "94", "0"},
    };
    for (const auto& arguments : cases) {
        std::string error;
        EXPECT_FALSE(cli::parseRawArguments(arguments, error)) << testing::PrintToString(arguments);
        EXPECT_FALSE(error.empty());
    }
}

TEST(CliCommandLine, HelpAndUsageErrorsHaveTheirExitCodes) {
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        bool toOut;
    } cases[] = {
        {{"--help"}, 0, true},       {{"list", "--help"}, 0, true}, {{"raw", "--help"}, 0, true},
        {{}, 64, false},             {{"frobnicate"}, 64, false},   {{"list", "extra"}, 64, false},
        {{"raw", "52"}, 64, false},
    };
    for (const auto& c : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(cli::runCli(c.arguments, out, err), c.exitCode) << testing::PrintToString(c.arguments);
        EXPECT_NE((c.toOut ? out : err).str().find("Usage: lumenstra-cli"), std::string::npos);
    }
}

}  // namespace
