#pragma once

#include "platform/Messages.h"
#include "updater/CommandLine.h"
#include "updater/FlashSequence.h"
#include "updater/IapLink.h"
#include "updater/Package.h"
#include "updater/UpdateDecision.h"

#include <QObject>

#include <array>
#include <memory>
#include <string>
#include <thread>

// The updater's logic without its window: the device watch over the links of
// every package group, the image choice for the connected controller, the
// decision whether Update may run, the switch into the boot loader and the
// flashing on a worker thread. Everything runs on the GUI thread but the
// flashing; whatever a window would show goes to an UpdateHost.
namespace updater {

// Posted with the exit code in wParam; the host then closes.
inline constexpr unsigned kMsgExit = 17408;
// Why a controller asked into its boot loader did not update (exit 3).
inline constexpr char kBootLoaderNotReachedText[] = "The controller did not enter its boot loader.";

// What the window does for the procedure. Called on the GUI thread.
class UpdateHost {
public:
    virtual ~UpdateHost() = default;
    // A plain message box.
    virtual void showMessage(const std::string& text) = 0;
    // Update did not run (never called in a silent run, which ends with the
    // refusal's exit code): a message box with the caption "Error", or the
    // result pop-up with code 3 when the refusal has no message.
    virtual void refused(const Refusal& refusal) = 0;
    // Close is greyed while updating; the other controls follow `connected`.
    virtual void setControlState(bool updating, bool connected) = 0;
    // The image group, the chosen image or the device version changed.
    virtual void repaint() = 0;
    virtual void setProgress(int percent) = 0;
    // An update that did not run silently ended (the window's result timers).
    virtual void updateEnded(bool success, const std::string& reason) = 0;
    // The program ends with `exitCode`.
    virtual void close(int exitCode) = 0;
    // A silent run ends refused or failed: why, for a log or standard error
    // (no dialog is shown). Called just before its exit is posted.
    virtual void reportSilently(const std::string& text) = 0;
};

class UpdateProcedure : public platform::MessageWindow<QObject> {
public:
    UpdateProcedure(const FirmwarePackage& package, const NimbrelOptions& options, UpdateHost& host);
    ~UpdateProcedure() override;
    UpdateProcedure(const UpdateProcedure&) = delete;
    UpdateProcedure& operator=(const UpdateProcedure&) = delete;

    // The window opens: the first image shown, the device group option taken,
    // the links created. False when the program must end at once (the target
    // device is not there); the exit code is then `exitCode()`.
    bool open();
    // OK, Enter or auto start.
    void update();
    // The group selector picked another image group.
    void chooseImageGroup(int group);
    // The window's "Force to update" box: Update then ignores the versions.
    void setForceTicked(bool ticked) { m_forceTicked = ticked; }

    int exitCode() const { return m_exitCode; }
    const NimbrelOptions& options() const { return m_options; }
    bool updating() const { return m_updating; }
    // The flashing sequence runs on its worker thread.
    bool flashing() const { return m_worker.joinable(); }
    // A link of some group lists a device.
    bool anyLinkConnected() const;
    int deviceGroup() const { return m_deviceGroup; }
    int imageGroup() const { return m_imageGroup; }
    int selectedImage() const { return m_selectedImage; }
    int subDevice() const { return m_subDevice; }
    // The group the selector shows.
    int selectorGroup() const { return m_selectorGroup; }
    bool groupSelectorShown() const { return m_package.trailer.groupSelectorShown == 1; }
    const std::u16string& deviceVersionText() const { return m_deviceVersionText; }
    // The image name shown: the chosen image, else the image group's first image.
    const std::u16string& imageName() const { return m_imageName; }
    // The name and version text of the image group; null while none is chosen.
    const GroupBlock* imageGroupBlock() const;

    // The device watch, public for the tests that drive it with reports.
    void onPlugReport(std::uintptr_t wParam, std::intptr_t lParam);
    void refresh();

protected:
    std::intptr_t onMessage(const platform::WindowMessage& message) override;
    void onTimer(unsigned id) override;

private:
    struct GroupLinks {
        std::unique_ptr<IapLink> application;
        std::unique_ptr<IapLink> bootLoader;  // absent when both identities share their IDs
    };

    bool createLinks();
    IapLink* linkToFlash(int group);
    // The controller behind `link` takes the boot-loader commands now. With
    // both identities on one link only the controller can say which one runs.
    bool canFlashWith(int group, IapLink& link);
    bool singleLink(int group) const;
    // A silent run ends when it has stood still too long (see TimingPolicy).
    void restartSilentWatch();
    void selectSubDevice(IapLink& application, const GroupRecord& record);
    // Reads the device's records with `link` and chooses its image for
    // `group`; unless only reporting, the result becomes the selected image.
    int readDeviceInformation(IapLink& link, int group, bool reportOnly);
    void showImage(int group, int chosen);
    // A silent run ends with the refusal's exit code; otherwise the host shows it.
    void refuse(const Refusal& refusal);
    void enterBootLoaderFor(IapLink& application);
    void stopAwaitingBootLoader();
    // Asked into its boot loader, the controller came back elsewhere or not at all.
    void bootLoaderNotReached();
    bool groupConnected(int group) const;
    void startUpdateThread(IapLink& link);
    void onUpdateThreadEnded(bool success);
    void postExit(int code);

    const FirmwarePackage& m_package;
    NimbrelOptions m_options;
    UpdateHost& m_host;
    std::array<GroupLinks, kGroupCount> m_links;

    int m_exitCode = 0;
    bool m_autoStart = false;
    bool m_forceTicked = false;
    bool m_updating = false;
    // EnterBootLoader was sent; the boot-loader identity has not arrived yet.
    bool m_awaitingBootLoader = false;
    int m_targetDevice = -1;  // an ordinal within the list of its link, once placed
    int m_targetGroup = -1;
    bool m_targetOnApplicationLink = false;
    bool m_exitPosted = false;
    int m_deviceGroup = -1;
    int m_imageGroup = -1;
    int m_selectorGroup = 0;
    int m_selectedImage = -1;
    int m_subDevice = 0;
    int m_reposts = 0;
    DeviceInformation m_information;
    std::u16string m_deviceVersionText;
    std::u16string m_imageName;

    // The flashing runs on m_worker; it reports through posted messages and
    // touches nothing above but what it was handed.
    std::thread m_worker;
    IapLink* m_flashedLink = nullptr;
    FlashResult m_result;  // written by the worker before it posts its end
};

}  // namespace updater
