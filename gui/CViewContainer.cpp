#include "gui/CViewContainer.h"

#include "gui/CBitmap.h"
#include "gui/CControl.h"
#include "gui/CDrawContext.h"

#include <algorithm>

namespace VSTGUI {

namespace {

// Holds a reference for the length of a call into code that may release the object.
class KeepAlive
{
public:
    explicit KeepAlive(CBaseObject* object) : object(object)
    {
        if (object) {
            object->remember();
        }
    }
    ~KeepAlive()
    {
        if (object) {
            object->forget();
        }
    }
    KeepAlive(const KeepAlive&) = delete;
    KeepAlive& operator=(const KeepAlive&) = delete;

private:
    CBaseObject* object;
};

} // namespace

CViewContainer::CViewContainer(const CRect& size_) : CView(size_) {}

CViewContainer::CViewContainer(const CViewContainer& other)
    : CView(other), backgroundColor(other.backgroundColor)
{
    for (const CView* child : other.children) {
        if (CView* copy = child->newCopy()) {
            addView(copy);
        }
    }
}

CViewContainer::~CViewContainer()
{
    removeAll(true);
}

bool CViewContainer::addView(CView* view)
{
    return addView(view, nullptr);
}

bool CViewContainer::addView(CView* view, CView* before)
{
    if (!view || view == this || view->isAttached()) {
        return false;
    }
    auto pos = std::find(children.begin(), children.end(), before);
    // An unknown `before` appends, like no `before` at all.
    children.insert(before ? pos : children.end(), view);
    view->attached(this);
    view->setDirty(true);
    view->invalid();
    return true;
}

bool CViewContainer::removeView(CView* view, bool withForget)
{
    const auto it = std::find(children.begin(), children.end(), view);
    if (!view || it == children.end()) {
        return false;
    }
    view->invalid();
    dropMouseDownView(view);
    children.erase(it);
    view->removed(this);
    if (withForget) {
        view->forget();
    }
    return true;
}

bool CViewContainer::removeAll(bool withForget)
{
    mouseDownView = nullptr;
    // Detach one by one from the end, so that a child's destructor sees a consistent list.
    while (!children.empty()) {
        CView* view = children.back();
        children.pop_back();
        view->removed(this);
        if (withForget) {
            view->forget();
        }
    }
    return true;
}

void CViewContainer::dropMouseDownView(const CView* view)
{
    if (mouseDownView == view) {
        mouseDownView = nullptr;
    }
}

bool CViewContainer::removed(CView* parent)
{
    mouseDownView = nullptr;
    return CView::removed(parent);
}

bool CViewContainer::isChild(const CView* view) const
{
    return view && std::find(children.begin(), children.end(), view) != children.end();
}

CView* CViewContainer::getView(int32_t index) const
{
    if (index < 0 || index >= getNbViews()) {
        return nullptr;
    }
    return children[static_cast<std::size_t>(index)];
}

CView* CViewContainer::getViewAt(const CPoint& where, bool deep) const
{
    for (auto it = children.rbegin(); it != children.rend(); ++it) {
        CView* child = *it;
        if (!child->isVisible() || !child->getMouseableArea().pointInside(where)) {
            continue;
        }
        if (deep) {
            if (auto* container = dynamic_cast<CViewContainer*>(child)) {
                CPoint local = where;
                local.offset(-container->size.left, -container->size.top);
                if (CView* inner = container->getViewAt(local, true)) {
                    return inner;
                }
            }
        }
        return child;
    }
    return nullptr;
}

void CViewContainer::draw(CDrawContext* context)
{
    drawRect(context, size);
}

void CViewContainer::drawBackgroundRect(CDrawContext* context, const CRect& rect)
{
    if (pBackground) {
        pBackground->draw(context, CRect(0, 0, size.width(), size.height()));
    } else if (backgroundColor.alpha != 0) {
        const CColor previous = context->getFillColor();
        context->setFillColor(backgroundColor);
        context->fillRect(rect);
        context->setFillColor(previous);
    }
}

void CViewContainer::drawRect(CDrawContext* context, const CRect& updateRect)
{
    if (!context) {
        return;
    }
    CRect area = size;
    area.bound(updateRect);
    CView::setDirty(false);
    if (area.isEmpty()) {
        return;
    }
    const CPoint savedOffset = context->getOffset();
    const CRect savedClip = context->getBaseClip();

    CRect deviceArea = area;
    deviceArea.offset(savedOffset.x, savedOffset.y);
    context->setBaseClip(deviceArea);
    context->setOffset(CPoint(savedOffset.x + size.left, savedOffset.y + size.top));

    CRect local = area;
    local.offset(-size.left, -size.top);
    drawBackgroundRect(context, local);
    drawChildren(context, local);

    context->setOffset(savedOffset);
    context->setBaseClip(savedClip);
}

void CViewContainer::drawChildren(CDrawContext* context, const CRect& updateRect)
{
    const CPoint offset = context->getOffset();
    const CRect containerClip = context->getBaseClip();
    // Index-based: a child's drawing must not invalidate the walk even if it edits the list.
    for (std::size_t i = 0; i < children.size(); ++i) {
        CView* child = children[i];
        if (!child->isVisible() || !child->checkUpdate(updateRect)) {
            continue;
        }
        // A child that paints beyond its rectangle is drawn when only that part is repainted:
        // the repaint of a neighbour must not wipe it.
        CRect childArea = child->drawingBounds();
        childArea.bound(updateRect);
        CRect deviceArea = childArea;
        deviceArea.offset(offset.x, offset.y);
        deviceArea.bound(containerClip);
        if (deviceArea.isEmpty()) {
            continue;
        }
        KeepAlive keep(child);
        context->setBaseClip(deviceArea);
        // Cleared before drawing, so that a view that wants to be drawn again on the next idle
        // can mark itself dirty while drawing.
        child->setDirty(false);
        child->drawRect(context, childArea);
        context->setOffset(offset);
    }
    context->setBaseClip(containerClip);
}

CMouseEventResult CViewContainer::onMouseDown(CPoint& where, const int32_t& buttons)
{
    CPoint local = where;
    local.offset(-size.left, -size.top);
    KeepAlive keepSelf(this);
    // Topmost first; a child that does not handle the press lets the ones below try.
    for (std::size_t n = children.size(); n-- > 0;) {
        if (n >= children.size()) {
            continue;
        }
        CView* child = children[n];
        if (!child->isVisible() || !child->getMouseEnabled() ||
            !child->getMouseableArea().pointInside(local)) {
            continue;
        }
        KeepAlive keep(child);
        if ((buttons & (kModifierMask | kRButton)) != 0) {
            auto* control = dynamic_cast<CControl*>(child);
            if (control && control->getListener() &&
                control->getListener()->controlModifierClicked(control, buttons) != 0) {
                return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
            }
        }
        CPoint point = local;
        const CMouseEventResult result = child->onMouseDown(point, buttons);
        if (result == kMouseEventHandled && isChild(child)) {
            mouseDownView = child;
        }
        if (result != kMouseEventNotHandled && result != kMouseEventNotImplemented) {
            return result;
        }
    }
    return kMouseEventNotHandled;
}

CMouseEventResult CViewContainer::onMouseMoved(CPoint& where, const int32_t& buttons)
{
    if (!mouseDownView) {
        return kMouseEventNotHandled;
    }
    KeepAlive keepSelf(this);
    CView* view = mouseDownView;
    KeepAlive keep(view);
    CPoint local = where;
    local.offset(-size.left, -size.top);
    const CMouseEventResult result = view->onMouseMoved(local, buttons);
    if (result == kMouseEventNotHandled || result == kMouseEventNotImplemented) {
        // The view wants no more of this drag.
        dropMouseDownView(view);
    }
    return result;
}

CMouseEventResult CViewContainer::onMouseUp(CPoint& where, const int32_t& buttons)
{
    if (!mouseDownView) {
        return kMouseEventNotHandled;
    }
    KeepAlive keepSelf(this);
    CView* view = mouseDownView;
    mouseDownView = nullptr;
    KeepAlive keep(view);
    CPoint local = where;
    local.offset(-size.left, -size.top);
    return view->onMouseUp(local, buttons);
}

bool CViewContainer::onWheel(const CPoint& where, const float& distance, const int32_t& buttons)
{
    CPoint local = where;
    local.offset(-size.left, -size.top);
    KeepAlive keepSelf(this);
    for (std::size_t n = children.size(); n-- > 0;) {
        if (n >= children.size()) {
            continue;
        }
        CView* child = children[n];
        if (!child->isVisible() || !child->getMouseEnabled() ||
            !child->getMouseableArea().pointInside(local)) {
            continue;
        }
        KeepAlive keep(child);
        if (child->onWheel(local, distance, buttons)) {
            return true;
        }
    }
    return false;
}

void CViewContainer::invalidRect(const CRect& rect)
{
    CRect r = rect;
    r.offset(size.left, size.top);
    r.bound(size);
    if (!r.isEmpty() && pParentView) {
        pParentView->invalidRect(r);
    }
}

} // namespace VSTGUI
