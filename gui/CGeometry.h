// Plain value types of the view framework: points, rectangles, colours, mouse button bits and
// the answers of mouse handlers. Coordinates are window pixels, y downwards.
#pragma once

#include <algorithm>
#include <cstdint>

namespace VSTGUI {

using CCoord = int32_t;

struct CPoint
{
    CCoord x = 0;
    CCoord y = 0;

    constexpr CPoint() = default;
    constexpr CPoint(CCoord x_, CCoord y_) : x(x_), y(y_) {}

    CPoint& offset(CCoord dx, CCoord dy)
    {
        x += dx;
        y += dy;
        return *this;
    }
    constexpr bool operator==(const CPoint&) const = default;
};

// Rectangles are half-open: a point is inside when left <= x < right and top <= y < bottom.
struct CRect
{
    CCoord left = 0;
    CCoord top = 0;
    CCoord right = 0;
    CCoord bottom = 0;

    constexpr CRect() = default;
    constexpr CRect(CCoord l, CCoord t, CCoord r, CCoord b) : left(l), top(t), right(r), bottom(b)
    {}

    constexpr CCoord width() const { return right - left; }
    constexpr CCoord height() const { return bottom - top; }
    constexpr CCoord getWidth() const { return width(); }
    constexpr CCoord getHeight() const { return height(); }
    constexpr bool isEmpty() const { return right <= left || bottom <= top; }
    constexpr CPoint getTopLeft() const { return {left, top}; }

    CRect& offset(CCoord dx, CCoord dy)
    {
        left += dx;
        right += dx;
        top += dy;
        bottom += dy;
        return *this;
    }
    CRect& moveTo(CCoord x, CCoord y) { return offset(x - left, y - top); }
    CRect& setWidth(CCoord w)
    {
        right = left + w;
        return *this;
    }
    CRect& setHeight(CCoord h)
    {
        bottom = top + h;
        return *this;
    }
    // Shrinks by dx on the left and right and by dy on the top and bottom (negative grows).
    CRect& inset(CCoord dx, CCoord dy)
    {
        left += dx;
        right -= dx;
        top += dy;
        bottom -= dy;
        return *this;
    }
    constexpr bool pointInside(const CPoint& p) const
    {
        return p.x >= left && p.x < right && p.y >= top && p.y < bottom;
    }
    constexpr bool rectOverlap(const CRect& r) const
    {
        return !isEmpty() && !r.isEmpty() && r.left < right && r.right > left && r.top < bottom &&
               r.bottom > top;
    }
    // Intersection with `r`; an empty result collapses to a zero-sized rectangle.
    CRect& bound(const CRect& r)
    {
        left = std::max(left, r.left);
        top = std::max(top, r.top);
        right = std::min(right, r.right);
        bottom = std::min(bottom, r.bottom);
        if (right < left) {
            right = left;
        }
        if (bottom < top) {
            bottom = top;
        }
        return *this;
    }
    // Smallest rectangle holding both; an empty operand does not count.
    CRect& unite(const CRect& r)
    {
        if (r.isEmpty()) {
            return *this;
        }
        if (isEmpty()) {
            return *this = r;
        }
        left = std::min(left, r.left);
        top = std::min(top, r.top);
        right = std::max(right, r.right);
        bottom = std::max(bottom, r.bottom);
        return *this;
    }
    constexpr bool operator==(const CRect&) const = default;
};

struct CColor
{
    uint8_t red = 0;
    uint8_t green = 0;
    uint8_t blue = 0;
    uint8_t alpha = 255;
    constexpr bool operator==(const CColor&) const = default;
};

constexpr CColor MakeCColor(uint8_t r = 0, uint8_t g = 0, uint8_t b = 0, uint8_t a = 255)
{
    return CColor{r, g, b, a};
}

inline constexpr CColor kTransparentCColor{255, 255, 255, 0};
inline constexpr CColor kBlackCColor{0, 0, 0, 255};
inline constexpr CColor kWhiteCColor{255, 255, 255, 255};
inline constexpr CColor kGreyCColor{127, 127, 127, 255};
inline constexpr CColor kRedCColor{255, 0, 0, 255};
inline constexpr CColor kGreenCColor{0, 255, 0, 255};
inline constexpr CColor kBlueCColor{0, 0, 255, 255};

// Bits of the button set handed to mouse handlers: buttons and the modifier keys held.
enum CButton : int32_t {
    kLButton = 0x02,
    kMButton = 0x04,
    kRButton = 0x08,
    kShift = 0x10,
    kControl = 0x20,
    kAlt = 0x40,
    kApple = 0x80,
    kDoubleClick = 0x100,
};
inline constexpr int32_t kModifierMask = kShift | kControl | kAlt | kApple;

// A key as the host reports it: the character, a virtual key code and modifier bits.
struct CKeyCode
{
    int32_t character = 0;
    int32_t virt = 0;
    int32_t modifier = 0;
};

enum CMouseEventResult : int32_t {
    kMouseEventNotImplemented = 0,
    kMouseEventHandled = 1,
    kMouseEventNotHandled = 2,
    // The press was consumed and the view wants no moved or up events for it.
    kMouseDownEventHandledButDontNeedMovedOrUpEvents = 3,
};

enum CDrawStyle : int32_t { kDrawStroked = 0, kDrawFilled, kDrawFilledAndStroked };

enum CDrawMode : int32_t { kAliasing = 0, kAntialias = 1, kCopyMode = kAliasing };

enum CCursorType : int32_t {
    kCursorDefault = 0,
    kCursorWait,
    kCursorHSize,
    kCursorVSize,
    kCursorSizeAll,
    kCursorHand,
    kCursorNotAllowed,
};

// The same numbers as the host interface's knob modes (0 circular, 1 relative circular, 2 linear).
enum CKnobMode : int32_t {
    kKnobModeCircular = 0,
    kKnobModeRelativeCircular = 1,
    kKnobModeLinear = 2,
};

} // namespace VSTGUI
