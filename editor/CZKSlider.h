// Sliders drawn with vector graphics: the plain bar slider, the sequence-length bracket and the
// thin bipolar modulation-amount slider. A press jumps to the pointer, a drag moves the value by
// the pointer's travel (finer with Shift), Control+click resets to the default.
#pragma once

#include "gui/CControl.h"

#include <cstdint>

namespace VSTGUI {

class CZKVSlider : public CControl
{
public:
    // Style bits.
    static constexpr int32_t kHorizontal = 0x01;
    static constexpr int32_t kFromLeft = 0x08; // horizontal bar grows from the left
    static constexpr int32_t kInverse = 0x10;  // horizontal value inverted
    static constexpr int32_t kFromBottom =
        0x40; // vertical bar grows from the bottom, value inverted
    static constexpr int32_t kBipolar = 0x2000; // the bar starts at the centre

    CZKVSlider(const CRect& size, CControlListener* listener, int32_t tag, CColor frameColour,
               CColor fillColour, CColor backgroundColour, int32_t style);

    virtual void setFrameWidth(CCoord width, bool redraw = true); // [ui]
    virtual void setFineFactor(float factor) { fineFactor = factor; }
    // The bar for the current value (parent coordinates).
    virtual void valueRect(CRect& rect) const; // [ui]
    // The value the pointer at `where` stands for, 0..1.
    virtual float valueAt(const CPoint& where) const; // [ui]
    // The value change of a drag from `start` to `where`.
    virtual float valueDelta(const CPoint& where, const CPoint& start) const; // [ui]

    void draw(CDrawContext* context) override; // [ui]
    CMouseEventResult onMouseDown(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const int32_t& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const int32_t& buttons) override;

    int32_t getStyle() const { return style; }
    float getFineFactor() const { return fineFactor; }
    CCoord getFrameWidth() const { return frameWidth; }
    CColor getFrameColour() const { return frameColour; }
    CColor getFillColour() const { return fillColour; }
    CColor getBackgroundColour() const { return backgroundColour; }

    MORVEK2_GUI_TYPE(CZKVSlider, CControl)

protected:
    // The value drawn, limited to 0..1 of the range.
    float drawnFraction() const;

    CColor frameColour;
    CColor fillColour;
    CColor backgroundColour;
    CCoord width;
    CCoord height;
    int32_t style;
    float dragStartValue = 0.f;
    CPoint dragStartPoint;
    int32_t dragStartButtons = 0;
    float fineFactor = 0.2f;
    CCoord frameWidth = 1;
    bool dragging = false;
};

// A horizontal slider; it exists as a class of its own for the bracket to derive from.
class CZKVHorizontalSlider : public CZKVSlider
{
public:
    using CZKVSlider::CZKVSlider;
    CView* newCopy() const override { return new CZKVHorizontalSlider(*this); }
};

// The sequence-length bracket: a line up the left edge, along the top to the value's position
// and down again, with a small square at the corner. The end lies one step width further right
// than the value's share of the width, so it can reach beyond the control's right edge.
class CZKVBracketSlider : public CZKVHorizontalSlider
{
public:
    CZKVBracketSlider(const CRect& size, CControlListener* listener, int32_t tag,
                      CColor frameColour, CColor fillColour, CColor backgroundColour, int32_t style,
                      int16_t stepCount = 32, CCoord stepWidth = 11);

    void setStepCount(int16_t count) { stepCount = count; }
    int16_t getStepCount() const { return stepCount; }
    void setStepWidth(CCoord w) { stepWidth = w; }
    CCoord getStepWidth() const { return stepWidth; }
    // The x of the bracket's end for the current value (parent coordinates).
    CCoord endX() const; // [ui]
    // What the bracket covers: its rectangle plus the end marker's reach.
    CRect drawBounds() const;

    void draw(CDrawContext* context) override;                              // [ui]
    void drawRect(CDrawContext* context, const CRect& updateRect) override; // [ui]
    bool checkUpdate(const CRect& updateRect) const override;               // [ui]
    void invalid() override { invalidRect(drawBounds()); }                  // [ui]
    CRect drawingBounds() const override { return drawBounds(); }

    MORVEK2_GUI_TYPE(CZKVBracketSlider, CZKVSlider)

protected:
    int16_t stepCount;
    CCoord stepWidth;
    CCoord lastDrawnEnd = -1;
};

// The modulation-amount slider under a knob: a dim middle line and a bar from the centre towards
// the value; its own frame and background colours are not drawn.
class CZKmv2ModVSlider : public CZKVSlider
{
public:
    CZKmv2ModVSlider(const CRect& size, CControlListener* listener, int32_t tag, CColor frameColour,
                     CColor fillColour, CColor backgroundColour,
                     int32_t style = kHorizontal | kBipolar);

    void draw(CDrawContext* context) override; // [ui]

    MORVEK2_GUI_TYPE(CZKmv2ModVSlider, CZKVSlider)
};

} // namespace VSTGUI
