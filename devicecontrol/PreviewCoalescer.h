#pragma once

#include <functional>

// Edits can come faster than a controller takes previews (a slider or colour
// drag). Each edit asks for a preview; the newest state goes out once the one
// being sent has gone, and the states in between are never sent.
namespace devicecontrol {

class PreviewCoalescer {
public:
    // `send` writes the current state; `schedule` arranges one later call of
    // run() on the same thread (a zero timer, a queued call).
    PreviewCoalescer(std::function<void()> send, std::function<void()> schedule);

    void request();
    // The scheduled call: sends when something is pending and no send runs.
    void run();
    // Sends a pending preview at once, for writes that must follow it.
    void flush();

    bool pending() const { return m_pending; }
    bool scheduled() const { return m_scheduled; }
    int sent() const { return m_sent; }

private:
    void sendNow();

    std::function<void()> m_send;
    std::function<void()> m_schedule;
    bool m_pending = false;
    bool m_scheduled = false;
    bool m_sending = false;
    int m_sent = 0;
};

}  // namespace devicecontrol
