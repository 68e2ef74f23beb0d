#include "updater/NimbrelSession.h"

#include "platform/Folders.h"
#include "platform/Process.h"
#include "platform/Timing.h"
#include "platform/Utf16.h"
#include "updater/FlashSequence.h"
#include "updater/Manifest.h"

#include <chrono>
#include <thread>

namespace updater {
namespace {

constexpr char kTargetWrongMessage[] = "The Target Dev is wrong or no device is found!!";

std::string utf8(const std::u16string& text) { return platform::utf16ToUtf8(text); }

std::string progressBar(int percent) {
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    return "\r[" + std::string(static_cast<std::size_t>(filled), '#') + std::string(static_cast<std::size_t>(kWidth - filled), ' ') +
           "] " + std::to_string(percent) + "%";
}

}  // namespace

NimbrelSession::NimbrelSession(const FirmwarePackage& package, const NimbrelOptions& options, std::ostream& console,
                               std::function<void(int)> finished)
    : m_package(package), m_options(options), m_console(console), m_finished(std::move(finished)) {}

NimbrelSession::~NimbrelSession() {
    if (m_worker.joinable()) m_worker.join();
}

void NimbrelSession::say(const std::string& text) {
    if (!m_options.silent) m_console << text << std::flush;
}

void NimbrelSession::start() {
    for (int g = 0; g < kGroupCount; ++g) {
        const GroupRecord& record = m_package.trailer.groupRecords[static_cast<std::size_t>(g)];
        if (record.appVendorId == 0) continue;
        GroupLinks links;
        links.group = g;
        links.application = std::make_unique<IapLink>(2 * g, static_cast<std::uint16_t>(record.appVendorId),
                                                      static_cast<std::uint16_t>(record.appProductId));
        links.application->open();
        if (record.bootVendorId != record.appVendorId || record.bootProductId != record.appProductId) {
            links.bootLoader = std::make_unique<IapLink>(2 * g + 1, static_cast<std::uint16_t>(record.bootVendorId),
                                                         static_cast<std::uint16_t>(record.bootProductId));
            links.bootLoader->open();
        }
        m_groups.push_back(std::move(links));
    }
    if (!placeTarget()) {
        say(std::string(kTargetWrongMessage) + "\n");
        finish(kExitNoDevice);
        return;
    }
    GroupLinks* chosen = nullptr;
    for (GroupLinks& links : m_groups) {
        if (m_options.deviceGroup >= 0 && links.group != m_options.deviceGroup) continue;
        const bool present = links.application->connected() > 0 || (links.bootLoader && links.bootLoader->connected() > 0);
        if (present) {
            chosen = &links;
            break;
        }
    }
    if (!chosen) {
        say("No device found.\n");
        finish(kExitNoDevice);
        return;
    }
    m_worker = std::thread([this, chosen] {
        const int code = runUpdate(*chosen);
        platform::postMessage(this, {kMsgFinished, static_cast<std::uintptr_t>(code), 0});
    });
}

// A target counts first over the group's application devices, then over its
// boot-loader devices.
bool NimbrelSession::placeTarget() {
    if (m_options.targetDevice < 0) return true;
    for (GroupLinks& links : m_groups) {
        const int applications = links.application->connected();
        if (m_options.targetDevice < applications) {
            links.application->setTargetOrdinal(m_options.targetDevice);
            return true;
        }
        const int boots = links.bootLoader ? links.bootLoader->connected() : 0;
        if (m_options.targetDevice < applications + boots) {
            links.bootLoader->setTargetOrdinal(m_options.targetDevice - applications);
            return true;
        }
    }
    return false;
}

std::intptr_t NimbrelSession::onMessage(const platform::WindowMessage& message) {
    if (message.id == kMsgFinished) {
        if (m_worker.joinable()) m_worker.join();
        finish(static_cast<int>(message.wParam));
    }
    return 0;
}

void NimbrelSession::finish(int code) {
    if (m_done) return;
    m_done = true;
    m_finished(code);
}

IapLink* NimbrelSession::linkToFlash(GroupLinks& links) {
    if (!links.bootLoader) return links.application.get();
    if (links.bootLoader->connected() > 0 || links.application->connected() == 0) return links.bootLoader.get();
    std::uint8_t mode = 1;
    if (links.application->GetUpdateMode(mode) == 0 && mode == 0) return links.application.get();
    return links.bootLoader.get();
}

bool NimbrelSession::waitForConnection(IapLink& link) {
    const auto deadline = std::chrono::steady_clock::now() + platform::timing().updaterReenumerateWait;
    while (std::chrono::steady_clock::now() < deadline) {
        if (link.connected() > 0) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

int NimbrelSession::runUpdate(GroupLinks& links) {
    const GroupRecord& deviceGroup = m_package.trailer.groupRecords[static_cast<std::size_t>(links.group)];
    const int imageGroupNumber = m_options.imageGroup >= 0 ? m_options.imageGroup : links.group;
    const GroupBlock& imageGroup = m_package.trailer.groupBlocks[static_cast<std::size_t>(imageGroupNumber)];
    IapLink* flashLink = linkToFlash(links);
    IapLink& infoLink = flashLink->connected() > 0 ? *flashLink : *links.application;

    DeviceInformation information;
    const int selected = ReadDeviceInformation(infoLink, information)
                             ? ChooseImage(information, deviceGroup, imageGroup, m_options.imageNumber)
                             : kNoInformation;
    say("Device: group " + std::to_string(links.group + 1) + " (" + utf8(imageGroup.name) + "), firmware \"" +
        utf8(DeviceVersionText(information)) + "\"\n");
    if (selected < 0) {
        say(ImageChoiceReason(selected) + "\n");
        return kExitDeviceProblem;
    }
    const ImageEntry& entry = imageGroup.images[static_cast<std::size_t>(selected)];
    say("Package: image " + std::to_string(selected + 1) + " \"" + utf8(entry.name) + "\", version " +
        versionText(entry.version) + " (\"" + utf8(imageGroup.versionText) + "\")\n");
    const bool allowed = m_options.force || imageGroupNumber != links.group || IsPackageNewer(information, entry) ||
                         m_options.imageNumber > 0;
    if (!allowed) {
        say("The firmware is up to date.\n");
        return kExitNotNewer;
    }

    if (flashLink->connected() == 0) {
        // Application firmware that needs its boot loader: switch and wait for
        // it. The controller may leave the bus before the write is confirmed,
        // so a device that is gone counts as switching.
        for (int attempt = 0; attempt < kRetries; ++attempt) {
            if (attempt > 0) std::this_thread::sleep_for(platform::timing().updaterInfoRetryPause);
            if (links.application->connected() == 0 || links.application->EnterBootLoader() == 0) break;
        }
        if (!waitForConnection(*flashLink)) {
            say("The device did not enter its boot loader.\n");
            return kExitDeviceProblem;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }

    FlashJob job;
    job.group = &deviceGroup;
    job.imageGroup = &imageGroup;
    job.image = &m_package.image(imageGroupNumber, selected);
    job.imageNumber = selected;
    if (!m_options.silent) job.progress = [this](int percent) { m_console << progressBar(percent) << std::flush; };
    const FlashResult result = RunFlashSequence(*flashLink, job);
    say("\n");
    if (!result.ok) {
        say(result.reason + "\nFirmware Update Failed!\n");
        return kExitUpdateFailed;
    }
    say("Firmware Update Success!\n");
    // Started by Lumenstra ("true" and its path): open it again, as after the result pop-up.
    if (!m_options.silent && !m_options.relaunchPath.empty())
        platform::startDetached(platform::programFolder() + m_options.relaunchPath, {"true"});
    return kExitSuccess;
}

}  // namespace updater
