#pragma once

#include <QObject>

namespace devicelink {

// Feeds the HID library's power hook from logind: PrepareForSleep(true) before
// the machine sleeps, PrepareForSleep(false) after it woke up. Does nothing
// where the system bus or logind is absent. Lives on the GUI thread.
class SleepSignal : public QObject {
    Q_OBJECT
public:
    explicit SleepSignal(QObject* parent = nullptr);
    bool listening() const { return m_listening; }

private slots:
    void onPrepareForSleep(bool sleeping);

private:
    bool m_listening = false;
};

}  // namespace devicelink
