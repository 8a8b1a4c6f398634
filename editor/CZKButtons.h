// Bitmap buttons of the editor: a button that is on only while held (the lane commands) and a
// two-frame on/off button (module buttons, mute, solo, reset switches).
#pragma once

#include "gui/CControls.h"

#include <cstdint>

namespace VSTGUI {

// On while pressed: the listener hears 1 on the press and 0 on the release, wherever the
// pointer is let go; in between the picture follows whether the pointer is on the button.
class CMomentaryButton : public COnOffButton
{
public:
    CMomentaryButton(const CRect& size, CControlListener* listener, int32_t tag,
                     CBitmap* background);

    CMouseEventResult onMouseDown(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseMoved(CPoint& where, const int32_t& buttons) override;
    CMouseEventResult onMouseUp(CPoint& where, const int32_t& buttons) override;

    CView* newCopy() const override { return new CMomentaryButton(*this); }

protected:
    bool pressed = false;
};

// The framework's movie button with two frames, each as high as the control: the upper one off,
// the lower one on.
class CZKMovieButton : public CMovieButton
{
public:
    CZKMovieButton(const CRect& size, CControlListener* listener, int32_t tag, CBitmap* background);

    void draw(CDrawContext* context) override; // [ui]
    float getLastDrawnValue() const { return lastDrawnValue; }

    MORVEK2_GUI_TYPE(CZKMovieButton, CMovieButton)

protected:
    float lastDrawnValue = 0.f;
};

} // namespace VSTGUI
