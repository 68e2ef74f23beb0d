// The SDK protocol in process: request bytes in, reply bytes out, against
// fixtures written from the protocol's documentation.
#include "openrgb/ControllerMapping.h"
#include "openrgb/Protocol.h"
#include "openrgb/SdkSession.h"

#include "platform/Numbers.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace {

using namespace openrgb;

Bytes hex(const std::string& text) {
    Bytes bytes;
    std::string digits;
    for (const char c : text)
        if (c != ' ') digits += c;
    for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
        bytes.push_back(*platform::parseWholeNumber<std::uint8_t>(std::string_view(digits).substr(i, 2), 16));
    return bytes;
}

std::string hexOf(const Bytes& bytes) {
    std::string text;
    char digits[3];
    for (const std::uint8_t byte : bytes) {
        std::snprintf(digits, sizeof digits, "%02x", byte);
        text += digits;
    }
    return text;
}

// A host with two small controllers that records what the session asked of it.
class FakeHost : public ControllerHost {
public:
    int controllerCount() override { return 2; }
    Controller describe(int index) override {
        Controller controller;
        controller.name = index == 0 ? "A" : "B";
        return controller;
    }
    bool updateMode(int index, int modeIndex, const Mode& mode, bool save) override {
        calls.push_back((save ? "save " : "update ") + std::to_string(index) + " " + std::to_string(modeIndex) + " " +
                        mode.name);
        return modeIndex == 0;
    }
    bool setCustomMode(int index) override {
        calls.push_back("custom " + std::to_string(index));
        return true;
    }
    bool updateLeds(int index, const LedUpdate& update) override {
        std::string call = "leds " + std::to_string(index) + " zone " +
                           (update.zone ? std::to_string(*update.zone) : std::string("-")) + " first " +
                           std::to_string(update.first);
        for (const RgbColour colour : update.colours)
            call += " " + hexOf({std::uint8_t(colour), std::uint8_t(colour >> 8), std::uint8_t(colour >> 16)});
        calls.push_back(call);
        return true;
    }
    std::vector<std::string> profiles() override { return {"Saved"}; }
    bool loadProfile(const std::string& name) override {
        calls.push_back("load " + name);
        return name == "Saved";
    }
    void refused(const std::string& what) override { calls.push_back("refused " + what.substr(0, what.find(':'))); }
    std::vector<std::string> calls;
};

struct Exchange {
    const char* what;
    const char* request;
    const char* reply;
    std::vector<std::string> calls;
};

// Header: "ORGB" 4f524742, device index, packet ID, data size.
const Exchange kExchanges[] = {
    {"controller count", "4f524742 00000000 00000000 00000000", "4f524742 00000000 00000000 04000000 02000000", {}},
    {"protocol version: the client's when lower",
     "4f524742 00000000 28000000 04000000 03000000",
     "4f524742 00000000 28000000 04000000 03000000",
     {}},
    {"protocol version: ours when the client's is higher",
     "4f524742 00000000 28000000 04000000 09000000",
     "4f524742 00000000 28000000 04000000 04000000",
     {}},
    {"client name: no reply", "4f524742 00000000 32000000 05000000 74657374 00", "", {}},
    {"profile list",
     "4f524742 00000000 96000000 00000000",
     "4f524742 00000000 96000000 0e000000 0e000000 0100 0600 5361766564 00",
     {}},
    {"load profile", "4f524742 00000000 98000000 06000000 5361766564 00", "", {"load Saved"}},
    {"load an unknown profile",
     "4f524742 00000000 98000000 02000000 5800",
     "",
     {"load X", "refused load profile \"X\""}},
    {"save profile is refused",
     "4f524742 00000000 97000000 02000000 5800",
     "",
     {"refused save or delete profile \"X\""}},
    {"resize zone is refused", "4f524742 01000000 e8030000 08000000 00000000 05000000", "", {"refused resize zone"}},
    {"update LEDs",
     "4f524742 01000000 1a040000 0e000000 0e000000 0200 ff000000 00ff0000",
     "",
     {"leds 1 zone - first 0 ff0000 00ff00"}},
    {"update zone LEDs",
     "4f524742 00000000 1b040000 0e000000 0e000000 01000000 0100 0000ff00",
     "",
     {"leds 0 zone 1 first 0 0000ff"}},
    {"update single LED",
     "4f524742 00000000 1c040000 08000000 03000000 11223300",
     "",
     {"leds 0 zone - first 3 112233"}},
    {"LEDs of a controller that is not there", "4f524742 07000000 1c040000 08000000 03000000 11223300", "", {}},
    {"custom mode", "4f524742 01000000 4c040000 00000000", "", {"custom 1"}},
    // protocol 0 mode block: no brightness fields
    {"update mode",
     "4f524742 00000000 4d040000 33000000 33000000 00000000 0300 4f6e00 00000000 20000000 00000000 00000000"
     " 00000000 00000000 00000000 00000000 01000000 0000",
     "",
     {"update 0 0 On"}},
    {"save mode of a mode the host refuses",
     "4f524742 00000000 4e040000 33000000 33000000 02000000 0300 4f6e00 00000000 20000000 00000000 00000000"
     " 00000000 00000000 00000000 00000000 01000000 0000",
     "",
     {"save 0 2 On", "refused mode 2 \"On\""}},
    {"an unknown packet is skipped, the next answered",
     "4f524742 00000000 39300000 03000000 010203 4f524742 00000000 00000000 00000000",
     "4f524742 00000000 00000000 04000000 02000000",
     {}},
    {"controller data of a controller that is not there", "4f524742 05000000 01000000 04000000 04000000", "", {}},
};

TEST(SdkSessionTest, AnswersEveryPacketAsTheProtocolSays) {
    for (const Exchange& exchange : kExchanges) {
        FakeHost host;
        SdkSession session(host);
        const Bytes request = hex(exchange.request);
        Bytes reply;
        EXPECT_TRUE(session.receive(request.data(), request.size(), reply)) << exchange.what;
        EXPECT_EQ(hexOf(reply), hexOf(hex(exchange.reply))) << exchange.what;
        EXPECT_EQ(host.calls, exchange.calls) << exchange.what;
    }
}

TEST(SdkSessionTest, APacketInPiecesIsAnsweredOnceWhole) {
    FakeHost host;
    SdkSession session(host);
    const Bytes request = hex("4f524742 00000000 28000000 04000000 02000000");
    Bytes reply;
    for (const std::uint8_t byte : request) {
        EXPECT_TRUE(reply.empty());
        ASSERT_TRUE(session.receive(&byte, 1, reply));
    }
    EXPECT_EQ(hexOf(reply), hexOf(hex("4f524742 00000000 28000000 04000000 02000000")));
    EXPECT_EQ(session.protocolVersion(), 2u);
}

TEST(SdkSessionTest, TheClientNameIsKeptAndCut) {
    FakeHost host;
    SdkSession session(host);
    Bytes request = hex("4f524742 00000000 32000000 2c010000");  // 300 bytes of name, no terminator
    request.resize(request.size() + 300, 'n');
    Bytes reply;
    ASSERT_TRUE(session.receive(request.data(), request.size(), reply));
    EXPECT_EQ(session.clientName(), std::string(255, 'n'));
}

TEST(SdkSessionTest, MalformedOrOversizedPacketsCloseTheClient) {
    const struct {
        const char* what;
        const char* request;
    } cases[] = {
        {"wrong magic", "4f524758 00000000 00000000 00000000"},
        {"more data announced than any request needs", "4f524742 00000000 32000000 01000100"},
        {"the largest size there is", "4f524742 00000000 4d040000 ffffffff"},
        {"protocol version without its number", "4f524742 00000000 28000000 02000000 0100"},
        {"controller data with a stray byte", "4f524742 00000000 01000000 05000000 0400000000"},
        {"LED update whose size field disagrees", "4f524742 00000000 1a040000 0a000000 0b000000 0100 ff000000"},
        {"LED update with more colours than bytes", "4f524742 00000000 1a040000 0a000000 0a000000 0200 ff000000"},
        {"LED update with bytes after its colours", "4f524742 00000000 1a040000 0b000000 0b000000 0100 ff000000 00"},
        {"zone update cut short", "4f524742 00000000 1b040000 08000000 08000000 01000000"},
        {"single LED with a negative index", "4f524742 00000000 1c040000 08000000 ffffffff 11223300"},
        {"single LED too short", "4f524742 00000000 1c040000 04000000 03000000"},
        {"resize zone too short", "4f524742 00000000 e8030000 04000000 00000000"},
        {"mode update whose name runs past the end", "4f524742 00000000 4d040000 0c000000 0c000000 00000000 ff00 4f6e"},
    };
    for (const auto& c : cases) {
        FakeHost host;
        SdkSession session(host);
        const Bytes request = hex(c.request);
        Bytes reply;
        EXPECT_FALSE(session.receive(request.data(), request.size(), reply)) << c.what;
        EXPECT_TRUE(reply.empty()) << c.what;
        EXPECT_TRUE(host.calls.empty()) << c.what;
        // Nothing more is taken from a client once it broke the protocol.
        const Bytes count = hex("4f524742 00000000 00000000 00000000");
        EXPECT_FALSE(session.receive(count.data(), count.size(), reply)) << c.what;
        EXPECT_TRUE(reply.empty()) << c.what;
    }
}

TEST(PacketStreamTest, AnOversizedHeaderIsRefusedBeforeItsDataArrives) {
    PacketStream stream;
    const Bytes header = hex("4f524742 00000000 32000000 01000100");
    stream.append(header.data(), header.size());
    Packet packet;
    EXPECT_EQ(stream.next(packet), PacketStream::Status::Malformed);
    EXPECT_EQ(stream.buffered(), 0u);
    const Bytes more(1000, 0);
    stream.append(more.data(), more.size());
    EXPECT_EQ(stream.buffered(), 0u);
}

TEST(SdkSessionTest, DeviceListUpdatedHasNoData) {
    EXPECT_EQ(hexOf(DeviceListUpdated()), hexOf(hex("4f524742 00000000 64000000 00000000")));
}

// The annotated fixture as bytes for one protocol version.
Bytes assemble(const std::string& file, std::uint32_t version) {
    std::ifstream input(std::string(LUMENSTRA_SOURCE_DIR "/tests/openrgb/fixtures/") + file);
    EXPECT_TRUE(input) << file;
    Bytes bytes;
    std::string line;
    const auto appendLe = [&](std::uint32_t value, int width) {
        for (int i = 0; i < width; ++i) bytes.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
    };
    while (std::getline(input, line)) {
        if (line.empty() || line[0] == '#') continue;
        if (line[0] == 'v') {
            const std::uint32_t from = static_cast<std::uint32_t>(line[1] - '0');
            line = line.substr(line.find(' ') + 1);
            if (version < from) continue;
        }
        const std::string kind = line.substr(0, line.find(' '));
        const std::string value = line.find(' ') == std::string::npos ? "" : line.substr(line.find(' ') + 1);
        if (kind == "size") {
            appendLe(0, 4);
        } else if (kind == "str") {
            appendLe(static_cast<std::uint32_t>(value.size() + 1), 2);
            bytes.insert(bytes.end(), value.begin(), value.end());
            bytes.push_back(0);
        } else {
            const bool isHex = value.starts_with("0x");
            const auto number =
                platform::parseWholeNumber<std::uint32_t>(isHex ? value.substr(2) : value, isHex ? 16 : 10);
            EXPECT_TRUE(number) << file << ": " << line;
            appendLe(number.value_or(0), kind == "u16" ? 2 : 4);
        }
    }
    const std::uint32_t size = static_cast<std::uint32_t>(bytes.size());
    for (int i = 0; i < 4; ++i) bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(size >> (8 * i));
    return bytes;
}

TEST(ControllerDataTest, AFreshCardOfEachFamilyIsDescribedAsTheFixtureSays) {
    const struct {
        devicelink::Family family;
        const char* title;
        const char* fixture;
    } cards[] = {{devicelink::Family::Standard, "Top", "standard-controller.txt"},
                 {devicelink::Family::Led5, "Side", "led5-controller.txt"}};
    for (const auto& card : cards) {
        effects::LedProfile profile;
        effects::ResetProfile(profile);
        CardInfo info;
        info.family = card.family;
        info.title = card.title;
        info.firmware = "1.2.3";
        info.identity = "0011223344556677";
        info.location = "HID: usb-1";
        const Controller controller = DescribeCard(info, profile);
        for (const std::uint32_t version : {0u, 1u, 3u, kHighestProtocol}) {
            const Bytes expected = assemble(card.fixture, version);
            EXPECT_EQ(hexOf(SerialiseControllerData(controller, version)), hexOf(expected))
                << card.fixture << " at protocol " << version;
        }
        // The reply packet: the header names the size of the whole block.
        FakeHost unused;
        const Bytes packet = MakePacket(0, REQUEST_CONTROLLER_DATA, SerialiseControllerData(controller, 0));
        EXPECT_EQ(packet.size(), kHeaderSize + assemble(card.fixture, 0).size());
    }
}

TEST(ModeBlockTest, AModeTravelsBothWaysAtEveryVersion) {
    Mode mode;
    mode.name = "Rotate";
    mode.value = 0x0A;
    mode.flags = MODE_FLAG_HAS_SPEED | MODE_FLAG_HAS_BRIGHTNESS | MODE_FLAG_HAS_MODE_SPECIFIC_COLOR;
    mode.speedMax = 4;
    mode.brightnessMax = 2;
    mode.coloursMin = mode.coloursMax = 2;
    mode.speed = 3;
    mode.brightness = 1;
    mode.direction = DIRECTION_RIGHT;
    mode.colourMode = COLOR_MODE_SPECIFIC;
    mode.colours = {0x0000FF, 0x00FF00};
    for (const std::uint32_t version : {0u, 2u, 3u, 4u}) {
        Bytes data = {0, 0, 0, 0, 7, 0, 0, 0};  // size (filled in below), mode index 7
        AppendMode(data, mode, version);
        data[0] = static_cast<std::uint8_t>(data.size());
        const std::optional<ModeUpdate> parsed = ParseModeUpdate(data, version);
        ASSERT_TRUE(parsed) << version;
        EXPECT_EQ(parsed->index, 7);
        Mode expected = mode;
        if (version < 3) expected.brightnessMax = expected.brightness = 0;
        EXPECT_EQ(parsed->mode, expected) << version;
        // The same block read at another version does not fit.
        EXPECT_FALSE(ParseModeUpdate(data, version < 3 ? 3 : 0)) << version;
    }
}

}  // namespace
