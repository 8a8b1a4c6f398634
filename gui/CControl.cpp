#include "gui/CControl.h"

#include "gui/CBitmap.h"
#include "gui/CFrame.h"

#include <cmath>

namespace VSTGUI {

CControl::CControl(const CRect& size_, CControlListener* listener_, int32_t tag_,
                   CBitmap* background)
    : CView(size_), listener(listener_), tag(tag_)
{
    setBackground(background);
    setDirty(false);
}

CControl::CControl(const CControl& other)
    : CView(other), listener(other.listener), tag(other.tag), value(other.value),
      oldValue(other.oldValue), defaultValue(other.defaultValue), vmin(other.vmin),
      vmax(other.vmax), wheelInc(other.wheelInc)
{}

CControl::~CControl() = default;

void CControl::bounceValue()
{
    if (std::isnan(value)) {
        value = vmin;
    }
    if (value > vmax) {
        value = vmax;
    } else if (value < vmin) {
        value = vmin;
    }
}

void CControl::setDirty(bool dirty)
{
    CView::setDirty(dirty);
    if (!dirty) {
        oldValue = CControl::getValue();
    }
}

bool CControl::isDirty() const
{
    return CView::isDirty() || CControl::getValue() != oldValue;
}

void CControl::beginEdit()
{
    if (editing) {
        return;
    }
    editing = true;
    // Keep the control alive while listener and editor react.
    remember();
    if (CFrame* frame = getFrame()) {
        frame->beginEdit(tag);
    }
    if (listener) {
        listener->controlBeginEdit(this);
    }
    forget();
}

void CControl::endEdit()
{
    if (!editing) {
        return;
    }
    editing = false;
    remember();
    if (listener) {
        listener->controlEndEdit(this);
    }
    if (CFrame* frame = getFrame()) {
        frame->endEdit(tag);
    }
    forget();
}

bool CControl::checkDefaultValue(int32_t buttons)
{
    if (buttons != (kControl | kLButton)) {
        return false;
    }
    remember();
    beginEdit();
    value = getDefaultValue();
    bounceValue();
    valueChanged();
    if (isDirty()) {
        invalid();
    }
    endEdit();
    forget();
    return true;
}

bool CControl::removed(CView* parent)
{
    if (editing) {
        // The parent link is still in place here, so the end reaches the editor.
        pParentView = parent;
        endEdit();
    }
    return CView::removed(parent);
}

void CControl::valueChanged()
{
    if (listener) {
        listener->valueChanged(this);
    }
}

bool CControl::applyWheel(float distance, int32_t buttons)
{
    if (!std::isfinite(distance)) {
        return false;
    }
    const float before = value;
    float step = distance * wheelInc;
    if (buttons & kShift) {
        step *= 0.1f;
    }
    value += step;
    bounceValue();
    if (value != before) {
        // Inside a drag the wheel change joins the edit already in progress.
        const bool ownEdit = !editing;
        remember();
        if (ownEdit) {
            beginEdit();
        }
        valueChanged();
        invalid();
        if (ownEdit) {
            endEdit();
        }
        forget();
    }
    return true;
}

} // namespace VSTGUI
