// The device watch of the update procedure: the links of every package group,
// their plug reports, and the refresh that picks the link, the sub-device and
// the image and, when asked, starts the update.
#include "updater/UpdateProcedure.h"

#include "platform/Timing.h"

#include <QTimer>

#include <thread>

namespace updater {
namespace {

constexpr char kTargetWrongMessage[] = "The Target Dev is wrong or no device is found!!";
constexpr char kTwoDevicesMessage[] = "Please don't plug in two different device!!";
// While a controller is listed under both identities its report waits this long, at most kRetries times.
constexpr std::chrono::milliseconds kRepostDelay{1};

bool isBootLoaderInstance(int instance) { return instance % 2 == 1; }

}  // namespace

// Opens the links group by group. A target device counts over the groups in
// order, within a group first over its application devices, then over its
// boot-loader devices; the walk stops at the group that holds it, and only
// that group's reports are followed from then on.
bool UpdateProcedure::createLinks() {
    bool found = false;
    bool placed = false;
    int counted = 0;
    for (int g = 0; g < kGroupCount && !placed; ++g) {
        const GroupRecord& record = m_package.trailer.groupRecords[static_cast<std::size_t>(g)];
        if (record.appVendorId == 0) continue;
        GroupLinks& links = m_links[static_cast<std::size_t>(g)];
        links.application = std::make_unique<IapLink>(2 * g, static_cast<std::uint16_t>(record.appVendorId),
                                                      static_cast<std::uint16_t>(record.appProductId));
        links.application->setOwner(this);
        const int applications = links.application->open();
        int boots = 0;
        if (record.bootVendorId != record.appVendorId || record.bootProductId != record.appProductId) {
            links.bootLoader = std::make_unique<IapLink>(2 * g + 1, static_cast<std::uint16_t>(record.bootVendorId),
                                                         static_cast<std::uint16_t>(record.bootProductId));
            links.bootLoader->setOwner(this);
            boots = links.bootLoader->open();
        }
        found = found || applications + boots > 0;
        if (m_targetDevice < 0) continue;
        const int within = m_targetDevice - counted;
        if (within < applications) {
            links.application->setTargetOrdinal(within);
            m_targetDevice = within;
            m_targetOnApplicationLink = true;
            placed = true;
        } else if (within < applications + boots && m_subDevice == 0) {
            m_targetDevice = within - applications;
            links.bootLoader->setTargetOrdinal(m_targetDevice);
            placed = true;
        }
        if (placed) m_targetGroup = g;
        counted += applications + boots;
    }
    if (m_targetDevice >= 0 && !placed) {
        m_host.showMessage(kTargetWrongMessage);
        m_exitCode = kExitNoDevice;
        return false;
    }
    if (found)
        m_host.repaint();
    else if (m_options.silent)
        postExit(kExitNoDevice);
    return true;
}

// The boot-loader link when it has the device (or the application link has
// none); else the application link when its firmware takes the boot-loader
// commands itself. A group whose identities share their IDs has one link.
IapLink* UpdateProcedure::linkToFlash(int group) {
    if (group < 0 || group >= kGroupCount) return nullptr;
    GroupLinks& links = m_links[static_cast<std::size_t>(group)];
    if (!links.bootLoader) return links.application.get();
    IapLink* application = links.application.get();
    if (links.bootLoader->connected() > 0 || !application || application->connected() == 0)
        return links.bootLoader.get();
    std::uint8_t mode = 1;
    if (application->GetUpdateMode(mode) == 0 && mode == 0) return application;
    return links.bootLoader.get();
}

bool UpdateProcedure::singleLink(int group) const {
    return group >= 0 && group < kGroupCount && !m_links[static_cast<std::size_t>(group)].bootLoader;
}

bool UpdateProcedure::canFlashWith(int group, IapLink& link) {
    if (link.connected() == 0) return false;
    if (!singleLink(group)) return true;  // linkToFlash has asked already
    std::uint8_t mode = 1;
    return link.GetUpdateMode(mode) == 0 && mode == 0;
}

bool UpdateProcedure::groupConnected(int group) const {
    if (group < 0 || group >= kGroupCount) return false;
    const GroupLinks& links = m_links[static_cast<std::size_t>(group)];
    return (links.application && links.application->connected() > 0) ||
           (links.bootLoader && links.bootLoader->connected() > 0);
}

bool UpdateProcedure::anyLinkConnected() const {
    for (int g = 0; g < kGroupCount; ++g)
        if (groupConnected(g)) return true;
    return false;
}

void UpdateProcedure::onPlugReport(std::uintptr_t wParam, std::intptr_t lParam) {
    const int instance = static_cast<int>(wParam & 0xFFFF);
    const int position = static_cast<int>(wParam >> 16);
    const int g = instance / 2;
    if (g < 0 || g >= kGroupCount) return;
    IapLink* application = m_links[static_cast<std::size_t>(g)].application.get();
    if (!application) return;

    restartSilentWatch();
    const bool targetGroup = m_targetDevice < 0 || g == m_targetGroup;
    if (lParam == 0) {
        if ((m_targetDevice < 0 || (targetGroup && m_targetDevice == position)) && !anyLinkConnected()) {
            m_deviceGroup = m_imageGroup = -1;
            m_deviceVersionText.clear();
            m_host.setControlState(m_updating, false);
            m_host.repaint();
        } else if (g == m_deviceGroup && !groupConnected(g)) {
            // Another group's controller is still there: this one's records no longer count.
            m_selectedImage = kNoInformation;
            m_host.setControlState(m_updating, false);
        }
        return;
    }

    // The worker has the controller to itself until the flashing ends.
    if (flashing()) return;
    IapLink* flash = linkToFlash(g);
    if (m_deviceGroup >= 0 && m_deviceGroup != g && m_selectedImage >= 0) {
        // A second controller, of another group: warn when it is one the package could update.
        IapLink* asked = flash->connected() > 0 ? flash : application->connected() > 0 ? application : nullptr;
        if (!asked || readDeviceInformation(*asked, g, true) < 0) return;
        m_host.showMessage(kTwoDevicesMessage);
    }
    if (!targetGroup) return;
    if (m_options.deviceGroup < 0 || m_options.deviceGroup == g) m_deviceGroup = m_imageGroup = g;
    if (m_targetDevice >= 0 &&
        !(m_targetDevice == position && (isBootLoaderInstance(instance) || m_targetOnApplicationLink)))
        return;
    m_host.setProgress(0);
    if (flash != application && application->connected() > 0 && flash->connected() > 0 && m_reposts < kRetries) {
        // Between its identities: ask again once one of them has gone.
        ++m_reposts;
        QTimer::singleShot(kRepostDelay, this, [this, wParam, lParam] { onPlugReport(wParam, lParam); });
        return;
    }
    // With one link for both identities its reports stand for either; the
    // refresh asks the controller which one runs.
    if (flash->connected() > 0 && !singleLink(g)) {
        if (isBootLoaderInstance(instance)) refresh();
        m_reposts = 0;
    } else if (application->connected() > 0) {
        if (!isBootLoaderInstance(instance) && ((m_targetDevice < 0 && position == 0) || m_targetDevice == position))
            refresh();
        m_reposts = 0;
    }
}

void UpdateProcedure::refresh() {
    if (flashing()) return;
    if (groupSelectorShown()) m_imageGroup = m_selectorGroup;
    m_host.repaint();
    IapLink* application = m_deviceGroup >= 0 && m_deviceGroup < kGroupCount
                               ? m_links[static_cast<std::size_t>(m_deviceGroup)].application.get()
                               : nullptr;
    IapLink* link = application ? linkToFlash(m_deviceGroup) : nullptr;

    if (link && canFlashWith(m_deviceGroup, *link)) {
        // The boot loader, or application firmware that updates itself.
        m_subDevice = 0;
        if (!m_updating) m_host.setControlState(false, true);
        readDeviceInformation(*link, m_deviceGroup, false);
        if (m_updating || m_autoStart) {
            m_autoStart = false;
            m_updating = false;
            if (m_selectedImage < 0) {
                // Nothing here to write: a controller the package does not fit is left as it is.
                m_host.setControlState(false, true);
                refuse({kExitDeviceProblem, ImageChoiceReason(m_selectedImage)});
                return;
            }
            m_host.setControlState(true, false);
            std::this_thread::sleep_for(platform::timing().updaterStepSettle);
            startUpdateThread(*link);
        }
    } else if (application && application->connected() > 0) {
        if (m_awaitingBootLoader) {
            // Sent to its boot loader, the controller came back with its application firmware.
            bootLoaderNotReached();
            return;
        }
        // Application firmware that needs its boot loader for the update.
        selectSubDevice(*application, m_package.trailer.groupRecords[static_cast<std::size_t>(m_deviceGroup)]);
        m_updating = false;
        m_host.setControlState(false, true);
        if (m_autoStart) {
            // A silent run ends even when no image fits: Update says why.
            m_autoStart = false;
            update();
        }
    } else {
        m_host.setControlState(m_updating, false);
    }
}

// Picks the sub-device behind the application link (the group's fixed one, or
// the first an image fits) and reads the device information with it selected.
void UpdateProcedure::selectSubDevice(IapLink& application, const GroupRecord& record) {
    const auto select = [&](std::uint32_t k, bool checkValue) {
        for (int attempt = 0; attempt < kRetries; ++attempt) {
            std::uint32_t value = 0;
            if (application.SetSubDevice(k) == 0 && application.GetSubDevice(value) == 0 && (!checkValue || value == k))
                return true;
        }
        return false;
    };
    std::uint32_t count = 0;
    if (record.subDeviceScan != 1) {
        m_subDevice = record.subDevice;
        if (application.GetSubDeviceCount(count) == 0 && count > 0 && static_cast<std::uint32_t>(m_subDevice) < count)
            select(static_cast<std::uint32_t>(m_subDevice), true);
        readDeviceInformation(application, m_deviceGroup, false);
        return;
    }
    bool counted = false;
    for (int attempt = 0; attempt < kRetries && !counted; ++attempt)
        counted = application.GetSubDeviceCount(count) == 0;
    if (!counted || count == 0) {
        readDeviceInformation(application, m_deviceGroup, false);
        return;
    }
    for (std::uint32_t k = 0; k < count; ++k) {
        select(k, false);
        if (readDeviceInformation(application, m_deviceGroup, false) >= 0) {
            m_subDevice = static_cast<int>(k);
            return;
        }
    }
}

}  // namespace updater
