#include "effects/Profiles.h"
#include "platform/IniFile.h"
#include "platform/SingleInstance.h"
#include "platform/Utf16.h"
#include "tests/support/TestEnvironment.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

using namespace effects;
using testsupport::readFileBytes;
using testsupport::utf16le;
using testsupport::writeFileBytes;

namespace {

LedProfile defaultProfile() {
    LedProfile profile;
    ResetProfile(profile);
    return profile;
}

// A profile that differs from the defaults everywhere the file stores something.
LedProfile editedProfile() {
    LedProfile profile = defaultProfile();
    profile.name = u"Evening \u00C4";
    profile.zelvor = 1;
    profile.cardEffect = EFFECT_MODE_01;
    profile.zoneEffects = {EFFECT_MORSE, EFFECT_MODE_02, EFFECT_LIGHT_OFF};
    profile.baseLayer.setColour(48, 0x010203);
    profile.multiLayer.setColour(164, 0x0A0B0C);
    profile.fanLayer.setByte(157, 4);
    profile.logoLayer.setByte(52, 0);
    profile.systemStatus = {2, 0, 7};
    profile.selectedMorse = 2;
    profile.morseTexts = {u"SOS", u"", u"HELLO WORLD"};
    profile.mirage.setSelection(2);
    profile.mirage.setFrequency(1, 2, 999);
    return profile;
}

}  // namespace

class ProfilesTest : public testsupport::IsolatedTest {
protected:
    std::string folder = home.path("data/");
    std::string profilePath = folder + "Profile0.Prf";
    void SetUp() override { std::filesystem::create_directories(folder); }
    void writeWindowsFile(const std::string& path, const std::string& text) {
        writeFileBytes(path, "\xFF\xFE" + utf16le(text));
    }
};

TEST_F(ProfilesTest, WithoutFilesTheStartupSetIsTheDefaultProfile) {
    LedProfileSet set;
    set.selectedProfile = 1;
    set.chromaSync = 1;
    LoadStartupProfileSet(set, folder);
    LedProfileSet expected;
    ResetProfile(expected.profiles[0]);
    EXPECT_EQ(set, expected);
}

TEST_F(ProfilesTest, AnEmptyProfileFileGivesZoneEffects4096AndPerZoneEffects) {
    writeFileBytes(profilePath, "\xFF\xFE");
    LedProfileSet set;
    LoadStartupProfileSet(set, folder);
    EXPECT_EQ(set.profiles[0].zoneEffects, (std::array<std::int32_t, 3>{4096, 4096, 4096}));
    EXPECT_EQ(set.profiles[0].cardEffect, EFFECT_MULTI);
    EXPECT_EQ(set.profiles[0].multiLayer, defaultProfile().multiLayer);
}

TEST_F(ProfilesTest, TheSelectedProfileComesFromConfigIniAndIsForcedToZeroAboveOne) {
    for (const auto& [stored, expected] : {std::pair{1, 1}, std::pair{7, 0}, std::pair{0, 0}}) {
        ASSERT_TRUE(platform::CIniFile(folder + "config.ini").writeInt("Setting", "Profile", stored));
        LedProfileSet set;
        LoadStartupProfileSet(set, folder);
        EXPECT_EQ(set.selectedProfile, expected) << stored;
    }
}

TEST_F(ProfilesTest, ASavedSetLoadsBackExceptTheMirageBlockWhichOnlyTheMirageSaveWrites) {
    LedProfileSet saved;
    saved.selectedProfile = 1;
    saved.profiles[0] = editedProfile();
    ASSERT_TRUE(SaveProfiles(saved, folder));
    EXPECT_EQ(platform::CIniFile(folder + "config.ini").readInt("Setting", "Profile", 0), 1);

    LedProfileSet loaded;
    LoadStartupProfileSet(loaded, folder);
    LedProfile expected = editedProfile();
    expected.cardEffect = EFFECT_MULTI;
    expected.mirage = defaultProfile().mirage;
    EXPECT_EQ(loaded.profiles[0], expected);

    ASSERT_TRUE(WriteSyncBlock(profilePath, saved.profiles[0]));
    LoadStartupProfileSet(loaded, folder);
    EXPECT_EQ(loaded.profiles[0].mirage, editedProfile().mirage);
}

TEST_F(ProfilesTest, TheFileHasTheWindowsLayoutKeysInOrderAndBlocksAsHexWithChecksum) {
    LedProfile profile = defaultProfile();
    profile.name = u"Night";
    profile.morseTexts[0] = u"SOS";
    ASSERT_TRUE(WriteProfileFile(profilePath, profile));
    const std::string bytes = readFileBytes(profilePath);
    ASSERT_EQ(bytes.substr(0, 2), "\xFF\xFE");
    const std::string start = utf16le(
        "[NAME]\r\nPROFILE_NAME=Night\r\n[EFFECT]\r\nZELVOR=0\r\nSELECT_EFFECT=4106\r\n"
        "SELECT_DEV_EFFECT_1=4096\r\nSELECT_DEV_EFFECT_2=4096\r\nSELECT_DEV_EFFECT_3=4096\r\nBASE_LAYER=01");
    EXPECT_EQ(bytes.substr(2, start.size()), start);
    const std::string text = platform::utf16ToUtf8(platform::littleEndianBytesToUtf16(bytes.substr(2)));
    // Keys in the order they are written, each once.
    std::size_t at = 0;
    for (const char* key : {"BASE_LAYER=", "MULTILAYER=", "FAN_LAYER=", "LOGO_LAYER=", "SYSTEM_STATUS=010100",
                            "SELECT_MORSE=0", "MORSE_INFO_1=53004F00530000000000", "MORSE_INFO_2=", "MORSE_INFO_3="}) {
        const std::size_t found = text.find(key, at);
        ASSERT_NE(found, std::string::npos) << key;
        at = found;
    }
    EXPECT_EQ(text.find("SYNC"), std::string::npos);
    // A layer is 280 bytes: 560 digits and 2 of checksum.
    const std::size_t layer = text.find("MULTILAYER=") + 11;
    EXPECT_EQ(text.find("\r\n", layer) - layer, 562u);
    // SOS: S=0x53, O=0x4F, S=0x53; checksum (0x53+0x4F+0x53) mod 256 = 0xF5.
    const std::size_t morse = text.find("MORSE_INFO_1=") + 13;
    EXPECT_EQ(text.substr(text.find("\r\n", morse) - 2, 2), "F5");
    EXPECT_TRUE(text.ends_with("\r\n"));
}

TEST_F(ProfilesTest, ReadsAWindowsWrittenFileAndIgnoresDamagedBlocksOneByOne) {
    LedProfile written = editedProfile();
    ASSERT_TRUE(WriteProfileFile(profilePath, written));
    ASSERT_TRUE(WriteSyncBlock(profilePath, written));
    // Damage one checksum and one length, keep the rest.
    const platform::CIniFile file(profilePath);
    std::string multi = file.readString("EFFECT", "MULTILAYER", "");
    multi.back() = multi.back() == '0' ? '1' : '0';
    ASSERT_TRUE(file.writeString("effect", "multilayer", multi));
    ASSERT_TRUE(file.writeString("EFFECT", "SYSTEM_STATUS", "0200070900"));

    LedProfile loaded = defaultProfile();
    ASSERT_TRUE(ReadProfileFile(profilePath, loaded));
    EXPECT_TRUE(ReadSyncBlock(profilePath, loaded));
    EXPECT_EQ(loaded.multiLayer, defaultProfile().multiLayer);
    EXPECT_EQ(loaded.systemStatus, defaultProfile().systemStatus);
    EXPECT_EQ(loaded.baseLayer, written.baseLayer);
    EXPECT_EQ(loaded.fanLayer, written.fanLayer);
    EXPECT_EQ(loaded.morseTexts, written.morseTexts);
    EXPECT_EQ(loaded.name, written.name);
    EXPECT_EQ(loaded.mirage, written.mirage);
}

TEST_F(ProfilesTest, LongNamesAreCutAndUnterminatedMorseTextsKeep260Units) {
    std::vector<std::uint8_t> block(520);
    for (std::size_t i = 0; i < block.size(); i += 2) block[i] = 'E';
    writeWindowsFile(profilePath, "[NAME]\r\nPROFILE_NAME=" + std::string(300, 'n') +
                                      "\r\n[EFFECT]\r\nMORSE_INFO_2=" + platform::encodeStructValue(block) + "\r\n");
    LedProfile loaded = defaultProfile();
    ASSERT_TRUE(ReadProfileFile(profilePath, loaded));
    EXPECT_EQ(loaded.name, std::u16string(259, u'n'));
    EXPECT_EQ(loaded.morseTexts[1], std::u16string(260, u'E'));
    // Written back, the block is the same 520 bytes.
    ASSERT_TRUE(WriteProfileFile(profilePath, loaded));
    std::vector<std::uint8_t> again(520);
    ASSERT_TRUE(platform::CIniFile(profilePath).readStruct("EFFECT", "MORSE_INFO_2", again));
    EXPECT_EQ(again, block);
}

TEST_F(ProfilesTest, ExportNamesTheCopyAfterTheFileAndLeavesTheProfileAlone) {
    LedProfile profile = editedProfile();
    const std::string path = home.path("Night.KV6");
    ASSERT_TRUE(ExportProfile(profile, path));
    EXPECT_EQ(profile.name, editedProfile().name);
    LedProfile exported = defaultProfile();
    ASSERT_TRUE(ReadProfileFile(path, exported));
    ASSERT_TRUE(ReadSyncBlock(path, exported));
    EXPECT_EQ(exported.name, u"Night");
    exported.name = profile.name;
    EXPECT_EQ(exported, profile);
    EXPECT_FALSE(ExportProfile(profile, home.path("no-such-folder/x.KV6")));
}

TEST_F(ProfilesTest, ImportOfAPartialFileChangesItsIntegersAndTheNameAndKeepsTheRest) {
    const std::string path = home.path("Party Mode.KV6");
    writeWindowsFile(path,
                     "[NAME]\r\nPROFILE_NAME=ignored, the file name counts\r\n[EFFECT]\r\nZELVOR=0\r\n"
                     "SELECT_EFFECT=4097\r\nSELECT_DEV_EFFECT_1=4104\r\nSELECT_MORSE=1\r\n");
    LedProfile profile = editedProfile();
    ASSERT_TRUE(ImportProfile(profile, path));
    LedProfile expected = editedProfile();
    expected.name = u"Party Mode";
    expected.zelvor = 0;
    expected.cardEffect = EFFECT_MULTI;
    expected.zoneEffects = {EFFECT_MODE_01, 4096, 4096};
    expected.selectedMorse = 1;
    EXPECT_EQ(profile, expected);

    LedProfile untouched = editedProfile();
    EXPECT_FALSE(ImportProfile(untouched, home.path("missing.KV6")));
    EXPECT_EQ(untouched, editedProfile());
}

// A file that holds no profile is refused and leaves the profile alone; one
// readable value of the [EFFECT] section makes a profile, and keys it lacks
// keep the profile's values (integers take their defaults).
TEST_F(ProfilesTest, OnlyAFileWithAReadableEffectValueImportsAndOthersLeaveTheProfileAlone) {
    LedProfile exported = defaultProfile();
    exported.fanLayer.setByte(157, 3);
    exported.zelvor = 1;
    const std::string path = home.path("In.KV6");
    ASSERT_TRUE(ExportProfile(exported, path));
    const std::string exportedBytes = readFileBytes(path);
    const std::string goodFan = platform::encodeStructValue(exported.fanLayer.bytes);
    std::string damagedFan = goodFan;
    damagedFan.back() = damagedFan.back() == '0' ? '1' : '0';
    const std::string mark = "\xFF\xFE";
    enum Kept { Refused, AllRead, FanLayerOnly, IntegersOnly };
    const struct {
        const char* what;
        std::string bytes;
        Kept result;
    } cases[] = {
        {"an exported profile", exportedBytes, AllRead},
        {"an empty file", "", Refused},
        {"only the byte-order mark", mark, Refused},
        {"garbage bytes",
         std::string("\x7F"
                     "ELF\x02\x01\x01\0\0\xFF\xFE[EFFECT]\0\x13",
                     20),
         Refused},
        {"a name and no [EFFECT]", mark + utf16le("[NAME]\r\nPROFILE_NAME=Night\r\n"), Refused},
        {"only the mirage block", mark + utf16le("[SETTING]\r\nSYNC=" + std::string(40, '0') + "\r\n"), Refused},
        {"[EFFECT] without readable layers",
         mark + utf16le("[EFFECT]\r\nFAN_LAYER=" + damagedFan + "\r\nBASE_LAYER=0102\r\nSELECT_EFFECT=\r\n"), Refused},
        {"one good layer", mark + utf16le("[EFFECT]\r\nFAN_LAYER=" + goodFan + "\r\nLOGO_LAYER=00\r\n"), FanLayerOnly},
        {"one good layer, written by hand in UTF-8", "[effect]\nfan_layer=" + goodFan + "\n", FanLayerOnly},
        {"integer keys only", mark + utf16le("[EFFECT]\r\nZELVOR=1\r\n"), IntegersOnly},
    };
    for (const auto& c : cases) {
        writeFileBytes(path, c.bytes);
        EXPECT_EQ(IsProfileFile(path), c.result != Refused) << c.what;
        LedProfile profile = editedProfile();
        EXPECT_EQ(ImportProfile(profile, path), c.result != Refused) << c.what;
        LedProfile expected = editedProfile();
        if (c.result != Refused) {
            expected.name = u"In";
            expected.cardEffect = EFFECT_MULTI;
            expected.zelvor = c.result == FanLayerOnly ? 0 : 1;
            expected.zoneEffects = {4096, 4096, 4096};
            expected.selectedMorse = 0;
        }
        if (c.result == AllRead) {
            expected = exported;
            expected.name = u"In";
            expected.cardEffect = EFFECT_MULTI;
        }
        if (c.result == FanLayerOnly) expected.fanLayer = exported.fanLayer;
        EXPECT_EQ(profile, expected) << c.what;
    }
    EXPECT_FALSE(IsProfileFile(home.path("missing.KV6")));
    EXPECT_FALSE(IsProfileFile(home.root())) << "a folder";
}

TEST_F(ProfilesTest, AnUpdateChangesTheSavedSetAndTheNextUpdateStartsFromIt) {
    LedProfileSet set;
    ASSERT_EQ(UpdateSavedProfiles(folder, set,
                                  [](LedProfileSet& saved) {
                                      saved.selected().zoneEffects[0] = EFFECT_MORSE;
                                      return true;
                                  }),
              ProfileUpdate::Saved);
    ASSERT_EQ(UpdateSavedProfiles(folder, set,
                                  [](LedProfileSet& saved) {
                                      saved.selected().zoneEffects[1] = EFFECT_MODE_02;
                                      return true;
                                  }),
              ProfileUpdate::Saved);
    EXPECT_EQ(set.selected().zoneEffects[0], EFFECT_MORSE) << "the second update started from the first one's file";
    LedProfileSet loaded;
    LoadStartupProfileSet(loaded, folder);
    EXPECT_EQ(loaded, set);
}

TEST_F(ProfilesTest, ARefusedChangeOrAHeldLockLeavesTheFilesAlone) {
    LedProfileSet set;
    EXPECT_EQ(UpdateSavedProfiles(folder, set, [](LedProfileSet&) { return false; }), ProfileUpdate::Unchanged);
    EXPECT_FALSE(std::filesystem::exists(profilePath));

    platform::SingleInstanceLock other;
    ASSERT_EQ(other.acquireFile(ProfileLockPath(folder), std::chrono::milliseconds(0)),
              platform::SingleInstanceLock::Result::Acquired);
    bool changed = false;
    EXPECT_EQ(UpdateSavedProfiles(
                  folder, set, [&](LedProfileSet&) { return changed = true; }, std::chrono::milliseconds(0)),
              ProfileUpdate::Busy);
    EXPECT_FALSE(changed);
    EXPECT_FALSE(std::filesystem::exists(profilePath));
}

TEST_F(ProfilesTest, AnUpdateWaitsForTheLockThatAnotherHolderReleases) {
    platform::SingleInstanceLock other;
    ASSERT_EQ(other.acquireFile(ProfileLockPath(folder), std::chrono::milliseconds(0)),
              platform::SingleInstanceLock::Result::Acquired);
    std::atomic<bool> waiting{false};
    std::thread holder([&] {
        while (!waiting.load()) std::this_thread::yield();
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        other.release();
    });
    LedProfileSet set;
    waiting.store(true);
    EXPECT_EQ(UpdateSavedProfiles(folder, set,
                                  [](LedProfileSet& saved) {
                                      saved.selected().zelvor = 1;
                                      return true;
                                  }),
              ProfileUpdate::Saved);
    holder.join();
    LedProfileSet loaded;
    LoadStartupProfileSet(loaded, folder);
    EXPECT_EQ(loaded.selected().zelvor, 1);
}

TEST_F(ProfilesTest, ALockFileThatIsALinkIsRefusedAndTheUpdateGoesOnUnlocked) {
    const std::string target = home.path("elsewhere.lock");
    std::filesystem::create_symlink(target, ProfileLockPath(folder));
    platform::SingleInstanceLock other;
    ASSERT_EQ(other.acquireFile(ProfileLockPath(folder), std::chrono::milliseconds(0)),
              platform::SingleInstanceLock::Result::Refused);
    LedProfileSet set;
    EXPECT_EQ(UpdateSavedProfiles(
                  folder, set,
                  [](LedProfileSet& saved) {
                      saved.selected().zelvor = 1;
                      return true;
                  },
                  std::chrono::milliseconds(0)),
              ProfileUpdate::Saved);
    EXPECT_FALSE(std::filesystem::exists(target)) << "the link was followed";
    LedProfileSet loaded;
    LoadStartupProfileSet(loaded, folder);
    EXPECT_EQ(loaded.selected().zelvor, 1);
}

TEST_F(ProfilesTest, ASaveRemovesTheTemporaryFilesOfAKilledSaveAndKeepsALinkedProfile) {
    // The profile kept elsewhere, linked into the data folder.
    std::filesystem::create_directories(home.path("synced"));
    writeWindowsFile(home.path("synced/Profile0.Prf"), "[NAME]\r\nPROFILE_NAME=Synced\r\n");
    std::filesystem::create_symlink("../synced/Profile0.Prf", profilePath);
    // What saves killed between their temporary file and the rename leave behind:
    // beside config.ini, and beside the profile the link leads to.
    writeFileBytes(folder + "config.ini.Xy98Zw", "half a config");
    writeFileBytes(home.path("synced/Profile0.Prf.k9Zq2A"), "half a profile");

    LedProfileSet set;
    set.profiles[0] = editedProfile();
    ASSERT_TRUE(SaveProfiles(set, folder));

    ASSERT_TRUE(std::filesystem::is_symlink(profilePath));
    EXPECT_EQ(std::filesystem::read_symlink(profilePath), "../synced/Profile0.Prf");
    LedProfile loaded;
    ASSERT_TRUE(ReadProfileFile(home.path("synced/Profile0.Prf"), loaded));
    EXPECT_EQ(loaded.name, u"Evening \u00C4");
    const auto namesIn = [](const std::string& path) {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(path)) names.push_back(entry.path().filename());
        std::sort(names.begin(), names.end());
        return names;
    };
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"Profile0.Prf", "config.ini"}));
    EXPECT_EQ(namesIn(home.path("synced")), std::vector<std::string>{"Profile0.Prf"});
}
