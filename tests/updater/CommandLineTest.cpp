#include "updater/CommandLine.h"

#include <gtest/gtest.h>

using updater::NimbrelOptions;

namespace {
NimbrelOptions with(void (*change)(NimbrelOptions&)) {
    NimbrelOptions options;
    change(options);
    return options;
}
}  // namespace

TEST(NimbrelCommandLine, OptionsInLowerCaseWithTheirRanges) {
    const struct {
        std::vector<std::string> arguments;  // after the program path
        NimbrelOptions expected;
    } cases[] = {
        {{"DEV:3"}, with([](NimbrelOptions& o) { o.targetDevice = 2; })},
        {{"dev:10"}, with([](NimbrelOptions& o) { o.targetDevice = 9; })},
        {{"dev:11", "dev:0"}, NimbrelOptions{}},
        {{"devgroup:0", "devgroup:6"}, NimbrelOptions{}},
        {{"devgroup:2"}, with([](NimbrelOptions& o) { o.deviceGroup = 1; })},
        {{"bingroup:5"}, with([](NimbrelOptions& o) { o.imageGroup = 4; })},
        {{"bin:9"}, with([](NimbrelOptions& o) { o.imageNumber = 9; })},
        {{"bin:10"}, NimbrelOptions{}},
        {{"-silent"}, with([](NimbrelOptions& o) { o.silent = o.autoStart = true; })},
        {{"-silentx", "x-force"}, NimbrelOptions{}},
        {{"-FORCE"}, with([](NimbrelOptions& o) { o.force = true; })},
        {{"dev:1", "true", "../Lumenstra"}, with([](NimbrelOptions& o) {
             o.targetDevice = 0;
             o.autoStart = true;
             o.relaunchPath = "../lumenstra";
         })},
        {{"true"}, with([](NimbrelOptions& o) { o.autoStart = true; })},
        // The argument after "true" is also read as an option.
        {{"true", "dev:2"}, with([](NimbrelOptions& o) {
             o.autoStart = true;
             o.relaunchPath = "dev:2";
             o.targetDevice = 1;
         })},
    };
    for (const auto& c : cases) {
        std::vector<std::string> arguments = {"/opt/Nimbrel/Nimbrel"};
        arguments.insert(arguments.end(), c.arguments.begin(), c.arguments.end());
        EXPECT_EQ(updater::parseNimbrelArguments(arguments), c.expected) << c.arguments.front();
    }
}

TEST(NimbrelCommandLine, HelpAnywhereInAnyArgumentWins) {
    EXPECT_TRUE(updater::parseNimbrelArguments({"Nimbrel", "dev:1", "x/helpy"}).help);
    EXPECT_TRUE(updater::parseNimbrelArguments({"Nimbrel", "/?"}).help);
    EXPECT_TRUE(updater::parseNimbrelArguments({"Nimbrel", "-H"}).help);
    EXPECT_TRUE(updater::parseNimbrelArguments({"Nimbrel", "dev:1", "--help"}).help);
    EXPECT_FALSE(updater::parseNimbrelArguments({"Nimbrel", "-help"}).help);
    // The program's own path is no request, with or without arguments.
    const updater::NimbrelOptions fromHelpFolder =
        updater::parseNimbrelArguments({"/opt/help/Nimbrel", "dev:1", "-silent"});
    EXPECT_FALSE(fromHelpFolder.help);
    EXPECT_TRUE(fromHelpFolder.silent);
    EXPECT_EQ(fromHelpFolder.targetDevice, 0);
    EXPECT_FALSE(updater::parseNimbrelArguments({"/tmp/a/?b", "dev:1"}).help);
    EXPECT_FALSE(updater::parseNimbrelArguments({"/tmp/a/?b"}).help);
    const std::string help = updater::nimbrelHelpText();
    EXPECT_EQ(help.rfind("\n\nHalvern Nimbrel  v1.08\n/?  \t\t:help Info\n\n", 0), 0u);
    EXPECT_TRUE(help.ends_with("-force  \t:force to update fw (Ignore Ver)\n\n\nPlease press enter key to end\n"));
}

TEST(NimbrelCommandLine, VersionIsAWholeWordAfterTheProgramPathInAnyCase) {
    const struct {
        std::vector<std::string> arguments;
        bool asks;
    } cases[] = {
        {{"Nimbrel", "--version"}, true},
        {{"Nimbrel", "dev:1", "--VERSION"}, true},
        {{"Nimbrel", "-silent", "--Version", "-force"}, true},
        {{"--version"}, false},  // the program path itself is no word
        {{"Nimbrel", "--versions"}, false},
        {{"Nimbrel", "x--version"}, false},
        {{"Nimbrel", "-version"}, false},
        {{"Nimbrel", "/?"}, false},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(updater::asksForVersion(c.arguments), c.asks) << c.arguments.back();
    }
}
