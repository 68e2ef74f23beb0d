#pragma once

#include "platform/CompanionChannel.h"

#include <chrono>
#include <cstdint>
#include <functional>

// The companion program runs beside Lumenstra and is told when a configuration
// run begins and ends and around every command sent to a controller. It is
// found by its window title every time; no connection is kept.
namespace platform {

inline constexpr char kCompanionTitle[] = "Ostmar Pellan KV 6000 Series_RGB_LED_Hid";
inline constexpr char kCompanionExecutable[] = "Ostmar_KV_6000_RGB_LED_HID";

// lParam 1: the configuration run begins (sent); 0: it ends (posted).
inline constexpr std::uint32_t kMsgConfigurationRun = 2929;
// wParam: the device address; lParam 1 before a command transaction, 0 after it.
inline constexpr std::uint32_t kMsgCommandTransaction = 2931;

// Made anew at each use, so a changed runtime folder is seen.
platform::CompanionChannel companion();

// Sends when the companion exists; skipped otherwise.
void sendToCompanion(std::uint32_t message, std::uint32_t wParam, std::int32_t lParam);
void postToCompanion(std::uint32_t message, std::uint32_t wParam, std::int32_t lParam);

// Up to three rounds: stop once the companion exists, otherwise start it and
// pause. Goes on whether or not it ever appears.
void EnsureCompanionRunning(const std::function<bool()>& exists, const std::function<void()>& start,
                            const std::function<void(std::chrono::milliseconds)>& pause,
                            std::chrono::milliseconds pauseLength);

}  // namespace platform
