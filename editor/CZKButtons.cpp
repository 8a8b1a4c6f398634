#include "editor/CZKButtons.h"

#include "gui/CBitmap.h"

#include <algorithm>
#include <cmath>

namespace VSTGUI {

// ----------------------------------------------------------------------------- CMomentaryButton

CMomentaryButton::CMomentaryButton(const CRect& size_, CControlListener* listener_, int32_t tag_,
                                   CBitmap* background)
    : COnOffButton(size_, listener_, tag_, background)
{
    CControl::setValue(0.f);
}

CMouseEventResult CMomentaryButton::onMouseDown(CPoint& where, const int32_t& buttons)
{
    if (!(buttons & kLButton)) {
        return kMouseEventNotHandled;
    }
    pressed = true;
    beginEdit();
    value = 1.f;
    valueChanged();
    invalid();
    onMouseMoved(where, buttons);
    return kMouseEventHandled;
}

CMouseEventResult CMomentaryButton::onMouseMoved(CPoint& where, const int32_t& buttons)
{
    if (!pressed) {
        return kMouseEventNotHandled;
    }
    if (!(buttons & kLButton)) {
        return kMouseEventHandled;
    }
    // Edges included: the pointer on the right or bottom border still holds the button.
    const bool inside = where.x >= size.left && where.x <= size.right && where.y >= size.top &&
                        where.y <= size.bottom;
    const float v = inside ? 1.f : 0.f;
    if (v != value) {
        value = v;
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CMomentaryButton::onMouseUp(CPoint&, const int32_t&)
{
    if (!pressed) {
        return kMouseEventNotHandled;
    }
    pressed = false;
    remember();
    const float before = value;
    value = 0.f;
    valueChanged();
    if (before != value) {
        invalid();
    }
    endEdit();
    forget();
    return kMouseEventHandled;
}

// ------------------------------------------------------------------------------- CZKMovieButton

CZKMovieButton::CZKMovieButton(const CRect& size_, CControlListener* listener_, int32_t tag_,
                               CBitmap* background)
    : CMovieButton(size_, listener_, tag_, size_.height(), background)
{}

void CZKMovieButton::draw(CDrawContext* context)
{
    // Bounded for drawing only: the plug-in may be storing a new value at the same time.
    float v = getValue();
    if (std::isnan(v)) {
        v = vmin;
    }
    v = std::clamp(v, vmin, vmax);
    if (pBackground) {
        const CPoint source(0, v > 0.5f ? heightOfOneImage : 0);
        pBackground->draw(context, size, source);
    }
    lastDrawnValue = v;
    setDirty(false);
}

} // namespace VSTGUI
