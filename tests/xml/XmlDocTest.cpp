#include "platform/Utf16.h"
#include "tests/support/TestEnvironment.h"
#include "xml/XmlDoc.h"

#include <initializer_list>
#include <string>

using platform::utf16ToUtf8;
using platform::utf8ToUtf16;
using xml::CXmlDoc;
using xml::ElementRecord;

namespace {

CXmlDoc parsed(const std::string& text, bool* wellFormed = nullptr) {
    CXmlDoc document;
    document.SetText(utf8ToUtf16(text));
    const bool result = document.Parse();
    if (wellFormed) *wellFormed = result;
    return document;
}

// Walks root / name / name ... with the cursor the skin look-ups use and
// leaves the last one as the child; false when a step is missing.
bool walk(CXmlDoc& document, std::initializer_list<const char*> path) {
    document.Rewind();
    bool first = true;
    for (const char* name : path) {
        if (!first && !document.EnterElement()) return false;
        first = false;
        if (!document.FindChild(utf8ToUtf16(name))) return false;
    }
    return true;
}

std::string textAt(CXmlDoc& document, std::initializer_list<const char*> path) {
    return walk(document, path) ? utf16ToUtf8(document.ChildText()) : "<missing>";
}

// Every parent's children form a list whose first member's back link names
// the last one, each child names its parent, and nothing is linked twice.
void expectConsistentIndex(const CXmlDoc& document) {
    std::uint64_t linked = 0;
    for (std::uint32_t parent = 0; parent < document.RecordCount(); ++parent) {
        const ElementRecord& record = document.Record(parent);
        std::uint32_t last = 0;
        for (std::uint32_t child = record.firstChild; child != 0; child = document.Record(child).nextSibling) {
            ASSERT_LT(child, document.RecordCount());
            ASSERT_EQ(document.Record(child).parent, parent);
            if (last != 0) {
                ASSERT_EQ(document.Record(child).previousSibling, last);
            }
            last = child;
            ++linked;
            ASSERT_LE(linked, document.RecordCount());
        }
        if (record.firstChild != 0) {
            ASSERT_EQ(document.Record(record.firstChild).previousSibling, last);
        }
    }
    EXPECT_EQ(linked + 1, document.RecordCount());
}

}  // namespace

TEST(XmlDocTest, AFreshDocumentIsEmptyAndEveryLookUpFails) {
    CXmlDoc document;
    EXPECT_EQ(document.RecordCount(), 1u);
    EXPECT_FALSE(document.FindChild(u"a"));
    EXPECT_FALSE(document.EnterElement());
    EXPECT_EQ(document.ChildText(), u"");
    EXPECT_EQ(document.ChildAttribute(u"a"), u"");
}

struct TextCase {
    const char* document;
    const char* expected;
};

TEST(XmlDocTest, ElementTextFollowsTheContentRules) {
    const TextCase cases[] = {
        {"<r><a>x<!-- c -->y</a></r>", "xy"},
        {"<r><a> <b/> </a></r>", ""},
        {"<r><a>  x  </a></r>", "  x  "},
        {"<r><a>1 &lt; 2 &amp;&#65;&#x41;</a></r>", "1 < 2 &AA"},
        {"<r><a>1<![CDATA[<b>&amp;]]>2</a></r>", "1<b>&amp;2"},
        {"<r><a>x<?pi?> <!--c--> y</a></r>", "x y"},
        {"<r><a>&lt;<!--c-->&gt;</a></r>", "<>"},
        {"<r><a/></r>", ""},
        {"<r><a></a></r>", ""},
        {"<r><a k=\"1\" >v</a ></r>", "v"},
        {"<r><a>line\r\nnext</a></r>", "line\r\nnext"},
        {"<r><a>caf\xC3\xA9 \xE2\x82\xAC</a></r>", "caf\xC3\xA9 \xE2\x82\xAC"},
    };
    for (const TextCase& c : cases) {
        CXmlDoc document = parsed(c.document);
        EXPECT_EQ(textAt(document, {"a"}), c.expected) << c.document;
    }
}

struct AttributeCase {
    const char* tag;
    const char16_t* name;
    const char* expected;
};

TEST(XmlDocTest, AttributesAreScannedQuotedOrUnquotedAndDecoded) {
    const AttributeCase cases[] = {
        {"<a k=21 c=\"x>y\">", u"k", "21"},
        {"<a k=21 c=\"x>y\">", u"c", "x>y"},
        {"<a k='v\"w'>", u"k", "v\"w"},
        {"<a k = \"v\" >", u"k", "v"},
        {"<a kk=\"1\" k=\"2\">", u"k", "2"},
        {"<a k=\"1\" k=\"2\">", u"k", "1"},
        {"<a K=\"1\">", u"k", ""},
        {"<a k>", u"k", ""},
        {"<a>", u"k", ""},
        {"<a k=\"&lt;&#x263A;&bogus;\">", u"k", "<\xE2\x98\xBA&bogus;"},
        {"<a\tk=\"tab\"\r\nm=v>", u"m", "v"},
        {"<a k=1/>", u"k", "1/"},
        {"<a FONT=\"Noto Sans\" SIZE=14/>", u"SIZE", "14/"},
    };
    for (const AttributeCase& c : cases) {
        CXmlDoc document = parsed(std::string("<r>") + c.tag + "</r>");
        ASSERT_TRUE(walk(document, {"a"})) << c.tag;
        EXPECT_EQ(utf16ToUtf8(document.ChildAttribute(c.name)), c.expected) << c.tag;
    }
}

TEST(XmlDocTest, CharacterReferencesDecodeOnlyWhenValid) {
    const TextCase cases[] = {
        {"&amp;", "&"},
        {"&lt;&gt;&quot;&apos;", "<>\"'"},
        {"&#65;&#x41;&#X41;", "AAA"},
        {"&Eacute;&eacute;", "\xC3\x89\xC3\xA9"},
        {"&thetasym;&euro;&nbsp;", "\xCF\x91\xE2\x82\xAC\xC2\xA0"},
        {"&#x1F600;", "\xF0\x9F\x98\x80"},
        {"&bogus;", "&bogus;"},
        {"&AMP;", "&AMP;"},
        {"&#0;", "&#0;"},
        {"&#x110000;", "&#x110000;"},
        {"&#12a;", "&#12a;"},
        {"&#;&#x;", "&#;&#x;"},
        {"&#1234567890;", "&#1234567890;"},
        {"a & b", "a & b"},
        {"&amp", "&amp"},
        {"&&amp;", "&&"},
        {"&\xC3\xA9;", "&\xC3\xA9;"},
        {"&", "&"},
    };
    for (const TextCase& c : cases) {
        CXmlDoc document = parsed(std::string("<r><a>") + c.document + "</a></r>");
        EXPECT_EQ(textAt(document, {"a"}), c.expected) << c.document;
    }
}

TEST(XmlDocTest, NamesMatchByTheirLeadingPartUpToADelimiterOfTheWantedName) {
    CXmlDoc document = parsed("<r><a>plain</a><ab>longer</ab><A>upper</A></r>");
    EXPECT_EQ(textAt(document, {"a"}), "plain");
    EXPECT_EQ(textAt(document, {"a[1]"}), "plain");
    EXPECT_EQ(textAt(document, {"a b"}), "plain");
    EXPECT_EQ(textAt(document, {"a=x"}), "plain");
    EXPECT_EQ(textAt(document, {"ab"}), "longer");
    EXPECT_EQ(textAt(document, {"A"}), "upper");
    EXPECT_EQ(textAt(document, {"a-"}), "<missing>");
    EXPECT_EQ(textAt(document, {"abc"}), "<missing>");
}

struct DiagnosticCase {
    const char* document;
    bool wellFormed;
    const char* diagnostic;
};

TEST(XmlDocTest, ParseReportsTheFirstErrorExactly) {
    const DiagnosticCase cases[] = {
        {"<a/>", true, ""},
        {"<_a><:b/><\xC3\xA9/><{/></_a>", true, ""},
        {"\xEF\xBB\xBF<?xml version=\"1.0\"?><!DOCTYPE a [<!ENTITY x '>'><!-- > --><?p >?>]><a/>", true, ""},
        {"", false, "Empty document"},
        {"  \r\n", false, "No root element"},
        {"<!-- only -->", false, "No root element"},
        {"<a/><b/>", false, "Root element has sibling"},
        {"<a></b></a>", false, "No start tag for end tag 'b' at offset 3"},
        {"<a><b></a>", false, "End tag 'a' at offset 7 does not match start tag 'b' at offset 3"},
        {"<a><b><c></a>", false, "End tag 'a' at offset 10 does not match start tag 'c' at offset 6"},
        {"<a>x", false, "Element 'a' at offset 0 not ended"},
        {"<a><b>", false, "Root element has sibling"},
        {"<a>< b</a>", false, "Incorrect tag name character at offset 3"},
        {"<a><1/></a>", false, "Incorrect tag name character at offset 3"},
        {"<a><!x></a>", false, "Incorrect ! tag at offset 3"},
        {"<a><!-x></a>", false, "Incorrect comment tag at offset 3"},
        {"<a><![x></a>", false, "Incorrect tag at offset 3"},
        {"<a></b><c></a>", false, "No start tag for end tag 'b' at offset 3"},
        {"<a><!-- x", false, "Comment at offset 3 unterminated"},
        {"<a><![CDATA[x]]", false, "CDATA Section at offset 3 unterminated"},
        {"<a><?pi ?", false, "Processing instruction at offset 3 unterminated"},
        {"<a></a", false, "Element end tag at offset 3 unterminated"},
        {"<a><b x='>'", false, "Element tag at offset 3 unterminated"},
        {"<!DOCTYPE a [<!-- ]> --", false, "Doctype at offset 0 unterminated"},
        {"<a><!ELEMENT b '>'", false, "Doctype at offset 3 unterminated"},
        {"<a><", false, "tag at offset 3 unterminated"},
        {"<a><!", false, "tag at offset 3 unterminated"},
    };
    for (const DiagnosticCase& c : cases) {
        bool wellFormed = !c.wellFormed;
        CXmlDoc document = parsed(c.document, &wellFormed);
        EXPECT_EQ(wellFormed, c.wellFormed) << c.document;
        EXPECT_EQ(document.DiagnosticText(), c.diagnostic) << c.document;
        EXPECT_EQ((document.Record(0).flags & ElementRecord::IllFormed) != 0, !c.wellFormed) << c.document;
    }
}

TEST(XmlDocTest, AnEndTagForAnOuterElementClosesTheInnerOnesAndMovesTheirChildrenUp) {
    bool wellFormed = true;
    CXmlDoc document = parsed("<r><a id=1><b id=2><c id=\"3\"/><d id=4>t</d></r>", &wellFormed);
    EXPECT_FALSE(wellFormed);
    expectConsistentIndex(document);

    ASSERT_TRUE(walk(document, {"a"}));
    std::string order;
    document.Rewind();
    ASSERT_TRUE(document.FindChild(u"a"));
    order += utf16ToUtf8(document.ChildAttribute(u"id"));
    while (document.FindChild()) order += utf16ToUtf8(document.ChildAttribute(u"id"));
    EXPECT_EQ(order, "1234");

    // a and b keep only their start tags; c and d are whole again under r.
    for (const char* name : {"a", "b"}) {
        ASSERT_TRUE(walk(document, {name}));
        EXPECT_EQ(document.ChildText(), u"") << name;
        document.EnterElement();
        EXPECT_FALSE(document.FindChild()) << name << " kept a child";
    }
    EXPECT_EQ(textAt(document, {"d"}), "t");
    for (std::uint32_t i = 1; i < document.RecordCount(); ++i) {
        const ElementRecord& record = document.Record(i);
        const bool closedImplicitly = record.start == 3 || record.start == 11;
        EXPECT_EQ((record.flags & ElementRecord::NotEnded) != 0, closedImplicitly) << "record at " << record.start;
        if (closedImplicitly) {
            EXPECT_EQ(record.length, record.startTagLength);
        }
    }
}

TEST(XmlDocTest, MismatchedEndTagsStillLeaveBothElementsFindable) {
    bool wellFormed = true;
    CXmlDoc document = parsed("<a><b></a>", &wellFormed);
    EXPECT_FALSE(wellFormed);
    document.Rewind();
    ASSERT_TRUE(document.FindElement(u"a"));
    ASSERT_TRUE(document.FindChild(u"b"));
    EXPECT_EQ(document.ChildText(), u"");
    EXPECT_EQ(document.Record(0).firstChild, 1u);
    EXPECT_EQ(document.Record(1).length, 10u);
    EXPECT_EQ(document.Record(1).endTagLength, 4u);
}

TEST(XmlDocTest, AnElementLeftOpenAtTheEndLosesItsChildrenToTheTopLevel) {
    CXmlDoc document = parsed("<r><a>x</a>");
    expectConsistentIndex(document);
    document.Rewind();
    EXPECT_FALSE(document.FindChild(u"a"));  // the look-ups search under r, now empty
    document.Rewind();
    ASSERT_TRUE(document.FindElement(u"a"));
}

TEST(XmlDocTest, TwoTopLevelElementsAreSearchedUnderTheFirst) {
    CXmlDoc document = parsed("<a><k>1</k></a><b><k>2</k></b>");
    EXPECT_EQ(textAt(document, {"k"}), "1");
    document.Rewind();
    ASSERT_TRUE(document.FindElement(u"b"));
    ASSERT_TRUE(document.FindChild(u"k"));
    EXPECT_EQ(document.ChildText(), u"2");
}

TEST(XmlDocTest, CursorSearchesContinueAfterTheCurrentPosition) {
    CXmlDoc document = parsed("<r><s><k>1</k><k>2</k></s><s><k>3</k></s></r>");
    document.Rewind();
    ASSERT_TRUE(document.FindChild(u"s"));
    ASSERT_TRUE(document.EnterElement());
    ASSERT_TRUE(document.FindChild(u"k"));
    EXPECT_EQ(document.ChildText(), u"1");
    ASSERT_TRUE(document.FindChild(u"k"));
    EXPECT_EQ(document.ChildText(), u"2");
    EXPECT_FALSE(document.FindChild(u"k"));
    // The next section at the same level, then its key.
    ASSERT_TRUE(document.FindElement(u"s"));
    ASSERT_TRUE(document.FindChild(u"k"));
    EXPECT_EQ(document.ChildText(), u"3");
    EXPECT_FALSE(document.FindElement(u"s"));
}

TEST(XmlDocTest, EmptyElementMarkerIsASlashOutsideAnUnquotedValue) {
    const TextCase cases[] = {
        {"<r><a/><b>x</b></r>", "x"},   {"<r><a k=\"v\"/><b>x</b></r>", "x"}, {"<r><a k='v' /><b>x</b></r>", "x"},
        {"<r><a k/><b>x</b></r>", "x"}, {"<r><a k=1/><b>x</b></a></r>", ""},  // the '/' belongs to the value: b is a's
                                                                              // child
    };
    for (const TextCase& c : cases) {
        CXmlDoc document = parsed(c.document);
        EXPECT_EQ(textAt(document, {"b"}), c.expected[0] ? c.expected : "<missing>") << c.document;
    }
}

TEST(XmlDocTest, ALeadingByteOrderMarkCharacterChangesNothingInTheIndex) {
    bool wellFormed = false;
    CXmlDoc document = parsed("\xEF\xBB\xBF<r><k>v</k></r>", &wellFormed);
    EXPECT_TRUE(wellFormed);
    EXPECT_EQ(document.Text()[0], u'\xFEFF');
    EXPECT_EQ(textAt(document, {"k"}), "v");
}

TEST(XmlDocTest, DeepNestingNeitherOverflowsTheStackNorTakesQuadraticTime) {
    constexpr int kDepth = 100000;
    std::string open;
    std::string close;
    for (int i = 0; i < kDepth; ++i) open += "<a>";
    for (int i = 0; i < kDepth; ++i) close += "</a>";

    bool wellFormed = false;
    CXmlDoc nested = parsed(open + "x" + close, &wellFormed);
    EXPECT_TRUE(wellFormed);
    EXPECT_EQ(nested.RecordCount(), static_cast<std::uint32_t>(kDepth + 1));
    EXPECT_EQ(nested.Record(kDepth).depth, static_cast<std::uint32_t>(kDepth - 1));

    // Never closed: every element ends up at the top level.
    CXmlDoc unclosed = parsed(open, &wellFormed);
    EXPECT_FALSE(wellFormed);
    expectConsistentIndex(unclosed);
    EXPECT_EQ(unclosed.DiagnosticText(), "Root element has sibling");
    std::uint32_t topLevel = 0;
    for (std::uint32_t at = unclosed.Record(0).firstChild; at != 0; at = unclosed.Record(at).nextSibling) ++topLevel;
    EXPECT_EQ(topLevel, static_cast<std::uint32_t>(kDepth));

    // End tags that match nothing while deep: each is checked without a walk
    // down the whole stack.
    std::string stray;
    for (int i = 0; i < kDepth; ++i) stray += "</b[c]>";
    CXmlDoc mismatched = parsed("<r>" + open + stray + close + "</r>", &wellFormed);
    EXPECT_FALSE(wellFormed);
    EXPECT_EQ(mismatched.DiagnosticText(),
              "No start tag for end tag 'b[c]' at offset " + std::to_string(3 + 3 * kDepth));
    expectConsistentIndex(mismatched);
}

TEST(XmlDocTest, EndTagNamesWithBracketsCloseTheElementTheirLeadingPartNames) {
    bool wellFormed = false;
    CXmlDoc document = parsed("<r><a><b>t</a[2]></r>", &wellFormed);
    EXPECT_FALSE(wellFormed);
    EXPECT_EQ(document.DiagnosticText(), "End tag 'a[2]' at offset 11 does not match start tag 'b' at offset 6");
    expectConsistentIndex(document);
    EXPECT_EQ(textAt(document, {"a", "b"}), "");  // b was closed implicitly and keeps only its start tag
}
