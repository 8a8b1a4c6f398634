#include "gui/CView.h"

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"

#include <algorithm>
#include <cstring>

namespace VSTGUI {

CView::CView(const CRect& size_) : size(size_), mouseableArea(size_) {}

CView::CView(const CView& other)
    : CBaseObject(other), size(other.size), mouseableArea(other.mouseableArea),
      pBackground(other.pBackground), bDirty(other.bDirty.load(std::memory_order_relaxed)),
      bMouseEnabled(other.bMouseEnabled), bTransparencyEnabled(other.bTransparencyEnabled),
      bVisible(other.bVisible), attributes(other.attributes)
{
    if (pBackground) {
        pBackground->remember();
    }
}

CView::~CView()
{
    if (pBackground) {
        pBackground->forget();
    }
}

void CView::draw(CDrawContext* context)
{
    if (pBackground && context) {
        if (bTransparencyEnabled) {
            pBackground->drawTransparent(context, size);
        } else {
            pBackground->draw(context, size);
        }
    }
    setDirty(false);
}

void CView::drawRect(CDrawContext* context, const CRect& /*updateRect*/)
{
    draw(context);
}

CMouseEventResult CView::onMouseDown(CPoint&, const int32_t&)
{
    return kMouseEventNotHandled;
}

CMouseEventResult CView::onMouseUp(CPoint&, const int32_t&)
{
    return kMouseEventNotHandled;
}

CMouseEventResult CView::onMouseMoved(CPoint&, const int32_t&)
{
    return kMouseEventNotHandled;
}

bool CView::onWheel(const CPoint&, const float&, const int32_t&)
{
    return false;
}

void CView::invalidRect(const CRect& rect)
{
    if (pParentView) {
        pParentView->invalidRect(rect);
    }
}

void CView::setVisible(bool visible)
{
    if (bVisible == visible) {
        return;
    }
    bVisible = visible;
    setDirty(true);
    invalid();
}

void CView::setViewSize(const CRect& rect, bool invalidate)
{
    if (invalidate) {
        invalid(); // the old area
    }
    size = rect;
    mouseableArea = rect;
    if (invalidate) {
        invalid();
    }
    setDirty(true);
}

void CView::setBackground(CBitmap* background)
{
    if (background == pBackground) {
        return;
    }
    if (background) {
        background->remember();
    }
    if (pBackground) {
        pBackground->forget();
    }
    pBackground = background;
    setDirty(true);
}

bool CView::attached(CView* parent)
{
    pParentView = parent;
    return true;
}

bool CView::removed(CView* /*parent*/)
{
    pParentView = nullptr;
    return true;
}

CFrame* CView::getFrame() const
{
    const CView* view = this;
    while (view->pParentView) {
        view = view->pParentView;
    }
    return dynamic_cast<CFrame*>(const_cast<CView*>(view));
}

CPoint& CView::localToFrame(CPoint& point) const
{
    // Every container between this view and the root shifts its children by its own origin;
    // the root sits at the window's origin.
    for (const CView* c = pParentView; c && c->pParentView; c = c->pParentView) {
        point.offset(c->size.left, c->size.top);
    }
    return point;
}

CPoint& CView::frameToLocal(CPoint& point) const
{
    for (const CView* c = pParentView; c && c->pParentView; c = c->pParentView) {
        point.offset(-c->size.left, -c->size.top);
    }
    return point;
}

CRect& CView::localToFrame(CRect& rect) const
{
    CPoint origin(0, 0);
    localToFrame(origin);
    return rect.offset(origin.x, origin.y);
}

bool CView::isTypeOf(const char* typeName) const
{
    return typeName && std::strcmp(typeName, "CView") == 0;
}

bool CView::setAttribute(CViewAttributeID id, int32_t inSize, const void* inData)
{
    if (inSize < 0 || (inSize > 0 && !inData)) {
        return false;
    }
    const auto* bytes = static_cast<const uint8_t*>(inData);
    std::vector<uint8_t> data(bytes, bytes + inSize);
    for (Attribute& a : attributes) {
        if (a.id == id) {
            a.data = std::move(data);
            return true;
        }
    }
    attributes.push_back({id, std::move(data)});
    return true;
}

bool CView::getAttributeSize(CViewAttributeID id, int32_t& outSize) const
{
    for (const Attribute& a : attributes) {
        if (a.id == id) {
            outSize = static_cast<int32_t>(a.data.size());
            return true;
        }
    }
    return false;
}

bool CView::getAttribute(CViewAttributeID id, int32_t inSize, void* outData, int32_t& outSize) const
{
    for (const Attribute& a : attributes) {
        if (a.id == id) {
            // A buffer too small gets nothing rather than a truncated value.
            if (inSize < static_cast<int32_t>(a.data.size()) || (!a.data.empty() && !outData)) {
                return false;
            }
            outSize = static_cast<int32_t>(a.data.size());
            if (outSize > 0) {
                std::memcpy(outData, a.data.data(), a.data.size());
            }
            return true;
        }
    }
    return false;
}

bool CView::removeAttribute(CViewAttributeID id)
{
    const auto it = std::find_if(attributes.begin(), attributes.end(),
                                 [id](const Attribute& a) { return a.id == id; });
    if (it == attributes.end()) {
        return false;
    }
    attributes.erase(it);
    return true;
}

} // namespace VSTGUI
