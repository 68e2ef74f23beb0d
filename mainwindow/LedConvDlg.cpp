#include "mainwindow/LedConvDlg.h"

#include "devicelink/UsbDriver.h"
#include "skin/MessageBox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QShortcut>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>

namespace {

// Control identifiers of the dialog.
enum : int {
    kIdExit = 1,
    kIdFrequency1 = 1001,
    kIdStatus = 1007,
    kIdConvertTable = 1008,
    kIdPwmReload = 1009,
    kIdOneClick = 1010,
    kIdColour1 = 1017,
    kIdResult1 = 1029,
    kIdCalculate = 1035,
    kIdOneClickChannel1 = 1036,
    kIdOutput = 1042,
    kIdChannelList = 1043,
    kIdMaximum = 1044,
    kIdAutoIncrement = 1048,
    kIdMaxDuty = 1049,
    kIdUnitPeriod = 1014,
    kIdUnitHz = 1015,
    kIdFormula = 1016,
};

constexpr char kHzFormula[] = "ReloadCount = (48000000/Hz)-1";
constexpr char kPeriodFormula[] = "ReloadCount = (週期 * 48000000)-1";

constexpr const char* kChannelEntries[] = {"1=Red",         "2=Blue",        "3=Green(LED0)",
                                           "4=Green(LED1)", "5=Green(LED2)", "6=Green(LED3)"};
constexpr const char* kParameterCaptions[] = {"最大值", "初始值", "曲函數", "Shift"};
constexpr const char* kOneClickCaptions[] = {"1=Logo", "2=Red", "3=Green", "4=Blue", "5=Empty", "6=Empty"};
constexpr const char* kColourColumns[] = {"R", "G", "B"};
// The one-click run walks the first two channel entries, ticked by 1036 and 1037.
constexpr int kOneClickWalk = 2;

template <class Widget>
Widget* named(Widget* widget, int id) {
    widget->setObjectName(QString::number(id));
    return widget;
}

std::string textOf(const QLineEdit* edit) { return edit->text().toStdString(); }

// A caption beside its edit, which the caption names for screen readers.
QLabel* captionFor(const QString& caption, QWidget* edit) {
    auto* label = new QLabel(caption);
    label->setBuddy(edit);
    edit->setAccessibleName(caption);
    return label;
}

}  // namespace

CLEDConvDlg::CLEDConvDlg(devicelink::CUSBDriver* link, QWidget* parent)
    : platform::MessageWindow<QDialog>(parent), m_link(link) {
    setWindowTitle("LEDConv");
    buildControls();
    // Start: Hz ticked (the formula follows the unit) and the period disabled,
    // channel 0 shown, the first four one-click channels ticked.
    showChannel(m_channel);
    selectChannelEntry(m_channel);
    for (int i = 0; i < 4; ++i) m_oneClickChannels[i]->setChecked(true);
    m_status->setText("Device Plugged");
}

void CLEDConvDlg::buildControls() {
    auto* layout = new QGridLayout(this);

    auto* pwm = new QGroupBox("PWM頻率(Hz)");
    auto* pwmLayout = new QGridLayout(pwm);
    for (int i = 0; i < 6; ++i) {
        m_frequencies[i] = named(new QLineEdit, kIdFrequency1 + i);
        pwmLayout->addWidget(captionFor(QString("PWM Channel %1:").arg(i + 1), m_frequencies[i]), i, 0);
        pwmLayout->addWidget(m_frequencies[i], i, 1);
    }
    m_formula = named(new QLineEdit, kIdFormula);
    m_formula->setReadOnly(true);
    m_formula->setAccessibleName("ReloadCount");
    auto* unitRow = new QHBoxLayout;
    unitRow->addWidget(new QLabel("設定單位:"));
    auto* hz = named(new QRadioButton("Hz"), kIdUnitHz);
    auto* period = named(new QRadioButton("週期"), kIdUnitPeriod);
    connect(hz, &QRadioButton::toggled, this,
            [this](bool byHz) { m_formula->setText(byHz ? kHzFormula : kPeriodFormula); });
    hz->setChecked(true);
    period->setEnabled(false);
    unitRow->addWidget(hz);
    unitRow->addWidget(period);
    pwmLayout->addLayout(unitRow, 6, 0, 1, 2);
    pwmLayout->addWidget(m_formula, 7, 0, 1, 2);
    auto* reloadGroup = new QGroupBox("DP_PWMRELOAD");
    auto* reloadLayout = new QVBoxLayout(reloadGroup);
    auto* reload = named(new QPushButton("產生DP_PWMRELOAD"), kIdPwmReload);
    reloadLayout->addWidget(reload);
    pwmLayout->addWidget(reloadGroup, 8, 0, 1, 2);
    layout->addWidget(pwm, 0, 0, 2, 1);

    auto* table = new QGroupBox("DP_LED_CONVERT_TABLE");
    auto* tableLayout = new QGridLayout(table);
    m_channelList = named(new QComboBox, kIdChannelList);
    for (const char* entry : kChannelEntries) m_channelList->addItem(entry);
    m_channelList->setAccessibleName("PWM Channel");
    tableLayout->addWidget(m_channelList, 0, 0, 1, 2);
    for (int i = 0; i < 4; ++i) {
        m_integers[i] = named(new QLineEdit, kIdMaximum + i);
        tableLayout->addWidget(captionFor(kParameterCaptions[i], m_integers[i]), i + 1, 0);
        tableLayout->addWidget(m_integers[i], i + 1, 1);
    }
    m_autoIncrement = named(new QCheckBox("Shift 自動增加"), kIdAutoIncrement);
    tableLayout->addWidget(m_autoIncrement, 5, 0, 1, 2);
    m_maxDuty = named(new QLineEdit, kIdMaxDuty);
    tableLayout->addWidget(captionFor("最大Duty %", m_maxDuty), 6, 0);
    tableLayout->addWidget(m_maxDuty, 6, 1);
    auto* convert = named(new QPushButton("產生DP_LED_CONVERT_TABLE"), kIdConvertTable);
    tableLayout->addWidget(convert, 7, 0, 1, 2);
    layout->addWidget(table, 0, 1);

    auto* oneClickGroup = new QGroupBox;
    auto* oneClickLayout = new QGridLayout(oneClickGroup);
    auto* oneClick = named(new QPushButton("一鍵產生"), kIdOneClick);
    oneClickLayout->addWidget(oneClick, 0, 0, 1, 3);
    for (int i = 0; i < 6; ++i) {
        m_oneClickChannels[i] = named(new QCheckBox(kOneClickCaptions[i]), kIdOneClickChannel1 + i);
        oneClickLayout->addWidget(m_oneClickChannels[i], 1 + i / 3, i % 3);
    }
    layout->addWidget(oneClickGroup, 1, 1);

    auto* colours = new QGroupBox;
    auto* coloursLayout = new QGridLayout(colours);
    for (int column = 0; column < 3; ++column)
        coloursLayout->addWidget(new QLabel(kColourColumns[column]), 0, column + 1, Qt::AlignCenter);
    for (int led = 0; led < 4; ++led) {
        coloursLayout->addWidget(new QLabel(QString("LED %1").arg(led)), led + 1, 0);
        for (int column = 0; column < 3; ++column) {
            m_colours[led][column] = named(new QLineEdit, kIdColour1 + 3 * led + column);
            m_colours[led][column]->setAccessibleName(QString("LED %1 %2").arg(led).arg(kColourColumns[column]));
            coloursLayout->addWidget(m_colours[led][column], led + 1, column + 1);
        }
    }
    auto* calculate = named(new QPushButton("Calculate"), kIdCalculate);
    coloursLayout->addWidget(calculate, 5, 0, 1, 4);
    layout->addWidget(colours, 2, 0);

    auto* results = new QGroupBox("CONVERT TABLE INDEX");
    auto* resultsLayout = new QVBoxLayout(results);
    for (int k = 0; k < effects::kConversionResults; ++k) {
        m_results[k] = named(new QLineEdit, kIdResult1 + k);
        m_results[k]->setAccessibleName(QString("CONVERT TABLE INDEX %1").arg(k));
        resultsLayout->addWidget(m_results[k]);
    }
    layout->addWidget(results, 2, 1);

    m_output = named(new QPlainTextEdit, kIdOutput);
    m_output->setReadOnly(true);
    m_output->setAccessibleName("Output");
    layout->addWidget(m_output, 3, 0, 1, 2);

    auto* bottom = new QHBoxLayout;
    m_status = named(new QLabel("Device Status"), kIdStatus);
    bottom->addWidget(m_status);
    bottom->addStretch();
    auto* exit = named(new QPushButton("Exit"), kIdExit);
    exit->setDefault(true);
    bottom->addWidget(exit);
    layout->addLayout(bottom, 4, 0, 1, 2);

    // The buttons 1008 and 1009 are accepted and do nothing: what they would
    // generate belongs to the firmware's build, not to this program.
    connect(m_channelList, &QComboBox::activated, this, [this] { OnChannelChange(); });
    connect(oneClick, &QPushButton::clicked, this, [this] { OnOneClick(); });
    connect(calculate, &QPushButton::clicked, this, [this] { OnCalculate(); });
    connect(exit, &QPushButton::clicked, this, &QDialog::reject);
}

void CLEDConvDlg::SetPwmFrequencies(const std::array<int, 6>& hz) {
    for (std::size_t i = 0; i < hz.size(); ++i) m_frequencies[i]->setText(QString::number(hz[i]));
    OnOneClick();
}

void CLEDConvDlg::OnChannelChange() {
    effects::ConversionChannelTexts texts;
    for (std::size_t i = 0; i < m_integers.size(); ++i) texts.integers[i] = textOf(m_integers[i]);
    texts.maxDuty = textOf(m_maxDuty);
    texts.autoIncrement = m_autoIncrement->isChecked();
    if (!effects::ReadConversionChannel(texts, m_channels[m_channel]))
        skin::ShowMessageBox(this, effects::kDutyWarning);
    m_channel = std::clamp(m_channelList->currentIndex(), 0, effects::kConversionChannels - 1);
    showChannel(m_channel);
}

void CLEDConvDlg::OnOneClick() {
    showReloadCounts();
    OnChannelChange();
    const int previous = m_channelList->currentIndex();
    for (int entry = 0; entry < kOneClickWalk; ++entry) {
        if (!m_oneClickChannels[entry]->isChecked()) continue;
        selectChannelEntry(entry);
        OnChannelChange();
    }
    selectChannelEntry(previous);
    OnChannelChange();
}

void CLEDConvDlg::OnCalculate() {
    effects::ConversionColourTexts texts;
    for (int led = 0; led < 4; ++led)
        for (int column = 0; column < 3; ++column) texts[led][column] = textOf(m_colours[led][column]);
    const auto results = effects::ConversionTableIndices(texts);
    for (int k = 0; k < effects::kConversionResults; ++k) m_results[k]->setText(QString::fromStdString(results[k]));
}

std::intptr_t CLEDConvDlg::onMessage(const platform::WindowMessage& message) {
    if (message.id != devicelink::kMsgPlug) return 0;
    if (message.lParam != 0) {
        m_status->setText("Device Plugged");
        if (m_link) m_link->SetControlMode(1, devicelink::kDefaultDevice);
    } else {
        m_status->setText("Device Removed");
    }
    return 0;
}

void CLEDConvDlg::showReloadCounts() {
    QString lines;
    for (int i = 0; i < 6; ++i) {
        const std::optional<std::int64_t> count =
            effects::PwmReloadCount(effects::ReadConversionNumber(textOf(m_frequencies[i])));
        lines += QString("PWM Channel %1: ").arg(i + 1);
        lines += count ? QString("ReloadCount = %1\n").arg(*count) : QString("-\n");
    }
    m_output->setPlainText(lines);
}

void CLEDConvDlg::showChannel(int channel) {
    const effects::ConversionChannelTexts texts = effects::ConversionChannelTextsOf(m_channels[channel]);
    for (std::size_t i = 0; i < m_integers.size(); ++i)
        m_integers[i]->setText(QString::fromStdString(texts.integers[i]));
    m_maxDuty->setText(QString::fromStdString(texts.maxDuty));
    m_autoIncrement->setChecked(texts.autoIncrement);
}

void CLEDConvDlg::selectChannelEntry(int index) {
    const QSignalBlocker quiet(m_channelList);
    m_channelList->setCurrentIndex(index);
}

QShortcut* InstallLedConversionShortcut(QWidget* page, CLEDConvDlg* dialog) {
    auto* shortcut = new QShortcut(QKeySequence(kLedConversionShortcut), page);
    QObject::connect(shortcut, &QShortcut::activated, dialog, [dialog] {
        dialog->show();
        dialog->raise();
        dialog->activateWindow();
    });
    return shortcut;
}
