#pragma once

#include "updater/UpdateProcedure.h"

#include <functional>
#include <ostream>
#include <string>

// Nimbrel on the terminal: the update procedure with its window's part done
// in text. Without -silent it prints the device, the versions, a progress bar
// and the result; message-box texts go to the error stream in both modes.
// Without "-silent" or "true" nothing is flashed before `confirm` says yes.
namespace updater {

class NimbrelSession : public UpdateHost {
public:
    // `finished` runs on the GUI thread with the exit code. `confirm` asks
    // whether to flash the controller shown; it is not asked with auto start.
    NimbrelSession(const FirmwarePackage& package, const NimbrelOptions& options, std::ostream& console,
                   std::ostream& errors, std::function<void(int)> finished, std::function<bool()> confirm);

    // Opens the links; the plug reports of the devices found drive the rest.
    void start();

    // UpdateHost
    void showMessage(const std::string& text) override;
    void refused(const Refusal& refusal) override;
    void setControlState(bool updating, bool connected) override;
    void repaint() override;
    void setProgress(int percent) override;
    void updateEnded(bool success, const std::string& reason) override;
    void close(int exitCode) override;
    void reportSilently(const std::string& text) override;

private:
    void say(const std::string& text);
    void askToUpdate();

    UpdateProcedure m_procedure;
    std::ostream& m_console;
    std::ostream& m_errors;
    std::function<void(int)> m_finished;
    std::function<bool()> m_confirm;
    bool m_asked = false;
    bool m_startShown = false;
    bool m_closed = false;
    bool m_opened = false;
    bool m_waitingShown = false;
    int m_shownProgress = -1;
    bool m_deviceShown = false;
};

}  // namespace updater
