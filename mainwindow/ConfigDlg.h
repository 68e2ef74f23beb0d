#pragma once

#include "devicecontrol/ControllerLinks.h"
#include "devicecontrol/DeviceIdentity.h"
#include "devicecontrol/PlugBookkeeping.h"
#include "devicelink/SleepSignal.h"
#include "effects/EffectModel.h"
#include "mainwindow/LedPage.h"
#include "mainwindow/VersionDlg.h"
#include "skin/BaseDlg.h"
#include "skin/BitmapBtn.h"
#include "skin/BtnMenu.h"
#include "skin/PopupDlgs.h"

#include <QPointer>
#include <QString>

#include <array>
#include <memory>
#include <string>

class CRename;

// Lumenstra's only top-level window. Other programs (the companion) find it by
// its fixed title. It owns the four controller links, the records of every
// controller in an edit and an applied copy, the device lists of both
// families, the effect pages, the version page and the progress pop-up.
class CConfigDlg : public skin::CBaseDlg {
public:
    static constexpr char kTitle[] = "Ostmar Pellan KV 6000 Series_RGB_LED";
    static constexpr int kFamilies = 2;
    static constexpr int kMaxDevices = 20;

    // Messages between the window, its pages and its widgets.
    static constexpr unsigned kMsgApply = 1274;
    static constexpr unsigned kMsgRenameDone = 1283;
    static constexpr unsigned kMsgSelectProfile = 2926;
    static constexpr unsigned kMsgResetProfile = 2927;
    static constexpr unsigned kMsgSelectDevice = 2928;
    static constexpr unsigned kMsgStartUpdater = 2930;
    static constexpr unsigned kMsgLed5MenuClick = 7456;
    static constexpr unsigned kMsgLed5MenuDoubleClick = 7457;
    static constexpr unsigned kMsgLed5MenuPart = 7458;
    static constexpr unsigned kWmClose = 0x0010;
    static constexpr unsigned kTimerDeferredSelection = 0x10002;
    static constexpr unsigned kTimerPlugQueue = 0x10003;
    static constexpr unsigned kItemCommandBase = 0x1300;

    explicit CConfigDlg(QWidget* parent = nullptr);
    ~CConfigDlg() override;

    void setResolutionFolder(const QString& folder) { m_resolutionFolder = folder; }
    void setTrueFlag(bool value) { m_trueFlag = value; }
    void setDeviceCheck(bool value) { m_deviceCheck = value; }
    void setLanguageCode(int code) { m_languageCode = code; }

    const QString& resolutionFolder() const { return m_resolutionFolder; }
    bool trueFlag() const { return m_trueFlag; }
    bool deviceCheck() const { return m_deviceCheck; }
    int languageCode() const { return m_languageCode; }

    devicecontrol::ControllerLinks& links() { return m_links; }
    devicelink::CUSBDriver& applicationLink(int family);

    void SelectDevice(int position, int family);
    int ConfirmDiscard(int family, int position);
    void ShowView(int view);
    void LaunchUpdater(int position, int family);
    int ShowFirmwareInformation(devicelink::CUSBDriver* link, int family, int position);
    void RefreshDeviceMenus();
    void StartRename(int family, int position);

    effects::LedProfileSet& editCopy(int family, int position);
    effects::LedProfileSet& appliedCopy(int family, int position);
    int DeviceCount(int family);
    const devicecontrol::IdentityTable& identityTable(int family) const { return m_identities[family]; }
    // The menu title of a device: its stored name, else the numbered title.
    std::string DeviceTitle(int family, int position);

    int currentFamily() const { return m_currentFamily; }
    int currentDevice() const { return m_currentDevice; }
    int currentView() const { return m_currentView; }
    int lastAppliedProfile() const { return m_lastAppliedProfile; }
    bool closing() const { return m_closing; }
    bool busy() const { return m_busy; }
    CLedPage& page(int family) { return *m_pages[family]; }
    CLedPage& currentPage() { return *m_pages[m_currentFamily]; }
    CVersionDlg& versionPage() { return m_versionPage; }
    skin::CProgressDlg& progressPopup() { return m_progress; }
    skin::CBitmapListBtn& deviceButton(int family) { return m_deviceButtons[family]; }
    skin::CBtnMenu& deviceMenu(int family) { return *m_deviceMenus[family]; }
    const devicecontrol::PlugQueue& plugQueue() const { return m_plugQueue; }
    // Every progress value the last Apply showed.
    const std::vector<int>& applyProgress() const { return m_applyProgress; }

    void done(int result) override;

protected:
    void OnInitDialog() override;
    void LoadSkin() override;
    void DrawOverlay(QPainter& painter) override;
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    std::intptr_t onMessage(const platform::WindowMessage& message) override;
    void onTimer(unsigned id) override;

private:
    class GroupHost;

    void BuildDeviceList(int family);
    void PageUpdate();
    void Apply();
    void SelectProfile(int profile);
    void ResetProfile(int lParam);
    void CloseButton();
    void ExitSequence();
    void CloseWarningPopups();
    bool AnyDevice();
    // Both the host pop-up and the warning; 1 when OK.
    int ShowWarning(const std::string& message, const std::string& text);
    std::string UnsavedEditsText(int family, int first, int last);
    bool Differs(int family, int position);
    int RunLoading(int profile, int position, int family);
    void CopyToGroup(int family, int from, bool profileOnly);

    void OnDevicePlug(std::uintptr_t wParam, std::intptr_t lParam);
    void OnDeviceArrival(int family, int position);
    void OnDeviceRemoval(int instance, int family, int position, bool bootLoader);
    void LastDeviceCheck();
    void OnMenuItem(int family, int index);
    void OnMenuPart(int family, int index, int part);
    void ToggleGroupMember(int family, int position);
    void ToggleGroupAll(int family);
    void FinishRename();

    QString m_resolutionFolder;
    bool m_trueFlag = false;
    bool m_deviceCheck = true;
    int m_languageCode = 255;

    std::array<std::unique_ptr<CLedPage>, kFamilies> m_pages;
    devicecontrol::PlugQueue m_plugQueue;
    int m_fonts[3] = {-1, -1, -1};
    skin::CBitmapListBtn m_deviceButtons[kFamilies];
    std::array<std::unique_ptr<skin::CBtnMenu>, kFamilies> m_deviceMenus;
    devicecontrol::ControllerLinks m_links;
    CVersionDlg m_versionPage;
    skin::CProgressDlg m_progress;
    skin::CBitmapBtn m_minimise{this}, m_close{this};
    skin::CBitmapBtn m_viewButtons[3];
    QImage m_devicePictures[kFamilies];
    QImage m_checkNormal, m_checkDown;

    int m_currentFamily = 0;
    int m_currentDevice = 0;
    std::array<int, kFamilies> m_lastDevice{0, 0};
    int m_pendingGroupFamily = 0, m_pendingGroupPosition = -1;
    int m_deferredFamily = 0, m_deferredPosition = 0;
    int m_lastAppliedProfile = 0;
    int m_currentView = 0;
    std::array<std::array<effects::LedProfileSet, kMaxDevices>, kFamilies> m_edit{};
    std::array<std::array<effects::LedProfileSet, kMaxDevices>, kFamilies> m_applied{};
    std::array<devicecontrol::IdentityTable, kFamilies> m_identities;
    QRect m_pageRect;

    bool m_closing = false;
    bool m_popupPending = false;
    bool m_loading = false;
    bool m_busy = false;
    bool m_checking = false;
    bool m_noDeviceWarningShown = false;
    bool m_updaterStarted = false;
    bool m_ended = false;

    std::unique_ptr<CRename> m_rename;
    int m_renameFamily = 0, m_renamePosition = 0;
    std::vector<int> m_applyProgress;
    QRegion m_shape;

    devicelink::SleepSignal m_sleepSignal;
};
