#pragma once

#include <string>
#include <string_view>

namespace platform {

// Reads a decimal integer the way the C runtime's atoi does: leading blanks and
// a sign allowed, reading stops at the first non-digit, no digits gives 0,
// out of range clamps to the int limits.
int readIntLikeAtoi(std::string_view text);

// ASCII letters lowered; other bytes kept.
std::string lowercaseAscii(std::string_view text);

}  // namespace platform
