#include "devicecontrol/PreviewCoalescer.h"

#include <utility>

namespace devicecontrol {

PreviewCoalescer::PreviewCoalescer(std::function<void()> send, std::function<void()> schedule)
    : m_send(std::move(send)), m_schedule(std::move(schedule)) {}

void PreviewCoalescer::request() {
    m_pending = true;
    // A send in progress schedules the next one when it is done.
    if (m_scheduled || m_sending) return;
    m_scheduled = true;
    if (m_schedule) m_schedule();
}

void PreviewCoalescer::run() {
    m_scheduled = false;
    if (m_sending || !m_pending) return;
    sendNow();
}

void PreviewCoalescer::flush() {
    if (m_sending || !m_pending) return;
    sendNow();
}

void PreviewCoalescer::sendNow() {
    m_pending = false;
    m_sending = true;
    if (m_send) m_send();
    m_sending = false;
    ++m_sent;
    // Edits that came in while the preview went out (the link pumps events).
    if (m_pending && !m_scheduled) {
        m_scheduled = true;
        if (m_schedule) m_schedule();
    }
}

}  // namespace devicecontrol
