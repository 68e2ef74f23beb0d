#include "devicelink/Pause.h"

#include <atomic>
#include <thread>

namespace devicelink {
namespace {
std::atomic<PauseStrategy> g_strategy{PauseStrategy::SleepThenSpin};
}  // namespace

void setPauseStrategy(PauseStrategy strategy) { g_strategy.store(strategy); }

void pauseFor(std::chrono::microseconds duration) { pauseFor(duration, g_strategy.load()); }

void pauseFor(std::chrono::microseconds duration, PauseStrategy strategy, std::chrono::microseconds spinMargin) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    if (strategy == PauseStrategy::SleepThenSpin && duration > spinMargin)
        std::this_thread::sleep_until(deadline - spinMargin);
    while (std::chrono::steady_clock::now() < deadline) {
    }
}

}  // namespace devicelink
