#include "devicecontrol/Encoding.h"

#include "devicelink/EffectSlotCodec.h"
#include "effects/Morse.h"
#include "effects/Profiles.h"
#include "tests/devicecontrol/SimFixture.h"

#include <gmock/gmock.h>

#include <functional>
#include <map>

using namespace effects;
using namespace devicecontrol;
using devicecontroltest::SimTest;
using testing::ElementsAreArray;

namespace {

LedProfile defaultProfile() {
    LedProfile profile;
    ResetProfile(profile);
    return profile;
}

struct ZoneRecordCase {
    const char* name;
    std::int32_t effect;
    SlotKind kind;
    bool repeatMorse;
    std::function<void(EffectLayer&)> edit;
    std::map<std::size_t, std::uint8_t> expected;  // bytes that must hold these values
};

TEST(ZoneRecordTest, FillsEachEffectsBytesFromItsOffsets) {
    const ZoneRecordCase cases[] = {
        {"fan slot of mode 01", EFFECT_MODE_01, SLOT_FAN, true, [](EffectLayer&) {}, {{0, 6}, {3, 0x01}}},
        {"logo slot of light off",
         EFFECT_LIGHT_OFF,
         SLOT_LOGO,
         true,
         [](EffectLayer&) {},
         {{0, 5}, {3, 0xFE}, {6, 0}, {7, 0}, {8, 0}}},
        {"mode 0a: random and direction in the flags, two colours",
         EFFECT_MODE_0A,
         SLOT_DIRECT,
         true,
         [](EffectLayer& l) {
             l.setByte(86, 1);
             l.setByte(87, 0x23);
             l.setColour(76, 0x030201);
             l.setColour(80, 0x060504);
             l.setByte(84, 3);
             l.setByte(85, 1);
         },
         {{0, 0x0A}, {1, 3}, {2, 0x83}, {3, 0xFF}, {5, 1}, {6, 1}, {7, 2}, {8, 3}, {9, 4}, {10, 5}, {11, 6}}},
        {"mode 07: the second set direction flag gives 4, colour from 132",
         EFFECT_MODE_07,
         SLOT_DIRECT,
         true,
         [](EffectLayer& l) {
             l.setByte(125, 0);
             l.setByte(126, 1);
             l.setColour(132, 0x112233);
         },
         {{0, 0x07}, {2, 4}, {6, 0x33}, {7, 0x22}, {8, 0x11}}},
        {"mode 08 always random",
         EFFECT_MODE_08,
         SLOT_DIRECT,
         true,
         [](EffectLayer& l) { l.setByte(122, 0); },
         {{0, 0x08}, {2, 0x80}}},
        {"morse played once",
         EFFECT_MORSE,
         SLOT_DIRECT,
         false,
         [](EffectLayer& l) { l.setByte(182, 1); },
         {{0, 0x0B}, {2, 0x80}, {4, 1}}},
        {"morse repeated", EFFECT_MORSE, SLOT_DIRECT, true, [](EffectLayer&) {}, {{4, 0xFF}}},
        {"direct sends colour 0",
         EFFECT_DIRECT,
         SLOT_DIRECT,
         true,
         [](EffectLayer&) {},
         {{0, 0xB0}, {1, 0xFF}, {5, 0xFF}, {6, 0}, {7, 0}, {8, 0}}},
        {"unknown effect", EFFECT_MODE_DF, SLOT_DIRECT, true, [](EffectLayer&) {}, {{0, 0xFE}, {6, 0}}},
    };
    for (const ZoneRecordCase& c : cases) {
        EffectLayer layer;
        ResetLayer(layer);
        c.edit(layer);
        const EffectRecord record = BuildZoneRecord(c.effect, layer, c.kind, c.repeatMorse);
        for (const auto& [at, value] : c.expected) EXPECT_EQ(record[at], value) << c.name << ", byte " << at;
        for (std::size_t at = 12; at < record.size(); ++at) EXPECT_EQ(record[at], 0xFF) << c.name << ", byte " << at;
    }
}

TEST(LedGroupMapTest, MainZoneModeFillsPositions2To16AndChromaTakesTheFirstThree) {
    LedProfile profile = defaultProfile();
    profile.multiLayer.setWord(EffectLayer::kEffectMirror + 4, EFFECT_LIGHT_OFF);
    auto map = BuildLedGroupMap(profile, false);
    EXPECT_EQ(map[1], 3);
    EXPECT_EQ(map[4], 5);
    EXPECT_EQ(map[5], 6);
    for (int at = 6; at <= 20; ++at) EXPECT_EQ(map[at], 0xFE) << at;
    EXPECT_EQ(map[21], 0);

    profile.multiLayer.setWord(EffectLayer::kEffectMirror + 4, EFFECT_DIRECT);
    EXPECT_EQ(BuildLedGroupMap(profile, false)[6], 0xB1);

    map = BuildLedGroupMap(profile, true);
    EXPECT_EQ(map[4], 0xB0);
    EXPECT_EQ(map[5], 0xB0);
    EXPECT_EQ(map[6], 0xB0);
    for (int at = 7; at <= 20; ++at) EXPECT_EQ(map[at], 0) << at;
}

class EncodingSimTest : public SimTest {};

// The slot records of a trace: byte 0 and, for zone slots, the sub-mode in byte 3 (as sent).
std::vector<std::string> slotRecords(const std::vector<sim::TraceEntry>& trace) {
    std::vector<std::string> records;
    for (const auto& entry : trace) {
        if (sim::recordCmd(entry.record) != 0x51 || sim::recordKey(entry.record) != 0x2C) continue;
        char text[8];
        const std::uint8_t kind = entry.record[4];
        if (kind == 5 || kind == 6)
            std::snprintf(text, sizeof text, "%02x.%02x", kind, entry.record[7]);
        else
            std::snprintf(text, sizeof text, "%02x", kind);
        records.push_back(text);
    }
    return records;
}

TEST_F(EncodingSimTest, WholeConfigurationWritesTheFamilysEffectsThenTheGroupMap) {
    simulator->plug(sim::ControllerKind::Standard);
    simulator->plug(sim::ControllerKind::Led5);
    devicelink::CUSBDriver standard;
    devicelink::CUSBDriver led5{devicelink::Family::Led5};
    open(standard, 0);
    open(led5, 2);
    LedProfileSet set;
    ResetProfile(set.selected());
    set.selected().multiLayer.setWord(EffectLayer::kEffectMirror + 4, EFFECT_MORSE);
    set.selected().morseTexts = {u"A", u"B", u"C"};
    set.selected().selectedMorse = 1;
    const EditorState state;

    // Fan and logo records for static, mode 02, mode 01 and light off, in the slots' sub-mode numbering.
    const std::vector<std::string> zoneSlots = {"06.01", "05.01", "06.02", "05.02", "06.03", "05.03", "06.00", "05.00"};
    simulator->clearTrace();
    int steps = 0;
    WriteWholeConfiguration(standard, devicelink::Family::Standard, set, state, [&] { ++steps; });
    auto trace = simulator->takeTrace();
    std::vector<std::string> expected = {"00", "0b", "02", "01"};
    expected.insert(expected.end(), zoneSlots.begin(), zoneSlots.end());
    expected.push_back("0b");  // the main-zone record of the group map write
    EXPECT_THAT(slotRecords(trace), ElementsAreArray(expected));
    EXPECT_EQ(steps, 5 + 4 + 1);

    std::vector<std::string> commands;
    for (const auto& entry : trace) commands.push_back(devicecontroltest::commandOf(entry));
    const std::vector<std::string> morseAndFirstRecord = {"51/2c/1", "51/73/0", "51/73/1", "51/73/2", "51/73/3",
                                                          "51/73/4", "51/73/5", "51/73/6", "51/73/7", "51/2c/1"};
    EXPECT_THAT(std::vector<std::string>(commands.begin(), commands.begin() + 10),
                ElementsAreArray(morseAndFirstRecord));
    const std::vector<std::string> tail = {"51/73/0", "51/73/1", "51/2c/1", "51/a0/1", "51/28/0", "51/28/0"};
    EXPECT_THAT(std::vector<std::string>(commands.end() - 6, commands.end()), ElementsAreArray(tail));
    // The running text is the selected one, B.
    MorsePacked b{};
    EncodeMorse(u"B", &b);
    EXPECT_TRUE(std::equal(b.begin(), b.begin() + 60, trace[1].record.begin() + 4));
    EXPECT_EQ(trace.back().record[4], 0xE0);
    EXPECT_EQ(trace[trace.size() - 3].record[4 + 6], EffectModeCode(EFFECT_MORSE)) << "map position 2";

    WriteWholeConfiguration(led5, devicelink::Family::Led5, set, state);
    trace = simulator->takeTrace();
    expected = {"00", "07", "0a", "09", "08", "0b", "02", "01"};
    expected.insert(expected.end(), zoneSlots.begin(), zoneSlots.end());
    expected.push_back("0b");
    EXPECT_THAT(slotRecords(trace), ElementsAreArray(expected));
    const auto colourPairs = std::count_if(trace.begin(), trace.end(), [](const sim::TraceEntry& e) {
        return sim::recordCmd(e.record) == 0x51 && sim::recordKey(e.record) == 0x9C;
    });
    EXPECT_EQ(colourPairs, 1) << "mode 09 sends its second colour";
}

TEST_F(EncodingSimTest, PreviewAfterAZone0EditSendsTheZoneRecordTheMapAndTheMultiMode) {
    simulator->plug(sim::ControllerKind::Standard);
    devicelink::CUSBDriver link;
    open(link, 0);
    LedProfileSet set;
    ResetProfile(set.selected());
    EditorState state;
    state.currentZone = ZONE_MAIN;
    state.cardEffect = EFFECT_MULTI;
    SelectZoneEffect(set.selected(), state, EFFECT_STATIC);
    SetColour(LayerOfZone(set.selected(), ZONE_MAIN, state), EFFECT_STATIC, 0x0000FF, state);
    SetBrightness(LayerOfZone(set.selected(), ZONE_MAIN, state), EFFECT_STATIC, 1);
    simulator->clearTrace();

    PreviewEffect(link, set, state);
    const auto trace = simulator->takeTrace();
    ASSERT_EQ(trace.size(), 3u);
    EXPECT_EQ(devicecontroltest::commandOf(trace[0]), "51/2c/1");
    devicelink::EffectBlock record = BuildZoneRecord(EFFECT_STATIC, set.selected().multiLayer, SLOT_DIRECT, true);
    EXPECT_EQ(record[6], 0xFF);
    EXPECT_EQ(record[5], 1);
    devicelink::effectBlockToDevice(record);
    EXPECT_TRUE(std::equal(record.begin(), record.end(), trace[0].record.begin() + 4));
    EXPECT_EQ(devicecontroltest::commandOf(trace[1]), "51/a0/1");
    EXPECT_EQ(trace[1].record[4 + 6], 0x00);
    EXPECT_EQ(devicecontroltest::commandOf(trace[2]), "51/28/0");
    EXPECT_EQ(trace[2].record[4], 0xE0);

    // Zone 0 switched off: the map carries 0xFE and no zone-0 record goes out.
    SelectZoneEffect(set.selected(), state, EFFECT_LIGHT_OFF);
    PreviewEffect(link, set, state);
    EXPECT_THAT(takeCommands(), ElementsAreArray({"51/a0/1", "51/28/0"}));
}

TEST_F(EncodingSimTest, ZelvorAndResetAllResetTheProfileAndFrameTheirControlCommands) {
    const int id = simulator->plug(sim::ControllerKind::Standard).front();
    devicelink::CUSBDriver link;
    open(link, 0);
    LedProfile edited = defaultProfile();
    edited.zoneEffects[1] = EFFECT_MODE_01;
    simulator->clearTrace();

    LedProfile profile = edited;
    EXPECT_EQ(ZelvorSync(link, profile), 0);
    auto trace = simulator->takeTrace();
    ASSERT_EQ(trace.size(), 3u);
    EXPECT_EQ(devicecontroltest::commandOf(trace[0]), "50/10/0");
    EXPECT_EQ(trace[0].record[4], 1);
    EXPECT_EQ(devicecontroltest::commandOf(trace[1]), "51/96/0");
    EXPECT_EQ(trace[1].record[4], 16);
    EXPECT_EQ(devicecontroltest::commandOf(trace[2]), "50/55/0");
    LedProfile expected = defaultProfile();
    expected.zelvor = 1;
    EXPECT_EQ(profile, expected);

    profile = edited;
    EXPECT_EQ(ResetAll(link, profile), 0);
    EXPECT_THAT(takeCommands(), ElementsAreArray({"50/10/0", "50/55/0"}));
    EXPECT_EQ(profile, defaultProfile());

    // Commands the controller refuses are counted, so a caller can say so.
    ASSERT_TRUE(simulator->setFault(id, sim::FaultKind::ErrorReplies, 2));
    EXPECT_EQ(ZelvorSync(link, profile), 2);
    ASSERT_TRUE(simulator->setFault(id, sim::FaultKind::ErrorReplies, 1));
    EXPECT_EQ(ResetAll(link, profile), 1);
}

TEST_F(EncodingSimTest, ChromaColoursWithOnlyTheFirstSetLightEveryPositionWithIt) {
    simulator->plug(sim::ControllerKind::Standard);
    devicelink::CUSBDriver link;
    open(link, 0);
    LedProfileSet set;
    set.chromaSync = 1;
    simulator->clearTrace();
    OnChromaColours(link, set, {0x332211, 0, 0, 0, 0}, false);
    auto trace = simulator->takeTrace();
    ASSERT_EQ(trace.size(), 3u);
    EXPECT_EQ(devicecontroltest::commandOf(trace[0]), "51/a8/0");
    EXPECT_EQ(devicecontroltest::commandOf(trace[1]), "51/a8/1");
    EXPECT_EQ(trace[2].record[4], 0xB0);
    for (int led = 0; led < 16; ++led) {
        EXPECT_EQ(trace[0].record[4 + 3 * led], 0x11) << led;
        EXPECT_EQ(trace[0].record[4 + 3 * led + 2], 0x33) << led;
    }
    EXPECT_EQ(trace[1].record[4 + 3 * 8], 0x11) << "position 16 is the ninth triple of index 1";
    EXPECT_EQ(trace[1].record[4 + 3 * 9], 0) << "position 17 stays black";

    OnChromaColours(link, set, {0x332211, 0, 0, 0, 0}, true);
    set.chromaSync = 0;
    OnChromaColours(link, set, {0x332211, 0, 0, 0, 0}, false);
    EXPECT_TRUE(takeCommands().empty()) << "busy, or no Chroma sync: nothing is sent";
}

TEST_F(EncodingSimTest, TheMirageSaveStoresTheBlockAndHandsOnThePresetsFrequencies) {
    simulator->plug(sim::ControllerKind::Standard);
    devicelink::CUSBDriver link;
    open(link, 0);
    LedProfile profile = defaultProfile();
    profile.mirage.setSelection(1);
    profile.mirage.setFrequency(0, 1, 100);
    profile.mirage.setFrequency(1, 1, 200);
    profile.mirage.setFrequency(2, 1, 300);
    LedProfile applied = defaultProfile();
    const std::string path = home.path("Profile0.Prf");
    std::array<std::uint16_t, 4> handed{};
    simulator->clearTrace();
    SaveMirage(link, profile, applied, path, [&](const std::array<std::uint16_t, 4>& f) {
        handed = f;
        EXPECT_EQ(simulator->trace().size(), 2u) << "handed on between the opening and the closing commands";
    });
    EXPECT_THAT(handed, ElementsAreArray({2500, 100, 200, 300}));
    EXPECT_THAT(takeCommands(), ElementsAreArray({"41/03/0", "50/00/0", "51/96/0", "50/55/0"}));
    EXPECT_TRUE(profile.mirage.savedToController());
    EXPECT_EQ(applied.mirage, profile.mirage);
    LedProfile fromFile = defaultProfile();
    ASSERT_TRUE(ReadSyncBlock(path, fromFile));
    EXPECT_EQ(fromFile.mirage, profile.mirage);
}

}  // namespace
