#include "platform/Messages.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <atomic>
#include <mutex>

namespace platform {

MessageEvent::MessageEvent(const WindowMessage& message) : QEvent(eventType()), m_message(message) {}

QEvent::Type MessageEvent::eventType() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

namespace {
std::atomic<unsigned> g_postedEvents{0};
std::mutex g_postMutex;
}  // namespace

void postEvent(QObject* target, QEvent* event) {
    std::lock_guard lock(g_postMutex);
    g_postedEvents.fetch_add(1, std::memory_order_release);
    QCoreApplication::postEvent(target, event);
}

void markEventReceived() { (void)g_postedEvents.load(std::memory_order_acquire); }

void postMessage(QObject* target, const WindowMessage& message) {
    if (!target) return;
    postEvent(target, new MessageEvent(message));
}

std::intptr_t sendMessage(QObject* target, const WindowMessage& message) {
    if (!target) return 0;
    MessageEvent event(message);
    QCoreApplication::sendEvent(target, &event);
    return event.result();
}

void pumpEvents(int rounds) {
    for (int round = 0; round < rounds; ++round) QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void pumpEventsFor(std::chrono::milliseconds duration) {
    QEventLoop loop;
    QTimer::singleShot(duration, &loop, &QEventLoop::quit);
    loop.exec();
}

void WindowTimers::set(QObject& owner, unsigned id, std::chrono::milliseconds interval) {
    kill(owner, id);
    const int qtId = owner.startTimer(interval);
    if (qtId != 0) m_qtIds[id] = qtId;
}

void WindowTimers::kill(QObject& owner, unsigned id) {
    const auto found = m_qtIds.find(id);
    if (found == m_qtIds.end()) return;
    owner.killTimer(found->second);
    m_qtIds.erase(found);
}

bool WindowTimers::lookUp(const QTimerEvent& event, unsigned& id) const {
    for (const auto& [number, qtId] : m_qtIds) {
        if (qtId == event.timerId()) {
            id = number;
            return true;
        }
    }
    return false;
}

}  // namespace platform
