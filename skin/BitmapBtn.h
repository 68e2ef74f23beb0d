#pragma once

#include "platform/Messages.h"
#include "skin/BaseDlg.h"
#include "skin/SkinGeometry.h"
#include "skin/SkinRecord.h"

#include <QImage>
#include <QWidget>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

// The skinned push button and its list and colour-swatch variants.
namespace skin {

enum ButtonAlignment : int {
    kAlignCenter = 0x1,
    kAlignRight = 0x2,
    kAlignWrap = 0x10,
};

class CBitmapBtn : public platform::MessageWindow<QWidget> {
public:
    explicit CBitmapBtn(QWidget* parent = nullptr);

    // Cuts the four state pictures out of the sources at `rect`; the normal
    // source is required.
    void CutStatePictures(const QImage* normal, const QImage* over, const QImage* down, const QImage* disable,
                          const QRect& rect);
    // The shape picture's non-white pixels clip the button; false (after the
    // "error" box) when it yields no region.
    bool SetShapeFromFile(const std::string& path);
    void SetCaption(const std::string& text, int offset, bool anchoredLeft);
    void SetFaceName(const std::string& face) {
        m_face = face;
        update();
    }
    void SetChecked(bool checked);
    void SetTooltip(const std::string& text);
    // Shown instead of the down picture while the button is checked (marked),
    // as the device lists mark the current device; null: the down picture.
    void setHighlightPicture(const QImage& picture) {
        m_highlight = picture;
        update();
    }

    void setFontHeight(int height) {
        m_fontHeight = height;
        m_fontWidth = 0;
        update();
    }
    void setFontWeight(int weight) {
        m_weight = weight;
        update();
    }
    void setAlignment(int flags) {
        m_alignment = flags;
        update();
    }
    void setTextRect(const QRect& rect) {
        m_textRect = rect;
        update();
    }
    void setColours(std::uint32_t normal, std::uint32_t over, std::uint32_t disabled, std::uint32_t down);
    void setToggle(bool toggle) { m_toggle = toggle; }
    void setInverted(bool inverted) {
        m_inverted = inverted;
        update();
    }
    void setPressShift(bool shift) { m_pressShift = shift; }
    void setFocusOnHover(bool focus) { m_focusOnHover = focus; }
    void setBorder(bool border) {
        m_border = border;
        update();
    }
    void setAutoRepeat(bool repeat, std::chrono::milliseconds interval = std::chrono::milliseconds(100));
    // Nimbrel's buttons: its own picture table, a grey disabled caption, and
    // the composed picture drawn one pixel lower without its pure white pixels.
    void setNimbrelStyle(bool nimbrel);
    // What a click with the mouse does: a toggle flips, a push button reports
    // the click. Screen readers press buttons through it.
    void ClickFromAssistant();

    bool isChecked() const { return m_checked; }
    bool isToggle() const { return m_toggle; }
    bool isHover() const { return m_hover; }
    bool isPressed() const { return m_pressed; }
    const std::string& caption() const { return m_caption; }
    int fontHeight() const { return m_fontHeight; }
    const std::string& faceName() const { return m_face; }
    ButtonLook currentLook() const;
    const QImage& statePicture(ButtonPicture which) const;
    std::uint32_t colourOf(ButtonColour which) const;

    // Test and gallery hook: shows the button as hovered or pressed.
    void forceState(bool hover, bool pressed);

protected:
    // Composes picture and caption as the button shows them now.
    virtual QImage compose() const;
    // The picture of a look: the highlight picture for a checked button's down look.
    const QImage& pictureOf(const ButtonLook& look) const;
    void drawCaption(QPainter& painter, std::uint32_t colour) const;
    void notifyParent(unsigned message, std::uintptr_t wParam, bool post) const;

    void paintEvent(QPaintEvent*) override;
    void enterEvent(QEnterEvent*) override;
    void leaveEvent(QEvent*) override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void mouseDoubleClickEvent(QMouseEvent*) override;
    void keyPressEvent(QKeyEvent*) override;
    void keyReleaseEvent(QKeyEvent*) override;
    void changeEvent(QEvent*) override;
    void focusOutEvent(QFocusEvent*) override;
    void onTimer(unsigned id) override;
    void setHover(bool hover);

    QImage m_normal, m_over, m_down, m_disable, m_shape, m_highlight;
    std::string m_caption;
    std::string m_face;
    int m_fontHeight = 14;
    int m_fontWidth = 0;
    int m_weight = 500;
    int m_alignment = kAlignCenter;
    int m_textOffset = 0;
    bool m_anchoredLeft = true;
    std::optional<QRect> m_textRect;
    std::uint32_t m_normalColour = 0xFFFFFF, m_overColour = 0xFFFFFF, m_disabledColour = 0x272727,
                  m_downColour = 0x0000FF;
    bool m_toggle = false;
    bool m_checked = false;
    bool m_hover = false;
    bool m_pressed = false;
    bool m_leftHeld = false;
    bool m_inverted = false;
    bool m_pressShift = false;
    bool m_focusOnHover = false;
    bool m_border = false;
    bool m_autoRepeat = false;
    bool m_nimbrel = false;
    std::chrono::milliseconds m_repeatInterval{100};
};

// Reads the record section / key of Buttons.xml, creates the button from it
// and, with `withCaption`, gives it the caption of Strings.xml and the
// record's OFFSETX, FONT and SIZE. fontHeight -1 keeps the button's own.
SkinRecord CreateSkinButton(CBitmapBtn& button, std::string_view section, std::string_view key,
                            const SkinContext& context, QWidget* parent, bool withCaption, int alignment,
                            int textOffset, int fontHeight);
void CreateButtonFromRecord(const SkinContext& context, CBitmapBtn& button, const SkinRecord& record, QWidget* parent);
// Makes the button `handle` the only checked one; its index, or -1.
int CheckOneOfGroup(CBitmapBtn* const* buttons, int count, const QWidget* handle);

// A button with a row of item pictures inside it.
class CBitmapListBtn : public CBitmapBtn {
public:
    using CBitmapBtn::CBitmapBtn;

    struct Item {
        QRect rect;
        QImage normal;
        QImage hover;
        bool hovered = false;
    };
    void setItems(std::vector<Item> items);
    const std::vector<Item>& items() const { return m_items; }
    void setHoverPicture(const QImage& picture) { m_over = picture; }
    // Option bit 0: item 0 shows the special picture; bit 4: an item shows its
    // hover picture while the cursor is inside it.
    void setItemOptions(int options, const QImage& specialPicture);
    // Up to three icons drawn at one place; bits 0 to 2 of the mask select
    // them, and a fill colour (-1 none) covers the icon's inside.
    void setIcons(std::vector<QImage> icons, QPoint position);
    void setIconSelection(int mask, std::int64_t fillColour);
    // A number drawn with the caption font, moved by the offset; -1 hides it.
    void setBadge(int number, QPoint offset);
    // A picture over everything, its black pixels transparent.
    void setOverlay(const QImage& overlay, QPoint position);
    const QImage& overlay() const { return m_overlay; }

protected:
    QImage compose() const override;
    void mouseMoveEvent(QMouseEvent*) override;
    void mousePressEvent(QMouseEvent*) override;
    void mouseReleaseEvent(QMouseEvent*) override;
    void leaveEvent(QEvent*) override;
    void wheelEvent(QWheelEvent*) override;

private:
    int itemAt(const QPoint& point) const;
    int iconAt(const QPoint& point) const;
    std::vector<Item> m_items;
    int m_options = 0;
    QImage m_special;
    std::vector<QImage> m_icons;
    QPoint m_iconPosition;
    int m_iconMask = 0;
    std::int64_t m_iconFill = -1;
    int m_badge = -1;
    QPoint m_badgeOffset;
    QImage m_overlay;
    QPoint m_overlayPosition;
    QPoint m_cursor{-1, -1};
};

// A button that shows a colour swatch tinted from a template picture.
class CColorBtn : public CBitmapBtn {
public:
    using CBitmapBtn::CBitmapBtn;

    // Cuts the template from `source` at the button's rectangle `rect`.
    void setSwatchTemplate(const QImage& source, const QRect& rect, const QPoint& position);
    void SetSwatchColor(int red, int green, int blue);
    std::uint32_t swatchColour() const { return m_colour; }
    const QImage& tintedSwatch() const { return m_tinted; }
    // The caption turns grey on a light swatch so that it stays readable.
    static bool CaptionGreyOn(int red, int green, int blue) { return red > 220 && green > 220 && blue > 220; }

protected:
    QImage compose() const override;

private:
    QImage m_template;
    QImage m_tinted;
    QPoint m_position;
    std::uint32_t m_colour = 0;
    bool m_tintedOnce = false;
};

}  // namespace skin
