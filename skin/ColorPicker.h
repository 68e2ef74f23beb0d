#pragma once

#include "platform/Messages.h"
#include "skin/ColorMath.h"

#include <QPointer>
#include <QWidget>

// The free colour picker: a plane over two components, a bar for the third
// and a well that hands the picked colour to its owner. They keep each other
// in step with message 1294.
namespace skin {

// What message 1294 carries, by address in lParam.
struct ColorPickerNotice {
    const QWidget* sender = nullptr;
    std::int32_t controlId = 0;
    std::int32_t value = 0;  // the selector's colour or the slider's position
};

class GTDrawHelper {
public:
    // Sunken (flags bit 1) or raised frame; bit 2 adds an inner black rectangle.
    static void DrawFrame(QPainter& painter, int left, int top, int right, int bottom, int flags);
    // A filled triangle with its apex at (x, y); orientations 1 to 8.
    static void DrawTriangle(QPainter& painter, int x, int y, int orientation, int size, QColor outline, QColor fill);
};

class GTColorSliderWnd;
class GTColorWellWnd;

class GTColorSelectorWnd : public platform::MessageWindow<QWidget> {
public:
    explicit GTColorSelectorWnd(QWidget* parent = nullptr);

    int CreateSelector(QWidget* parent, int left, int top, int right, int bottom);
    void SetMode(int mode);
    void SetSelectedColour(ColorRef colour);
    ColorRef GetSelectedColour() const { return m_state.colour(); }
    const ColorSelectorState& state() const { return m_state; }
    void setLinks(GTColorSliderWnd* slider, GTColorWellWnd* well);
    void setKeyboardEnabled(bool enabled) { m_keyboard = enabled; }
    // The plane and hit area: from (3, 3) to (width - 3, height - 3), edges included.
    QRect planeRect() const { return QRect(QPoint(3, 3), QPoint(width() - 3, height() - 3)); }
    int controlId() const { return m_controlId; }

protected:
    std::intptr_t onMessage(const platform::WindowMessage& message) override;
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;

private:
    void notify();
    void pointTo(const QPoint& point);

    ColorSelectorState m_state;
    int m_controlId = 0;
    bool m_dragging = false;
    bool m_keyboard = false;
    QPointer<GTColorSliderWnd> m_slider;
    QPointer<GTColorWellWnd> m_well;
};

class GTColorSliderWnd : public platform::MessageWindow<QWidget> {
public:
    explicit GTColorSliderWnd(QWidget* parent = nullptr);

    int CreateSlider(QWidget* parent, int left, int top, int right, int bottom);
    void SetMode(int mode);
    // A bar from top to bottom with its pointers on the left and the right;
    // CreateSlider makes a horizontal one.
    void SetVertical(bool vertical);
    bool vertical() const { return m_vertical; }
    int mode() const { return m_mode; }
    int position() const { return m_position; }
    int maximum() const { return m_maximum; }
    void setLinkedSelector(GTColorSelectorWnd* selector) { m_selector = selector; }
    void setKeyboardEnabled(bool enabled) { m_keyboard = enabled; }
    int controlId() const { return m_controlId; }
    QRect innerBar() const;

protected:
    std::intptr_t onMessage(const platform::WindowMessage& message) override;
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;

private:
    bool reversed() const { return (m_mode & 0x80) != 0; }
    void notify();
    void moveTo(const QPoint& point);
    std::vector<ColorRef> gradient(int n) const;

    int m_mode = 1;
    int m_minimum = 0, m_maximum = 255, m_position = 0;
    int m_lineStep = 1, m_pageStep = 10;
    int m_other1 = 0, m_other2 = 0;
    int m_controlId = 0;
    bool m_keyboard = true;
    bool m_dragging = false;
    bool m_vertical = false;
    QPointer<GTColorSelectorWnd> m_selector;
};

// Receives the chosen colour from a well.
class ColorPickedReceiver {
public:
    virtual ~ColorPickedReceiver() = default;
    virtual void OnColorPicked(ColorRef colour) = 0;
};

class GTColorWellWnd : public platform::MessageWindow<QWidget> {
public:
    explicit GTColorWellWnd(QWidget* parent = nullptr);

    int CreateWell(int left, int top, int right, int bottom, ColorPickedReceiver* owner);
    void setSource(GTColorSelectorWnd* selector) { m_source = selector; }
    ColorRef colour() const { return m_colour; }

protected:
    std::intptr_t onMessage(const platform::WindowMessage& message) override;
    void paintEvent(QPaintEvent*) override;

private:
    ColorRef m_colour = 0;
    QPointer<GTColorSelectorWnd> m_source;
    ColorPickedReceiver* m_owner = nullptr;
};

}  // namespace skin
