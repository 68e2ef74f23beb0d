#include "skin/ColorPicker.h"

#include "skin/Accessibility.h"
#include "skin/SkinMessages.h"
#include "skin/SkinText.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>

#include <cmath>

namespace skin {
namespace {

constexpr int kSelectorId = 2000;
constexpr int kSliderId = 2001;
constexpr int kPointerSize = 7;

QColor qColorOf(ColorRef c) { return QColor(redOf(c), greenOf(c), blueOf(c)); }

void sendNotice(QWidget* target, const QWidget* sender, int controlId, std::int32_t value) {
    if (!target || controlId == 0) return;
    ColorPickerNotice notice{sender, controlId, value};
    platform::sendMessage(target, {kColorPickerNotify, static_cast<std::uintptr_t>(controlId),
                                   reinterpret_cast<std::intptr_t>(&notice)});
}

QColor buttonFace(const QWidget& widget) { return widget.palette().color(QPalette::Button); }

}  // namespace

// ---- GTDrawHelper

void GTDrawHelper::DrawFrame(QPainter& painter, int left, int top, int right, int bottom, int flags) {
    const QColor shadow(0x6B, 0x6B, 0x6B);
    const QColor highlight(0xE0, 0xE0, 0xE0);
    const bool sunken = (flags & 2) != 0;
    painter.setPen(sunken ? shadow : highlight);
    painter.drawLine(left, bottom, left, top);
    painter.drawLine(left, top, right + 1, top);
    painter.setPen(sunken ? highlight : shadow);
    painter.drawLine(left + 1, bottom, right, bottom);
    painter.drawLine(right, bottom, right, top);
    if (flags & 4) {
        painter.setPen(Qt::black);
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(left + 1, top + 1, right - left - 2, bottom - top - 2);
    }
}

void GTDrawHelper::DrawTriangle(QPainter& painter, int x, int y, int orientation, int size, QColor outline,
                                QColor fill) {
    const int r = size - 1;
    QPoint b, c;
    switch (orientation) {
    case 1:
        b = {x + r, y + r};
        c = {x + r, y - r};
        break;
    case 2:
        b = {x + r, y + r};
        c = {x - r, y + r};
        break;
    case 3:
        b = {x - r, y - r};
        c = {x - r, y + r};
        break;
    case 4:
        b = {x - r, y - r};
        c = {x + r, y - r};
        break;
    case 5:
        b = {x + r, y};
        c = {x, y + r};
        break;
    case 6:
        b = {x + r, y};
        c = {x, y - r};
        break;
    case 7:
        b = {x - r, y};
        c = {x, y + r};
        break;
    case 8:
        b = {x - r, y};
        c = {x, y - r};
        break;
    default: return;
    }
    const QPoint points[3] = {{x, y}, b, c};
    painter.setPen(outline);
    painter.setBrush(fill);
    painter.drawPolygon(points, 3);
}

// ---- GTColorSelectorWnd

GTColorSelectorWnd::GTColorSelectorWnd(QWidget* parent) : platform::MessageWindow<QWidget>(parent) {
    m_state.mode = 3;
    setFocusPolicy(Qt::ClickFocus);
    MakeAccessible(*this);
}

int GTColorSelectorWnd::CreateSelector(QWidget* parent, int left, int top, int right, int bottom) {
    setParent(parent);
    setObjectName(QStringLiteral("GTColorSelectorWnd"));
    setGeometry(left, top, right - left, bottom - top);
    m_controlId = kSelectorId;
    m_slider = nullptr;
    m_well = nullptr;
    m_state = ColorSelectorState{0, 0, 0, 0};
    show();
    return 1;
}

void GTColorSelectorWnd::setLinks(GTColorSliderWnd* slider, GTColorWellWnd* well) {
    m_slider = slider;
    m_well = well;
}

void GTColorSelectorWnd::SetMode(int mode) {
    m_state = ColorSelectorState{mode, 0, 0, 0};
    update();
}

void GTColorSelectorWnd::SetSelectedColour(ColorRef colour) {
    if (!m_state.moveTo(colour)) return;
    notify();
    update();
}

void GTColorSelectorWnd::notify() {
    const auto colour = static_cast<std::int32_t>(m_state.colour());
    sendNotice(m_slider, this, m_controlId, colour);
    sendNotice(m_well, this, m_controlId, colour);
    sendNotice(parentWidget(), this, m_controlId, colour);
}

std::intptr_t GTColorSelectorWnd::onMessage(const platform::WindowMessage& message) {
    if (message.id != kColorPickerNotify || !m_slider) return 0;
    const int value = (m_slider->mode() & 0x80) ? m_slider->maximum() - m_slider->position() : m_slider->position();
    if (value < 0 || value > m_state.ranges().fixed) return 0;
    m_state.fixed = value;
    notify();
    update();
    return 0;
}

void GTColorSelectorWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!isEnabled()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    painter.fillRect(rect(), buttonFace(*this));
    GTDrawHelper::DrawFrame(painter, 1, 1, width() - 1, height() - 1, 6);
    const QRect plane = planeRect();
    const int left = plane.left(), top = plane.top();
    const int right = plane.right(), bottom = plane.bottom();
    const int columns = right - left + 1;
    const ModeRanges ranges = m_state.ranges();
    QImage image(columns, bottom - top + 1, QImage::Format_RGB32);
    for (int row = bottom; row >= top; --row) {
        const double r = bottom == top ? 0.0 : static_cast<double>(bottom - row) / (bottom - top);
        std::vector<ColorRef> line;
        switch (m_state.mode) {
        case 3: line = FillSaturationRamp(columns, m_state.fixed / 10.0, r); break;
        case 4: line = FillHueBar(columns, m_state.fixed / 1000.0, r); break;
        case 5: line = FillHueBar(columns, r, m_state.fixed / 1000.0); break;
        default: {
            line.resize(static_cast<std::size_t>(columns));
            const int yValue = static_cast<int>(r * 255);
            for (int i = 0; i < columns; ++i) {
                ColorSelectorState probe{m_state.mode, m_state.fixed, columns > 1 ? i * 255 / (columns - 1) : 0,
                                         yValue};
                line[static_cast<std::size_t>(i)] = probe.colour();
            }
        }
        }
        auto* pixels = reinterpret_cast<QRgb*>(image.scanLine(row - top));
        for (int i = 0; i < columns; ++i) {
            const ColorRef c = line[static_cast<std::size_t>(i)];
            pixels[i] = qRgb(redOf(c), greenOf(c), blueOf(c));
        }
    }
    painter.drawImage(QPoint(left, top), image);
    painter.setClipRect(QRect(left, top, columns, bottom - top + 1));
    const int markerX = left + (right - left) * m_state.x / std::max(1, ranges.x);
    const int markerY = bottom - (bottom - top) * m_state.y / std::max(1, ranges.y);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setPen(QPen(MarkerIsBlack(m_state.colour()) ? Qt::black : Qt::white, 1.5));
    painter.setBrush(Qt::NoBrush);
    painter.drawEllipse(QPoint(markerX, markerY), 5, 5);
}

void GTColorSelectorWnd::pointTo(const QPoint& point) {
    const QRect plane = planeRect();
    if (!m_state.pointTo(point.x(), point.y(), plane.left(), plane.top(), plane.right(), plane.bottom())) return;
    update();
    notify();
}

void GTColorSelectorWnd::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton && event->button() != Qt::MiddleButton) return;
    setFocus();
    if (!planeRect().contains(event->position().toPoint())) return;
    m_dragging = true;
    pointTo(event->position().toPoint());
}

void GTColorSelectorWnd::mouseMoveEvent(QMouseEvent* event) {
    setCursor(planeRect().contains(event->position().toPoint()) || m_dragging ? Qt::CrossCursor : Qt::ArrowCursor);
    if (m_dragging) pointTo(event->position().toPoint());
}

void GTColorSelectorWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_dragging) return;
    m_dragging = false;
    notify();
}

void GTColorSelectorWnd::keyPressEvent(QKeyEvent* event) {
    if (!m_keyboard || m_dragging) return;
    const ModeRanges ranges = m_state.ranges();
    int x = m_state.x, y = m_state.y;
    switch (event->key()) {
    case Qt::Key_PageUp:
        x = ranges.x;
        y = ranges.y;
        break;
    case Qt::Key_PageDown:
        x = ranges.x;
        y = 0;
        break;
    case Qt::Key_End:
        x = 0;
        y = 0;
        break;
    case Qt::Key_Home:
        x = 0;
        y = ranges.y;
        break;
    case Qt::Key_Left: --x; break;
    case Qt::Key_Right: ++x; break;
    case Qt::Key_Up: ++y; break;
    case Qt::Key_Down: --y; break;
    default: return;
    }
    x = std::clamp(x, 0, ranges.x);
    y = std::clamp(y, 0, ranges.y);
    if (x == m_state.x && y == m_state.y) return;
    m_state.x = x;
    m_state.y = y;
    update();
    notify();
}

// ---- GTColorSliderWnd

GTColorSliderWnd::GTColorSliderWnd(QWidget* parent) : platform::MessageWindow<QWidget>(parent) {
    setFocusPolicy(Qt::ClickFocus);
    MakeAccessible(*this);
}

int GTColorSliderWnd::CreateSlider(QWidget* parent, int left, int top, int right, int bottom) {
    setParent(parent);
    setObjectName(QStringLiteral("GTColorSliderWnd"));
    setGeometry(left, top, right - left, bottom - top);
    m_controlId = kSliderId;
    m_selector = nullptr;
    SetMode(1);
    show();
    return 1;
}

void GTColorSliderWnd::SetMode(int mode) {
    if ((mode & 0x7F) > 6) return;
    m_mode = mode;
    const int base = mode & 0x7F;
    if (base <= 5) {
        m_minimum = 0;
        m_maximum = RangesOfMode(base).fixed;
        m_lineStep = base <= 2 ? 1 : 10;
        m_pageStep = base <= 2 ? 10 : 100;
    }
    m_position = reversed() ? m_maximum : m_minimum;
    m_other1 = 0;
    m_other2 = 0;
    update();
}

void GTColorSliderWnd::SetVertical(bool vertical) {
    m_vertical = vertical;
    update();
}

QRect GTColorSliderWnd::innerBar() const {
    // The pointer triangles sit above and below a horizontal bar, left and
    // right of a vertical one, whose ends leave room for half a pointer.
    if (m_vertical) {
        const int inset = kPointerSize - 3;
        const QRect bar(kPointerSize + 1, inset, width() - 2 * (kPointerSize + 1) - 1, height() - 2 * inset - 1);
        return bar.adjusted(2, 2, -2, -2);
    }
    const QRect bar(0, kPointerSize + 1, width() - 1, height() - 2 * (kPointerSize + 1) - 1);
    return bar.adjusted(2, 2, -2, -2);
}

void GTColorSliderWnd::notify() {
    NotifyValueChanged(*this, m_position);
    QWidget* target = m_selector ? static_cast<QWidget*>(m_selector) : parentWidget();
    sendNotice(target, this, m_controlId, m_position);
}

std::intptr_t GTColorSliderWnd::onMessage(const platform::WindowMessage& message) {
    if (message.id != kColorPickerNotify) return 0;
    const auto* source =
        dynamic_cast<const GTColorSelectorWnd*>(reinterpret_cast<const ColorPickerNotice*>(message.lParam)->sender);
    if (!source) return 0;
    const ColorSelectorState& state = source->state();
    const int base = m_mode & 0x7F;
    if (base <= 2) {
        if (state.y >= 0 && state.y <= 255) m_other1 = state.y;
        if (state.x >= 0 && state.x <= 255) m_other2 = state.x;
    } else {
        m_other1 = 999;
        m_other2 = 999;
    }
    const int position = reversed() ? m_maximum - state.fixed : state.fixed;
    m_position = std::clamp(position, m_minimum, m_maximum);
    update();
    NotifyValueChanged(*this, m_position);
    return 0;
}

std::vector<ColorRef> GTColorSliderWnd::gradient(int n) const {
    std::vector<ColorRef> row;
    switch (m_mode & 0x7F) {
    case 3: row = FillHueBar(n, m_other1 / 1000.0, m_other2 / 1000.0); break;
    case 4: row = FillSaturationRamp(n, m_other1 / 10.0, m_other2 / 1000.0); break;
    case 5: row = FillValueRamp(n, m_other1 / 10.0, m_other2 / 1000.0); break;
    default:
        row.resize(static_cast<std::size_t>(std::max(0, n)));
        for (int i = 0; i < n; ++i) {
            const int value = n > 1 ? i * 255 / (n - 1) : 0;
            ColorSelectorState probe{m_mode & 0x7F, value, m_other2, m_other1};
            row[static_cast<std::size_t>(i)] = probe.colour();
        }
    }
    if (reversed()) std::reverse(row.begin(), row.end());
    return row;
}

void GTColorSliderWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (!isEnabled()) {
        painter.fillRect(rect(), Qt::black);
        return;
    }
    painter.fillRect(rect(), buttonFace(*this));
    const QRect inner = innerBar();
    const int length = m_vertical ? inner.height() : inner.width();
    const std::vector<ColorRef> row = gradient(length);
    QImage line(m_vertical ? 1 : std::max(1, length), m_vertical ? std::max(1, length) : 1, QImage::Format_RGB32);
    for (int i = 0; i < length; ++i) {
        const ColorRef c = row[static_cast<std::size_t>(i)];
        line.setPixel(m_vertical ? 0 : i, m_vertical ? i : 0, qRgb(redOf(c), greenOf(c), blueOf(c)));
    }
    painter.drawImage(inner, line);
    const int range = std::max(1, m_maximum - m_minimum);
    const int marker = (m_vertical ? inner.top() : inner.left()) +
                       static_cast<int>(static_cast<double>(m_position - m_minimum) / range * length);
    const QRect bar = inner.adjusted(-2, -2, 2, 2);
    const QColor text = palette().color(QPalette::WindowText);
    if (m_vertical) {
        const QColor fill = palette().color(QPalette::Window);
        GTDrawHelper::DrawTriangle(painter, bar.left() - 1, marker, 3, kPointerSize, text, fill);
        GTDrawHelper::DrawTriangle(painter, bar.right() + 1, marker, 1, kPointerSize, text, fill);
    } else {
        GTDrawHelper::DrawTriangle(painter, marker, bar.top() - 1, 4, kPointerSize, text, Qt::black);
        GTDrawHelper::DrawTriangle(painter, marker, bar.bottom() + 1, 2, kPointerSize, text, Qt::black);
    }
    GTDrawHelper::DrawFrame(painter, bar.left(), bar.top(), bar.right(), bar.bottom(), 6);
}

void GTColorSliderWnd::moveTo(const QPoint& point) {
    const QRect inner = innerBar();
    const int start = m_vertical ? inner.top() : inner.left();
    const int end = m_vertical ? inner.bottom() : inner.right();
    if (end <= start) return;
    const int along = std::clamp(m_vertical ? point.y() : point.x(), start, end);
    const double fraction = static_cast<double>(along - start) / (end - start);
    const double bias = m_maximum < m_minimum ? -0.5 : 0.5;
    const int position = m_minimum + static_cast<int>(fraction * (m_maximum - m_minimum) + bias);
    if (position == m_position) return;
    m_position = position;
    update();
    notify();
}

void GTColorSliderWnd::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    setFocus();
    if (!rect().contains(event->position().toPoint())) return;
    m_dragging = true;
    moveTo(event->position().toPoint());
}

void GTColorSliderWnd::mouseMoveEvent(QMouseEvent* event) {
    if (m_dragging) moveTo(event->position().toPoint());
}

void GTColorSliderWnd::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_dragging) return;
    m_dragging = false;
    notify();
}

void GTColorSliderWnd::keyPressEvent(QKeyEvent* event) {
    if (!m_keyboard || m_dragging) return;
    int position = m_position;
    switch (event->key()) {
    case Qt::Key_PageUp: position -= m_pageStep; break;
    case Qt::Key_PageDown: position += m_pageStep; break;
    case Qt::Key_End: position = m_maximum; break;
    case Qt::Key_Home: position = m_minimum; break;
    case Qt::Key_Right:
    case Qt::Key_Down: position += m_lineStep; break;
    case Qt::Key_Left:
    case Qt::Key_Up: position -= m_lineStep; break;
    default: return;
    }
    position = std::clamp(position, m_minimum, m_maximum);
    if (position == m_position) return;
    m_position = position;
    notify();
    update();
}

// ---- GTColorWellWnd

GTColorWellWnd::GTColorWellWnd(QWidget* parent) : platform::MessageWindow<QWidget>(parent) { MakeAccessible(*this); }

int GTColorWellWnd::CreateWell(int left, int top, int right, int bottom, ColorPickedReceiver* owner) {
    setObjectName(QStringLiteral("GTColorWellWnd"));
    setGeometry(left, top, right - left, bottom - top);
    m_owner = owner;
    show();
    return 1;
}

std::intptr_t GTColorWellWnd::onMessage(const platform::WindowMessage& message) {
    if (message.id != kColorPickerNotify || !m_source) return 0;
    m_colour = m_source->GetSelectedColour();
    if (m_owner) m_owner->OnColorPicked(m_colour);
    update();
    return 0;
}

void GTColorWellWnd::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(QRect(2, 2, width() - 2, height() - 2), qColorOf(m_colour));
    GTDrawHelper::DrawFrame(painter, 0, 0, width() - 1, height() - 1, 6);
}

}  // namespace skin
