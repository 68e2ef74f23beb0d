#include "platform/LittleEndian.h"
#include "platform/Numbers.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdint>

namespace {

TEST(WholeNumber, OnlyTheWholeTextInRangeIsANumber) {
    const struct {
        const char* text;
        int base;
        std::optional<std::uint8_t> value;
    } cases[] = {
        {"0", 10, 0},
        {"255", 10, 255},
        {"256", 10, std::nullopt},
        {"", 10, std::nullopt},
        {" 1", 10, std::nullopt},
        {"1 ", 10, std::nullopt},
        {"-1", 10, std::nullopt},
        {"+1", 10, std::nullopt},
        {"12x", 10, std::nullopt},
        {"ff", 16, 0xFF},
        {"FF", 16, 0xFF},
        {"0xff", 16, std::nullopt},
    };
    for (const auto& c : cases)
        EXPECT_EQ(platform::parseWholeNumber<std::uint8_t>(c.text, c.base), c.value) << '"' << c.text << '"';
    EXPECT_EQ(platform::parseWholeNumber<int>("-42"), -42);
}

TEST(LittleEndian, WritesAndReadsLeastSignificantByteFirst) {
    std::array<std::uint8_t, 4> bytes{};
    platform::writeLe32(bytes.data(), 0x12345678);
    EXPECT_EQ(bytes, (std::array<std::uint8_t, 4>{0x78, 0x56, 0x34, 0x12}));
    EXPECT_EQ(platform::readLe32(bytes.data()), 0x12345678u);
    EXPECT_EQ(platform::readLe24(bytes.data()), 0x345678u);
    EXPECT_EQ(platform::readLe16(bytes.data()), 0x5678u);
    platform::writeLe16(bytes.data(), 0xABCD);
    platform::writeLe24(bytes.data() + 1, 0xFFEEDD);
    EXPECT_EQ(bytes, (std::array<std::uint8_t, 4>{0xCD, 0xDD, 0xEE, 0xFF}));
    EXPECT_EQ(platform::readLe32(std::array<std::uint8_t, 4>{0, 0, 0, 0x80}.data()), 0x80000000u);
}

}  // namespace
