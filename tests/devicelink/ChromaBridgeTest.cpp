#include "devicelink/ChromaBridge.h"
#include "tests/devicelink/DeviceLinkFixture.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

using namespace devicelink;

namespace {

// Reaches the test controls of a loaded substitute library.
struct Substitute {
    explicit Substitute(const char* path) : handle(dlopen(path, RTLD_NOW | RTLD_NOLOAD)) {}
    ~Substitute() {
        if (handle) dlclose(handle);
    }
    int send(int type, const std::vector<std::uint32_t>& colours) const {
        auto fn = reinterpret_cast<int (*)(int, const std::uint32_t*)>(dlsym(handle, "ChromaSubstituteEmit"));
        return fn(type, colours.empty() ? nullptr : colours.data());
    }
    bool registered() const { return reinterpret_cast<int (*)()>(dlsym(handle, "ChromaSubstituteRegistered"))() != 0; }
    void* handle;
};

class ChromaBridgeTest : public testsupport::IsolatedTest {
protected:
    std::vector<ChromaColours> received;
    std::function<void(const ChromaColours&)> record = [this](const ChromaColours& c) { received.push_back(c); };
};

TEST_F(ChromaBridgeTest, StartAnswersWithTheCodeOfEachLibraryState) {
    const struct {
        const char* library;
        int first, second;
    } cases[] = {
        {"/nonexistent/libRzChromaBroadcastAPI.so", kChromaNotLoaded, kChromaNotLoaded},
        {CHROMA_LIBRARY_OK, kChromaStarted, kChromaAlreadyLoaded},
        {CHROMA_LIBRARY_NO_INIT, kChromaNoInit, kChromaAlreadyLoaded},
        {CHROMA_LIBRARY_INIT_FAILS, kChromaInitFailed, kChromaAlreadyLoaded},
    };
    for (const auto& c : cases) {
        ChromaBridge bridge(record, c.library);
        EXPECT_EQ(bridge.Start(), c.first) << c.library;
        EXPECT_EQ(bridge.Start(), c.second) << c.library << " (the library stays loaded)";
    }
}

TEST_F(ChromaBridgeTest, ColourEventsReachTheGuiThreadOnlyWhileActive) {
    ChromaBridge bridge(record, CHROMA_LIBRARY_OK);
    bridge.follow(false);
    EXPECT_FALSE(bridge.loaded());
    bridge.follow(true);
    ASSERT_TRUE(bridge.active());
    Substitute library(CHROMA_LIBRARY_OK);
    ASSERT_NE(library.handle, nullptr);
    ASSERT_TRUE(library.registered());

    EXPECT_EQ(library.send(2, {1, 2, 3, 4, 5}), 0) << "other event types are ignored";
    EXPECT_EQ(library.send(1, {}), 0) << "a missing record is ignored";
    EXPECT_EQ(library.send(1, {0x0000FF, 0, 0, 0, 0}), 0);
    EXPECT_TRUE(received.empty()) << "nothing runs on the library's thread";
    ASSERT_TRUE(devicelinktest::pumpUntil([&] { return !received.empty(); }));
    platform::pumpEvents(3);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0], (ChromaColours{0x0000FF, 0, 0, 0, 0}));

    bridge.follow(false);
    EXPECT_FALSE(bridge.active());
    EXPECT_FALSE(bridge.loaded());
}

TEST_F(ChromaBridgeTest, EventsFasterThanTheGuiThreadKeepOnlyTheLatestColours) {
    ChromaBridge bridge(record, CHROMA_LIBRARY_OK);
    bridge.follow(true);
    Substitute library(CHROMA_LIBRARY_OK);
    for (std::uint32_t i = 1; i <= 5; ++i) library.send(1, {i, i, i, i, i});
    ASSERT_TRUE(devicelinktest::pumpUntil([&] { return !received.empty(); }));
    platform::pumpEvents(3);
    ASSERT_EQ(received.size(), 1u);
    EXPECT_EQ(received[0][0], 5u);
}

TEST_F(ChromaBridgeTest, StopUnregistersSoLaterEventsAreDropped) {
    ChromaBridge bridge(record, CHROMA_LIBRARY_OK);
    bridge.follow(true);
    Substitute library(CHROMA_LIBRARY_OK);
    library.send(1, {7, 7, 7, 7, 7});  // queued for the GUI thread
    bridge.Stop();
    EXPECT_FALSE(library.registered());
    EXPECT_EQ(library.send(1, {8, 8, 8, 8, 8}), -1) << "no callback registered";
    platform::pumpEvents(5);
    EXPECT_TRUE(received.empty()) << "colours queued before the stop are dropped";
}

}  // namespace
