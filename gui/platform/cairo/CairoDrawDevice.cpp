#include "gui/platform/cairo/CairoDrawDevice.h"

#include <cmath>
#include <cstring>

namespace VSTGUI {

namespace {

constexpr double kPi = 3.14159265358979323846;

struct PngReader
{
    const unsigned char* data;
    std::size_t size;
    std::size_t position;
};

cairo_status_t readPng(void* closure, unsigned char* out, unsigned int length)
{
    auto* reader = static_cast<PngReader*>(closure);
    if (length > reader->size - reader->position) {
        return CAIRO_STATUS_READ_ERROR;
    }
    std::memcpy(out, reader->data + reader->position, length);
    reader->position += length;
    return CAIRO_STATUS_SUCCESS;
}

} // namespace

CairoBitmap::CairoBitmap(cairo_surface_t* surface_) : surface(surface_) {}

CairoBitmap::~CairoBitmap()
{
    cairo_surface_destroy(surface);
}

CCoord CairoBitmap::getWidth() const
{
    return cairo_image_surface_get_width(surface);
}

CCoord CairoBitmap::getHeight() const
{
    return cairo_image_surface_get_height(surface);
}

std::unique_ptr<IPlatformBitmap> decodePNGWithCairo(const void* data, std::size_t size)
{
    if (!data || size < 8) {
        return nullptr;
    }
    PngReader reader{static_cast<const unsigned char*>(data), size, 0};
    cairo_surface_t* decoded = cairo_image_surface_create_from_png_stream(readPng, &reader);
    if (cairo_surface_status(decoded) != CAIRO_STATUS_SUCCESS ||
        cairo_image_surface_get_width(decoded) <= 0 ||
        cairo_image_surface_get_height(decoded) <= 0) {
        cairo_surface_destroy(decoded);
        return nullptr;
    }
    // Pictures without alpha come back as RGB24; keep everything ARGB32 so drawing is uniform.
    if (cairo_image_surface_get_format(decoded) != CAIRO_FORMAT_ARGB32) {
        cairo_surface_t* converted =
            cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cairo_image_surface_get_width(decoded),
                                       cairo_image_surface_get_height(decoded));
        cairo_t* cr = cairo_create(converted);
        cairo_set_source_surface(cr, decoded, 0, 0);
        cairo_set_operator(cr, CAIRO_OPERATOR_SOURCE);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(decoded);
        decoded = converted;
        if (cairo_surface_status(decoded) != CAIRO_STATUS_SUCCESS) {
            cairo_surface_destroy(decoded);
            return nullptr;
        }
    }
    return std::make_unique<CairoBitmap>(decoded);
}

CRect paintLayoutRect(cairo_t* cr, IPlatformFrameOwner& owner, const CRect& layoutRect,
                      double scale, cairo_operator_t clearOperator, const CColor& clearColor)
{
    const CRect device = layoutToDevice(layoutRect, scale);
    cairo_save(cr);
    cairo_rectangle(cr, device.left, device.top, device.width(), device.height());
    cairo_set_operator(cr, clearOperator);
    cairo_set_source_rgba(cr, clearColor.red / 255.0, clearColor.green / 255.0,
                          clearColor.blue / 255.0, clearColor.alpha / 255.0);
    cairo_fill(cr);
    cairo_restore(cr);
    cairo_save(cr);
    if (scale == 1.0) {
        CairoDrawDevice drawDevice(cr);
        owner.platformDrawRect(drawDevice, layoutRect);
    } else {
        // The layout pixels that cover every prepared device pixel, drawn whole; the device bound
        // keeps the overhang of a fractional scale off the pixels around.
        cairo_scale(cr, scale, scale);
        CairoDrawDevice drawDevice(cr, scale, device);
        owner.platformDrawRect(drawDevice, deviceToLayout(device, scale));
    }
    cairo_restore(cr);
    cairo_reset_clip(cr);
    return device;
}

CairoDrawDevice::CairoDrawDevice(cairo_t* cr_, double scaleFactor_, const CRect& deviceBound_)
    : cr(cr_), scaleFactor(scaleFactor_ > 0 ? scaleFactor_ : 1.0), deviceBound(deviceBound_)
{}

void CairoDrawDevice::setColor(const CColor& color)
{
    cairo_set_source_rgba(cr, color.red / 255.0, color.green / 255.0, color.blue / 255.0,
                          color.alpha / 255.0);
}

void CairoDrawDevice::applyPaint(const DevicePaint& paint)
{
    cairo_set_antialias(cr, paint.antialias ? CAIRO_ANTIALIAS_DEFAULT : CAIRO_ANTIALIAS_NONE);
    cairo_set_line_width(cr, paint.lineWidth);
}

void CairoDrawDevice::setClip(const CRect& clip)
{
    cairo_reset_clip(cr);
    if (!deviceBound.isEmpty()) {
        cairo_save(cr);
        cairo_identity_matrix(cr);
        cairo_rectangle(cr, deviceBound.left, deviceBound.top, deviceBound.width(),
                        deviceBound.height());
        cairo_restore(cr);
        cairo_clip(cr);
    }
    cairo_rectangle(cr, clip.left, clip.top, std::max(clip.width(), 0), std::max(clip.height(), 0));
    cairo_clip(cr);
}

void CairoDrawDevice::drawLine(const CPoint& from, const CPoint& to, const DevicePaint& paint)
{
    if (paint.lineWidth <= 0 || paint.frameColor.alpha == 0) {
        return;
    }
    applyPaint(paint);
    // Odd widths sit on pixel centres so that straight lines cover whole pixels; square caps
    // include both end points.
    const double shift = (paint.lineWidth % 2) ? 0.5 : 0.0;
    cairo_new_path(cr);
    cairo_move_to(cr, from.x + shift, from.y + shift);
    cairo_line_to(cr, to.x + shift, to.y + shift);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_SQUARE);
    setColor(paint.frameColor);
    cairo_stroke(cr);
    cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
}

void CairoDrawDevice::fillAndStroke(CDrawStyle style, const DevicePaint& paint)
{
    const bool fill = style == kDrawFilled || style == kDrawFilledAndStroked;
    const bool stroke =
        (style == kDrawStroked || style == kDrawFilledAndStroked) && paint.lineWidth > 0;
    if (fill) {
        setColor(paint.fillColor);
        if (stroke) {
            cairo_fill_preserve(cr);
        } else {
            cairo_fill(cr);
        }
    }
    if (stroke) {
        setColor(paint.frameColor);
        cairo_stroke(cr);
    }
    cairo_new_path(cr);
}

void CairoDrawDevice::drawRect(const CRect& rect, CDrawStyle style, const DevicePaint& paint)
{
    if (rect.isEmpty()) {
        return;
    }
    applyPaint(paint);
    cairo_new_path(cr);
    if (style == kDrawFilled || style == kDrawFilledAndStroked) {
        cairo_rectangle(cr, rect.left, rect.top, rect.width(), rect.height());
        setColor(paint.fillColor);
        cairo_fill(cr);
    }
    if ((style == kDrawStroked || style == kDrawFilledAndStroked) && paint.lineWidth > 0) {
        // The outline lies inside the rectangle, so a 1-pixel frame covers its edge pixels.
        const double half = paint.lineWidth / 2.0;
        const double w = std::max(rect.width() - paint.lineWidth, 0);
        const double h = std::max(rect.height() - paint.lineWidth, 0);
        cairo_rectangle(cr, rect.left + half, rect.top + half, w, h);
        setColor(paint.frameColor);
        cairo_stroke(cr);
    }
}

void CairoDrawDevice::ellipsePath(const CRect& rect, double startAngle, double endAngle, bool pie)
{
    const double cx = (rect.left + rect.right) / 2.0;
    const double cy = (rect.top + rect.bottom) / 2.0;
    const double rx = rect.width() / 2.0;
    const double ry = rect.height() / 2.0;
    cairo_new_path(cr);
    if (pie) {
        cairo_move_to(cr, cx, cy);
    }
    cairo_save(cr);
    cairo_translate(cr, cx, cy);
    cairo_scale(cr, rx, ry);
    // Cairo's angles already run clockwise on a y-down surface.
    if (pie) {
        cairo_arc(cr, 0.0, 0.0, 1.0, startAngle * kPi / 180.0, endAngle * kPi / 180.0);
    } else {
        cairo_new_sub_path(cr);
        cairo_arc(cr, 0.0, 0.0, 1.0, startAngle * kPi / 180.0, endAngle * kPi / 180.0);
    }
    cairo_restore(cr);
    if (pie) {
        cairo_close_path(cr);
    }
}

void CairoDrawDevice::drawEllipse(const CRect& rect, CDrawStyle style, const DevicePaint& paint)
{
    if (rect.isEmpty()) {
        return;
    }
    applyPaint(paint);
    ellipsePath(rect, 0.0, 360.0, false);
    cairo_close_path(cr);
    fillAndStroke(style, paint);
}

void CairoDrawDevice::drawArc(const CRect& rect, double startAngle, double endAngle, bool pie,
                              CDrawStyle style, const DevicePaint& paint)
{
    if (rect.isEmpty() || !std::isfinite(startAngle) || !std::isfinite(endAngle)) {
        return;
    }
    applyPaint(paint);
    // Whole turns beyond one add nothing but work.
    if (endAngle - startAngle > 360.0) {
        endAngle = startAngle + 360.0;
    }
    ellipsePath(rect, startAngle, endAngle, pie);
    fillAndStroke(pie ? style : kDrawStroked, paint);
}

void CairoDrawDevice::drawBitmap(const IPlatformBitmap& bitmap, const CRect& dest,
                                 const CPoint& source, uint8_t alpha)
{
    const auto* cairoBitmap = dynamic_cast<const CairoBitmap*>(&bitmap);
    if (!cairoBitmap || dest.isEmpty() || alpha == 0) {
        return;
    }
    cairo_save(cr);
    cairo_new_path(cr);
    cairo_rectangle(cr, dest.left, dest.top, dest.width(), dest.height());
    cairo_clip(cr);
    // `source` is in layout pixels; a picture made for another scale is scaled into the layout,
    // and smoothed when its pixels do not land one to one on the device's.
    const double bitmapScale = bitmap.getScaleFactor();
    if (bitmapScale == 1.0) {
        cairo_set_source_surface(cr, cairoBitmap->getSurface(), dest.left - source.x,
                                 dest.top - source.y);
    } else {
        cairo_translate(cr, dest.left - source.x, dest.top - source.y);
        cairo_scale(cr, 1.0 / bitmapScale, 1.0 / bitmapScale);
        cairo_set_source_surface(cr, cairoBitmap->getSurface(), 0, 0);
    }
    cairo_pattern_set_filter(cairo_get_source(cr),
                             bitmapScale == scaleFactor ? CAIRO_FILTER_NEAREST : CAIRO_FILTER_GOOD);
    if (alpha == 255) {
        cairo_paint(cr);
    } else {
        cairo_paint_with_alpha(cr, alpha / 255.0);
    }
    cairo_restore(cr);
}

void CairoDrawDevice::drawBitmapCell(const IPlatformBitmap& bitmap, const CRect& dest,
                                     const CPoint& source, uint8_t alpha)
{
    const auto* cairoBitmap = dynamic_cast<const CairoBitmap*>(&bitmap);
    if (!cairoBitmap || dest.isEmpty() || alpha == 0) {
        return;
    }
    if (bitmap.getScaleFactor() != scaleFactor || scaleFactor == 1.0) {
        drawBitmap(bitmap, dest, source, alpha);
        return;
    }
    // Whole pixels of the picture onto whole pixels of the device, one to one: the cell takes
    // the picture's pixels between its snapped edges, and the device pixels from its snapped
    // left and top. The user space stays the layout's, so device pixel n lies at n / scale.
    const auto [pictureLeft, pictureTop, width, height, left, top] =
        snapCell(dest, source, scaleFactor);
    if (width <= 0 || height <= 0) {
        return;
    }
    cairo_save(cr);
    cairo_scale(cr, 1.0 / scaleFactor, 1.0 / scaleFactor);
    cairo_new_path(cr);
    cairo_rectangle(cr, left, top, width, height);
    cairo_clip(cr);
    cairo_set_source_surface(cr, cairoBitmap->getSurface(), left - pictureLeft, top - pictureTop);
    cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
    if (alpha == 255) {
        cairo_paint(cr);
    } else {
        cairo_paint_with_alpha(cr, alpha / 255.0);
    }
    cairo_restore(cr);
}

} // namespace VSTGUI
