#include "devicecontrol/ControllerLinks.h"

namespace devicecontrol {

using devicelink::Family;
using devicelink::LinkMode;

void ControllerLinks::setOwner(QObject* owner) {
    for (devicelink::CUSBDriver* driver : {&m_standard, &m_standardBoot, &m_led5, &m_led5Boot}) driver->setOwner(owner);
}

void ControllerLinks::openAll() {
    for (devicelink::CUSBDriver* driver : {&m_standard, &m_standardBoot, &m_led5, &m_led5Boot}) driver->OpenDriver();
}

bool ControllerLinks::open(Family family, LinkMode mode) { return link(family, mode).OpenDriver(); }

devicelink::CUSBDriver& ControllerLinks::link(Family family, LinkMode mode) {
    const bool boot = mode == LinkMode::BootLoader;
    if (family == Family::Led5) return boot ? m_led5Boot : m_led5;
    return boot ? m_standardBoot : m_standard;
}

devicelink::CUSBDriver* ControllerLinks::linkOfInstance(int instance) {
    for (devicelink::CUSBDriver* driver : {&m_standard, &m_standardBoot, &m_led5, &m_led5Boot})
        if (driver->instanceIndex() == instance) return driver;
    return nullptr;
}

Family ControllerLinks::defaultFamily() const {
    return m_standard.deviceCount() > 0 || m_led5.deviceCount() == 0 ? Family::Standard : Family::Led5;
}

bool LockControllers(platform::SingleInstanceLock& lock) {
    return lock.acquire(kControllerLockName, kControllerLockWait) != platform::SingleInstanceLock::Result::HeldElsewhere;
}

}  // namespace devicecontrol
