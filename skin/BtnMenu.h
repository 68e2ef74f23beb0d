#pragma once

#include "platform/Messages.h"
#include "skin/BitmapBtn.h"
#include "skin/SkinMessages.h"
#include "skin/Sliders.h"

#include <QImage>
#include <QPointer>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

// A skinned, scrollable, cascading list of items built from buttons.
namespace skin {

struct BMPMENUINFO {
    std::string text;  // empty hides the row
    // Program bitmap drawn at the row's right end, black transparent (0: none);
    // items with a submenu show the submenu arrow instead.
    int bitmap = 0;
    bool hasSubmenu = false;
    bool submenuBlocked = false;
    std::vector<BMPMENUINFO> subItems;
    bool clickable = true;
    std::uint16_t value = 0;
    std::int64_t normalColour = -1;  // -1: the menu's colours
    std::int64_t overColour = -1;
    bool enabled = true;
    std::string tooltip;
    // Drawn on the row at its position: the device picture of a device list.
    QImage picture;
    QPoint picturePosition;
    // Parts of the row a click reports on their own (a check box), and the
    // row's option bits with their special picture (bit 0: part 0 shows it).
    std::vector<CBitmapListBtn::Item> parts;
    int options = 0;
    QImage specialPicture;
    bool highlighted = false;  // shown like the selected item
};

// The scroll bar grid the menus use unless given another: 9 x 3 cells.
QImage DefaultScrollBarGrid(int cellSize);

// The program's row bitmaps, drawn white on black at `size` pixels: 136 is the
// submenu arrow. A null picture for any other number.
constexpr int kSubmenuArrowBitmap = 136;
QImage MenuRowBitmap(int id, int size);

// An up or down button in the menu's head, which scrolls it by one item.
struct MenuHeaderButton {
    std::string caption;
    int level = -2;                           // the level index of the menu that shows it; -2: none
    std::string normal, over, down, disable;  // picture paths, of the button alone
};

class CBtnMenu : public platform::MessageWindow<QWidget> {
public:
    static constexpr unsigned kTopMenuIndex = 0xFFFF;
    static constexpr int kScrollBarId = 101;

    CBtnMenu(QWidget* owner, std::vector<BMPMENUINFO> items = {}, int levelIndex = -1, CBtnMenu* parentMenu = nullptr);
    ~CBtnMenu() override;

    // Loads the row pictures; a shape picture, when named, clips the menu.
    void SetPictures(const std::string& normal, const std::string& over, const std::string& down,
                     const std::string& disable, const std::string& shape, bool standalone);
    void setPictureImages(const QImage& normal, const QImage& over, const QImage& down, const QImage& disable,
                          bool standalone);
    void setItems(std::vector<BMPMENUINFO> items);
    void setItemSize(int height, int width) {
        m_itemHeight = height;
        m_itemWidth = width;
    }
    void setMargins(int x, int y) {
        m_marginX = x;
        m_marginY = y;
    }
    void setPosition(int x, int y) {
        m_positionX = x;
        m_positionY = y;
    }
    void setCaptionColours(std::uint32_t normal, std::uint32_t over) {
        m_normalColour = normal;
        m_overColour = over;
    }
    void setCaptionFace(const std::string& face, int offset) {
        m_face = face;
        m_captionOffset = offset;
    }
    void setMenuId(unsigned id) { m_menuId = id; }
    void setFixedSize(bool fixed) { m_fixedSize = fixed; }
    void setScrollBarGrid(const QImage& grid) { m_scrollGrid = grid; }
    void setChangeNotification(bool on) { m_notifyScroll = on; }
    void setHeaderButtons(MenuHeaderButton up, MenuHeaderButton down) {
        m_upDescription = std::move(up);
        m_downDescription = std::move(down);
    }
    // Shown on the rows of selected and highlighted items instead of the down picture.
    void setHighlightPicture(const QImage& picture) { m_highlight = picture; }
    // The numbers of the click, double-click and part notifications.
    void setMessageNumbers(unsigned click, unsigned doubleClick, unsigned part);

    // Builds rows and scroll bar and places the menu; call once after filling.
    void Create(int visibleRows = -1);
    void SetVisibleCount(int rows);
    void Select(int index);
    void Scroll(int first);
    void Refresh(int row);

    int firstVisible() const { return m_first; }
    int visibleRows() const { return m_rows; }
    int selected() const { return m_selected; }
    int itemCount() const { return static_cast<int>(m_items.size()); }
    CSkinScrollBar* scrollBar() const { return m_scrollBar.get(); }
    CBitmapListBtn* row(int index) const;
    CBitmapBtn* upButton() const { return m_upButton.get(); }
    CBitmapBtn* downButton() const { return m_downButton.get(); }
    int headerHeight() const { return m_headerHeight; }
    CBtnMenu* childMenu() const { return m_child.get(); }
    // Opens the child menu of the item on `row`, as resting the mouse on it does.
    void OpenChildFor(int row);

protected:
    std::intptr_t onMessage(const platform::WindowMessage& message) override;
    void paintEvent(QPaintEvent*) override;

private:
    unsigned menuIndex() const;
    int rowOf(const QWidget* sender) const;
    void notifyOwner(unsigned message, std::uintptr_t wParam, std::intptr_t lParam, bool post);
    void layOut();
    void createHeaderButtons();

    QPointer<QWidget> m_owner;
    CBtnMenu* m_parentMenu = nullptr;
    std::vector<BMPMENUINFO> m_items;
    int m_level = -1;
    unsigned m_menuId = 0;
    int m_rows = -1;
    int m_first = 0;
    int m_itemHeight = -1, m_itemWidth = -1;
    int m_marginX = 0, m_marginY = 0;
    int m_positionX = 0, m_positionY = 0;
    int m_headerHeight = 0;
    QImage m_normal, m_over, m_down, m_disable, m_shape;
    QImage m_stretchedNormal, m_stretchedOver, m_stretchedDown, m_stretchedDisable;
    bool m_standalone = false;
    bool m_fixedSize = false;
    bool m_notifyScroll = false;
    unsigned m_clickMessage = kMenuClick, m_doubleClickMessage = kMenuDoubleClick, m_partMessage = kMenuRightClick;
    std::uint32_t m_normalColour = 0x565656, m_overColour = 0xFEFFFF;
    int m_captionOffset = 1;
    std::string m_face;
    QImage m_scrollGrid;
    QImage m_highlight;
    MenuHeaderButton m_upDescription, m_downDescription;
    std::unique_ptr<CBitmapBtn> m_upButton, m_downButton;
    int m_selected = -1;
    int m_childFor = -1;
    std::vector<std::unique_ptr<CBitmapListBtn>> m_rowButtons;
    std::unique_ptr<CSkinScrollBar> m_scrollBar;
    std::unique_ptr<CBtnMenu> m_child;
};

}  // namespace skin
