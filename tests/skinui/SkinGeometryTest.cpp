#include "skin/SkinGeometry.h"

#include <gtest/gtest.h>

namespace skin {
namespace {

using P = ButtonPicture;
using C = ButtonColour;

struct LookCase {
    ButtonState state;
    ButtonLook lumenstra;
    ButtonLook nimbrel;
};

// toggle, inverted, checked, hover, pressed, disabled
const LookCase kLookCases[] = {
    // toggle buttons: disabled wins, then checked, hover, pressed
    {{true, false, true, true, true, true}, {P::Disable, C::Disabled}, {P::Disable, C::Disabled}},
    {{true, false, true, true, false, false}, {P::Down, C::Down}, {P::Down, C::Over}},
    {{true, false, false, true, true, false}, {P::Over, C::Over}, {P::Normal, C::Normal}},
    {{true, false, false, false, true, false}, {P::Down, C::Down}, {P::Normal, C::Normal}},
    {{true, false, false, false, false, false}, {P::Normal, C::Normal}, {P::Normal, C::Normal}},
    // push buttons: checked and hovered shows the down picture in the over colour
    {{false, false, true, true, false, false}, {P::Down, C::Over}, {P::Down, C::Normal}},
    {{false, false, true, false, false, true}, {P::Down, C::Over}, {P::Disable, C::Disabled}},
    {{false, false, false, true, true, false}, {P::Down, C::Down}, {P::Down, C::Over}},
    {{false, false, false, true, false, false}, {P::Over, C::Over}, {P::Over, C::Over}},
    {{false, false, false, true, false, true}, {P::Over, C::Over}, {P::Disable, C::Disabled}},
    {{false, false, false, false, false, true}, {P::Disable, C::Disabled}, {P::Disable, C::Disabled}},
    {{false, false, false, false, false, false}, {P::Normal, C::Normal}, {P::Normal, C::Normal}},
    // inverted push buttons show the over picture at rest
    {{false, true, false, false, false, false}, {P::Over, C::Over}, {P::Over, C::Over}},
    {{false, true, false, true, false, false}, {P::Normal, C::Normal}, {P::Normal, C::Normal}},
    {{false, true, true, false, false, true}, {P::Normal, C::Normal}, {P::Normal, C::Normal}},
    {{false, true, false, false, false, true}, {P::Disable, C::Disabled}, {P::Disable, C::Disabled}},
};

TEST(ButtonLook, FollowsTheDrawingTables) {
    for (const LookCase& c : kLookCases) {
        SCOPED_TRACE(testing::Message() << "toggle " << c.state.toggle << " inverted " << c.state.inverted
                                        << " checked " << c.state.checked << " hover " << c.state.hover << " pressed "
                                        << c.state.pressed << " disabled " << c.state.disabled);
        EXPECT_EQ(ChooseButtonLook(c.state), c.lumenstra);
        EXPECT_EQ(ChooseNimbrelButtonLook(c.state), c.nimbrel);
    }
}

TEST(SliderGeometry, PlacesTheThumbAndReadsValuesAtTheEdges) {
    const SliderGeometry g{200, 20, 0, 255};
    EXPECT_EQ(g.thumbLeft(255), 180);
    EXPECT_EQ(g.thumbLeft(0), 0);
    EXPECT_EQ(g.thumbLeft(128), 90);  // 180 / 255 * 128 = 90.35, truncated
    struct {
        int x;
        int value;
    } cases[] = {{5, 0}, {195, 255}, {19, 0}, {20, 14}, {101, 129}, {190, 255}};
    for (const auto& c : cases) EXPECT_EQ(g.valueAt(c.x), c.value) << "x " << c.x;
}

TEST(SliderGeometry, FillReachesTheThumbCentreAndAnEmptyRangeStaysPut) {
    const SliderGeometry g{200, 20, 0, 4};
    EXPECT_EQ(g.fillWidth(0), 10);
    EXPECT_EQ(g.fillWidth(4), 190);
    const SliderGeometry empty{200, 20, 3, 3};
    EXPECT_EQ(empty.thumbLeft(3), 0);
    EXPECT_EQ(empty.valueAt(100), 3);
}

TEST(ScrollBarGeometry, ThumbSizeAndPlace) {
    struct Case {
        int length, cell, minimum, maximum, page, position;
        bool arrows, fixedThumb;
        int track, thumb, start;
    };
    const Case cases[] = {
        {100, 10, 0, 4, 3, 0, true, false, 80, 48, 10},     {100, 10, 0, 4, 3, 2, true, false, 80, 48, 42},
        {23, 10, 0, 4, 3, 0, true, false, 3, 0, 10},      // a 3-pixel track shows no thumb
        {100, 10, 0, 2, 3, 0, true, false, 80, 0, 50},    // everything visible: no thumb
        {100, 10, 0, 999, 1, 0, true, false, 80, 4, 10},  // tiny thumbs stay 4 pixels long
        {100, 10, 0, 99, 10, 90, false, true, 100, 10, 90},
    };
    for (const Case& c : cases) {
        ScrollBarGeometry g;
        g.length = c.length;
        g.cellSize = c.cell;
        g.arrows = c.arrows;
        g.fixedThumb = c.fixedThumb;
        g.minimum = c.minimum;
        g.maximum = c.maximum;
        g.page = c.page;
        g.position = c.position;
        SCOPED_TRACE(testing::Message() << "length " << c.length << " position " << c.position);
        EXPECT_EQ(g.trackLength(), c.track);
        EXPECT_EQ(g.thumbLength(), c.thumb);
        EXPECT_EQ(g.thumbStart(), c.start);
    }
}

TEST(ScrollBarGeometry, HitTestAlongTheBar) {
    ScrollBarGeometry g;
    g.length = 100;
    g.cellSize = 10;
    g.maximum = 4;
    g.page = 3;
    g.position = 1;  // thumb 26..73
    const struct {
        int at;
        ScrollHit hit;
    } cases[] = {{0, ScrollHit::LineUp},    {9, ScrollHit::LineUp},    {10, ScrollHit::PageUp},
                 {25, ScrollHit::PageUp},   {26, ScrollHit::Thumb},    {73, ScrollHit::Thumb},
                 {74, ScrollHit::PageDown}, {89, ScrollHit::PageDown}, {90, ScrollHit::LineDown},
                 {99, ScrollHit::LineDown}};
    for (const auto& c : cases) EXPECT_EQ(g.hitTest(c.at), c.hit) << "at " << c.at;
    g.trackingPosition = 2;
    EXPECT_EQ(g.thumbStart(), 42);
    EXPECT_EQ(g.positionForThumbStart(42), 2);
    EXPECT_EQ(g.positionForThumbStart(500), 2);
}

TEST(MenuGeometry, FirstVisibleItemStaysInRange) {
    const struct {
        int first, items, rows, expected;
    } cases[] = {{0, 5, 3, 0}, {2, 5, 3, 2}, {3, 5, 3, 2}, {99, 5, 3, 2}, {-4, 5, 3, 0}, {1, 2, 3, 0}};
    for (const auto& c : cases) EXPECT_EQ(ClampFirstVisible(c.first, c.items, c.rows), c.expected);
}

TEST(MenuGeometry, ChildMenusStayOnTheScreen) {
    // Parent from x 100 to 300; child 200 wide, 3 rows of 40 on a 1920 x 1080 screen.
    EXPECT_EQ(CascadePlacement(100, 300, 200, 200, 3, 40, 1920, 1080), (MenuPlacement{300, 200}));
    // Near the right edge the child opens to the left of the parent.
    EXPECT_EQ(CascadePlacement(1700, 1900, 200, 200, 3, 40, 1920, 1080), (MenuPlacement{1500, 200}));
    // Near the bottom it is lifted by whole rows: 1000 + 120 - 1080 = 40, one row.
    EXPECT_EQ(CascadePlacement(1700, 1900, 1000, 200, 3, 40, 1920, 1080), (MenuPlacement{1500, 960}));
    // 1050 + 120 - 1080 = 90: three rows.
    EXPECT_EQ(CascadePlacement(100, 300, 1050, 200, 3, 40, 1920, 1080), (MenuPlacement{300, 930}));
}

TEST(ProgressBand, WidthIsTheDoneShare) {
    EXPECT_EQ(ProgressBandWidth(400, 50), 200);
    EXPECT_EQ(ProgressBandWidth(400, 0), 0);
    EXPECT_EQ(ProgressBandWidth(400, 100), 400);
    EXPECT_EQ(ProgressBandWidth(333, 33), 109);
}

}  // namespace
}  // namespace skin
