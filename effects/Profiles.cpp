#include "effects/Profiles.h"

#include "platform/AtomicFile.h"
#include "platform/IniFile.h"
#include "platform/LittleEndian.h"
#include "platform/SingleInstance.h"
#include "platform/Utf16.h"

#include <cstdio>
#include <filesystem>
#include <span>
#include <utility>
#include <vector>

namespace effects {
namespace {

constexpr char kSectionName[] = "NAME";
constexpr char kSectionEffect[] = "EFFECT";
constexpr char kSectionSetting[] = "SETTING";
constexpr std::int32_t kZoneEffectDefault = 4096;
constexpr std::size_t kMorseBlockSize = 2 * kTextUnits;

std::u16string cutText(std::u16string text) {
    if (text.size() > kTextUnits - 1) text.resize(kTextUnits - 1);
    return text;
}

// 260 UTF-16 units, little-endian, zero-filled after the text.
std::vector<std::uint8_t> morseBlockOf(const std::u16string& text) {
    std::vector<std::uint8_t> block(kMorseBlockSize, 0);
    for (std::size_t i = 0; i < text.size() && i < kTextUnits; ++i) {
        platform::writeLe16(block.data() + 2 * i, text[i]);
    }
    return block;
}

// The text up to its terminator; a block without one holds 260 units.
std::u16string textOfMorseBlock(std::span<const std::uint8_t> block) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < block.size(); i += 2) {
        const char16_t unit = static_cast<char16_t>(platform::readLe16(block.data() + i));
        if (unit == 0) break;
        text += unit;
    }
    return text;
}

std::string blockValue(std::span<const std::uint8_t> bytes) { return platform::encodeStructValue(bytes); }

const char* layerKey(int layer) {
    static constexpr const char* kKeys[] = {"BASE_LAYER", "MULTILAYER", "FAN_LAYER", "LOGO_LAYER"};
    return kKeys[layer];
}

std::array<EffectLayer*, 4> layersOf(LedProfile& profile) {
    return {&profile.baseLayer, &profile.multiLayer, &profile.fanLayer, &profile.logoLayer};
}

std::array<const EffectLayer*, 4> layersOf(const LedProfile& profile) {
    return {&profile.baseLayer, &profile.multiLayer, &profile.fanLayer, &profile.logoLayer};
}

std::string numbered(const char* prefix, int number) { return prefix + std::to_string(number); }

// A profile holds at least one value of its [EFFECT] section that reads: an
// integer key with a value, or a block whose length and checksum match.
// Anything else (no such section, only damaged blocks, bytes of another kind
// of file) would import as nothing but the defaults.
bool holdsProfileValue(const platform::CIniFile& file) {
    // One reading of the file refuses most files that are no profile.
    if (!file.hasSection(kSectionEffect)) return false;
    std::vector<std::string> integerKeys = {"ZELVOR", "SELECT_EFFECT", "SELECT_MORSE"};
    for (int zone = 0; zone < kZoneCount; ++zone) integerKeys.push_back(numbered("SELECT_DEV_EFFECT_", zone + 1));
    for (const std::string& key : integerKeys)
        if (!file.readString(kSectionEffect, key, "").empty()) return true;
    LedProfile scratch;
    const auto layers = layersOf(scratch);
    for (int layer = 0; layer < 4; ++layer)
        if (file.readStruct(kSectionEffect, layerKey(layer), layers[layer]->bytes)) return true;
    if (file.readStruct(kSectionEffect, "SYSTEM_STATUS", scratch.systemStatus)) return true;
    std::vector<std::uint8_t> block(kMorseBlockSize);
    for (int text = 0; text < 3; ++text)
        if (file.readStruct(kSectionEffect, numbered("MORSE_INFO_", text + 1), block)) return true;
    return false;
}

}  // namespace

std::string ProfileFilePath(const std::string& dataFolder, int index) {
    return dataFolder + "Profile" + std::to_string(index) + ".Prf";
}

bool ReadProfileFile(const std::string& path, LedProfile& profile) {
    if (!platform::readWholeFile(path)) return false;
    const platform::CIniFile file(path);
    profile.name = cutText(platform::utf8ToUtf16(file.readString(kSectionName, "PROFILE_NAME", "")));
    profile.zelvor = static_cast<std::uint8_t>(file.readInt(kSectionEffect, "ZELVOR", 0));
    profile.cardEffect = file.readInt(kSectionEffect, "SELECT_EFFECT", 0);
    for (int zone = 0; zone < kZoneCount; ++zone)
        profile.zoneEffects[zone] =
            file.readInt(kSectionEffect, numbered("SELECT_DEV_EFFECT_", zone + 1), kZoneEffectDefault);
    const auto layers = layersOf(profile);
    for (int layer = 0; layer < 4; ++layer) file.readStruct(kSectionEffect, layerKey(layer), layers[layer]->bytes);
    file.readStruct(kSectionEffect, "SYSTEM_STATUS", profile.systemStatus);
    profile.selectedMorse = file.readInt(kSectionEffect, "SELECT_MORSE", 0);
    for (int text = 0; text < 3; ++text) {
        std::vector<std::uint8_t> block(kMorseBlockSize);
        if (file.readStruct(kSectionEffect, numbered("MORSE_INFO_", text + 1), block))
            profile.morseTexts[text] = textOfMorseBlock(block);
    }
    return true;
}

bool WriteProfileFile(const std::string& path, const LedProfile& profile) {
    std::vector<platform::IniEntry> entries;
    entries.push_back({kSectionName, "PROFILE_NAME", platform::utf16ToUtf8(cutText(profile.name))});
    entries.push_back({kSectionEffect, "ZELVOR", std::to_string(profile.zelvor)});
    entries.push_back({kSectionEffect, "SELECT_EFFECT", std::to_string(profile.cardEffect)});
    for (int zone = 0; zone < kZoneCount; ++zone)
        entries.push_back(
            {kSectionEffect, numbered("SELECT_DEV_EFFECT_", zone + 1), std::to_string(profile.zoneEffects[zone])});
    const auto layers = layersOf(profile);
    for (int layer = 0; layer < 4; ++layer)
        entries.push_back({kSectionEffect, layerKey(layer), blockValue(layers[layer]->bytes)});
    entries.push_back({kSectionEffect, "SYSTEM_STATUS", blockValue(profile.systemStatus)});
    entries.push_back({kSectionEffect, "SELECT_MORSE", std::to_string(profile.selectedMorse)});
    for (int text = 0; text < 3; ++text)
        entries.push_back(
            {kSectionEffect, numbered("MORSE_INFO_", text + 1), blockValue(morseBlockOf(profile.morseTexts[text]))});
    return platform::CIniFile(path).writeEntries(entries);
}

bool ReadSyncBlock(const std::string& path, LedProfile& profile) {
    return platform::CIniFile(path).readStruct(kSectionSetting, "SYNC", profile.mirage.bytes);
}

bool WriteSyncBlock(const std::string& path, const LedProfile& profile) {
    return platform::CIniFile(path).writeStruct(kSectionSetting, "SYNC", profile.mirage.bytes);
}

void LoadProfiles(LedProfileSet& set, const std::string& dataFolder) {
    set.selectedProfile =
        static_cast<std::uint8_t>(platform::CIniFile(dataFolder + "config.ini").readInt("Setting", "Profile", 0));
    const std::string path = ProfileFilePath(dataFolder, 0);
    LedProfile& profile = set.profiles[0];
    ReadProfileFile(path, profile);
    ReadSyncBlock(path, profile);
}

bool SaveProfiles(const LedProfileSet& set, const std::string& dataFolder) {
    const bool settings =
        platform::CIniFile(dataFolder + "config.ini").writeInt("Setting", "Profile", set.selectedProfile);
    const bool profile = WriteProfileFile(ProfileFilePath(dataFolder, 0), set.profiles[0]);
    return settings && profile;
}

void LoadStartupProfileSet(LedProfileSet& set, const std::string& dataFolder) {
    set = LedProfileSet{};
    ResetProfile(set.profiles[0]);
    LoadProfiles(set, dataFolder);
    if (set.selectedProfile > 1) set.selectedProfile = 0;
    set.chromaSync = 0;
    set.selected().cardEffect = EFFECT_MULTI;
}

std::string ProfileLockPath(const std::string& dataFolder) { return dataFolder + "profiles.lock"; }

ProfileUpdate UpdateSavedProfiles(const std::string& dataFolder, LedProfileSet& set,
                                  const std::function<bool(LedProfileSet&)>& change,
                                  std::chrono::milliseconds lockWait) {
    platform::SingleInstanceLock lock;
    // Without a usable lock file the change goes ahead, as it did before the lock;
    // a lock file that is not the user's own is refused, said on standard error.
    const platform::SingleInstanceLock::Result result = lock.acquireFile(ProfileLockPath(dataFolder), lockWait);
    if (result == platform::SingleInstanceLock::Result::HeldElsewhere) return ProfileUpdate::Busy;
    if (result == platform::SingleInstanceLock::Result::Refused)
        std::fprintf(stderr, "lumenstra: %s; changing the saved profile without its lock\n", lock.problem().c_str());
    LoadStartupProfileSet(set, dataFolder);
    if (!change(set)) return ProfileUpdate::Unchanged;
    return SaveProfiles(set, dataFolder) ? ProfileUpdate::Saved : ProfileUpdate::NotSaved;
}

std::u16string ProfileNameFromPath(const std::string& path) {
    return cutText(platform::utf8ToUtf16(std::filesystem::path(path).stem().string()));
}

bool ExportProfile(const LedProfile& profile, const std::string& path) {
    LedProfile copy = profile;
    copy.name = ProfileNameFromPath(path);
    return WriteProfileFile(path, copy) && WriteSyncBlock(path, copy);
}

bool IsProfileFile(const std::string& path) {
    return platform::readWholeFile(path) && holdsProfileValue(platform::CIniFile(path));
}

bool ImportProfile(LedProfile& profile, const std::string& path) {
    if (!IsProfileFile(path)) return false;
    LedProfile imported = profile;
    if (!ReadProfileFile(path, imported)) return false;
    ReadSyncBlock(path, imported);
    imported.cardEffect = EFFECT_MULTI;
    imported.name = ProfileNameFromPath(path);
    profile = std::move(imported);
    return true;
}

}  // namespace effects
