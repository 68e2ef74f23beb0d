#include "skin/BtnMenu.h"

#include "skin/Accessibility.h"
#include "skin/SkinGeometry.h"
#include "skin/SkinMessages.h"
#include "skin/SkinPicture.h"

#include <QPainter>
#include <QScreen>

namespace skin {

QImage DefaultScrollBarGrid(int cellSize) {
    QImage grid(9 * cellSize, 3 * cellSize, QImage::Format_ARGB32_Premultiplied);
    grid.fill(QColor(0x26, 0x28, 0x2C));
    QPainter painter(&grid);
    painter.setRenderHint(QPainter::Antialiasing);
    const QColor looks[3] = {QColor(0x5A, 0x5F, 0x68), QColor(0x7A, 0x80, 0x8A), QColor(0x2F, 0xB8, 0xE0)};
    for (int row = 0; row < 3; ++row) {
        for (int block = 0; block < 2; ++block) {
            const bool vertical = block == 0;
            const int base = block * 4;
            const QRectF thumb((base + 2) * cellSize + 3, row * cellSize + 3, cellSize - 6, cellSize - 6);
            painter.setPen(Qt::NoPen);
            painter.setBrush(looks[row]);
            painter.drawRoundedRect(thumb, cellSize / 4.0, cellSize / 4.0);
            for (int arrow = 0; arrow < 2; ++arrow) {
                const QPointF c((base + arrow) * cellSize + cellSize / 2.0, row * cellSize + cellSize / 2.0);
                const double r = cellSize / 5.0;
                const double dir = arrow == 0 ? -1 : 1;
                QPolygonF shape;
                if (vertical)
                    shape << QPointF(c.x() - r, c.y() - dir * r / 2) << QPointF(c.x() + r, c.y() - dir * r / 2)
                          << QPointF(c.x(), c.y() + dir * r / 2);
                else
                    shape << QPointF(c.x() - dir * r / 2, c.y() - r) << QPointF(c.x() - dir * r / 2, c.y() + r)
                          << QPointF(c.x() + dir * r / 2, c.y());
                painter.drawPolygon(shape);
            }
        }
    }
    return grid;
}

QImage MenuRowBitmap(int id, int size) {
    if (id != kSubmenuArrowBitmap || size <= 0) return {};
    QImage arrow(size, size, QImage::Format_RGB32);
    arrow.fill(Qt::black);
    QPainter painter(&arrow);
    painter.setRenderHint(QPainter::Antialiasing, false);
    painter.setPen(Qt::NoPen);
    painter.setBrush(Qt::white);
    const double third = size / 3.0;
    painter.drawPolygon(
        QPolygonF{QPointF(third, third / 2), QPointF(2 * third, size / 2.0), QPointF(third, size - third / 2)});
    return arrow;
}

CBtnMenu::CBtnMenu(QWidget* owner, std::vector<BMPMENUINFO> items, int levelIndex, CBtnMenu* parentMenu)
    : platform::MessageWindow<QWidget>(owner, Qt::Tool | Qt::FramelessWindowHint),
      m_owner(owner),
      m_parentMenu(parentMenu),
      m_items(std::move(items)),
      m_level(levelIndex) {
    MakeAccessible(*this);
}

CBtnMenu::~CBtnMenu() = default;

void CBtnMenu::SetPictures(const std::string& normal, const std::string& over, const std::string& down,
                           const std::string& disable, const std::string& shape, bool standalone) {
    LoadPicture(normal, m_normal);
    LoadPicture(over, m_over);
    LoadPicture(down, m_down);
    LoadPicture(disable, m_disable);
    if (!shape.empty()) LoadPicture(shape, m_shape);
    m_standalone = standalone;
}

void CBtnMenu::setPictureImages(const QImage& normal, const QImage& over, const QImage& down, const QImage& disable,
                                bool standalone) {
    m_normal = normal;
    m_over = over;
    m_down = down;
    m_disable = disable;
    m_standalone = standalone;
}

void CBtnMenu::setMessageNumbers(unsigned click, unsigned doubleClick, unsigned part) {
    m_clickMessage = click;
    m_doubleClickMessage = doubleClick;
    m_partMessage = part;
}

void CBtnMenu::setItems(std::vector<BMPMENUINFO> items) {
    m_items = std::move(items);
    if (!m_rowButtons.empty()) SetVisibleCount(m_rows);
}

unsigned CBtnMenu::menuIndex() const { return m_parentMenu ? static_cast<unsigned>(m_level) : kTopMenuIndex; }

CBitmapListBtn* CBtnMenu::row(int index) const {
    return index >= 0 && index < static_cast<int>(m_rowButtons.size())
               ? m_rowButtons[static_cast<std::size_t>(index)].get()
               : nullptr;
}

void CBtnMenu::Create(int visibleRows) {
    if (m_itemHeight < 0) m_itemHeight = m_standalone ? m_normal.height() : m_normal.height();
    if (m_itemWidth < 0) m_itemWidth = m_normal.width() - 2 * m_marginX;
    const int items = itemCount();
    m_rows = visibleRows < 0 ? items : (items > 0 ? std::min(visibleRows, items) : visibleRows);
    if (m_scrollGrid.isNull()) m_scrollGrid = DefaultScrollBarGrid(std::max(8, m_itemHeight / 2));
    m_scrollBar = std::make_unique<CSkinScrollBar>(Qt::Vertical, this);
    m_scrollBar->SetSkin(m_scrollGrid);
    m_scrollBar->setTarget(this);
    createHeaderButtons();
    layOut();
    move(m_positionX, m_positionY);
    if (!m_shape.isNull())
        if (const std::optional<QRegion> region = RegionFromPicture(m_shape)) setMask(*region);
}

void CBtnMenu::createHeaderButtons() {
    // Each button of this level sits in the head, up at the left and down at the right.
    const auto make = [&](const MenuHeaderButton& description) -> std::unique_ptr<CBitmapBtn> {
        if (description.level != m_level) return nullptr;
        QImage normal, over, down, disable;
        if (!LoadPicture(description.normal, normal)) return nullptr;
        LoadPicture(description.over, over);
        LoadPicture(description.down, down);
        LoadPicture(description.disable, disable);
        auto button = std::make_unique<CBitmapBtn>(this);
        const SkinContext context{&normal, &over, &down, &disable, true, 0, 0};
        CreateButtonFromRecord(context, *button, SkinRecord{0, 0, normal.width(), normal.height(), {}, 0}, this);
        button->SetCaption(description.caption, 0, true);
        button->setAutoRepeat(true, std::chrono::milliseconds(100));
        return button;
    };
    m_upButton = make(m_upDescription);
    m_downButton = make(m_downDescription);
    m_headerHeight = 0;
    for (const CBitmapBtn* button : {m_upButton.get(), m_downButton.get()})
        if (button) m_headerHeight = std::max(m_headerHeight, button->height());
}

void CBtnMenu::layOut() {
    const int items = itemCount();
    const int height = m_headerHeight + m_itemHeight * m_rows + 2 * m_marginY;
    const bool scrolls = items > m_rows;
    // Pictures taller or shorter than the menu are stretched to fit it.
    const auto fit = [&](const QImage& picture) {
        if (m_standalone || picture.isNull() || picture.height() == height) return picture;
        return StretchMenuPicture(picture, height, std::min(picture.height() / 4, m_itemHeight / 2));
    };
    m_stretchedNormal = fit(m_normal);
    m_stretchedOver = fit(m_over);
    m_stretchedDown = fit(m_down);
    m_stretchedDisable = fit(m_disable);
    const int barWidth = m_scrollBar ? m_scrollBar->cellWidth() : 0;
    const int width = m_marginX * 2 + m_itemWidth + (scrolls ? barWidth : 0);
    resize(std::max(width, m_normal.isNull() ? width : (m_standalone ? width : m_normal.width())), height);
    while (static_cast<int>(m_rowButtons.size()) < m_rows) {
        const int r = static_cast<int>(m_rowButtons.size());
        auto button = std::make_unique<CBitmapListBtn>(this);
        const QRect rect(m_marginX, m_headerHeight + m_marginY + r * m_itemHeight, m_itemWidth, m_itemHeight);
        SkinContext context{
            &m_stretchedNormal, &m_stretchedOver, &m_stretchedDown, &m_stretchedDisable, m_standalone, 0, 0};
        const SkinRecord record{rect.left(), rect.top(), rect.right() + 1, rect.bottom() + 1, {}, 0};
        CreateButtonFromRecord(context, *button, record, this);
        button->setColours(m_normalColour, m_overColour, 0x808080, m_overColour);
        if (!m_face.empty()) button->SetFaceName(m_face);
        button->setAlignment(0);
        m_rowButtons.push_back(std::move(button));
    }
    while (static_cast<int>(m_rowButtons.size()) > m_rows) m_rowButtons.pop_back();
    for (const auto& button : m_rowButtons) button->setHighlightPicture(m_highlight);
    if (m_downButton) m_downButton->move(this->width() - m_downButton->width(), 0);
    if (m_scrollBar) {
        m_scrollBar->setGeometry(this->width() - barWidth, m_headerHeight + m_marginY, barWidth, m_itemHeight * m_rows);
        m_scrollBar->setRange(0, std::max(0, items - 1), m_rows);
        m_scrollBar->setVisible(scrolls);
    }
    m_first = ClampFirstVisible(m_first, items, m_rows);
    for (int r = 0; r < m_rows; ++r) Refresh(r);
}

void CBtnMenu::SetVisibleCount(int rows) {
    m_rows = rows;
    layOut();
}

void CBtnMenu::Select(int index) {
    m_selected = index;
    for (int r = 0; r < m_rows; ++r) Refresh(r);
}

void CBtnMenu::Scroll(int first) {
    const int clamped = ClampFirstVisible(first, itemCount(), m_rows);
    if (clamped == m_first) return;
    m_first = clamped;
    if (m_scrollBar) m_scrollBar->setPosition(m_first);
    for (int r = 0; r < m_rows; ++r) Refresh(r);
    if (m_notifyScroll) notifyOwner(m_clickMessage, static_cast<std::uintptr_t>(-1), -1, true);
    notifyOwner(kMenuScrolled, m_menuId + 0x10000, reinterpret_cast<std::intptr_t>(this), true);
}

void CBtnMenu::Refresh(int r) {
    CBitmapListBtn* button = row(r);
    if (!button) return;
    const int index = m_first + r;
    if (index >= itemCount() || m_items[static_cast<std::size_t>(index)].text.empty()) {
        button->hide();
        return;
    }
    const BMPMENUINFO& item = m_items[static_cast<std::size_t>(index)];
    button->SetCaption(item.text, m_captionOffset, true);
    std::uint32_t normal = item.normalColour < 0 ? m_normalColour : static_cast<std::uint32_t>(item.normalColour);
    std::uint32_t over = item.overColour < 0 ? m_overColour : static_cast<std::uint32_t>(item.overColour);
    if (!item.enabled) normal = over = 0x808080;
    button->setColours(normal, over, 0x808080, over);
    button->SetTooltip(item.tooltip);
    button->setItems(item.parts);
    button->setItemOptions(item.options, item.specialPicture);
    button->setIcons(item.picture.isNull() ? std::vector<QImage>{} : std::vector<QImage>{item.picture},
                     item.picturePosition);
    button->setIconSelection(item.picture.isNull() ? 0 : 1, -1);
    const QImage bitmap =
        MenuRowBitmap(item.hasSubmenu ? kSubmenuArrowBitmap : item.bitmap, std::max(1, m_itemHeight / 3));
    button->setOverlay(bitmap,
                       QPoint(m_itemWidth - bitmap.width() - m_itemHeight / 4, (m_itemHeight - bitmap.height()) / 2));
    button->SetChecked(index == m_selected || item.highlighted);
    button->show();
}

int CBtnMenu::rowOf(const QWidget* sender) const {
    for (std::size_t r = 0; r < m_rowButtons.size(); ++r)
        if (m_rowButtons[r].get() == sender) return static_cast<int>(r);
    return -1;
}

void CBtnMenu::notifyOwner(unsigned message, std::uintptr_t wParam, std::intptr_t lParam, bool post) {
    QWidget* target = m_parentMenu ? static_cast<QWidget*>(m_parentMenu) : m_owner.data();
    if (!target) return;
    if (post)
        platform::postMessage(target, {message, wParam, lParam});
    else
        platform::sendMessage(target, {message, wParam, lParam});
}

void CBtnMenu::OpenChildFor(int r) {
    const int index = m_first + r;
    if (r < 0 || index >= itemCount()) return;
    const BMPMENUINFO& item = m_items[static_cast<std::size_t>(index)];
    if (!item.hasSubmenu || item.submenuBlocked) return;
    if (m_child && m_childFor == index) return;
    m_child.reset();
    m_childFor = index;
    m_child = std::make_unique<CBtnMenu>(m_owner, item.subItems, index, this);
    m_child->setPictureImages(m_normal, m_over, m_down, m_disable, m_standalone);
    m_child->setItemSize(m_itemHeight, m_itemWidth);
    m_child->setMargins(m_marginX, m_marginY);
    m_child->setCaptionColours(m_normalColour, m_overColour);
    m_child->setCaptionFace(m_face, m_captionOffset);
    m_child->setScrollBarGrid(m_scrollGrid);
    m_child->setMessageNumbers(m_clickMessage, m_doubleClickMessage, m_partMessage);
    const int rows = static_cast<int>(item.subItems.size());
    const QRect frame = frameGeometry();
    const QRect screenArea = screen() ? screen()->geometry() : QRect(0, 0, 1920, 1080);
    const int childWidth = m_itemWidth + 2 * m_marginX;
    const MenuPlacement placement =
        CascadePlacement(frame.left(), frame.right() + 1, frame.top() + m_headerHeight + m_marginY + r * m_itemHeight,
                         childWidth, rows, m_itemHeight, screenArea.width(), screenArea.height());
    m_child->setPosition(placement.x, placement.y);
    m_child->Create(-1);
    m_child->show();
}

std::intptr_t CBtnMenu::onMessage(const platform::WindowMessage& message) {
    const auto* sender = reinterpret_cast<const QWidget*>(message.lParam);
    if (message.id == kWmVScroll) {
        int first = m_first;
        switch (lowWord(message.wParam)) {
        case kLineUp: --first; break;
        case kLineDown: ++first; break;
        case kPageUp: first -= m_rows; break;
        case kPageDown: first += m_rows; break;
        case kTop: first = 0; break;
        case kBottom: first = itemCount(); break;
        case kThumbTrack:
        case kThumbPosition: first = static_cast<int>(highWord(message.wParam)); break;
        default: return 0;
        }
        Scroll(first);
        return 0;
    }
    if (message.id == kWmMouseMove) {
        // The row under the cursor opens its child menu.
        const QPoint at(static_cast<std::int16_t>(lowWord(static_cast<std::uintptr_t>(message.lParam))),
                        static_cast<std::int16_t>(highWord(static_cast<std::uintptr_t>(message.lParam))));
        for (int r = 0; r < m_rows; ++r)
            if (CBitmapListBtn* b = row(r); b && b->isVisible() && b->geometry().contains(at)) OpenChildFor(r);
        return 0;
    }
    if (message.id == m_clickMessage && m_parentMenu == nullptr && m_child && message.lParam != -1) {
        // A click in the child menu, passed on with the parent item in the high words.
        const unsigned childItem = highWord(message.wParam);
        const auto childValue = static_cast<unsigned>(highWord(static_cast<std::uintptr_t>(message.lParam)));
        const unsigned parentValue = m_items[static_cast<std::size_t>(m_childFor)].value;
        notifyOwner(m_clickMessage, makeWord(childItem, static_cast<unsigned>(m_childFor)),
                    static_cast<std::intptr_t>(makeWord(childValue, parentValue)), false);
        return 0;
    }
    if (message.id == kMenuForward) {
        notifyOwner(message.id, message.wParam, message.lParam, true);
        return 0;
    }
    if (message.id != kWmCommand) return 0;
    if (sender && (sender == m_upButton.get() || sender == m_downButton.get())) {
        const unsigned code = highWord(message.wParam);
        if (code == kBnClicked || code == kAutoRepeatTick) Scroll(m_first + (sender == m_upButton.get() ? -1 : 1));
        return 0;
    }
    const int r = rowOf(sender);
    if (r < 0) return 0;
    const int index = m_first + r;
    if (index >= itemCount()) return 0;
    const BMPMENUINFO& item = m_items[static_cast<std::size_t>(index)];
    const unsigned code = highWord(message.wParam);
    const std::uintptr_t wParam = makeWord(menuIndex(), static_cast<unsigned>(index));
    const auto valueWord = static_cast<std::intptr_t>(makeWord(0, item.value));
    if (code == kRightButtonCode || code == kListItemCode) {
        notifyOwner(m_partMessage, wParam, static_cast<std::intptr_t>(makeWord(lowWord(message.wParam), item.value)),
                    true);
        return 0;
    }
    if (code == kBnDoubleClicked) {
        notifyOwner(m_doubleClickMessage, wParam, valueWord, true);
        return 0;
    }
    if (code != kBnClicked || lowWord(message.wParam) != 0) return 0;
    if (!item.clickable || (item.hasSubmenu && !item.submenuBlocked) || !item.enabled) return 0;
    Select(index);
    notifyOwner(m_clickMessage, wParam, valueWord, false);
    return 0;
}

void CBtnMenu::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    if (m_standalone) {
        // Row pictures cover the rows only: the head between its buttons takes the rows' ground.
        if (m_headerHeight > 0 && !m_normal.isNull())
            painter.fillRect(QRect(0, 0, width(), m_headerHeight), m_normal.pixelColor(0, 0));
        return;
    }
    painter.drawImage(QPoint(0, 0), m_stretchedNormal);
}

}  // namespace skin
