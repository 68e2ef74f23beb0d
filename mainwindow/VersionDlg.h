#pragma once

#include "devicecontrol/VersionCheck.h"
#include "devicelink/ControllerKinds.h"
#include "skin/BaseDlg.h"
#include "skin/BitmapBtn.h"

#include <string>

namespace devicelink {
class CUSBDriver;
}

// The two windows that show a controller's firmware against the updater's
// package: the information pop-up that offers an update, and the version page.
class CFirmwareDlg : public skin::CBaseDlg {
public:
    explicit CFirmwareDlg(QWidget* parent = nullptr);

    void setDevice(devicelink::CUSBDriver* link, devicelink::Family family, int position);
    // Reads the package and the controller; the comparison's result.
    int FirmwareCheck();
    const devicecontrol::FirmwareCheckState& checkState() const { return m_check; }
    const std::string& softwareVersion() const { return m_softwareVersion; }

protected:
    void LoadSkin() override;
    void DrawOverlay(QPainter& painter) override;
    // The text behind the firmware label.
    virtual std::string firmwareText() const;

    skin::CBitmapBtn m_ok{this}, m_update{this}, m_close{this};
    devicecontrol::FirmwareCheckState m_check;
    devicelink::CUSBDriver* m_link = nullptr;
    devicelink::Family m_family = devicelink::Family::Standard;
    int m_position = -1;
    std::string m_softwareVersion;
};

// Offers the update of a controller whose firmware is older than the
// package's, or that sits in its boot loader. Ends with 1 (later), 2 (a
// required update refused) or 6 (update).
class CInfoDlg : public CFirmwareDlg {
public:
    static constexpr int kResultUpdate = 6;

    explicit CInfoDlg(QWidget* parent = nullptr);
    void setBootLoaderMode(bool bootLoader) { m_bootLoader = bootLoader; }
    bool updateRequired() const { return m_updateRequired; }

protected:
    void OnInitDialog() override;
    std::string firmwareText() const override;
    std::intptr_t onMessage(const platform::WindowMessage& message) override;

private:
    bool m_bootLoader = false;
    bool m_updateRequired = false;
};

// View 2 of the main window: the versions and two web links; it never offers the update itself.
class CVersionDlg : public CFirmwareDlg {
public:
    explicit CVersionDlg(QWidget* parent = nullptr);
    void Refresh();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void DrawOverlay(QPainter& painter) override;
};
