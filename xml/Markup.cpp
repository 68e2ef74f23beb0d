#include "xml/Markup.h"

#include <algorithm>
#include <cstdint>
#include <iterator>

namespace xml::markup {
namespace {

struct NamedReference {
    std::u16string_view name;
    char16_t value;
};

constexpr NamedReference kNamedReferences[] = {
#include "xml/Entities.inc"
};

constexpr std::size_t npos = std::u16string_view::npos;

bool isAsciiLetter(char16_t c) { return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z'); }

bool endsName(char16_t c) { return isBlank(c) || c == u'/' || c == u'>' || c == u'=' || c == u'?'; }

Node errorNode(std::u16string_view text, std::size_t start, const char* label) {
    // The node runs through the next '>', or to the end of the text.
    const std::size_t close = text.find(u'>', start + 1);
    const std::size_t end = close == npos ? text.size() : close + 1;
    return Node{NodeKind::Error, start, end - start, false, label, false};
}

Node unterminatedNode(std::u16string_view text, std::size_t start, const char* label) {
    return Node{NodeKind::Error, start, text.size() - start, false, label, true};
}

// A node that ends with `terminator`, searched from `searchFrom`.
Node delimitedNode(std::u16string_view text, std::size_t start, std::size_t searchFrom, std::u16string_view terminator,
                   NodeKind kind, const char* label) {
    const std::size_t at = searchFrom <= text.size() ? text.find(terminator, searchFrom) : npos;
    if (at == npos) return unterminatedNode(text, start, label);
    return Node{kind, start, at + terminator.size() - start, false, nullptr, false};
}

// Start tags end at the first '>' outside a quoted value; a quote opens a value
// only after '=' (blanks may stand between). A '/' just before the '>' makes
// the element empty unless it is the last character of an unquoted value.
Node startTag(std::u16string_view text, std::size_t start) {
    std::size_t p = start + 1 + nameAt(text, start + 1).size();
    bool afterEquals = false;
    bool inUnquotedValue = false;
    std::size_t emptyMarkerAt = npos;
    while (p < text.size()) {
        const char16_t c = text[p];
        if (c == u'>') {
            const bool empty = emptyMarkerAt != npos && emptyMarkerAt + 1 == p;
            return Node{NodeKind::StartTag, start, p + 1 - start, empty, nullptr, false};
        }
        if (isBlank(c)) {
            inUnquotedValue = false;
        } else if (c == u'=') {
            afterEquals = true;
            inUnquotedValue = false;
        } else if ((c == u'"' || c == u'\'') && afterEquals) {
            const std::size_t close = text.find(c, p + 1);
            if (close == npos) break;
            p = close + 1;
            afterEquals = false;
            inUnquotedValue = false;
            continue;
        } else {
            if (c == u'/' && !inUnquotedValue) emptyMarkerAt = p;
            if (afterEquals) inUnquotedValue = true;
            afterEquals = false;
        }
        ++p;
    }
    return unterminatedNode(text, start, "Element tag");
}

// A document type declaration ends at the first '>' that does not belong to
// the declarations, comments or processing instructions of its internal subset.
Node doctype(std::u16string_view text, std::size_t start) {
    std::size_t p = start + 2;
    bool inSubset = false;
    while (p < text.size()) {
        const char16_t c = text[p];
        if (c == u'>' && !inSubset) return Node{NodeKind::Declaration, start, p + 1 - start, false, nullptr, false};
        if (c == u'[') {
            inSubset = true;
        } else if (c == u']') {
            inSubset = false;
        } else if (c == u'<' && inSubset) {
            const std::u16string_view rest = text.substr(p);
            std::size_t end = npos;
            if (rest.starts_with(u"<!--")) {
                const std::size_t close = text.find(u"-->", p + 4);
                end = close == npos ? npos : close + 3;
            } else if (rest.starts_with(u"<?")) {
                const std::size_t close = text.find(u"?>", p + 2);
                end = close == npos ? npos : close + 2;
            } else if (rest.starts_with(u"<!")) {
                char16_t quote = 0;
                for (std::size_t q = p + 2; q < text.size(); ++q) {
                    if (quote) {
                        if (text[q] == quote) quote = 0;
                    } else if (text[q] == u'"' || text[q] == u'\'') {
                        quote = text[q];
                    } else if (text[q] == u'>') {
                        end = q + 1;
                        break;
                    }
                }
            } else {
                end = p + 1;
            }
            if (end == npos) break;
            p = end;
            continue;
        }
        ++p;
    }
    return unterminatedNode(text, start, "Doctype");
}

// <!ELEMENT, <!ATTLIST, <!NOTATION ... end at '>' outside quotes.
Node markupDeclaration(std::u16string_view text, std::size_t start) {
    char16_t quote = 0;
    for (std::size_t p = start + 2; p < text.size(); ++p) {
        const char16_t c = text[p];
        if (quote) {
            if (c == quote) quote = 0;
        } else if (c == u'"' || c == u'\'') {
            quote = c;
        } else if (c == u'>') {
            return Node{NodeKind::Declaration, start, p + 1 - start, false, nullptr, false};
        }
    }
    return unterminatedNode(text, start, "Doctype");
}

Node markupNode(std::u16string_view text, std::size_t start) {
    const auto at = [&](std::size_t i) -> char16_t { return start + i < text.size() ? text[start + i] : 0; };
    const bool more1 = start + 1 < text.size();
    if (!more1) return unterminatedNode(text, start, "tag");
    const char16_t c1 = at(1);
    if (isAsciiLetter(c1) || c1 == u'_' || c1 == u':' || c1 > 0x7A) return startTag(text, start);
    if (c1 == u'/') return delimitedNode(text, start, start + 2, u">", NodeKind::EndTag, "Element end tag");
    if (c1 == u'?') {
        return delimitedNode(text, start, start + 2, u"?>", NodeKind::ProcessingInstruction, "Processing instruction");
    }
    if (c1 != u'!') return errorNode(text, start, "Incorrect tag name character");
    if (start + 2 >= text.size()) return unterminatedNode(text, start, "tag");
    switch (at(2)) {
    case u'-':
        if (start + 3 >= text.size()) return unterminatedNode(text, start, "tag");
        if (at(3) != u'-') return errorNode(text, start, "Incorrect comment tag");
        return delimitedNode(text, start, start + 4, u"-->", NodeKind::Comment, "Comment");
    case u'[':
        if (start + 3 >= text.size()) return unterminatedNode(text, start, "tag");
        if (at(3) != u'C') return errorNode(text, start, "Incorrect tag");
        return delimitedNode(text, start, start + 4, u"]]>", NodeKind::CData, "CDATA Section");
    case u'D': return doctype(text, start);
    case u'E':
    case u'A':
    case u'N': return markupDeclaration(text, start);
    default: return errorNode(text, start, "Incorrect ! tag");
    }
}

bool isAsciiDigit(char16_t c) { return c >= u'0' && c <= u'9'; }

int hexDigit(char16_t c) {
    if (isAsciiDigit(c)) return c - u'0';
    if (c >= u'a' && c <= u'f') return c - u'a' + 10;
    if (c >= u'A' && c <= u'F') return c - u'A' + 10;
    return -1;
}

// The code point of a reference name (what stands between '&' and ';'), or 0.
char32_t referenceValue(std::u16string_view name) {
    if (name.empty()) return 0;
    if (name[0] == u'#') {
        const bool hex = name.size() > 1 && (name[1] == u'x' || name[1] == u'X');
        const std::u16string_view digits = name.substr(hex ? 2 : 1);
        if (digits.empty()) return 0;
        char32_t value = 0;
        for (const char16_t c : digits) {
            const int digit = hex ? hexDigit(c) : (isAsciiDigit(c) ? c - u'0' : -1);
            if (digit < 0) return 0;
            value = value * (hex ? 16 : 10) + static_cast<char32_t>(digit);
        }
        // Beyond the last code point there is no character to stand for.
        return value > 0x10FFFF ? 0 : value;
    }
    const auto found =
        std::lower_bound(std::begin(kNamedReferences), std::end(kNamedReferences), name,
                         [](const NamedReference& entry, std::u16string_view wanted) { return entry.name < wanted; });
    if (found == std::end(kNamedReferences) || found->name != name) return 0;
    return found->value;
}

void appendCodePoint(std::u16string& out, char32_t value) {
    if (value > 0xFFFF) {
        value -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(value));
    }
}

}  // namespace

Node nextNode(std::u16string_view text, std::size_t offset) {
    if (offset >= text.size()) return Node{NodeKind::End, text.size(), 0, false, nullptr, false};
    if (text[offset] == u'<') return markupNode(text, offset);
    std::size_t end = text.find(u'<', offset);
    if (end == npos) end = text.size();
    const bool blank = std::all_of(text.begin() + offset, text.begin() + end, isBlank);
    return Node{blank ? NodeKind::Whitespace : NodeKind::Text, offset, end - offset, false, nullptr, false};
}

std::string errorText(const Node& node) {
    const std::string offset = std::to_string(node.start);
    if (node.unterminated) return std::string(node.errorLabel) + " at offset " + offset + " unterminated";
    return std::string(node.errorLabel) + " at offset " + offset;
}

std::u16string_view nameAt(std::u16string_view text, std::size_t from) {
    if (from >= text.size()) return {};
    std::size_t end = from;
    while (end < text.size() && !endsName(text[end])) ++end;
    return text.substr(from, end - from);
}

bool nameMatches(std::u16string_view name, std::u16string_view wanted) {
    if (!wanted.starts_with(name)) return false;
    if (wanted.size() == name.size()) return true;
    return std::u16string_view(u" =/[]").find(wanted[name.size()]) != npos;
}

bool equalIgnoringAsciiCase(std::u16string_view a, std::u16string_view b) {
    const auto lower = [](char16_t c) -> char16_t { return (c >= u'A' && c <= u'Z') ? c + 32 : c; };
    return a.size() == b.size() &&
           std::equal(a.begin(), a.end(), b.begin(), [&](char16_t x, char16_t y) { return lower(x) == lower(y); });
}

std::optional<std::u16string_view> findAttribute(std::u16string_view tag, std::u16string_view wanted, bool ignoreCase) {
    std::size_t p = 1;
    if (p < tag.size() && tag[p] == u'?') ++p;
    p += nameAt(tag, p).size();
    const auto skipBlanks = [&] {
        while (p < tag.size() && isBlank(tag[p])) ++p;
    };
    while (p < tag.size()) {
        const char16_t c = tag[p];
        if (c == u'>') break;
        if (isBlank(c) || c == u'/' || c == u'?') {
            ++p;
            continue;
        }
        const std::u16string_view name = nameAt(tag, p);
        p += name.size();
        skipBlanks();
        std::u16string_view value;
        if (p < tag.size() && tag[p] == u'=') {
            ++p;
            skipBlanks();
            if (p < tag.size() && (tag[p] == u'"' || tag[p] == u'\'')) {
                const std::size_t close = tag.find(tag[p], p + 1);
                const std::size_t end = close == npos ? tag.size() : close;
                value = tag.substr(p + 1, end - p - 1);
                p = end + 1;
            } else {
                const std::size_t from = p;
                while (p < tag.size() && !isBlank(tag[p]) && tag[p] != u'>') ++p;
                value = tag.substr(from, p - from);
            }
        }
        if (ignoreCase ? equalIgnoringAsciiCase(name, wanted) : nameMatches(name, wanted)) return value;
    }
    return std::nullopt;
}

std::u16string decodeReferences(std::u16string_view text) {
    std::u16string out;
    out.reserve(text.size());
    std::size_t p = 0;
    while (p < text.size()) {
        const std::size_t amp = text.find(u'&', p);
        if (amp == npos) {
            out.append(text.substr(p));
            break;
        }
        out.append(text.substr(p, amp - p));
        // Up to nine ASCII characters and a ';' make a reference.
        char32_t value = 0;
        std::size_t end = amp + 1;
        while (end < text.size() && end - amp <= 10 && text[end] != u';' && text[end] < 0x80) ++end;
        if (end < text.size() && text[end] == u';' && end - amp - 1 <= 9) {
            value = referenceValue(text.substr(amp + 1, end - amp - 1));
        }
        if (value == 0) {
            out.push_back(u'&');
            p = amp + 1;
        } else {
            appendCodePoint(out, value);
            p = end + 1;
        }
    }
    return out;
}

}  // namespace xml::markup
