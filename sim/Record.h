#pragma once

#include <array>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

// The 64-byte command record as the emulated controller sees it: cmd, key,
// index (little-endian) and 60 data bytes. Replies have the same shape.
namespace sim {

constexpr std::size_t kRecordSize = 64;
constexpr std::size_t kDataSize = 60;
constexpr std::size_t kReportSize = kRecordSize + 1;  // report ID byte first

using Record = std::array<std::uint8_t, kRecordSize>;
using RecordData = std::array<std::uint8_t, kDataSize>;

inline std::uint8_t recordCmd(const Record& r) { return r[0]; }
inline std::uint8_t recordKey(const Record& r) { return r[1]; }
inline std::uint16_t recordIndex(const Record& r) { return static_cast<std::uint16_t>(r[2] | (r[3] << 8)); }
inline RecordData recordData(const Record& r) {
    RecordData data{};
    for (std::size_t i = 0; i < kDataSize; ++i) data[i] = r[4 + i];
    return data;
}

inline Record makeRecord(std::uint8_t cmd, std::uint8_t key, std::uint16_t index,
                         std::span<const std::uint8_t> data = {}) {
    Record r{};
    r[0] = cmd;
    r[1] = key;
    r[2] = static_cast<std::uint8_t>(index & 0xFF);
    r[3] = static_cast<std::uint8_t>(index >> 8);
    for (std::size_t i = 0; i < data.size() && i < kDataSize; ++i) r[4 + i] = data[i];
    return r;
}

// Lower-case hex digits of `bytes`, two per byte, no separators.
std::string toHex(std::span<const std::uint8_t> bytes);
// Parses an even number of hex digits (either case); false on anything else.
bool fromHex(std::string_view text, std::string& bytes);

}  // namespace sim
