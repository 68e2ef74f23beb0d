#pragma once

#include <QCoreApplication>
#include <QEvent>
#include <QTimerEvent>

#include <chrono>
#include <cstdint>
#include <map>

class QString;

// Numbered window messages and timers by number on top of Qt's event loop.
namespace platform {

struct WindowMessage {
    unsigned id = 0;
    std::uintptr_t wParam = 0;
    std::intptr_t lParam = 0;
};

// The one custom event type that carries a WindowMessage. A sent message
// stores the handler's result in the event.
class MessageEvent final : public QEvent {
public:
    explicit MessageEvent(const WindowMessage& message);
    static QEvent::Type eventType();
    const WindowMessage& message() const { return m_message; }
    std::intptr_t result() const { return m_result; }
    void setResult(std::intptr_t result) { m_result = result; }

private:
    WindowMessage m_message;
    std::intptr_t m_result = 0;
};

// Qt hands a posted event to the receiving thread, and keeps the queue of
// posted events, behind locks that ThreadSanitizer cannot see inside an
// uninstrumented Qt. Every post goes through postEvent, which serialises the
// posts under a lock of ours and marks them; the receiver marks its reception
// first thing, so the hand-off is visible to the sanitizer.
// Queues `event` (taking ownership) for `target`; safe from any thread.
void postEvent(QObject* target, QEvent* event);
void markEventReceived();

// Queues the message for `target`; it is handled when the event loop runs.
// Safe from any thread.
void postMessage(QObject* target, const WindowMessage& message);
// Handles the message at once on the calling thread and returns the handler's result.
std::intptr_t sendMessage(QObject* target, const WindowMessage& message);

// Runs the event loop `rounds` times, each round handling what is pending.
void pumpEvents(int rounds);
// Runs the event loop for `duration`, handling events as they come.
void pumpEventsFor(std::chrono::milliseconds duration);

// Timers by number for one object: setting a number that runs restarts it.
class WindowTimers {
public:
    void set(QObject& owner, unsigned id, std::chrono::milliseconds interval);
    void kill(QObject& owner, unsigned id);
    bool running(unsigned id) const { return m_qtIds.count(id) != 0; }
    // The timer number of a Qt timer event of ours, or false.
    bool lookUp(const QTimerEvent& event, unsigned& id) const;

private:
    std::map<unsigned, int> m_qtIds;
};

// A Qt window class that receives numbered messages and numbered timers.
template <class QtBase>
class MessageWindow : public QtBase {
public:
    using QtBase::QtBase;

    void setWindowTimer(unsigned id, std::chrono::milliseconds interval) { m_timers.set(*this, id, interval); }
    void killWindowTimer(unsigned id) { m_timers.kill(*this, id); }
    bool windowTimerRunning(unsigned id) const { return m_timers.running(id); }

protected:
    virtual std::intptr_t onMessage(const WindowMessage&) { return 0; }
    virtual void onTimer(unsigned) {}

    bool event(QEvent* event) override {
        markEventReceived();
        if (event->type() == MessageEvent::eventType()) {
            auto* messageEvent = static_cast<MessageEvent*>(event);
            messageEvent->setResult(onMessage(messageEvent->message()));
            return true;
        }
        return QtBase::event(event);
    }

    void timerEvent(QTimerEvent* event) override {
        unsigned id = 0;
        if (m_timers.lookUp(*event, id))
            onTimer(id);
        else
            QtBase::timerEvent(event);
    }

private:
    WindowTimers m_timers;
};

}  // namespace platform
