#include "platform/DebugLog.h"
#include "platform/Utf16.h"
#include "skin/SkinDocuments.h"
#include "tests/support/TestEnvironment.h"

#include <filesystem>
#include <string>

using skin::GetSkinAttribute;
using skin::GetSkinText;
using skin::SkinDocument;
using testsupport::writeFileBytes;

namespace {

xml::CXmlDoc parsed(const std::string& text) {
    xml::CXmlDoc document;
    document.SetText(platform::utf8ToUtf16(text));
    document.Parse();
    return document;
}

struct LookUpCase {
    const char* section;
    const char* key;
    const char* expected;
};

}  // namespace

TEST(SkinLookUpTest, KeysAreFoundInTheFirstSectionOrInSectionsOfTheSameNameNestedInIt) {
    xml::CXmlDoc document = parsed(
        "<SKIN>"
        "<MAIN><A>main-a</A><MAIN><A>shadowed</A><B>nested-b</B><MAIN><C>deeper-c</C></MAIN></MAIN></MAIN>"
        "<MAIN><D>second-d</D></MAIN>"
        "<OTHER><X><E>in-x</E></X><OTHER2><E>in-other2</E></OTHER2></OTHER>"
        "</SKIN>");
    const LookUpCase cases[] = {
        {"MAIN", "A", "main-a"}, {"MAIN", "B", "nested-b"}, {"MAIN", "C", "deeper-c"},
        {"MAIN", "D", ""},       {"OTHER", "E", ""},        {"OTHER2", "E", ""},
        {"NONE", "A", ""},       {"MAIN", "NONE", ""},      {"MAIN", "MAIN", ""},
    };
    for (const LookUpCase& c : cases) {
        EXPECT_EQ(GetSkinText(document, c.section, c.key), c.expected) << c.section << "/" << c.key;
    }
}

TEST(SkinLookUpTest, AttributesFollowTheSameLookUp) {
    xml::CXmlDoc document = parsed(
        "<B><LED><MAIN/><LED><STR_HUE FONT=\"Noto Sans\" SIZE=14 COLOR='16777215'>STR_HUE,1,2,3,4,,FALSE</STR_HUE>"
        "</LED></LED></B>");
    EXPECT_EQ(GetSkinAttribute(document, "LED", "STR_HUE", "FONT"), "Noto Sans");
    EXPECT_EQ(GetSkinAttribute(document, "LED", "STR_HUE", "SIZE"), "14");
    EXPECT_EQ(GetSkinAttribute(document, "LED", "STR_HUE", "WEIGHT"), "");
    EXPECT_EQ(GetSkinAttribute(document, "LED", "NONE", "FONT"), "");
}

TEST(SkinLookUpTest, TextStylesCarryAFontOnlyWithFaceAndSize) {
    xml::CXmlDoc document = parsed(
        "<B><S>"
        "<FULL FONT=\"Roboto\" SIZE=\"18\" WEIGHT=\"700\" COLOR=\"255\">FULL,10,20,100,30,,FALSE</FULL>"
        "<PLAIN FONT=\"Roboto\" SIZE=\"18\">PLAIN,0,0,1,1,,FALSE</PLAIN>"
        "<FACE FONT=\"Roboto\">FACE,0,0,1,1,,FALSE</FACE>"
        "<WHITE COLOR=\"16777215\">WHITE,5,6,7,8,,FALSE</WHITE>"
        "</S></B>");
    const skin::SkinTextStyle full = skin::GetSkinTextStyle(document, "S", "FULL");
    EXPECT_EQ(full.record, (skin::SkinRecord{10, 20, 110, 50, "", 0}));
    ASSERT_TRUE(full.font.has_value());
    EXPECT_EQ(full.font->face, "Roboto");
    EXPECT_EQ(full.font->height, 18);
    EXPECT_EQ(full.font->weight, 700);
    EXPECT_EQ(full.color, 255u);

    const skin::SkinTextStyle plain = skin::GetSkinTextStyle(document, "S", "PLAIN");
    ASSERT_TRUE(plain.font.has_value());
    EXPECT_EQ(plain.font->weight, 400);
    EXPECT_FALSE(plain.color.has_value());

    EXPECT_FALSE(skin::GetSkinTextStyle(document, "S", "FACE").font.has_value());
    const skin::SkinTextStyle white = skin::GetSkinTextStyle(document, "S", "WHITE");
    EXPECT_FALSE(white.font.has_value());
    EXPECT_EQ(white.color, 16777215u);
    EXPECT_EQ(white.record.right, 12);

    const skin::SkinTextStyle missing = skin::GetSkinTextStyle(document, "S", "MISSING");
    EXPECT_EQ(missing.record, skin::SkinRecord{});
    EXPECT_FALSE(missing.font.has_value());
    EXPECT_FALSE(missing.color.has_value());
}

class SkinDocumentsTest : public testsupport::IsolatedTest {
protected:
    std::string folder = home.path("program/");

    void SetUp() override {
        std::filesystem::create_directories(folder + "Skins/1920x1080");
        writeFileBytes(folder + "Skins.xml", "<SKIN><INFO><SW_VERSION>1.2.3</SW_VERSION></INFO></SKIN>");
        // Strings.xml as the Windows tools write it: UTF-16LE with its mark.
        writeFileBytes(folder + "Strings.xml",
                       "\xFF\xFE" + testsupport::utf16le("<S><GLOBAL><FONT>Noto Sans</FONT></GLOBAL></S>"));
    }
    void TearDown() override { platform::enableDebugLog(false); }
};

TEST_F(SkinDocumentsTest, AMissingButtonsFileLeavesItsDocumentEmptyAndTheOthersLoaded) {
    writeFileBytes(folder + "Skins/1366x768/Buttons.xml", "<B><MAIN><BUTTON_MIN>x</BUTTON_MIN></MAIN></B>");
    skin::LoadSkinDocuments(folder, "1920x1080/");
    EXPECT_EQ(GetSkinText(skin::skinDocument(SkinDocument::Skins), "INFO", "SW_VERSION"), "1.2.3");
    EXPECT_EQ(GetSkinText(skin::skinDocument(SkinDocument::Strings), "GLOBAL", "FONT"), "Noto Sans");
    EXPECT_TRUE(skin::skinDocument(SkinDocument::Buttons).Text().empty());
    EXPECT_EQ(GetSkinText(skin::skinDocument(SkinDocument::Buttons), "MAIN", "BUTTON_MIN"), "");
}

TEST_F(SkinDocumentsTest, ButtonsComeFromTheResolutionFolder) {
    writeFileBytes(folder + "Skins/1920x1080/Buttons.xml", "<B><MAIN><BUTTON_MIN>big</BUTTON_MIN></MAIN></B>");
    EXPECT_EQ(skin::skinDocumentPath(SkinDocument::Buttons, folder, "1920x1080/"),
              folder + "Skins/1920x1080/Buttons.xml");
    skin::LoadSkinDocuments(folder, "1920x1080/");
    EXPECT_EQ(GetSkinText(skin::skinDocument(SkinDocument::Buttons), "MAIN", "BUTTON_MIN"), "big");
}

TEST_F(SkinDocumentsTest, TheDebugLogRecordsWhichDocumentsHoldText) {
    platform::enableDebugLog(true);
    skin::LoadSkinDocuments(folder, "1920x1080/");
    const std::string log = platform::utf16ToUtf8(
        platform::littleEndianBytesToUtf16(testsupport::readFileBytes(platform::debugLogPath()).substr(2)));
    EXPECT_NE(log.find("APP Load Info: Size=1920x1080/ Skin=1 Str=1 Btn=0\r\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Exe Path: " + folder + "\r\n"), std::string::npos) << log;
}

TEST_F(SkinDocumentsTest, TheSoftwareVersionIsReadFromAFreshLoad) {
    skin::LoadSkinDocuments(folder, "1920x1080/");
    writeFileBytes(folder + "Skins.xml", "<SKIN><INFO><SW_VERSION>2.0.0</SW_VERSION></INFO></SKIN>");
    EXPECT_EQ(skin::GetSoftwareVersion(folder), "2.0.0");
    EXPECT_EQ(GetSkinText(skin::skinDocument(SkinDocument::Skins), "INFO", "SW_VERSION"), "1.2.3");
    std::filesystem::remove(folder + "Skins.xml");
    EXPECT_EQ(skin::GetSoftwareVersion(folder), "");
}
