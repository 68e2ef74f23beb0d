#pragma once

#include "effects/LedConversion.h"
#include "platform/Messages.h"

#include <QDialog>

#include <array>

namespace devicelink {
class CUSBDriver;
}

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QShortcut;

// "LEDConv", the engineering dialog that works out PWM reload counts and LED
// conversion table entries of the controller firmware. A plain Qt dialog, not
// skinned. Each editor page keeps one, hidden, as the receiver of the mirage
// PWM frequencies. Every control's object name is its identifier ("1001"),
// listed in docs/ledconv.md. The only command it sends a controller is the
// control mode on arrival.
class CLEDConvDlg : public platform::MessageWindow<QDialog> {
public:
    CLEDConvDlg(devicelink::CUSBDriver* link, QWidget* parent);

    void setLink(devicelink::CUSBDriver* link) { m_link = link; }
    devicelink::CUSBDriver* link() const { return m_link; }

    // Writes the six frequencies into the edits 1001 to 1006 with "%d", then
    // runs the one-click command.
    void SetPwmFrequencies(const std::array<int, 6>& hz);

    // The commands of the controls 1043 (the channel list), 1010 and 1035.
    void OnChannelChange();
    void OnOneClick();
    void OnCalculate();

    // The parameters kept for the six channels (the selected one as last read).
    const std::array<effects::ConversionChannel, effects::kConversionChannels>& channels() const { return m_channels; }

protected:
    // 1277 from the page: a controller arrived (lParam ≠ 0) or left.
    std::intptr_t onMessage(const platform::WindowMessage& message) override;

private:
    void buildControls();
    // The reload counts of the six frequencies in the output area.
    void showReloadCounts();
    void showChannel(int channel);
    // Selects an entry of the channel list as the program does, without the list's own notification.
    void selectChannelEntry(int index);

    devicelink::CUSBDriver* m_link = nullptr;
    std::array<effects::ConversionChannel, effects::kConversionChannels> m_channels =
        effects::InitialConversionChannels();
    int m_channel = 0;

    std::array<QLineEdit*, 6> m_frequencies{};
    QLineEdit* m_formula = nullptr;
    QComboBox* m_channelList = nullptr;
    std::array<QLineEdit*, 4> m_integers{};
    QCheckBox* m_autoIncrement = nullptr;
    QLineEdit* m_maxDuty = nullptr;
    std::array<QCheckBox*, 6> m_oneClickChannels{};
    std::array<std::array<QLineEdit*, 3>, 4> m_colours{};
    std::array<QLineEdit*, effects::kConversionResults> m_results{};
    QPlainTextEdit* m_output = nullptr;
    QLabel* m_status = nullptr;
};

// Ctrl+Shift+L on the page (while its window is active) shows the page's
// hidden conversion dialog; the shortcut belongs to the page.
inline constexpr char kLedConversionShortcut[] = "Ctrl+Shift+L";
QShortcut* InstallLedConversionShortcut(QWidget* page, CLEDConvDlg* dialog);
