#include "devicelink/Pause.h"

#include <thread>

namespace devicelink {

void pauseFor(std::chrono::microseconds duration, PauseStrategy strategy, std::chrono::microseconds spinMargin) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    if (strategy == PauseStrategy::SleepThenSpin && duration > spinMargin)
        std::this_thread::sleep_until(deadline - spinMargin);
    while (std::chrono::steady_clock::now() < deadline) {
    }
}

}  // namespace devicelink
