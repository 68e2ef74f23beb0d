#pragma once

#include "platform/Messages.h"
#include "updater/CommandLine.h"
#include "updater/IapLink.h"
#include "updater/Package.h"
#include "updater/UpdateDecision.h"

#include <QObject>

#include <functional>
#include <memory>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

// The updater without its window: finds the controller of a package group in
// either identity, decides whether the update may run, switches the
// controller to its boot loader, flashes on a worker thread and ends with the
// exit code. Lives on the GUI thread; the worker reports through a posted message.
namespace updater {

// Posted by the worker with the exit code in wParam.
inline constexpr unsigned kMsgFinished = 17408;

class NimbrelSession : public platform::MessageWindow<QObject> {
public:
    // `console` gets the device, the versions, the progress and the result
    // unless the options ask for a silent run. `finished` runs on the GUI
    // thread with the exit code.
    NimbrelSession(const FirmwarePackage& package, const NimbrelOptions& options, std::ostream& console,
                   std::function<void(int)> finished);
    ~NimbrelSession() override;

    // Opens the links of every group and starts the update worker, or ends at
    // once (through `finished`) when no device or no such target is there.
    void start();

protected:
    std::intptr_t onMessage(const platform::WindowMessage& message) override;

private:
    struct GroupLinks {
        int group = 0;
        std::unique_ptr<IapLink> application;
        std::unique_ptr<IapLink> bootLoader;  // absent when both identities share their IDs
    };

    bool placeTarget();
    void finish(int code);
    // Worker thread.
    int runUpdate(GroupLinks& links);
    IapLink* linkToFlash(GroupLinks& links);
    bool waitForConnection(IapLink& link);
    void say(const std::string& text);

    const FirmwarePackage& m_package;
    NimbrelOptions m_options;
    std::ostream& m_console;
    std::function<void(int)> m_finished;
    std::vector<GroupLinks> m_groups;
    std::thread m_worker;
    bool m_done = false;
};

}  // namespace updater
