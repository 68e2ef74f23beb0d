#include "devicelink/ChromaBridge.h"

#include "devicelink/ChromaBroadcastApi.h"
#include "platform/Messages.h"

#include <QCoreApplication>
#include <QEvent>

#include <dlfcn.h>

namespace devicelink {
namespace {

// This program's identifier at the broadcast service.
constexpr ChromaAppId kApplicationId{{0x4C756D65, 0x6E737472, 0x61000001, 0x2516014D}};

// The library's callback finds the listening bridge here. Cleared under the
// same lock the callback holds, so no callback touches a bridge after it stopped.
std::mutex g_listenerMutex;
ChromaBridge* g_listener = nullptr;

QEvent::Type coloursWaiting() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

}  // namespace

bool ChromaBridge::event(QEvent* event) {
    platform::markEventReceived();
    if (event->type() != coloursWaiting()) return QObject::event(event);
    deliverLatest();
    return true;
}

ChromaBridge::ChromaBridge(std::function<void(const ChromaColours&)> onColours, std::string libraryName)
    : m_onColours(std::move(onColours)), m_libraryName(std::move(libraryName)) {}

ChromaBridge::~ChromaBridge() { Stop(); }

int ChromaBridge::Start() {
    if (m_library) return kChromaAlreadyLoaded;
    m_library = dlopen(m_libraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_library) return kChromaNotLoaded;
    // The library stays loaded after a failed Init, so a later Start answers 1247.
    auto init = reinterpret_cast<ChromaInitFn>(dlsym(m_library, "Init"));
    auto registerEvents = reinterpret_cast<ChromaRegisterFn>(dlsym(m_library, "RegisterEventNotification"));
    if (!init) return kChromaNoInit;
    if (init(kApplicationId) != 0) return kChromaInitFailed;
    {
        std::lock_guard lock(g_listenerMutex);
        g_listener = this;
    }
    if (registerEvents) registerEvents(&ChromaBridge::eventCallback);
    return kChromaStarted;
}

void ChromaBridge::follow(bool chromaSync) {
    if (chromaSync && !active()) {
        if (Start() == kChromaStarted) {
            std::lock_guard lock(m_mutex);
            m_active = true;
        }
    } else if (!chromaSync && active()) {
        Stop();
    }
}

void ChromaBridge::Stop() {
    {
        std::lock_guard lock(m_mutex);
        m_active = false;
    }
    {
        std::lock_guard lock(g_listenerMutex);
        if (g_listener == this) g_listener = nullptr;
    }
    if (!m_library) return;
    if (auto unregister = reinterpret_cast<ChromaUnregisterFn>(dlsym(m_library, "UnRegisterEventNotification")))
        unregister();
    if (auto unInit = reinterpret_cast<ChromaUnInitFn>(dlsym(m_library, "UnInit"))) unInit();
    dlclose(m_library);
    m_library = nullptr;
}

bool ChromaBridge::active() const {
    std::lock_guard lock(m_mutex);
    return m_active;
}

int ChromaBridge::eventCallback(int type, void* record) {
    if (type != 1 || !record) return 0;
    const auto* event = static_cast<const ChromaColourEvent*>(record);
    std::lock_guard listenerLock(g_listenerMutex);
    ChromaBridge* bridge = g_listener;
    if (!bridge) return 0;
    std::lock_guard lock(bridge->m_mutex);
    if (!bridge->m_active) return 0;
    for (std::size_t i = 0; i < bridge->m_latest.size(); ++i) bridge->m_latest[i] = event->colours[i];
    if (!bridge->m_deliveryQueued) {
        bridge->m_deliveryQueued = true;
        platform::postEvent(bridge, new QEvent(coloursWaiting()));
    }
    return 0;
}

void ChromaBridge::deliverLatest() {
    ChromaColours colours;
    {
        std::lock_guard lock(m_mutex);
        m_deliveryQueued = false;
        if (!m_active) return;
        colours = m_latest;
    }
    if (m_onColours) m_onColours(colours);
}

}  // namespace devicelink
