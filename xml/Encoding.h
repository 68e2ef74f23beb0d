#pragma once

#include <span>
#include <string>
#include <string_view>

// Character-set names, their Windows code page numbers and the conversion of
// byte texts to UTF-16 (glibc's iconv).
namespace xml::encoding {

// Unknown names, and names of 100 characters or more.
constexpr int kDefaultAnsiCodePage = 1252;

// The code page of a character-set name (letter case ignored), or the default.
int codePageOf(std::string_view name);

// The iconv converter used for a code page; nullptr when there is none.
const char* iconvNameOf(int codePage);

// Every row of the name table, for checks that each converter exists.
struct CharsetRow {
    std::string_view name;
    int codePage;
};
std::span<const CharsetRow> charsetTable();

// Converts `bytes` declared as `name`: names starting with "UTF-32" are read as
// 4-byte units; every other name goes through its code page. Invalid input
// becomes U+FFFD, never an error.
std::u16string toUtf16(std::string_view bytes, std::string_view name);

// The bytes converted with one iconv converter ("UTF-8", "CP1252", ...).
std::u16string convertWithIconv(std::string_view bytes, const char* iconvName);

// The byte-sequence check of files without a known encoding: lead bytes from
// 0x80 announce two, three or four bytes by bits 5 to 3 (bit 6 is not looked
// at), every following byte has its top bit set, and nothing runs past the end.
bool looksLikeUtf8(std::string_view bytes);

// The encoding an XML declaration or an HTML meta element of `head` declares.
std::string declaredEncoding(std::string_view head);

}  // namespace xml::encoding
