#pragma once

#include <cstdint>

// The entry points of the broadcast library "libRzChromaBroadcastAPI.so",
// loaded by name at run time. The test substitute library implements them too.
extern "C" {

// Identifies this program to the broadcast service; passed by value.
struct ChromaAppId {
    std::uint32_t words[4];
};

// Event type 1: the record holds five 32-bit colours (red in the lowest byte).
struct ChromaColourEvent {
    std::uint32_t colours[5];
};

using ChromaEventCallback = int (*)(int type, void* record);
using ChromaInitFn = int (*)(ChromaAppId id);
using ChromaRegisterFn = int (*)(ChromaEventCallback callback);
using ChromaUnregisterFn = int (*)();
using ChromaUnInitFn = int (*)();
}
