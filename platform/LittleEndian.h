#pragma once

#include <cstdint>

// Controller records, package trailers and profile blocks store numbers least
// significant byte first.
namespace platform {

constexpr std::uint16_t readLe16(const std::uint8_t* bytes) {
    return static_cast<std::uint16_t>(bytes[0] | bytes[1] << 8);
}

constexpr std::uint32_t readLe24(const std::uint8_t* bytes) {
    return static_cast<std::uint32_t>(bytes[0]) | static_cast<std::uint32_t>(bytes[1]) << 8 |
           static_cast<std::uint32_t>(bytes[2]) << 16;
}

constexpr std::uint32_t readLe32(const std::uint8_t* bytes) {
    return readLe24(bytes) | static_cast<std::uint32_t>(bytes[3]) << 24;
}

constexpr void writeLe16(std::uint8_t* bytes, std::uint16_t value) {
    bytes[0] = static_cast<std::uint8_t>(value);
    bytes[1] = static_cast<std::uint8_t>(value >> 8);
}

constexpr void writeLe24(std::uint8_t* bytes, std::uint32_t value) {
    for (int i = 0; i < 3; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

constexpr void writeLe32(std::uint8_t* bytes, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

}  // namespace platform
