#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

namespace skin {

// A layout record "NAME,x,y,w,h,text,flag" of the skin's Buttons.xml (and of
// Nimbrel's own layout), parsed.
struct SkinRecord {
    std::int32_t left = 0;
    std::int32_t top = 0;
    std::int32_t right = 0;   // x + width
    std::int32_t bottom = 0;  // y + height
    std::string text;         // the field before the last, kept as it stands
    std::int32_t flag = 0;

    bool operator==(const SkinRecord&) const = default;
};

// Lumenstra reads the flag as 1 for exactly "TRUE", else as its leading
// integer; Nimbrel's reader sets it when "TRUE" occurs anywhere after the name.
enum class FlagRule { Lumenstra, Nimbrel };

SkinRecord ParseSkinRecord(std::string_view text, FlagRule rule = FlagRule::Lumenstra);

// The integer a text starts with: leading blanks, an optional sign, decimal
// digits; 0 when there are none. Values beyond 32 bits saturate.
std::int32_t leadingInteger(std::string_view text);

// Skin texts write a line break as the four characters \r\n; this turns each
// of them into a carriage return and a line feed.
std::string ReplaceLineBreakMarks(std::string_view text);

// Shrinks a text rectangle at top and bottom by half the difference between its
// height and the height of the text, so that wrapped text is centred
// vertically; returns the new top and bottom.
std::pair<std::int32_t, std::int32_t> CenteredTopBottom(std::int32_t top, std::int32_t bottom, std::int32_t textHeight);

}  // namespace skin
