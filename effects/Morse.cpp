#include "effects/Morse.h"

namespace effects {
namespace {

constexpr std::uint8_t kGap = 0;
constexpr std::uint8_t kDot = 1;
constexpr std::uint8_t kDash = 2;
constexpr std::uint8_t kEnd = 3;
constexpr std::size_t kSymbolLimitBytes = 115;  // 460 symbols

struct MorseEntry {
    char16_t character;
    const char* code;  // '.', '-' or ' ' (the space's single gap)
};

// Searched in this order by both directions.
constexpr MorseEntry kTable[] = {
    {u'A', ".-"},     {u'B', "-..."},    {u'C', "-.-."},   {u'D', "-.."},     {u'E', "."},      {u'F', "..-."},
    {u'G', "--."},    {u'H', "...."},    {u'I', ".."},     {u'J', ".---"},    {u'K', "-.-"},    {u'L', ".-.."},
    {u'M', "--"},     {u'N', "-."},      {u'O', "---"},    {u'P', ".--."},    {u'Q', "--.-"},   {u'R', ".-."},
    {u'S', "..."},    {u'T', "-"},       {u'U', "..-"},    {u'V', "...-"},    {u'W', ".--"},    {u'X', "-..-"},
    {u'Y', "-.--"},   {u'Z', "--.."},    {u' ', " "},      {u'1', ".----"},   {u'2', "..---"},  {u'3', "...--"},
    {u'4', "....-"},  {u'5', "....."},   {u'6', "-...."},  {u'7', "--..."},   {u'8', "---.."},  {u'9', "----."},
    {u'0', "-----"},  {u'.', ".-.-.-"},  {u':', "---..."}, {u',', "--..--"},  {u';', "-.-.-."}, {u'?', "..--.."},
    {u'=', "-...-"},  {u'\'', ".----."}, {u'/', "-..-."},  {u'!', "-.-.--"},  {u'-', "-....-"}, {u'_', "..--.-"},
    {u'"', ".-..-."}, {u'(', "-.--."},   {u')', "-.--.-"}, {u'$', "...-..-"}, {u'&', ".-..."},  {u'+', ".-.-."},
    {u'@', ".--.-."},
};
static_assert(std::size(kTable) == 55, "letters, space, digits and 18 signs");

std::uint8_t symbolOf(char c) { return c == '.' ? kDot : c == '-' ? kDash : kGap; }

const MorseEntry* find(char16_t c) {
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
    for (const MorseEntry& entry : kTable)
        if (entry.character == c) return &entry;
    return nullptr;
}

void pack(MorsePacked* packed, std::size_t position, std::uint8_t symbol) {
    if (!packed || position / 4 >= kMorsePackedSize) return;
    (*packed)[position / 4] |= static_cast<std::uint8_t>(symbol << (2 * (position % 4)));
}

}  // namespace

MorseEncoding EncodeMorse(std::u16string_view text, MorsePacked* packed) {
    MorseEncoding result;
    if (packed) packed->fill(0);
    std::size_t position = 0;
    for (const char16_t c : text) {
        const MorseEntry* entry = find(c);
        if (!entry) {
            result.outputText += '#';
            continue;
        }
        for (const char* symbol = entry->code; *symbol; ++symbol) {
            result.outputText += *symbol;
            pack(packed, position++, symbolOf(*symbol));
        }
        result.outputText += ' ';
        pack(packed, position++, kGap);
        if (position / 4 >= kSymbolLimitBytes) {
            result.complete = false;
            break;
        }
    }
    pack(packed, position, kEnd);
    return result;
}

bool IsMorseEncodable(std::u16string_view text) {
    for (const char16_t c : text)
        if (!find(c)) return false;
    return true;
}

std::u16string DecodeMorse(const MorsePacked& packed) {
    std::u16string text;
    std::u16string pending;  // symbols as '.', '-', ' ' and 'E' for the end

    // Takes one character off the front: the first entry whose symbols followed
    // by a gap start the pending symbols.
    const auto takeCharacter = [&]() -> bool {
        for (const MorseEntry& entry : kTable) {
            std::u16string code;
            for (const char* symbol = entry.code; *symbol; ++symbol) code += static_cast<char16_t>(*symbol);
            if (code.size() >= pending.size()) continue;
            if (pending.compare(0, code.size(), code) == 0 && pending[code.size()] == u' ') {
                text += entry.character;
                pending.erase(0, code.size() + 1);
                return true;
            }
        }
        return false;
    };

    bool endSeen = false;
    for (const std::uint8_t byte : packed) {
        bool gapInByte = false;
        for (int slot = 0; slot < 4; ++slot) {
            const std::uint8_t symbol = (byte >> (2 * slot)) & 0x03;
            gapInByte |= symbol == kGap;
            endSeen |= symbol == kEnd;
            pending += symbol == kDot ? u'.' : symbol == kDash ? u'-' : symbol == kGap ? u' ' : u'E';
        }
        if (gapInByte || endSeen || pending.size() > 9) {
            if (pending.front() == u'E')
                pending.clear();
            else
                takeCharacter();
        }
        if (endSeen) break;
    }
    // What is left: characters while they match; a front that matches nothing
    // is given up nine symbols' worth at a time.
    std::size_t count = pending.size();
    while (count > 0 && !pending.empty() && pending.front() != u'E') {
        if (takeCharacter())
            count = pending.size();
        else
            count = count > 9 ? count - 9 : 0;
    }
    // Without an end symbol the block holds no finished text: an erased or
    // never-written block is all gaps and reads as empty, not as blanks.
    if (!endSeen)
        while (!text.empty() && text.back() == u' ') text.pop_back();
    return text;
}

}  // namespace effects
