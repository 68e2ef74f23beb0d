#pragma once

#include "platform/Messages.h"
#include "skin/BaseDlg.h"
#include "skin/SkinGeometry.h"
#include "skin/SkinRecord.h"

#include <QImage>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPointer>
#include <QWidget>

#include <algorithm>
#include <chrono>
#include <string>

// The value slider, the skinned scroll bar and the transparent edit box.
namespace skin {

struct ThumbPaths {
    std::string normal;
    std::string off;
    std::string over;
};

class CPngHSliderBar : public platform::MessageWindow<QWidget> {
public:
    explicit CPngHSliderBar(QWidget* parent = nullptr);

    void SetValue(int value);
    // Asks the target for a value within the range, as a drag to it does; the
    // target sets it.
    void RequestValue(int value);
    void SetRange(int minimum, int maximum);
    int value() const { return m_value; }
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    SliderGeometry geometryNow() const;
    void setTarget(QWidget* target, std::intptr_t tag) {
        m_target = target;
        m_tag = tag;
    }
    void setPictures(const QImage& track, const QImage& fill, const QImage& disabled);
    void setThumbs(const QImage& normal, const QImage& off, const QImage& over, bool atTop);
    bool thumbHover() const { return m_thumbHover; }
    void forceThumbHover(bool hover) {
        m_thumbHover = hover;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void leaveEvent(QEvent*) override;

private:
    void notify(int value) const;
    int valueAtEvent(const QMouseEvent* event) const;
    QRect thumbRect() const;

    QPointer<QWidget> m_target;
    std::intptr_t m_tag = 0;
    QImage m_track, m_fill, m_disabled;
    QImage m_thumbNormal, m_thumbOff, m_thumbOver;
    bool m_thumbAtTop = false;
    int m_minimum = 0;
    int m_maximum = 10;
    int m_value = 0;
    bool m_thumbHover = false;
    bool m_dragging = false;
};

// Creates `slider` at the record section / key with its thumbs and the track,
// fill and disabled pictures cut from the context; the record, for callers.
SkinRecord CreateSkinSlider(CPngHSliderBar& slider, std::string_view section, std::string_view key,
                            const SkinContext& context, QWidget* parent, std::intptr_t tag, const ThumbPaths& thumbs,
                            bool thumbAtTop, int minimum, int maximum);

class CSkinScrollBar : public platform::MessageWindow<QWidget> {
public:
    CSkinScrollBar(Qt::Orientation orientation, QWidget* parent = nullptr);

    // The grid picture: 9 columns, 3 rows; the bar takes one cell's thickness.
    void SetSkin(const QImage& grid);
    void setRange(int minimum, int maximum, int page);
    void setPosition(int position);
    void setTarget(QWidget* target) { m_target = target; }
    void setArrows(bool arrows) {
        m_arrows = arrows;
        update();
    }
    void setFixedThumb(bool fixed) {
        m_fixedThumb = fixed;
        update();
    }
    // The first repeat comes after `delay`, the next ones every `interval`.
    void setRepeatTimes(std::chrono::milliseconds delay, std::chrono::milliseconds interval);
    int position() const { return m_position; }
    int page() const { return m_page; }
    int minimum() const { return m_minimum; }
    int maximum() const { return m_maximum; }
    // The highest position: the last page shows the last item.
    int lastPosition() const { return std::max(m_minimum, m_maximum - std::max(0, m_page - 1)); }
    ScrollBarGeometry geometryNow() const;
    int cellWidth() const { return m_cellWidth; }

protected:
    void paintEvent(QPaintEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void onTimer(unsigned id) override;

private:
    int along(const QPoint& point) const;
    void send(std::uintptr_t code, int position = 0) const;
    static std::uintptr_t codeOf(ScrollHit hit);

    Qt::Orientation m_orientation;
    QPointer<QWidget> m_target;
    QImage m_grid;
    int m_cellWidth = 0;
    int m_cellHeight = 0;
    int m_minimum = 0, m_maximum = 0, m_page = 0, m_position = 0;
    int m_tracking = -1;
    int m_dragOffset = 0;
    bool m_arrows = true;
    bool m_fixedThumb = false;
    std::optional<ScrollHit> m_held;
    QPoint m_lastPoint;
    std::chrono::milliseconds m_repeatDelay{500};
    std::chrono::milliseconds m_repeatInterval{100};
};

// An edit box whose background shows through (background -1) or is solid.
class CEditTrans : public QLineEdit {
public:
    explicit CEditTrans(QWidget* parent = nullptr);
    void setColours(std::uint32_t text, std::int64_t background);

private:
    void refreshParent();
};

// The multi-line form: the text wraps, the background shows through, and the
// owner's text is shown read-only when `readOnly` (output fields).
class CEditTransMultiLine : public QPlainTextEdit {
public:
    explicit CEditTransMultiLine(QWidget* parent = nullptr);
    void setColours(std::uint32_t text, std::int64_t background);
    void SetText(const QString& text);
    QString text() const { return toPlainText(); }

private:
    void refreshParent();
};

}  // namespace skin
