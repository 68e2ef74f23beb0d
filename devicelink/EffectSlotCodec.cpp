#include "devicelink/EffectSlotCodec.h"

namespace devicelink {
namespace {

enum : std::size_t { kMode = 0, kSpeed = 1, kFlags = 2, kVariant = 3, kBrightness = 5, kFirstColour = 6 };

// Speed values for levels 0, 1, 2, 3 and any other level.
using SpeedTable = std::array<std::uint8_t, 5>;
constexpr SpeedTable kPulseSpeeds{0x3C, 0x37, 0x31, 0x2C, 0x26};
constexpr SpeedTable kBreathSpeeds{0x96, 0x8C, 0x80, 0x6E, 0x68};
constexpr SpeedTable kCycleSpeeds{0x72, 0x68, 0x64, 0x62, 0x61};
constexpr SpeedTable kWaveSpeeds{0x84, 0x80, 0x7C, 0x78, 0x74};
constexpr SpeedTable kMode11Speeds{0x46, 0x41, 0x38, 0x2D, 0x27};

std::uint8_t speedFor(const SpeedTable& table, std::uint8_t level) { return table[level < 4 ? level : 4]; }

std::uint8_t brightnessToDevice(std::uint8_t level) {
    if (level == 1) return 0x99;
    if (level == 2) return 0xFF;
    return 0x4C;
}

std::uint8_t brightnessFromDevice(std::uint8_t value) {
    if (value == 0xFF) return 2;
    if (value >= 0x99) return 1;
    return 0;
}

void whiteFirstColour(EffectBlock& block) {
    block[kFirstColour] = block[kFirstColour + 1] = block[kFirstColour + 2] = 0xFF;
}

void plainToDevice(EffectBlock& block) { block[kBrightness] = brightnessToDevice(block[kBrightness]); }

void pulseToDevice(EffectBlock& block) {
    block[kSpeed] = speedFor(kPulseSpeeds, block[kSpeed]);
    block[kBrightness] = brightnessToDevice(block[kBrightness]);
    block[kFlags] |= 0x20;
    block[kVariant] = 0x03;
}

void breathToDevice(EffectBlock& block) {
    block[kSpeed] = speedFor(kBreathSpeeds, block[kSpeed]);
    const std::uint8_t level = block[kBrightness];
    block[kBrightness] = level == 1 ? 0x40 : level == 2 ? 0x7F : 0x10;
    whiteFirstColour(block);
}

// Thresholds from the fastest device value down: level = first i with x >= limits[i], else 4.
std::uint8_t levelFrom(std::uint8_t value, const std::array<std::uint8_t, 4>& limits) {
    for (std::uint8_t level = 0; level < 4; ++level)
        if (value >= limits[level]) return level;
    return 4;
}

void plainFromDevice(EffectBlock& block) { block[kBrightness] = brightnessFromDevice(block[kBrightness]); }

void pulseFromDevice(EffectBlock& block) {
    block[kSpeed] = levelFrom(block[kSpeed], {60, 55, 49, 44});
    plainFromDevice(block);
}

void breathFromDevice(EffectBlock& block) {
    block[kSpeed] = levelFrom(block[kSpeed], {150, 140, 128, 110});
    const std::uint8_t value = block[kBrightness];
    block[kBrightness] = value >= 127 ? 2 : value >= 64 ? 1 : 0;
}

}  // namespace

void effectBlockToDevice(EffectBlock& block) {
    switch (block[kMode]) {
    case 0x00:
    case 0xB0: plainToDevice(block); break;
    case 0x01: pulseToDevice(block); break;
    case 0x02: breathToDevice(block); break;
    case 0x05:
    case 0x06:
        switch (block[kVariant]) {
        case 0:
            plainToDevice(block);
            block[kVariant] = 0x01;
            break;
        case 1: pulseToDevice(block); break;
        case 2:
            breathToDevice(block);
            block[kVariant] = 0x02;
            break;
        default: block[kVariant] = 0x00; break;
        }
        break;
    case 0x07:
        block[kSpeed] = speedFor(kCycleSpeeds, block[kSpeed]);
        plainToDevice(block);
        block[kVariant] = 0x05;
        whiteFirstColour(block);
        break;
    case 0x08:
    case 0x09:
    case 0x0A:
        block[kSpeed] = speedFor(kWaveSpeeds, block[kSpeed]);
        plainToDevice(block);
        if (block[kMode] == 0x09) block[kVariant] = 0xC3;
        if (block[kMode] == 0x0A) block[kVariant] = 0x4A;
        break;
    case 0x0B:
        block[kSpeed] = 0x6B;
        plainToDevice(block);
        block[kVariant] = 0x05;
        break;
    case 0x10: {
        constexpr std::array<std::uint8_t, 5> speeds{0x50, 0x46, 0x3C, 0x32, 0x28};
        constexpr std::array<std::uint8_t, 5> variants{0x08, 0x18, 0x10, 0x38, 0x40};
        const std::uint8_t level = block[kSpeed];
        if (level <= 4) {
            block[kSpeed] = speeds[level];
            block[kVariant] = variants[level];
        }
        break;
    }
    case 0x11: block[kSpeed] = speedFor(kMode11Speeds, block[kSpeed]); break;
    default: break;
    }
}

void effectBlockFromDevice(EffectBlock& block) {
    switch (block[kMode]) {
    case 0x00:
    case 0xB0: plainFromDevice(block); break;
    case 0x01: pulseFromDevice(block); break;
    case 0x02: breathFromDevice(block); break;
    case 0x05:
    case 0x06:
        if (block[kVariant] == 1) plainFromDevice(block);
        if (block[kVariant] == 2) breathFromDevice(block);
        if (block[kVariant] == 3) pulseFromDevice(block);
        break;
    case 0x07:
        block[kSpeed] = levelFrom(block[kSpeed], {114, 104, 100, 98});
        plainFromDevice(block);
        break;
    case 0x08:
    case 0x09:
    case 0x0A:
        block[kSpeed] = levelFrom(block[kSpeed], {132, 128, 124, 120});
        plainFromDevice(block);
        break;
    case 0x0B:
        block[kSpeed] = 2;
        plainFromDevice(block);
        break;
    case 0x10: block[kSpeed] = levelFrom(block[kSpeed], {80, 70, 60, 50}); break;
    case 0x11: block[kSpeed] = levelFrom(block[kSpeed], {70, 65, 56, 45}); break;
    default: break;
    }
}

}  // namespace devicelink
