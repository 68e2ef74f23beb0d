#include "platform/Utf16.h"
#include "tests/support/TestEnvironment.h"
#include "xml/Encoding.h"
#include "xml/XmlDoc.h"

#include <iconv.h>

#include <string>

using platform::utf16ToUtf8;
using testsupport::utf16le;
using testsupport::writeFileBytes;
using xml::ByteOrderMark;
using xml::CXmlDoc;

namespace {

std::string utf16be(const std::string& text) {
    std::string bytes = utf16le(text);
    for (std::size_t i = 0; i + 1 < bytes.size(); i += 2) std::swap(bytes[i], bytes[i + 1]);
    return bytes;
}

struct LoadCase {
    const char* what;
    std::string bytes;
    const char* text;  // UTF-8
    const char* diagnostic;
    ByteOrderMark mark;
};

}  // namespace

class LoadFileTest : public testsupport::IsolatedTest {
protected:
    std::string path = home.path("doc.xml");
};

TEST_F(LoadFileTest, DecodesMarksDeclarationsAndDetectedEncodings) {
    const LoadCase cases[] = {
        {"UTF-8 mark", "\xEF\xBB\xBF<a>\xC3\xA9</a>", "<a>\xC3\xA9</a>", "UTF-8 BOM + length 9 to 8 wide chars ",
         ByteOrderMark::Utf8},
        {"UTF-16LE mark", "\xFF\xFE" + utf16le("<a>x</a>"), "<a>x</a>", "UTF-16LE BOM + length 8 ",
         ByteOrderMark::Utf16LE},
        {"UTF-16BE mark", "\xFE\xFF" + utf16be("<a>x</a>"), "<a>x</a>", "UTF-16BE BOM + length 8 endian swap ",
         ByteOrderMark::Utf16BE},
        {"UTF-16 zero units", "\xFF\xFE" + utf16le("<a>") + std::string(2, '\0') + utf16le("</a>"), "<a></a>",
         "UTF-16LE BOM + length 8 (1 nulls removed) ", ByteOrderMark::Utf16LE},
        {"UTF-16 odd byte", "\xFF\xFE" + utf16le("<a/>") + "x", "<a/>", "UTF-16LE BOM + length 4 ",
         ByteOrderMark::Utf16LE},
        {"starts with <", "<a>x</a>", "<a>x</a>", "UTF-8 length 8 to 8 wide chars ", ByteOrderMark::None},
        {"xml declaration", "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xE9</a>",
         "<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>\xC3\xA9</a>", "ISO-8859-1 length 51 to 51 wide chars ",
         ByteOrderMark::None},
        {"declaration in any letter case", "<?XML Encoding='Windows-1252'?><a>\x80</a>",
         "<?XML Encoding='Windows-1252'?><a>\xE2\x82\xAC</a>", "Windows-1252 length 39 to 39 wide chars ",
         ByteOrderMark::None},
        {"html meta",
         "<html><head><meta http-equiv=\"content-type\" content=\"text/html; charset=koi8-r\"></head>\xC1</html>",
         "<html><head><meta http-equiv=\"content-type\" content=\"text/html; charset=koi8-r\"></head>\xD0\xB0</html>",
         "koi8-r length 95 to 95 wide chars ", ByteOrderMark::None},
        {"meta after the head", "<html><head></head><meta http-equiv='Content-Type' content='charset=koi8-r'>\xC3\xA9",
         "<html><head></head><meta http-equiv='Content-Type' content='charset=koi8-r'>\xC3\xA9",
         "UTF-8 length 78 to 77 wide chars ", ByteOrderMark::None},
        {"detected UTF-8", "x<a>\xC3\xA9</a>", "x<a>\xC3\xA9</a>",
         "UTF-8 length 10 (used UTF-8 detection) to 9 wide chars ", ByteOrderMark::None},
        {"not UTF-8", "x<a>\xE9</a>", "x<a>\xC3\xA9</a>", "ANSI length 9 (used UTF-8 detection) to 9 wide chars ",
         ByteOrderMark::None},
        {"zero bytes", std::string("<\0a\0/\0>\0", 8), "<a/>", "UTF-8 length 8 (4 nulls removed) to 4 wide chars ",
         ByteOrderMark::None},
        {"four-byte UTF-8", "<a>\xF0\x9F\x98\x80</a>", "<a>\xF0\x9F\x98\x80</a>", "UTF-8 length 11 to 9 wide chars ",
         ByteOrderMark::None},
        {"unknown name", "<?xml encoding=\"x-nonsense\"?><a>\x80</a>",
         "<?xml encoding=\"x-nonsense\"?><a>\xE2\x82\xAC</a>", "x-nonsense length 37 to 37 wide chars ",
         ByteOrderMark::None},
        {"empty file", "", "", "ANSI 0 length ", ByteOrderMark::None},
        {"mark only", "\xFF\xFE", "", "UTF-16LE BOM + 0 length ", ByteOrderMark::Utf16LE},
    };
    for (const LoadCase& c : cases) {
        writeFileBytes(path, c.bytes);
        CXmlDoc document;
        ASSERT_TRUE(document.LoadFile(path)) << c.what;
        EXPECT_EQ(utf16ToUtf8(document.Text()), c.text) << c.what;
        EXPECT_EQ(document.DiagnosticText(), c.diagnostic) << c.what;
        EXPECT_EQ(document.Mark(), c.mark) << c.what;
    }
}

TEST_F(LoadFileTest, TheParseErrorFollowsTheLoadTextAfterABlank) {
    writeFileBytes(path, "<a><b></a>");
    CXmlDoc document;
    ASSERT_TRUE(document.LoadFile(path));
    EXPECT_FALSE(document.Parse());
    EXPECT_EQ(document.DiagnosticText(),
              "UTF-8 length 10 to 10 wide chars  End tag 'a' at offset 7 does not match start tag 'b' at offset 3");
}

TEST_F(LoadFileTest, AMissingFileEmptiesTheDocumentAndItsIndex) {
    writeFileBytes(path, "<r><k>v</k></r>");
    CXmlDoc document;
    ASSERT_TRUE(document.LoadFile(path));
    ASSERT_TRUE(document.Parse());
    ASSERT_TRUE(document.FindChild(u"k"));

    EXPECT_FALSE(document.LoadFile(home.path("missing.xml")));
    EXPECT_EQ(document.DiagnosticText(), "No such file or directory");
    EXPECT_TRUE(document.Text().empty());
    // The old index must not outlive its text.
    document.Rewind();
    EXPECT_FALSE(document.FindChild(u"k"));
    EXPECT_EQ(document.ChildText(), u"");
}

TEST_F(LoadFileTest, AFolderIsNotReadable) {
    CXmlDoc document;
    EXPECT_FALSE(document.LoadFile(home.root()));
    EXPECT_EQ(document.DiagnosticText(), "Is a directory");
    EXPECT_TRUE(document.Text().empty());
}

TEST(EncodingTest, NamedRowsMapToTheirCodePagesWhateverTheLetterCase) {
    const xml::encoding::CharsetRow rows[] = {
        {"utf-8", 65001},
        {"unicode-1-1-utf-8", 65001},
        {"unicode-2-0-utf-8", 65001},
        {"x-unicode-2-0-utf-8", 65001},
        {"utf-16", 1200},
        {"unicode", 1200},
        {"unicodefffe", 1201},
        {"utf-7", 65000},
        {"us-ascii", 20127},
        {"ascii", 20127},
        {"windows-1250", 1250},
        {"windows-1254", 1254},
        {"WINDOWS-1258", 1258},
        {"iso-8859-1", 28591},
        {"ISO-8859-5", 28595},
        {"iso-8859-9", 28599},
        {"iso-8859-15", 28605},
        {"Shift_JIS", 932},
        {"gb2312", 936},
        {"gbk", 936},
        {"ks_c_5601-1987", 949},
        {"euc-kr", 949},
        {"big5", 950},
        {"koi8-r", 20866},
        {"euc-jp", 51932},
        {"no-such-set", 1252},
    };
    for (const auto& row : rows) EXPECT_EQ(xml::encoding::codePageOf(row.name), row.codePage) << row.name;
    EXPECT_EQ(xml::encoding::codePageOf("utf-8" + std::string(100, ' ')), 1252);
}

TEST(EncodingTest, EveryRowHasAConverterThatGlibcProvides) {
    for (const auto& row : xml::encoding::charsetTable()) {
        const char* name = xml::encoding::iconvNameOf(row.codePage);
        ASSERT_NE(name, nullptr) << row.name;
        iconv_t converter = iconv_open("UTF-16LE", name);
        EXPECT_NE(converter, reinterpret_cast<iconv_t>(-1)) << row.name << " -> " << name;
        if (converter != reinterpret_cast<iconv_t>(-1)) iconv_close(converter);
    }
}

TEST(EncodingTest, ConversionsFollowTheDeclaredName) {
    using xml::encoding::toUtf16;
    const std::string utf32("\x41\0\0\0\x00\xF6\x01\x00", 8);
    EXPECT_EQ(toUtf16(utf32, "UTF-32"), u"A\U0001F600");
    EXPECT_EQ(toUtf16(std::string("\0\0\0\x41", 4), "UTF-32BE"), u"A");
    // Only "UTF-32" spelt so means 4-byte units; other spellings go through the table.
    EXPECT_EQ(toUtf16(std::string("\x80\0\0\0", 4).substr(0, 1), "utf-32"), u"\u20AC");
    EXPECT_EQ(toUtf16("\x82\xA0", "shift_jis"), u"\u3042");
    EXPECT_EQ(toUtf16("\xA4\x40", "big5"), u"\u4E00");
    EXPECT_EQ(toUtf16("a\xFF"
                      "b",
                      "utf-8"),
              u"a\uFFFDb");
    EXPECT_EQ(toUtf16("+AGEAYgBj-", "utf-7"), u"abc");
}

TEST(EncodingTest, Utf8DetectionLooksOnlyAtLengthBitsAndContinuationTopBits) {
    using xml::encoding::looksLikeUtf8;
    EXPECT_TRUE(looksLikeUtf8("plain"));
    EXPECT_TRUE(looksLikeUtf8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80"));
    EXPECT_TRUE(looksLikeUtf8("\x80\x80"));      // bit 6 is not looked at
    EXPECT_TRUE(looksLikeUtf8("\xE0\xC0\xC0"));  // continuation bytes need only their top bit
    EXPECT_FALSE(looksLikeUtf8("\xF8\x80\x80\x80\x80"));
    EXPECT_FALSE(looksLikeUtf8("\xC3"));
    EXPECT_FALSE(
        looksLikeUtf8("\xE2\x82"
                      "a"));
}
