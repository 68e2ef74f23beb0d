#include "devicecontrol/ConfigurationSequences.h"

#include "devicecontrol/DeviceIdentity.h"
#include "platform/Timing.h"
#include "tests/devicecontrol/SimFixture.h"

#include <gmock/gmock.h>

using namespace effects;
using devicecontroltest::SimTest;
using testing::ElementsAre;

namespace {

class ConfigurationSequencesTest : public SimTest {};

TEST_F(ConfigurationSequencesTest, ApplyOnAGroupMemberSendsEveryCommandToEveryMember) {
    simulator->plug(sim::ControllerKind::Standard, 3);
    devicelink::CUSBDriver link;
    open(link, 0);
    devicecontrol::IdentityTable table(3, devicecontrol::IdentityBlock{devicecontrol::kIdentityPresent, 1, 0, 2, 0, 3,
                                                                       0, 4, 0});
    table[0][0] = table[2][0] = devicecontrol::kGroupMember;
    ASSERT_EQ(devicecontrol::SelectDeviceGroup(link, table, 2), 0);
    LedProfileSet set;
    ResetProfile(set.selected());
    set.selected().zelvor = 1;
    set.selected().cardEffect = EFFECT_STATIC;
    EditorState state;
    std::vector<int> progress;
    simulator->clearTrace();
    devicecontrol::ApplyConfiguration(link, devicelink::Family::Standard, set, state,
                                      [&](int value) { progress.push_back(value); });

    const auto trace = simulator->takeTrace();
    ASSERT_FALSE(trace.empty());
    ASSERT_EQ(trace.size() % 2, 0u);
    for (std::size_t i = 0; i < trace.size(); i += 2) {
        EXPECT_EQ(trace[i].deviceId, 1) << i;
        EXPECT_EQ(trace[i + 1].deviceId, 3) << i;
        EXPECT_EQ(trace[i].record, trace[i + 1].record) << i;
    }
    std::vector<std::string> commands;
    for (std::size_t i = 0; i < trace.size(); i += 2) commands.push_back(devicecontroltest::commandOf(trace[i]));
    EXPECT_THAT(std::vector<std::string>(commands.begin(), commands.begin() + 2), ElementsAre("41/03/0", "51/96/0"));
    EXPECT_EQ(trace[2].record[4], 0) << "sync source 0 before the write";
    // After the write: Zelvor's sync source, the closing control, then the page update.
    const auto close = std::find(commands.begin(), commands.end(), "50/55/0");
    ASSERT_NE(close, commands.end());
    EXPECT_EQ(*(close - 1), "51/96/0");
    EXPECT_EQ(trace[2 * (close - commands.begin() - 1)].record[4], 16);
    EXPECT_THAT(std::vector<std::string>(close + 1, commands.end()), ElementsAre("41/80/0", "51/96/0", "51/28/0"))
        << "Zelvor: the mode select hands the card to the sync source, and the preview of 'off' sends nothing";
    EXPECT_EQ(trace[trace.size() - 4].record[4], 16);
    EXPECT_EQ(trace.back().record[4], 0xE0);
    EXPECT_EQ(set.selected().cardEffect, EFFECT_MULTI);
    EXPECT_EQ(state.controlModeMarker, 0x80);
    EXPECT_EQ(progress.front(), 10);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

TEST_F(ConfigurationSequencesTest, TheExitSequenceGoesToEachControllerInPositionOrder) {
    simulator->plug(sim::ControllerKind::Standard, 2);
    devicelink::CUSBDriver link;
    open(link, 0);
    simulator->clearTrace();
    devicecontrol::SendExitSequence(link);
    const auto trace = simulator->takeTrace();
    std::vector<std::pair<int, std::string>> sent;
    for (const auto& entry : trace) sent.emplace_back(entry.deviceId, devicecontroltest::commandOf(entry));
    EXPECT_THAT(sent, ElementsAre(std::pair{1, std::string("41/03/0")}, std::pair{1, std::string("50/00/0")},
                                  std::pair{1, std::string("41/00/0")}, std::pair{2, std::string("41/03/0")},
                                  std::pair{2, std::string("50/00/0")}, std::pair{2, std::string("41/00/0")}));
}

// A profile whose Apply sends Morse texts, colours and the group map.
LedProfileSet appliedSet() {
    LedProfileSet set;
    ResetProfile(set.selected());
    set.selected().cardEffect = EFFECT_MULTI;
    return set;
}

TEST_F(ConfigurationSequencesTest, ApplyCountsTheCommandsTheControllerDidNotTakeAndStillSendsTheRest) {
    struct Case {
        sim::FaultKind fault;
        int records;  // the next this many records are dropped or answered with the error reply
    };
    const Case cases[] = {
        {sim::FaultKind::DropReplies, 0},
        {sim::FaultKind::DropReplies, 1},
        {sim::FaultKind::DropReplies, 3},
        {sim::FaultKind::ErrorReplies, 2},
    };
    const int id = simulator->plug(sim::ControllerKind::Standard).front();
    devicelink::CUSBDriver link;
    open(link, 0);
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(sim::faultName(c.fault)) + "=" + std::to_string(c.records));
        LedProfileSet set = appliedSet();
        EditorState state;
        simulator->clearTrace();
        const int fullWrite = devicecontrol::ApplyConfiguration(link, devicelink::Family::Standard, set, state);
        const std::size_t sent = simulator->takeTrace().size();
        EXPECT_EQ(fullWrite, 0);

        ASSERT_TRUE(simulator->setFault(id, c.fault, c.records));
        set = appliedSet();
        state = EditorState{};
        const int failed = devicecontrol::ApplyConfiguration(link, devicelink::Family::Standard, set, state);
        EXPECT_EQ(failed, c.records);
        EXPECT_EQ(simulator->takeTrace().size(), sent) << "a failed command does not stop the write";
    }
}

TEST_F(ConfigurationSequencesTest, ApplyWithoutAnyReplyCountsEveryCommandItSent) {
    platform::TimingPolicy quick = platform::timing();
    quick.hidReplyWait = std::chrono::milliseconds(10);  // no reply is coming in this test
    platform::setTiming(quick);
    const int id = simulator->plug(sim::ControllerKind::Led5).front();
    devicelink::CUSBDriver link(devicelink::Family::Led5);
    open(link, 2);
    ASSERT_TRUE(simulator->setFault(id, sim::FaultKind::DropReplies, 100000));
    LedProfileSet set = appliedSet();
    EditorState state;
    simulator->clearTrace();
    const int failed = devicecontrol::ApplyConfiguration(link, devicelink::Family::Led5, set, state);
    const std::size_t sent = simulator->takeTrace().size();
    EXPECT_GT(sent, 20u);
    EXPECT_EQ(failed, static_cast<int>(sent));
}

TEST_F(ConfigurationSequencesTest, AControllerThatLeavesDuringApplyEndsTheWriteAndCountsAsFailed) {
    const int id = simulator->plug(sim::ControllerKind::Standard).front();
    devicelink::CUSBDriver link;
    open(link, 0);
    std::vector<int> fullProgress;
    LedProfileSet set = appliedSet();
    EditorState state;
    ASSERT_EQ(devicecontrol::ApplyConfiguration(link, devicelink::Family::Standard, set, state,
                                                [&](int value) { fullProgress.push_back(value); }),
              0);

    ASSERT_TRUE(simulator->setFault(id, sim::FaultKind::UnplugAfter, 4));
    std::vector<int> progress;
    set = appliedSet();
    state = EditorState{};
    const int failed = devicecontrol::ApplyConfiguration(link, devicelink::Family::Standard, set, state,
                                                         [&](int value) { progress.push_back(value); });
    EXPECT_GT(failed, 0);
    EXPECT_EQ(link.connected(), 0) << "the link knows without waiting for the removal message";
    EXPECT_LT(progress.size(), fullProgress.size()) << "the per-effect steps after the removal are left out";
    EXPECT_EQ(progress.back(), 100);
}

TEST_F(ConfigurationSequencesTest, ApplyWithoutAControllerHasNothingToReport) {
    devicelink::CUSBDriver link;
    link.setInstanceIndex(0);
    EXPECT_FALSE(link.OpenDriver());
    LedProfileSet set = appliedSet();
    EditorState state;
    EXPECT_EQ(devicecontrol::ApplyConfiguration(link, devicelink::Family::Standard, set, state), 0);
}

}  // namespace
