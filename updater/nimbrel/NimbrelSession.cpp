#include "updater/nimbrel/NimbrelSession.h"

#include "platform/Folders.h"
#include "platform/Process.h"
#include "platform/Utf16.h"
#include "updater/Manifest.h"

namespace updater {
namespace {

std::string utf8(const std::u16string& text) { return platform::utf16ToUtf8(text); }

std::string progressBar(int percent) {
    constexpr int kWidth = 40;
    const int filled = percent * kWidth / 100;
    return "\r[" + std::string(static_cast<std::size_t>(filled), '#') + std::string(static_cast<std::size_t>(kWidth - filled), ' ') +
           "] " + std::to_string(percent) + "%";
}

// On the terminal every found controller is updated as if OK was pressed.
NimbrelOptions startingAtOnce(NimbrelOptions options) {
    options.autoStart = true;
    return options;
}

}  // namespace

NimbrelSession::NimbrelSession(const FirmwarePackage& package, const NimbrelOptions& options, std::ostream& console,
                               std::ostream& errors, std::function<void(int)> finished)
    : m_procedure(package, startingAtOnce(options), *this), m_console(console), m_errors(errors), m_finished(std::move(finished)) {}

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

void NimbrelSession::setProgress(int percent) {
    if (!m_procedure.flashing() || percent == m_shownProgress) return;
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
