#pragma once

#include <charconv>
#include <optional>
#include <string>
#include <string_view>

namespace platform {

// Reads a decimal integer the way the C runtime's atoi does: leading blanks and
// a sign allowed, reading stops at the first non-digit, no digits gives 0,
// out of range clamps to the int limits.
int readIntLikeAtoi(std::string_view text);

// The whole text as one number in `base`: no blanks, no sign on unsigned
// types, nothing after the digits, in range of T. Empty otherwise.
template <typename T>
std::optional<T> parseWholeNumber(std::string_view text, int base = 10) {
    T value{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

// ASCII letters lowered; other bytes kept.
std::string lowercaseAscii(std::string_view text);

}  // namespace platform
