#include "mainwindow/VersionDlg.h"

#include "platform/DebugLog.h"
#include "platform/Utf16.h"
#include "skin/MessageBox.h"
#include "skin/PopupDlgs.h"
#include "skin/PrivateFonts.h"
#include "skin/SkinDocuments.h"
#include "skin/SkinMessages.h"
#include "skin/SkinText.h"

#include <QMouseEvent>
#include <QPainter>

namespace {

std::string stringOf(std::string_view section, std::string_view key) {
    return skin::GetSkinText(skin::skinDocument(skin::SkinDocument::Strings), section, key);
}

QRect recordRect(std::string_view section, std::string_view key) {
    const skin::SkinRecord record =
        skin::ParseSkinRecord(skin::GetSkinText(skin::skinDocument(skin::SkinDocument::Buttons), section, key));
    return QRect(QPoint(record.left, record.top), QPoint(record.right - 1, record.bottom - 1));
}

}  // namespace

// ---- CFirmwareDlg

CFirmwareDlg::CFirmwareDlg(QWidget* parent)
    : skin::CBaseDlg(parent), m_softwareVersion(skin::GetSoftwareVersion(skin::skinProgramFolder())) {
    m_check.applicationInformation.fill(0xFF);
}

void CFirmwareDlg::setDevice(devicelink::CUSBDriver* link, devicelink::Family family, int position) {
    m_link = link;
    m_family = family;
    m_position = position;
}

int CFirmwareDlg::FirmwareCheck() {
    const std::string updater = devicecontrol::UpdaterPath(skin::skinProgramFolder(), m_family);
    m_package = devicecontrol::CheckFirmwarePackage(updater);
    if (!m_link) return 0;
    const int result = devicecontrol::FirmwareCheck(*m_link, std::max(m_position, 0), updater, m_check);
    if (!m_check.packageMessage.empty() && reportsPackageProblems()) skin::ShowMessageBox(this, m_check.packageMessage);
    update();
    return result;
}

void CFirmwareDlg::LoadSkin() {
    skin::CBaseDlg::LoadSkin();
    for (auto [button, key] :
         {std::pair{&m_ok, "BUTTON_OK"}, std::pair{&m_update, "BUTTON_UPDATE"}, std::pair{&m_close, "BUTTON_CLOSE"}}) {
        skin::CreateSkinButton(*button, section(), key, skinContext(), this, true, skin::kAlignCenter, 0, -1);
        button->setColours(0xFFFFFF, 0xFFFFFF, 0x68605B, 0xFFFFFF);
        button->setObjectName(QString::fromLatin1(key));
    }
    m_update.setEnabled(false);
}

std::string CFirmwareDlg::firmwareText() const { return platform::utf16ToUtf8(m_check.deviceVersion); }

std::string CFirmwareDlg::updateText() const { return platform::utf16ToUtf8(m_check.updateVersion); }

void CFirmwareDlg::DrawOverlay(QPainter& painter) {
    painter.setPen(Qt::white);
    const int flags = skin::kTextLeft | skin::kTextVCenter | skin::kTextEndEllipsis;
    skin::DrawSkinString(painter, section(), "STR_TITLE", flags);
    skin::DrawSkinText(painter, section(), "STR_VER_SW", stringOf(section(), "STR_VER_SW") + "V" + m_softwareVersion,
                       flags);
    skin::DrawSkinText(painter, section(), "STR_VER_FW", stringOf(section(), "STR_VER_FW") + firmwareText(), flags);
    skin::DrawSkinText(painter, section(), "STR_VER_UPDATE", stringOf(section(), "STR_VER_UPDATE") + updateText(),
                       flags);
}

// ---- CInfoDlg

CInfoDlg::CInfoDlg(QWidget* parent) : CFirmwareDlg(parent) {
    // Set before it is shown: changing the flags of a shown window hides it.
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setSection("InfoDlg");
    setSkinFolder("PopDlg");
    setObjectName(QStringLiteral("InfoDlg"));
}

void CInfoDlg::OnInitDialog() {
    platform::DebugTrace("Info Dlg Read Init");
    CFirmwareDlg::OnInitDialog();
    setWindowTitle(QString::fromUtf8(skin::kPopupTitle));
    if (const QWidget* parent = parentWidget())
        move(parent->window()->frameGeometry().center() - QPoint(width() / 2, height() / 2));
    const int result = FirmwareCheck();
    platform::DebugTrace("Info CompareFWVer End");
    if (m_bootLoader || (result < 0 && m_check.image >= 0)) {
        m_update.setEnabled(true);
        m_ok.setEnabled(false);
        m_updateRequired = true;
    }
    platform::DebugTrace("Info Dlg Read Init Finish");
}

std::string CInfoDlg::firmwareText() const { return m_bootLoader ? " IAP" : CFirmwareDlg::firmwareText(); }

std::intptr_t CInfoDlg::onMessage(const platform::WindowMessage& message) {
    if (message.id != skin::kWmCommand || skin::highWord(message.wParam) != skin::kBnClicked) return 0;
    const auto* sender = reinterpret_cast<const QWidget*>(message.lParam);
    if (sender == &m_ok) done(skin::kResultOk);
    if (sender == &m_close) done(m_updateRequired ? skin::kResultCancel : skin::kResultOk);
    if (sender == &m_update) {
        skin::CWarnDlg warning(this);
        warning.SetSections("WarnDlg", "");
        warning.SetMessage("NIMBRELS");
        if (warning.exec() == skin::kResultOk) done(kResultUpdate);
    }
    return 0;
}

// ---- CVersionDlg

CVersionDlg::CVersionDlg(QWidget* parent) : CFirmwareDlg(parent) {
    setSection("VersionDlg");
    setSkinFolder("");
    setObjectName(QStringLiteral("VersionDlg"));
}

void CVersionDlg::Refresh() {
    platform::DebugTrace("Version Compare FW Ver Finish ");
    m_update.setEnabled(false);
    update();
    platform::DebugTrace("Version PutSettingToControl Finish ");
}

std::string CVersionDlg::updateText() const {
    return m_package.installed ? CFirmwareDlg::updateText() : stringOf(section(), "STR_NO_PACKAGE");
}

std::intptr_t CVersionDlg::onMessage(const platform::WindowMessage& message) {
    if (message.id != skin::kWmCommand || skin::highWord(message.wParam) != skin::kBnClicked) return 0;
    // OK and Close end the page like a dialog.
    const auto* sender = reinterpret_cast<const QWidget*>(message.lParam);
    if (sender == &m_ok || sender == &m_close) done(skin::kResultOk);
    return 0;
}

void CVersionDlg::DrawOverlay(QPainter& painter) {
    CFirmwareDlg::DrawOverlay(painter);
    const int flags = skin::kTextLeft | skin::kTextVCenter | skin::kTextEndEllipsis;
    const char* driverKey = m_family == devicelink::Family::Led5 ? "STR_LAST_DRIVER_5_LED" : "STR_LAST_DRIVER";
    skin::DrawSkinText(painter, section(), "STR_LAST_DRIVER", stringOf(section(), driverKey), flags);
    skin::DrawSkinString(painter, section(), "STR_LEARN_MORE", flags);
}

void CVersionDlg::mousePressEvent(QMouseEvent* event) {
    // The two link texts open their addresses; the rest of the page drags the window.
    const QPoint at = event->position().toPoint();
    for (auto [text, link] :
         {std::pair{"STR_LAST_DRIVER", "LINK_LAST_DRIVER"}, std::pair{"STR_LEARN_MORE", "LINK_LEARN_MORE"}}) {
        if (event->button() == Qt::LeftButton && recordRect(section(), text).contains(at)) {
            skin::OpenInBrowser(stringOf(section(), link));
            return;
        }
    }
    CFirmwareDlg::mousePressEvent(event);
}
