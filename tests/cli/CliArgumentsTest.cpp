#include "cli/CliCommands.h"
#include "cli/EffectCommands.h"
#include "platform/Version.h"

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

// A usage error was its line and then the whole usage; now it is its line and
// a pointer to the command's --help.
TEST(CliCommandLine, HelpAndUsageErrorsHaveTheirExitCodes) {
    const struct {
        std::vector<std::string> arguments;
        int exitCode;
        bool toOut;
        std::string fragment;
    } cases[] = {
        {{"--help"}, 0, true, "Usage: lumenstra-cli"},
        {{"list", "--help"}, 0, true, "Usage: lumenstra-cli list"},
        {{"raw", "--help"}, 0, true, "Usage: lumenstra-cli raw"},
        {{"zelvor", "--help"}, 0, true, "Example: lumenstra-cli zelvor"},
        {{"--version"}, 0, true, "lumenstra-cli " + std::string(platform::kVersion) + "\n"},
        {{}, 64, false, "Usage: lumenstra-cli"},
        {{"frobnicate"}, 64, false, "unknown command \"frobnicate\"\nTry 'lumenstra-cli --help'"},
        {{"list", "extra"},
         64,
         false,
         "lumenstra-cli list: unexpected argument \"extra\"\nTry 'lumenstra-cli list --help'"},
        {{"raw", "52"}, 64, false, "Try 'lumenstra-cli raw --help'"},
        {{"set", "--zone", "main", "--effect", "sparkle"}, 64, false, "unknown effect \"sparkle\""},
        {{"set", "--zone", "main", "--effect", "static", "--color", "#12345"}, 64, false, "bad colour \"#12345\""},
        {{"apply"}, 64, false, "expected one profile file"},
        {{"serve", "--help"}, 0, true, "Usage: lumenstra-cli serve"},
        {{"serve", "--port", "0"}, 64, false, "bad port \"0\" (1 to 65535)"},
        {{"serve", "--port", "65536"}, 64, false, "bad port \"65536\""},
        {{"serve", "--address", "localhost:6742"}, 64, false, "bad address \"localhost:6742\""},
        {{"serve", "now"}, 64, false, "unexpected argument \"now\""},
        {{"serve", "--device", "1"}, 64, false, "serve offers every controller"},
    };
    for (const auto& c : cases) {
        std::ostringstream out, err;
        EXPECT_EQ(cli::runCli(c.arguments, out, err), c.exitCode) << testing::PrintToString(c.arguments);
        EXPECT_NE((c.toOut ? out : err).str().find(c.fragment), std::string::npos)
            << testing::PrintToString(c.arguments) << (c.toOut ? out : err).str();
        if (!c.toOut && !c.arguments.empty()) {
            EXPECT_LT(err.str().size(), 200u) << err.str();
        }
    }
}

TEST(CliNames, EffectsByButtonCaptionAndByCode) {
    const struct {
        const char* caption;
        const char* code;
    } pairs[] = {{"static", "static"},   {"flow", "mode_07"},    {"rotate", "mode_0a"},
                 {"dual", "mode_09"},    {"twin", "mode_08"},    {"morse", "morse"},
                 {"rainbow", "mode_02"}, {"breathe", "mode_01"}, {"off", "light_off"}};
    for (const auto& pair : pairs) {
        const auto byCaption = cli::effectFromName(pair.caption);
        ASSERT_TRUE(byCaption) << pair.caption;
        EXPECT_EQ(byCaption, cli::effectFromName(pair.code)) << pair.caption;
        EXPECT_EQ(cli::effectName(*byCaption), pair.code);
    }
    EXPECT_FALSE(cli::effectFromName("sparkle"));
}

TEST(CliNames, ColoursAsHexWithOrWithoutHashAndByCssName) {
    const struct {
        const char* text;
        std::optional<effects::Colour> colour;  // 0x00BBGGRR
    } cases[] = {
        {"ff0000", 0x0000FF},     {"#FF0000", 0x0000FF},        {"red", 0x0000FF},
        {"Red", 0x0000FF},        {"teal", 0x808000},           {"rebeccapurple", 0x993366},
        {"#12345", std::nullopt}, {"#red", std::nullopt},       {"ff00001", std::nullopt},
        {"", std::nullopt},       {"notacolour", std::nullopt}, {"+f0000", std::nullopt},
    };
    for (const auto& c : cases) EXPECT_EQ(cli::parseColour(c.text), c.colour) << c.text;
}

}  // namespace
