#include "xml/Encoding.h"

#include "platform/Utf16.h"
#include "xml/LargeBuffer.h"
#include "xml/Markup.h"

#include <iconv.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdint>
#include <iterator>

namespace xml::encoding {
namespace {

// Names as documents declare them, with Windows code page numbers.
constexpr CharsetRow kCharsets[] = {
    {"utf-8", 65001},
    {"unicode-1-1-utf-8", 65001},
    {"unicode-2-0-utf-8", 65001},
    {"x-unicode-2-0-utf-8", 65001},
    {"utf-16", 1200},
    {"unicode", 1200},
    {"utf-16le", 1200},
    {"ucs-2", 1200},
    {"iso-10646-ucs-2", 1200},
    {"unicodefffe", 1201},
    {"utf-16be", 1201},
    {"utf-7", 65000},
    {"unicode-1-1-utf-7", 65000},
    {"unicode-2-0-utf-7", 65000},
    {"x-unicode-1-1-utf-7", 65000},
    {"x-unicode-2-0-utf-7", 65000},
    {"csunicode11utf7", 65000},
    {"us-ascii", 20127},
    {"ascii", 20127},
    {"ansi_x3.4-1968", 20127},
    {"ansi_x3.4-1986", 20127},
    {"cp367", 20127},
    {"csascii", 20127},
    {"ibm367", 20127},
    {"iso-ir-6", 20127},
    {"iso646-us", 20127},
    {"iso_646.irv:1991", 20127},
    {"us", 20127},
    {"windows-1250", 1250},
    {"x-cp1250", 1250},
    {"windows-1251", 1251},
    {"x-cp1251", 1251},
    {"windows-1252", 1252},
    {"x-ansi", 1252},
    {"windows-1253", 1253},
    {"windows-1254", 1254},
    {"windows-1255", 1255},
    {"windows-1256", 1256},
    {"cp1256", 1256},
    {"windows-1257", 1257},
    {"windows-1258", 1258},
    {"iso-8859-1", 28591},
    {"iso_8859-1", 28591},
    {"iso_8859-1:1987", 28591},
    {"iso-ir-100", 28591},
    {"latin1", 28591},
    {"l1", 28591},
    {"cp819", 28591},
    {"ibm819", 28591},
    {"csisolatin1", 28591},
    {"iso-8859-2", 28592},
    {"iso_8859-2", 28592},
    {"iso-ir-101", 28592},
    {"latin2", 28592},
    {"l2", 28592},
    {"csisolatin2", 28592},
    {"iso-8859-3", 28593},
    {"iso_8859-3", 28593},
    {"latin3", 28593},
    {"l3", 28593},
    {"csisolatin3", 28593},
    {"iso-8859-4", 28594},
    {"iso_8859-4", 28594},
    {"latin4", 28594},
    {"l4", 28594},
    {"csisolatin4", 28594},
    {"iso-8859-5", 28595},
    {"iso_8859-5", 28595},
    {"cyrillic", 28595},
    {"csisolatincyrillic", 28595},
    {"iso-8859-6", 28596},
    {"iso_8859-6", 28596},
    {"arabic", 28596},
    {"csisolatinarabic", 28596},
    {"iso-8859-7", 28597},
    {"iso_8859-7", 28597},
    {"greek", 28597},
    {"greek8", 28597},
    {"elot_928", 28597},
    {"csisolatingreek", 28597},
    {"iso-8859-8", 28598},
    {"iso_8859-8", 28598},
    {"hebrew", 28598},
    {"visual", 28598},
    {"csisolatinhebrew", 28598},
    {"iso-8859-8-i", 38598},
    {"logical", 38598},
    {"iso-8859-9", 28599},
    {"iso_8859-9", 28599},
    {"latin5", 28599},
    {"l5", 28599},
    {"csisolatin5", 28599},
    {"iso-8859-13", 28603},
    {"iso-8859-15", 28605},
    {"iso_8859-15", 28605},
    {"latin-9", 28605},
    {"latin9", 28605},
    {"l9", 28605},
    {"shift_jis", 932},
    {"shift-jis", 932},
    {"csshiftjis", 932},
    {"cswindows31j", 932},
    {"ms_kanji", 932},
    {"sjis", 932},
    {"x-sjis", 932},
    {"x-ms-cp932", 932},
    {"windows-31j", 932},
    {"gb2312", 936},
    {"gbk", 936},
    {"chinese", 936},
    {"cp936", 936},
    {"csgb2312", 936},
    {"csiso58gb231280", 936},
    {"gb_2312-80", 936},
    {"gb231280", 936},
    {"iso-ir-58", 936},
    {"x-gbk", 936},
    {"gb18030", 54936},
    {"euc-cn", 51936},
    {"x-euc-cn", 51936},
    {"ks_c_5601-1987", 949},
    {"euc-kr", 949},
    {"korean", 949},
    {"ks_c_5601", 949},
    {"ks_c_5601-1989", 949},
    {"ks_c_5601_1987", 949},
    {"ksc5601", 949},
    {"ksc_5601", 949},
    {"csksc56011987", 949},
    {"iso-ir-149", 949},
    {"cseuckr", 949},
    {"iso-2022-kr", 50225},
    {"csiso2022kr", 50225},
    {"big5", 950},
    {"cn-big5", 950},
    {"csbig5", 950},
    {"x-x-big5", 950},
    {"koi8-r", 20866},
    {"cskoi8r", 20866},
    {"koi", 20866},
    {"koi8", 20866},
    {"koi8r", 20866},
    {"koi8-u", 21866},
    {"koi8-ru", 21866},
    {"euc-jp", 51932},
    {"x-euc-jp", 51932},
    {"cseucpkdfmtjapanese", 51932},
    {"extended_unix_code_packed_format_for_japanese", 51932},
    {"x-euc", 51932},
    {"iso-2022-jp", 50220},
    {"csiso2022jp", 50221},
    {"windows-874", 874},
    {"tis-620", 874},
    {"dos-874", 874},
    {"iso-8859-11", 874},
    {"ibm437", 437},
    {"cp437", 437},
    {"437", 437},
    {"cspc8codepage437", 437},
    {"ibm737", 737},
    {"ibm850", 850},
    {"cp850", 850},
    {"ibm852", 852},
    {"cp852", 852},
    {"ibm855", 855},
    {"cp855", 855},
    {"ibm857", 857},
    {"cp857", 857},
    {"ibm860", 860},
    {"cp860", 860},
    {"ibm861", 861},
    {"cp861", 861},
    {"ibm863", 863},
    {"cp863", 863},
    {"ibm864", 864},
    {"cp864", 864},
    {"ibm865", 865},
    {"cp865", 865},
    {"cp866", 866},
    {"ibm866", 866},
    {"ibm869", 869},
    {"cp869", 869},
    {"dos-862", 862},
    {"macintosh", 10000},
    {"x-mac-cyrillic", 10007},
    {"x-mac-ce", 10029},
};

struct Converter {
    int codePage;
    const char* iconvName;
};

// Files without a byte-order mark have lost their zero bytes before the
// conversion, so a text declared as UTF-16 can only be read byte by byte: it
// is taken as UTF-8.
constexpr Converter kConverters[] = {
    {65001, "UTF-8"},       {1200, "UTF-8"},        {1201, "UTF-8"},         {65000, "UTF-7"},
    {20127, "ASCII"},       {1250, "CP1250"},       {1251, "CP1251"},        {1252, "CP1252"},
    {1253, "CP1253"},       {1254, "CP1254"},       {1255, "CP1255"},        {1256, "CP1256"},
    {1257, "CP1257"},       {1258, "CP1258"},       {28591, "ISO-8859-1"},   {28592, "ISO-8859-2"},
    {28593, "ISO-8859-3"},  {28594, "ISO-8859-4"},  {28595, "ISO-8859-5"},   {28596, "ISO-8859-6"},
    {28597, "ISO-8859-7"},  {28598, "ISO-8859-8"},  {38598, "ISO-8859-8"},   {28599, "ISO-8859-9"},
    {28603, "ISO-8859-13"}, {28605, "ISO-8859-15"}, {932, "CP932"},          {936, "CP936"},
    {54936, "GB18030"},     {51936, "EUC-CN"},      {949, "CP949"},          {50225, "ISO-2022-KR"},
    {950, "CP950"},         {20866, "KOI8-R"},      {21866, "KOI8-U"},       {51932, "EUC-JP"},
    {50220, "ISO-2022-JP"}, {50221, "ISO-2022-JP"}, {874, "CP874"},          {437, "CP437"},
    {737, "CP737"},         {850, "CP850"},         {852, "CP852"},          {855, "CP855"},
    {857, "CP857"},         {860, "CP860"},         {861, "CP861"},          {862, "CP862"},
    {863, "CP863"},         {864, "CP864"},         {865, "CP865"},          {866, "CP866"},
    {869, "CP869"},         {10000, "MACINTOSH"},   {10007, "MAC-CYRILLIC"}, {10029, "MAC-CENTRALEUROPE"},
};

constexpr char16_t kReplacement = 0xFFFD;

std::string lowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    }
    return out;
}

void appendCodePoint(std::u16string& out, std::uint32_t value) {
    if (value > 0x10FFFF) {
        out.push_back(kReplacement);
    } else if (value > 0xFFFF) {
        value -= 0x10000;
        out.push_back(static_cast<char16_t>(0xD800 + (value >> 10)));
        out.push_back(static_cast<char16_t>(0xDC00 + (value & 0x3FF)));
    } else {
        out.push_back(static_cast<char16_t>(value));
    }
}

std::u16string utf32ToUtf16(std::string_view bytes, bool bigEndian) {
    std::u16string out;
    out.reserve(bytes.size() / 4);
    for (std::size_t i = 0; i + 4 <= bytes.size(); i += 4) {
        std::uint32_t value = 0;
        for (int k = 0; k < 4; ++k) {
            const auto byte = static_cast<std::uint8_t>(bytes[i + (bigEndian ? k : 3 - k)]);
            value = (value << 8) | byte;
        }
        appendCodePoint(out, value);
    }
    return out;
}

std::u16string widenLatin1(std::string_view bytes) {
    std::u16string out(bytes.size(), u'\0');
    std::transform(bytes.begin(), bytes.end(), out.begin(),
                   [](char c) { return static_cast<char16_t>(static_cast<unsigned char>(c)); });
    return out;
}

// The word after "charset" and "=" in a meta element's content value.
std::u16string charsetOf(std::u16string_view content) {
    for (std::size_t at = 0; at + 7 <= content.size(); ++at) {
        if (!markup::equalIgnoringAsciiCase(content.substr(at, 7), u"charset")) continue;
        std::size_t p = at + 7;
        while (p < content.size() && markup::isBlank(content[p])) ++p;
        if (p >= content.size() || content[p] != u'=') continue;
        ++p;
        while (p < content.size() && markup::isBlank(content[p])) ++p;
        const std::size_t from = p;
        while (p < content.size() && !markup::isBlank(content[p]) && content[p] != u';' && content[p] != u'"' &&
               content[p] != u'\'') {
            ++p;
        }
        return std::u16string(content.substr(from, p - from));
    }
    return {};
}

}  // namespace

int codePageOf(std::string_view name) {
    if (name.size() >= 100) return kDefaultAnsiCodePage;
    const std::string lower = lowerAscii(name);
    for (const CharsetRow& row : kCharsets) {
        if (row.name == lower) return row.codePage;
    }
    return kDefaultAnsiCodePage;
}

const char* iconvNameOf(int codePage) {
    for (const Converter& converter : kConverters) {
        if (converter.codePage == codePage) return converter.iconvName;
    }
    return nullptr;
}

std::span<const CharsetRow> charsetTable() { return kCharsets; }

std::u16string convertWithIconv(std::string_view bytes, const char* iconvName) {
    iconv_t converter = iconv_open("UTF-16LE", iconvName);
    if (converter == reinterpret_cast<iconv_t>(-1)) return widenLatin1(bytes);

    // No byte yields more than a surrogate pair; the buffer grows if a
    // converter ever needs more.
    std::u16string out;
    out.reserve(bytes.size() + 16);
    adviseHugePages(out.data(), out.capacity() * sizeof(char16_t));
    out.resize(bytes.size() + 16);
    std::size_t produced = 0;
    const bool asciiRunsAsIs = std::string_view(iconvName) == "UTF-8";
    std::size_t p = 0;
    while (p < bytes.size()) {
        if (asciiRunsAsIs && static_cast<unsigned char>(bytes[p]) < 0x80) {
            // ASCII stands for itself in UTF-8: copied without the converter.
            for (; p < bytes.size() && static_cast<unsigned char>(bytes[p]) < 0x80; ++p) {
                out[produced++] = static_cast<char16_t>(bytes[p]);
            }
            continue;
        }
        std::size_t runEnd = bytes.size();
        if (asciiRunsAsIs) {
            runEnd = p;
            while (runEnd < bytes.size() && static_cast<unsigned char>(bytes[runEnd]) >= 0x80) ++runEnd;
        }
        char* in = const_cast<char*>(bytes.data() + p);
        std::size_t inLeft = runEnd - p;
        while (inLeft > 0) {
            if (out.size() - produced < 8) out.resize(out.size() * 2);
            char* outPtr = reinterpret_cast<char*>(out.data() + produced);
            std::size_t outLeft = (out.size() - produced) * 2;
            const std::size_t result = iconv(converter, &in, &inLeft, &outPtr, &outLeft);
            const int error = errno;
            produced = out.size() - outLeft / 2;
            if (result != static_cast<std::size_t>(-1) || error == E2BIG) continue;
            // An invalid or cut-off sequence: one replacement character per byte.
            out[produced++] = kReplacement;
            ++in;
            --inLeft;
            iconv(converter, nullptr, nullptr, nullptr, nullptr);
        }
        // Converters with shift states may still owe their last characters.
        if (out.size() - produced < 8) out.resize(out.size() * 2);
        char* outPtr = reinterpret_cast<char*>(out.data() + produced);
        std::size_t outLeft = (out.size() - produced) * 2;
        iconv(converter, nullptr, nullptr, &outPtr, &outLeft);
        produced = out.size() - outLeft / 2;
        p = runEnd;
    }
    iconv_close(converter);
    out.resize(produced);
    if constexpr (std::endian::native == std::endian::big) {
        for (char16_t& unit : out) unit = static_cast<char16_t>((unit >> 8) | (unit << 8));
    }
    return out;
}

std::u16string toUtf16(std::string_view bytes, std::string_view name) {
    if (name.starts_with("UTF-32")) return utf32ToUtf16(bytes, name == "UTF-32BE");
    const char* iconvName = iconvNameOf(codePageOf(name));
    if (!iconvName) iconvName = iconvNameOf(kDefaultAnsiCodePage);
    return convertWithIconv(bytes, iconvName);
}

bool looksLikeUtf8(std::string_view bytes) {
    std::size_t i = 0;
    while (i < bytes.size()) {
        const auto lead = static_cast<std::uint8_t>(bytes[i]);
        std::size_t length = 1;
        if (lead >= 0x80) {
            if (!(lead & 0x20))
                length = 2;
            else if (!(lead & 0x10))
                length = 3;
            else if (!(lead & 0x08))
                length = 4;
            else
                return false;
        }
        if (i + length > bytes.size()) return false;
        for (std::size_t k = 1; k < length; ++k) {
            if (!(static_cast<std::uint8_t>(bytes[i + k]) & 0x80)) return false;
        }
        i += length;
    }
    return true;
}

std::string declaredEncoding(std::string_view head) {
    using markup::NodeKind;
    const std::u16string text = convertWithIconv(head, "UTF-8");
    const std::u16string_view view(text);
    bool sawEndTag = false;
    bool sawElement = false;
    std::size_t offset = 0;
    while (true) {
        const markup::Node node = markup::nextNode(view, offset);
        if (node.kind == NodeKind::End || node.kind == NodeKind::Error) return {};
        const std::u16string_view tag = view.substr(node.start, node.length);
        if (node.kind == NodeKind::ProcessingInstruction && !sawEndTag &&
            markup::equalIgnoringAsciiCase(markup::nameAt(tag, 2), u"xml")) {
            const auto encoding = markup::findAttribute(tag, u"encoding", true);
            return encoding ? platform::utf16ToUtf8(markup::decodeReferences(*encoding)) : std::string();
        }
        if (node.kind == NodeKind::StartTag) {
            const std::u16string_view name = markup::nameAt(tag, 1);
            if (!sawElement) {
                sawElement = true;
                if (!markup::equalIgnoringAsciiCase(name, u"html")) return {};
            } else if (markup::equalIgnoringAsciiCase(name, u"meta")) {
                const auto equiv = markup::findAttribute(tag, u"http-equiv", true);
                const auto content = markup::findAttribute(tag, u"content", true);
                if (equiv && content &&
                    markup::equalIgnoringAsciiCase(markup::decodeReferences(*equiv), u"Content-Type")) {
                    const std::u16string charset = charsetOf(markup::decodeReferences(*content));
                    if (!charset.empty()) return platform::utf16ToUtf8(charset);
                }
            }
        }
        if (node.kind == NodeKind::EndTag) {
            sawEndTag = true;
            if (markup::equalIgnoringAsciiCase(markup::nameAt(tag, 2), u"head")) return {};
        }
        offset = node.start + node.length;
    }
}

}  // namespace xml::encoding
