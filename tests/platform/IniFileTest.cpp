#include "platform/IniFile.h"
#include "tests/support/TestEnvironment.h"

#include <array>
#include <filesystem>

using platform::CIniFile;
using testsupport::readFileBytes;
using testsupport::utf16le;
using testsupport::writeFileBytes;

namespace {
const std::string kMark = "\xFF\xFE";
}

class IniFileTest : public testsupport::IsolatedTest {
protected:
    std::string path = home.path("config.ini");
    CIniFile ini{path};

    void writeWindowsFile(const std::string& text) { writeFileBytes(path, kMark + utf16le(text)); }
    std::string fileAsText() const {
        const std::string bytes = readFileBytes(path);
        EXPECT_EQ(bytes.substr(0, 2), kMark);
        return bytes.size() < 2 ? std::string() : bytes;
    }
};

TEST_F(IniFileTest, AFirstWriteCreatesAUtf16FileWithTheMark) {
    ASSERT_TRUE(ini.writeInt("Setting", "Profile", 1));
    EXPECT_EQ(readFileBytes(path), kMark + utf16le("[Setting]\r\nProfile=1\r\n"));
    EXPECT_EQ(ini.readInt("Setting", "Profile", 0), 1);
}

TEST_F(IniFileTest, EnsureLeavesAnExistingFileUntouched) {
    writeFileBytes(path, "anything");
    EXPECT_TRUE(ini.ensureUtf16File());
    EXPECT_EQ(readFileBytes(path), "anything");
}

TEST_F(IniFileTest, ReadsAWindowsWrittenFileWithoutRegardToLetterCase) {
    writeWindowsFile("[Setting]\r\nProfile=7\r\n");
    EXPECT_EQ(ini.readInt("Setting", "Profile", 0), 7);
    EXPECT_EQ(ini.readInt("SETTING", "profile", 0), 7);
    EXPECT_EQ(ini.readString("setting", "PROFILE", ""), "7");
}

TEST_F(IniFileTest, ASectionIsThereWithItsHeaderLineEvenWhenEmpty) {
    EXPECT_FALSE(ini.hasSection("EFFECT")) << "no file";
    writeWindowsFile("[NAME]\r\nPROFILE_NAME=x\r\n  [effect] \r\n; [SETTING]\r\nkey=[SYNC]\r\n");
    EXPECT_TRUE(ini.hasSection("NAME"));
    EXPECT_TRUE(ini.hasSection("EFFECT"));
    EXPECT_FALSE(ini.hasSection("SETTING"));
    EXPECT_FALSE(ini.hasSection("SYNC"));
    EXPECT_FALSE(ini.hasSection("NAM"));
}

TEST_F(IniFileTest, ReadStringTrimsValuesStripsOneQuotePairAndFallsBackToTheDefault) {
    writeWindowsFile(
        "Orphan=before any section\r\n"
        "[ Names ]\r\n"
        "  Plain =  padded value \t\r\n"
        "Quoted=\"  keeps inner blanks  \"\r\n"
        "Single='x'\r\n"
        "Mismatched=\"x'\r\n"
        "Empty=\r\n"
        "NoEquals\r\n"
        "Dup=first\r\n"
        "Dup=second\r\n"
        "Unicode=Grafikkarte \xC3\x84\xE2\x82\xAC\r\n"
        "[Other]\r\n"
        "Only=here\r\n"
        "[names]\r\n"
        "Later=ignored, the first section of a name counts\r\n");
    const struct {
        const char* section;
        const char* key;
        const char* fallback;
        const char* expected;
    } cases[] = {
        {"Names", "Plain", "d", "padded value"},
        {"Names", "Quoted", "d", "  keeps inner blanks  "},
        {"Names", "Single", "d", "x"},
        {"Names", "Mismatched", "d", "\"x'"},
        {"Names", "Empty", "d", ""},
        {"Names", "NoEquals", "d", ""},
        {"Names", "Dup", "d", "first"},
        {"Names", "Unicode", "d", "Grafikkarte \xC3\x84\xE2\x82\xAC"},
        {"Names", "Only", "fallback  ", "fallback"},
        {"Names", "Later", "d", "d"},
        {"Names", "Orphan", "d", "d"},
        {"Missing", "Plain", "", ""},
        {"Other", "Only", "d", "here"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(ini.readString(c.section, c.key, c.fallback), c.expected) << c.section << "/" << c.key;
}

TEST_F(IniFileTest, ReadIntTakesTheLeadingNumberAndTheDefaultOnlyForEmptyOrMissing) {
    writeWindowsFile("[S]\r\nA=\r\nB= 12 \r\nC=0x1F\r\nD=-3\r\nE=abc\r\nF=12abc\r\nG=4294967295\r\n");
    const struct {
        const char* key;
        int expected;
    } cases[] = {{"A", 99}, {"B", 12}, {"C", 31}, {"D", -3}, {"E", 0}, {"F", 12}, {"G", -1}, {"Missing", 99}};
    for (const auto& c : cases) EXPECT_EQ(ini.readInt("S", c.key, 99), c.expected) << c.key;
}

TEST_F(IniFileTest, WritesReplaceInPlaceAppendToTheSectionOrAddASectionAndKeepEveryOtherByte) {
    writeWindowsFile("; written on Windows\r\n[Setting]\r\nProfile = 0\r\nOther=x\r\n\r\n[Second]\r\nKey=v\r\n");
    ASSERT_TRUE(ini.writeString("setting", "PROFILE", "1"));
    EXPECT_EQ(fileAsText(),
              kMark +
                  utf16le("; written on Windows\r\n[Setting]\r\nProfile=1\r\nOther=x\r\n\r\n[Second]\r\nKey=v\r\n"));
    ASSERT_TRUE(ini.writeString("Setting", "New", "z"));
    EXPECT_EQ(fileAsText(), kMark + utf16le("; written on Windows\r\n[Setting]\r\nProfile=1\r\nOther=x\r\nNew=z\r\n"
                                            "\r\n[Second]\r\nKey=v\r\n"));
    ASSERT_TRUE(ini.writeString("Third", "K", "1"));
    EXPECT_EQ(fileAsText(), kMark + utf16le("; written on Windows\r\n[Setting]\r\nProfile=1\r\nOther=x\r\nNew=z\r\n"
                                            "\r\n[Second]\r\nKey=v\r\n[Third]\r\nK=1\r\n"));
}

TEST_F(IniFileTest, WritesIntoAFileWithoutAFinalLineBreak) {
    writeWindowsFile("[A]\r\nk=1");
    ASSERT_TRUE(ini.writeString("A", "j", "2"));
    EXPECT_EQ(fileAsText(), kMark + utf16le("[A]\r\nk=1\r\nj=2\r\n"));
    writeWindowsFile("[A]");
    ASSERT_TRUE(ini.writeString("B", "x", "y"));
    EXPECT_EQ(fileAsText(), kMark + utf16le("[A]\r\n[B]\r\nx=y\r\n"));
    ASSERT_TRUE(ini.writeString("A", "k", "v"));
    EXPECT_EQ(fileAsText(), kMark + utf16le("[A]\r\nk=v\r\n[B]\r\nx=y\r\n"));
}

TEST_F(IniFileTest, ReadsAndRewritesLineFeedOnlyAndUtf8Files) {
    writeFileBytes(path, "[Setting]\nProfile=1\n");
    EXPECT_EQ(ini.readInt("Setting", "Profile", 0), 1);
    ASSERT_TRUE(ini.writeInt("Setting", "Profile", 0));
    EXPECT_EQ(readFileBytes(path), "[Setting]\nProfile=0\n");  // kept UTF-8: the file was not ours
}

TEST_F(IniFileTest, StructsAreHexPairsWithAChecksumAndBadValuesAreRefused) {
    const std::array<std::uint8_t, 3> bytes = {0x01, 0xAB, 0xFF};
    ASSERT_TRUE(ini.writeStruct("Sync", "Block", bytes));
    EXPECT_EQ(ini.readString("Sync", "Block", ""), "01ABFFAB");  // 1 + 171 + 255 = 427, 427 mod 256 = 0xAB
    std::array<std::uint8_t, 3> read{};
    ASSERT_TRUE(ini.readStruct("Sync", "Block", read));
    EXPECT_EQ(read, bytes);

    const struct {
        const char* value;
        bool accepted;
    } cases[] = {
        {"01abffab", true},    {"01ABFFAC", false}, {"01ABFF", false},
        {"01ABFFAB00", false}, {"0GABFFAB", false}, {"", false},
    };
    for (const auto& c : cases) {
        ASSERT_TRUE(ini.writeString("Sync", "Block", c.value));
        std::array<std::uint8_t, 3> target = {7, 7, 7};
        EXPECT_EQ(ini.readStruct("Sync", "Block", target), c.accepted) << c.value;
        if (!c.accepted) {
            EXPECT_EQ(target, (std::array<std::uint8_t, 3>{7, 7, 7})) << c.value;
        }
    }
    std::array<std::uint8_t, 3> untouched = {7, 7, 7};
    EXPECT_FALSE(ini.readStruct("Sync", "Missing", untouched));
    EXPECT_EQ(platform::encodeStructValue(std::span<const std::uint8_t>()), "00");
}

TEST_F(IniFileTest, LongValuesAreCutAtTheReadingBufferAndMissingFoldersFailQuietly) {
    ASSERT_TRUE(ini.writeString("S", "Long", std::string(5000, 'a')));
    EXPECT_EQ(ini.readString("S", "Long", "").size(), 4095u);

    CIniFile nowhere(home.path("missing-folder/config.ini"));
    EXPECT_FALSE(nowhere.writeInt("Setting", "Profile", 1));
    EXPECT_EQ(nowhere.readInt("Setting", "Profile", 0), 0);
}

TEST_F(IniFileTest, EditsKeepEveryByteOfTheOtherLinesInEveryEncodingRead) {
    const std::string mark16 = "\xFF\xFE";
    const std::string mark8 = "\xEF\xBB\xBF";
    // "caf\xE9 gr\xFC\xDF" is Latin-1, which does not decode as UTF-8.
    const struct {
        const char* name;
        std::string before;
        const char* section;
        const char* key;
        const char* value;
        std::string after;
    } cases[] = {
        {"Latin-1 without a mark, replaced", "[Names]\r\nA=caf\xE9 gr\xFC\xDF\r\n[Setting]\r\nProfile=0\r\n", "Setting",
         "Profile", "1", "[Names]\r\nA=caf\xE9 gr\xFC\xDF\r\n[Setting]\r\nProfile=1\r\n"},
        {"Latin-1 without a mark, added to the section", "[Setting]\nProfile=0\n[Names]\nA=\xE9\n", "setting", "New",
         "z", "[Setting]\nProfile=0\nNew=z\r\n[Names]\nA=\xE9\n"},
        {"Latin-1 without a mark, section added", "[Names]\r\nA=\xE9\xFC", "Setting", "Profile", "2",
         "[Names]\r\nA=\xE9\xFC\r\n[Setting]\r\nProfile=2\r\n"},
        {"Latin-1 key spelling kept on its own line", "[S]\r\n  K\xE9y = old\r\nK=1\r\n", "S", "K", "2",
         "[S]\r\n  K\xE9y = old\r\nK=2\r\n"},
        {"UTF-8 with a mark and a broken sequence", mark8 + "[A]\r\nx=\xC3\r\n[B]\r\ny=1\r\n", "B", "y", "\xC3\xA9",
         mark8 + "[A]\r\nx=\xC3\r\n[B]\r\ny=\xC3\xA9\r\n"},
        {"UTF-16 with an unpaired surrogate",
         mark16 + utf16le("[A]\r\nx=") + std::string("\x00\xD8", 2) + utf16le("\r\n[B]\r\ny=1\r\n"), "B", "y", "2",
         mark16 + utf16le("[A]\r\nx=") + std::string("\x00\xD8", 2) + utf16le("\r\n[B]\r\ny=2\r\n")},
        {"UTF-16 with an odd last byte, section added", mark16 + utf16le("[A]\r\nx=1\r\n") + "\x41", "B", "y", "2",
         mark16 + utf16le("[A]\r\nx=1\r\n[B]\r\ny=2\r\n") + "\x41"},
        {"UTF-16 with a line break byte inside a character",
         mark16 + utf16le("[A]\r\nx=") + "\x0A\x01" + utf16le("\r\n"), "A", "z", "1",
         mark16 + utf16le("[A]\r\nx=") + "\x0A\x01" + utf16le("\r\nz=1\r\n")},
    };
    for (const auto& c : cases) {
        writeFileBytes(path, c.before);
        ASSERT_TRUE(ini.writeString(c.section, c.key, c.value)) << c.name;
        EXPECT_EQ(readFileBytes(path), c.after) << c.name;
        EXPECT_EQ(ini.readString(c.section, c.key, "missing"), c.value) << c.name;
    }
}

TEST_F(IniFileTest, ValuesOfAFileThatIsNotUtf8AreReadWithReplacementCharacters) {
    writeFileBytes(path, "[Names]\r\nA=caf\xE9\r\nB= plain \r\n");
    EXPECT_EQ(ini.readString("Names", "A", ""), "caf\xEF\xBF\xBD");
    EXPECT_EQ(ini.readString("Names", "B", ""), "plain");
}

TEST_F(IniFileTest, ALastLineEndingInACarriageReturnGetsOnlyItsLineFeedBeforeAnAddedLine) {
    const struct {
        const char* section;
        const char* after;
    } cases[] = {
        {"A", "[A]\r\nk=v\r\nj=2\r\n"},
        {"B", "[A]\r\nk=v\r\n[B]\r\nj=2\r\n"},
    };
    for (const auto& c : cases) {
        writeFileBytes(path, "[A]\r\nk=v\r");
        ASSERT_TRUE(ini.writeString(c.section, "j", "2")) << c.section;
        EXPECT_EQ(readFileBytes(path), c.after) << c.section;
        EXPECT_EQ(ini.readString("A", "k", ""), "v") << c.section;
    }
}

TEST_F(IniFileTest, AWriteThroughALinkToAFileYetToBeMadeMakesItAsAWindowsFileAndKeepsTheLink) {
    std::filesystem::create_directories(home.path("synced"));
    std::filesystem::create_symlink("synced/config.ini", path);
    ASSERT_TRUE(ini.writeInt("Setting", "Profile", 1));
    EXPECT_TRUE(std::filesystem::is_symlink(path));
    EXPECT_EQ(readFileBytes(home.path("synced/config.ini")), kMark + utf16le("[Setting]\r\nProfile=1\r\n"));
}
