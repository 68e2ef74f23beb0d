#include "skin/Sliders.h"

#include "skin/Accessibility.h"
#include "skin/SkinDocuments.h"
#include "skin/SkinMessages.h"
#include "skin/SkinPicture.h"
#include "skin/SkinText.h"

#include <QMouseEvent>
#include <QPainter>

namespace skin {

namespace {
constexpr unsigned kRepeatDelayTimer = 1;
constexpr unsigned kRepeatTimer = 2;
}  // namespace

// ---- CPngHSliderBar

CPngHSliderBar::CPngHSliderBar(QWidget* parent) : platform::MessageWindow<QWidget>(parent) {
    setMouseTracking(true);
    setFocusPolicy(Qt::ClickFocus);
    MakeAccessible(*this);
}

void CPngHSliderBar::SetValue(int value) {
    if (value == m_value) return;
    m_value = value;
    update();
    NotifyValueChanged(*this, value);
}

void CPngHSliderBar::RequestValue(int value) {
    notify(std::clamp(value, std::min(m_minimum, m_maximum), std::max(m_minimum, m_maximum)));
}

void CPngHSliderBar::SetRange(int minimum, int maximum) {
    if (minimum != m_minimum || maximum != m_maximum) {
        m_minimum = minimum;
        m_maximum = maximum;
        update();
    }
    SetValue(std::clamp(m_value, std::min(minimum, maximum), std::max(minimum, maximum)));
}

SliderGeometry CPngHSliderBar::geometryNow() const {
    return SliderGeometry{width(), m_thumbNormal.width(), m_minimum, m_maximum};
}

void CPngHSliderBar::setPictures(const QImage& track, const QImage& fill, const QImage& disabled) {
    m_track = track;
    m_fill = fill;
    m_disabled = disabled;
    update();
}

void CPngHSliderBar::setThumbs(const QImage& normal, const QImage& off, const QImage& over, bool atTop) {
    m_thumbNormal = normal;
    m_thumbOff = off;
    m_thumbOver = over;
    m_thumbAtTop = atTop;
    update();
}

QRect CPngHSliderBar::thumbRect() const {
    const int top = m_thumbAtTop ? 0 : height() - m_thumbNormal.height();
    return QRect(geometryNow().thumbLeft(m_value), top, m_thumbNormal.width(), m_thumbNormal.height());
}

void CPngHSliderBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const bool enabled = isEnabled() || m_disabled.isNull();
    if (enabled) {
        painter.drawImage(QPoint(0, 0), m_track);
        const int fill = geometryNow().fillWidth(m_value);
        painter.drawImage(QPoint(0, 0), m_fill, QRect(0, 0, fill, m_fill.height()));
        const QImage& thumb = m_thumbHover && !m_thumbOver.isNull() ? m_thumbOver : m_thumbNormal;
        painter.drawImage(thumbRect().topLeft(), thumb);
    } else {
        painter.drawImage(QPoint(0, 0), m_disabled);
    }
}

void CPngHSliderBar::notify(int value) const {
    if (m_target) platform::postMessage(m_target, {kSliderNotify, static_cast<std::uintptr_t>(value), m_tag});
}

int CPngHSliderBar::valueAtEvent(const QMouseEvent* event) const {
    return geometryNow().valueAt(event->position().toPoint().x());
}

void CPngHSliderBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    setFocus();
    m_dragging = true;
    const int value = valueAtEvent(event);
    if (value != m_value) notify(value);
}

void CPngHSliderBar::mouseMoveEvent(QMouseEvent* event) {
    const bool hover = thumbRect().contains(event->position().toPoint());
    if (hover != m_thumbHover) {
        m_thumbHover = hover;
        update();
    }
    if (!m_dragging) return;
    const int value = valueAtEvent(event);
    if (value != m_value) notify(value);
}

void CPngHSliderBar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_dragging) return;
    m_dragging = false;
    notify(valueAtEvent(event));
}

void CPngHSliderBar::leaveEvent(QEvent*) {
    if (m_thumbHover) {
        m_thumbHover = false;
        update();
    }
}

SkinRecord CreateSkinSlider(CPngHSliderBar& slider, std::string_view section, std::string_view key,
                            const SkinContext& context, QWidget* parent, std::intptr_t tag, const ThumbPaths& thumbs,
                            bool thumbAtTop, int minimum, int maximum) {
    const SkinRecord record = ParseSkinRecord(GetSkinText(skinDocument(SkinDocument::Buttons), section, key));
    QImage normal, off, over;
    LoadPicture(thumbs.normal, normal);
    LoadPicture(thumbs.off, off);
    LoadPicture(thumbs.over, over);
    slider.setParent(parent);
    SetSkinKey(slider, key);
    slider.setTarget(parent, tag);
    const QRect rect(record.left, record.top, record.right - record.left, record.bottom - record.top);
    slider.setGeometry(rect);
    slider.setThumbs(normal, off, over, thumbAtTop);
    QImage track, fill, disabled;
    if (context.normal) CutPicture(track, *context.normal, record.left, record.top, record.right, record.bottom);
    if (context.down) CutPicture(fill, *context.down, record.left, record.top, record.right, record.bottom);
    if (context.disable) CutPicture(disabled, *context.disable, record.left, record.top, record.right, record.bottom);
    slider.setPictures(track, fill, disabled);
    slider.SetRange(minimum, maximum);
    slider.show();
    return record;
}

// ---- CSkinScrollBar

CSkinScrollBar::CSkinScrollBar(Qt::Orientation orientation, QWidget* parent)
    : platform::MessageWindow<QWidget>(parent), m_orientation(orientation) {
    MakeAccessible(*this);
}

void CSkinScrollBar::SetSkin(const QImage& grid) {
    m_grid = grid;
    m_cellWidth = grid.width() / 9;
    m_cellHeight = grid.height() / 3;
    if (m_orientation == Qt::Vertical)
        resize(m_cellWidth, height());
    else
        resize(width(), m_cellHeight);
    update();
}

void CSkinScrollBar::setRange(int minimum, int maximum, int page) {
    m_minimum = minimum;
    m_maximum = maximum;
    m_page = page;
    setPosition(m_position);
    update();
}

void CSkinScrollBar::setPosition(int position) {
    const int clamped = std::clamp(position, m_minimum, lastPosition());
    if (clamped == m_position) return;
    m_position = clamped;
    update();
    NotifyValueChanged(*this, m_position);
}

void CSkinScrollBar::setRepeatTimes(std::chrono::milliseconds delay, std::chrono::milliseconds interval) {
    m_repeatDelay = delay;
    m_repeatInterval = interval;
}

ScrollBarGeometry CSkinScrollBar::geometryNow() const {
    ScrollBarGeometry g;
    const bool vertical = m_orientation == Qt::Vertical;
    g.length = vertical ? height() : width();
    g.cellSize = vertical ? m_cellHeight : m_cellWidth;
    g.arrows = m_arrows;
    g.fixedThumb = m_fixedThumb;
    g.minimum = m_minimum;
    g.maximum = m_maximum;
    g.page = m_page;
    g.position = m_position;
    g.trackingPosition = m_tracking;
    return g;
}

void CSkinScrollBar::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_grid.isNull() || m_cellWidth == 0 || m_cellHeight == 0) return;
    const ScrollBarGeometry g = geometryNow();
    const bool vertical = m_orientation == Qt::Vertical;
    const int firstColumn = vertical ? 0 : 4;
    const auto cell = [&](int column, int row) {
        return QRect((firstColumn + column) * m_cellWidth, row * m_cellHeight, m_cellWidth, m_cellHeight);
    };
    const auto span = [&](int from, int length) {
        return vertical ? QRect(0, from, width(), length) : QRect(from, 0, length, height());
    };
    const auto rowOf = [&](ScrollHit part) { return m_held && *m_held == part ? 2 : 0; };
    painter.drawImage(span(g.arrowLength(), g.trackLength()), m_grid, cell(3, 0));
    if (g.arrows) {
        painter.drawImage(span(0, g.arrowLength()), m_grid, cell(0, rowOf(ScrollHit::LineUp)));
        painter.drawImage(span(g.length - g.arrowLength(), g.arrowLength()), m_grid,
                          cell(1, rowOf(ScrollHit::LineDown)));
    }
    const int thumb = g.thumbLength();
    if (thumb > 0) {
        // Ends kept, middle stretched.
        const QRect source = cell(2, rowOf(ScrollHit::Thumb));
        const int cap = std::min(thumb / 2, (vertical ? m_cellHeight : m_cellWidth) / 3);
        const int start = g.thumbStart();
        if (vertical) {
            painter.drawImage(QRect(0, start, width(), cap), m_grid,
                              QRect(source.left(), source.top(), source.width(), cap));
            painter.drawImage(QRect(0, start + cap, width(), thumb - 2 * cap), m_grid,
                              QRect(source.left(), source.top() + cap, source.width(), source.height() - 2 * cap));
            painter.drawImage(QRect(0, start + thumb - cap, width(), cap), m_grid,
                              QRect(source.left(), source.bottom() + 1 - cap, source.width(), cap));
        } else {
            painter.drawImage(QRect(start, 0, cap, height()), m_grid,
                              QRect(source.left(), source.top(), cap, source.height()));
            painter.drawImage(QRect(start + cap, 0, thumb - 2 * cap, height()), m_grid,
                              QRect(source.left() + cap, source.top(), source.width() - 2 * cap, source.height()));
            painter.drawImage(QRect(start + thumb - cap, 0, cap, height()), m_grid,
                              QRect(source.right() + 1 - cap, source.top(), cap, source.height()));
        }
    }
}

int CSkinScrollBar::along(const QPoint& point) const { return m_orientation == Qt::Vertical ? point.y() : point.x(); }

std::uintptr_t CSkinScrollBar::codeOf(ScrollHit hit) {
    switch (hit) {
    case ScrollHit::LineUp: return kLineUp;
    case ScrollHit::PageUp: return kPageUp;
    case ScrollHit::PageDown: return kPageDown;
    case ScrollHit::LineDown: return kLineDown;
    case ScrollHit::Thumb: break;
    }
    return kThumbTrack;
}

void CSkinScrollBar::send(std::uintptr_t code, int position) const {
    if (!m_target) return;
    platform::sendMessage(m_target, {m_orientation == Qt::Vertical ? kWmVScroll : kWmHScroll,
                                     makeWord(static_cast<unsigned>(code), static_cast<unsigned>(position)),
                                     reinterpret_cast<std::intptr_t>(this)});
}

void CSkinScrollBar::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton) return;
    m_lastPoint = event->position().toPoint();
    const ScrollBarGeometry g = geometryNow();
    const ScrollHit hit = g.hitTest(along(m_lastPoint));
    m_held = hit;
    if (hit == ScrollHit::Thumb) {
        m_tracking = m_position;
        m_dragOffset = along(m_lastPoint) - g.thumbStart();
    } else {
        send(codeOf(hit));
        setWindowTimer(kRepeatDelayTimer, m_repeatDelay);
    }
    update();
}

void CSkinScrollBar::mouseMoveEvent(QMouseEvent* event) {
    m_lastPoint = event->position().toPoint();
    if (!m_held || *m_held != ScrollHit::Thumb) return;
    const int position = geometryNow().positionForThumbStart(along(m_lastPoint) - m_dragOffset);
    if (position == m_tracking) return;
    m_tracking = position;
    send(kThumbTrack, position);
    update();
}

void CSkinScrollBar::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_held) return;
    killWindowTimer(kRepeatDelayTimer);
    killWindowTimer(kRepeatTimer);
    if (*m_held == ScrollHit::Thumb) send(kThumbPosition, m_tracking);
    m_held.reset();
    m_tracking = -1;
    update();
}

void CSkinScrollBar::onTimer(unsigned id) {
    if (id == kRepeatDelayTimer) {
        killWindowTimer(kRepeatDelayTimer);
        setWindowTimer(kRepeatTimer, m_repeatInterval);
    }
    // Repeats only while the cursor stays on the part that was pressed.
    if (m_held && *m_held != ScrollHit::Thumb && geometryNow().hitTest(along(m_lastPoint)) == *m_held)
        send(codeOf(*m_held));
}

// ---- CEditTrans

CEditTrans::CEditTrans(QWidget* parent) : QLineEdit(parent) {
    setFrame(false);
    MakeAccessible(*this);
    setColours(0xFFFFFF, -1);
    connect(this, &QLineEdit::textChanged, this, [this] { refreshParent(); });
    connect(this, &QLineEdit::editingFinished, this, [this] { refreshParent(); });
}

namespace {

// Text colour, and a solid or (background -1) see-through base, of an edit box.
void applyEditColours(QWidget& edit, std::uint32_t text, std::int64_t background) {
    QPalette palette = edit.palette();
    palette.setColor(QPalette::Text, ColorFromColorRef(text));
    palette.setColor(QPalette::Base, background < 0 ? QColor(Qt::transparent)
                                                    : ColorFromColorRef(static_cast<std::uint32_t>(background)));
    edit.setPalette(palette);
    edit.setAttribute(Qt::WA_TranslucentBackground, background < 0);
    edit.setAutoFillBackground(background >= 0);
}

}  // namespace

void CEditTrans::setColours(std::uint32_t text, std::int64_t background) { applyEditColours(*this, text, background); }

void CEditTrans::refreshParent() {
    if (QWidget* parent = parentWidget()) parent->update(geometry());
}

CEditTransMultiLine::CEditTransMultiLine(QWidget* parent) : QPlainTextEdit(parent) {
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setLineWrapMode(QPlainTextEdit::WidgetWidth);
    document()->setDocumentMargin(0);
    MakeAccessible(*this);
    setColours(0xFFFFFF, -1);
    connect(this, &QPlainTextEdit::textChanged, this, [this] { refreshParent(); });
}

void CEditTransMultiLine::setColours(std::uint32_t text, std::int64_t background) {
    applyEditColours(*this, text, background);
    viewport()->setAutoFillBackground(background >= 0);
}

void CEditTransMultiLine::SetText(const QString& text) {
    if (text == toPlainText()) return;
    setPlainText(text);
}

void CEditTransMultiLine::refreshParent() {
    if (QWidget* parent = parentWidget()) parent->update(geometry());
}

}  // namespace skin
