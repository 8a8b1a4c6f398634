#include "gui/platform/offscreen/OffscreenFrame.h"

#include "gui/CDrawContext.h"
#include "gui/platform/cairo/CairoDrawDevice.h"

#include <algorithm>

namespace VSTGUI {

CColor readSurfacePixel(cairo_surface_t* surface, CCoord x, CCoord y)
{
    if (!surface || cairo_surface_get_type(surface) != CAIRO_SURFACE_TYPE_IMAGE) {
        return CColor{0, 0, 0, 0};
    }
    cairo_surface_flush(surface);
    const int w = cairo_image_surface_get_width(surface);
    const int h = cairo_image_surface_get_height(surface);
    if (x < 0 || y < 0 || x >= w || y >= h) {
        return CColor{0, 0, 0, 0};
    }
    const unsigned char* row =
        cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
    const uint32_t pixel = reinterpret_cast<const uint32_t*>(row)[x];
    const bool hasAlpha = cairo_image_surface_get_format(surface) == CAIRO_FORMAT_ARGB32;
    const uint32_t a = hasAlpha ? (pixel >> 24) & 0xff : 255;
    uint32_t r = (pixel >> 16) & 0xff;
    uint32_t g = (pixel >> 8) & 0xff;
    uint32_t b = pixel & 0xff;
    if (a == 0) {
        return CColor{0, 0, 0, 0};
    }
    if (a < 255) {
        r = std::min<uint32_t>(255, (r * 255 + a / 2) / a);
        g = std::min<uint32_t>(255, (g * 255 + a / 2) / a);
        b = std::min<uint32_t>(255, (b * 255 + a / 2) / a);
    }
    return CColor{static_cast<uint8_t>(r), static_cast<uint8_t>(g), static_cast<uint8_t>(b),
                  static_cast<uint8_t>(a)};
}

OffscreenFrame::OffscreenFrame(IPlatformFrameOwner& owner_, CCoord width_, CCoord height_,
                               double scaleFactor)
    : owner(owner_), width(std::max<CCoord>(width_, 0)), height(std::max<CCoord>(height_, 0)),
      scale(nearestSupportedScale(scaleFactor))
{
    recreateSurface();
}

OffscreenFrame::~OffscreenFrame()
{
    cairo_surface_destroy(surface);
}

void OffscreenFrame::recreateSurface()
{
    if (surface) {
        cairo_surface_destroy(surface);
    }
    // A zero-sized frame still gets a valid (1-pixel) surface so drawing code never sees null.
    surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max<CCoord>(getDeviceWidth(), 1),
                                         std::max<CCoord>(getDeviceHeight(), 1));
    dirty.setBounds(CRect(0, 0, width, height));
}

void OffscreenFrame::invalidRect(const CRect& rect)
{
    dirty.add(rect);
}

void OffscreenFrame::pumpEvents()
{
    // Events posted while handling these wait for the next idle, as on a real display.
    std::size_t count = queue.size();
    while (count-- > 0 && !queue.empty()) {
        const Event e = queue.front();
        queue.pop_front();
        switch (e.type) {
        case EventType::down:
            mouseDown(e.where, e.buttons);
            break;
        case EventType::moved:
            mouseMoved(e.where, e.buttons);
            break;
        case EventType::up:
            mouseUp(e.where, e.buttons);
            break;
        case EventType::wheel:
            mouseWheel(e.where, e.distance, e.buttons);
            break;
        }
    }
}

void OffscreenFrame::paint()
{
    if (dirty.empty()) {
        return;
    }
    cairo_t* cr = cairo_create(surface);
    for (const CRect& r : dirty.take()) {
        // Start from transparent so that nothing accumulates from earlier passes.
        paintLayoutRect(cr, owner, r, scale, CAIRO_OPERATOR_CLEAR, CColor{0, 0, 0, 0});
    }
    cairo_destroy(cr);
    cairo_surface_flush(surface);
    ++paintCount;
}

void OffscreenFrame::renderAll()
{
    dirty.add(CRect(0, 0, width, height));
    paint();
}

CCoord OffscreenFrame::getDeviceWidth() const
{
    return layoutToDevice(CRect(0, 0, width, height), scale).right;
}

CCoord OffscreenFrame::getDeviceHeight() const
{
    return layoutToDevice(CRect(0, 0, width, height), scale).bottom;
}

bool OffscreenFrame::getCurrentMousePosition(CPoint& where) const
{
    where = mousePosition;
    return true;
}

bool OffscreenFrame::setSize(CCoord w, CCoord h)
{
    if (w <= 0 || h <= 0) {
        return false;
    }
    width = w;
    height = h;
    recreateSurface();
    dirty.add(CRect(0, 0, width, height));
    return true;
}

CMouseEventResult OffscreenFrame::mouseDown(CPoint where, int32_t buttons)
{
    where = devicePointToLayout(where, scale);
    mousePosition = where;
    currentButtons = buttons;
    return owner.platformOnMouseDown(where, buttons);
}

CMouseEventResult OffscreenFrame::mouseMoved(CPoint where, int32_t buttons)
{
    where = devicePointToLayout(where, scale);
    mousePosition = where;
    currentButtons = buttons;
    return owner.platformOnMouseMoved(where, buttons);
}

CMouseEventResult OffscreenFrame::mouseUp(CPoint where, int32_t buttons)
{
    where = devicePointToLayout(where, scale);
    mousePosition = where;
    // After the release only the modifier keys remain held.
    currentButtons = buttons & kModifierMask;
    return owner.platformOnMouseUp(where, buttons);
}

bool OffscreenFrame::mouseWheel(CPoint where, float distance, int32_t buttons)
{
    where = devicePointToLayout(where, scale);
    mousePosition = where;
    currentButtons = buttons;
    return owner.platformOnMouseWheel(where, distance, buttons);
}

void OffscreenFrame::postEvent(EventType type, CPoint where, int32_t buttons, float distance)
{
    queue.push_back({type, where, buttons, distance});
}

CColor OffscreenFrame::getPixel(CCoord x, CCoord y) const
{
    if (x >= getDeviceWidth() || y >= getDeviceHeight()) {
        return CColor{0, 0, 0, 0};
    }
    return readSurfacePixel(surface, x, y);
}

bool OffscreenFrame::savePNG(const std::string& path) const
{
    return cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

OffscreenSurface::OffscreenSurface(CCoord width, CCoord height)
    : surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, std::max<CCoord>(width, 1),
                                         std::max<CCoord>(height, 1))),
      cr(cairo_create(surface)), device(std::make_unique<CairoDrawDevice>(cr))
{}

OffscreenSurface::~OffscreenSurface()
{
    drawContext.reset();
    device.reset();
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
}

CDrawContext& OffscreenSurface::context()
{
    const CRect all(0, 0, cairo_image_surface_get_width(surface),
                    cairo_image_surface_get_height(surface));
    drawContext = std::make_unique<CDrawContext>(*device, all);
    return *drawContext;
}

void OffscreenSurface::clear(const CColor& color)
{
    cairo_save(cr);
    cairo_reset_clip(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
    cairo_set_source_rgba(cr, color.red / 255.0, color.green / 255.0, color.blue / 255.0,
                          color.alpha / 255.0);
    cairo_paint(cr);
    cairo_restore(cr);
}

CColor OffscreenSurface::getPixel(CCoord x, CCoord y) const
{
    return readSurfacePixel(surface, x, y);
}

bool OffscreenSurface::savePNG(const std::string& path) const
{
    cairo_surface_flush(surface);
    return cairo_surface_write_to_png(surface, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

} // namespace VSTGUI
