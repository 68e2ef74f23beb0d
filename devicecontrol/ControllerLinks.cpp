#include "devicecontrol/ControllerLinks.h"

#include <cstdio>

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
    const platform::SingleInstanceLock::Result result = lock.acquire(kControllerLockName, kControllerLockWait);
    // A runtime folder or lock file that is not ours only costs the lock: say
    // so and write unlocked, as when the lock file cannot be made.
    if (result == platform::SingleInstanceLock::Result::Refused)
        std::fprintf(stderr, "lumenstra: %s; writing to the controllers without their lock\n", lock.problem().c_str());
    return result != platform::SingleInstanceLock::Result::HeldElsewhere;
}

}  // namespace devicecontrol
