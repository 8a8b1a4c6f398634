#include "gui/CControls.h"

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "gui/CFrame.h"

#include <algorithm>
#include <cmath>

namespace VSTGUI {

namespace {

constexpr double kPi = 3.14159265358979323846;

float normalize(float value, float vmin, float vmax)
{
    const float range = vmax - vmin;
    if (!(range > 0.f) || std::isnan(value)) {
        return 0.f;
    }
    return std::clamp((value - vmin) / range, 0.f, 1.f);
}

// Image k of a film strip for a value: the nearest image of n.
int32_t nearestImage(float normalized, int32_t n)
{
    if (n <= 1) {
        return 0;
    }
    return std::clamp(static_cast<int32_t>(static_cast<float>(n - 1) * normalized + 0.5f), 0,
                      n - 1);
}

} // namespace

// ---------------------------------------------------------------------------------------- CKnob

CKnob::CKnob(const CRect& size_, CControlListener* listener_, int32_t tag_, CBitmap* background,
             CBitmap* handle, const CPoint& offset_)
    : CControl(size_, listener_, tag_, background), pHandle(handle), offset(offset_)
{
    if (pHandle) {
        pHandle->remember();
    }
}

CKnob::CKnob(const CKnob& other)
    : CControl(other), pHandle(other.pHandle), offset(other.offset), colorHandle(other.colorHandle),
      colorShadowHandle(other.colorShadowHandle), insetValue(other.insetValue),
      startAngle(other.startAngle), rangeAngle(other.rangeAngle), linearRange(other.linearRange),
      zoomFactor(other.zoomFactor)
{
    if (pHandle) {
        pHandle->remember();
    }
}

CKnob::~CKnob()
{
    if (pHandle) {
        pHandle->forget();
    }
}

float CKnob::normalizedValue() const
{
    return normalize(CControl::getValue(), vmin, vmax);
}

CPoint CKnob::valueToPoint() const
{
    const double angle = (startAngle + rangeAngle * normalizedValue()) * kPi / 180.0;
    const double cx = (size.left + size.right) / 2.0;
    const double cy = (size.top + size.bottom) / 2.0;
    const double radius = std::max(0.0, std::min(size.width(), size.height()) / 2.0 - insetValue);
    return CPoint(static_cast<CCoord>(std::lround(cx + radius * std::cos(angle))),
                  static_cast<CCoord>(std::lround(cy + radius * std::sin(angle))));
}

float CKnob::valueFromPoint(const CPoint& where) const
{
    const double dx = where.x - (size.left + size.right) / 2.0;
    const double dy = where.y - (size.top + size.bottom) / 2.0;
    // Clockwise from 3 o'clock because y grows downwards.
    double angle = std::atan2(dy, dx) * 180.0 / kPi - startAngle;
    angle = std::fmod(angle + 720.0, 360.0);
    double normalized;
    if (angle <= rangeAngle) {
        normalized = angle / rangeAngle;
    } else {
        // In the gap below the knob: the nearer end.
        normalized = angle < rangeAngle + (360.0 - rangeAngle) / 2.0 ? 1.0 : 0.0;
    }
    return vmin + static_cast<float>(normalized) * (vmax - vmin);
}

bool CKnob::isLinear(int32_t buttons) const
{
    const CFrame* frame = getFrame();
    return frame && frame->getKnobMode() == kKnobModeLinear && !(buttons & kAlt);
}

void CKnob::draw(CDrawContext* context)
{
    if (pBackground) {
        if (bTransparencyEnabled) {
            pBackground->drawTransparent(context, size, offset);
        } else {
            pBackground->draw(context, size, offset);
        }
    }
    const CPoint end = valueToPoint();
    if (pHandle) {
        const CCoord w = pHandle->getWidth();
        const CCoord h = pHandle->getHeight();
        CRect r(end.x - w / 2, end.y - h / 2, end.x - w / 2 + w, end.y - h / 2 + h);
        pHandle->drawTransparent(context, r);
    } else {
        const CPoint centre((size.left + size.right) / 2, (size.top + size.bottom) / 2);
        context->setLineWidth(1);
        context->setFrameColor(colorShadowHandle);
        context->drawLine(CPoint(centre.x + 1, centre.y + 1), CPoint(end.x + 1, end.y + 1));
        context->setFrameColor(colorHandle);
        context->drawLine(centre, end);
    }
    setDirty(false);
}

CMouseEventResult CKnob::onMouseDown(CPoint& where, const int32_t& buttons)
{
    if (!(buttons & kLButton)) {
        return kMouseEventNotHandled;
    }
    beginEdit();
    if (checkDefaultValue(buttons)) {
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    dragging = true;
    firstPoint = where;
    startValue = value;
    lastButtons = buttons;
    if (!isLinear(buttons)) {
        // Circular handling: the knob turns to the pointer at once.
        onMouseMoved(where, buttons);
    }
    return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseMoved(CPoint& where, const int32_t& buttons)
{
    if (!dragging || !(buttons & kLButton)) {
        return kMouseEventNotHandled;
    }
    if ((buttons & kModifierMask) != (lastButtons & kModifierMask)) {
        // A modifier pressed or released mid-drag continues from here instead of jumping.
        firstPoint = where;
        startValue = value;
        lastButtons = buttons;
    }
    const float before = value;
    if (isLinear(buttons)) {
        float pixels = linearRange;
        if (buttons & kShift) {
            pixels *= zoomFactor;
        }
        const float diff = static_cast<float>((where.x - firstPoint.x) - (where.y - firstPoint.y));
        value = startValue + diff * (vmax - vmin) / pixels;
    } else {
        value = valueFromPoint(where);
    }
    bounceValue();
    if (value != before) {
        valueChanged();
        invalid();
    }
    return kMouseEventHandled;
}

CMouseEventResult CKnob::onMouseUp(CPoint&, const int32_t&)
{
    if (!dragging) {
        return kMouseEventNotHandled;
    }
    dragging = false;
    endEdit();
    return kMouseEventHandled;
}

bool CKnob::onWheel(const CPoint&, const float& distance, const int32_t& buttons)
{
    return applyWheel(distance, buttons);
}

// ------------------------------------------------------------------------------------ CAnimKnob

CAnimKnob::CAnimKnob(const CRect& size_, CControlListener* listener_, int32_t tag_,
                     int32_t subPixmaps_, CCoord heightOfOneImage_, CBitmap* background,
                     const CPoint& offset_)
    : CKnob(size_, listener_, tag_, background, nullptr, offset_),
      subPixmaps(std::max<int32_t>(subPixmaps_, 1)), heightOfOneImage(heightOfOneImage_)
{}

void CAnimKnob::draw(CDrawContext* context)
{
    if (pBackground) {
        // The image for a value is the one at or below it (the last one only at the maximum).
        const int32_t k =
            std::clamp(static_cast<int32_t>(normalizedValue() * static_cast<float>(subPixmaps - 1)),
                       0, subPixmaps - 1);
        const CPoint source(offset.x, offset.y + k * heightOfOneImage);
        if (bTransparencyEnabled) {
            pBackground->drawTransparent(context, size, source);
        } else {
            pBackground->draw(context, size, source);
        }
    }
    setDirty(false);
}

// --------------------------------------------------------------------------------- COnOffButton

COnOffButton::COnOffButton(const CRect& size_, CControlListener* listener_, int32_t tag_,
                           CBitmap* background, int32_t style_)
    : CControl(size_, listener_, tag_, background), style(style_)
{}

bool COnOffButton::isOn() const
{
    return normalize(CControl::getValue(), vmin, vmax) > 0.5f;
}

void COnOffButton::draw(CDrawContext* context)
{
    if (pBackground) {
        const CPoint source(0, isOn() ? pBackground->getHeight() / 2 : 0);
        if (bTransparencyEnabled) {
            pBackground->drawTransparent(context, size, source);
        } else {
            pBackground->draw(context, size, source);
        }
    }
    setDirty(false);
}

CMouseEventResult COnOffButton::onMouseDown(CPoint&, const int32_t& buttons)
{
    if (!(buttons & kLButton)) {
        return kMouseEventNotHandled;
    }
    remember();
    beginEdit();
    value = isOn() ? vmin : vmax;
    invalid();
    valueChanged();
    endEdit();
    forget();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

// --------------------------------------------------------------------------------- CMovieButton

CMovieButton::CMovieButton(const CRect& size_, CControlListener* listener_, int32_t tag_,
                           CCoord heightOfOneImage_, CBitmap* background, const CPoint& offset_)
    : CControl(size_, listener_, tag_, background), offset(offset_),
      heightOfOneImage(heightOfOneImage_)
{}

void CMovieButton::draw(CDrawContext* context)
{
    if (pBackground) {
        const bool on = normalize(CControl::getValue(), vmin, vmax) > 0.5f;
        const CPoint source(offset.x, offset.y + (on ? heightOfOneImage : 0));
        if (bTransparencyEnabled) {
            pBackground->drawTransparent(context, size, source);
        } else {
            pBackground->draw(context, size, source);
        }
    }
    setDirty(false);
}

CMouseEventResult CMovieButton::onMouseDown(CPoint& where, const int32_t& buttons)
{
    if (!(buttons & kLButton)) {
        return kMouseEventNotHandled;
    }
    entryState = value;
    pressed = true;
    beginEdit();
    onMouseMoved(where, buttons);
    return kMouseEventHandled;
}

CMouseEventResult CMovieButton::onMouseMoved(CPoint& where, const int32_t& buttons)
{
    if (!pressed || !(buttons & kLButton)) {
        return kMouseEventNotHandled;
    }
    const float before = value;
    if (size.pointInside(where)) {
        value = entryState == vmin ? vmax : vmin;
    } else {
        value = entryState;
    }
    if (value != before) {
        invalid();
        valueChanged();
    }
    return kMouseEventHandled;
}

CMouseEventResult CMovieButton::onMouseUp(CPoint&, const int32_t&)
{
    if (!pressed) {
        return kMouseEventNotHandled;
    }
    pressed = false;
    endEdit();
    return kMouseEventHandled;
}

// ---------------------------------------------------------------------------------- CSwitchBase

CSwitchBase::CSwitchBase(const CRect& size_, CControlListener* listener_, int32_t tag_,
                         int32_t subPixmaps_, CCoord heightOfOneImage_, int32_t maxPositions_,
                         CBitmap* background, const CPoint& offset_, bool horizontal_)
    : CControl(size_, listener_, tag_, background), offset(offset_),
      subPixmaps(std::max<int32_t>(subPixmaps_, 1)), heightOfOneImage(heightOfOneImage_),
      maxPositions(std::max<int32_t>(maxPositions_, 1)), horizontal(horizontal_)
{}

float CSwitchBase::valueAt(const CPoint& where) const
{
    if (maxPositions < 2) {
        return vmin;
    }
    const double extent = horizontal ? size.width() : size.height();
    if (extent <= 0.0) {
        return vmin;
    }
    const double positionSize = extent / maxPositions;
    const double along = horizontal ? where.x - size.left : where.y - size.top;
    const double index = std::trunc(along / positionSize);
    const double v = std::clamp(index / (maxPositions - 1), 0.0, 1.0);
    return vmin + static_cast<float>(v) * (vmax - vmin);
}

void CSwitchBase::draw(CDrawContext* context)
{
    if (pBackground) {
        const int32_t k = nearestImage(normalize(CControl::getValue(), vmin, vmax), subPixmaps);
        const CPoint source(offset.x, offset.y + k * heightOfOneImage);
        if (bTransparencyEnabled) {
            pBackground->drawTransparent(context, size, source);
        } else {
            pBackground->draw(context, size, source);
        }
    }
    setDirty(false);
}

CMouseEventResult CSwitchBase::onMouseDown(CPoint& where, const int32_t& buttons)
{
    if (!(buttons & kLButton)) {
        return kMouseEventNotHandled;
    }
    beginEdit();
    if (checkDefaultValue(buttons)) {
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }
    onMouseMoved(where, buttons);
    return kMouseEventHandled;
}

CMouseEventResult CSwitchBase::onMouseMoved(CPoint& where, const int32_t& buttons)
{
    if (!isEditing() || !(buttons & kLButton)) {
        return kMouseEventNotHandled;
    }
    const float before = value;
    value = valueAt(where);
    if (value != before) {
        invalid();
        valueChanged();
    }
    return kMouseEventHandled;
}

CMouseEventResult CSwitchBase::onMouseUp(CPoint&, const int32_t&)
{
    if (!isEditing()) {
        return kMouseEventNotHandled;
    }
    endEdit();
    return kMouseEventHandled;
}

CHorizontalSwitch::CHorizontalSwitch(const CRect& size_, CControlListener* listener_, int32_t tag_,
                                     int32_t subPixmaps_, CCoord heightOfOneImage_,
                                     int32_t maxPositions_, CBitmap* background,
                                     const CPoint& offset_)
    : CSwitchBase(size_, listener_, tag_, subPixmaps_, heightOfOneImage_, maxPositions_, background,
                  offset_, true)
{}

CVerticalSwitch::CVerticalSwitch(const CRect& size_, CControlListener* listener_, int32_t tag_,
                                 int32_t subPixmaps_, CCoord heightOfOneImage_,
                                 int32_t maxPositions_, CBitmap* background, const CPoint& offset_)
    : CSwitchBase(size_, listener_, tag_, subPixmaps_, heightOfOneImage_, maxPositions_, background,
                  offset_, false)
{}

// --------------------------------------------------------------------------------- CMovieBitmap

CMovieBitmap::CMovieBitmap(const CRect& size_, CControlListener* listener_, int32_t tag_,
                           int32_t subPixmaps_, CCoord heightOfOneImage_, CBitmap* background,
                           const CPoint& offset_)
    : CControl(size_, listener_, tag_, background), offset(offset_),
      subPixmaps(std::max<int32_t>(subPixmaps_, 1)), heightOfOneImage(heightOfOneImage_)
{}

void CMovieBitmap::draw(CDrawContext* context)
{
    if (pBackground) {
        const int32_t k = nearestImage(normalize(CControl::getValue(), vmin, vmax), subPixmaps);
        const CPoint source(offset.x, offset.y + k * heightOfOneImage);
        if (bTransparencyEnabled) {
            pBackground->drawTransparent(context, size, source);
        } else {
            pBackground->draw(context, size, source);
        }
    }
    setDirty(false);
}

// -------------------------------------------------------------------------------- CSplashScreen

// The picture a splash screen shows over the window while it is on.
class CSplashScreenView : public CView
{
public:
    CSplashScreenView(const CRect& size, CSplashScreen* owner, CBitmap* bitmap,
                      const CPoint& offset)
        : CView(size), owner(owner), offset(offset)
    {
        setBackground(bitmap);
    }

    void draw(CDrawContext* context) override
    {
        if (pBackground) {
            pBackground->draw(context, size, offset);
        }
        setDirty(false);
    }

    CMouseEventResult onMouseDown(CPoint&, const int32_t& buttons) override
    {
        if (!(buttons & kLButton)) {
            return kMouseEventNotHandled;
        }
        if (owner) {
            owner->unSplash();
        }
        return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
    }

    CSplashScreen* owner;
    CPoint offset;
};

CSplashScreen::CSplashScreen(const CRect& size_, CControlListener* listener_, int32_t tag_,
                             CBitmap* background, const CRect& toDisplay_, const CPoint& offset_)
    : CControl(size_, listener_, tag_, background), toDisplay(toDisplay_), offset(offset_)
{}

CSplashScreen::CSplashScreen(const CSplashScreen& other)
    : CControl(other), toDisplay(other.toDisplay), offset(other.offset)
{}

CSplashScreen::~CSplashScreen()
{
    closeView();
}

void CSplashScreen::closeView()
{
    if (!modalView) {
        return;
    }
    CSplashScreenView* view = modalView;
    modalView = nullptr;
    view->owner = nullptr;
    if (CFrame* frame = view->getFrame(); frame && frame->getModalView() == view) {
        frame->setModalView(nullptr);
    }
    view->forget();
}

void CSplashScreen::draw(CDrawContext*)
{
    // The click area itself shows nothing: the picture appears only over `toDisplay`.
    setDirty(false);
}

CMouseEventResult CSplashScreen::onMouseDown(CPoint&, const int32_t& buttons)
{
    if (!(buttons & kLButton)) {
        return kMouseEventNotHandled;
    }
    CFrame* frame = getFrame();
    remember();
    value = normalize(CControl::getValue(), vmin, vmax) > 0.5f ? vmin : vmax;
    if (value == vmax && frame && !modalView) {
        CRect where = toDisplay;
        localToFrame(where);
        modalView = new CSplashScreenView(where, this, pBackground, offset);
        if (!frame->setModalView(modalView)) {
            // Another modal view is up; this one stays closed.
            modalView->owner = nullptr;
            modalView->forget();
            modalView = nullptr;
            value = vmin;
        }
    } else if (value != vmax) {
        closeView();
    }
    setDirty(true);
    valueChanged();
    forget();
    return kMouseDownEventHandledButDontNeedMovedOrUpEvents;
}

void CSplashScreen::unSplash()
{
    remember();
    closeView();
    value = vmin;
    setDirty(true);
    valueChanged();
    forget();
}

} // namespace VSTGUI
