#include "effects/LedConversion.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <limits>

#include <locale.h>

namespace effects {
namespace {

constexpr std::int64_t kIntMax = std::numeric_limits<int>::max();
constexpr std::int64_t kIntMin = std::numeric_limits<int>::min();

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f' || c == '\v'; }

void skipBlanks(std::string_view& text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
}

int digitValue(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return 99;
}

// As scanf reads a number: blanks, a sign, then digits up to the first other
// character; the magnitude stops growing past the int range.
int leadingNumber(std::string_view text, int base) {
    skipBlanks(text);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    if (base == 16 && (text.starts_with("0x") || text.starts_with("0X"))) text.remove_prefix(2);
    std::int64_t magnitude = 0;
    for (const char c : text) {
        const int digit = digitValue(c);
        if (digit >= base) break;
        magnitude = std::min(magnitude * base + digit, kIntMax + 1);
    }
    const std::int64_t value = negative ? -magnitude : magnitude;
    return static_cast<int>(std::clamp(value, kIntMin, kIntMax));
}

std::string formatted(const char* format, std::int64_t value) {
    char text[32];
    std::snprintf(text, sizeof text, format, static_cast<long long>(value));
    return text;
}

// "%f" without the user's locale: six decimals and a point.
std::string dutyText(double duty) {
    char text[400];
    const auto [end, error] = std::to_chars(text, text + sizeof text, duty, std::chars_format::fixed, 6);
    return error == std::errc() ? std::string(text, end) : std::string();
}

// As scanf's "%f" reads it, whatever the user's locale: blanks, a sign, the
// longest number (overflow gives infinity); none without a number.
std::optional<double> leadingReal(const std::string& text) {
    static const locale_t cLocale = newlocale(LC_ALL_MASK, "C", nullptr);
    char* end = nullptr;
    const double value = cLocale ? strtod_l(text.c_str(), &end, cLocale) : std::strtod(text.c_str(), &end);
    if (end == text.c_str()) return std::nullopt;
    return value;
}

}  // namespace

int ReadConversionNumber(std::string_view text) {
    if (text.find("0x") == std::string_view::npos) return leadingNumber(text, 10);
    if (!text.starts_with("0x")) return 0;
    return leadingNumber(text.substr(2), 16);
}

std::optional<std::int64_t> PwmReloadCount(std::int64_t hz) {
    if (hz < 1 || hz > kPwmClockHz) return std::nullopt;
    return kPwmClockHz / hz - 1;
}

std::optional<int> ConversionLevel(std::int64_t value) {
    if (value < 0 || value > 255) return std::nullopt;
    return value >= 240 ? 4 : static_cast<int>(value / 60);
}

std::array<std::int64_t, kConversionResults> ConversionValues(const ConversionColourTexts& colours) {
    enum { kRed, kGreen, kBlue };
    const auto field = [&](int led, int part) -> std::int64_t { return ReadConversionNumber(colours[led][part]); };
    // Halves round toward zero; the sums of two ints need 64 bits.
    return {(field(3, kRed) + field(0, kRed)) / 2,
            (field(3, kGreen) + field(1, kGreen)) / 2,
            field(2, kRed),
            field(2, kGreen),
            field(2, kBlue),
            field(3, kBlue)};
}

std::array<std::string, kConversionResults> ConversionTableIndices(const ConversionColourTexts& colours) {
    const std::array<std::int64_t, kConversionResults> values = ConversionValues(colours);
    std::array<std::string, kConversionResults> results;
    for (int k = 0; k < kConversionResults; ++k) {
        const std::optional<int> level = ConversionLevel(values[k]);
        results[k] = level ? formatted("0x%llx", 256 * k + *level) : "Error";
    }
    return results;
}

std::array<ConversionChannel, kConversionChannels> InitialConversionChannels() {
    std::array<ConversionChannel, kConversionChannels> channels{};
    channels[0].autoIncrement = true;
    return channels;
}

ConversionChannelTexts ConversionChannelTextsOf(const ConversionChannel& channel) {
    ConversionChannelTexts texts;
    for (std::size_t i = 0; i < channel.integers.size(); ++i)
        texts.integers[i] = formatted("%lld", channel.integers[i]);
    texts.maxDuty = dutyText(channel.maxDuty);
    texts.autoIncrement = channel.autoIncrement;
    return texts;
}

bool ReadConversionChannel(const ConversionChannelTexts& texts, ConversionChannel& channel) {
    for (std::size_t i = 0; i < channel.integers.size(); ++i)
        channel.integers[i] = ReadConversionNumber(texts.integers[i]);
    if (const std::optional<double> duty = leadingReal(texts.maxDuty)) channel.maxDuty = *duty;
    channel.autoIncrement = texts.autoIncrement;
    // NaN compares false both ways: it gets the warning too.
    return channel.maxDuty >= 0.0 && channel.maxDuty <= 100.0;
}

}  // namespace effects
