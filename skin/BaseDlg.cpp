#include "skin/BaseDlg.h"

#include "platform/DebugLog.h"
#include "skin/Accessibility.h"
#include "skin/MessageBox.h"
#include "skin/SkinDocuments.h"
#include "skin/SkinPicture.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWindow>

namespace skin {
CBaseDlg::CBaseDlg(QWidget* parent) : platform::MessageWindow<QDialog>(parent) {
    setWindowFlags(Qt::Dialog | Qt::FramelessWindowHint);
    setAttribute(Qt::WA_OpaquePaintEvent);
    MakeAccessible(*this);
}

std::string CBaseDlg::pictureFolder() const { return skinProgramFolder() + "Skins/" + m_skinFolder + "/"; }

void CBaseDlg::CreateSkinned(int templateId, QWidget* parent) {
    m_templateId = templateId;
    if (templateId == kPopupTemplate)
        setParent(parent, Qt::Dialog | Qt::FramelessWindowHint);
    else
        setParent(parent, Qt::Widget);
    EnsureInitialised();
}

void CBaseDlg::EnsureInitialised() {
    if (m_initialised) return;
    m_initialised = true;
    OnInitDialog();
}

void CBaseDlg::OnInitDialog() {
    LoadSkin();
    FreeStateImages();
}

void CBaseDlg::LoadSkin() {
    SetSkinKey(*this, m_section);
    xml::CXmlDoc& skins = skinDocument(SkinDocument::Skins);
    const std::string folder = pictureFolder();
    platform::DebugTrace("%s", "Load Dlg Mask!");
    const std::string maskName = GetSkinText(skins, m_section, "MASK");
    if (!maskName.empty()) {
        QImage mask;
        LoadPicture(folder + maskName, mask);
        platform::DebugTrace("%s", "Create Dlg RGN!");
        if (const std::optional<QRegion> region = RegionFromPicture(mask))
            setMask(*region);
        else
            ShowMessageBox(this, "error");
    }
    platform::DebugTrace("%s", "Load Dlg Normal!");
    QSize size;
    if (LoadPicture(folder + GetSkinText(skins, m_section, "NORMAL"), m_normal, &size)) {
        move(0, 0);
        setFixedSize(size);
    }
    const auto loadState = [&](const char* state, QImage& picture) {
        const std::string name = GetSkinText(skins, m_section, state);
        if (!name.empty()) LoadPicture(folder + name, picture);
    };
    platform::DebugTrace("%s", "Load Dlg OVER!");
    loadState("OVER", m_over);
    platform::DebugTrace("%s", "Load Dlg DOWN!");
    loadState("DOWN", m_down);
    platform::DebugTrace("%s", "Load Dlg DISABLE!");
    loadState("DISABLE", m_disable);
    m_context = SkinContext{&m_normal, &m_over, &m_down, &m_disable, false, 0, 0};
    platform::DebugTrace("%s", "Load Base Dlg Finish!!");
}

void CBaseDlg::FreeStateImages() {
    m_over = QImage();
    m_down = QImage();
    m_disable = QImage();
}

void CBaseDlg::showEvent(QShowEvent* event) {
    EnsureInitialised();
    QDialog::showEvent(event);
}

void CBaseDlg::paintEvent(QPaintEvent*) {
    // Qt's backing store already composes off screen, so the window never
    // flickers to its background colour.
    QPainter painter(this);
    if (!m_normal.isNull()) painter.drawImage(QPoint(0, 0), m_normal);
    DrawOverlay(painter);
}

void CBaseDlg::keyPressEvent(QKeyEvent* event) {
    switch (event->key()) {
    case Qt::Key_Escape:
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_F1: event->accept(); return;
    default: QDialog::keyPressEvent(event);
    }
}

bool CBaseDlg::event(QEvent* event) {
    // Help requests do nothing.
    if (event->type() == QEvent::WhatsThis || event->type() == QEvent::QueryWhatsThis) return true;
    return platform::MessageWindow<QDialog>::event(event);
}

void CBaseDlg::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    QWidget* moved = m_templateId == kPopupTemplate || !parentWidget() ? window() : parentWidget()->window();
    if (QWindow* handle = moved->windowHandle(); handle && handle->startSystemMove()) return;
    m_dragged = moved;
    m_dragStartGlobal = event->globalPosition().toPoint();
    m_dragStartWindow = moved->pos();
}

void CBaseDlg::mouseMoveEvent(QMouseEvent* event) {
    if (!m_dragged || !(event->buttons() & Qt::LeftButton)) return;
    m_dragged->move(m_dragStartWindow + event->globalPosition().toPoint() - m_dragStartGlobal);
}

void CBaseDlg::mouseReleaseEvent(QMouseEvent*) { m_dragged = nullptr; }

}  // namespace skin
