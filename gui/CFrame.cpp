#include "gui/CFrame.h"

#include "gui/CDrawContext.h"

#include <cmath>
#include <cstring>

namespace VSTGUI {

namespace {

IPlatformFactory*& factorySlot()
{
    static IPlatformFactory* factory = nullptr;
    return factory;
}

} // namespace

void setPlatformFactory(IPlatformFactory* factory)
{
    factorySlot() = factory;
}

IPlatformFactory* getPlatformFactory()
{
    return factorySlot();
}

double nearestSupportedScale(double factor)
{
    if (!std::isfinite(factor) || factor <= 0.0) {
        return 1.0;
    }
    if (factor < 1.25) {
        return 1.0;
    }
    return factor < 1.75 ? 1.5 : 2.0;
}

CRect layoutToDevice(const CRect& rect, double scale)
{
    if (scale == 1.0) {
        return rect;
    }
    return CRect(static_cast<CCoord>(std::floor(rect.left * scale)),
                 static_cast<CCoord>(std::floor(rect.top * scale)),
                 static_cast<CCoord>(std::ceil(rect.right * scale)),
                 static_cast<CCoord>(std::ceil(rect.bottom * scale)));
}

CRect deviceToLayout(const CRect& rect, double scale)
{
    if (scale == 1.0) {
        return rect;
    }
    return CRect(static_cast<CCoord>(std::floor(rect.left / scale)),
                 static_cast<CCoord>(std::floor(rect.top / scale)),
                 static_cast<CCoord>(std::ceil(rect.right / scale)),
                 static_cast<CCoord>(std::ceil(rect.bottom / scale)));
}

CCoord snapToDevicePixel(CCoord position, double scale)
{
    return static_cast<CCoord>(std::floor(position * scale + 0.5));
}

DeviceCell snapCell(const CRect& dest, const CPoint& source, double scale)
{
    DeviceCell cell{};
    cell.pictureLeft = snapToDevicePixel(source.x, scale);
    cell.pictureTop = snapToDevicePixel(source.y, scale);
    cell.width = snapToDevicePixel(source.x + dest.width(), scale) - cell.pictureLeft;
    cell.height = snapToDevicePixel(source.y + dest.height(), scale) - cell.pictureTop;
    cell.left = snapToDevicePixel(dest.left, scale);
    cell.top = snapToDevicePixel(dest.top, scale);
    return cell;
}

CPoint devicePointToLayout(CPoint point, double scale)
{
    if (scale == 1.0) {
        return point;
    }
    return CPoint(static_cast<CCoord>(std::floor(point.x / scale)),
                  static_cast<CCoord>(std::floor(point.y / scale)));
}

CFrame::CFrame(const CRect& size_, void* systemWindow_, VSTGUIEditorInterface* editor_)
    : CViewContainer(CRect(0, 0, size_.width(), size_.height())), systemWindow(systemWindow_),
      editor(editor_)
{
    if (IPlatformFactory* factory = getPlatformFactory()) {
        platformFrame = factory->createFrameAtScale(
            *this, systemWindow, std::max<CCoord>(size.width(), 0),
            std::max<CCoord>(size.height(), 0), editor ? editor->getHostScaleFactor() : 0.0);
    }
    invalid();
}

CFrame::~CFrame()
{
    if (modalView) {
        removeView(modalView, true);
        modalView = nullptr;
    }
    removeAll(true);
    // The window goes after the views, which may still ask it for things while they go.
    platformFrame.reset();
}

bool CFrame::isTypeOf(const char* typeName) const
{
    return (typeName && std::strcmp(typeName, "CFrame") == 0) || CViewContainer::isTypeOf(typeName);
}

void CFrame::idle()
{
    if (inIdle) {
        return;
    }
    inIdle = true;
    remember();
    if (platformFrame) {
        platformFrame->pumpEvents();
    }
    updateDirtyViews();
    inIdle = false;
    forget();
}

void CFrame::collectDirty(CView* view, const CPoint& origin)
{
    if (!view->isVisible()) {
        return;
    }
    auto* container = dynamic_cast<CViewContainer*>(view);
    const bool dirty = container ? container->CView::isDirty() : view->isDirty();
    if (dirty) {
        CRect r = view->drawingBounds();
        r.offset(origin.x, origin.y);
        invalidRect(r);
    }
    if (container && container != this) {
        const CPoint inner(origin.x + container->getViewSize().left,
                           origin.y + container->getViewSize().top);
        for (int32_t i = 0; i < container->getNbViews(); ++i) {
            collectDirty(container->getView(i), inner);
        }
    }
}

void CFrame::updateDirtyViews()
{
    if (CView::isDirty()) {
        invalid();
    }
    for (int32_t i = 0; i < getNbViews(); ++i) {
        collectDirty(getView(i), CPoint(0, 0));
    }
    if (platformFrame) {
        platformFrame->paint();
    }
}

int32_t CFrame::getKnobMode() const
{
    return editor ? editor->getKnobMode() : kKnobModeCircular;
}

void CFrame::beginEdit(int32_t tag)
{
    if (editor) {
        editor->beginEdit(tag);
    }
}

void CFrame::endEdit(int32_t tag)
{
    if (editor) {
        editor->endEdit(tag);
    }
}

bool CFrame::setModalView(CView* view)
{
    if (view && modalView) {
        return false;
    }
    if (!view) {
        if (modalView) {
            CView* old = modalView;
            modalView = nullptr;
            modalMouseDown = false;
            removeView(old, true);
        }
        return true;
    }
    view->remember();
    if (!addView(view)) {
        view->forget();
        return false;
    }
    modalView = view;
    modalMouseDown = false;
    // A drag in progress elsewhere ends here: the modal view takes all input from now on.
    mouseDownView = nullptr;
    return true;
}

void CFrame::invalidRect(const CRect& rect)
{
    CRect r = rect;
    r.bound(size);
    if (!r.isEmpty() && platformFrame) {
        platformFrame->invalidRect(r);
    }
}

void CFrame::setCursor(CCursorType type)
{
    if (platformFrame) {
        platformFrame->setCursor(type);
    }
}

int32_t CFrame::getCurrentMouseButtons() const
{
    return platformFrame ? platformFrame->getCurrentButtons() : 0;
}

bool CFrame::getCurrentMouseLocation(CPoint& where) const
{
    return platformFrame && platformFrame->getCurrentMousePosition(where);
}

bool CFrame::setSize(CCoord width, CCoord height)
{
    if (width <= 0 || height <= 0) {
        return false;
    }
    if (platformFrame && !platformFrame->setSize(width, height)) {
        return false;
    }
    size = CRect(0, 0, width, height);
    mouseableArea = size;
    invalid();
    return true;
}

CMouseEventResult CFrame::onMouseDown(CPoint& where, const int32_t& buttons)
{
    if (modalView) {
        if (!modalView->isVisible() || !modalView->getMouseableArea().pointInside(where)) {
            return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
        }
        CView* view = modalView;
        view->remember();
        CPoint p = where;
        const CMouseEventResult result = view->onMouseDown(p, buttons);
        modalMouseDown = result == kMouseEventHandled && modalView == view;
        view->forget();
        return result;
    }
    const CMouseEventResult result = CViewContainer::onMouseDown(where, buttons);
    if (result == kMouseEventHandled && platformFrame) {
        platformFrame->setMouseCapture(true);
    }
    return result;
}

CMouseEventResult CFrame::onMouseMoved(CPoint& where, const int32_t& buttons)
{
    if (modalView) {
        if (!modalMouseDown) {
            return kMouseEventNotHandled;
        }
        CView* view = modalView;
        view->remember();
        CPoint p = where;
        const CMouseEventResult result = view->onMouseMoved(p, buttons);
        view->forget();
        return result;
    }
    return CViewContainer::onMouseMoved(where, buttons);
}

CMouseEventResult CFrame::onMouseUp(CPoint& where, const int32_t& buttons)
{
    if (platformFrame) {
        platformFrame->setMouseCapture(false);
    }
    if (modalView) {
        if (!modalMouseDown) {
            return kMouseEventNotHandled;
        }
        modalMouseDown = false;
        CView* view = modalView;
        view->remember();
        CPoint p = where;
        const CMouseEventResult result = view->onMouseUp(p, buttons);
        view->forget();
        return result;
    }
    return CViewContainer::onMouseUp(where, buttons);
}

bool CFrame::onWheel(const CPoint& where, const float& distance, const int32_t& buttons)
{
    if (modalView) {
        return false;
    }
    return CViewContainer::onWheel(where, distance, buttons);
}

int32_t CFrame::onKeyDown(CKeyCode& key)
{
    if (modalView) {
        return modalView->onKeyDown(key);
    }
    for (int32_t i = getNbViews(); i-- > 0;) {
        CView* view = getView(i);
        if (view && view->isVisible() && view->onKeyDown(key) != -1) {
            return 1;
        }
    }
    return -1;
}

int32_t CFrame::onKeyUp(CKeyCode& key)
{
    if (modalView) {
        return modalView->onKeyUp(key);
    }
    for (int32_t i = getNbViews(); i-- > 0;) {
        CView* view = getView(i);
        if (view && view->isVisible() && view->onKeyUp(key) != -1) {
            return 1;
        }
    }
    return -1;
}

void CFrame::drawRect(CDrawContext* context, const CRect& updateRect)
{
    CViewContainer::drawRect(context, updateRect);
}

void CFrame::platformDrawRect(IDrawDevice& device, const CRect& updateRect)
{
    CRect area = updateRect;
    area.bound(size);
    if (area.isEmpty()) {
        return;
    }
    CDrawContext context(device, area);
    remember();
    drawRect(&context, area);
    forget();
}

CMouseEventResult CFrame::platformOnMouseDown(CPoint where, int32_t buttons)
{
    return onMouseDown(where, buttons);
}

CMouseEventResult CFrame::platformOnMouseMoved(CPoint where, int32_t buttons)
{
    return onMouseMoved(where, buttons);
}

CMouseEventResult CFrame::platformOnMouseUp(CPoint where, int32_t buttons)
{
    return onMouseUp(where, buttons);
}

bool CFrame::platformOnMouseWheel(CPoint where, float distance, int32_t buttons)
{
    return onWheel(where, distance, buttons);
}

void CFrame::platformOnIdleTimer()
{
    // The editor's idle does more than the frame's (it polls the plug-in) and runs the frame's.
    if (editor) {
        editor->doIdleStuff();
    } else {
        idle();
    }
}

} // namespace VSTGUI
