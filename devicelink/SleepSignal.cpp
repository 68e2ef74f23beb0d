#include "devicelink/SleepSignal.h"

#include "devicelink/HidLibrary.h"

#include <QDBusConnection>

namespace devicelink {

SleepSignal::SleepSignal(QObject* parent) : QObject(parent) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return;
    m_listening = bus.connect("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                              "PrepareForSleep", this, SLOT(onPrepareForSleep(bool)));
}

void SleepSignal::onPrepareForSleep(bool sleeping) { HidPowerEvent(sleeping); }

}  // namespace devicelink
