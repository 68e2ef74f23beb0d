#include "updater/UpdateProcedure.h"

#include "platform/Timing.h"

#include <algorithm>
#include <thread>

namespace updater {
namespace {

// The worker's reports to the GUI thread.
constexpr unsigned kMsgUpdateProgress = 17409;
constexpr unsigned kMsgUpdateEnded = 17410;
// Ends the wait for a controller that was asked into its boot loader.
constexpr unsigned kTimerBootLoaderWait = 4115;
// Ends a silent run that waits for a controller without anything in progress.
constexpr unsigned kTimerSilentIdle = 4116;
constexpr char kNothingToUpdateText[] = "No controller to update came up.";
constexpr int kBootLoaderPolls = 20;
constexpr char kTargetGroupEmptyMessage[] = "The target group is empty!";

void sleepFor(std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }

}  // namespace

UpdateProcedure::UpdateProcedure(const FirmwarePackage& package, const NimbrelOptions& options, UpdateHost& host)
    : m_package(package),
      m_options(options),
      m_host(host),
      m_autoStart(options.autoStart),
      m_targetDevice(options.targetDevice),
      m_imageGroup(options.imageGroup) {}

UpdateProcedure::~UpdateProcedure() {
    if (m_worker.joinable()) m_worker.join();
    // Links go before the object they post to.
    for (GroupLinks& links : m_links) {
        links.bootLoader.reset();
        links.application.reset();
    }
}

const GroupBlock* UpdateProcedure::imageGroupBlock() const {
    if (m_imageGroup < 0 || m_imageGroup >= kGroupCount) return nullptr;
    return &m_package.trailer.groupBlocks[static_cast<std::size_t>(m_imageGroup)];
}

bool UpdateProcedure::open() {
    const auto& records = m_package.trailer.groupRecords;
    const auto first =
        std::find_if(records.begin(), records.end(), [](const GroupRecord& r) { return r.appVendorId != 0; });
    if (first != records.end()) showImage(static_cast<int>(first - records.begin()), kNoFittingImage);
    if (m_options.deviceGroup >= 0) {
        m_deviceGroup = m_options.deviceGroup;
        if (!groupSelectorShown()) m_imageGroup = m_options.deviceGroup;
    }
    const int defaultGroup = m_package.trailer.defaultImageGroup;
    m_selectorGroup = m_imageGroup >= 0 ? m_imageGroup : defaultGroup < kGroupCount ? defaultGroup : 0;
    refresh();
    if (!createLinks()) return false;
    restartSilentWatch();
    return true;
}

void UpdateProcedure::restartSilentWatch() {
    if (!m_options.silent || m_exitPosted) return;
    killWindowTimer(kTimerSilentIdle);
    setWindowTimer(kTimerSilentIdle, platform::timing().updaterSilentIdleWait);
}

void UpdateProcedure::chooseImageGroup(int group) {
    if (group < 0 || group >= kGroupCount) return;
    m_selectorGroup = group;
    // The worker has the controller to itself; the choice counts from the next refresh.
    if (flashing()) return;
    m_imageGroup = group;
    refresh();
}

int UpdateProcedure::readDeviceInformation(IapLink& link, int group, bool reportOnly) {
    if (!reportOnly) m_selectedImage = kNoInformation;
    DeviceInformation information;
    const bool read = ReadDeviceInformation(link, information);
    const int imageGroup = reportOnly ? group : m_imageGroup;
    int chosen = kNoInformation;
    if (read) {
        const GroupRecord& record = m_package.trailer.groupRecords[static_cast<std::size_t>(group)];
        chosen = imageGroup >= 0 && imageGroup < kGroupCount
                     ? ChooseImage(information, record,
                                   m_package.trailer.groupBlocks[static_cast<std::size_t>(imageGroup)],
                                   m_options.imageNumber)
                     : kNoFittingImage;
    }
    if (reportOnly) return chosen;
    if (read) {
        m_information = information;
        m_deviceVersionText = DeviceVersionText(information);
    }
    m_selectedImage = chosen;
    if (imageGroup >= 0 && imageGroup < kGroupCount) showImage(imageGroup, chosen);
    m_host.repaint();
    return chosen;
}

void UpdateProcedure::showImage(int group, int chosen) {
    const auto& images = m_package.trailer.groupBlocks[static_cast<std::size_t>(group)].images;
    if (chosen >= 0 && chosen < kImagesPerGroup) {
        m_imageName = images[static_cast<std::size_t>(chosen)].name;
        return;
    }
    const auto first =
        std::find_if(images.begin(), images.end(), [](const ImageEntry& image) { return image.dataLength != 0; });
    m_imageName = first != images.end() ? first->name : std::u16string();
}

void UpdateProcedure::refuse(const Refusal& refusal) {
    if (!m_options.silent) {
        m_host.refused(refusal);
        return;
    }
    // A silent caller learns the code; whoever reads the log learns why.
    if (!refusal.message.empty())
        m_host.reportSilently(refusal.message);
    else if (refusal.exitCode == kExitDeviceProblem)
        m_host.reportSilently(kBootLoaderNotReachedText);
    postExit(refusal.exitCode);
}

void UpdateProcedure::update() {
    if (m_worker.joinable()) return;
    UpdateRequest request;
    request.selectedImage = m_selectedImage;
    request.imageGroup = m_imageGroup;
    request.deviceGroup = m_deviceGroup;
    request.force = m_options.force || m_forceTicked;
    request.imageNumberOption = m_options.imageNumber;
    if (const auto refusal = RefuseUpdate(m_package.trailer, m_information, request)) {
        refuse(*refusal);
        return;
    }
    IapLink* flash = linkToFlash(m_deviceGroup);
    IapLink* application = m_deviceGroup >= 0 ? m_links[static_cast<std::size_t>(m_deviceGroup)].application.get()
                                              : nullptr;
    if (!flash || !application) {
        refuse({kExitNoDevice, kTargetGroupEmptyMessage});
        return;
    }
    if (canFlashWith(m_deviceGroup, *flash)) {
        startUpdateThread(m_subDevice != 0 ? *application : *flash);
    } else if (application->connected() > 0) {
        if (m_subDevice != 0) {
            // A sub-device behind a hub: it enters its boot loader behind the
            // same USB device, which then answers the write-point query.
            std::uint32_t point = 0;
            bool answering = application->GetWritePoint(point) == 0;
            if (!answering) {
                enterBootLoaderFor(*application);
                sleepFor(platform::timing().updaterInfoRetryPause);
                for (int poll = 0; poll < kBootLoaderPolls && !answering; ++poll) {
                    if (poll > 0) sleepFor(platform::timing().updaterFlashRetryPause);
                    answering = application->GetWritePoint(point) == 0;
                }
            }
            if (!answering) {
                refuse({kExitDeviceProblem, {}});
                return;
            }
            startUpdateThread(*application);
        } else {
            // The controller comes back as a boot-loader device at the end of
            // that link's list; the watch starts the update when it arrives.
            if (m_targetDevice >= 0) {
                // With one link for both identities it leaves that list first.
                const bool shared = singleLink(m_deviceGroup);
                m_targetDevice = flash->connected() - (shared ? 1 : 0);
                m_targetOnApplicationLink = shared;
                flash->setTargetOrdinal(m_targetDevice);
            }
            enterBootLoaderFor(*application);
            m_awaitingBootLoader = true;
            setWindowTimer(kTimerBootLoaderWait, platform::timing().updaterReenumerateWait);
        }
    } else {
        refuse({kExitNoDevice, kTargetGroupEmptyMessage});
        return;
    }
    m_updating = true;
    m_host.setControlState(true, false);
}

// Tries until the command is written; a controller that leaves the bus before
// the write is confirmed is already switching. Whether it arrives is the
// watch's to see.
void UpdateProcedure::enterBootLoaderFor(IapLink& application) {
    for (int attempt = 0; attempt < kRetries; ++attempt) {
        if (attempt > 0) sleepFor(platform::timing().updaterInfoRetryPause);
        if (application.connected() == 0 || application.EnterBootLoader() == 0) return;
    }
}

void UpdateProcedure::startUpdateThread(IapLink& link) {
    if (m_worker.joinable()) return;
    stopAwaitingBootLoader();
    m_host.setControlState(true, false);
    FlashJob job;
    job.group = &m_package.trailer.groupRecords[static_cast<std::size_t>(m_deviceGroup)];
    job.imageGroup = imageGroupBlock();
    job.imageNumber = m_selectedImage;
    if (job.imageGroup && m_selectedImage >= 0 && m_selectedImage < kImagesPerGroup)
        job.image = &m_package.image(m_imageGroup, m_selectedImage);
    job.subDevice = m_subDevice;
    job.imageNumberOption = m_options.imageNumber;
    job.progress = [this](int percent) {
        platform::postMessage(this, {kMsgUpdateProgress, static_cast<std::uintptr_t>(percent), 0});
    };
    m_flashedLink = &link;
    m_worker = std::thread([this, &link, job] {
        m_result = RunFlashSequence(link, job);
        platform::postMessage(this, {kMsgUpdateEnded, 0, 0});
    });
}

void UpdateProcedure::onUpdateThreadEnded(bool success) {
    m_updating = false;
    m_host.setControlState(false, m_flashedLink && m_flashedLink->connected() > 0);
    if (m_options.silent) {
        if (!success) m_host.reportSilently(m_result.reason);
        postExit(success ? kExitSuccess : kExitUpdateFailed);
    } else {
        m_host.updateEnded(success, m_result.reason);
    }
}

void UpdateProcedure::postExit(int code) {
    m_exitPosted = true;
    killWindowTimer(kTimerSilentIdle);
    platform::postMessage(this, {kMsgExit, static_cast<std::uintptr_t>(code), 0});
}

std::intptr_t UpdateProcedure::onMessage(const platform::WindowMessage& message) {
    switch (message.id) {
    case kMsgUpdaterPlug: onPlugReport(message.wParam, message.lParam); break;
    case kMsgUpdateProgress: m_host.setProgress(static_cast<int>(message.wParam)); break;
    case kMsgUpdateEnded:
        if (m_worker.joinable()) m_worker.join();
        onUpdateThreadEnded(m_result.ok);
        break;
    case kMsgExit:
        m_exitCode = static_cast<int>(message.wParam);
        m_host.close(m_exitCode);
        break;
    default: break;
    }
    return 0;
}

void UpdateProcedure::stopAwaitingBootLoader() {
    m_awaitingBootLoader = false;
    killWindowTimer(kTimerBootLoaderWait);
}

void UpdateProcedure::bootLoaderNotReached() {
    stopAwaitingBootLoader();
    m_updating = false;
    m_host.setControlState(false, anyLinkConnected());
    refuse({kExitDeviceProblem, {}});
}

// The controller was asked into its boot loader but never came back there.
void UpdateProcedure::onTimer(unsigned id) {
    if (id == kTimerBootLoaderWait && m_awaitingBootLoader) bootLoaderNotReached();
    if (id == kTimerSilentIdle && !m_exitPosted && !flashing() && !m_awaitingBootLoader) {
        m_host.reportSilently(kNothingToUpdateText);
        postExit(kExitNoDevice);
    }
}

}  // namespace updater
