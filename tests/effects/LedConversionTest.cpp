#include "effects/LedConversion.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <limits>

using namespace effects;

namespace {

// Every field "0" but the ones given as {led, part, text}.
struct Field {
    int led;
    int part;
    const char* text;
};
ConversionColourTexts coloursWith(std::initializer_list<Field> fields) {
    ConversionColourTexts colours;
    for (auto& row : colours) row.fill("0");
    for (const Field& field : fields) colours[field.led][field.part] = field.text;
    return colours;
}

using Results = std::array<std::string, kConversionResults>;

}  // namespace

TEST(LedConversion, ColourFieldsReadHexOnlyAfterALeading0xAndDecimalOtherwise) {
    const struct {
        const char* text;
        int value;
    } cases[] = {
        {"0x1F", 31},
        {"1F", 1},
        {"a0x1", 0},
        {"0xff", 255},
        {"0x", 0},
        {"0xzz", 0},
        {"0X1F", 0},  // no "0x" in it, and no decimal digit first
        {"  42", 42},
        {"-7", -7},
        {"+12abc", 12},
        {"", 0},
        {"text", 0},
        {"99999999999999999999", std::numeric_limits<int>::max()},
        {"-99999999999999999999", std::numeric_limits<int>::min()},
        {"0xFFFFFFFFFFFFFFFFFFFF", std::numeric_limits<int>::max()},
    };
    for (const auto& c : cases) EXPECT_EQ(ReadConversionNumber(c.text), c.value) << '"' << c.text << '"';
}

TEST(LedConversion, ReloadCountIsTheClockOverTheFrequencyLessOneAndNoneWithoutAFrequency) {
    const struct {
        std::int64_t hz;
        std::optional<std::int64_t> count;
    } cases[] = {
        {2500, 19199}, {330, 145453},  {1, 47999999},
        {48000000, 0}, {7, 6857141},   {0, {}},
        {-5, {}},      {48000001, {}}, {std::numeric_limits<std::int64_t>::min(), {}},
    };
    for (const auto& c : cases) EXPECT_EQ(PwmReloadCount(c.hz), c.count) << c.hz;
}

TEST(LedConversion, LevelsClassifyBySixtiesUpTo255) {
    const struct {
        std::int64_t value;
        std::optional<int> level;
    } cases[] = {
        {0, 0},   {59, 0},  {60, 1},  {119, 1},  {120, 2}, {179, 2},  {180, 3},
        {239, 3}, {240, 4}, {255, 4}, {256, {}}, {-1, {}}, {300, {}}, {std::numeric_limits<std::int64_t>::max(), {}}};
    for (const auto& c : cases) EXPECT_EQ(ConversionLevel(c.value), c.level) << c.value;
}

TEST(LedConversion, CalculateGivesTheTableIndexOfEachValueOrError) {
    const struct {
        const char* what;
        ConversionColourTexts colours;
        Results results;
    } cases[] = {
        {"all zero", coloursWith({}), {"0x0", "0x100", "0x200", "0x300", "0x400", "0x500"}},
        {"LED 2 red 300", coloursWith({{2, 0, "300"}}), {"0x0", "0x100", "Error", "0x300", "0x400", "0x500"}},
        {"LED 3 blue 300", coloursWith({{3, 2, "300"}}), {"0x0", "0x100", "0x200", "0x300", "0x400", "Error"}},
        // A halved value takes the other field with it: 300 and 0 give 150.
        {"LED 0 red 300", coloursWith({{0, 0, "300"}}), {"0x2", "0x100", "0x200", "0x300", "0x400", "0x500"}},
        {"reds 300 and 300",
         coloursWith({{0, 0, "300"}, {3, 0, "300"}}),
         {"Error", "0x100", "0x200", "0x300", "0x400", "0x500"}},
        {"greens of LEDs 1 and 3",
         coloursWith({{1, 1, "0xff"}, {3, 1, "0xf0"}}),
         {"0x0", "0x104", "0x200", "0x300", "0x400", "0x500"}},
        {"odd sum rounds down",
         coloursWith({{0, 0, "119"}, {3, 0, "0"}}),
         {"0x0", "0x100", "0x200", "0x300", "0x400", "0x500"}},
        {"negative half rounds toward zero",
         coloursWith({{0, 0, "-1"}}),
         {"0x0", "0x100", "0x200", "0x300", "0x400", "0x500"}},
        {"LED 2 as hex and decimal",
         coloursWith({{2, 0, "0x3C"}, {2, 1, "180"}, {2, 2, "1F"}}),
         {"0x0", "0x100", "0x201", "0x303", "0x400", "0x500"}},
        {"largest fields do not overflow",
         coloursWith({{0, 0, "2147483647"}, {3, 0, "2147483647"}, {1, 1, "-2147483648"}, {3, 1, "-2147483648"}}),
         {"Error", "Error", "0x200", "0x300", "0x400", "0x500"}},
        {"LED 1 red and blue count nowhere",
         coloursWith({{1, 0, "999"}, {1, 2, "999"}, {0, 2, "-4"}}),
         {"0x0", "0x100", "0x200", "0x300", "0x400", "0x500"}},
    };
    for (const auto& c : cases) EXPECT_EQ(ConversionTableIndices(c.colours), c.results) << c.what;
}

TEST(LedConversion, ChannelsStartAtDuty100WithAutoIncrementOnTheFirstOnly) {
    const auto channels = InitialConversionChannels();
    for (std::size_t i = 0; i < channels.size(); ++i) {
        EXPECT_EQ(channels[i].integers, (std::array<int, 4>{0, 0, 0, 0}));
        EXPECT_EQ(channels[i].maxDuty, 100.0);
        EXPECT_EQ(channels[i].autoIncrement, i == 0) << i;
    }
    EXPECT_EQ(ConversionChannelTextsOf(channels[0]),
              (ConversionChannelTexts{{"0", "0", "0", "0"}, "100.000000", true}));
}

TEST(LedConversion, ReadingAChannelKeepsAnyDutyAndWarnsOutside0To100) {
    const struct {
        const char* duty;
        double stored;
        bool inRange;
    } cases[] = {
        {"150", 150.0, false}, {"-0.5", -0.5, false},  {"0", 0.0, true},
        {"100", 100.0, true},  {"55.25", 55.25, true}, {" 12.5x", 12.5, true},
        {"abc", 42.0, true},   {"", 42.0, true},       {"1e999", std::numeric_limits<double>::infinity(), false},
    };
    for (const auto& c : cases) {
        ConversionChannel channel;
        channel.maxDuty = 42.0;
        const ConversionChannelTexts texts{{"0x10", "7", "a0x1", "-3"}, c.duty, true};
        EXPECT_EQ(ReadConversionChannel(texts, channel), c.inRange) << c.duty;
        EXPECT_EQ(channel.maxDuty, c.stored) << c.duty;
        EXPECT_EQ(channel.integers, (std::array<int, 4>{16, 7, 0, -3}));
        EXPECT_TRUE(channel.autoIncrement);
    }
    ConversionChannel notANumber;
    EXPECT_FALSE(ReadConversionChannel({{}, "nan", false}, notANumber)) << "NaN is no duty either";
}

TEST(LedConversion, TheDutyReadsAndShowsWithAPointWhateverTheLocale) {
    const std::string previous = std::setlocale(LC_NUMERIC, nullptr);
    // A locale with a decimal comma, where the machine has one (the C locale elsewhere).
    std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    ConversionChannel channel;
    EXPECT_TRUE(ReadConversionChannel({{}, "12.5", false}, channel));
    EXPECT_EQ(channel.maxDuty, 12.5);
    EXPECT_EQ(ConversionChannelTextsOf(channel).maxDuty, "12.500000");
    std::setlocale(LC_NUMERIC, previous.c_str());
}
