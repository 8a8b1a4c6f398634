// GDI+ rendering for the framework on Windows: a draw device on a GDI+ graphics object, PNG
// decoding from memory (the module's resources) into premultiplied bitmaps, and the start-up of
// GDI+ itself, shared by every editor and bitmap in the process.
#pragma once

#include "gui/IPlatform.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace Gdiplus {
class Bitmap;
class Graphics;
} // namespace Gdiplus

namespace VSTGUI {

// Keeps GDI+ started while it lives. GDI+ starts with the first session in the process and shuts
// down with the last, so several editors (and the bitmaps they keep) share one start-up.
class GdiplusSession
{
public:
    GdiplusSession();
    ~GdiplusSession();
    GdiplusSession(const GdiplusSession&) = delete;
    GdiplusSession& operator=(const GdiplusSession&) = delete;

    bool isRunning() const { return running; }
    // Sessions alive in the process right now.
    static int activeSessions();

private:
    bool running = false;
};

// A decoded picture in 32-bit premultiplied ARGB, in memory of its own (not the PNG's bytes).
class GdiplusBitmap : public IPlatformBitmap
{
public:
    ~GdiplusBitmap() override;
    GdiplusBitmap(const GdiplusBitmap&) = delete;
    GdiplusBitmap& operator=(const GdiplusBitmap&) = delete;

    CCoord getWidth() const override { return width; }
    CCoord getHeight() const override { return height; }
    Gdiplus::Bitmap* getBitmap() const { return bitmap; }

    // Null when the bytes are not an image GDI+ can read.
    static std::unique_ptr<IPlatformBitmap> decodePNG(const void* data, std::size_t size);

private:
    GdiplusBitmap() = default;

    GdiplusSession session; // declared first: GDI+ outlives the bitmap below
    CCoord width = 0;
    CCoord height = 0;
    std::vector<uint32_t> pixels;
    Gdiplus::Bitmap* bitmap = nullptr;
};

class GdiplusDrawDevice : public IDrawDevice
{
public:
    // Draws with `graphics`, which the caller keeps alive for the device's life. Geometry comes
    // in layout pixels and lands `scaleFactor` times larger on the graphics' pixels; nothing is
    // drawn outside `deviceBound` (device pixels; empty means no bound).
    explicit GdiplusDrawDevice(Gdiplus::Graphics& graphics, double scaleFactor = 1.0,
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

    Gdiplus::Graphics& graphics;
    double scaleFactor;
    CRect deviceBound;
};

} // namespace VSTGUI
