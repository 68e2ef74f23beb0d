#include "skin/SkinRecord.h"

#include <cstdint>
#include <limits>
#include <optional>

namespace skin {
namespace {

bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f'; }

std::int32_t saturate(std::int64_t value) {
    if (value > std::numeric_limits<std::int32_t>::max()) return std::numeric_limits<std::int32_t>::max();
    if (value < std::numeric_limits<std::int32_t>::min()) return std::numeric_limits<std::int32_t>::min();
    return static_cast<std::int32_t>(value);
}

// Reads an integer at `p` (blanks first are allowed); nothing when no digit follows.
std::optional<std::int32_t> readInteger(std::string_view text, std::size_t& p) {
    std::size_t at = p;
    while (at < text.size() && isBlank(text[at])) ++at;
    bool negative = false;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
    if (at >= text.size() || text[at] < '0' || text[at] > '9') return std::nullopt;
    std::int64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        if (value <= (std::int64_t{1} << 40)) value = value * 10 + (text[at] - '0');
    }
    p = at;
    return saturate(negative ? -value : value);
}

}  // namespace

std::int32_t leadingInteger(std::string_view text) {
    std::size_t p = 0;
    return readInteger(text, p).value_or(0);
}

SkinRecord ParseSkinRecord(std::string_view text, FlagRule rule) {
    SkinRecord record;
    const std::size_t firstComma = text.find(',');
    if (firstComma == std::string_view::npos) return record;

    // x, y, w and h as a scan would read them: it stops at the first field
    // that is not a number, leaving the rest 0.
    std::int32_t numbers[4] = {0, 0, 0, 0};
    std::size_t p = firstComma + 1;
    for (int i = 0; i < 4; ++i) {
        if (i > 0) {
            if (p >= text.size() || text[p] != ',') break;
            ++p;
        }
        const auto value = readInteger(text, p);
        if (!value) break;
        numbers[i] = *value;
    }
    record.left = numbers[0];
    record.top = numbers[1];
    record.right = saturate(std::int64_t{numbers[0]} + numbers[2]);
    record.bottom = saturate(std::int64_t{numbers[1]} + numbers[3]);

    const std::size_t lastComma = text.rfind(',');
    const std::string_view flag = text.substr(lastComma + 1);
    if (rule == FlagRule::Nimbrel) {
        record.flag = text.find("TRUE", firstComma + 1) != std::string_view::npos ? 1 : 0;
    } else {
        record.flag = flag == "TRUE" ? 1 : leadingInteger(flag);
    }
    if (lastComma > firstComma) {
        const std::size_t before = text.rfind(',', lastComma - 1);
        record.text = std::string(text.substr(before + 1, lastComma - before - 1));
    }
    return record;
}

std::string ReplaceLineBreakMarks(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t p = 0; p < text.size();) {
        if (text.substr(p, 4) == "\\r\\n") {
            out += "\r\n";
            p += 4;
        } else {
            out += text[p++];
        }
    }
    return out;
}

std::pair<std::int32_t, std::int32_t> CenteredTopBottom(std::int32_t top, std::int32_t bottom,
                                                        std::int32_t textHeight) {
    const std::int64_t inset = (std::int64_t{bottom} - top - textHeight) / 2;
    return {saturate(top + inset), saturate(bottom - inset)};
}

}  // namespace skin
