#include "skin/PopupDlgs.h"

#include "platform/Timing.h"
#include "skin/MessageBox.h"
#include "skin/SkinDocuments.h"
#include "skin/SkinGeometry.h"
#include "skin/SkinManifest.h"
#include "skin/SkinMessages.h"
#include "skin/SkinPicture.h"
#include "skin/SkinText.h"

#include <QKeyEvent>
#include <QPainter>
#include <QScreen>

#include <thread>

namespace skin {
namespace {

constexpr unsigned kLoadingTimer = 1;
constexpr unsigned kDimmingTimer = 1;
constexpr int kLoadingBandTop = 558;

void centreOver(QWidget& dialog) {
    const QWidget* parent = dialog.parentWidget();
    const QRect area = parent ? parent->window()->frameGeometry()
                              : (dialog.screen() ? dialog.screen()->availableGeometry() : QRect());
    if (area.isValid()) dialog.move(area.center() - QPoint(dialog.width() / 2, dialog.height() / 2));
}

}  // namespace

// ---- CWarnDlg

CWarnDlg::CWarnDlg(QWidget* parent) : CBaseDlg(parent) {
    setSection("WarnDlg");
    setSkinFolder("PopDlg");
}

void CWarnDlg::SetSections(const std::string& section, const std::string& buttonSection) {
    setSection(section);
    m_buttonSection = buttonSection.empty() ? section : buttonSection;
}

void CWarnDlg::SetAffixes(const std::string& prefix, const std::string& suffix) {
    m_prefix = prefix;
    m_suffix = suffix;
}

void CWarnDlg::OnInitDialog() {
    CBaseDlg::OnInitDialog();
    setWindowTitle(QString::fromUtf8(kPopupTitle));
    centreOver(*this);
}

void CWarnDlg::LoadSkin() {
    CBaseDlg::LoadSkin();
    // The texts go into the background picture itself, so painting shows them.
    const std::string text =
        m_prefix + GetSkinText(skinDocument(SkinDocument::Strings), m_message, "STR_WARN") + m_suffix;
    if (!m_normal.isNull()) {
        QPainter painter(&m_normal);
        painter.setFont(SkinFontOf("Noto Sans", 29, 400));
        painter.setPen(Qt::white);
        const int flags = kTextCenter | kTextVCenter | kTextWordBreak | kTextEndEllipsis;
        DrawSkinString(painter, m_message, "STR_TITLE", flags);
        painter.setPen(ColorFromColorRef(0x565656));
        DrawSkinText(painter, m_message, "STR_WARN", text, flags);
    }
    // The pop-up is found by its message, and reads out what it shows.
    if (!m_message.empty()) SetSkinKey(*this, m_message);
    m_titleLabel.Place(m_message, "STR_TITLE",
                       GetSkinText(skinDocument(SkinDocument::Strings), m_message, "STR_TITLE"));
    m_messageLabel.Place(m_message, "STR_WARN", text);
    const SkinContext& context = skinContext();
    xml::CXmlDoc& buttons = skinDocument(SkinDocument::Buttons);
    for (auto [button, key] :
         {std::pair{&m_ok, "BUTTON_OK"}, std::pair{&m_cancel, "BUTTON_CANCEL"}, std::pair{&m_close, "BUTTON_CLOSE"}}) {
        const std::string size = GetSkinAttribute(buttons, m_buttonSection, key, "SIZE");
        CreateSkinButton(*button, m_buttonSection, key, context, this, true, kAlignCenter, 0,
                         size.empty() ? -1 : leadingInteger(size));
        button->setColours(0xFFFFFF, 0xFFFFFF, 0x272727, 0xFFFFFF);
    }
}

std::intptr_t CWarnDlg::onMessage(const platform::WindowMessage& message) {
    if (message.id != kWmCommand || highWord(message.wParam) != kBnClicked) return 0;
    const auto* sender = reinterpret_cast<const QWidget*>(message.lParam);
    if (sender == &m_ok) done(kResultOk);
    if (sender == &m_cancel || sender == &m_close) done(kResultCancel);
    return 0;
}

// ---- progress band

void CProgressBandDlg::FreeStateImages() {
    m_down = QImage();
    m_disable = QImage();
}

void CProgressBandDlg::SetProgress(int percent) {
    if (percent == m_percent) return;
    m_percent = percent;
    NotifyValueChanged(*this, percent);
    repaint(QRect(0, m_bandTop, width(), std::max(0, height() - m_bandTop)));
}

void CProgressBandDlg::DrawOverlay(QPainter& painter) {
    if (m_over.isNull()) return;
    const int band = ProgressBandWidth(width(), m_percent);
    painter.drawImage(QPoint(0, m_bandTop), m_over, QRect(0, m_bandTop, band, height() - m_bandTop));
}

// ---- CLoadingDlg

CLoadingDlg::CLoadingDlg(QWidget* parent) : CProgressBandDlg(parent) {
    setWindowFlag(Qt::WindowStaysOnTopHint, true);
    setSection("LOAD_KEYBOARD");
    setSkinFolder("PopDlg");
    m_bandTop = kLoadingBandTop;
}

void CLoadingDlg::setJob(Job job, int first, int second, int third) {
    m_job = std::move(job);
    m_parameters[0] = first;
    m_parameters[1] = second;
    m_parameters[2] = third;
}

void CLoadingDlg::OnInitDialog() {
    CProgressBandDlg::OnInitDialog();
    setWindowTitle(QString::fromUtf8(kPopupTitle));
    centreOver(*this);
    setWindowTimer(kLoadingTimer, platform::timing().loadingPopupDelay);
}

void CLoadingDlg::onTimer(unsigned id) {
    if (id != kLoadingTimer) return;
    killWindowTimer(kLoadingTimer);
    const int outcome = m_job ? m_job(*this, m_parameters[0], m_parameters[1], m_parameters[2]) : 1;
    std::this_thread::sleep_for(platform::timing().loadingPopupSettle);
    done(outcome == 0 ? kResultOk : kResultCancel);
}

// ---- CProgressDlg

CProgressDlg::CProgressDlg(QWidget* parent) : CProgressBandDlg(parent) {
    setSection("LOADING");
    setSkinFolder("");
}

void CProgressDlg::LoadSkin() {
    CProgressBandDlg::LoadSkin();
    m_bandTop = leadingInteger(GetSkinText(skinDocument(SkinDocument::Buttons), "LOADING", "PROGRESS"));
}

// ---- CDlgLoading

CDlgLoading::CDlgLoading(QWidget* covered, const std::string& coveredSkinFolder, QDialog& popup)
    : platform::MessageWindow<QDialog>(covered), m_covered(covered), m_skinFolder(coveredSkinFolder), m_popup(popup) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setWindowTitle(QString::fromUtf8(kDimmingTitle));
}

int CDlgLoading::run() { return exec(); }

void CDlgLoading::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    if (m_started) return;
    m_started = true;
    LoadCover();
    resize(0, 0);
    setWindowTimer(kDimmingTimer, std::chrono::milliseconds(50));
}

void CDlgLoading::LoadCover() {
    xml::CXmlDoc& skins = skinDocument(SkinDocument::Skins);
    const std::string folder = skinProgramFolder() + "Skins/" + m_skinFolder + "/";
    LoadPicture(folder + GetSkinText(skins, "MASK", "NORMAL"), m_picture);
    const std::string maskName = GetSkinText(skins, "MASK", "MASK");
    if (!maskName.empty()) {
        QImage mask;
        LoadPicture(folder + maskName, mask);
        if (const std::optional<QRegion> region = RegionFromPicture(mask))
            setMask(*region);
        else
            ShowMessageBox(this, "error");
    }
}

int CDlgLoading::runBeside() {
    // Shown without a modal loop of its own, so closing the cover can never
    // keep the pop-up's caller waiting.
    m_started = true;
    LoadCover();
    if (m_covered) setGeometry(m_covered->window()->frameGeometry());
    setWindowOpacity(60.0 / 255.0);
    show();
    const int result = m_popup.exec();
    hide();
    return result;
}

void CDlgLoading::onTimer(unsigned id) {
    if (id != kDimmingTimer) return;
    killWindowTimer(kDimmingTimer);
    if (m_covered) setGeometry(m_covered->window()->frameGeometry());
    setWindowOpacity(60.0 / 255.0);
    done(m_popup.exec());
}

void CDlgLoading::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.drawImage(rect(), m_picture);
}

void CDlgLoading::keyPressEvent(QKeyEvent* event) {
    // Enter and Escape must not close the cover.
    event->accept();
}

std::intptr_t CDlgLoading::onMessage(const platform::WindowMessage& message) {
    if (message.id == kApplyMessage) done(-1);
    return 0;
}

int ShowSkinnedWarning(QWidget* covered, const std::string& coveredSkinFolder, const std::string& message,
                       const std::string& suffix) {
    CWarnDlg warning(covered);
    warning.SetSections(isNotice(message) ? "NO_KEYBOARD" : "WarnDlg", "");
    warning.SetMessage(message);
    warning.SetAffixes("", suffix);
    CDlgLoading host(covered, coveredSkinFolder, warning);
    return host.run();
}

}  // namespace skin
