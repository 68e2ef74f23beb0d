// A stand-in for the broadcast library: it keeps the registered callback and
// calls it, from a thread of its own, when a test asks it to emit an event.
#include "devicelink/ChromaBroadcastApi.h"

#include <atomic>
#include <thread>

namespace {
std::atomic<ChromaEventCallback> g_callback{nullptr};
std::atomic<int> g_unInits{0};
}  // namespace

extern "C" {

#ifndef CHROMA_WITHOUT_INIT
__attribute__((visibility("default"))) int Init(ChromaAppId id) { return id.words[0] == 0 ? -1 : CHROMA_INIT_RESULT; }
#endif

__attribute__((visibility("default"))) int RegisterEventNotification(ChromaEventCallback callback) {
    g_callback.store(callback);
    return 0;
}

__attribute__((visibility("default"))) int UnRegisterEventNotification() {
    g_callback.store(nullptr);
    return 0;
}

__attribute__((visibility("default"))) int UnInit() {
    g_unInits.fetch_add(1);
    return 0;
}

// Test controls.
__attribute__((visibility("default"))) int ChromaSubstituteEmit(int type, const std::uint32_t* colours) {
    const ChromaEventCallback callback = g_callback.load();
    if (!callback) return -1;
    ChromaColourEvent event{};
    if (colours)
        for (int i = 0; i < 5; ++i) event.colours[i] = colours[i];
    int result = -1;
    std::thread([&] { result = callback(type, colours ? &event : nullptr); }).join();
    return result;
}

__attribute__((visibility("default"))) int ChromaSubstituteRegistered() { return g_callback.load() != nullptr; }
__attribute__((visibility("default"))) int ChromaSubstituteUnInits() { return g_unInits.load(); }
}
