#include "skin/SkinGeometry.h"

#include <algorithm>
#include <cmath>

namespace skin {

ButtonLook ChooseButtonLook(const ButtonState& s) {
    using P = ButtonPicture;
    using C = ButtonColour;
    if (s.toggle) {
        if (s.disabled) return {P::Disable, C::Disabled};
        if (s.checked) return {P::Down, C::Down};
        if (s.hover) return {P::Over, C::Over};
        if (s.pressed) return {P::Down, C::Down};
        return {P::Normal, C::Normal};
    }
    if (s.inverted) {
        if (s.hover || s.checked || s.pressed) return {P::Normal, C::Normal};
        if (s.disabled) return {P::Disable, C::Disabled};
        return {P::Over, C::Over};
    }
    if (s.checked) return {P::Down, C::Over};
    if (s.pressed) return {P::Down, C::Down};
    if (s.hover) return {P::Over, C::Over};
    if (s.disabled) return {P::Disable, C::Disabled};
    return {P::Normal, C::Normal};
}

ButtonLook ChooseNimbrelButtonLook(const ButtonState& s) {
    using P = ButtonPicture;
    using C = ButtonColour;
    if (s.toggle) {
        if (s.disabled) return {P::Disable, C::Disabled};
        if (s.checked) return {P::Down, C::Over};
        return {P::Normal, C::Normal};
    }
    if (s.inverted) {
        if (s.hover || s.checked || s.pressed) return {P::Normal, C::Normal};
        if (s.disabled) return {P::Disable, C::Disabled};
        return {P::Over, C::Over};
    }
    if (s.disabled) return {P::Disable, C::Disabled};
    if (s.checked) return {P::Down, C::Normal};
    if (s.pressed) return {P::Down, C::Over};
    if (s.hover) return {P::Over, C::Over};
    return {P::Normal, C::Normal};
}

namespace {
// Pixels per value step; 0 for an empty range, which pins the thumb to the left.
double stepWidth(const SliderGeometry& g) {
    const int range = g.maximum - g.minimum;
    return range == 0 ? 0.0 : static_cast<double>(g.width - g.thumbWidth) / range;
}
}  // namespace

int SliderGeometry::thumbLeft(int value) const { return static_cast<int>(stepWidth(*this) * (value - minimum)); }

int SliderGeometry::valueAt(int x) const {
    const int d = x - thumbWidth / 2;
    if (d > width - thumbWidth) return maximum;
    if (d < thumbWidth / 2) return minimum;
    const double step = stepWidth(*this);
    if (step <= 0.0) return minimum;
    const int value = minimum + static_cast<int>(std::floor(d / step + 0.5));
    return std::min(value, maximum);
}

int SliderGeometry::fillWidth(int value) const {
    return static_cast<int>((value - minimum) * stepWidth(*this)) + thumbWidth / 2;
}

int ScrollBarGeometry::trackLength() const { return std::max(0, length - 2 * arrowLength()); }

int ScrollBarGeometry::thumbLength() const {
    const int track = trackLength();
    if (track <= 3 || maximum + 1 - minimum - page == 0) return 0;
    const int span = maximum - minimum + 1;
    const int thumb = fixedThumb ? cellSize : (span <= 0 ? track : page * track / span);
    return std::min(track, std::max(4, thumb));
}

int ScrollBarGeometry::thumbStart() const {
    const int free = trackLength() - thumbLength();
    const int divisor = maximum - minimum - page + 1;
    const int at = (trackingPosition >= 0 ? trackingPosition : position) - minimum;
    const int offset = divisor == 0 ? free / 2 : free * std::clamp(at, 0, std::max(0, divisor)) / divisor;
    return arrowLength() + offset;
}

ScrollHit ScrollBarGeometry::hitTest(int along) const {
    if (along < arrowLength()) return ScrollHit::LineUp;
    if (along >= length - arrowLength()) return ScrollHit::LineDown;
    const int thumb = thumbLength();
    if (thumb == 0) return along < arrowLength() + trackLength() / 2 ? ScrollHit::PageUp : ScrollHit::PageDown;
    const int start = thumbStart();
    if (along < start) return ScrollHit::PageUp;
    if (along < start + thumb) return ScrollHit::Thumb;
    return ScrollHit::PageDown;
}

int ScrollBarGeometry::positionForThumbStart(int start) const {
    const int free = trackLength() - thumbLength();
    const int divisor = maximum - minimum - page + 1;
    if (free <= 0 || divisor <= 0) return minimum;
    const int offset = std::clamp(start - arrowLength(), 0, free);
    return minimum + (offset * divisor + free / 2) / free;
}

int ClampFirstVisible(int first, int items, int rows) { return std::clamp(first, 0, std::max(0, items - rows)); }

MenuPlacement CascadePlacement(int parentLeft, int parentRight, int rowTop, int childWidth, int rows, int itemHeight,
                               int screenWidth, int screenHeight) {
    MenuPlacement placement{parentRight, rowTop};
    if (placement.x + childWidth > screenWidth) placement.x = parentLeft - childWidth;
    const int bottom = placement.y + rows * itemHeight;
    if (itemHeight > 0 && bottom > screenHeight - itemHeight) {
        const int over = bottom - screenHeight;
        const int lift = over > 0 ? (over + itemHeight - 1) / itemHeight : 0;
        placement.y -= lift * itemHeight;
    }
    return placement;
}

int ProgressBandWidth(int width, int percent) { return width * percent / 100; }

}  // namespace skin
