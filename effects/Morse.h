#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// Texts blinked in Morse code by the main zone. The controller takes a text as
// 2-bit symbols (0 gap, 1 dot, 2 dash, 3 end), four to a byte, lowest bits first.
namespace effects {

constexpr std::size_t kMorsePackedSize = 120;
using MorsePacked = std::array<std::uint8_t, kMorsePackedSize>;

struct MorseEncoding {
    bool complete = true;    // false when the text was cut at the symbol limit
    std::string outputText;  // dots, dashes and blanks; "#" for a character without a code
};

// Lower-case letters are accepted. Characters without a code are skipped (shown
// as "#"). A text that reaches 460 symbols is cut after the character that
// reached it. `packed` may be null when only the output text is wanted.
MorseEncoding EncodeMorse(std::u16string_view text, MorsePacked* packed);

std::u16string DecodeMorse(const MorsePacked& packed);

// True when every character of the text has a Morse code.
bool IsMorseEncodable(std::u16string_view text);

}  // namespace effects
