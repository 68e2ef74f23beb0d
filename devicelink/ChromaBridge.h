#pragma once

#include <QObject>

#include <array>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace devicelink {

using ChromaColours = std::array<std::uint32_t, 5>;

inline constexpr char kChromaLibraryName[] = "libRzChromaBroadcastAPI.so";

// Start results.
inline constexpr int kChromaStarted = 0;
inline constexpr int kChromaNoInit = 1;
inline constexpr int kChromaNotLoaded = 2;
inline constexpr int kChromaAlreadyLoaded = 1247;
inline constexpr int kChromaInitFailed = 1627;

// The bridge to the broadcast library. At most one bridge listens at a time.
// The library calls back on a thread of its own; the bridge hands the colours
// to the thread the bridge lives on (the GUI thread), where `onColours` runs,
// so colours never reach a controller while a transaction is in flight there.
// When events come faster than the GUI thread takes them, the latest colours win.
class ChromaBridge : public QObject {
public:
    explicit ChromaBridge(std::function<void(const ChromaColours&)> onColours,
                          std::string libraryName = kChromaLibraryName);
    ~ChromaBridge() override;
    ChromaBridge(const ChromaBridge&) = delete;
    ChromaBridge& operator=(const ChromaBridge&) = delete;

    // Loads the library, initialises it and registers for events.
    int Start();
    // Follows the Chroma sync flag of the profile set: starts the bridge when
    // it is on and not active, stops it when it is off and active.
    void follow(bool chromaSync);
    // Unregisters, uninitialises and unloads.
    void Stop();
    bool active() const;
    bool loaded() const { return m_library != nullptr; }

protected:
    bool event(QEvent* event) override;

private:
    static int eventCallback(int type, void* record);
    void deliverLatest();

    std::function<void(const ChromaColours&)> m_onColours;
    std::string m_libraryName;
    void* m_library = nullptr;

    mutable std::mutex m_mutex;  // guards the members below, shared with the library's thread
    bool m_active = false;
    bool m_deliveryQueued = false;
    ChromaColours m_latest{};
};

}  // namespace devicelink
