#include "devicelink/EffectSlotCodec.h"

#include <gtest/gtest.h>

#include <map>

using devicelink::EffectBlock;

namespace {

// Bytes 0-8 of a block; the rest is 0xFF filler that must stay untouched.
using Head = std::array<int, 9>;

EffectBlock blockOf(const Head& head) {
    EffectBlock block;
    block.fill(0xFF);
    for (std::size_t i = 0; i < head.size(); ++i) block[i] = static_cast<std::uint8_t>(head[i]);
    return block;
}

void expectHead(const EffectBlock& block, const Head& expected, const char* direction, const Head& input) {
    for (std::size_t i = 0; i < expected.size(); ++i)
        EXPECT_EQ(block[i], expected[i]) << direction << " byte " << i << " of mode " << input[0] << " speed "
                                         << input[1] << " variant " << input[3];
    for (std::size_t i = expected.size(); i < block.size(); ++i) ASSERT_EQ(block[i], 0xFF) << "byte " << i;
}

// mode, speed, flags, variant, option, brightness, colour r g b
TEST(EffectSlotCodec, ModelLevelsBecomeDeviceValues) {
    const struct {
        Head in, out;
    } cases[] = {
        {{0x00, 3, 0, 0, 7, 1, 1, 2, 3}, {0x00, 3, 0, 0, 7, 0x99, 1, 2, 3}},
        {{0x00, 0, 0, 0, 0, 9, 1, 2, 3}, {0x00, 0, 0, 0, 0, 0x4C, 1, 2, 3}},
        {{0x01, 0, 0x81, 0, 0, 2, 1, 2, 3}, {0x01, 0x3C, 0xA1, 0x03, 0, 0xFF, 1, 2, 3}},
        {{0x01, 9, 0, 0, 0, 0, 1, 2, 3}, {0x01, 0x26, 0x20, 0x03, 0, 0x4C, 1, 2, 3}},
        {{0x02, 1, 0, 0, 0, 1, 1, 2, 3}, {0x02, 0x8C, 0, 0, 0, 0x40, 0xFF, 0xFF, 0xFF}},
        {{0x02, 4, 0, 0, 0, 2, 1, 2, 3}, {0x02, 0x68, 0, 0, 0, 0x7F, 0xFF, 0xFF, 0xFF}},
        {{0x02, 2, 0, 0, 0, 0, 1, 2, 3}, {0x02, 0x80, 0, 0, 0, 0x10, 0xFF, 0xFF, 0xFF}},
        {{0x05, 2, 0, 0, 0, 2, 1, 2, 3}, {0x05, 2, 0, 0x01, 0, 0xFF, 1, 2, 3}},
        {{0x05, 1, 0, 1, 0, 1, 1, 2, 3}, {0x05, 0x37, 0x20, 0x03, 0, 0x99, 1, 2, 3}},
        {{0x06, 3, 0, 2, 0, 1, 1, 2, 3}, {0x06, 0x6E, 0, 0x02, 0, 0x40, 0xFF, 0xFF, 0xFF}},
        {{0x06, 3, 0, 7, 0, 1, 1, 2, 3}, {0x06, 3, 0, 0x00, 0, 1, 1, 2, 3}},
        {{0x07, 3, 0, 0, 0, 1, 1, 2, 3}, {0x07, 0x62, 0, 0x05, 0, 0x99, 0xFF, 0xFF, 0xFF}},
        {{0x08, 0, 0, 9, 0, 2, 1, 2, 3}, {0x08, 0x84, 0, 9, 0, 0xFF, 1, 2, 3}},
        {{0x09, 3, 0, 0, 0, 0, 1, 2, 3}, {0x09, 0x78, 0, 0xC3, 0, 0x4C, 1, 2, 3}},
        {{0x0A, 4, 0, 0, 0, 1, 1, 2, 3}, {0x0A, 0x74, 0, 0x4A, 0, 0x99, 1, 2, 3}},
        {{0x0B, 0, 0, 0, 0, 2, 1, 2, 3}, {0x0B, 0x6B, 0, 0x05, 0, 0xFF, 1, 2, 3}},
        {{0x10, 0, 0, 0, 0, 2, 1, 2, 3}, {0x10, 0x50, 0, 0x08, 0, 2, 1, 2, 3}},
        {{0x10, 3, 0, 0, 0, 1, 1, 2, 3}, {0x10, 0x32, 0, 0x38, 0, 1, 1, 2, 3}},
        {{0x10, 4, 0, 0, 0, 1, 1, 2, 3}, {0x10, 0x28, 0, 0x40, 0, 1, 1, 2, 3}},
        {{0x10, 7, 0, 0x66, 0, 1, 1, 2, 3}, {0x10, 7, 0, 0x66, 0, 1, 1, 2, 3}},
        {{0x11, 2, 0, 0, 0, 2, 1, 2, 3}, {0x11, 0x38, 0, 0, 0, 2, 1, 2, 3}},
        {{0x11, 8, 0, 0, 0, 2, 1, 2, 3}, {0x11, 0x27, 0, 0, 0, 2, 1, 2, 3}},
        {{0xB0, 1, 0, 0, 0, 2, 1, 2, 3}, {0xB0, 1, 0, 0, 0, 0xFF, 1, 2, 3}},
        {{0xE0, 1, 0, 0, 0, 2, 1, 2, 3}, {0xE0, 1, 0, 0, 0, 2, 1, 2, 3}},
    };
    for (const auto& c : cases) {
        EffectBlock block = blockOf(c.in);
        devicelink::effectBlockToDevice(block);
        expectHead(block, c.out, "to device", c.in);
    }
}

TEST(EffectSlotCodec, DeviceValuesBecomeModelLevels) {
    const struct {
        Head in, out;
    } cases[] = {
        {{0x00, 0x40, 0, 0, 0, 0xFF, 1, 2, 3}, {0x00, 0x40, 0, 0, 0, 2, 1, 2, 3}},
        {{0xB0, 0, 0, 0, 0, 0x99, 1, 2, 3}, {0xB0, 0, 0, 0, 0, 1, 1, 2, 3}},
        {{0x00, 0, 0, 0, 0, 0xFE, 1, 2, 3}, {0x00, 0, 0, 0, 0, 1, 1, 2, 3}},
        {{0x00, 0, 0, 0, 0, 0x98, 1, 2, 3}, {0x00, 0, 0, 0, 0, 0, 1, 2, 3}},
        {{0x01, 60, 0x20, 3, 0, 0x4C, 1, 2, 3}, {0x01, 0, 0x20, 3, 0, 0, 1, 2, 3}},
        {{0x01, 55, 0, 3, 0, 0, 1, 2, 3}, {0x01, 1, 0, 3, 0, 0, 1, 2, 3}},
        {{0x01, 54, 0, 3, 0, 0, 1, 2, 3}, {0x01, 2, 0, 3, 0, 0, 1, 2, 3}},
        {{0x01, 44, 0, 3, 0, 0, 1, 2, 3}, {0x01, 3, 0, 3, 0, 0, 1, 2, 3}},
        {{0x01, 43, 0, 3, 0, 0, 1, 2, 3}, {0x01, 4, 0, 3, 0, 0, 1, 2, 3}},
        {{0x02, 150, 0, 0, 0, 0x7F, 1, 2, 3}, {0x02, 0, 0, 0, 0, 2, 1, 2, 3}},
        {{0x02, 149, 0, 0, 0, 0x40, 1, 2, 3}, {0x02, 1, 0, 0, 0, 1, 1, 2, 3}},
        {{0x02, 128, 0, 0, 0, 126, 1, 2, 3}, {0x02, 2, 0, 0, 0, 1, 1, 2, 3}},
        {{0x02, 110, 0, 0, 0, 63, 1, 2, 3}, {0x02, 3, 0, 0, 0, 0, 1, 2, 3}},
        {{0x02, 109, 0, 0, 0, 0x10, 1, 2, 3}, {0x02, 4, 0, 0, 0, 0, 1, 2, 3}},
        {{0x05, 0x37, 0x20, 3, 0, 0x99, 1, 2, 3}, {0x05, 1, 0x20, 3, 0, 1, 1, 2, 3}},
        {{0x06, 0x80, 0, 2, 0, 0x7F, 1, 2, 3}, {0x06, 2, 0, 2, 0, 2, 1, 2, 3}},
        {{0x05, 0x37, 0, 1, 0, 0xFF, 1, 2, 3}, {0x05, 0x37, 0, 1, 0, 2, 1, 2, 3}},
        {{0x05, 0x37, 0, 0, 0, 0xFF, 1, 2, 3}, {0x05, 0x37, 0, 0, 0, 0xFF, 1, 2, 3}},
        {{0x07, 114, 0, 5, 0, 0x99, 1, 2, 3}, {0x07, 0, 0, 5, 0, 1, 1, 2, 3}},
        {{0x07, 98, 0, 5, 0, 0x99, 1, 2, 3}, {0x07, 3, 0, 5, 0, 1, 1, 2, 3}},
        {{0x07, 97, 0, 5, 0, 0x99, 1, 2, 3}, {0x07, 4, 0, 5, 0, 1, 1, 2, 3}},
        {{0x08, 132, 0, 0, 0, 0xFF, 1, 2, 3}, {0x08, 0, 0, 0, 0, 2, 1, 2, 3}},
        {{0x09, 124, 0, 0xC3, 0, 0xFF, 1, 2, 3}, {0x09, 2, 0, 0xC3, 0, 2, 1, 2, 3}},
        {{0x0A, 119, 0, 0x4A, 0, 0xFF, 1, 2, 3}, {0x0A, 4, 0, 0x4A, 0, 2, 1, 2, 3}},
        {{0x0B, 0x6B, 0, 5, 0, 0x4C, 1, 2, 3}, {0x0B, 2, 0, 5, 0, 0, 1, 2, 3}},
        {{0x10, 80, 0, 8, 0, 0xFF, 1, 2, 3}, {0x10, 0, 0, 8, 0, 0xFF, 1, 2, 3}},
        {{0x10, 59, 0, 8, 0, 0xFF, 1, 2, 3}, {0x10, 3, 0, 8, 0, 0xFF, 1, 2, 3}},
        {{0x11, 65, 0, 0, 0, 0xFF, 1, 2, 3}, {0x11, 1, 0, 0, 0, 0xFF, 1, 2, 3}},
        {{0x11, 44, 0, 0, 0, 0xFF, 1, 2, 3}, {0x11, 4, 0, 0, 0, 0xFF, 1, 2, 3}},
        {{0xE0, 44, 0, 0, 0, 0xFF, 1, 2, 3}, {0xE0, 44, 0, 0, 0, 0xFF, 1, 2, 3}},
    };
    for (const auto& c : cases) {
        EffectBlock block = blockOf(c.in);
        devicelink::effectBlockFromDevice(block);
        expectHead(block, c.out, "from device", c.in);
    }
}

// Every level the editor can choose survives the way to the device and back.
TEST(EffectSlotCodec, EveryModelLevelComesBackUnchanged) {
    const std::map<int, int> variantBack = {{0, 1}, {1, 3}, {2, 2}};
    for (int mode : {0x00, 0x01, 0x02, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x10, 0x11, 0xB0}) {
        const bool zone = mode == 0x05 || mode == 0x06;
        for (int variant : zone ? std::vector<int>{0, 1, 2} : std::vector<int>{0})
            for (int speed = 0; speed <= 4; ++speed)
                for (int brightness = 0; brightness <= 2; ++brightness) {
                    EffectBlock block = blockOf({mode, speed, 0, variant, 0, brightness, 1, 2, 3});
                    devicelink::effectBlockToDevice(block);
                    devicelink::effectBlockFromDevice(block);
                    const bool keepsBrightness = mode != 0x10 && mode != 0x11;
                    EXPECT_EQ(block[1], speed) << mode << "/" << variant;
                    if (keepsBrightness) {
                        EXPECT_EQ(block[5], brightness) << mode << "/" << variant;
                    }
                    if (zone) {
                        EXPECT_EQ(block[3], variantBack.at(variant));
                    }
                }
    }
}

}  // namespace
