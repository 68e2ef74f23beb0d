#include "SkinTestSkin.h"

#include "platform/Messages.h"
#include "platform/Timing.h"
#include "skin/ApplicationIcon.h"
#include "skin/BaseDlg.h"
#include "skin/BitmapBtn.h"
#include "skin/BtnMenu.h"
#include "skin/MessageBox.h"
#include "skin/PopupDlgs.h"
#include "skin/SkinDocuments.h"
#include "skin/SkinMessages.h"
#include "skin/SkinPicture.h"
#include "skin/SkinText.h"
#include "skin/Sliders.h"

#include <QApplication>
#include <QDir>
#include <QKeyEvent>
#include <QPainter>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

namespace skintest {
namespace {

using namespace std::chrono_literals;
using skin::highWord;
using skin::lowWord;

// ---- pictures and regions

TEST(RegionFromPicture, ManyRunsGiveThePlainUnion) {
    // A noisy picture: well over 2000 runs, so several batches are united.
    QImage picture = solid(160, 120, 0xFFFFFFFF);
    QRandomGenerator random(7);
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if (random.bounded(3) == 0) picture.setPixel(x, y, 0xFF000000 | random.bounded(0xFFFFFF));
    QRegion expected;
    int runs = 0;
    for (int y = 0; y < picture.height(); ++y)
        for (int x = 0; x < picture.width(); ++x)
            if ((picture.pixel(x, y) & 0xFFFFFF) != 0xFFFFFF) {
                expected += QRect(x, y, 1, 1);
                if (x == 0 || (picture.pixel(x - 1, y) & 0xFFFFFF) == 0xFFFFFF) ++runs;
            }
    ASSERT_GT(runs, 4000);
    const std::optional<QRegion> region = skin::RegionFromPicture(picture);
    ASSERT_TRUE(region);
    EXPECT_TRUE((*region ^ expected).isEmpty());
}

TEST(RegionFromPicture, WhiteGivesNoneAndOnePixelGivesOnePixel) {
    EXPECT_FALSE(skin::RegionFromPicture(solid(20, 20, 0xFFFFFFFF)));
    EXPECT_FALSE(skin::RegionFromPicture(QImage()));
    QImage one = solid(20, 20, 0xFFFFFFFF);
    one.setPixel(3, 4, 0xFFFFFFFE);  // nearly white is still inside
    const std::optional<QRegion> region = skin::RegionFromPicture(one);
    ASSERT_TRUE(region);
    EXPECT_EQ(*region, QRegion(3, 4, 1, 1));
}

TEST(Pictures, CutStretchAndTint) {
    QImage source = solid(10, 10, 0xFF000000);
    source.setPixel(5, 6, 0xFF123456);
    QImage cut;
    skin::CutPicture(cut, source, 4, 5, 8, 9);
    ASSERT_EQ(cut.size(), QSize(4, 4));
    EXPECT_EQ(cut.pixel(1, 1), 0xFF123456u);
    skin::CutPicture(cut, QImage(), 0, 0, 2, 2);  // an empty source changes nothing
    EXPECT_EQ(cut.size(), QSize(4, 4));

    // Rows 0..9 carry their index in red: stretching keeps the caps.
    QImage rows(4, 10, QImage::Format_RGB32);
    for (int y = 0; y < 10; ++y) rows.fill(0), rows.setPixel(0, y, qRgb(y, 0, 0));
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 4; ++x) rows.setPixel(x, y, qRgb(y, 0, 0));
    const QImage taller = skin::StretchMenuPicture(rows, 16, 2);
    ASSERT_EQ(taller.height(), 16);
    EXPECT_EQ(qRed(taller.pixel(0, 0)), 0);
    EXPECT_EQ(qRed(taller.pixel(0, 15)), 9);
    EXPECT_EQ(qRed(taller.pixel(0, 14)), 8);
    const QImage shorter = skin::StretchMenuPicture(rows, 6, 2);
    ASSERT_EQ(shorter.height(), 6);
    EXPECT_EQ(qRed(shorter.pixel(0, 0)), 0);
    EXPECT_EQ(qRed(shorter.pixel(0, 3)), 3);
    EXPECT_EQ(qRed(shorter.pixel(0, 4)), 8);
    EXPECT_EQ(qRed(shorter.pixel(0, 5)), 9);

    QImage swatch = solid(2, 1, 0xFF000000);
    swatch.setPixel(1, 0, qRgb(128, 0, 0));
    const QImage tinted = skin::TintSwatch(swatch, 200, 100, 50).convertToFormat(QImage::Format_ARGB32_Premultiplied);
    EXPECT_EQ(tinted.pixel(0, 0), 0xFF000000u);  // f = 0 stays
    EXPECT_EQ(tinted.pixel(1, 0), qRgba(200 * 128 / 255, 100 * 128 / 255, 50 * 128 / 255, 128));
}

// ---- dialog base

class BaseDlgTest : public SkinTest {};

TEST_F(BaseDlgTest, ShapeSizeAndBackgroundComeFromTheSkin) {
    skin::CBaseDlg dialog;
    dialog.setSection("WarnDlg");
    dialog.setSkinFolder("PopDlg");
    dialog.CreateSkinned(skin::kPopupTemplate, nullptr);
    EXPECT_EQ(dialog.size(), QSize(400, 600));
    EXPECT_TRUE((dialog.mask() ^ QRegion(10, 10, 380, 580)).isEmpty());
    EXPECT_EQ(dialog.grab().toImage().pixel(200, 300), kNormal);
}

TEST_F(BaseDlgTest, AWhiteShapeShowsErrorAndKeepsTheWindowRectangular) {
    std::vector<std::string> boxes;
    skin::SetMessageBoxHandler([&](QWidget*, const std::string& text) { boxes.push_back(text); });
    skin::CBaseDlg dialog;
    dialog.setSection("WHITE");
    dialog.setSkinFolder("PopDlg");
    dialog.CreateSkinned(skin::kPopupTemplate, nullptr);
    EXPECT_EQ(boxes, std::vector<std::string>{"error"});
    EXPECT_TRUE(dialog.mask().isEmpty());
    EXPECT_EQ(dialog.size(), QSize(400, 600));
}

TEST_F(BaseDlgTest, KeysNeverCloseItAndDraggingAPageMovesItsWindow) {
    skin::CBaseDlg dialog;
    dialog.setSection("WarnDlg");
    dialog.setSkinFolder("PopDlg");
    dialog.show();
    for (const int key : {Qt::Key_Escape, Qt::Key_Return, Qt::Key_Enter, Qt::Key_F1}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(&dialog, &press);
    }
    platform::pumpEvents(3);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.result(), 0);

    QWidget top;
    top.resize(800, 800);
    top.move(100, 100);
    skin::CBaseDlg page;
    page.setSection("WarnDlg");
    page.setSkinFolder("PopDlg");
    page.CreateSkinned(skin::kPageTemplate, &top);
    top.show();
    const QPoint before = top.pos();
    mouse(page, QEvent::MouseButtonPress, {50, 50}, Qt::LeftButton, Qt::LeftButton);
    mouse(page, QEvent::MouseMove, {80, 70}, Qt::NoButton, Qt::LeftButton);
    mouse(page, QEvent::MouseButtonRelease, {80, 70}, Qt::LeftButton, Qt::NoButton);
    EXPECT_EQ(top.pos(), before + QPoint(30, 20));
    EXPECT_EQ(page.pos(), QPoint(0, 0));
}

// ---- buttons

class ButtonTest : public SkinTest {
protected:
    void SetUp() override {
        SkinTest::SetUp();
        dialog.setSection("WarnDlg");
        dialog.setSkinFolder("PopDlg");
        dialog.EnsureInitialised();
    }
    // The state pictures stay with the dialog only while controls are made.
    skin::SkinContext context() {
        static QImage normal = solid(400, 600, kNormal), over = solid(400, 600, kOver), down = solid(400, 600, kDown),
                      disable = solid(400, 600, kDisable);
        return skin::SkinContext{&normal, &over, &down, &disable, false, 0, 0};
    }
    QRgb shown(skin::CBitmapBtn& button) { return button.grab().toImage().pixel(2, 2); }

    skin::CBaseDlg dialog;
    Recorder parent;
};

TEST_F(ButtonTest, CreatedFromItsRecordWithCaptionFontAndPictures) {
    skin::CBitmapBtn button;
    const skin::SkinRecord record =
        skin::CreateSkinButton(button, "WarnDlg", "BUTTON_OK", context(), &parent, true, skin::kAlignCenter, 0, -1);
    EXPECT_EQ(record.right, 120);
    EXPECT_EQ(button.geometry(), QRect(20, 500, 100, 40));
    EXPECT_EQ(button.caption(), "OK");
    EXPECT_EQ(button.fontHeight(), 20);         // the record's SIZE
    EXPECT_EQ(button.faceName(), "Noto Sans");  // GLOBAL/FONT
    EXPECT_FALSE(button.isToggle());
    EXPECT_EQ(shown(button), kNormal);
    skin::CBitmapBtn toggle;
    skin::CreateSkinButton(toggle, "WarnDlg", "TOGGLE", context(), &parent, false, 0, 0, 31);
    EXPECT_TRUE(toggle.isToggle());
    EXPECT_EQ(toggle.fontHeight(), 31);
}

TEST_F(ButtonTest, PushButtonShowsEachStatePicture) {
    skin::CBitmapBtn button;
    skin::CreateSkinButton(button, "WarnDlg", "PUSH", context(), &parent, false, 0, 0, -1);
    EXPECT_EQ(shown(button), kNormal);
    button.forceState(true, false);
    EXPECT_EQ(shown(button), kOver);
    button.forceState(true, true);
    EXPECT_EQ(shown(button), kDown);
    button.forceState(false, false);
    button.setEnabled(false);
    EXPECT_EQ(shown(button), kDisable);
    button.setEnabled(true);
    button.SetChecked(true);
    button.forceState(true, false);
    EXPECT_EQ(shown(button), kDown);  // checked and hovered: down picture
    EXPECT_EQ(button.currentLook().colour, skin::ButtonColour::Over);
}

TEST_F(ButtonTest, ToggleSends23AndNoClickAndTwoPressesUncheck) {
    skin::CBitmapBtn toggle;
    skin::CreateSkinButton(toggle, "WarnDlg", "TOGGLE", context(), &parent, false, 0, 0, -1);
    for (const bool checkedAfter : {true, false}) {
        mouse(toggle, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, Qt::LeftButton);
        mouse(toggle, QEvent::MouseButtonRelease, {10, 10}, Qt::LeftButton, Qt::NoButton);
        EXPECT_EQ(toggle.isChecked(), checkedAfter);
    }
    EXPECT_EQ(parent.count(skin::kWmCommand, skin::kToggleReleased), 2);
    EXPECT_EQ(parent.count(skin::kWmCommand, skin::makeWord(0, skin::kBnClicked)), 0);
    ASSERT_FALSE(parent.messages.empty());
    EXPECT_EQ(parent.messages.back().lParam, reinterpret_cast<std::intptr_t>(&toggle));
}

TEST_F(ButtonTest, PushClickNeedsTheReleaseInside) {
    skin::CBitmapBtn button;
    skin::CreateSkinButton(button, "WarnDlg", "PUSH", context(), &parent, false, 0, 0, -1);
    mouse(button, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, Qt::LeftButton);
    mouse(button, QEvent::MouseButtonRelease, {10, 10}, Qt::LeftButton, Qt::NoButton);
    mouse(button, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, Qt::LeftButton);
    mouse(button, QEvent::MouseButtonRelease, {300, 10}, Qt::LeftButton, Qt::NoButton);
    mouse(button, QEvent::MouseButtonPress, {10, 10}, Qt::RightButton, Qt::RightButton);
    EXPECT_EQ(parent.count(skin::kWmCommand, skin::makeWord(0, skin::kBnClicked)), 1);
    EXPECT_EQ(parent.count(skin::kWmCommand, skin::makeWord(0, skin::kRightButtonCode)), 1);
    // Keys never press a button.
    QKeyEvent space(QEvent::KeyPress, Qt::Key_Space, Qt::NoModifier);
    QApplication::sendEvent(&button, &space);
    EXPECT_EQ(parent.count(skin::kWmCommand, skin::makeWord(0, skin::kBnClicked)), 1);
}

TEST_F(ButtonTest, DraggingOutClearsHoverWhileTheButtonIsHeld) {
    skin::CBitmapBtn button;
    skin::CreateSkinButton(button, "WarnDlg", "PUSH", context(), &parent, false, 0, 0, -1);
    mouse(button, QEvent::MouseMove, {10, 10}, Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(button.isHover());
    mouse(button, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, Qt::LeftButton);
    mouse(button, QEvent::MouseMove, {300, 10}, Qt::NoButton, Qt::LeftButton);
    EXPECT_FALSE(button.isHover());
    EXPECT_FALSE(button.isPressed());
    EXPECT_EQ(shown(button), kNormal);
    platform::pumpEvents(2);
    // Every move reaches the parent in its own coordinates.
    ASSERT_GE(parent.count(skin::kWmMouseMove, 0), 1);
    const auto first = std::find_if(parent.messages.begin(), parent.messages.end(),
                                    [](const auto& m) { return m.id == skin::kWmMouseMove; });
    EXPECT_EQ(lowWord(static_cast<std::uintptr_t>(first->lParam)), 30u);
    EXPECT_EQ(highWord(static_cast<std::uintptr_t>(first->lParam)), 90u);
}

TEST_F(ButtonTest, AutoRepeatPostsWhileHeldAndStopsOnRelease) {
    skin::CBitmapBtn button;
    skin::CreateSkinButton(button, "WarnDlg", "PUSH", context(), &parent, false, 0, 0, -1);
    button.setAutoRepeat(true, 5ms);
    mouse(button, QEvent::MouseButtonPress, {10, 10}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_TRUE(button.windowTimerRunning(skin::kAutoRepeatTimer));
    platform::pumpEventsFor(80ms);
    const int whileHeld = parent.count(skin::kWmCommand, skin::kAutoRepeatTick);
    EXPECT_GE(whileHeld, 2);
    mouse(button, QEvent::MouseButtonRelease, {10, 10}, Qt::LeftButton, Qt::NoButton);
    EXPECT_FALSE(button.windowTimerRunning(skin::kAutoRepeatTimer));
    platform::pumpEventsFor(40ms);
    // At most one tick that was already queued arrives after the release.
    EXPECT_LE(parent.count(skin::kWmCommand, skin::kAutoRepeatTick), whileHeld + 1);
}

TEST_F(ButtonTest, CheckOneOfGroupChecksOnlyTheGivenButton) {
    skin::CBitmapBtn a, b, c;
    skin::CBitmapBtn* group[] = {&a, &b, &c};
    a.SetChecked(true);
    EXPECT_EQ(skin::CheckOneOfGroup(group, 3, &c), 2);
    EXPECT_FALSE(a.isChecked());
    EXPECT_FALSE(b.isChecked());
    EXPECT_TRUE(c.isChecked());
    EXPECT_EQ(skin::CheckOneOfGroup(group, 3, &parent), -1);
    EXPECT_TRUE(c.isChecked());
}

TEST_F(ButtonTest, SwatchCaptionTurnsGreyOnlyOnLightColours) {
    const struct {
        int r, g, b;
        bool grey;
    } cases[] = {{255, 255, 255, true}, {221, 221, 221, true}, {221, 221, 220, false}, {0, 0, 0, false}};
    for (const auto& c : cases) EXPECT_EQ(skin::CColorBtn::CaptionGreyOn(c.r, c.g, c.b), c.grey);
    skin::CColorBtn swatch(&parent);
    swatch.setGeometry(0, 0, 20, 20);
    QImage source = solid(20, 20, 0xFF000000);
    source.setPixel(5, 5, qRgb(255, 0, 0));
    swatch.setSwatchTemplate(source, QRect(0, 0, 20, 20), QPoint(0, 0));
    swatch.SetSwatchColor(10, 20, 30);
    EXPECT_EQ(swatch.swatchColour(), 0x1E140Au);
    EXPECT_EQ(swatch.tintedSwatch().pixel(5, 5), qRgba(10, 20, 30, 255));
}

// ---- slider and scroll bar

TEST_F(ButtonTest, SliderNotifiesOnlyChangesWhileDraggingAndOnRelease) {
    skin::CPngHSliderBar slider;
    skin::CreateSkinSlider(slider, "WarnDlg", "SLIDER_R", context(), &parent, 1000, {}, false, 0, 255);
    slider.setThumbs(solid(20, 30, 0xFFFFFFFF), {}, {}, false);
    EXPECT_EQ(slider.geometry(), QRect(0, 200, 200, 30));
    slider.SetValue(255);
    mouse(slider, QEvent::MouseButtonPress, {195, 5}, Qt::LeftButton, Qt::LeftButton);
    mouse(slider, QEvent::MouseMove, {197, 5}, Qt::NoButton, Qt::LeftButton);
    platform::pumpEvents(2);
    EXPECT_TRUE(parent.messages.empty());  // same value: nothing yet
    mouse(slider, QEvent::MouseMove, {5, 5}, Qt::NoButton, Qt::LeftButton);
    mouse(slider, QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, Qt::NoButton);
    platform::pumpEvents(2);
    ASSERT_EQ(parent.messages.size(), 2u);
    for (const auto& m : parent.messages) {
        EXPECT_EQ(m.id, skin::kSliderNotify);
        EXPECT_EQ(m.wParam, 0u);
        EXPECT_EQ(m.lParam, 1000);
    }
    EXPECT_EQ(slider.value(), 255);  // the target changes it, not the slider
}

TEST(SkinScrollBar, ArrowsRepeatWhileHeldAndThumbTracks) {
    Recorder target;
    skin::CSkinScrollBar bar(Qt::Vertical, &target);
    bar.SetSkin(solid(90, 30, 0xFF808080));  // cells of 10 x 10
    bar.setGeometry(0, 0, 10, 100);
    bar.setTarget(&target);
    bar.setRange(0, 4, 3);
    bar.setRepeatTimes(20ms, 5ms);
    mouse(bar, QEvent::MouseButtonPress, {5, 95}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_EQ(target.count(skin::kWmVScroll, skin::kLineDown), 1);  // at once
    platform::pumpEventsFor(100ms);
    const int held = target.count(skin::kWmVScroll, skin::kLineDown);
    EXPECT_GE(held, 3);
    mouse(bar, QEvent::MouseButtonRelease, {5, 95}, Qt::LeftButton, Qt::NoButton);
    platform::pumpEventsFor(30ms);
    EXPECT_EQ(target.count(skin::kWmVScroll, skin::kLineDown), held);

    target.messages.clear();
    mouse(bar, QEvent::MouseButtonPress, {5, 15}, Qt::LeftButton, Qt::LeftButton);  // on the thumb
    mouse(bar, QEvent::MouseMove, {5, 47}, Qt::NoButton, Qt::LeftButton);
    mouse(bar, QEvent::MouseButtonRelease, {5, 47}, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(target.messages.size(), 2u);
    EXPECT_EQ(lowWord(target.messages[0].wParam), skin::kThumbTrack);
    EXPECT_EQ(highWord(target.messages[0].wParam), 2u);
    EXPECT_EQ(lowWord(target.messages[1].wParam), skin::kThumbPosition);
    EXPECT_EQ(highWord(target.messages[1].wParam), 2u);
}

TEST(SkinScrollBar, ThreePixelTrackHasNoThumb) {
    skin::CSkinScrollBar bar(Qt::Vertical);
    bar.SetSkin(solid(90, 30, 0xFF808080));
    bar.resize(10, 23);
    bar.setRange(0, 10, 2);
    EXPECT_EQ(bar.geometryNow().trackLength(), 3);
    EXPECT_EQ(bar.geometryNow().thumbLength(), 0);
}

// ---- menu

std::vector<skin::BMPMENUINFO> menuItems(int count) {
    std::vector<skin::BMPMENUINFO> items(static_cast<std::size_t>(count));
    for (int i = 0; i < count; ++i) {
        items[static_cast<std::size_t>(i)].text = "Item " + std::to_string(i);
        items[static_cast<std::size_t>(i)].value = static_cast<std::uint16_t>(100 + i);
    }
    return items;
}

TEST(BtnMenu, FiveItemsInThreeRowsScrollWithinRange) {
    Recorder owner;
    skin::CBtnMenu menu(&owner, menuItems(5));
    menu.setPictureImages(solid(120, 30, 0xFF303030), solid(120, 30, 0xFF505050), {}, {}, true);
    menu.Create(3);
    ASSERT_EQ(menu.visibleRows(), 3);
    EXPECT_EQ(menu.scrollBar()->minimum(), 0);
    EXPECT_EQ(menu.scrollBar()->maximum(), 4);
    EXPECT_EQ(menu.scrollBar()->page(), 3);
    EXPECT_TRUE(menu.scrollBar()->isVisibleTo(&menu));
    for (const int first : {1, 2, 3, 10}) {
        menu.Scroll(first);
        EXPECT_EQ(menu.firstVisible(), std::min(first, 2));
    }
    EXPECT_EQ(menu.row(0)->caption(), "Item 2");
    platform::pumpEvents(2);
    EXPECT_GE(owner.count(skin::kMenuScrolled, 0x10000), 1);
}

TEST(BtnMenu, ClicksReportMenuItemAndValueAndEmptyTextHidesTheRow) {
    Recorder owner;
    std::vector<skin::BMPMENUINFO> items = menuItems(3);
    items[1].text.clear();
    skin::CBtnMenu menu(&owner, items);
    menu.setPictureImages(solid(120, 30, 0xFF303030), solid(120, 30, 0xFF505050), {}, {}, true);
    menu.Create(-1);
    EXPECT_FALSE(menu.row(1)->isVisibleTo(&menu));
    EXPECT_TRUE(menu.row(2)->isVisibleTo(&menu));
    mouse(*menu.row(2), QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    mouse(*menu.row(2), QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(owner.count(skin::kMenuClick, skin::makeWord(skin::CBtnMenu::kTopMenuIndex, 2)), 1);
    EXPECT_EQ(highWord(static_cast<std::uintptr_t>(owner.messages.back().lParam)), 102u);
    EXPECT_EQ(menu.selected(), 2);
    EXPECT_TRUE(menu.row(2)->isChecked());
    mouse(*menu.row(0), QEvent::MouseButtonDblClick, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    mouse(*menu.row(0), QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, Qt::NoButton);
    platform::pumpEvents(2);
    EXPECT_EQ(owner.count(skin::kMenuDoubleClick, skin::makeWord(skin::CBtnMenu::kTopMenuIndex, 0)), 1);
    EXPECT_EQ(owner.count(skin::kMenuClick, skin::makeWord(skin::CBtnMenu::kTopMenuIndex, 0)), 1);
}

TEST(BtnMenu, HeadButtonsOfItsLevelScrollByOneItem) {
    QTemporaryDir folder;
    const std::string up = folder.filePath("up.png").toStdString(), down = folder.filePath("down.png").toStdString();
    ASSERT_TRUE(solid(40, 20, 0xFF404040).save(QString::fromStdString(up)));
    ASSERT_TRUE(solid(40, 20, 0xFF606060).save(QString::fromStdString(down)));
    const struct {
        int level;
        bool shown;
    } cases[] = {{-1, true}, {0, false}};
    for (const auto& c : cases) {
        Recorder owner;
        skin::CBtnMenu menu(&owner, menuItems(6));
        menu.setPictureImages(solid(120, 30, 0xFF303030), solid(120, 30, 0xFF505050), {}, {}, true);
        menu.setHeaderButtons({"", c.level, up, up, up, up}, {"", c.level, down, down, down, down});
        menu.Create(3);
        ASSERT_EQ(menu.upButton() != nullptr, c.shown) << c.level;
        ASSERT_EQ(menu.downButton() != nullptr, c.shown) << c.level;
        const int head = c.shown ? 20 : 0;
        EXPECT_EQ(menu.headerHeight(), head) << c.level;
        EXPECT_EQ(menu.row(0)->y(), head) << "the rows start below the head";
        EXPECT_EQ(menu.height(), head + 3 * 30);
        if (!c.shown) continue;
        EXPECT_EQ(menu.downButton()->geometry().right(), menu.width() - 1) << "down sits at the right end";
        const auto click = [](skin::CBitmapBtn& button) {
            mouse(button, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
            mouse(button, QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, Qt::NoButton);
            platform::pumpEvents(2);
        };
        const struct {
            skin::CBitmapBtn* button;
            int first;
        } steps[] = {{menu.upButton(), 0},   {menu.downButton(), 1}, {menu.downButton(), 2},
                     {menu.downButton(), 3}, {menu.downButton(), 3}, {menu.upButton(), 2}};
        for (const auto& step : steps) {
            click(*step.button);
            EXPECT_EQ(menu.firstVisible(), step.first);
        }
        EXPECT_EQ(menu.row(0)->caption(), "Item 2");
    }
}

TEST(BtnMenu, SubmenuRowsShowTheArrowAndMarkedRowsTheHighlightPicture) {
    Recorder owner;
    std::vector<skin::BMPMENUINFO> items = menuItems(4);
    items[1].hasSubmenu = true;
    items[1].subItems = menuItems(2);
    items[3].bitmap = skin::kSubmenuArrowBitmap;
    skin::CBtnMenu menu(&owner, items);
    menu.setPictureImages(solid(120, 30, 0xFF303030), solid(120, 30, 0xFF505050), solid(120, 30, 0xFF707070), {}, true);
    menu.setHighlightPicture(solid(120, 30, 0xFFAA0000));
    menu.Create(-1);
    const bool arrows[] = {false, true, false, true};
    for (int r = 0; r < 4; ++r) EXPECT_EQ(!menu.row(r)->overlay().isNull(), arrows[r]) << r;
    EXPECT_TRUE(skin::MenuRowBitmap(12345, 10).isNull()) << "an unknown bitmap draws nothing";
    menu.Select(2);
    const auto shown = [&](int r) { return menu.row(r)->grab().toImage().pixel(2, 2); };
    EXPECT_EQ(shown(2), 0xFFAA0000u) << "the selected row";
    EXPECT_EQ(shown(0), 0xFF303030u);
    menu.setHighlightPicture({});
    menu.SetVisibleCount(4);
    EXPECT_EQ(shown(2), 0xFF707070u) << "without a highlight picture: the down picture";
}

TEST(ApplicationIcon, FoundBesideAnInstalledProgramAndInTheBuildTree) {
    const struct {
        const char* program;
        const char* icons;
    } cases[] = {{"usr/lib/lumenstra/", "usr/share/icons/hicolor"}, {"build/bin/", "build/dist/icons/hicolor"}};
    for (const auto& c : cases) {
        QTemporaryDir root;
        const QString program = root.filePath(c.program);
        ASSERT_TRUE(QDir().mkpath(program));
        for (const int pixels : {32, 64}) {
            const QString folder = root.filePath(QStringLiteral("%1/%2x%2/apps").arg(c.icons).arg(pixels));
            ASSERT_TRUE(QDir().mkpath(folder));
            ASSERT_TRUE(solid(pixels, pixels, 0xFF23B5D3).save(folder + "/lumenstra.png"));
        }
        const QIcon icon = skin::ApplicationIcon(program.toStdString());
        ASSERT_FALSE(icon.isNull()) << c.program;
        EXPECT_EQ(icon.availableSizes(), (QList<QSize>{QSize(32, 32), QSize(64, 64)})) << c.program;
    }
}

// ---- pop-ups

class PopupTest : public SkinTest {
protected:
    void SetUp() override {
        SkinTest::SetUp();
        platform::TimingPolicy policy;
        policy.loadingPopupDelay = 10ms;
        policy.loadingPopupSettle = 1ms;
        platform::setTiming(policy);
    }
    void TearDown() override {
        platform::setTiming(platform::TimingPolicy{});
        SkinTest::TearDown();
    }
};

int runWarningAndClick(skin::CWarnDlg& warning, skin::CBitmapBtn& (skin::CWarnDlg::*button)()) {
    QTimer::singleShot(0, &warning, [&] {
        skin::CBitmapBtn& b = (warning.*button)();
        mouse(b, QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
        mouse(b, QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, Qt::NoButton);
    });
    return warning.exec();
}

TEST_F(PopupTest, WarningResultsOkOneCancelAndCloseTwo) {
    const struct {
        skin::CBitmapBtn& (skin::CWarnDlg::*button)();
        int result;
    } cases[] = {{&skin::CWarnDlg::okButton, skin::kResultOk},
                 {&skin::CWarnDlg::cancelButton, skin::kResultCancel},
                 {&skin::CWarnDlg::closeButton, skin::kResultCancel}};
    for (const auto& c : cases) {
        skin::CWarnDlg warning;
        warning.SetSections("WarnDlg", "");
        warning.SetMessage("NO_SAVE");
        EXPECT_EQ(runWarningAndClick(warning, c.button), c.result);
        EXPECT_EQ(warning.windowTitle().toStdString(), skin::kPopupTitle);
    }
}

TEST_F(PopupTest, WarningDrawsItsMessageWithAffixes) {
    // The message text is white (the record's COLOR); without STR_WARN only
    // the affixes are drawn.
    const auto whitePixels = [](const QImage& image) {
        int n = 0;
        for (int y = 100; y < 300; ++y)
            for (int x = 0; x < 400; ++x) n += qRed(image.pixel(x, y)) > 200;
        return n;
    };
    skin::CWarnDlg plain;
    plain.SetMessage("NO_SAVE");
    plain.EnsureInitialised();
    const int withText = whitePixels(plain.normalPicture());
    EXPECT_GT(withText, 0);
    skin::CWarnDlg affixed;
    affixed.SetMessage("NO_SAVE");
    affixed.SetAffixes("Card 1, card 2 ", "");
    affixed.EnsureInitialised();
    EXPECT_GT(whitePixels(affixed.normalPicture()), withText);
    skin::CWarnDlg missing;
    missing.SetMessage("NO_SUCH_MESSAGE");
    missing.EnsureInitialised();
    EXPECT_EQ(whitePixels(missing.normalPicture()), 0);
}

TEST_F(PopupTest, LoadingPopupRunsItsJobOnTheTimerAndReportsTheResult) {
    const struct {
        bool withJob;
        int jobResult;
        int expected;
    } cases[] = {{false, 0, skin::kResultCancel}, {true, 0, skin::kResultOk}, {true, 3, skin::kResultCancel}};
    for (const auto& c : cases) {
        skin::CLoadingDlg loading;
        std::vector<int> seen;
        if (c.withJob)
            loading.setJob(
                [&](skin::CLoadingDlg& popup, int a, int b, int third) {
                    seen = {a, b, third};
                    popup.SetProgress(50);
                    return c.jobResult;
                },
                4, 5, 6);
        EXPECT_EQ(loading.exec(), c.expected);
        if (c.withJob) {
            EXPECT_EQ(seen, (std::vector<int>{4, 5, 6}));
            EXPECT_EQ(loading.progress(), 50);
        }
    }
}

TEST_F(PopupTest, ProgressBandShowsTheDoneShareOfTheOverPicture) {
    skin::CLoadingDlg loading;
    loading.EnsureInitialised();
    ASSERT_EQ(loading.width(), 400);
    loading.SetProgress(50);
    const QImage shown = loading.grab().toImage();
    EXPECT_EQ(shown.pixel(199, 560), kOver);
    EXPECT_EQ(shown.pixel(200, 560), kNormal);
    EXPECT_EQ(shown.pixel(100, 557), kNormal);  // above the band
    skin::CProgressDlg progress;
    progress.EnsureInitialised();
    EXPECT_EQ(progress.bandTop(), 72);
    progress.SetProgress(25);
    const QImage band = progress.grab().toImage();
    EXPECT_EQ(band.pixel(99, 80), kOver);
    EXPECT_EQ(band.pixel(100, 80), kNormal);
}

}  // namespace
}  // namespace skintest

namespace skintest {
namespace {

TEST_F(ButtonTest, NimbrelButtonsUseTheirOwnTable) {
    skin::CBitmapBtn button;
    skin::CreateSkinButton(button, "WarnDlg", "PUSH", context(), &parent, false, 0, 0, -1);
    button.setNimbrelStyle(true);
    button.SetChecked(true);
    button.forceState(true, false);
    EXPECT_EQ(button.currentLook(), (skin::ButtonLook{skin::ButtonPicture::Down, skin::ButtonColour::Normal}));
    button.setEnabled(false);
    EXPECT_EQ(shown(button), kDisable);  // disabled wins over checked
    EXPECT_EQ(button.colourOf(skin::ButtonColour::Disabled), 0x808080u);
}

TEST_F(PopupTest, DimmingCoverEndsWithTheWarningsResult) {
    QWidget covered;
    covered.resize(500, 400);
    covered.show();
    skin::CWarnDlg warning(&covered);
    warning.SetMessage("NO_SAVE");
    skin::CDlgLoading cover(&covered, "PopDlg", warning);
    QTimer clicker;
    QObject::connect(&clicker, &QTimer::timeout, [&] {
        if (!warning.isVisible()) return;
        EXPECT_EQ(cover.geometry(), covered.frameGeometry());
        EXPECT_EQ(cover.windowTitle().toStdString(), skin::kDimmingTitle);
        mouse(warning.cancelButton(), QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
        mouse(warning.cancelButton(), QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, Qt::NoButton);
    });
    clicker.start(5);
    EXPECT_EQ(cover.run(), skin::kResultCancel);

    skin::CWarnDlg unused(&covered);
    skin::CDlgLoading ended(&covered, "PopDlg", unused);
    QTimer::singleShot(0, &ended, [&] { platform::sendMessage(&ended, {skin::kApplyMessage, 0, 0}); });
    EXPECT_EQ(ended.run(), -1);
}

class SkinTextTest : public SkinTest {};

// Rows and colours of the ink a text leaves on a black picture.
struct Ink {
    int rows = 0;
    int white = 0;
    int red = 0;
};
Ink inkOf(const QImage& image) {
    Ink ink;
    for (int y = 0; y < image.height(); ++y) {
        bool any = false;
        for (int x = 0; x < image.width(); ++x) {
            const QRgb p = image.pixel(x, y);
            if ((p & 0xFFFFFF) == 0) continue;
            any = true;
            if (qRed(p) > 200 && qGreen(p) > 200)
                ++ink.white;
            else if (qRed(p) > 100 && qGreen(p) < 60)
                ++ink.red;
        }
        ink.rows += any;
    }
    return ink;
}

TEST_F(SkinTextTest, RecordColourAndLineBreaks) {
    const auto draw = [](const char* key, const std::string& text) {
        QImage image(400, 600, QImage::Format_RGB32);
        image.fill(Qt::black);
        QPainter painter(&image);
        painter.setPen(Qt::red);
        skin::DrawSkinText(painter, "NO_SAVE", key, text,
                           skin::kTextCenter | skin::kTextVCenter | skin::kTextWordBreak);
        return inkOf(image);
    };
    const Ink coloured = draw("STR_WARN", "Discard");  // COLOR=16777215
    EXPECT_GT(coloured.white, 0);
    EXPECT_EQ(coloured.red, 0);
    const Ink plain = draw("STR_TITLE", "Discard");  // no COLOR: the painter's red
    EXPECT_GT(plain.red, 0);
    EXPECT_EQ(plain.white, 0);
    const Ink oneLine = draw("STR_WARN", "Discard them");
    const Ink twoLines = draw("STR_WARN", "Discard\\r\\nthem");
    EXPECT_GT(twoLines.rows, oneLine.rows * 3 / 2);
}

}  // namespace
}  // namespace skintest

namespace skintest {
namespace {

TEST(BtnMenu, ChildMenuClicksReachTheOwnerWithBothItems) {
    Recorder owner;
    std::vector<skin::BMPMENUINFO> items = menuItems(3);
    items[1].hasSubmenu = true;
    items[1].subItems = menuItems(2);
    items[1].subItems[1].value = 7;
    skin::CBtnMenu menu(&owner, items);
    menu.setPictureImages(solid(120, 30, 0xFF303030), solid(120, 30, 0xFF505050), {}, {}, true);
    menu.setPosition(0, 0);
    menu.Create(-1);
    // An item with a submenu sends no click of its own.
    mouse(*menu.row(1), QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    mouse(*menu.row(1), QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(owner.messages.empty());
    menu.OpenChildFor(1);
    skin::CBtnMenu* child = menu.childMenu();
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(child->pos(), QPoint(menu.frameGeometry().right() + 1, 30));
    mouse(*child->row(1), QEvent::MouseButtonPress, {5, 5}, Qt::LeftButton, Qt::LeftButton);
    mouse(*child->row(1), QEvent::MouseButtonRelease, {5, 5}, Qt::LeftButton, Qt::NoButton);
    ASSERT_EQ(owner.messages.size(), 1u);
    EXPECT_EQ(owner.messages[0].id, skin::kMenuClick);
    EXPECT_EQ(owner.messages[0].wParam, skin::makeWord(1, 1));  // child item low, parent item high
    EXPECT_EQ(static_cast<std::uintptr_t>(owner.messages[0].lParam), skin::makeWord(7, 101));
}

}  // namespace
}  // namespace skintest

namespace skintest {
namespace {

TEST_F(ButtonTest, ListButtonDrawsIconsItemsAndReportsThem) {
    skin::CBitmapListBtn list;
    skin::CreateSkinButton(list, "WarnDlg", "PUSH", context(), &parent, false, 0, 0, -1);
    list.setIcons({solid(10, 10, 0xFFFF0000)}, QPoint(2, 2));
    list.setIconSelection(1, 0x00FF00);  // green fill over the red icon
    list.setItems({{QRect(60, 0, 20, 20), solid(4, 4, 0xFF0000FF), solid(4, 4, 0xFFFFFF00), false}});
    QImage shown = list.grab().toImage();
    EXPECT_EQ(shown.pixel(2, 2), 0xFFFF0000u);    // the icon's edge
    EXPECT_EQ(shown.pixel(5, 5), 0xFF00FF00u);    // its filled inside
    EXPECT_EQ(shown.pixel(70, 10), 0xFF0000FFu);  // the item picture, centred
    mouse(list, QEvent::MouseMove, {70, 10}, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(list.grab().toImage().pixel(70, 10), 0xFFFFFF00u);  // hovered item
    list.setIconSelection(0, -1);
    EXPECT_EQ(list.grab().toImage().pixel(5, 5), kOver);  // hidden icon, hovered button

    parent.messages.clear();
    list.setIconSelection(1, -1);
    mouse(list, QEvent::MouseButtonPress, {4, 4}, Qt::LeftButton, Qt::LeftButton);
    EXPECT_FALSE(list.isPressed());
    EXPECT_EQ(parent.count(skin::kWmCommand, skin::makeWord(0, skin::kListItemCode)), 1);
    mouse(list, QEvent::MouseButtonPress, {70, 10}, Qt::LeftButton, Qt::LeftButton);
    mouse(list, QEvent::MouseButtonRelease, {70, 10}, Qt::LeftButton, Qt::NoButton);
    platform::pumpEvents(2);
    EXPECT_EQ(parent.count(skin::kWmCommand, skin::makeWord(1, skin::kListItemCode)), 1);  // item 0 as 1
}

}  // namespace
}  // namespace skintest
