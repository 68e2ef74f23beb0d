#pragma once

#include "devicelink/SleepSignal.h"
#include "devicecontrol/ControllerLinks.h"
#include "platform/Messages.h"

#include <QDialog>
#include <QString>

class QLabel;

// Lumenstra's only top-level window. Other programs (the companion) find it by
// its fixed title. It owns the four controller links and hears of every
// controller that arrives or leaves.
class CConfigDlg : public platform::MessageWindow<QDialog> {
public:
    static constexpr char kTitle[] = "Ostmar Pellan KV 6000 Series_RGB_LED";

    explicit CConfigDlg(QWidget* parent = nullptr);

    void setResolutionFolder(const QString& folder) { m_resolutionFolder = folder; }
    void setTrueFlag(bool value) { m_trueFlag = value; }
    void setDeviceCheck(bool value) { m_deviceCheck = value; }
    void setLanguageCode(int code) { m_languageCode = code; }

    const QString& resolutionFolder() const { return m_resolutionFolder; }
    bool trueFlag() const { return m_trueFlag; }
    bool deviceCheck() const { return m_deviceCheck; }
    int languageCode() const { return m_languageCode; }

    devicecontrol::ControllerLinks& links() { return m_links; }

protected:
    void showEvent(QShowEvent* event) override;
    std::intptr_t onMessage(const platform::WindowMessage& message) override;

private:
    void openLinks();
    void showControllers();

    QString m_resolutionFolder;
    bool m_trueFlag = false;
    bool m_deviceCheck = true;
    int m_languageCode = 255;
    bool m_linksOpened = false;
    QLabel* m_status = nullptr;
    QLabel* m_controllers = nullptr;

    devicecontrol::ControllerLinks m_links;
    devicelink::SleepSignal m_sleepSignal;
};
