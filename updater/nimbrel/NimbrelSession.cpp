#include "updater/nimbrel/NimbrelSession.h"

#include "platform/Folders.h"
#include "platform/Process.h"
#include "platform/Utf16.h"
#include "updater/Manifest.h"

#include <QTimer>

namespace updater {
namespace {

std::string utf8(const std::u16string& text) { return platform::utf16ToUtf8(text); }

std::string progressBar(int percent) {
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    return "\r[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(kWidth - filled), ' ') + "] " + std::to_string(percent) + "%";
}

}  // namespace

NimbrelSession::NimbrelSession(const FirmwarePackage& package, const NimbrelOptions& options, std::ostream& console,
                               std::ostream& errors, std::function<void(int)> finished, std::function<bool()> confirm)
    : m_procedure(package, options, *this),
      m_console(console),
      m_errors(errors),
      m_finished(std::move(finished)),
      m_confirm(std::move(confirm)) {}

void NimbrelSession::say(const std::string& text) {
    if (!m_procedure.options().silent) m_console << text << std::flush;
}

void NimbrelSession::start() {
    if (!m_procedure.open()) {
        close(m_procedure.exitCode());
        return;
    }
    m_opened = true;
    if (!m_procedure.anyLinkConnected()) setControlState(false, false);
}

void NimbrelSession::showMessage(const std::string& text) { m_errors << "Nimbrel: " << text << std::endl; }

void NimbrelSession::refused(const Refusal& refusal) {
    if (!refusal.message.empty())
        showMessage(refusal.message);
    else
        say(refusal.exitCode == kExitNotNewer ? std::string("The firmware is up to date.\n")
                                              : std::string(kBootLoaderNotReachedText) + "\n");
    close(refusal.exitCode);
}

// Says once that it waits whenever no controller is there, outside an update.
void NimbrelSession::setControlState(bool updating, bool connected) {
    if (connected) m_waitingShown = false;
    if (m_opened && updating && !m_startShown) {
        m_startShown = true;
        say("Starting the update: the controller switches to its boot loader.\n");
    }
    // The question waits until the watch has read the controller and shown it.
    if (m_opened && connected && !updating && !m_asked && !m_procedure.options().autoStart)
        QTimer::singleShot(0, &m_procedure, [this] { askToUpdate(); });
    if (!m_opened || updating || connected || m_procedure.flashing() || m_waitingShown) return;
    m_waitingShown = true;
    say("Waiting for a controller (Ctrl+C ends)...\n");
}

// Prints the device and the image it gets once, when they are first known.
void NimbrelSession::repaint() {
    const GroupBlock* group = m_procedure.imageGroupBlock();
    const int image = m_procedure.selectedImage();
    if (m_deviceShown || !group || m_procedure.deviceGroup() < 0 || image == kNoInformation ||
        (image < 0 && m_procedure.deviceVersionText().empty()))
        return;
    m_deviceShown = true;
    say("Device: group " + std::to_string(m_procedure.deviceGroup() + 1) + " (" + utf8(group->name) + "), firmware \"" +
        utf8(m_procedure.deviceVersionText()) + "\"\n");
    if (image < 0) return;
    const ImageEntry& entry = group->images[static_cast<std::size_t>(image)];
    say("Package: image " + std::to_string(image + 1) + " \"" + utf8(entry.name) + "\", version " +
        versionText(entry.version) + " (\"" + utf8(group->versionText) + "\")\n");
}

// What OK is in the window: without it nothing is flashed.
void NimbrelSession::askToUpdate() {
    if (m_asked || m_closed || m_procedure.updating() || m_procedure.flashing() || !m_procedure.anyLinkConnected())
        return;
    m_asked = true;
    // No image fits: Update only says why, so there is nothing to confirm.
    if (m_procedure.selectedImage() >= 0) {
        say("Flash the firmware now? Do not unplug or power off the card while it runs. [y/N] ");
        if (!m_confirm || !m_confirm()) {
            say("\nNothing was flashed.\n");
            close(kExitSuccess);
            return;
        }
    }
    m_procedure.update();
}

void NimbrelSession::setProgress(int percent) {
    if (!m_procedure.flashing() || percent == m_shownProgress) return;
    if (m_shownProgress < 0) say("Writing the firmware:\n");
    m_shownProgress = percent;
    say(progressBar(percent));
}

void NimbrelSession::updateEnded(bool success, const std::string& reason) {
    if (m_shownProgress >= 0) say("\n");
    if (!success) say(reason + "\n");
    say(success ? "Firmware Update Success!\n" : "Firmware Update Failed!\n");
    // Started by Lumenstra ("true" and its path): open it again, as after the result pop-up.
    const std::string& relaunch = m_procedure.options().relaunchPath;
    if (success && !relaunch.empty()) platform::startDetached(platform::programFolder() + relaunch, {"true"});
    close(success ? kExitSuccess : kExitUpdateFailed);
}

// The same texts the terminal shows, on the error stream of a silent run.
void NimbrelSession::reportSilently(const std::string& text) { showMessage(text); }

void NimbrelSession::close(int exitCode) {
    if (m_closed) return;
    m_closed = true;
    m_finished(exitCode);
}

}  // namespace updater
