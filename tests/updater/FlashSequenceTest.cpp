// The flashing sequence against emulated controllers in the same process.
#include "devicelink/HidLibrary.h"
#include "platform/Messages.h"
#include "platform/Timing.h"
#include "sim/SimBackend.h"
#include "tests/support/TestEnvironment.h"
#include "tests/updater/UpdaterFixture.h"
#include "updater/FlashSequence.h"
#include "updater/UpdateDecision.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace std::chrono_literals;

constexpr std::uint32_t kStart = 1024;  // S of the emulated controller

class FlashSequenceTest : public testsupport::IsolatedTest {
protected:
    FlashSequenceTest() {
        devicelink::HidSetBackend(simulator);
        group.writeBlockSize = 60;
        imageGroup.versionText = u"1.2.7";
    }
    ~FlashSequenceTest() override {
        link.reset();
        devicelink::HidSetBackend(nullptr);
    }

    int plugBootLoader() {
        sim::DeviceSpec spec;
        spec.bootLoader = true;
        spec.firmware = {1, 2, 5};
        const int id = simulator->plug(spec).id;
        link = std::make_unique<updater::IapLink>(1, 0x2516, 0x014E);
        link->open();
        return id;
    }

    updater::FlashResult flash(std::size_t length, std::size_t infoLength = 180) {
        image.data.resize(length);
        for (std::size_t i = 0; i < length; ++i) image.data[i] = static_cast<std::uint8_t>(i * 7 + 3);
        image.info.assign(infoLength, 0xFF);
        image.info[120 + 2] = 1;
        image.info[120 + 3] = 2;
        image.info[120 + 4] = 7;
        image.info[120 + 5] = image.info[120 + 6] = image.info[120 + 7] = 0;
        image.info[120 + 56] = 0xA5;
        image.info[120 + 57] = 0x5A;
        updater::FlashJob job;
        job.group = &group;
        job.imageGroup = &imageGroup;
        job.image = &image;
        job.imageNumber = 0;
        job.progress = [this](int value) { progress.push_back(value); };
        return updater::RunFlashSequence(*link, job);
    }

    std::vector<std::uint8_t> flashOf(int id) {
        std::vector<std::uint8_t> bytes;
        simulator->inspect(id, [&](const sim::EmulatedController& c) { bytes = c.flash(); });
        return bytes;
    }

    std::vector<std::pair<int, int>> commandsSent() {
        std::vector<std::pair<int, int>> commands;
        for (const sim::TraceEntry& entry : simulator->trace()) commands.emplace_back(entry.record[0], entry.record[1]);
        return commands;
    }

    updatertest::ShortUpdaterTiming timing;
    std::shared_ptr<sim::SimBackend> simulator = std::make_shared<sim::SimBackend>(0ms);
    std::unique_ptr<updater::IapLink> link;
    updater::GroupRecord group;
    updater::GroupBlock imageGroup;
    updater::FirmwareImage image;
    std::vector<int> progress;
};

TEST_F(FlashSequenceTest, WritesTheImageAndTheVersionRecordThenResets) {
    const int id = plugBootLoader();
    ASSERT_EQ(link->connected(), 1);
    const updater::FlashResult result = flash(61);
    ASSERT_TRUE(result.ok) << result.reason;
    const auto bytes = flashOf(id);
    EXPECT_TRUE(std::equal(image.data.begin(), image.data.end(), bytes.begin() + kStart));
    EXPECT_EQ(bytes[kStart + 61], 0xFF) << "nothing written past the image";
    EXPECT_EQ(bytes[0], 26) << "version record length";
    EXPECT_EQ(bytes[4], '1');
    // 61 bytes in blocks of 60: two block writes of 60 and 1 bytes for the image.
    const auto commands = commandsSent();
    std::vector<int> imageBlocks;
    for (const auto& [cmd, key] : commands) {
        if (cmd == 0x1F) imageBlocks.push_back(key);
        if (cmd == 0x1D && key == 0x01) break;
    }
    EXPECT_EQ(imageBlocks, (std::vector<int>{60, 1}));
    EXPECT_EQ(commands.back(), (std::pair<int, int>{0x11, 0x01})) << "ends with ResetDevice";
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
    sim::FirmwareVersion version;
    simulator->inspect(id, [&](const sim::EmulatedController& c) { version = c.firmwareVersion(); });
    EXPECT_EQ(version, (sim::FirmwareVersion{1, 2, 7}));
}

TEST_F(FlashSequenceTest, AShortWritePointSetsThePointBackAndRewritesTheBlock) {
    const int id = plugBootLoader();
    simulator->setFault(id, sim::FaultKind::ShortWrites, 1);
    const updater::FlashResult result = flash(150);
    ASSERT_TRUE(result.ok) << result.reason;
    const auto bytes = flashOf(id);
    EXPECT_TRUE(std::equal(image.data.begin(), image.data.end(), bytes.begin() + kStart));
    const auto commands = commandsSent();
    const auto firstBlock = std::find(commands.begin(), commands.end(), std::pair<int, int>{0x1F, 60});
    ASSERT_NE(firstBlock, commands.end());
    // The short block is followed by SetWritePoint + GetWritePoint and the same block again.
    ASSERT_GE(commands.end() - firstBlock, 4);
    EXPECT_EQ(firstBlock[1], (std::pair<int, int>{0x1E, 0x01}));
    EXPECT_EQ(firstBlock[2], (std::pair<int, int>{0x1E, 0x00}));
    EXPECT_EQ(firstBlock[3], (std::pair<int, int>{0x1F, 60}));
}

TEST_F(FlashSequenceTest, ErrorRepliesFailTheStepAndTheSequenceErasesOnFailure) {
    const int id = plugBootLoader();
    simulator->setFault(id, sim::FaultKind::ErrorReplies, 100);
    const updater::FlashResult result = flash(61);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.reason, "Fail to Get FW Info!");
    const auto commands = commandsSent();
    EXPECT_EQ(std::count(commands.begin(), commands.end(), std::pair<int, int>{0x12, 0x00}), updater::kRetries);
    EXPECT_EQ(commands.back(), (std::pair<int, int>{0x1D, 0x00})) << "the failure erase";
}

TEST_F(FlashSequenceTest, PowerLossMidFlashFailsWithTheBlockOffsetWithoutSpendingTheRetries) {
    const int id = plugBootLoader();
    // Information, erase, write point set and read, then two blocks go through.
    simulator->setFault(id, sim::FaultKind::UnplugAfter, 7);
    const updater::FlashResult result = flash(600);
    EXPECT_FALSE(result.ok);
    EXPECT_EQ(result.reason, "Fail to Write Flash : 120 Block!");
    EXPECT_EQ(simulator->trace().size(), 7u) << "nothing is sent to a controller that left the bus";
}

TEST_F(FlashSequenceTest, ChecksumMismatchesRunFurtherPasses) {
    struct Case {
        int wrongChecksums;
        bool ok;
        long passes;
    };
    // One wrong value: a second pass succeeds. The same wrong value twice ends after the second pass.
    const Case cases[] = {{0, true, 1}, {1, true, 2}, {2, false, 2}};
    for (const Case& c : cases) {
        const int id = plugBootLoader();
        simulator->setFault(id, sim::FaultKind::WrongChecksums, c.wrongChecksums);
        const updater::FlashResult result = flash(61);
        EXPECT_EQ(result.ok, c.ok) << c.wrongChecksums;
        if (!c.ok) {
            EXPECT_EQ(result.reason, "Fail to  CheckSum FW Data!");
        }
        const auto commands = commandsSent();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), std::pair<int, int>{0x1D, 0x01}), c.passes)
            << c.wrongChecksums;
        simulator->unplug(id);
        simulator->clearTrace();
    }
}

// A package shape that cannot be written whole is refused before the erase:
// nothing written, nothing erased.
TEST_F(FlashSequenceTest, APackageThatCannotBeWrittenLeavesTheFlashUntouched) {
    const struct {
        const char* what;
        int blockSize;
        std::size_t infoLength;
    } cases[] = {{"block size 0", 0, 180}, {"version record past the version area", 60, kStart + 1}};
    for (const auto& c : cases) {
        const int id = plugBootLoader();
        const auto before = flashOf(id);
        group.writeBlockSize = static_cast<std::uint8_t>(c.blockSize);
        const updater::FlashResult result = flash(61, c.infoLength);
        EXPECT_FALSE(result.ok) << c.what;
        EXPECT_EQ(result.reason, "Layout Error!") << c.what;
        const auto commands = commandsSent();
        EXPECT_EQ(std::count_if(commands.begin(), commands.end(),
                                [](const auto& command) { return command.first == 0x1D || command.first == 0x1F; }),
                  0)
            << c.what;
        EXPECT_EQ(flashOf(id), before) << c.what;
        simulator->unplug(id);
        simulator->clearTrace();
    }
}

TEST_F(FlashSequenceTest, InformationIsReadFromTheBootLoader) {
    plugBootLoader();
    updater::DeviceInformation information;
    ASSERT_TRUE(updater::ReadDeviceInformation(*link, information));
    updater::FirmwareVersion version;
    ASSERT_TRUE(updater::DeviceVersion(information, version));
    EXPECT_EQ(version, (updater::FirmwareVersion{1, 2, 5}));
    EXPECT_EQ(updater::DeviceVersionText(information), u"1.2.5");
}

}  // namespace
