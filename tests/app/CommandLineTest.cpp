#include "app/CommandLine.h"
#include "platform/Numbers.h"

#include <gtest/gtest.h>

using app::StartOptions;

namespace {
StartOptions with(void (*change)(StartOptions&)) {
    StartOptions options;
    change(options);
    return options;
}
}  // namespace

TEST(CommandLine, WordsAreCaseInsensitiveTheFirstMatchingTestDecidesAndTheLastWordWins) {
    const struct {
        std::vector<std::string> words;
        StartOptions expected;
    } cases[] = {
        {{}, StartOptions{}},
        {{"DEBUG"}, with([](StartOptions& o) { o.debug = true; })},
        {{"True", "NoDev"}, with([](StartOptions& o) {
             o.trueFlag = true;
             o.deviceCheck = false;
         })},
        {{"UI:1"}, with([](StartOptions& o) { o.resolutionChoice = 1; })},
        {{"ui:"}, with([](StartOptions& o) { o.resolutionChoice = 0; })},
        {{"ui:-1"}, with([](StartOptions& o) { o.resolutionChoice = -1; })},
        {{"xui: 12abc"}, with([](StartOptions& o) { o.resolutionChoice = 12; })},
        {{"ui:2", "ui:0"}, with([](StartOptions& o) { o.resolutionChoice = 0; })},
        {{"Japan"}, with([](StartOptions& o) { o.languageCode = 4; })},
        {{"en", "korean"}, with([](StartOptions& o) { o.languageCode = 5; })},
        {{"cs"}, with([](StartOptions& o) { o.languageCode = 8; })},
        {{"ct"}, with([](StartOptions& o) { o.languageCode = 11; })},
        {{"arabic"}, with([](StartOptions& o) { o.languageCode = 13; })},
        {{"indonesia"}, with([](StartOptions& o) { o.languageCode = 15; })},
        {{"english", "debugging", "-debug", "french"}, StartOptions{}},
    };
    for (const auto& c : cases) {
        const StartOptions parsed = app::parseCommandLine(c.words);
        std::string joined;
        for (const auto& w : c.words) joined += w + " ";
        EXPECT_EQ(parsed, c.expected) << joined;
    }
}

TEST(CommandLine, ReadsNumbersTheWayTheCRuntimeDoes) {
    const struct {
        const char* text;
        int value;
    } cases[] = {
        {"", 0},
        {"7", 7},
        {"  +3", 3},
        {"\t-12x", -12},
        {"abc", 0},
        {"- 1", 0},
        {"0012", 12},
        {"99999999999", 2147483647},
        {"-99999999999", -2147483647 - 1},
        {"2147483647", 2147483647},
        {"-2147483648", -2147483647 - 1},
    };
    for (const auto& c : cases) EXPECT_EQ(platform::readIntLikeAtoi(c.text), c.value) << '"' << c.text << '"';
}

TEST(CommandLine, ResolutionFolderByChoiceAndByScreenWidth) {
    const struct {
        int choice;
        int width;
        const char* folder;
    } cases[] = {
        {-1, 1920, "1920x1080/"}, {-1, 1701, "1920x1080/"}, {-1, 1700, "1366x768/"}, {-1, 1366, "1366x768/"},
        {-1, 1280, "1366x768/"},  {-1, 1211, "1366x768/"},  {-1, 1210, "960x540/"},  {-1, 1024, "960x540/"},
        {-1, 0, "960x540/"},      {0, 800, "1920x1080/"},   {1, 3840, "1366x768/"},  {7, 3840, "960x540/"},
        {-2, 3840, "960x540/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(app::chooseResolutionFolder(c.choice, c.width), c.folder) << c.choice << " " << c.width;
}
