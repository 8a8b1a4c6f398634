#include "editor/CZKControlGrid.h"

#include "editor/CZKBitmap.h"
#include "editor/CZKControlListener.h"
#include "gui/CControl.h"
#include "gui/CDrawContext.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

namespace VSTGUI {

CZKControlGrid::CZKControlGrid(const CRect& size_, CFrame*, int32_t tag_, const CRect& layoutArea_,
                               bool vertical_, CZKControlListener* listener_)
    : CViewContainer(size_), tag(tag_), layoutArea(layoutArea_), vertical(vertical_),
      listener(listener_)
{
    setTransparency(true);
}

CZKControlGrid::CZKControlGrid(const CZKControlGrid& other)
    : CViewContainer(other), tag(other.tag), layoutArea(other.layoutArea), vertical(other.vertical),
      listener(other.listener)
{}

CZKControlGrid::~CZKControlGrid()
{
    if (ghost) {
        ghost->forget();
    }
}

int32_t CZKControlGrid::indexOfChild(const CView* view) const
{
    const auto it = std::find(children.begin(), children.end(), view);
    return it == children.end() ? -1 : static_cast<int32_t>(it - children.begin());
}

CControl* CZKControlGrid::childWithTag(int32_t t) const
{
    for (CView* child : children) {
        if (auto* control = dynamic_cast<CControl*>(child); control && control->getTag() == t) {
            return control;
        }
    }
    return nullptr;
}

bool CZKControlGrid::childTag(const CView* view, int32_t& t) const
{
    if (const auto* control = dynamic_cast<const CControl*>(view)) {
        t = control->getTag();
        return true;
    }
    int32_t attributeSize = 0;
    if (view->getAttributeSize(kZKIDAttribute, attributeSize) && attributeSize > 0 &&
        attributeSize <= 4) {
        int32_t id = 0;
        int32_t got = 0;
        if (view->getAttribute(kZKIDAttribute, attributeSize, &id, got)) {
            t = id;
            return true;
        }
    }
    return false;
}

void CZKControlGrid::getOrder(std::vector<int32_t>& order) const
{
    for (const CView* child : children) {
        int32_t t = 0;
        if (childTag(child, t)) {
            order.push_back(t);
        }
    }
}

void CZKControlGrid::setOrder(const std::vector<int32_t>& order)
{
    if (dragging || draggedChild) {
        endDrag();
    }
    // A gesture in progress ends here: the children it started on are being rearranged.
    pressed = false;
    orderChanged = false;
    std::vector<CView*> removed = children;
    removeAll(false);
    std::vector<bool> placed(removed.size(), false);
    for (int32_t t : order) {
        for (std::size_t i = 0; i < removed.size(); ++i) {
            int32_t childTagValue = 0;
            if (!placed[i] && childTag(removed[i], childTagValue) && childTagValue == t) {
                placed[i] = true;
                addView(removed[i]);
            }
        }
    }
    // Children left out of the order belong to nobody now; release them rather than leak them.
    for (std::size_t i = 0; i < removed.size(); ++i) {
        if (!placed[i]) {
            removed[i]->forget();
        }
    }
    invalid();
}

void CZKControlGrid::moveChild(CView* view, int32_t index)
{
    const int32_t current = indexOfChild(view);
    if (current < 0 || current == index) {
        return;
    }
    // The view may be the one holding the pointer; it keeps it across the move.
    CView* holder = mouseDownView;
    CViewContainer::removeView(view, false);
    CViewContainer::addView(view, getView(index));
    if (holder && isChild(holder)) {
        mouseDownView = holder;
    }
    layout();
    invalid();
}

void CZKControlGrid::layout()
{
    const auto n = static_cast<CCoord>(children.size());
    if (n == 0) {
        return;
    }
    const CCoord pitch = vertical ? (layoutArea.bottom - layoutArea.top) / n
                                  : (layoutArea.right - layoutArea.left) / n;
    for (CCoord i = 0; i < n; ++i) {
        CView* child = children[static_cast<std::size_t>(i)];
        CRect r = child->getViewSize();
        const CCoord x = layoutArea.left - size.left + (vertical ? 0 : i * pitch);
        const CCoord y = layoutArea.top - size.top + (vertical ? i * pitch : 0);
        r.moveTo(x, y);
        if (r != child->getViewSize()) {
            child->setViewSize(r);
        }
    }
}

bool CZKControlGrid::addView(CView* view)
{
    return addView(view, nullptr);
}

bool CZKControlGrid::addView(CView* view, CView* before)
{
    if (!CViewContainer::addView(view, before)) {
        return false;
    }
    layout();
    return true;
}

void CZKControlGrid::drawRect(CDrawContext* context, const CRect& updateRect)
{
    CViewContainer::drawRect(context, updateRect);
    if (dragging && ghost && context) {
        CRect r = ghostRect;
        r.offset(size.left, size.top);
        ghost->draw(context, r, CPoint(0, 0));
    }
}

CMouseEventResult CZKControlGrid::onMouseDown(CPoint& where, const int32_t& buttons)
{
    if (!(buttons & kLButton) || !layoutArea.pointInside(where)) {
        return kMouseEventNotHandled;
    }
    if (dragging || draggedChild) {
        endDrag();
    }
    pressed = true;
    dragging = false;
    draggedChild = nullptr;
    draggedIndex = -1;
    orderChanged = false;
    dragStart = where;
    lastPoint = where;
    // Only a press that a child takes switches the row over to it: a click between two buttons
    // or one the listener swallows (a learn click) leaves the row as it is. The child is off
    // when the press reaches it, so that it switches on (and reports) even if it was on.
    CPoint local = where;
    local.offset(-size.left, -size.top);
    CView* hit = getViewAt(local);
    auto* hitControl = hit && hit != this ? dynamic_cast<CControl*>(hit) : nullptr;
    const float hitValue = hitControl ? hitControl->getValue() : 0.f;
    if (hitControl) {
        hitControl->setValue(0.f);
    }
    const CMouseEventResult result = CViewContainer::onMouseDown(where, buttons);
    if (result == kMouseEventHandled && hitControl) {
        for (CView* child : children) {
            auto* control = dynamic_cast<CControl*>(child);
            if (control && control != hitControl && control->getValue() != 0.f) {
                control->setValue(0.f);
                control->setDirty(true);
            }
        }
    } else if (hitControl && isChild(hitControl)) {
        hitControl->setValue(hitValue);
    }
    return kMouseEventHandled;
}

CMouseEventResult CZKControlGrid::onMouseMoved(CPoint& where, const int32_t& buttons)
{
    if (!pressed) {
        return kMouseEventNotHandled;
    }
    if (buttons & kLButton) {
        if (!dragging) {
            if (std::abs(where.x - dragStart.x) > kDragThreshold ||
                std::abs(where.y - dragStart.y) > kDragThreshold) {
                CPoint startLocal = dragStart;
                startLocal.offset(-size.left, -size.top);
                CView* child = getViewAt(startLocal);
                if (child && child != this) {
                    draggedChild = child;
                    draggedIndex = indexOfChild(child);
                    if (ghost) {
                        ghost->forget();
                        ghost = nullptr;
                    }
                    if (child->getBackground()) {
                        ghost = new CZKBitmap(child->getBackground());
                        ghost->setAlpha(200);
                    }
                    ghostRect = child->getViewSize();
                    ghostRect.offset(where.x - dragStart.x, where.y - dragStart.y);
                    child->setVisible(false);
                    dragging = true;
                    lastPoint = where;
                    invalidRect(ghostRect);
                }
            }
        } else {
            CRect moved = ghostRect;
            moved.offset(where.x - lastPoint.x, where.y - lastPoint.y);
            // Keep the image inside the grid.
            const CCoord w = size.width();
            const CCoord h = size.height();
            if (moved.left < 0) {
                moved.offset(-moved.left, 0);
            }
            if (moved.right > w) {
                moved.offset(w - moved.right, 0);
            }
            if (moved.top < 0) {
                moved.offset(0, -moved.top);
            }
            if (moved.bottom > h) {
                moved.offset(0, h - moved.bottom);
            }
            if (moved != ghostRect) {
                invalidRect(ghostRect);
                invalidRect(moved);
                ghostRect = moved;
            }
            CPoint local = where;
            local.offset(-size.left, -size.top);
            CView* over = getViewAt(local);
            if (over && over != draggedChild && over != this) {
                const int32_t target = indexOfChild(over);
                const CRect& r = over->getViewSize();
                const CCoord centre = vertical ? (r.top + r.bottom) / 2 : (r.left + r.right) / 2;
                const CCoord nearEdge = vertical ? ghostRect.top : ghostRect.left;
                const CCoord farEdge = vertical ? ghostRect.bottom : ghostRect.right;
                const bool towardsHigher = draggedIndex < target;
                if (target >= 0 && ((towardsHigher && centre < farEdge) ||
                                    (!towardsHigher && nearEdge < centre))) {
                    moveChild(draggedChild, target);
                    draggedIndex = target;
                    orderChanged = true;
                }
            }
            lastPoint = where;
        }
    }
    CViewContainer::onMouseMoved(where, buttons);
    return kMouseEventHandled;
}

void CZKControlGrid::endDrag()
{
    dragging = false;
    invalidRect(ghostRect);
    if (draggedChild) {
        draggedChild->setVisible(true);
        draggedChild->invalid();
    }
    draggedChild = nullptr;
    draggedIndex = -1;
    if (ghost) {
        ghost->forget();
        ghost = nullptr;
    }
}

CMouseEventResult CZKControlGrid::onMouseUp(CPoint& where, const int32_t& buttons)
{
    if (!pressed) {
        return kMouseEventNotHandled;
    }
    pressed = false;
    remember();
    endDrag();
    const bool changed = orderChanged;
    orderChanged = false;
    // The child that took the press hears its release before the listener reacts to the new
    // order (which may lay the row out again).
    CViewContainer::onMouseUp(where, buttons);
    if (changed && listener) {
        listener->tagValueChanged(tag, 1.f);
    }
    forget();
    return kMouseEventHandled;
}

} // namespace VSTGUI
