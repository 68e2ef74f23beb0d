#include "devicecontrol/DeviceIdentity.h"

#include "tests/devicecontrol/SimFixture.h"

#include <gmock/gmock.h>

#include <cstring>

using namespace devicecontrol;
using devicecontroltest::SimTest;
using testing::ElementsAre;

namespace {

TEST(RuntimeRandomTest, DrawsTheRuntimesSequenceAndScalesItToNonZeroWords) {
    RuntimeRandom random;
    random.seed(1);
    EXPECT_EQ(random.next(), 41);
    EXPECT_EQ(random.next(), 18467);
    random.seed(1);
    const auto identity = DrawIdentity(random);
    // 41, 18467, 6334, 26500 scaled by 0xFFFE / 0x7FFF, plus 1
    EXPECT_THAT(identity, ElementsAre(83, 0, 0x47, 0x90, 0x7D, 0x31, 0x09, 0xCF));
}

TEST(DeviceTitleTest, TheStoredNameElseTheNumberedTitle) {
    IdentityBlock block{};
    EXPECT_EQ(DeviceTitle(block, "Card %d", 3), "Card 3");
    const char16_t name[] = u"ABCDEFGHIJKLMNOPQRST";  // 20 units, no room for a terminator
    for (int i = 0; i < 20; ++i) block[kNameOffset + 2 * i] = static_cast<std::uint8_t>(name[i]);
    block[49] = 'X';
    EXPECT_EQ(DeviceTitle(block, "Card %d", 3), "ABCDEFGHIJKLMNOPQRST");
}

class NoHost : public GroupHost {
public:
    bool confirmOverwrite() override {
        ++asked;
        return answer;
    }
    void copyRecords(int from, int to) override { copies.emplace_back(from, to); }
    void selectDevice(int position) override { selected.push_back(position); }
    bool answer = false;
    int asked = 0;
    std::vector<std::pair<int, int>> copies;
    std::vector<int> selected;
};

class DeviceIdentitySimTest : public SimTest {
protected:
    IdentityBlock stored(devicelink::CUSBDriver& link, int position) {
        std::uint8_t data[60] = {};
        EXPECT_EQ(link.GetIdentityBlock(data, position), 0);
        IdentityBlock block;
        std::memcpy(block.data(), data, sizeof data);
        return block;
    }
    void store(devicelink::CUSBDriver& link, int position, const IdentityBlock& block) {
        std::uint8_t data[60];
        std::memcpy(data, block.data(), sizeof data);
        ASSERT_EQ(link.SetIdentityBlock(data, position), 0);
    }
};

TEST_F(DeviceIdentitySimTest, NewControllersGetDistinctIdentitiesEvenWithinOneSecond) {
    simulator->plug(sim::ControllerKind::Standard, 2);
    devicelink::CUSBDriver link;
    open(link, 0);
    store(link, 0, IdentityBlock{});
    store(link, 1, IdentityBlock{});
    simulator->clearTrace();
    IdentityTable table;
    RefreshDeviceIdentities(link, 2, table, [] { return 7u; });
    EXPECT_THAT(takeCommands(),
                ElementsAre("52/94/0", "52/94/0", "41/80/0", "51/94/0", "50/55/0", "41/80/0", "51/94/0", "50/55/0"));
    ASSERT_EQ(table.size(), 2u);
    for (int position : {0, 1}) {
        EXPECT_EQ(table[position][0], kIdentityPresent);
        EXPECT_EQ(stored(link, position), table[position]);
        for (int word = 0; word < 4; ++word)
            EXPECT_NE(table[position][1 + 2 * word] | table[position][2 + 2 * word] << 8, 0) << position;
    }
    EXPECT_FALSE(std::equal(table[0].begin() + 1, table[0].begin() + 9, table[1].begin() + 1));
}

TEST_F(DeviceIdentitySimTest, OfTwoEqualIdentitiesTheLowerPositionGetsANewOneAndLeavesTheGroup) {
    simulator->plug(sim::ControllerKind::Standard, 2);
    devicelink::CUSBDriver link;
    open(link, 0);
    IdentityBlock shared{kGroupMember, 1, 2, 3, 4, 5, 6, 7, 8};
    shared[55] = 0xAB;
    store(link, 0, shared);
    store(link, 1, shared);
    IdentityTable table;
    RefreshDeviceIdentities(link, 2, table, [] { return 1u; });
    EXPECT_EQ(table[1], shared);
    EXPECT_EQ(table[0][0], kIdentityPresent);
    EXPECT_EQ(table[0][1], 83) << "the identity drawn from seed 1";
    EXPECT_EQ(table[0][55], 0xAB) << "the rest of the block is written back as read";
    EXPECT_EQ(stored(link, 0), table[0]);
}

TEST_F(DeviceIdentitySimTest, JoiningAGroupAsksBeforeTakingTheMembersConfiguration) {
    simulator->plug(sim::ControllerKind::Standard, 3);
    devicelink::CUSBDriver link;
    open(link, 0);
    IdentityTable table(3, IdentityBlock{kIdentityPresent, 1, 0, 1, 0, 1, 0, 1, 0});
    table[2][0] = kGroupMember;
    NoHost host;
    simulator->clearTrace();
    EXPECT_EQ(ToggleGroupMember(link, table, 1, 0, host), 0) << "neither current nor a member";
    EXPECT_TRUE(takeCommands().empty());

    EXPECT_EQ(ToggleGroupMember(link, table, 0, 0, host), 0);
    EXPECT_EQ(host.asked, 1);
    EXPECT_EQ(table[0][0], kIdentityPresent) << "refused: nothing changes";
    EXPECT_TRUE(takeCommands().empty());

    host.answer = true;
    EXPECT_EQ(ToggleGroupMember(link, table, 0, 0, host), 0);
    EXPECT_EQ(table[0][0], kGroupMember);
    EXPECT_THAT(host.copies, ElementsAre(std::pair{2, 0}));
    EXPECT_THAT(takeCommands(), ElementsAre("51/94/0", "50/55/0"));
    EXPECT_EQ(stored(link, 0)[0], kGroupMember);

    EXPECT_EQ(SelectDeviceGroup(link, table, 2), 0) << "the first member becomes current";
    EXPECT_THAT(link.groupList(), ElementsAre(0, 2));
    EXPECT_EQ(SelectDeviceGroup(link, table, 1), 1);
    EXPECT_TRUE(link.groupList().empty());
}

TEST_F(DeviceIdentitySimTest, TheGroupAllBoxJoinsEveryDeviceAfterOneQuestionAndLeavesWithoutOne) {
    simulator->plug(sim::ControllerKind::Standard, 3);
    devicelink::CUSBDriver link;
    open(link, 0);
    IdentityTable table(3, IdentityBlock{kIdentityPresent, 1, 0, 1, 0, 1, 0, 1, 0});
    table[1][0] = kGroupMember;
    for (int position : {0, 1, 2}) store(link, position, table[position]);
    NoHost host;
    simulator->clearTrace();
    EXPECT_FALSE(ToggleGroupAll(link, table, 2, host));
    EXPECT_EQ(host.asked, 1);
    EXPECT_TRUE(takeCommands().empty());
    EXPECT_TRUE(host.selected.empty());

    host.answer = true;
    EXPECT_TRUE(ToggleGroupAll(link, table, 2, host));
    EXPECT_EQ(host.asked, 2);
    EXPECT_THAT(host.copies, ElementsAre(std::pair{1, 0}, std::pair{1, 2})) << "the first member's records";
    EXPECT_THAT(host.selected, ElementsAre(2));
    const auto joined = simulator->takeTrace();
    ASSERT_EQ(joined.size(), 4u) << "the member that was one already is left alone";
    EXPECT_EQ(joined[0].deviceId, 1);
    EXPECT_EQ(joined[2].deviceId, 3);
    for (int position : {0, 1, 2}) {
        EXPECT_EQ(table[position][0], kGroupMember) << position;
        EXPECT_EQ(stored(link, position)[0], kGroupMember) << position;
    }

    EXPECT_TRUE(ToggleGroupAll(link, table, 0, host));
    EXPECT_EQ(host.asked, 2) << "leaving asks nothing";
    EXPECT_EQ(host.copies.size(), 2u);
    for (int position : {0, 1, 2}) EXPECT_EQ(stored(link, position)[0], kIdentityPresent) << position;
    EXPECT_THAT(host.selected, ElementsAre(2, 0));
}

TEST_F(DeviceIdentitySimTest, NamesAreCutAt20CharactersAndEmptyNamesIgnored) {
    simulator->plug(sim::ControllerKind::Standard);
    devicelink::CUSBDriver link;
    open(link, 0);
    IdentityTable table(1, IdentityBlock{kIdentityPresent, 1, 0, 1, 0, 1, 0, 1, 0});
    NoHost host;
    EXPECT_EQ(StoreDeviceName(link, table, 0, u"", host), 1);
    EXPECT_EQ(StoreDeviceName(link, table, 0, u"ABCDEFGHIJKLMNOPQRSTUVWXY", host), 0);
    EXPECT_EQ(IdentityName(stored(link, 0)), u"ABCDEFGHIJKLMNOPQRST");
    EXPECT_EQ(StoreDeviceName(link, table, 0, u"Top", host), 0);
    EXPECT_EQ(IdentityName(stored(link, 0)), u"Top") << "the old name is cleared";
    EXPECT_EQ(StoreDeviceName(link, table, 1, u"Top", host), 1);
}

}  // namespace
