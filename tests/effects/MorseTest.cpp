#include "effects/Morse.h"

#include <gtest/gtest.h>

using namespace effects;

TEST(Morse, SosPacksLowestBitsFirstWithOneGapAfterEachLetterAndAnEndSymbol) {
    MorsePacked packed;
    packed.fill(0xEE);
    const MorseEncoding encoding = EncodeMorse(u"SOS", &packed);
    EXPECT_TRUE(encoding.complete);
    EXPECT_EQ(encoding.outputText, "... --- ... ");
    MorsePacked expected{};
    expected[0] = 0x15;
    expected[1] = 0x2A;
    expected[2] = 0x15;
    expected[3] = 0x03;
    EXPECT_EQ(packed, expected);
}

TEST(Morse, OutputTextOfLowerCaseWordsUnknownCharactersAndSigns) {
    const struct {
        std::u16string text;
        std::string output;
    } cases[] = {
        {u"a b", ".-   -... "},  {u"", ""}, {u"\u00E9E", "#. "}, {u"!_$&@", "-.-.-- ..--.- ...-..- .-... .--.-. "},
        {u"09", "----- ----. "},
    };
    for (const auto& c : cases) EXPECT_EQ(EncodeMorse(c.text, nullptr).outputText, c.output);
    EXPECT_TRUE(IsMorseEncodable(u"Hello, World?"));
    EXPECT_FALSE(IsMorseEncodable(u"50%"));
}

TEST(Morse, ATextReachingTheSymbolLimitIsCutAfterTheCharacterThatReachedIt) {
    // "0" is five dashes and a gap: six symbols. The 77th character reaches 462.
    const std::u16string zeros(100, u'0');
    MorsePacked packed{};
    const MorseEncoding encoding = EncodeMorse(zeros, &packed);
    EXPECT_FALSE(encoding.complete);
    EXPECT_EQ(encoding.outputText.size(), 77u * 6);
    EXPECT_EQ(packed[115], 0x02 | 0x03 << 4);  // 460: the last dash, 461: its gap, 462: the end
    EXPECT_EQ(DecodeMorse(packed), std::u16string(77, u'0'));
    // 76 characters stay below the limit.
    EXPECT_TRUE(EncodeMorse(std::u16string(76, u'0'), nullptr).complete);
}

TEST(Morse, DecodingGivesBackWhatWasEncoded) {
    for (const std::u16string text : {u"SOS", u"HELLO WORLD", u"A B  C", u"E", u"T", u"5", u"(1+1)=2?", u"@HOME/!"}) {
        MorsePacked packed{};
        EncodeMorse(text, &packed);
        EXPECT_EQ(DecodeMorse(packed), text);
    }
    MorsePacked lower{};
    EncodeMorse(u"sos", &lower);
    EXPECT_EQ(DecodeMorse(lower), u"SOS");
}

TEST(Morse, DecodingEmptyOrDamagedBlocks) {
    EXPECT_EQ(DecodeMorse(MorsePacked{}), u"");
    MorsePacked allDashes;
    allDashes.fill(0xAA);  // dashes without a gap match no character
    EXPECT_EQ(DecodeMorse(allDashes), u"");
    MorsePacked unterminated{};
    EncodeMorse(u"HI", &unterminated);
    ASSERT_EQ(unterminated[2], 0x03);
    unterminated[2] = 0;  // drop the end symbol
    EXPECT_EQ(DecodeMorse(unterminated), u"HI");
}
