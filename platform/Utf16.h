#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// Conversions between the UTF-8 text used inside the programs and the
// UTF-16LE bytes of the files the programs share with their Windows versions.
namespace platform {

// Invalid UTF-8 sequences become U+FFFD.
std::u16string utf8ToUtf16(std::string_view text);
// Unpaired surrogates become U+FFFD.
std::string utf16ToUtf8(std::u16string_view text);

// Little-endian bytes of `text`, without a byte-order mark.
std::string utf16ToLittleEndianBytes(std::u16string_view text);
// Reads pairs of little-endian bytes; an odd last byte is dropped.
std::u16string littleEndianBytesToUtf16(std::string_view bytes);

}  // namespace platform
