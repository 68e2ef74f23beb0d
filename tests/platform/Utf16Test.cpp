#include "platform/Utf16.h"

#include <gtest/gtest.h>

TEST(Utf16, ConvertsBothWaysIncludingSurrogatePairs) {
    const struct {
        std::string utf8;
        std::u16string utf16;
    } cases[] = {
        {"", u""},
        {"Profile=1", u"Profile=1"},
        {"caf\xC3\xA9", u"caf\u00E9"},
        {"\xE2\x82\xAC", u"\u20AC"},
        {"\xF0\x9F\x92\xA1", u"\U0001F4A1"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(platform::utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(platform::utf16ToUtf8(c.utf16), c.utf8) << c.utf8;
    }
}

TEST(Utf16, InvalidInputBecomesReplacementCharacters) {
    EXPECT_EQ(platform::utf8ToUtf16("a\xFF"
                                    "b"),
              u"a\uFFFDb");
    EXPECT_EQ(platform::utf8ToUtf16("\xC3"), u"\uFFFD");                      // cut sequence
    EXPECT_EQ(platform::utf8ToUtf16("\xC0\x80"), u"\uFFFD\uFFFD");            // overlong
    EXPECT_EQ(platform::utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
    EXPECT_EQ(platform::utf16ToUtf8(std::u16string(1, u'\xD800')), "\xEF\xBF\xBD");
}

TEST(Utf16, LittleEndianBytes) {
    EXPECT_EQ(platform::utf16ToLittleEndianBytes(u"A\u20AC"), std::string("A\0\xAC\x20", 4));
    EXPECT_EQ(platform::littleEndianBytesToUtf16(std::string("A\0\xAC\x20\x01", 5)), u"A\u20AC");
}
