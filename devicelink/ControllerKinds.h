#pragma once

#include <cstdint>

// What tells the controllers apart on the bus: one vendor, two families, and
// for each family one product ID in application firmware and one in the boot
// loader. Each pair has its own link.
namespace devicelink {

inline constexpr std::uint16_t kVendorId = 0x2516;
inline constexpr std::uint16_t kUsagePage = 0xFF00;
inline constexpr std::uint16_t kUsage = 0x0001;

inline constexpr std::uint16_t kStandardAppProductId = 0x014D;
inline constexpr std::uint16_t kStandardBootProductId = 0x014E;
inline constexpr std::uint16_t kLed5AppProductId = 0x015B;
inline constexpr std::uint16_t kLed5BootProductId = 0x015C;

enum class Family : int { Standard = 0, Led5 = 1 };
enum class LinkMode : int { Application = 0, BootLoader = 1 };

constexpr std::uint16_t ProductIdOf(Family family, LinkMode mode) {
    const bool boot = mode == LinkMode::BootLoader;
    if (family == Family::Led5) return boot ? kLed5BootProductId : kLed5AppProductId;
    return boot ? kStandardBootProductId : kStandardAppProductId;
}

// The library instance a link uses: 0 standard, 1 its boot loader, 2 LED5, 3 its boot loader.
constexpr int InstanceIndexOf(Family family, LinkMode mode) {
    return 2 * static_cast<int>(family) + static_cast<int>(mode);
}

}  // namespace devicelink
