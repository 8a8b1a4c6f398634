#include "editor/CHighlightFrame.h"

#include "editor/CZKControl.h"
#include "editor/CZKControlListener.h"
#include "gui/CControl.h"
#include "gui/CDrawContext.h"

#include <vector>

namespace VSTGUI {

CHighlightFrame::CHighlightFrame(const CRect& size_, void* parentWindow,
                                 VSTGUIEditorInterface* editor_)
    : CFrame(size_, parentWindow, editor_)
{}

CHighlightFrame::~CHighlightFrame()
{
    // The children go in the base's destructor; nothing may be looked up by then.
    outlinedView = nullptr;
    tagMap.clear();
    keyMap.clear();
}

bool CHighlightFrame::addViewWithKey(CView* view, int32_t key)
{
    if (!addView(view)) {
        return false;
    }
    keyMap[key] = view;
    return true;
}

bool CHighlightFrame::addViewWithTags(CView* view)
{
    if (!addView(view)) {
        return false;
    }
    if (auto* zk = dynamic_cast<CZKControl*>(view)) {
        std::vector<int32_t> tags;
        zk->getTags(tags);
        for (int32_t t : tags) {
            tagMap[t] = zk;
        }
    } else if (auto* control = dynamic_cast<CControl*>(view)) {
        tagMap[control->getTag()] = control;
    }
    return true;
}

bool CHighlightFrame::addViewWithTag(CView* view)
{
    if (!addView(view)) {
        return false;
    }
    if (auto* control = dynamic_cast<CControl*>(view)) {
        tagMap[control->getTag()] = control;
    }
    return true;
}

void CHighlightFrame::setOutlinedView(CView* view)
{
    if (outlinedView) {
        outlinedView->setDirty(true);
    }
    outlinedView = view;
    if (outlinedView) {
        outlinedView->setDirty(true);
    }
}

void CHighlightFrame::setOutlineColour(uint32_t packed)
{
    setOutlineColour(
        static_cast<uint8_t>(packed & 0xFF), static_cast<uint8_t>((packed >> 8) & 0xFF),
        static_cast<uint8_t>((packed >> 16) & 0xFF), static_cast<uint8_t>((packed >> 24) & 0xFF));
}

void CHighlightFrame::setOutlineColour(uint8_t red, uint8_t green, uint8_t blue, uint8_t alpha)
{
    outlineColour = MakeCColor(red, green, blue, alpha);
    CView::setDirty(true);
}

void CHighlightFrame::outlineTag(int32_t tag, bool on)
{
    if (outlinedView) {
        outlinedView->setDirty(true);
    }
    outlinedView = nullptr;
    if (on) {
        if (CControl* control = controlForTag(tag)) {
            control->setDirty(true);
            outlinedView = control;
        }
    }
}

void CHighlightFrame::getOutlineRect(CRect& rect) const
{
    rect = CRect();
    if (outlinedView) {
        rect = outlinedView->getViewSize();
        outlinedView->localToFrame(rect);
    }
}

CControl* CHighlightFrame::controlForTag(int32_t tag) const
{
    const auto it = tagMap.find(tag);
    return it == tagMap.end() ? nullptr : it->second;
}

CView* CHighlightFrame::viewForKey(int32_t key) const
{
    const auto it = keyMap.find(key);
    return it == keyMap.end() ? nullptr : it->second;
}

void CHighlightFrame::unregister(const CView* view)
{
    if (outlinedView == view) {
        outlinedView = nullptr;
    }
    if (hovered == view) {
        hovered = nullptr;
    }
    std::erase_if(tagMap, [view](const auto& entry) { return entry.second == view; });
    std::erase_if(keyMap, [view](const auto& entry) { return entry.second == view; });
}

bool CHighlightFrame::removeView(CView* view, bool withForget)
{
    if (!isChild(view)) {
        return false;
    }
    unregister(view);
    return CFrame::removeView(view, withForget);
}

bool CHighlightFrame::removeAll(bool withForget)
{
    outlinedView = nullptr;
    hovered = nullptr;
    tagMap.clear();
    keyMap.clear();
    return CFrame::removeAll(withForget);
}

CMouseEventResult CHighlightFrame::onMouseMoved(CPoint& where, const int32_t& buttons)
{
    const CMouseEventResult result = CFrame::onMouseMoved(where, buttons);
    if (!(buttons & (kLButton | kMButton | kRButton))) {
        trackHover(where);
    }
    return result;
}

CMouseEventResult CHighlightFrame::onMouseUp(CPoint& where, const int32_t& buttons)
{
    const CMouseEventResult result = CFrame::onMouseUp(where, buttons);
    // After a drag the pointer may rest on another control than the one it started on.
    trackHover(where, true);
    return result;
}

void CHighlightFrame::trackHover(const CPoint& where, bool always)
{
    CControl* control = nullptr;
    if (!getModalView()) {
        control = dynamic_cast<CControl*>(getViewAt(where, true));
    }
    if (control == hovered && !always) {
        return;
    }
    hovered = control;
    if (hoverListener) {
        hoverListener->controlHovered(control);
    }
}

void CHighlightFrame::drawRect(CDrawContext* context, const CRect& updateRect)
{
    CFrame::drawRect(context, updateRect);
    // A control of a hidden module page keeps its outline until the page shows again.
    if (!context || !outlinedView || !outlinedView->isVisible()) {
        return;
    }
    CRect r;
    getOutlineRect(r);
    const CColor savedColour = context->getFrameColor();
    const CCoord savedWidth = context->getLineWidth();
    const CPoint savedOffset = context->getOffset();
    context->setOffset(CPoint(0, 0));
    context->resetClipRect();
    context->setLineWidth(1);
    context->setFrameColor(outlineColour);
    context->drawRect(r, kDrawStroked);
    context->setOffset(savedOffset);
    context->setFrameColor(savedColour);
    context->setLineWidth(savedWidth);
}

} // namespace VSTGUI
