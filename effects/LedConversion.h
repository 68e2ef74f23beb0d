#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// The arithmetic of the LED conversion table tool (CLEDConvDlg): PWM reload
// counts of the controller's 48 MHz timer, the conversion table indices of
// four LED colours and the per-channel parameters. Texts come from edits an
// engineer types into, so every reader takes any text and saturates.
namespace effects {

inline constexpr std::int64_t kPwmClockHz = 48000000;
inline constexpr int kConversionChannels = 6;
inline constexpr int kConversionResults = 6;
inline constexpr char kDutyWarning[] = "Duty's value is 0 ~ 100!";

// A colour field: a text that holds "0x" is read as "0x%x" from its start (so
// "0x1F" is 31 and "a0x1" is 0); any other text as a decimal number that
// stops at the first non-digit ("1F" is 1). Out-of-range numbers saturate to
// the int range; a text without a number is 0.
int ReadConversionNumber(std::string_view text);

// 48000000 / hz - 1; none for hz below 1 or above the clock.
std::optional<std::int64_t> PwmReloadCount(std::int64_t hz);

// The level class of one value: 0-59 → 0, 60-119 → 1, 120-179 → 2,
// 180-239 → 3, 240-255 → 4; none outside 0 to 255.
std::optional<int> ConversionLevel(std::int64_t value);

// The twelve colour fields, LED 0 to 3, each R, G, B.
using ConversionColourTexts = std::array<std::array<std::string, 3>, 4>;
// The six values Calculate classifies: the red of LEDs 3 and 0 halved, the
// green of LEDs 3 and 1 halved, LED 2's red, green and blue, LED 3's blue.
std::array<std::int64_t, kConversionResults> ConversionValues(const ConversionColourTexts& colours);
// Result k: "0x%x" of 256 k + the level of value k, or "Error" without a level.
std::array<std::string, kConversionResults> ConversionTableIndices(const ConversionColourTexts& colours);

// One channel's parameters: maximum, initial value, curve function and shift
// (the four integers), the maximum duty in percent and the shift auto-increment.
struct ConversionChannel {
    std::array<int, 4> integers{};
    double maxDuty = 100.0;
    bool autoIncrement = false;
    bool operator==(const ConversionChannel&) const = default;
};

// The channel's edits as texts.
struct ConversionChannelTexts {
    std::array<std::string, 4> integers;
    std::string maxDuty;
    bool autoIncrement = false;
    bool operator==(const ConversionChannelTexts&) const = default;
};

// The six channels at start: duty 100, auto-increment on the first only.
std::array<ConversionChannel, kConversionChannels> InitialConversionChannels();
// "%d" for the integers, "%f" for the duty.
ConversionChannelTexts ConversionChannelTextsOf(const ConversionChannel& channel);
// Reads the edits over the channel (integers as colour fields, the duty as
// "%f": a text without a number keeps the stored duty). The value is kept
// either way; false when the duty is outside 0 to 100, for the warning.
bool ReadConversionChannel(const ConversionChannelTexts& texts, ConversionChannel& channel);

}  // namespace effects
