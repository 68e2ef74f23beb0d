#pragma once

#include <chrono>

namespace devicelink {

enum class PauseStrategy {
    Spin,           // poll the clock until the deadline: exact, burns the core
    SleepThenSpin,  // sleep until shortly before the deadline, then poll
};

// Sleeping wakes up late by a scheduler-dependent margin; the last stretch is
// polled so that the pause still ends on time.
inline constexpr std::chrono::microseconds kSpinMargin{200};

// Waits until `duration` has passed on the steady clock.
void pauseFor(std::chrono::microseconds duration, PauseStrategy strategy,
              std::chrono::microseconds spinMargin = kSpinMargin);
// The same with the process-wide strategy (sleep-then-spin unless changed).
void pauseFor(std::chrono::microseconds duration);
// For the benchmark that compares the strategies; set before threads start.
void setPauseStrategy(PauseStrategy strategy);

}  // namespace devicelink
