#include "devicecontrol/ReadBack.h"

#include "devicecontrol/Encoding.h"
#include "effects/Morse.h"
#include "tests/devicecontrol/SimFixture.h"

#include <gmock/gmock.h>

#include <cstring>

using namespace effects;
using namespace devicecontrol;
using devicecontroltest::SimTest;
using testing::ElementsAre;
using testing::ElementsAreArray;

namespace {

class ReadBackTest : public SimTest {
protected:
    int load(devicelink::CUSBDriver& link, devicelink::Family family, LedProfileSet& set,
             std::vector<int>* progress = nullptr) {
        devicecontrol::ReadBackRequest request;
        request.family = family;
        request.position = 0;
        if (progress)
            request.setProgress = [progress](int value) {
                if (progress->empty() || progress->back() != value) progress->push_back(value);
            };
        int lastApplied = 5;
        const int result = devicecontrol::LoadDeviceSettings(link, request, set, lastApplied);
        EXPECT_EQ(lastApplied, 0);
        return result;
    }

    void storeMorse(devicelink::CUSBDriver& link, int firstBlock, const std::u16string& text) {
        MorsePacked packed{};
        if (!text.empty()) EncodeMorse(text, &packed);
        std::uint8_t half[60];
        for (int part = 0; part < 2; ++part) {
            std::memcpy(half, packed.data() + 60 * part, sizeof half);
            ASSERT_EQ(link.SetMorseBlock(firstBlock + part, half), 0);
        }
    }
};

TEST_F(ReadBackTest, AFreshLoadOfAStandardControllerReadsInTheFixedOrder) {
    simulator->plug(sim::ControllerKind::Standard);
    devicelink::CUSBDriver link;
    open(link, 0);
    simulator->clearTrace();
    LedProfileSet set;
    set.chromaSync = 1;
    std::vector<int> progress;
    EXPECT_EQ(load(link, devicelink::Family::Standard, set, &progress), 0);
    EXPECT_THAT(takeCommands(), ElementsAreArray({"41/03/0", "52/96/0", "52/28/0", "52/29/0", "51/28/0", "52/2c/1",
                                                  "52/2c/1", "52/73/2", "52/73/3", "52/73/4", "52/73/5", "52/73/6",
                                                  "52/73/7", "52/73/0", "52/73/1", "52/2c/1", "52/2c/1", "52/a0/1"}));
    EXPECT_THAT(progress, ElementsAre(10, 18, 100));
    EXPECT_EQ(set.chromaSync, 0);
}

TEST_F(ReadBackTest, AFreshLoadOfAnLed5ControllerReadsItsEightEffects) {
    simulator->plug(sim::ControllerKind::Led5);
    devicelink::CUSBDriver link{devicelink::Family::Led5};
    open(link, 2);
    simulator->clearTrace();
    LedProfileSet set;
    EXPECT_EQ(load(link, devicelink::Family::Led5, set), 0);
    const auto trace = simulator->takeTrace();
    std::vector<std::string> commands;
    std::vector<int> slotModes;
    for (const auto& entry : trace) {
        commands.push_back(devicecontroltest::commandOf(entry));
        if (commands.back() != "52/2c/1") continue;
        slotModes.push_back(entry.record[4]);
        for (std::size_t at = 5; at < 64; ++at) EXPECT_EQ(entry.record[at], 0xFF) << "slot read filler, byte " << at;
    }
    EXPECT_THAT(commands, ElementsAreArray({"41/03/0", "52/96/0", "52/28/0", "52/29/0", "51/28/0", "52/2c/1",
                                            "52/2c/1", "52/2c/1", "52/2c/1", "52/9c/1", "52/2c/1", "52/2c/1",
                                            "52/73/2", "52/73/3", "52/73/4", "52/73/5", "52/73/6", "52/73/7",
                                            "52/73/0", "52/73/1", "52/2c/1", "52/2c/1", "52/a0/1"}));
    EXPECT_THAT(slotModes, ElementsAre(0x00, 0x07, 0x0A, 0x09, 0x08, 0x0B, 0x02, 0x01));
    EXPECT_EQ(trace[4].record[4], 0xE0) << "the multi-zone mode select";
    EXPECT_EQ(trace.back().record[4], 0);
    EXPECT_EQ(trace.back().record[5], 3) << "the group map read asks with 0, 3";
}

TEST_F(ReadBackTest, AnLed5ControllerGivesBackWhatAWholeWriteStored) {
    simulator->plug(sim::ControllerKind::Led5);
    devicelink::CUSBDriver link{devicelink::Family::Led5};
    open(link, 2);
    LedProfileSet written;
    LedProfile& profile = written.selected();
    ResetProfile(profile);
    EffectLayer& layer = profile.multiLayer;
    layer.setColour(76, 0x0A0B0C);
    layer.setColour(80, 0x0D0E0F);
    layer.setByte(86, 1);
    layer.setByte(87, 5);
    layer.setByte(85, 1);
    layer.setColour(92, 0x123456);
    layer.setColour(100, 0x654321);
    layer.setColour(164, 0x00FF00);
    layer.setByte(169, 0);
    layer.setWord(EffectLayer::kEffectMirror + 4, EFFECT_MODE_01);
    profile.morseTexts = {u"A", u"B", u"C"};
    profile.selectedMorse = 1;
    WriteWholeConfiguration(link, devicelink::Family::Led5, written, EditorState{});
    link.SetSyncFlag(0x10);

    LedProfileSet read;
    ResetProfile(read.selected());
    ASSERT_EQ(load(link, devicelink::Family::Led5, read), 0);
    const EffectLayer& back = read.selected().multiLayer;
    EXPECT_EQ(back.colour(76), 0x0A0B0Cu);
    EXPECT_EQ(back.colour(80), 0x0D0E0Fu);
    EXPECT_EQ(back.byte(86), 1);
    EXPECT_EQ(back.byte(87), 5);
    EXPECT_EQ(back.byte(85), 1);
    EXPECT_EQ(back.colour(92), 0x123456u);
    EXPECT_EQ(back.colour(100), 0x654321u) << "second colour of mode 09 through the colour pair read";
    EXPECT_EQ(back.colour(164), 0x00FF00u);
    EXPECT_EQ(back.byte(169), 0);
    EXPECT_EQ(read.selected().zoneEffects[0], EFFECT_MODE_01) << "zone 0 from the group map";
    EXPECT_EQ(read.selected().morseTexts, profile.morseTexts);
    EXPECT_EQ(read.selected().selectedMorse, 1);
    EXPECT_EQ(read.selected().zelvor, 1);
}

TEST_F(ReadBackTest, OnlyASyncFlagOf0x10SetsTheZelvorFlag) {
    simulator->plug(sim::ControllerKind::Standard);
    devicelink::CUSBDriver link;
    open(link, 0);
    for (const auto& [flag, zelvor] : {std::pair{0x10, 1}, {0x11, 0}, {0x00, 0}}) {
        link.SetSyncFlag(static_cast<std::uint8_t>(flag));
        LedProfileSet set;
        set.selected().zelvor = static_cast<std::uint8_t>(1 - zelvor);
        load(link, devicelink::Family::Standard, set);
        EXPECT_EQ(set.selected().zelvor, zelvor) << "flag " << flag;
    }
}

TEST_F(ReadBackTest, TheRunningTextSelectsTheFirstStoredTextThatEqualsIt) {
    simulator->plug(sim::ControllerKind::Standard);
    devicelink::CUSBDriver link;
    open(link, 0);
    struct Case {
        std::array<std::u16string, 3> stored;
        std::u16string running;
        std::int32_t selectedBefore;
        std::int32_t selected;
        std::u16string firstText;
    };
    const Case cases[] = {
        {{u"A", u"B", u"C"}, u"B", 2, 1, u"A"},
        {{u"A", u"B", u"C"}, u"D", 2, 0, u"A"},
        {{u"", u"", u""}, u"", 2, 2, u""},
        {{u"", u"", u""}, u"SOS", 2, 2, u"SOS"},
    };
    for (const Case& c : cases) {
        for (int text = 0; text < 3; ++text) storeMorse(link, 2 + 2 * text, c.stored[text]);
        storeMorse(link, 0, c.running);
        LedProfile profile;
        profile.selectedMorse = c.selectedBefore;
        profile.morseTexts = {u"x", u"y", u"z"};
        EXPECT_EQ(devicecontrol::ReadMorseTexts(link, 0, profile), 0);
        EXPECT_EQ(profile.selectedMorse, c.selected) << "running text of " << c.running.size() << " units";
        EXPECT_EQ(profile.morseTexts[0], c.firstText);
        EXPECT_EQ(profile.morseTexts[1], c.stored[1]);
    }
}

TEST_F(ReadBackTest, ReportedModesSetTheCardWideEffectExceptDirect) {
    simulator->plug(sim::ControllerKind::Standard);
    devicelink::CUSBDriver link;
    open(link, 0);
    for (const auto& [mode, expected] : {std::pair<unsigned, std::int32_t>{0xB0u, EFFECT_MODE_10},
                                         {0x05u, 0},
                                         {0x0Bu, EFFECT_MORSE},
                                         {0xE0u, EFFECT_MULTI}}) {
        link.SetEffectMode(mode, 0, 0, 0);
        LedProfileSet set;
        set.selected().cardEffect = EFFECT_MODE_10;
        load(link, devicelink::Family::Standard, set);
        EXPECT_EQ(set.selected().cardEffect, expected) << "mode " << mode;
    }
}

// The read-only mode only reads: the controller keeps its effect mode, and the
// card effect (direct too) and the direct colours are what it reports.
TEST_F(ReadBackTest, AReadOnlyLoadSendsOnlyReadsAndReportsTheRunningModeAndDirectColours) {
    simulator->plug(sim::ControllerKind::Standard);
    devicelink::CUSBDriver link;
    open(link, 0);
    std::uint8_t colours[48] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x77, 0x88, 0x99};
    ASSERT_EQ(link.SetCustomColors(0, colours), 0);
    for (const auto& [mode, expected] :
         {std::pair<unsigned, std::int32_t>{0xB0u, EFFECT_DIRECT}, {0x0Bu, EFFECT_MORSE}, {0x00u, EFFECT_STATIC}}) {
        link.SetEffectMode(mode, 0, 0, 0);
        simulator->clearTrace();
        LedProfileSet set;
        devicecontrol::ReadBackRequest request;
        request.readOnly = true;
        int lastApplied = 5;
        EXPECT_EQ(devicecontrol::LoadDeviceSettings(link, request, set, lastApplied), 0);
        EXPECT_EQ(set.selected().cardEffect, expected) << "mode " << mode;
        for (const std::string& command : takeCommands()) EXPECT_TRUE(command.starts_with("52/")) << command;
        EXPECT_EQ(DirectColour(set.selected().multiLayer), 0x332211u);
        EXPECT_EQ(set.selected().multiLayer.colour(EffectLayer::kDirectColours + 8), 0x998877u);
        std::uint32_t running = 0, p = 0;
        std::uint16_t r = 0;
        std::uint8_t s = 0;
        ASSERT_EQ(link.GetEffectMode(running, p, r, s, 0), 0);
        EXPECT_EQ(running & 0xFF, mode) << "the controller runs what it ran";
    }
}

TEST_F(ReadBackTest, AnUnpluggedControllerFailsTheLoadAndLeavesFillerValues) {
    const int id = simulator->plug(sim::ControllerKind::Standard).front();
    devicelink::CUSBDriver link;
    open(link, 0);
    simulator->unplug(id);
    ASSERT_TRUE(devicelinktest::pumpUntil([&] { return link.connected() == 0; }));
    LedProfileSet set;
    EXPECT_EQ(load(link, devicelink::Family::Standard, set), 1);
    EXPECT_EQ(set.selected().cardEffect, EFFECT_STATIC) << "a failed mode read reports mode 0";
    EXPECT_EQ(set.selected().multiLayer.colour(48), 0xFFFFFFu);
    EXPECT_EQ(set.selected().multiLayer.byte(52), 0xFF);
}

TEST_F(ReadBackTest, ArrivalPreparationAndItsEnd) {
    simulator->plug(sim::ControllerKind::Standard);
    devicelink::CUSBDriver link;
    open(link, 0);
    simulator->clearTrace();
    devicecontrol::PrepareArrivedDevice(link, 0);
    devicecontrol::FinishArrivedDevice(link, 0);
    EXPECT_THAT(takeCommands(), ElementsAre("40/20/0", "42/00/0", "40/63/0", "41/01/0", "41/00/0", "41/80/0"));
}

}  // namespace
