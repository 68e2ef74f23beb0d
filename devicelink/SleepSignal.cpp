#include "devicelink/SleepSignal.h"

#include "devicelink/HidLibrary.h"

#include <QDBusConnection>
#include <QFileInfo>

namespace devicelink {

namespace {

// Asking Qt for the system bus starts its bus thread even when there is no
// bus to reach, so look for one first.
bool systemBusPresent() {
    if (!qEnvironmentVariableIsEmpty("DBUS_SYSTEM_BUS_ADDRESS")) return true;
    return QFileInfo::exists(QStringLiteral("/run/dbus/system_bus_socket")) ||
           QFileInfo::exists(QStringLiteral("/var/run/dbus/system_bus_socket"));
}

}  // namespace

SleepSignal::SleepSignal(QObject* parent) : QObject(parent) {
    if (!systemBusPresent()) return;
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) return;
    m_listening = bus.connect("org.freedesktop.login1", "/org/freedesktop/login1", "org.freedesktop.login1.Manager",
                              "PrepareForSleep", this, SLOT(onPrepareForSleep(bool)));
}

void SleepSignal::onPrepareForSleep(bool sleeping) { HidPowerEvent(sleeping); }

}  // namespace devicelink
