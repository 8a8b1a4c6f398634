#include "editor/CZKVMultislider.h"

#include "gui/CDrawContext.h"

#include <algorithm>
#include <cmath>

namespace VSTGUI {

// ------------------------------------------------------------------------------ CZKVMultislider

CZKVMultislider::CZKVMultislider(const CRect& size_, CControlListener* listener_, int32_t tag_,
                                 CColor gridColour_, CColor stepColour_, CColor disabledGridColour_,
                                 CColor disabledStepColour_, CColor highlightColour_)
    : CZKControl(size_, listener_, tag_), gridColour(gridColour_), stepColour(stepColour_),
      disabledGridColour(disabledGridColour_), disabledStepColour(disabledStepColour_),
      highlightColour(highlightColour_), width(size_.width()), height(size_.height())
{
    stepWidth = std::max<CCoord>(width / stepCount, 0);
    stepHeight = height;
    handleWidth = stepWidth - 1;
    handleHeight = stepWidth - 1;
}

void CZKVMultislider::setValue(float v)
{
    CControl::setValue(v);
    for (Step& s : steps) {
        s.value = v;
    }
    setDirty(true);
}

void CZKVMultislider::setStepValue(int32_t step, float v)
{
    if (!validStep(step)) {
        return;
    }
    steps[static_cast<std::size_t>(step)].value = v;
    setDirty(true);
}

float CZKVMultislider::getStepValue(int32_t step) const
{
    return validStep(step) ? steps[static_cast<std::size_t>(step)].value : 0.f;
}

void CZKVMultislider::setStepDisabled(int32_t step, bool disabled)
{
    if (!validStep(step)) {
        return;
    }
    steps[static_cast<std::size_t>(step)].disabled = disabled ? 1 : 0;
    setDirty(true);
}

bool CZKVMultislider::isStepDisabled(int32_t step) const
{
    return validStep(step) && steps[static_cast<std::size_t>(step)].disabled != 0;
}

void CZKVMultislider::setLength(int32_t n)
{
    const int32_t enabled = std::clamp<int32_t>(n, 0, stepCount);
    for (int32_t i = 0; i < stepCount; ++i) {
        steps[static_cast<std::size_t>(i)].disabled = i < enabled ? 0 : 1;
    }
    setDirty(true);
}

void CZKVMultislider::setStepCurrent(int32_t step, bool current)
{
    if (!validStep(step)) {
        return;
    }
    steps[static_cast<std::size_t>(step)].current = current ? 1 : 0;
    setDirty(true);
}

void CZKVMultislider::setPlayPosition(int32_t p)
{
    if (!validStep(p)) {
        return;
    }
    for (Step& s : steps) {
        s.current = 0;
    }
    steps[static_cast<std::size_t>(p)].current = 1;
    setDirty(true);
}

bool CZKVMultislider::isStepCurrent(int32_t step) const
{
    return validStep(step) && steps[static_cast<std::size_t>(step)].current != 0;
}

void CZKVMultislider::setStepColour(CColor c)
{
    stepColour = c;
    setDirty(true);
}

void CZKVMultislider::setGridColour(CColor c)
{
    gridColour = c;
    setDirty(true);
}

void CZKVMultislider::setHighlightColour(CColor c)
{
    highlightColour = c;
    setDirty(true);
}

void CZKVMultislider::setDisabledStepColour(CColor c)
{
    disabledStepColour = c;
    setDirty(true);
}

void CZKVMultislider::setDisabledGridColour(CColor c)
{
    disabledGridColour = c;
    setDirty(true);
}

void CZKVMultislider::setStyle(int32_t flags)
{
    if (flags & kBipolar) {
        flags |= kTopIsOne;
    }
    style = flags;
    setDirty(true);
}

int16_t CZKVMultislider::stepAt(const CPoint& where) const
{
    if (!size.pointInside(where) || stepWidth <= 0) {
        return -1;
    }
    const CCoord i = (where.x - size.left) / stepWidth;
    return static_cast<int16_t>(std::min<CCoord>(i, stepCount - 1));
}

CRect CZKVMultislider::stepRect(int32_t step) const
{
    return CRect(size.left + stepWidth * step, size.top, size.left + stepWidth * (step + 1),
                 size.top + height);
}

CRect CZKVMultislider::handleRect(int32_t step, const CRect& r) const
{
    // A step value from a damaged program must not throw the handle off the control.
    const float stored = getStepValue(step);
    const float x = std::isfinite(stored) ? std::clamp(stored, 0.f, 1.f) : 0.f;
    const float share = (style & kTopIsOne) ? 1.f - x : x;
    const auto travel = static_cast<float>(stepHeight - handleHeight - 1);
    const CCoord top = r.top + 1 + static_cast<CCoord>(share * travel);
    return CRect(r.left + 1, top, r.left + 1 + handleWidth, top + handleHeight);
}

float CZKVMultislider::valueAt(int32_t, const CPoint& where) const
{
    const CCoord half = handleHeight / 2;
    const CCoord span = std::max<CCoord>(height - 2 * half - 2, 1);
    float v = static_cast<float>(where.y - size.top - half - 1) / static_cast<float>(span);
    if (style & kTopIsOne) {
        v = 1.f - v;
    }
    return std::clamp(v, 0.f, 1.f);
}

void CZKVMultislider::getTags(std::vector<int32_t>& tags) const
{
    for (int32_t i = 0; i < stepCount; ++i) {
        tags.push_back(tag + i);
    }
}

CColor CZKVMultislider::stemColour(int32_t step) const
{
    return isStepDisabled(step) ? disabledStepColour : stepColour;
}

CColor CZKVMultislider::edgeColour(int32_t step) const
{
    return isStepDisabled(step) ? disabledGridColour : gridColour;
}

void CZKVMultislider::drawStep(CDrawContext* context, int32_t step, const CRect& r,
                               const CRect& handle)
{
    context->setFrameColor(stemColour(step));
    const CCoord x = handle.left + (handle.right - handle.left) / 2;
    if (style & kBipolar) {
        const CCoord centre = (r.top + r.bottom) / 2;
        if (handle.bottom <= centre) {
            context->drawLine(CPoint(x, centre), CPoint(x, handle.bottom));
        } else if (handle.top >= centre) {
            context->drawLine(CPoint(x, centre), CPoint(x, handle.top));
        }
    } else if (style & kTopIsOne) {
        context->drawLine(CPoint(x, r.bottom), CPoint(x, handle.bottom));
    } else {
        context->drawLine(CPoint(x, r.top), CPoint(x, handle.top));
    }
    context->setLineWidth(2);
    const CRect ellipse(handle.left, handle.top, handle.right - 1, handle.bottom - 1);
    if (isStepCurrent(step)) {
        context->setFillColor(highlightColour);
        context->drawEllipse(ellipse, kDrawFilled);
    }
    context->drawEllipse(ellipse, kDrawStroked);
    context->setLineWidth(1);
}

void CZKVMultislider::drawCurrentStep(CDrawContext*, int32_t, const CRect&) {}

void CZKVMultislider::draw(CDrawContext* context)
{
    context->setDrawMode(kAntialias);
    context->setLineWidth(1);
    for (int32_t i = 0; i < stepCount; ++i) {
        const CRect r = stepRect(i);
        drawStep(context, i, r, handleRect(i, r));
    }
    const CCoord top = size.top;
    const CCoord bottom = size.bottom;
    context->setFrameColor(edgeColour(0));
    context->drawLine(CPoint(size.left, top), CPoint(size.left, bottom));
    for (int32_t i = 0; i < stepCount; ++i) {
        const CRect r = stepRect(i);
        context->setFrameColor(edgeColour(i));
        context->moveTo(CPoint(r.left + 1, top));
        context->lineTo(CPoint(r.right, top));
        context->lineTo(CPoint(r.right, bottom - 1));
        context->lineTo(CPoint(r.left + 1, bottom - 1));
    }
    for (int32_t i = 0; i < stepCount; ++i) {
        if (isStepCurrent(i)) {
            drawCurrentStep(context, i, stepRect(i));
        }
    }
    setDirty(false);
}

CMouseEventResult CZKVMultislider::onMouseDown(CPoint& where, const int32_t& buttons)
{
    if (!(buttons & kLButton)) {
        return kMouseEventNotHandled;
    }
    pressed = true;
    beginEdit();
    onMouseMoved(where, buttons);
    return kMouseEventHandled;
}

CMouseEventResult CZKVMultislider::onMouseMoved(CPoint& where, const int32_t& buttons)
{
    if (!pressed) {
        return kMouseEventNotHandled;
    }
    if (!(buttons & kLButton)) {
        return kMouseEventHandled;
    }
    const int16_t i = stepAt(where);
    if (i < 0 || isStepDisabled(i)) {
        return kMouseEventHandled;
    }
    const float x = valueAt(i, where);
    Step& s = steps[static_cast<std::size_t>(i)];
    if (x != s.value) {
        s.value = x;
        setDirty(true);
        notifyTagValue(tag + i, x);
    }
    return kMouseEventHandled;
}

CMouseEventResult CZKVMultislider::onMouseUp(CPoint&, const int32_t&)
{
    if (!pressed) {
        return kMouseEventNotHandled;
    }
    pressed = false;
    endEdit();
    return kMouseEventHandled;
}

// ------------------------------------------------------------------------------ CZKVMultibutton

void CZKVMultibutton::setStepOn(int32_t step, float v)
{
    setStepValue(step, v > 0.5f ? 1.f : 0.f);
}

void CZKVMultibutton::setStepOn(int32_t step, bool on)
{
    setStepOn(step, on ? 1.f : 0.f);
}

void CZKVMultibutton::drawStep(CDrawContext* context, int32_t step, const CRect& r, const CRect&)
{
    if (getStepValue(step) > 0.5f) {
        context->setFillColor(stemColour(step));
        context->fillRect(r);
    }
}

void CZKVMultibutton::drawCurrentStep(CDrawContext* context, int32_t, const CRect& r)
{
    CRect inner = r;
    inner.inset(2, 2);
    context->setFillColor(highlightColour);
    context->fillRect(inner);
}

CMouseEventResult CZKVMultibutton::onMouseDown(CPoint& where, const int32_t& buttons)
{
    if (!(buttons & kLButton)) {
        return kMouseEventNotHandled;
    }
    pressed = true;
    painting = false;
    beginEdit();
    const int16_t i = stepAt(where);
    if (i >= 0 && !isStepDisabled(i)) {
        Step& s = steps[static_cast<std::size_t>(i)];
        // A step counts as on above one half, so the drag always paints plain on or off.
        paintValue = s.value > 0.5f ? 0.f : 1.f;
        painting = true;
        s.value = paintValue;
        setDirty(true);
        notifyTagValue(tag + i, paintValue);
    }
    onMouseMoved(where, buttons);
    return kMouseEventHandled;
}

CMouseEventResult CZKVMultibutton::onMouseMoved(CPoint& where, const int32_t& buttons)
{
    if (!pressed) {
        return kMouseEventNotHandled;
    }
    if (!(buttons & kLButton) || !painting) {
        return kMouseEventHandled;
    }
    const int16_t i = stepAt(where);
    if (i < 0 || isStepDisabled(i)) {
        return kMouseEventHandled;
    }
    Step& s = steps[static_cast<std::size_t>(i)];
    if (s.value != paintValue) {
        s.value = paintValue;
        setDirty(true);
        notifyTagValue(tag + i, paintValue);
    }
    return kMouseEventHandled;
}

} // namespace VSTGUI
