#include "editor/CZKSlider.h"

#include "editor/ZKOverflowDraw.h"
#include "gui/CDrawContext.h"

#include <algorithm>
#include <cmath>

namespace VSTGUI {

// ----------------------------------------------------------------------------------- CZKVSlider

CZKVSlider::CZKVSlider(const CRect& size_, CControlListener* listener_, int32_t tag_,
                       CColor frameColour_, CColor fillColour_, CColor backgroundColour_,
                       int32_t style_)
    : CControl(size_, listener_, tag_), frameColour(frameColour_), fillColour(fillColour_),
      backgroundColour(backgroundColour_), width(size_.width()), height(size_.height()),
      style(style_)
{}

void CZKVSlider::setFrameWidth(CCoord w, bool redraw)
{
    frameWidth = std::max<CCoord>(w, 0);
    if (redraw) {
        setDirty(true);
    }
}

float CZKVSlider::drawnFraction() const
{
    const float range = vmax - vmin;
    const float v = getValue();
    if (!(range > 0.f) || std::isnan(v)) {
        return 0.f;
    }
    return std::clamp((v - vmin) / range, 0.f, 1.f);
}

void CZKVSlider::valueRect(CRect& r) const
{
    r = size;
    r.right -= 1;
    r.bottom -= 1;
    const float v = drawnFraction();
    if (style & kHorizontal) {
        const auto length = static_cast<CCoord>(static_cast<float>(width - 1) * v);
        if (style & (kFromLeft | kBipolar)) {
            r.right = r.left + length;
        } else {
            r.left = r.right - length;
        }
        if (style & kBipolar) {
            const CCoord centre = (size.left + size.right) / 2;
            const CCoord end = r.right;
            r.left = std::min(centre, end);
            r.right = std::max(centre, end);
        }
    } else {
        const auto length = static_cast<CCoord>(static_cast<float>(height - 1) * v);
        if (style & kFromBottom) {
            r.top = r.bottom - length;
        } else {
            r.bottom = r.top + length;
        }
        if (style & kBipolar) {
            const CCoord centre = (size.top + size.bottom) / 2;
            const CCoord end = (style & kFromBottom) ? r.top : r.bottom;
            r.top = std::min(centre, end);
            r.bottom = std::max(centre, end);
            if (r.bottom == r.top) {
                r.bottom = r.top + 1;
            }
        }
    }
}

float CZKVSlider::valueAt(const CPoint& where) const
{
    float v;
    if (style & kHorizontal) {
        const CCoord span = std::max<CCoord>(size.right - size.left - 2, 1);
        v = static_cast<float>(where.x - size.left - 1) / static_cast<float>(span);
        if (style & kInverse) {
            v = 1.f - v;
        }
    } else {
        const CCoord span = std::max<CCoord>(size.bottom - size.top - 2, 1);
        v = static_cast<float>(where.y - size.top - 1) / static_cast<float>(span);
        if (style & kFromBottom) {
            v = 1.f - v;
        }
    }
    return std::clamp(v, 0.f, 1.f);
}

float CZKVSlider::valueDelta(const CPoint& where, const CPoint& start) const
{
    if (style & kHorizontal) {
        return static_cast<float>(where.x - start.x) /
               static_cast<float>(std::max<CCoord>(width, 1));
    }
    return static_cast<float>(start.y - where.y) / static_cast<float>(std::max<CCoord>(height, 1));
}

void CZKVSlider::draw(CDrawContext* context)
{
    CRect clip = size;
    clip.inset(-frameWidth, -frameWidth);
    context->setClipRect(clip);
    context->setDrawMode(kAntialias);
    context->setLineWidth(frameWidth);
    context->setFillColor(backgroundColour);
    context->fillRect(size);
    CRect bar;
    valueRect(bar);
    context->setFillColor(fillColour);
    context->fillRect(bar);
    context->setFrameColor(frameColour);
    context->drawRect(size, kDrawStroked);
    context->resetClipRect();
    setDirty(false);
}

CMouseEventResult CZKVSlider::onMouseDown(CPoint& where, const int32_t& buttons)
{
    if (!(buttons & kLButton)) {
        return kMouseEventNotHandled;
    }
    beginEdit();
    if (checkDefaultValue(buttons)) {
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    const float v = valueAt(where);
    if (v != getValue()) {
        value = v;
        bounceValue();
        valueChanged();
        invalid();
    }
    dragStartValue = value;
    dragStartPoint = where;
    dragStartButtons = buttons;
    dragging = true;
    onMouseMoved(where, buttons);
    return kMouseEventHandled;
}

CMouseEventResult CZKVSlider::onMouseMoved(CPoint& where, const int32_t& buttons)
{
    if (!dragging) {
        return kMouseEventNotHandled;
    }
    if (!(buttons & kLButton)) {
        // Keep the drag so that its release still ends the edit.
        return kMouseEventHandled;
    }
    if (buttons != dragStartButtons) {
        // Shift pressed or released: continue from here instead of jumping.
        dragStartPoint = where;
        dragStartValue = value;
        dragStartButtons = buttons;
    }
    float d = valueDelta(where, dragStartPoint);
    if (buttons & kShift) {
        d *= fineFactor;
    }
    const float before = value;
    value = dragStartValue + d;
    bounceValue();
    // Pushing past an end keeps the value there without telling the listener again.
    if (value != before) {
        valueChanged();
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CZKVSlider::onMouseUp(CPoint&, const int32_t&)
{
    if (!dragging) {
        return kMouseEventNotHandled;
    }
    dragging = false;
    endEdit();
    return kMouseEventHandled;
}

bool CZKVSlider::onWheel(const CPoint&, const float& distance, const int32_t& buttons)
{
    return applyWheel(distance, buttons);
}

// ---------------------------------------------------------------------------- CZKVBracketSlider

CZKVBracketSlider::CZKVBracketSlider(const CRect& size_, CControlListener* listener_, int32_t tag_,
                                     CColor frameColour_, CColor fillColour_,
                                     CColor backgroundColour_, int32_t style_, int16_t stepCount_,
                                     CCoord stepWidth_)
    : CZKVHorizontalSlider(size_, listener_, tag_, frameColour_, fillColour_, backgroundColour_,
                           style_),
      stepCount(stepCount_), stepWidth(stepWidth_)
{}

CCoord CZKVBracketSlider::endX() const
{
    return size.left + stepWidth +
           static_cast<CCoord>(static_cast<float>(size.right - size.left - 1) * drawnFraction());
}

CRect CZKVBracketSlider::drawBounds() const
{
    CRect r = size;
    r.right = std::max(r.right, r.right + stepWidth);
    r.bottom += 1;
    return r;
}

bool CZKVBracketSlider::checkUpdate(const CRect& updateRect) const
{
    return updateRect.rectOverlap(drawBounds());
}

void CZKVBracketSlider::drawRect(CDrawContext* context, const CRect&)
{
    zk::drawWithOverflow(*this, context, drawBounds());
}

void CZKVBracketSlider::draw(CDrawContext* context)
{
    const CCoord x = endX();
    context->setDrawMode(kAntialias);
    context->setLineWidth(1);
    context->setFrameColor(fillColour);
    context->moveTo(CPoint(size.left, size.bottom));
    context->lineTo(CPoint(size.left, size.top));
    context->lineTo(CPoint(x, size.top));
    context->lineTo(CPoint(x, size.bottom));
    context->setFillColor(fillColour);
    context->fillRect(CRect(x - 2, size.top, x, size.top + 2));
    setDirty(false);
    // The frame repaints a changed control inside its rectangle only; an end that was or is now
    // beyond it needs the whole reach repainted once.
    if (x != lastDrawnEnd && (x >= size.right || lastDrawnEnd >= size.right)) {
        invalidRect(drawBounds());
    }
    lastDrawnEnd = x;
}

// ----------------------------------------------------------------------------- CZKmv2ModVSlider

CZKmv2ModVSlider::CZKmv2ModVSlider(const CRect& size_, CControlListener* listener_, int32_t tag_,
                                   CColor frameColour_, CColor fillColour_,
                                   CColor backgroundColour_, int32_t style_)
    : CZKVSlider(size_, listener_, tag_, frameColour_, fillColour_, backgroundColour_, style_)
{}

void CZKmv2ModVSlider::draw(CDrawContext* context)
{
    const CColor pen = MakeCColor(60, 60, 100, 100);
    context->setDrawMode(kAntialias);
    context->setFrameColor(pen);
    context->setLineWidth(2);
    context->drawLine(CPoint(size.left, size.top + 2), CPoint(size.right, size.top + 2));
    CRect bar;
    valueRect(bar);
    context->setFillColor(fillColour);
    context->drawRect(bar, kDrawFilledAndStroked);
    setDirty(false);
}

} // namespace VSTGUI
