#pragma once

#include <cstdint>

// Window message numbers and notification codes that the skinned controls
// exchange with their parents; the numbers are the ones every window expects.
namespace skin {

constexpr unsigned kWmCommand = 0x0111;
constexpr unsigned kWmHScroll = 0x0114;
constexpr unsigned kWmVScroll = 0x0115;
constexpr unsigned kWmMouseMove = 0x0200;

constexpr std::uintptr_t kBnClicked = 0;
constexpr std::uintptr_t kBnDoubleClicked = 5;
constexpr std::uintptr_t kToggleReleased = 23;
constexpr std::uintptr_t kAutoRepeatTick = 122;
constexpr std::uintptr_t kRightButtonCode = 0x00FF;
constexpr std::uintptr_t kMiddleButtonCode = 0xFFFF;
constexpr std::uintptr_t kListItemCode = 2;  // item release and icon click of a list button

constexpr unsigned kAutoRepeatTimer = 256;

constexpr unsigned kSliderNotify = 1136;
constexpr unsigned kColorPickerNotify = 1294;

constexpr unsigned kMenuClick = 1281;
constexpr unsigned kMenuDoubleClick = 21505;
constexpr unsigned kMenuRightClick = 21506;
constexpr unsigned kMenuScrolled = 21507;
constexpr unsigned kMenuForward = 21508;
constexpr unsigned kApplyMessage = 1274;  // also ends the dimming overlay

enum ScrollCode : std::uintptr_t {
    kLineUp = 0,
    kLineDown = 1,
    kPageUp = 2,
    kPageDown = 3,
    kThumbPosition = 4,
    kThumbTrack = 5,
    kTop = 6,
    kBottom = 7,
};

constexpr std::uintptr_t makeWord(unsigned low, unsigned high) {
    return (static_cast<std::uintptr_t>(high & 0xFFFF) << 16) | (low & 0xFFFF);
}
constexpr unsigned lowWord(std::uintptr_t value) { return static_cast<unsigned>(value & 0xFFFF); }
constexpr unsigned highWord(std::uintptr_t value) { return static_cast<unsigned>((value >> 16) & 0xFFFF); }

}  // namespace skin
