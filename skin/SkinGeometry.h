#pragma once

#include <cstdint>

// Geometry of the skinned controls, free of any window so that tests and
// tools use the same numbers the controls draw with.
namespace skin {

// Which picture and caption colour a button shows.
enum class ButtonPicture { Normal, Over, Down, Disable };
enum class ButtonColour { Normal, Over, Down, Disabled };

struct ButtonState {
    bool toggle = false;
    bool inverted = false;
    bool checked = false;
    bool hover = false;
    bool pressed = false;
    bool disabled = false;
};

struct ButtonLook {
    ButtonPicture picture = ButtonPicture::Normal;
    ButtonColour colour = ButtonColour::Normal;
    bool operator==(const ButtonLook&) const = default;
};

// Lumenstra's buttons: the first matching row of the toggle, push or inverted table.
ButtonLook ChooseButtonLook(const ButtonState& state);
// Nimbrel's buttons: fewer rows; Over stands for its shared over-and-down colour.
ButtonLook ChooseNimbrelButtonLook(const ButtonState& state);

// A horizontal value slider of `width` pixels with a thumb `thumbWidth` wide.
struct SliderGeometry {
    int width = 0;
    int thumbWidth = 0;
    int minimum = 0;
    int maximum = 10;

    int thumbLeft(int value) const;
    // x is relative to the slider's left edge.
    int valueAt(int x) const;
    // Width of the filled part of the track left of the thumb's centre.
    int fillWidth(int value) const;
};

enum class ScrollHit { LineUp, PageUp, Thumb, PageDown, LineDown };

// A scroll bar along one axis: `length` pixels, arrows one cell long.
struct ScrollBarGeometry {
    int length = 0;
    int cellSize = 0;  // arrow length and fixed thumb length
    bool arrows = true;
    bool fixedThumb = false;
    int minimum = 0;
    int maximum = 0;
    int page = 0;
    int position = 0;
    int trackingPosition = -1;  // used instead of position while the thumb is dragged

    int arrowLength() const { return arrows ? cellSize : 0; }
    int trackLength() const;
    int thumbLength() const;
    // Offset of the thumb from the start of the bar.
    int thumbStart() const;
    ScrollHit hitTest(int along) const;
    // The position a thumb start offset stands for (for dragging).
    int positionForThumbStart(int start) const;
};

// The first visible item of a list of `items` showing `rows` rows.
int ClampFirstVisible(int first, int items, int rows);

struct MenuPlacement {
    int x = 0;
    int y = 0;
    bool operator==(const MenuPlacement&) const = default;
};

// Where a child menu opens beside its parent: right of it, or left when it
// would leave the screen, and lifted by whole rows when it would reach below
// the last item-high band of the screen. Coordinates are screen pixels.
MenuPlacement CascadePlacement(int parentLeft, int parentRight, int rowTop, int childWidth, int rows, int itemHeight,
                               int screenWidth, int screenHeight);

// Width of a progress band: the left width * percent / 100 pixels.
int ProgressBandWidth(int width, int percent);

}  // namespace skin
