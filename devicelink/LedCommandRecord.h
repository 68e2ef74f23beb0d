#pragma once

#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "platform/LittleEndian.h"

namespace devicelink {

// One command or reply: cmd, key, index (little-endian), 60 data bytes. A
// reply repeats the command's cmd, key and index.
struct LedCommandRecord {
    std::uint8_t cmd = 0;
    std::uint8_t key = 0;
    std::uint16_t index = 0;
    std::array<std::uint8_t, 60> data{};

    static constexpr std::size_t kSize = 64;

    std::array<std::uint8_t, kSize> bytes() const {
        std::array<std::uint8_t, kSize> out{};
        out[0] = cmd;
        out[1] = key;
        platform::writeLe16(out.data() + 2, index);
        std::memcpy(out.data() + 4, data.data(), data.size());
        return out;
    }

    static LedCommandRecord fromBytes(const std::uint8_t* bytes) {
        LedCommandRecord record;
        record.cmd = bytes[0];
        record.key = bytes[1];
        record.index = platform::readLe16(bytes + 2);
        std::memcpy(record.data.data(), bytes + 4, record.data.size());
        return record;
    }

    bool sameCommand(const LedCommandRecord& other) const {
        return cmd == other.cmd && key == other.key && index == other.index;
    }

    bool operator==(const LedCommandRecord&) const = default;
};

}  // namespace devicelink
