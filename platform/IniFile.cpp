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

enum class Encoding { Utf16Le, Utf8WithMark, Utf8 };

struct Document {
    Encoding encoding = Encoding::Utf16Le;
    std::u16string text;
};

std::optional<Document> loadDocument(const std::string& path) {
    const std::optional<std::string> bytes = readWholeFile(path);
    if (!bytes) return std::nullopt;
    Document document;
    if (bytes->size() >= 2 && (*bytes)[0] == '\xFF' && (*bytes)[1] == '\xFE') {
        document.text = platform::littleEndianBytesToUtf16(std::string_view(*bytes).substr(2));
    } else if (bytes->rfind("\xEF\xBB\xBF", 0) == 0) {
        document.encoding = Encoding::Utf8WithMark;
        document.text = platform::utf8ToUtf16(std::string_view(*bytes).substr(3));
    } else {
        document.encoding = Encoding::Utf8;
        document.text = platform::utf8ToUtf16(*bytes);
    }
    return document;
}

std::string encodeDocument(const Document& document) {
    switch (document.encoding) {
    case Encoding::Utf16Le:
        return "\xFF\xFE" + platform::utf16ToLittleEndianBytes(document.text);
    case Encoding::Utf8WithMark:
        return "\xEF\xBB\xBF" + platform::utf16ToUtf8(document.text);
    case Encoding::Utf8:
        break;
    }
    return platform::utf16ToUtf8(document.text);
}

bool isBlank(char16_t c) { return c == u' ' || c == u'\t'; }

std::u16string_view trim(std::u16string_view text) {
    while (!text.empty() && isBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back())) text.remove_suffix(1);
    return text;
}

bool equalIgnoringCase(std::u16string_view a, std::u16string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (QChar::toCaseFolded(a[i]) != QChar::toCaseFolded(b[i])) return false;
    return true;
}

// One line of the document: where its content starts and ends (without the
// line break) and what it is.
struct Line {
    std::size_t begin = 0;
    std::size_t end = 0;
    enum class Kind { Blank, Section, Entry } kind = Kind::Blank;
    std::u16string_view name;   // section name or key, trimmed
    std::u16string_view value;  // entry value, trimmed
};

std::vector<Line> splitLines(const std::u16string& text) {
    std::vector<Line> lines;
    std::size_t begin = 0;
    while (begin < text.size()) {
        std::size_t next = text.find(u'\n', begin);
        const std::size_t breakAt = next == std::u16string::npos ? text.size() : next;
        Line line;
        line.begin = begin;
        line.end = (breakAt > begin && text[breakAt - 1] == u'\r') ? breakAt - 1 : breakAt;
        const std::u16string_view content = trim(std::u16string_view(text).substr(begin, line.end - begin));
        if (!content.empty() && content.front() == u'[' && content.find(u']') != std::u16string_view::npos) {
            line.kind = Line::Kind::Section;
            line.name = trim(content.substr(1, content.find(u']') - 1));
        } else if (!content.empty()) {
            line.kind = Line::Kind::Entry;
            const std::size_t equals = content.find(u'=');
            line.name = trim(content.substr(0, equals));
            if (equals != std::u16string_view::npos) line.value = trim(content.substr(equals + 1));
        }
        lines.push_back(line);
        begin = next == std::u16string::npos ? text.size() : next + 1;
    }
    return lines;
}

// Indexes into `lines`: the section's header and the key's line, when found.
struct Location {
    std::optional<std::size_t> section;
    std::optional<std::size_t> entry;
    std::size_t lastContentLine = 0;  // last non-blank line of the section
};

Location locate(const std::vector<Line>& lines, std::u16string_view section, std::u16string_view key) {
    Location location;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].kind != Line::Kind::Section || !equalIgnoringCase(lines[i].name, section)) continue;
        location.section = location.lastContentLine = i;
        for (std::size_t j = i + 1; j < lines.size() && lines[j].kind != Line::Kind::Section; ++j) {
            if (lines[j].kind != Line::Kind::Entry) continue;
            location.lastContentLine = j;
            if (!location.entry && equalIgnoringCase(lines[j].name, key)) location.entry = j;
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
    const std::vector<Line> lines = splitLines(document->text);
    const Location location = locate(lines, platform::utf8ToUtf16(section), platform::utf8ToUtf16(key));
    if (!location.entry) return std::nullopt;
    std::u16string value(withoutQuotes(lines[*location.entry].value));
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

// Replaces the key's line, or adds the key after the last line of its
// section, or adds the section at the end.
void setEntry(std::u16string& text, const IniEntry& entry) {
    const std::u16string section16 = platform::utf8ToUtf16(entry.section);
    const std::u16string key16 = platform::utf8ToUtf16(entry.key);
    const std::u16string value16 = platform::utf8ToUtf16(entry.value);
    const std::vector<Line> lines = splitLines(text);
    const Location location = locate(lines, section16, key16);

    if (location.entry) {
        const Line& line = lines[*location.entry];
        const std::u16string replacement = std::u16string(line.name) + u"=" + value16;
        text.replace(line.begin, line.end - line.begin, replacement);
    } else if (location.section) {
        const Line& after = lines[location.lastContentLine];
        const std::size_t lineBreakEnd = after.end < text.size() ? text.find(u'\n', after.end) : std::u16string::npos;
        const std::u16string line = key16 + u"=" + value16 + u"\r\n";
        if (lineBreakEnd == std::u16string::npos)
            text += u"\r\n" + line;
        else
            text.insert(lineBreakEnd + 1, line);
    } else {
        if (!text.empty() && text.back() != u'\n') text += u"\r\n";
        text += u"[" + section16 + u"]\r\n" + key16 + u"=" + value16 + u"\r\n";
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

bool CIniFile::writeString(const std::string& section, const std::string& key, const std::string& value) const {
    return writeEntries({{section, key, value}});
}

bool CIniFile::writeEntries(const std::vector<IniEntry>& entries) const {
    if (!ensureUtf16File()) return false;
    std::optional<Document> document = loadDocument(m_path);
    if (!document) return false;
    for (const IniEntry& entry : entries) setEntry(document->text, entry);
    return replaceFileContents(m_path, encodeDocument(*document));
}

bool CIniFile::writeInt(const std::string& section, const std::string& key, int value) const {
    return writeString(section, key, std::to_string(value));
}

bool CIniFile::writeStruct(const std::string& section, const std::string& key,
                           std::span<const std::uint8_t> bytes) const {
    return writeString(section, key, encodeStructValue(bytes));
}

}  // namespace platform
