#include "skin/BitmapBtn.h"

#include "skin/Accessibility.h"
#include "skin/MessageBox.h"
#include "skin/SkinDocuments.h"
#include "skin/SkinMessages.h"
#include "skin/SkinPicture.h"
#include "skin/SkinText.h"

#include <QCursor>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QWheelEvent>

namespace skin {

CBitmapBtn::CBitmapBtn(QWidget* parent) : platform::MessageWindow<QWidget>(parent) {
    setMouseTracking(true);
    setAttribute(Qt::WA_OpaquePaintEvent, false);
    setFocusPolicy(Qt::NoFocus);
    MakeAccessible(*this);
    // Every button takes the global caption face and size; a strings document
    // not loaded yet is loaded here.
    xml::CXmlDoc& strings = skinDocument(SkinDocument::Strings);
    if (strings.Text().empty() && strings.LoadFile(skinProgramFolder() + "Strings.xml")) strings.Parse();
    const std::string face = GetSkinText(strings, "GLOBAL", "FONT");
    const std::string size = GetSkinText(strings, "GLOBAL", "FONT_SIZE");
    if (!face.empty()) m_face = face;
    if (!size.empty()) m_fontHeight = leadingInteger(size);
}

void CBitmapBtn::CutStatePictures(const QImage* normal, const QImage* over, const QImage* down, const QImage* disable,
                                  const QRect& rect) {
    const auto cut = [&](QImage& target, const QImage* source) {
        if (source) CutPicture(target, *source, rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1);
    };
    cut(m_normal, normal);
    cut(m_over, over);
    cut(m_down, down);
    cut(m_disable, disable);
    update();
}

bool CBitmapBtn::SetShapeFromFile(const std::string& path) {
    LoadPicture(path, m_shape);
    const std::optional<QRegion> region = RegionFromPicture(m_shape);
    if (!region) {
        ShowMessageBox(this, "error");
        return false;
    }
    setMask(*region);
    update();
    return true;
}

void CBitmapBtn::SetCaption(const std::string& text, int offset, bool anchoredLeft) {
    if (text == m_caption && offset == m_textOffset && anchoredLeft == m_anchoredLeft) return;
    m_caption = text;
    m_textOffset = offset;
    m_anchoredLeft = anchoredLeft;
    update();
    NotifyNameChanged(*this);
}

void CBitmapBtn::SetChecked(bool checked) {
    if (checked == m_checked) return;
    m_checked = checked;
    update();
    NotifyCheckedChanged(*this);
}

void CBitmapBtn::SetTooltip(const std::string& text) { setToolTip(QString::fromStdString(text)); }

void CBitmapBtn::setColours(std::uint32_t normal, std::uint32_t over, std::uint32_t disabled, std::uint32_t down) {
    m_normalColour = normal;
    m_overColour = over;
    m_disabledColour = disabled;
    m_downColour = down;
    update();
}

void CBitmapBtn::setAutoRepeat(bool repeat, std::chrono::milliseconds interval) {
    m_autoRepeat = repeat;
    m_repeatInterval = interval;
}

void CBitmapBtn::setNimbrelStyle(bool nimbrel) {
    m_nimbrel = nimbrel;
    if (nimbrel) setColours(0xFFFFFF, 0xFFFFFF, 0x808080, 0xFFFFFF);
    update();
}

ButtonLook CBitmapBtn::currentLook() const {
    const ButtonState state{m_toggle, m_inverted, m_checked, m_hover, m_pressed, !isEnabled()};
    return m_nimbrel ? ChooseNimbrelButtonLook(state) : ChooseButtonLook(state);
}

const QImage& CBitmapBtn::statePicture(ButtonPicture which) const {
    switch (which) {
    case ButtonPicture::Over: return m_over;
    case ButtonPicture::Down: return m_down;
    case ButtonPicture::Disable: return m_disable;
    case ButtonPicture::Normal: break;
    }
    return m_normal;
}

std::uint32_t CBitmapBtn::colourOf(ButtonColour which) const {
    switch (which) {
    case ButtonColour::Over: return m_overColour;
    case ButtonColour::Down: return m_downColour;
    case ButtonColour::Disabled: return m_disabledColour;
    case ButtonColour::Normal: break;
    }
    return m_normalColour;
}

void CBitmapBtn::forceState(bool hover, bool pressed) {
    m_hover = hover;
    m_pressed = pressed;
    update();
}

void CBitmapBtn::drawCaption(QPainter& painter, std::uint32_t colour) const {
    if (m_caption.empty()) return;
    QRect rect = m_textRect.value_or(QRect(QPoint(0, 0), size()));
    if (!m_textRect) {
        if (m_anchoredLeft)
            rect.setLeft(rect.left() + m_textOffset);
        else
            rect.setRight(rect.right() - m_textOffset);
    }
    painter.setFont(SkinFontOf(m_face, m_fontHeight, m_weight));
    painter.setPen(ColorFromColorRef(colour));
    int format = kTextEndEllipsis | kTextVCenter;
    format |= (m_alignment & kAlignWrap) ? kTextWordBreak : kTextSingleLine;
    if (m_alignment & kAlignCenter)
        format |= kTextCenter;
    else if (m_alignment & kAlignRight)
        format |= kTextRight;
    DrawFormattedText(painter, rect, QString::fromStdString(ReplaceLineBreakMarks(m_caption)), format);
}

const QImage& CBitmapBtn::pictureOf(const ButtonLook& look) const {
    if (m_checked && look.picture == ButtonPicture::Down && !m_highlight.isNull()) return m_highlight;
    return statePicture(look.picture);
}

QImage CBitmapBtn::compose() const {
    const ButtonLook look = currentLook();
    QImage canvas(size(), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.drawImage(QPoint(0, 0), pictureOf(look));
    if (m_border) {
        painter.setPen(ColorFromColorRef(0x4A4A4A));
        painter.drawRect(0, 0, width() - 1, height() - 1);
    }
    drawCaption(painter, colourOf(look.colour));
    return canvas;
}

void CBitmapBtn::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    QImage composed = compose();
    if (m_nimbrel && !m_caption.empty()) {
        // Pure white is left out, so the window's background shows there.
        for (int y = 0; y < composed.height(); ++y) {
            auto* row = reinterpret_cast<QRgb*>(composed.scanLine(y));
            for (int x = 0; x < composed.width(); ++x)
                if ((row[x] & 0xFFFFFF) == 0xFFFFFF) row[x] = 0;
        }
        painter.drawImage(QPoint(0, 1), composed);
        return;
    }
    painter.drawImage(QPoint(0, m_pressShift && m_pressed ? 1 : 0), composed);
}

void CBitmapBtn::notifyParent(unsigned message, std::uintptr_t wParam, bool post) const {
    QWidget* parent = parentWidget();
    if (!parent) return;
    const platform::WindowMessage m{message, wParam, reinterpret_cast<std::intptr_t>(this)};
    if (post)
        platform::postMessage(parent, m);
    else
        platform::sendMessage(parent, m);
}

void CBitmapBtn::setHover(bool hover) {
    if (hover == m_hover) return;
    m_hover = hover;
    if (hover && m_focusOnHover) setFocus();
    update();
}

void CBitmapBtn::enterEvent(QEnterEvent*) {
    if (!m_leftHeld) setHover(true);
}

void CBitmapBtn::leaveEvent(QEvent*) { setHover(false); }

void CBitmapBtn::mouseMoveEvent(QMouseEvent* event) {
    const bool inside = rect().contains(event->position().toPoint());
    if (inside) {
        if (!m_hover && !(event->buttons() & Qt::LeftButton)) setHover(true);
    } else {
        // Leaving clears the hover look even while the left button is held.
        setHover(false);
    }
    if (m_leftHeld && inside != m_pressed) {
        m_pressed = inside;
        update();
    }
    if (QWidget* parent = parentWidget()) {
        const QPoint at = mapTo(parent, event->position().toPoint());
        platform::postMessage(parent, {kWmMouseMove, static_cast<std::uintptr_t>(event->buttons()),
                                       static_cast<std::intptr_t>(makeWord(at.x(), at.y()))});
    }
}

void CBitmapBtn::mousePressEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton) {
        notifyParent(kWmCommand, makeWord(0, kRightButtonCode), false);
        return;
    }
    if (event->button() == Qt::MiddleButton) {
        notifyParent(kWmCommand, makeWord(0, kMiddleButtonCode), false);
        return;
    }
    if (event->button() != Qt::LeftButton) return;
    if (QWidget* top = window(); top && !top->isActiveWindow()) top->activateWindow();
    if (m_autoRepeat) setWindowTimer(kAutoRepeatTimer, m_repeatInterval);
    m_leftHeld = true;
    m_pressed = true;
    update();
}

void CBitmapBtn::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !m_leftHeld) return;
    killWindowTimer(kAutoRepeatTimer);
    const bool inside = rect().contains(event->position().toPoint());
    m_leftHeld = false;
    m_pressed = false;
    if (!inside) setHover(false);
    update();
    if (m_toggle || inside) ClickFromAssistant();
}

void CBitmapBtn::ClickFromAssistant() {
    if (!isEnabled()) return;
    if (m_toggle) {
        m_checked = !m_checked;
        update();
        NotifyCheckedChanged(*this);
        notifyParent(kWmCommand, kToggleReleased, false);
        return;
    }
    notifyParent(kWmCommand, makeWord(0, kBnClicked), false);
}

// A double click counts as a second press, so rapid clicks are separate
// presses; push buttons also tell their parent about it.
void CBitmapBtn::mouseDoubleClickEvent(QMouseEvent* event) {
    mousePressEvent(event);
    if (event->button() == Qt::LeftButton && !m_toggle) notifyParent(kWmCommand, makeWord(0, kBnDoubleClicked), false);
}

void CBitmapBtn::keyPressEvent(QKeyEvent* event) { event->accept(); }
void CBitmapBtn::keyReleaseEvent(QKeyEvent* event) { event->accept(); }

void CBitmapBtn::changeEvent(QEvent* event) {
    if (event->type() == QEvent::EnabledChange) update();
    QWidget::changeEvent(event);
}

// Losing the focus clears the hover look once the cursor has left.
void CBitmapBtn::focusOutEvent(QFocusEvent* event) {
    if (!rect().contains(mapFromGlobal(QCursor::pos()))) setHover(false);
    QWidget::focusOutEvent(event);
}

void CBitmapBtn::onTimer(unsigned id) {
    if (id == kAutoRepeatTimer) notifyParent(kWmCommand, kAutoRepeatTick, true);
}

void CreateButtonFromRecord(const SkinContext& context, CBitmapBtn& button, const SkinRecord& record, QWidget* parent) {
    const QRect rect(record.left + context.offsetX, record.top + context.offsetY, record.right - record.left,
                     record.bottom - record.top);
    button.setParent(parent);
    button.setGeometry(rect);
    const QRect cut = context.standalone ? QRect(0, 0, rect.width(), rect.height()) : rect;
    if (context.normal && !context.normal->isNull())
        button.CutStatePictures(context.normal, context.over, context.down, context.disable, cut);
    button.setToggle(record.flag != 0);
    button.show();
}

SkinRecord CreateSkinButton(CBitmapBtn& button, std::string_view section, std::string_view key,
                            const SkinContext& context, QWidget* parent, bool withCaption, int alignment,
                            int textOffset, int fontHeight) {
    xml::CXmlDoc& buttons = skinDocument(SkinDocument::Buttons);
    const SkinRecord record = ParseSkinRecord(GetSkinText(buttons, section, key));
    CreateButtonFromRecord(context, button, record, parent);
    SetSkinKey(button, key);
    const std::string size = GetSkinAttribute(buttons, section, key, "SIZE");
    if (withCaption) {
        const std::string offset = GetSkinAttribute(buttons, section, key, "OFFSETX");
        if (!offset.empty()) textOffset = leadingInteger(offset);
        const std::string face = GetSkinAttribute(buttons, section, key, "FONT");
        if (!face.empty()) button.SetFaceName(face);
        button.SetCaption(GetSkinText(skinDocument(SkinDocument::Strings), section, key), textOffset, true);
    }
    button.setAlignment(alignment);
    if (fontHeight != -1)
        button.setFontHeight(fontHeight);
    else if (withCaption && !size.empty())
        button.setFontHeight(leadingInteger(size));
    return record;
}

int CheckOneOfGroup(CBitmapBtn* const* buttons, int count, const QWidget* handle) {
    int found = -1;
    for (int i = 0; i < count; ++i)
        if (buttons[i] == handle) found = i;
    if (found < 0) return -1;
    for (int i = 0; i < count; ++i) buttons[i]->SetChecked(i == found);
    return found;
}

// ---- CBitmapListBtn

void CBitmapListBtn::setItems(std::vector<Item> items) {
    m_items = std::move(items);
    update();
}

void CBitmapListBtn::setItemOptions(int options, const QImage& specialPicture) {
    m_options = options;
    m_special = specialPicture;
    update();
}

void CBitmapListBtn::setIcons(std::vector<QImage> icons, QPoint position) {
    m_icons = std::move(icons);
    m_iconPosition = position;
    update();
}

void CBitmapListBtn::setIconSelection(int mask, std::int64_t fillColour) {
    m_iconMask = mask;
    m_iconFill = fillColour;
    update();
}

void CBitmapListBtn::setBadge(int number, QPoint offset) {
    m_badge = number;
    m_badgeOffset = offset;
    update();
}

void CBitmapListBtn::setOverlay(const QImage& overlay, QPoint position) {
    // Black is the transparent colour of the overlay.
    m_overlay = QImage(overlay.size(), QImage::Format_ARGB32_Premultiplied);
    for (int y = 0; y < overlay.height(); ++y)
        for (int x = 0; x < overlay.width(); ++x) {
            const QRgb pixel = overlay.pixel(x, y);
            m_overlay.setPixel(x, y, (pixel & 0xFFFFFF) == 0 ? 0u : (pixel | 0xFF000000u));
        }
    m_overlayPosition = position;
    update();
}

int CBitmapListBtn::iconAt(const QPoint& point) const {
    for (std::size_t i = 0; i < m_icons.size() && i < 3; ++i)
        if ((m_iconMask >> i) & 1)
            if (QRect(m_iconPosition, m_icons[i].size()).contains(point)) return static_cast<int>(i);
    return -1;
}

int CBitmapListBtn::itemAt(const QPoint& point) const {
    for (std::size_t i = 0; i < m_items.size(); ++i)
        if (m_items[i].rect.contains(point)) return static_cast<int>(i);
    return -1;
}

QImage CBitmapListBtn::compose() const {
    const ButtonLook look = currentLook();
    const QImage& chosen = pictureOf(look);
    QImage canvas(size(), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.drawImage(QPoint(0, 0), chosen.isNull() ? m_normal : chosen);
    for (std::size_t i = 0; i < m_icons.size() && i < 3; ++i) {
        if (!((m_iconMask >> i) & 1)) continue;
        const QImage& icon = m_icons[i];
        painter.drawImage(m_iconPosition, icon);
        if (m_iconFill >= 0)
            painter.fillRect(QRect(QPoint(m_iconPosition.x() + 1, m_iconPosition.y() + 1),
                                   QPoint(m_iconPosition.x() + icon.width() - 3,
                                          m_iconPosition.y() + icon.height() - 2)),
                             ColorFromColorRef(static_cast<std::uint32_t>(m_iconFill)));
    }
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        const Item& item = m_items[i];
        const bool hovered = item.hovered || ((m_options & 0x10) && item.rect.contains(m_cursor));
        const QImage& base = i == 0 && (m_options & 1) && !m_special.isNull() ? m_special : item.normal;
        const QImage& picture = hovered && !item.hover.isNull() ? item.hover : base;
        if (picture.isNull()) continue;
        const QPoint at = item.rect.center() + QPoint(1, 1) - QPoint(picture.width() / 2, picture.height() / 2);
        painter.drawImage(at, picture);
    }
    if (m_badge >= 0) {
        painter.setFont(SkinFontOf(m_face, m_fontHeight, m_weight));
        painter.setPen(ColorFromColorRef(colourOf(look.colour)));
        DrawFormattedText(painter, rect().translated(m_badgeOffset), QString::number(m_badge),
                          kTextLeft | kTextSingleLine | kTextVCenter);
    }
    drawCaption(painter, colourOf(look.colour));
    if (!m_overlay.isNull()) painter.drawImage(m_overlayPosition, m_overlay);
    return canvas;
}

void CBitmapListBtn::mousePressEvent(QMouseEvent* event) {
    // A click on a visible icon is a command of its own, not a press.
    if (event->button() == Qt::LeftButton && iconAt(event->position().toPoint()) >= 0) {
        notifyParent(kWmCommand, makeWord(0, kListItemCode), false);
        return;
    }
    CBitmapBtn::mousePressEvent(event);
}

void CBitmapListBtn::mouseMoveEvent(QMouseEvent* event) {
    m_cursor = event->position().toPoint();
    const int hovered = itemAt(event->position().toPoint());
    for (std::size_t i = 0; i < m_items.size(); ++i) {
        const bool now = static_cast<int>(i) == hovered;
        if (m_items[i].hovered != now) {
            m_items[i].hovered = now;
            update(m_items[i].rect);
        }
    }
    CBitmapBtn::mouseMoveEvent(event);
}

void CBitmapListBtn::mouseReleaseEvent(QMouseEvent* event) {
    const int item = itemAt(event->position().toPoint());
    if (event->button() == Qt::LeftButton && item >= 0 && parentWidget())
        platform::postMessage(parentWidget(), {kWmCommand, makeWord(static_cast<unsigned>(item + 1), kListItemCode),
                                               reinterpret_cast<std::intptr_t>(this)});
    CBitmapBtn::mouseReleaseEvent(event);
}

void CBitmapListBtn::leaveEvent(QEvent* event) {
    m_cursor = QPoint(-1, -1);
    for (Item& item : m_items) item.hovered = false;
    CBitmapBtn::leaveEvent(event);
}

void CBitmapListBtn::wheelEvent(QWheelEvent* event) {
    if (QWidget* parent = parentWidget())
        platform::postMessage(parent, {kWmVScroll, event->angleDelta().y() > 0 ? kLineUp : kLineDown,
                                       reinterpret_cast<std::intptr_t>(this)});
    event->accept();
}

// ---- CColorBtn

void CColorBtn::setSwatchTemplate(const QImage& source, const QRect& rect, const QPoint& position) {
    CutPicture(m_template, source, rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1);
    m_position = position;
    m_tintedOnce = false;
}

void CColorBtn::SetSwatchColor(int red, int green, int blue) {
    const std::uint32_t colour = static_cast<std::uint32_t>(red | (green << 8) | (blue << 16));
    if (colour == m_colour && m_tintedOnce) return;
    m_colour = colour;
    m_tinted = TintSwatch(m_template, red, green, blue);
    m_tintedOnce = true;
    update();
}

QImage CColorBtn::compose() const {
    // The swatch button picks its picture as a push button does.
    ButtonPicture picture = ButtonPicture::Normal;
    ButtonColour colour = ButtonColour::Normal;
    if (m_checked || m_pressed) {
        picture = ButtonPicture::Down;
        colour = ButtonColour::Down;
    } else if (m_hover) {
        picture = ButtonPicture::Over;
        colour = ButtonColour::Over;
    } else if (!isEnabled()) {
        picture = ButtonPicture::Disable;
        colour = ButtonColour::Disabled;
    }
    QImage canvas(size(), QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    painter.drawImage(QPoint(0, 0), statePicture(picture));
    painter.drawImage(m_position, m_tinted);
    const int red = static_cast<int>(m_colour & 0xFF), green = static_cast<int>((m_colour >> 8) & 0xFF),
              blue = static_cast<int>((m_colour >> 16) & 0xFF);
    drawCaption(painter, CaptionGreyOn(red, green, blue) ? 0xAAAAAA : colourOf(colour));
    return canvas;
}

}  // namespace skin
