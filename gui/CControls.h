// The standard controls: knobs, buttons, switches, a film-strip bitmap and the splash screen.
// Multi-image bitmaps stack their images vertically, each `heightOfOneImage` pixels high.
#pragma once

#include "gui/CControl.h"

namespace VSTGUI {

// A knob: linear drags when the frame asks for linear handling and Alt is not held, otherwise it
// follows the pointer's angle around its centre over a 270-degree sweep from 7:30 to 4:30.
class CKnob : public CControl
{
public:
    CKnob(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
          CBitmap* handle = nullptr, const CPoint& offset = CPoint(0, 0));
    CKnob(const CKnob& other);
    ~CKnob() override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const int32_t& buttons) override;
    bool onWheel(const CPoint& where, const float& distance, const int32_t& buttons) override;

    // Pixels of linear drag that cover the whole range; Shift multiplies them by the zoom factor.
    void setLinearRange(float pixels) { linearRange = pixels > 0.f ? pixels : 200.f; }
    float getLinearRange() const { return linearRange; }
    void setZoomFactor(float factor) { zoomFactor = factor > 0.f ? factor : 1.f; }
    float getZoomFactor() const { return zoomFactor; }
    void setColorHandle(const CColor& color) { colorHandle = color; }
    void setColorShadowHandle(const CColor& color) { colorShadowHandle = color; }
    void setInsetValue(CCoord inset) { insetValue = inset; }
    // The value the pointer's angle at `where` (parent coordinates) stands for.
    virtual float valueFromPoint(const CPoint& where) const;

    MORVEK2_GUI_TYPE(CKnob, CControl)

protected:
    // The handle's end point for the current value (parent coordinates).
    CPoint valueToPoint() const;
    // Value between 0 and 1 for drawing.
    float normalizedValue() const;
    bool isLinear(int32_t buttons) const;

    CBitmap* pHandle = nullptr;
    CPoint offset;
    CColor colorHandle = kWhiteCColor;
    CColor colorShadowHandle = kGreyCColor;
    CCoord insetValue = 3;
    float startAngle = 135.f; // degrees clockwise from 3 o'clock
    float rangeAngle = 270.f;
    float linearRange = 200.f;
    float zoomFactor = 1.5f;

    CPoint firstPoint;
    float startValue = 0.f;
    int32_t lastButtons = 0;
    bool dragging = false;
};

// A knob drawn from a vertical film strip of `subPixmaps` images.
class CAnimKnob : public CKnob
{
public:
    CAnimKnob(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
              CCoord heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint(0, 0));
    void draw(CDrawContext* context) override;
    int32_t getNumSubPixmaps() const { return subPixmaps; }
    CCoord getHeightOfOneImage() const { return heightOfOneImage; }

    MORVEK2_GUI_TYPE(CAnimKnob, CKnob)

protected:
    int32_t subPixmaps;
    CCoord heightOfOneImage;
};

// A two-state button: the bitmap's upper half when off, the lower half when on; a click toggles.
class COnOffButton : public CControl
{
public:
    COnOffButton(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
                 int32_t style = 0);
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const int32_t& buttons) override;
    int32_t getStyle() const { return style; }

    MORVEK2_GUI_TYPE(COnOffButton, CControl)

protected:
    bool isOn() const;
    int32_t style;
};

// A button that is pressed while the pointer stays on it: the press remembers the value, and
// while the button is held the value is the opposite one inside the button and the remembered
// one outside.
class CMovieButton : public CControl
{
public:
    CMovieButton(const CRect& size, CControlListener* listener, int32_t tag,
                 CCoord heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint(0, 0));
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const int32_t& buttons) override;
    CCoord getHeightOfOneImage() const { return heightOfOneImage; }

    MORVEK2_GUI_TYPE(CMovieButton, CControl)

protected:
    CPoint offset;
    CCoord heightOfOneImage;
    float entryState = 0.f;
    bool pressed = false;
};

// A switch of `maxPositions` positions laid side by side (horizontal) or stacked (vertical);
// pressing and dragging picks the position under the pointer.
class CSwitchBase : public CControl
{
public:
    CSwitchBase(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
                CCoord heightOfOneImage, int32_t maxPositions, CBitmap* background,
                const CPoint& offset, bool horizontal);
    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const int32_t& buttons) override;
    int32_t getNumSubPixmaps() const { return subPixmaps; }
    int32_t getMaxPositions() const { return maxPositions; }

protected:
    float valueAt(const CPoint& where) const;

    CPoint offset;
    int32_t subPixmaps;
    CCoord heightOfOneImage;
    int32_t maxPositions;
    bool horizontal;
};

class CHorizontalSwitch : public CSwitchBase
{
public:
    CHorizontalSwitch(const CRect& size, CControlListener* listener, int32_t tag,
                      int32_t subPixmaps, CCoord heightOfOneImage, int32_t maxPositions,
                      CBitmap* background, const CPoint& offset = CPoint(0, 0));
    MORVEK2_GUI_TYPE(CHorizontalSwitch, CControl)
};

class CVerticalSwitch : public CSwitchBase
{
public:
    CVerticalSwitch(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
                    CCoord heightOfOneImage, int32_t maxPositions, CBitmap* background,
                    const CPoint& offset = CPoint(0, 0));
    MORVEK2_GUI_TYPE(CVerticalSwitch, CControl)
};

// Shows the image of a film strip that matches the value; no mouse handling.
class CMovieBitmap : public CControl
{
public:
    CMovieBitmap(const CRect& size, CControlListener* listener, int32_t tag, int32_t subPixmaps,
                 CCoord heightOfOneImage, CBitmap* background, const CPoint& offset = CPoint(0, 0));
    void draw(CDrawContext* context) override;
    MORVEK2_GUI_TYPE(CMovieBitmap, CControl)

protected:
    CPoint offset;
    int32_t subPixmaps;
    CCoord heightOfOneImage;
};

// A click area that shows its bitmap over `toDisplay` as the frame's modal view until the shown
// picture is clicked.
class CSplashScreen : public CControl
{
public:
    CSplashScreen(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background,
                  const CRect& toDisplay, const CPoint& offset = CPoint(0, 0));
    CSplashScreen(const CSplashScreen& other);
    ~CSplashScreen() override;

    void draw(CDrawContext* context) override;
    CMouseEventResult onMouseDown(CPoint& where, const int32_t& buttons) override;
    // Closes the shown picture (as a click on it does).
    virtual void unSplash(); // [ui]
    bool isSplashing() const { return modalView != nullptr; }
    const CRect& getDisplayRect() const { return toDisplay; }

    MORVEK2_GUI_TYPE(CSplashScreen, CControl)

protected:
    friend class CSplashScreenView;
    void closeView();

    CRect toDisplay;
    CPoint offset;
    class CSplashScreenView* modalView = nullptr;
};

} // namespace VSTGUI
