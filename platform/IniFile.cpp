#include "platform/IniFile.h"

#include "platform/AtomicFile.h"
#include "platform/Utf16.h"

#include <QChar>

#include <optional>
#include <vector>

namespace platform {
namespace {

using platform::readWholeFile;
using platform::replaceFileContents;

constexpr std::size_t kValueLimit = 4095;  // the reading buffer holds 4096 characters with the terminator

enum class Encoding { Utf16Le, Utf8 };

// The file's bytes, seen as code units of its encoding: bytes, or little-endian
// pairs after the mark. Lines are found on the units and edits splice encoded
// text into the bytes, so the lines an edit does not touch keep every byte,
// even bytes that do not decode (a Latin-1 file read as UTF-8, an odd last byte).
struct Document {
    Encoding encoding = Encoding::Utf16Le;
    std::string bytes;
    std::size_t markSize = 0;

    std::size_t unitSize() const { return encoding == Encoding::Utf16Le ? 2 : 1; }
    std::size_t units() const { return (bytes.size() - markSize) / unitSize(); }
    std::size_t offset(std::size_t unitIndex) const { return markSize + unitIndex * unitSize(); }
    char16_t unit(std::size_t i) const {
        const auto byte = [&](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };
        const std::size_t at = offset(i);
        return encoding == Encoding::Utf16Le ? static_cast<char16_t>(byte(at) | byte(at + 1) << 8) : byte(at);
    }
    // Text of the units [begin, end); bytes that do not decode become U+FFFD.
    std::u16string decode(std::size_t begin, std::size_t end) const {
        const std::string_view range = std::string_view(bytes).substr(offset(begin), offset(end) - offset(begin));
        return encoding == Encoding::Utf16Le ? platform::littleEndianBytesToUtf16(range) : platform::utf8ToUtf16(range);
    }
    std::string encode(std::u16string_view text) const {
        return encoding == Encoding::Utf16Le ? platform::utf16ToLittleEndianBytes(text) : platform::utf16ToUtf8(text);
    }
    // Puts `text` in place of the units [begin, end).
    void splice(std::size_t begin, std::size_t end, std::u16string_view text) {
        bytes.replace(offset(begin), offset(end) - offset(begin), encode(text));
    }
};

std::optional<Document> loadDocument(const std::string& path) {
    std::optional<std::string> bytes = readWholeFile(path);
    if (!bytes) return std::nullopt;
    Document document;
    if (bytes->rfind("\xFF\xFE", 0) == 0) {
        document.markSize = 2;
    } else {
        document.encoding = Encoding::Utf8;
        if (bytes->rfind("\xEF\xBB\xBF", 0) == 0) document.markSize = 3;
    }
    document.bytes = std::move(*bytes);
    return document;
}

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

bool equalIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (QChar::toCaseFolded(a[i]) != QChar::toCaseFolded(b[i])) return false;
    return true;
}

// A range of units.
struct Span {
    std::size_t begin = 0;
    std::size_t end = 0;
};

// One line of the document: where its content starts and ends (without the
// line break) and what it is. Blanks, brackets, '=' and line breaks are ASCII,
// so the structure is read on the units; only names and values are decoded.
struct Line {
    Span content;
    enum class Kind { Blank, Section, Entry } kind = Kind::Blank;
    Span name;   // section name or key, trimmed
    Span value;  // entry value, trimmed
};

Span trim(const Document& document, Span span) {
    while (span.begin < span.end && isBlank(document.unit(span.begin))) ++span.begin;
    while (span.end > span.begin && isBlank(document.unit(span.end - 1))) --span.end;
    return span;
}

// The first unit `c` in the span, or its end.
std::size_t find(const Document& document, Span span, char16_t c) {
    std::size_t i = span.begin;
    while (i < span.end && document.unit(i) != c) ++i;
    return i;
}

std::vector<Line> splitLines(const Document& document) {
    std::vector<Line> lines;
    const std::size_t units = document.units();
    std::size_t begin = 0;
    while (begin < units) {
        const std::size_t breakAt = find(document, {begin, units}, u'\n');
        Line line;
        line.content = {begin, (breakAt > begin && document.unit(breakAt - 1) == u'\r') ? breakAt - 1 : breakAt};
        const Span content = trim(document, line.content);
        const std::size_t closing = find(document, content, u']');
        if (content.begin < content.end && document.unit(content.begin) == u'[' && closing < content.end) {
            line.kind = Line::Kind::Section;
            line.name = trim(document, {content.begin + 1, closing});
        } else if (content.begin < content.end) {
            line.kind = Line::Kind::Entry;
            const std::size_t equals = find(document, content, u'=');
            line.name = trim(document, {content.begin, equals});
            if (equals < content.end) line.value = trim(document, {equals + 1, content.end});
        }
        lines.push_back(line);
        begin = breakAt + 1;
    }
    return lines;
}

// Indexes into `lines`: the section's header and the key's line, when found.
struct Location {
    std::optional<std::size_t> section;
    std::optional<std::size_t> entry;
    std::size_t lastContentLine = 0;  // last non-blank line of the section
};

Location locate(const Document& document, const std::vector<Line>& lines, std::u16string_view section,
                std::u16string_view key) {
    const auto named = [&](const Line& line, std::u16string_view name) {
        return equalIgnoringCase(document.decode(line.name.begin, line.name.end), name);
    };
    Location location;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind != Line::Kind::Section || !named(lines[i], section)) continue;
        location.section = location.lastContentLine = i;
        for (std::size_t j = i + 1; j < lines.size() && lines[j].kind != Line::Kind::Section; ++j) {
            if (lines[j].kind != Line::Kind::Entry) continue;
            location.lastContentLine = j;
            if (!location.entry && named(lines[j], key)) location.entry = j;
        }
        break;
    }
    return location;
}

std::u16string_view withoutQuotes(std::u16string_view value) {
    if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

std::optional<std::u16string> lookUp(const std::string& path, const std::string& section, const std::string& key) {
    const std::optional<Document> document = loadDocument(path);
    if (!document) return std::nullopt;
    const std::vector<Line> lines = splitLines(*document);
    const Location location = locate(*document, lines, platform::utf8ToUtf16(section), platform::utf8ToUtf16(key));
    if (!location.entry) return std::nullopt;
    const Span span = lines[*location.entry].value;
    std::u16string value(withoutQuotes(document->decode(span.begin, span.end)));
    if (value.size() > kValueLimit) value.resize(kValueLimit);
    return value;
}

int hexDigit(char c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

// The number a value starts with: blanks, a sign, then decimal digits, or
// hexadecimal after 0x; arithmetic wraps like the 32-bit original.
int parseProfileInt(std::u16string_view text) {
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == u'-' || text[i] == u'+')) negative = text[i++] == u'-';
    unsigned base = 10;
    if (i + 1 < text.size() && text[i] == u'0' && (text[i + 1] == u'x' || text[i + 1] == u'X')) {
        base = 16;
        i += 2;
    }
    std::uint32_t value = 0;
    for (; i < text.size() && text[i] < 0x80; ++i) {
        const int digit = hexDigit(static_cast<char>(text[i]));
        if (digit < 0 || static_cast<unsigned>(digit) >= base) break;
        value = value * base + static_cast<std::uint32_t>(digit);
    }
    return static_cast<int>(negative ? 0u - value : value);
}

// What ends the document's last line so that a line can follow: nothing after
// a line feed (or in an empty file), only the line feed after a carriage
// return, whose line would otherwise end in it and change its value.
std::u16string lineBreakAtTheEnd(const Document& document) {
    const std::size_t units = document.units();
    if (units == 0 || document.unit(units - 1) == u'\n') return u"";
    return document.unit(units - 1) == u'\r' ? u"\n" : u"\r\n";
}

// Replaces the key's line, or adds the key after the last line of its
// section, or adds the section at the end.
void setEntry(Document& document, const IniEntry& entry) {
    const std::u16string section16 = platform::utf8ToUtf16(entry.section);
    const std::u16string key16 = platform::utf8ToUtf16(entry.key);
    const std::u16string value16 = platform::utf8ToUtf16(entry.value);
    const std::vector<Line> lines = splitLines(document);
    const Location location = locate(document, lines, section16, key16);
    const std::size_t units = document.units();

    if (location.entry) {
        // The line keeps its key as spelt in the file, byte for byte.
        const Line& line = lines[*location.entry];
        document.splice(line.name.end, line.content.end, u"=" + value16);
        document.splice(line.content.begin, line.name.begin, u"");
    } else if (location.section) {
        const Line& after = lines[location.lastContentLine];
        const std::size_t lineBreak = find(document, {after.content.end, units}, u'\n');
        const std::u16string line = key16 + u"=" + value16 + u"\r\n";
        if (lineBreak == units)
            document.splice(units, units, lineBreakAtTheEnd(document) + line);
        else
            document.splice(lineBreak + 1, lineBreak + 1, line);
    } else {
        // Before an odd last byte of a UTF-16 file, so that the new units stay aligned.
        document.splice(units, units,
                        lineBreakAtTheEnd(document) + u"[" + section16 + u"]\r\n" + key16 + u"=" + value16 + u"\r\n");
    }
}

}  // namespace

std::string encodeStructValue(std::span<const std::uint8_t> bytes) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string text;
    unsigned sum = 0;
    for (const std::uint8_t byte : bytes) {
        text += kDigits[byte >> 4];
        text += kDigits[byte & 0x0F];
        sum += byte;
    }
    text += kDigits[(sum >> 4) & 0x0F];
    text += kDigits[sum & 0x0F];
    return text;
}

CIniFile::CIniFile(std::string path) : m_path(std::move(path)) {}

bool CIniFile::ensureUtf16File() const { return platform::createFileIfMissing(m_path, "\xFF\xFE"); }

std::string CIniFile::readString(const std::string& section, const std::string& key,
                                 const std::string& fallback) const {
    if (const std::optional<std::u16string> value = lookUp(m_path, section, key)) return platform::utf16ToUtf8(*value);
    std::string trimmed = fallback;
    while (!trimmed.empty() && trimmed.back() == ' ') trimmed.pop_back();
    return trimmed;
}

int CIniFile::readInt(const std::string& section, const std::string& key, int fallback) const {
    const std::optional<std::u16string> value = lookUp(m_path, section, key);
    if (!value || value->empty()) return fallback;
    return parseProfileInt(*value);
}

bool CIniFile::readStruct(const std::string& section, const std::string& key, std::span<std::uint8_t> bytes) const {
    const std::optional<std::u16string> value = lookUp(m_path, section, key);
    if (!value || value->size() != bytes.size() * 2 + 2) return false;
    std::vector<std::uint8_t> decoded(bytes.size() + 1);
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        const char16_t high = (*value)[2 * i];
        const char16_t low = (*value)[2 * i + 1];
        const int h = high < 0x80 ? hexDigit(static_cast<char>(high)) : -1;
        const int l = low < 0x80 ? hexDigit(static_cast<char>(low)) : -1;
        if (h < 0 || l < 0) return false;
        decoded[i] = static_cast<std::uint8_t>(h << 4 | l);
    }
    unsigned sum = 0;
    for (std::size_t i = 0; i < bytes.size(); ++i) sum += decoded[i];
    if ((sum & 0xFF) != decoded.back()) return false;
    std::copy(decoded.begin(), decoded.end() - 1, bytes.begin());
    return true;
}

bool CIniFile::hasSection(const std::string& section) const {
    const std::optional<Document> document = loadDocument(m_path);
    if (!document) return false;
    return locate(*document, splitLines(*document), platform::utf8ToUtf16(section), u"").section.has_value();
}

bool CIniFile::writeString(const std::string& section, const std::string& key, const std::string& value) const {
    return writeEntries({{section, key, value}});
}

bool CIniFile::writeEntries(const std::vector<IniEntry>& entries) const {
    if (!ensureUtf16File()) return false;
    std::optional<Document> document = loadDocument(m_path);
    if (!document) return false;
    for (const IniEntry& entry : entries) setEntry(*document, entry);
    return replaceFileContents(m_path, document->bytes);
}

bool CIniFile::writeInt(const std::string& section, const std::string& key, int value) const {
    return writeString(section, key, std::to_string(value));
}

bool CIniFile::writeStruct(const std::string& section, const std::string& key,
                           std::span<const std::uint8_t> bytes) const {
    return writeString(section, key, encodeStructValue(bytes));
}

}  // namespace platform
