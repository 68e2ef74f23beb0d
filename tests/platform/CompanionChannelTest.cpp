#include "platform/CompanionChannel.h"
#include "platform/Folders.h"
#include "tests/support/TestEnvironment.h"

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>

using platform::CompanionChannel;
using platform::CompanionListener;
using platform::CompanionMessage;
using namespace std::chrono_literals;

class CompanionChannelTest : public testsupport::IsolatedTest {};

TEST_F(CompanionChannelTest, WithoutACompanionNothingIsDelivered) {
    const CompanionChannel channel("Companion Window_Hid");
    EXPECT_FALSE(channel.exists());
    EXPECT_FALSE(channel.send({2929, 0, 1}, 100ms));
    EXPECT_FALSE(channel.post({2929, 0, 0}));
}

TEST_F(CompanionChannelTest, SendsArePostsArriveInOrderWithTheirValues) {
    CompanionListener listener("Companion Window_Hid");
    ASSERT_TRUE(listener.start());
    const CompanionChannel channel("Companion Window_Hid");
    EXPECT_EQ(channel.socketPath(), home.path("runtime/Companion Window_Hid"));
    EXPECT_TRUE(channel.exists());
    EXPECT_TRUE(channel.send({2929, 0, 1}, 2000ms));
    EXPECT_TRUE(channel.send({2931, 0xFFFFF, 1}, 2000ms));
    EXPECT_TRUE(channel.post({2931, 0xFFFF, 0}));
    ASSERT_TRUE(listener.waitForCount(3, 2000ms));
    const std::vector<CompanionMessage> expected = {{2929, 0, 1}, {2931, 0xFFFFF, 1}, {2931, 0xFFFF, 0}};
    EXPECT_EQ(listener.received(), expected);

    listener.stop();
    EXPECT_FALSE(channel.exists());
}

TEST_F(CompanionChannelTest, ASendWaitsOnlyBoundedlyForAnAcknowledgement) {
    // A companion that takes the datagram but never answers.
    const CompanionChannel channel("Silent_Hid");
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, channel.socketPath().c_str());
    ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    EXPECT_TRUE(channel.exists());
    EXPECT_FALSE(channel.send({2929, 0, 1}, 50ms));
    EXPECT_TRUE(channel.post({2929, 0, 0}));
    ::close(fd);
}

namespace {

// A socket bound at `path` by someone who is not our companion; -1 when it cannot be bound.
int bindImpostor(const std::string& path) {
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (path.size() >= sizeof address.sun_path) return -1;
    std::strcpy(address.sun_path, path.c_str());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool impostorReceivedSomething(int fd) {
    char byte = 0;
    return ::recv(fd, &byte, 1, MSG_DONTWAIT) >= 0;
}

}  // namespace

class CompanionFallbackTest : public testsupport::IsolatedTest {
protected:
    const std::string fallback = home.withoutRuntimeFolder();
    const std::string uid = std::to_string(::getuid());
};

TEST_F(CompanionFallbackTest, WithoutARuntimeFolderTheChannelMeetsOnlyOurCompanionInOurPrivateFolder) {
    // Where another user could have bound a socket before: the name in the shared temporary folder.
    const int impostor = bindImpostor(home.path("tmp/Companion Window_Hid-" + uid));
    ASSERT_GE(impostor, 0);
    const CompanionChannel channel("Companion Window_Hid");
    EXPECT_EQ(channel.socketPath(), fallback + "/Companion Window_Hid");
    EXPECT_EQ(channel.problem(), "");
    EXPECT_FALSE(channel.exists());
    EXPECT_FALSE(channel.post({2929, 0, 0}));

    CompanionListener listener("Companion Window_Hid");
    ASSERT_TRUE(listener.start());
    EXPECT_TRUE(channel.send({2929, 0, 1}, 2000ms));
    ASSERT_TRUE(listener.waitForCount(1, 2000ms));
    const std::vector<CompanionMessage> expected = {{2929, 0, 1}};
    EXPECT_EQ(listener.received(), expected);
    EXPECT_FALSE(impostorReceivedSomething(impostor));
    ::close(impostor);
}

TEST_F(CompanionFallbackTest, AFallbackFolderOpenToOthersIsRefusedAndNothingReachesWhoeverListensThere) {
    testsupport::makeFolder(fallback, std::filesystem::perms::all);
    const int impostor = bindImpostor(fallback + "/Companion Window_Hid");
    ASSERT_GE(impostor, 0);

    const CompanionChannel channel("Companion Window_Hid");
    EXPECT_EQ(channel.socketPath(), "");
    EXPECT_NE(channel.problem().find(fallback + " is open to other users"), std::string::npos) << channel.problem();
    EXPECT_FALSE(channel.exists());
    EXPECT_FALSE(channel.send({2929, 0, 1}, 50ms));
    EXPECT_FALSE(channel.post({2929, 0, 0}));
    EXPECT_FALSE(impostorReceivedSomething(impostor));

    CompanionListener listener("Companion Window_Hid");
    EXPECT_FALSE(listener.start());
    EXPECT_EQ(listener.problem(), channel.problem());
    // The listener did not take the name over from whoever bound it.
    EXPECT_TRUE(std::filesystem::exists(fallback + "/Companion Window_Hid"));
    ::close(impostor);
}

TEST(CompanionDatagram, RoundTripsEveryFieldAndRefusesWrongSizes) {
    const CompanionMessage message{2931, 0xFFFFF, -1};
    const std::vector<std::uint8_t> bytes = platform::encodeCompanionDatagram(message, 1);
    ASSERT_EQ(bytes.size(), CompanionChannel::kDatagramSize);
    EXPECT_EQ(bytes[0], 0x73);  // 2931 = 0x0B73, little-endian
    EXPECT_EQ(bytes[1], 0x0B);
    CompanionMessage decoded;
    std::uint32_t flags = 0;
    ASSERT_TRUE(platform::decodeCompanionDatagram(bytes.data(), bytes.size(), decoded, flags));
    EXPECT_EQ(decoded, message);
    EXPECT_EQ(flags, 1u);
    EXPECT_FALSE(platform::decodeCompanionDatagram(bytes.data(), bytes.size() - 1, decoded, flags));
}
