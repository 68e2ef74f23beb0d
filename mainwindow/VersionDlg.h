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
    const devicecontrol::PackageStatus& packageStatus() const { return m_package; }
    // The texts behind the firmware and the update labels.
    virtual std::string firmwareText() const;
    virtual std::string updateText() const;
    const std::string& softwareVersion() const { return m_softwareVersion; }

protected:
    void LoadSkin() override;
    void DrawOverlay(QPainter& painter) override;
    // Whether an unreadable package is told in a message box.
    virtual bool reportsPackageProblems() const { return true; }

    skin::CBitmapBtn m_ok{this}, m_update{this}, m_close{this};
    devicecontrol::FirmwareCheckState m_check;
    devicecontrol::PackageStatus m_package;
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
    std::string firmwareText() const override;

protected:
    void OnInitDialog() override;
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
    // Without a package the page says so instead of a version to compare with.
    std::string updateText() const override;

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void DrawOverlay(QPainter& painter) override;
    std::intptr_t onMessage(const platform::WindowMessage& message) override;
    bool reportsPackageProblems() const override { return false; }
};
