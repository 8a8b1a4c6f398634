// Cairo rendering for the framework: a draw device on a cairo context and PNG decoding into
// image surfaces.
#pragma once

#include "gui/IPlatform.h"

#include <cairo.h>

namespace VSTGUI {

// A decoded picture: an ARGB32 image surface with premultiplied alpha.
class CairoBitmap : public IPlatformBitmap
{
public:
    // Takes over the reference to `surface`.
    explicit CairoBitmap(cairo_surface_t* surface);
    ~CairoBitmap() override;
    CairoBitmap(const CairoBitmap&) = delete;
    CairoBitmap& operator=(const CairoBitmap&) = delete;

    CCoord getWidth() const override;
    CCoord getHeight() const override;
    cairo_surface_t* getSurface() const { return surface; }

private:
    cairo_surface_t* surface;
};

// Null when the bytes are not a PNG cairo can read.
std::unique_ptr<IPlatformBitmap> decodePNGWithCairo(const void* data, std::size_t size);

class CairoDrawDevice : public IDrawDevice
{
public:
    // Draws into `cr`, which the caller keeps alive for the device's life. On a scaled screen
    // the caller has already scaled `cr` by `scaleFactor`; `deviceBound` (device pixels, empty
    // for none) then limits every clip, so that a layout rectangle rounded outwards never
    // paints beyond the device pixels the caller prepared.
    explicit CairoDrawDevice(cairo_t* cr, double scaleFactor = 1.0,
                             const CRect& deviceBound = CRect());

    double getScaleFactor() const override { return scaleFactor; }

    void setClip(const CRect& clip) override;
    void drawLine(const CPoint& from, const CPoint& to, const DevicePaint& paint) override;
    void drawRect(const CRect& rect, CDrawStyle style, const DevicePaint& paint) override;
    void drawEllipse(const CRect& rect, CDrawStyle style, const DevicePaint& paint) override;
    void drawArc(const CRect& rect, double startAngle, double endAngle, bool pie, CDrawStyle style,
                 const DevicePaint& paint) override;
    void drawBitmap(const IPlatformBitmap& bitmap, const CRect& dest, const CPoint& source,
                    uint8_t alpha) override;
    void drawBitmapCell(const IPlatformBitmap& bitmap, const CRect& dest, const CPoint& source,
                        uint8_t alpha) override;

private:
    void applyPaint(const DevicePaint& paint);
    void setColor(const CColor& color);
    // Adds the ellipse inscribed in `rect` (or its arc between two angles) to the path.
    void ellipsePath(const CRect& rect, double startAngle, double endAngle, bool pie);
    void fillAndStroke(CDrawStyle style, const DevicePaint& paint);

    cairo_t* cr;
    double scaleFactor;
    CRect deviceBound;
};

// Repaints `layoutRect` of `owner` into `cr`'s surface at `scale`: the covering device pixels are
// first cleared with `clearOperator` and `clearColor`. Answers the device pixels it painted.
CRect paintLayoutRect(cairo_t* cr, IPlatformFrameOwner& owner, const CRect& layoutRect,
                      double scale, cairo_operator_t clearOperator, const CColor& clearColor);

} // namespace VSTGUI
