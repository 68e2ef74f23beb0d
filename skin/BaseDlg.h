#pragma once

#include "platform/Messages.h"

#include <QDialog>
#include <QImage>
#include <QPoint>
#include <QPointer>

#include <string>

// The base of every skinned window: its shape, size and background come from
// the skin's pictures, it moves when dragged by its background, and keys never
// close it.
namespace skin {

// The pictures a dialog hands to its controls, which cut their own state
// pictures out of them at their rectangles.
struct SkinContext {
    const QImage* normal = nullptr;
    const QImage* over = nullptr;
    const QImage* down = nullptr;
    const QImage* disable = nullptr;
    bool standalone = false;  // the pictures show one control alone
    int offsetX = 0;
    int offsetY = 0;
};

constexpr int kPopupTemplate = 132;  // a top-level window
constexpr int kPageTemplate = 129;   // a page inside its parent

class CBaseDlg : public platform::MessageWindow<QDialog> {
public:
    explicit CBaseDlg(QWidget* parent = nullptr);

    // Creates the window without running it modally; a page template makes
    // it a child of `parent`.
    void CreateSkinned(int templateId, QWidget* parent);
    // Runs OnInitDialog once; showing or CreateSkinned call it.
    void EnsureInitialised();

    const std::string& section() const { return m_section; }
    void setSection(const std::string& section) { m_section = section; }
    const std::string& skinFolder() const { return m_skinFolder; }
    void setSkinFolder(const std::string& folder) { m_skinFolder = folder; }
    // program folder + "Skins/" + skin folder + "/"
    std::string pictureFolder() const;
    int templateId() const { return m_templateId; }
    const QImage& normalPicture() const { return m_normal; }
    const SkinContext& skinContext() const { return m_context; }

protected:
    virtual void OnInitDialog();
    virtual void LoadSkin();
    virtual void FreeStateImages();
    virtual void DrawOverlay(QPainter&) {}

    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    bool event(QEvent* event) override;

    QImage m_normal;
    QImage m_over;
    QImage m_down;
    QImage m_disable;
    SkinContext m_context;

private:
    std::string m_section = "MAIN";
    std::string m_skinFolder;
    int m_templateId = kPopupTemplate;
    bool m_initialised = false;
    // Dragging by the background when the window system cannot move it for us.
    QPointer<QWidget> m_dragged;
    QPoint m_dragStartGlobal;
    QPoint m_dragStartWindow;
};

}  // namespace skin
