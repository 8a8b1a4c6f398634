#include "gui/platform/win32/GdiplusDrawDevice.h"

#include <windows.h>

#include <objidl.h>
#include <shlwapi.h>

#include <gdiplus.h>

#include <algorithm>
#include <cmath>
#include <mutex>

namespace VSTGUI {

namespace {

std::mutex& sessionMutex()
{
    static std::mutex m;
    return m;
}

int sessionCount = 0;
ULONG_PTR gdiplusToken = 0;

Gdiplus::Color toColor(const CColor& c)
{
    return Gdiplus::Color(c.alpha, c.red, c.green, c.blue);
}

bool fills(CDrawStyle style)
{
    return style == kDrawFilled || style == kDrawFilledAndStroked;
}

bool strokes(CDrawStyle style, const DevicePaint& paint)
{
    return (style == kDrawStroked || style == kDrawFilledAndStroked) && paint.lineWidth > 0;
}

Gdiplus::RectF toRectF(const CRect& r)
{
    return Gdiplus::RectF(static_cast<Gdiplus::REAL>(r.left), static_cast<Gdiplus::REAL>(r.top),
                          static_cast<Gdiplus::REAL>(r.width()),
                          static_cast<Gdiplus::REAL>(r.height()));
}

} // namespace

GdiplusSession::GdiplusSession()
{
    std::lock_guard<std::mutex> lock(sessionMutex());
    if (sessionCount == 0) {
        Gdiplus::GdiplusStartupInput input;
        if (Gdiplus::GdiplusStartup(&gdiplusToken, &input, nullptr) != Gdiplus::Ok) {
            gdiplusToken = 0;
            return;
        }
    }
    ++sessionCount;
    running = true;
}

GdiplusSession::~GdiplusSession()
{
    if (!running) {
        return;
    }
    std::lock_guard<std::mutex> lock(sessionMutex());
    if (--sessionCount == 0) {
        Gdiplus::GdiplusShutdown(gdiplusToken);
        gdiplusToken = 0;
    }
}

int GdiplusSession::activeSessions()
{
    std::lock_guard<std::mutex> lock(sessionMutex());
    return sessionCount;
}

GdiplusBitmap::~GdiplusBitmap()
{
    delete bitmap;
}

std::unique_ptr<IPlatformBitmap> GdiplusBitmap::decodePNG(const void* data, std::size_t size)
{
    if (!data || size < 8 || size > 0x7fffffff) {
        return nullptr;
    }
    std::unique_ptr<GdiplusBitmap> result(new GdiplusBitmap);
    if (!result->session.isRunning()) {
        return nullptr;
    }
    // A stream over the caller's bytes; GDI+ reads the picture through it while it exists, so
    // the pixels are copied out before the stream goes.
    IStream* stream = SHCreateMemStream(static_cast<const BYTE*>(data), static_cast<UINT>(size));
    if (!stream) {
        return nullptr;
    }
    {
        Gdiplus::Bitmap decoded(stream);
        const bool readable = decoded.GetLastStatus() == Gdiplus::Ok;
        const auto w = readable ? static_cast<CCoord>(decoded.GetWidth()) : 0;
        const auto h = readable ? static_cast<CCoord>(decoded.GetHeight()) : 0;
        if (w > 0 && h > 0 && w <= 16384 && h <= 16384) {
            result->pixels.assign(static_cast<std::size_t>(w) * static_cast<std::size_t>(h), 0);
            Gdiplus::BitmapData target{};
            target.Width = static_cast<UINT>(w);
            target.Height = static_cast<UINT>(h);
            target.Stride = w * 4;
            target.PixelFormat = PixelFormat32bppPARGB;
            target.Scan0 = result->pixels.data();
            Gdiplus::Rect all(0, 0, w, h);
            // The decoder converts into our buffer (premultiplied, as drawing wants it).
            if (decoded.LockBits(&all,
                                 Gdiplus::ImageLockModeRead | Gdiplus::ImageLockModeUserInputBuf,
                                 PixelFormat32bppPARGB, &target) == Gdiplus::Ok) {
                decoded.UnlockBits(&target);
                result->width = w;
                result->height = h;
            }
        }
    }
    stream->Release();
    if (result->width <= 0) {
        return nullptr;
    }
    result->bitmap =
        new Gdiplus::Bitmap(result->width, result->height, result->width * 4, PixelFormat32bppPARGB,
                            reinterpret_cast<BYTE*>(result->pixels.data()));
    if (result->bitmap->GetLastStatus() != Gdiplus::Ok) {
        return nullptr;
    }
    return result;
}

GdiplusDrawDevice::GdiplusDrawDevice(Gdiplus::Graphics& graphics_, double scaleFactor_,
                                     const CRect& deviceBound_)
    : graphics(graphics_), scaleFactor(scaleFactor_ > 0 ? scaleFactor_ : 1.0),
      deviceBound(deviceBound_)
{
    // The framework's geometry has pixel centres at half-integer positions (a 1-pixel line at
    // x + 0.5 lies on pixel column x, integer rectangles fill whole pixels); GDI+ puts them on
    // integers. Half a device pixel of translation maps the one onto the other, clips included,
    // after the layout is scaled to the device (a prepended transform applies first).
    graphics.SetPixelOffsetMode(Gdiplus::PixelOffsetModeNone);
    graphics.TranslateTransform(-0.5f, -0.5f);
    if (scaleFactor != 1.0) {
        graphics.ScaleTransform(static_cast<Gdiplus::REAL>(scaleFactor),
                                static_cast<Gdiplus::REAL>(scaleFactor));
    }
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
    graphics.SetCompositingMode(Gdiplus::CompositingModeSourceOver);
}

void GdiplusDrawDevice::applyPaint(const DevicePaint& paint)
{
    graphics.SetSmoothingMode(paint.antialias ? Gdiplus::SmoothingModeAntiAlias
                                              : Gdiplus::SmoothingModeNone);
}

void GdiplusDrawDevice::setClip(const CRect& clip)
{
    const CRect r(clip.left, clip.top, clip.left + std::max(clip.width(), 0),
                  clip.top + std::max(clip.height(), 0));
    graphics.SetClip(Gdiplus::Rect(r.left, r.top, r.width(), r.height()),
                     Gdiplus::CombineModeReplace);
    if (!deviceBound.isEmpty()) {
        // Device pixel edges lie at layout positions edge / scale; at a fractional scale this
        // keeps the overhang of the layout pixels drawn whole off the pixels around.
        const auto s = static_cast<Gdiplus::REAL>(scaleFactor);
        graphics.IntersectClip(
            Gdiplus::RectF(static_cast<Gdiplus::REAL>(deviceBound.left) / s,
                           static_cast<Gdiplus::REAL>(deviceBound.top) / s,
                           static_cast<Gdiplus::REAL>(deviceBound.width()) / s,
                           static_cast<Gdiplus::REAL>(deviceBound.height()) / s));
    }
}

void GdiplusDrawDevice::drawLine(const CPoint& from, const CPoint& to, const DevicePaint& paint)
{
    if (paint.lineWidth <= 0 || paint.frameColor.alpha == 0) {
        return;
    }
    applyPaint(paint);
    // Odd widths sit on pixel centres so that straight lines cover whole pixels; square caps
    // include both end points.
    const Gdiplus::REAL shift = (paint.lineWidth % 2) ? 0.5f : 0.0f;
    Gdiplus::Pen pen(toColor(paint.frameColor), static_cast<Gdiplus::REAL>(paint.lineWidth));
    pen.SetStartCap(Gdiplus::LineCapSquare);
    pen.SetEndCap(Gdiplus::LineCapSquare);
    graphics.DrawLine(&pen, static_cast<Gdiplus::REAL>(from.x) + shift,
                      static_cast<Gdiplus::REAL>(from.y) + shift,
                      static_cast<Gdiplus::REAL>(to.x) + shift,
                      static_cast<Gdiplus::REAL>(to.y) + shift);
}

void GdiplusDrawDevice::drawRect(const CRect& rect, CDrawStyle style, const DevicePaint& paint)
{
    if (rect.isEmpty()) {
        return;
    }
    applyPaint(paint);
    if (fills(style)) {
        Gdiplus::SolidBrush brush(toColor(paint.fillColor));
        graphics.FillRectangle(&brush, toRectF(rect));
    }
    if (strokes(style, paint)) {
        // The outline lies inside the rectangle, so a 1-pixel frame covers its edge pixels.
        const Gdiplus::REAL half = static_cast<Gdiplus::REAL>(paint.lineWidth) / 2.0f;
        const auto w = static_cast<Gdiplus::REAL>(std::max(rect.width() - paint.lineWidth, 0));
        const auto h = static_cast<Gdiplus::REAL>(std::max(rect.height() - paint.lineWidth, 0));
        Gdiplus::Pen pen(toColor(paint.frameColor), static_cast<Gdiplus::REAL>(paint.lineWidth));
        pen.SetLineJoin(Gdiplus::LineJoinMiter);
        graphics.DrawRectangle(&pen, static_cast<Gdiplus::REAL>(rect.left) + half,
                               static_cast<Gdiplus::REAL>(rect.top) + half, w, h);
    }
}

void GdiplusDrawDevice::drawEllipse(const CRect& rect, CDrawStyle style, const DevicePaint& paint)
{
    if (rect.isEmpty()) {
        return;
    }
    applyPaint(paint);
    const Gdiplus::RectF r = toRectF(rect);
    if (fills(style)) {
        Gdiplus::SolidBrush brush(toColor(paint.fillColor));
        graphics.FillEllipse(&brush, r);
    }
    if (strokes(style, paint)) {
        Gdiplus::Pen pen(toColor(paint.frameColor), static_cast<Gdiplus::REAL>(paint.lineWidth));
        graphics.DrawEllipse(&pen, r);
    }
}

void GdiplusDrawDevice::drawArc(const CRect& rect, double startAngle, double endAngle, bool pie,
                                CDrawStyle style, const DevicePaint& paint)
{
    if (rect.isEmpty() || !std::isfinite(startAngle) || !std::isfinite(endAngle)) {
        return;
    }
    applyPaint(paint);
    // The arc runs clockwise from start to end (GDI+ angles already run clockwise on a y-down
    // surface); an end before the start means the way round through 360 degrees, and whole
    // turns beyond one add nothing.
    double sweep = std::fmod(endAngle - startAngle, 360.0);
    if (endAngle - startAngle >= 360.0) {
        sweep = 360.0;
    } else if (sweep < 0.0) {
        sweep += 360.0;
    }
    const Gdiplus::RectF r = toRectF(rect);
    const auto start = static_cast<Gdiplus::REAL>(std::fmod(startAngle, 360.0));
    const auto extent = static_cast<Gdiplus::REAL>(sweep);
    if (!pie) {
        if (strokes(kDrawStroked, paint)) {
            Gdiplus::Pen pen(toColor(paint.frameColor),
                             static_cast<Gdiplus::REAL>(paint.lineWidth));
            graphics.DrawArc(&pen, r, start, extent);
        }
        return;
    }
    if (fills(style)) {
        Gdiplus::SolidBrush brush(toColor(paint.fillColor));
        graphics.FillPie(&brush, r, start, extent);
    }
    if (strokes(style, paint)) {
        Gdiplus::Pen pen(toColor(paint.frameColor), static_cast<Gdiplus::REAL>(paint.lineWidth));
        graphics.DrawPie(&pen, r, start, extent);
    }
}

void GdiplusDrawDevice::drawBitmap(const IPlatformBitmap& bitmap, const CRect& dest,
                                   const CPoint& source, uint8_t alpha)
{
    const auto* gdiplusBitmap = dynamic_cast<const GdiplusBitmap*>(&bitmap);
    if (!gdiplusBitmap || !gdiplusBitmap->getBitmap() || dest.isEmpty() || alpha == 0) {
        return;
    }
    // `source` and `dest` are in layout pixels; a picture made for another scale covers its
    // pixel size divided by its scale. It is copied pixel for pixel when its scale is the
    // device's, and smoothed otherwise (a 1x picture where no scaled one exists).
    const double bitmapScale = bitmap.getScaleFactor();
    const auto inPicture = [bitmapScale](CCoord v) {
        return static_cast<Gdiplus::REAL>(v * bitmapScale);
    };
    const Gdiplus::REAL sx = inPicture(source.x);
    const Gdiplus::REAL sy = inPicture(source.y);
    const Gdiplus::REAL sw = inPicture(dest.width());
    const Gdiplus::REAL sh = inPicture(dest.height());
    Gdiplus::RectF target = toRectF(dest);
    if (bitmapScale == scaleFactor && scaleFactor != std::floor(scaleFactor)) {
        // At 1.5x a layout position can fall on half a device pixel, where nearest-neighbour
        // sampling would pick picture pixels by rounding noise. The picture moves to the next
        // whole device pixel (half up, as the other backends place it), so each of its pixels
        // covers exactly one device pixel.
        const auto snap = [this](CCoord v) {
            return static_cast<Gdiplus::REAL>(std::floor(v * scaleFactor + 0.5) / scaleFactor);
        };
        target.X = snap(dest.left);
        target.Y = snap(dest.top);
    }
    graphics.SetInterpolationMode(bitmapScale == scaleFactor
                                      ? Gdiplus::InterpolationModeNearestNeighbor
                                      : Gdiplus::InterpolationModeHighQualityBilinear);
    if (alpha == 255) {
        graphics.DrawImage(gdiplusBitmap->getBitmap(), target, sx, sy, sw, sh, Gdiplus::UnitPixel);
        return;
    }
    Gdiplus::ColorMatrix matrix = {{{1, 0, 0, 0, 0},
                                    {0, 1, 0, 0, 0},
                                    {0, 0, 1, 0, 0},
                                    {0, 0, 0, static_cast<Gdiplus::REAL>(alpha / 255.0), 0},
                                    {0, 0, 0, 0, 1}}};
    Gdiplus::ImageAttributes attributes;
    attributes.SetColorMatrix(&matrix);
    graphics.DrawImage(gdiplusBitmap->getBitmap(), target, sx, sy, sw, sh, Gdiplus::UnitPixel,
                       &attributes);
}

void GdiplusDrawDevice::drawBitmapCell(const IPlatformBitmap& bitmap, const CRect& dest,
                                       const CPoint& source, uint8_t alpha)
{
    const auto* gdiplusBitmap = dynamic_cast<const GdiplusBitmap*>(&bitmap);
    if (!gdiplusBitmap || !gdiplusBitmap->getBitmap() || dest.isEmpty() || alpha == 0) {
        return;
    }
    if (bitmap.getScaleFactor() != scaleFactor || scaleFactor == 1.0) {
        drawBitmap(bitmap, dest, source, alpha);
        return;
    }
    // Whole pixels of the picture onto whole pixels of the device, one to one, the cell's edges
    // snapped as the Cairo device snaps them. The copy is placed in device pixels: n / 1.5 as a
    // REAL scaled back by the transform can land a hair short of n, and GDI+ then rounds the
    // whole picture a pixel up or left.
    const auto [pictureLeft, pictureTop, width, height, left, top] =
        snapCell(dest, source, scaleFactor);
    if (width <= 0 || height <= 0) {
        return;
    }
    const auto real = [](CCoord v) { return static_cast<Gdiplus::REAL>(v); };
    const Gdiplus::RectF target(real(left), real(top), real(width), real(height));
    Gdiplus::Matrix layoutTransform;
    graphics.GetTransform(&layoutTransform);
    // The clip stays where it is on the device; only the geometry below is in device pixels.
    graphics.ResetTransform();
    graphics.TranslateTransform(-0.5f, -0.5f);
    graphics.SetInterpolationMode(Gdiplus::InterpolationModeNearestNeighbor);
    if (alpha == 255) {
        graphics.DrawImage(gdiplusBitmap->getBitmap(), target, real(pictureLeft), real(pictureTop),
                           real(width), real(height), Gdiplus::UnitPixel);
    } else {
        Gdiplus::ColorMatrix matrix = {{{1, 0, 0, 0, 0},
                                        {0, 1, 0, 0, 0},
                                        {0, 0, 1, 0, 0},
                                        {0, 0, 0, static_cast<Gdiplus::REAL>(alpha / 255.0), 0},
                                        {0, 0, 0, 0, 1}}};
        Gdiplus::ImageAttributes attributes;
        attributes.SetColorMatrix(&matrix);
        graphics.DrawImage(gdiplusBitmap->getBitmap(), target, real(pictureLeft), real(pictureTop),
                           real(width), real(height), Gdiplus::UnitPixel, &attributes);
    }
    graphics.SetTransform(&layoutTransform);
}

} // namespace VSTGUI
