#include "updater/nimbrel/NimbrelDlg.h"

#include "platform/Folders.h"
#include "platform/Process.h"
#include "skin/MessageBox.h"
#include "skin/PopupDlgs.h"
#include "skin/SkinDocuments.h"
#include "skin/SkinMessages.h"
#include "skin/SkinPicture.h"
#include "skin/SkinText.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPainter>
#include <cstdio>

#include <algorithm>
#include <chrono>

namespace updater {
namespace {

constexpr auto kResultTimerDelay = std::chrono::milliseconds(10);

QString qtext(const std::u16string& text) { return QString::fromStdU16String(text); }

// Draws a text of the layout in its record's rectangle, font and colour.
void drawLayoutText(QPainter& painter, xml::CXmlDoc& layout, const std::string& section, const std::string& key,
                    const QString& text, int format, int weight) {
    if (text.isEmpty()) return;
    const skin::SkinTextStyle style = skin::GetSkinTextStyle(layout, section, key);
    const QRect rect(style.record.left, style.record.top, style.record.right - style.record.left,
                     style.record.bottom - style.record.top);
    painter.save();
    if (style.font) painter.setFont(skin::SkinFontOf(style.font->face, style.font->height, weight));
    painter.setPen(style.color ? skin::ColorFromColorRef(*style.color) : QColor(Qt::white));
    skin::DrawFormattedText(painter, rect, text, format);
    painter.restore();
}

// A button of a layout section, cut from the window's pictures at its rectangle.
void placeButton(skin::CBitmapBtn& button, NimbrelSkin& skin, const std::string& section, const std::string& key,
                 const skin::SkinContext& context, QWidget* parent) {
    const skin::SkinRecord record =
        skin::ParseSkinRecord(skin::GetSkinText(skin.layout, section, key), skin::FlagRule::Nimbrel);
    button.setNimbrelStyle(true);
    // Pure white would be left out with the picture's white pixels: the caption would be hollow.
    button.setColours(0xF4F4F4, 0xF4F4F4, 0x808080, 0xF4F4F4);
    skin::CreateButtonFromRecord(context, button, record, parent);
    button.setToggle(false);
    button.setObjectName(QString::fromStdString(key));
    const std::string size = skin::GetSkinAttribute(skin.layout, section, key, "SIZE");
    if (!size.empty()) button.setFontHeight(skin::leadingInteger(size));
    const std::string face = skin::GetSkinAttribute(skin.layout, section, key, "FONT");
    if (!face.empty()) button.SetFaceName(face);
    if (!record.text.empty()) button.SetCaption(record.text, 0, false);
}

bool loadPicture(const std::string& path, QImage& picture) { return skin::LoadPicture(path, picture); }

}  // namespace

const char* WarningText(int code) {
    switch (code) {
    case kWarningSuccess: return "Firmware Update Success!";
    case kWarningFailed: return "Firmware Update Failed!";
    case kWarningLayoutError: return "Firmware Update Layout Error!";
    default: return "Error";
    }
}

bool NimbrelSkin::load(const std::string& skinFolder) {
    folder = skinFolder;
    return layout.LoadFile(folder + "Layout.xml") && layout.Parse() &&
           !skin::GetSkinText(layout, "CONFIRM", "BUTTON_OK").empty();
}

QRect NimbrelSkin::rect(const std::string& section, const std::string& key) {
    const skin::SkinRecord record =
        skin::ParseSkinRecord(skin::GetSkinText(layout, section, key), skin::FlagRule::Nimbrel);
    return QRect(record.left, record.top, record.right - record.left, record.bottom - record.top);
}

// ---- result pop-up

CWarning::CWarning(NimbrelSkin& skin, int code, const std::string& detail, QWidget* parent)
    : skin::CBaseDlg(parent),
      m_skin(skin),
      m_code(code),
      m_detail(detail),
      m_section(code == kWarningSuccess ? "SUCCESS" : "FAIL") {
    setWindowTitle(QString::fromLatin1(kWarningTitle));
    setSection(m_section);
    setModal(true);
}

void CWarning::LoadSkin() {
    skin::SetSkinKey(*this, m_section);
    const std::string look = m_code == kWarningSuccess ? "Success" : "Fail";
    QImage mask;
    if (loadPicture(m_skin.folder + "WarnMask.bmp", mask))
        if (const auto region = skin::RegionFromPicture(mask)) setMask(*region);
    if (loadPicture(m_skin.folder + look + "Normal.png", m_normal)) setFixedSize(m_normal.size());
    loadPicture(m_skin.folder + look + "Highlight.png", m_over);
    loadPicture(m_skin.folder + look + "Disable.png", m_disable);
    m_context = skin::SkinContext{&m_normal, &m_over, &m_over, &m_disable, false, 0, 0};
    placeButton(m_ok, m_skin, m_section, "BUTTON_OK", m_context, this);
    placeButton(m_close, m_skin, m_section, "BUTTON_CLOSE", m_context, this);
    const QRect textRect = m_skin.rect(m_section, "STR_WARN");
    m_text.setGeometry(textRect);
    m_text.setObjectName(QStringLiteral("STR_WARN"));
    QString text = QString::fromLatin1(WarningText(m_code));
    if (!m_detail.empty()) text += QLatin1Char('\n') + QString::fromStdString(m_detail);
    m_text.SetText(text);
    m_text.show();
}

void CWarning::DrawOverlay(QPainter& painter) {
    const QRect rect = m_skin.rect(m_section, "STR_WARN");
    const skin::SkinTextStyle style = skin::GetSkinTextStyle(m_skin.layout, m_section, "STR_WARN");
    const int height = style.font ? style.font->height : 22;
    QRect top = rect;
    if (!m_detail.empty()) top.setHeight(rect.height() / 2);
    drawLayoutText(painter, m_skin.layout, m_section, "STR_WARN", QString::fromLatin1(WarningText(m_code)),
                   skin::kTextVCenter | skin::kTextSingleLine, 600);
    if (m_detail.empty()) return;
    painter.save();
    painter.setFont(skin::SkinFontOf(style.font ? style.font->face : std::string(), height * 3 / 4, 400));
    painter.setPen(QColor(0xC0, 0xC6, 0xCE));
    skin::DrawFormattedText(painter, rect.adjusted(0, rect.height() / 2 + height / 2, 0, height),
                            QString::fromStdString(m_detail), skin::kTextWordBreak);
    painter.restore();
}

std::intptr_t CWarning::onMessage(const platform::WindowMessage& message) {
    if (message.id != skin::kWmCommand || skin::highWord(message.wParam) != skin::kBnClicked) return 0;
    const auto* sender = reinterpret_cast<const QWidget*>(message.lParam);
    if (sender == &m_ok || sender == &m_close) done(sender == &m_ok ? skin::kResultOk : skin::kResultCancel);
    return 0;
}

// ---- progress bar

void CNimbrelProgress::setPictures(QImage empty, QImage full, QImage icon) {
    m_empty = std::move(empty);
    m_full = std::move(full);
    m_icon = std::move(icon);
    update();
}

void CNimbrelProgress::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int span = std::max(1, maximum() - minimum());
    const int filled = width() * std::clamp(value() - minimum(), 0, span) / span;
    painter.drawImage(QPoint(0, 0), m_empty);
    painter.drawImage(QPoint(0, 0), m_full, QRect(0, 0, filled, height()));
    if (!m_icon.isNull()) {
        const int x = std::clamp(filled - m_icon.width() / 2, 0, std::max(0, width() - m_icon.width()));
        painter.drawImage(QPoint(x, (height() - m_icon.height()) / 2), m_icon);
    }
}

// ---- the window

CNimbrelDlg::CNimbrelDlg(const FirmwarePackage& package, const NimbrelOptions& options, const std::string& skinFolder,
                         QWidget* parent)
    : skin::CBaseDlg(parent),
      m_package(package),
      m_relaunchFolder(platform::programFolder()),
      m_procedure(package, options, *this) {
    setSection("CONFIRM");
    m_skinLoaded = m_skin.load(skinFolder);
    setWindowTitle(qtext(package.trailer.title));
    m_texts = {{"STR_TITLE", &m_title},       {"RECT_PRODUCT", &m_product},           {"STR_CAPTION1", &m_caption1},
               {"STR_CAPTION2", &m_caption2}, {"STR_CAPTION3", &m_caption3},          {"RECT_LAYOUT", &m_layoutText},
               {"RECT_VER", &m_versionText},  {"RECT_CUR_VER", &m_currentVersionText}};
    m_selectorLabel.setText(QStringLiteral("Bin Group:"));
    m_force.setText(QStringLiteral("Force to update"));
    const QString look = QStringLiteral("color: #ECEEF1; font-size: 17px;");
    m_selectorLabel.setStyleSheet(look);
    m_force.setStyleSheet(
        QStringLiteral("QCheckBox { color: #ECEEF1; font-size: 17px; } QCheckBox:disabled { color: #808080; }"));
    m_selectorLabel.setBuddy(&m_selector);
    m_progress.setRange(0, 100);
    m_progress.setValue(0);
    m_progress.setTextVisible(false);
    m_progress.setAccessibleName(QStringLiteral("Update progress"));
    m_progress.hide();
    QObject::connect(&m_selector, qOverload<int>(&QComboBox::activated), this,
                     [this](int index) { m_procedure.chooseImageGroup(m_selector.itemData(index).toInt()); });
    QObject::connect(&m_force, &QCheckBox::toggled, this, [this](bool ticked) { m_procedure.setForceTicked(ticked); });
}

CNimbrelDlg::~CNimbrelDlg() {
    if (m_warning) delete m_warning.data();
}

const skin::CSkinTextLabel& CNimbrelDlg::textLabel(const std::string& key) const {
    const auto found = std::find_if(m_texts.begin(), m_texts.end(), [&](const Text& t) { return t.key == key; });
    return found != m_texts.end() ? *found->label : m_title;
}

void CNimbrelDlg::LoadSkin() {
    skin::SetSkinKey(*this, section());
    const std::string& folder = m_skin.folder;
    QImage mask;
    if (loadPicture(folder + "Mask.bmp", mask))
        if (const auto region = skin::RegionFromPicture(mask)) setMask(*region);
    if (loadPicture(folder + "Normal.png", m_normal)) setFixedSize(m_normal.size());
    loadPicture(folder + "Highlight.png", m_over);
    loadPicture(folder + "Disable.png", m_disable);
    m_context = skin::SkinContext{&m_normal, &m_over, &m_over, &m_disable, false, 0, 0};
    placeButton(m_ok, m_skin, "CONFIRM", "BUTTON_OK", m_context, this);
    placeButton(m_cancel, m_skin, "CONFIRM", "BUTTON_CANCEL", m_context, this);
    placeButton(m_close, m_skin, "CONFIRM", "BUTTON_CLOSE", m_context, this);

    QImage empty, full, icon;
    loadPicture(folder + "BarEmpty.png", empty);
    loadPicture(folder + "BarFull.png", full);
    loadPicture(folder + skin::ParseSkinRecord(skin::GetSkinText(m_skin.layout, "UPDATE", "BAR_ICON")).text, icon);
    m_progress.setGeometry(m_skin.rect("UPDATE", "RECT_UPDATE"));
    m_progress.setPictures(std::move(empty), std::move(full), std::move(icon));
    m_progress.setObjectName(QStringLiteral("RECT_UPDATE"));
    skin::SetSkinKey(m_progress, "RECT_UPDATE");

    m_selectorLabel.setGeometry(m_skin.rect("CONFIRM", "STR_BIN_GROUP"));
    m_selector.setGeometry(m_skin.rect("CONFIRM", "COMBO_BIN_GROUP"));
    m_force.setGeometry(m_skin.rect("CONFIRM", "CHECK_FORCE"));
    skin::SetSkinKey(m_selectorLabel, "STR_BIN_GROUP");
    skin::SetSkinKey(m_selector, "COMBO_BIN_GROUP");
    skin::SetSkinKey(m_force, "CHECK_FORCE");
    m_selector.setAccessibleName(QStringLiteral("Bin Group:"));
    for (const Text& text : m_texts) {
        text.label->setGeometry(m_skin.rect("CONFIRM", text.key));
        text.label->setObjectName(QString::fromStdString(text.key));
    }
    fillSelector();
    updateTexts();
}

void CNimbrelDlg::fillSelector() {
    m_selector.clear();
    for (int group = 0; group < kGroupCount; ++group) {
        const std::u16string& name = m_package.trailer.groupBlocks[static_cast<std::size_t>(group)].name;
        if (!name.empty()) m_selector.addItem(qtext(name), group);
    }
    const int chosen = m_selector.findData(m_procedure.selectorGroup());
    if (chosen >= 0) m_selector.setCurrentIndex(chosen);
    const bool shown = m_procedure.groupSelectorShown();
    m_selector.setVisible(shown);
    m_selectorLabel.setVisible(shown);
}

bool CNimbrelDlg::start() {
    EnsureInitialised();
    if (!m_procedure.open()) {
        m_exitCode = m_procedure.exitCode();
        m_ended = true;
        return false;
    }
    fillSelector();
    if (!m_procedure.anyLinkConnected()) setControlState(false, false);
    return true;
}

void CNimbrelDlg::updateTexts() {
    const Trailer& trailer = m_package.trailer;
    const GroupBlock* group = m_procedure.imageGroupBlock();
    const QString texts[] = {qtext(trailer.title),
                             group ? qtext(group->name) : QString(),
                             qtext(trailer.captions[0]),
                             qtext(trailer.captions[1]),
                             qtext(trailer.captions[2]),
                             qtext(m_procedure.imageName()),
                             group ? qtext(group->versionText) : QString(),
                             qtext(m_procedure.deviceVersionText())};
    for (std::size_t i = 0; i < m_texts.size(); ++i) m_texts[i].label->SetText(texts[i]);
}

void CNimbrelDlg::DrawOverlay(QPainter& painter) {
    const int single = skin::kTextVCenter | skin::kTextSingleLine | skin::kTextEndEllipsis;
    for (const Text& text : m_texts) {
        const bool bold = text.key == "RECT_PRODUCT" || text.key == "STR_TITLE";
        const bool value = text.key == "RECT_LAYOUT" || text.key == "RECT_VER" || text.key == "RECT_CUR_VER";
        const int weight = bold ? 600 : value ? 700 : 400;
        if (!value) {
            drawLayoutText(painter, m_skin.layout, "CONFIRM", text.key, text.label->text(), single, weight);
            continue;
        }
        // The three values share RECT_VER's font and size, each in its own colour.
        const skin::SkinTextStyle font = skin::GetSkinTextStyle(m_skin.layout, "CONFIRM", "RECT_VER");
        const skin::SkinTextStyle own = skin::GetSkinTextStyle(m_skin.layout, "CONFIRM", text.key);
        if (text.label->text().isEmpty()) continue;
        painter.save();
        if (font.font) painter.setFont(skin::SkinFontOf(font.font->face, font.font->height, weight));
        painter.setPen(own.color ? skin::ColorFromColorRef(*own.color) : QColor(Qt::white));
        skin::DrawFormattedText(painter, text.label->geometry(), text.label->text(), single);
        painter.restore();
    }
}

// ---- UpdateHost

void CNimbrelDlg::showMessage(const std::string& text) { skin::ShowMessageBox(this, text); }

void CNimbrelDlg::refused(const Refusal& refusal) {
    // Closing now ends the program with the refusal's code, as a silent run would.
    m_exitCode = refusal.exitCode;
    if (!refusal.message.empty()) {
        skin::ShowMessageBox(this, refusal.message);
        return;
    }
    showWarning(kWarningError,
                refusal.exitCode == kExitNotNewer ? "The controller already runs this firmware."
                                                  : "The controller did not enter its boot loader.",
                {});
}

void CNimbrelDlg::setControlState(bool updating, bool connected) {
    m_updating = updating;
    m_close.setEnabled(!updating);
    for (QWidget* control : std::initializer_list<QWidget*>{&m_ok, &m_cancel, &m_selector, &m_force})
        control->setEnabled(connected && !updating);
    m_progress.setVisible(updating || m_procedure.flashing());
}

void CNimbrelDlg::repaint() {
    updateTexts();
    update();
}

void CNimbrelDlg::setProgress(int percent) { m_progress.setValue(std::clamp(percent, 0, 100)); }

void CNimbrelDlg::updateEnded(bool success, const std::string& reason) {
    m_failureReason = reason;
    setWindowTimer(success ? kTimerShowSuccess : kTimerShowFailure, kResultTimerDelay);
}

void CNimbrelDlg::close(int exitCode) { end(exitCode); }

// Silent runs have no window; a window run that ends without one still says why.
void CNimbrelDlg::reportSilently(const std::string& text) { std::fprintf(stderr, "Nimbrel: %s\n", text.c_str()); }

// ---- events

void CNimbrelDlg::onOk() {
    if (!m_ok.isEnabled() || m_procedure.updating() || m_procedure.flashing()) return;
    m_progress.setValue(0);
    m_procedure.update();
}

std::intptr_t CNimbrelDlg::onMessage(const platform::WindowMessage& message) {
    if (message.id != skin::kWmCommand || skin::highWord(message.wParam) != skin::kBnClicked) return 0;
    const auto* sender = reinterpret_cast<const QWidget*>(message.lParam);
    if (sender == &m_ok) onOk();
    if ((sender == &m_cancel || sender == &m_close) && !m_updating && !m_procedure.flashing()) end(m_exitCode);
    return 0;
}

void CNimbrelDlg::onTimer(unsigned id) {
    if (id != kTimerShowSuccess && id != kTimerShowFailure) return;
    killWindowTimer(id);
    showResult(id == kTimerShowSuccess);
}

void CNimbrelDlg::showResult(bool success) {
    hide();
    m_exitCode = success ? kExitSuccess : kExitUpdateFailed;
    showWarning(success ? kWarningSuccess : kWarningFailed, success ? std::string() : m_failureReason, [this, success] {
        // Started by Lumenstra ("true" and its path): open it again.
        const std::string& relaunch = m_procedure.options().relaunchPath;
        if (success && !relaunch.empty()) platform::startDetached(m_relaunchFolder + relaunch, {"true"});
        end(m_exitCode);
    });
}

// The pop-up is modal without a nested loop: what follows runs when it is closed.
void CNimbrelDlg::showWarning(int code, const std::string& detail, std::function<void()> then) {
    if (m_warning) delete m_warning.data();
    auto* warning = new CWarning(m_skin, code, detail, isVisible() ? this : nullptr);
    m_warning = warning;
    warning->setAttribute(Qt::WA_DeleteOnClose, false);
    QObject::connect(warning, &QDialog::finished, this, [this, warning, then = std::move(then)](int) {
        warning->deleteLater();
        if (then) then();
    });
    warning->EnsureInitialised();
    if (isVisible()) {
        const QPoint centre = geometry().center();
        warning->move(centre - QPoint(warning->width() / 2, warning->height() / 2));
    }
    warning->open();
}

void CNimbrelDlg::end(int exitCode) {
    if (m_ended) return;
    m_ended = true;
    m_exitCode = exitCode;
    done(exitCode);
    if (m_finished) m_finished(exitCode);
}

void CNimbrelDlg::keyPressEvent(QKeyEvent* event) {
    if ((event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter) && m_ok.isEnabled() && m_close.isEnabled()) {
        event->accept();
        onOk();
        return;
    }
    skin::CBaseDlg::keyPressEvent(event);
}

// The window system's close is greyed while the controller is written.
void CNimbrelDlg::closeEvent(QCloseEvent* event) {
    if (m_updating || m_procedure.flashing()) {
        event->ignore();
        return;
    }
    event->accept();
    end(m_exitCode);
}

}  // namespace updater
