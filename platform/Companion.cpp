#include "platform/Companion.h"

#include "platform/Timing.h"

namespace platform {

platform::CompanionChannel companion() { return platform::CompanionChannel(kCompanionTitle); }

void sendToCompanion(std::uint32_t message, std::uint32_t wParam, std::int32_t lParam) {
    const platform::CompanionChannel channel = companion();
    if (channel.exists()) channel.send({message, wParam, lParam}, platform::timing().companionSendTimeout);
}

void postToCompanion(std::uint32_t message, std::uint32_t wParam, std::int32_t lParam) {
    const platform::CompanionChannel channel = companion();
    if (channel.exists()) channel.post({message, wParam, lParam});
}

void EnsureCompanionRunning(const std::function<bool()>& exists, const std::function<void()>& start,
                            const std::function<void(std::chrono::milliseconds)>& pause,
                            std::chrono::milliseconds pauseLength) {
    for (int round = 0; round < 3; ++round) {
        if (exists()) return;
        start();
        pause(pauseLength);
    }
}

}  // namespace platform
