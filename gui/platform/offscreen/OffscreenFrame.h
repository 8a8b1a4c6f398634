// A platform frame without a window: the frame renders into a Cairo image surface. Tests and
// benchmarks use it to drive the framework without an X server, inject mouse input as a window
// system would deliver it, read pixels back and save PNG files.
#pragma once

#include "gui/IPlatform.h"
#include "gui/platform/DirtyRegion.h"

#include <cairo.h>
#include <deque>
#include <string>

namespace VSTGUI {

class OffscreenFrame : public IPlatformFrame
{
public:
    // `width` and `height` are layout pixels; the image has `scaleFactor` times as many pixels
    // (1, 1.5 or 2; anything else is taken as the nearest of these).
    OffscreenFrame(IPlatformFrameOwner& owner, CCoord width, CCoord height,
                   double scaleFactor = 1.0);
    ~OffscreenFrame() override;
    OffscreenFrame(const OffscreenFrame&) = delete;
    OffscreenFrame& operator=(const OffscreenFrame&) = delete;

    void invalidRect(const CRect& rect) override;
    void pumpEvents() override;
    void paint() override;
    void setMouseCapture(bool captured) override { mouseCaptured = captured; }
    void setCursor(CCursorType type) override { cursor = type; }
    int32_t getCurrentButtons() const override { return currentButtons; }
    bool getCurrentMousePosition(CPoint& where) const override;
    bool setSize(CCoord width, CCoord height) override;
    void* getNativeHandle() const override { return nullptr; }
    double getScaleFactor() const override { return scale; }

    // Mouse input delivered at once, as the window system would hand it over: in image pixels.
    CMouseEventResult mouseDown(CPoint where, int32_t buttons);
    CMouseEventResult mouseMoved(CPoint where, int32_t buttons);
    CMouseEventResult mouseUp(CPoint where, int32_t buttons);
    bool mouseWheel(CPoint where, float distance, int32_t buttons);
    // Mouse input queued for the next pumpEvents (the frame's idle), like real window events.
    enum class EventType { down, moved, up, wheel };
    void postEvent(EventType type, CPoint where, int32_t buttons, float distance = 0.f);
    std::size_t pendingEvents() const { return queue.size(); }

    bool isMouseCaptured() const { return mouseCaptured; }
    CCursorType getCursor() const { return cursor; }
    // Repaints everything now.
    void renderAll();
    // The pixel at (x, y) of the image, alpha not premultiplied; transparent black outside it.
    CColor getPixel(CCoord x, CCoord y) const;
    bool savePNG(const std::string& path) const;
    cairo_surface_t* getSurface() const { return surface; }
    // Layout size, and the size of the image in its own pixels.
    CCoord getWidth() const { return width; }
    CCoord getHeight() const { return height; }
    CCoord getDeviceWidth() const;
    CCoord getDeviceHeight() const;
    // How many paint passes drew something; lets tests see that idle repainted.
    int getPaintCount() const { return paintCount; }

private:
    struct Event
    {
        EventType type;
        CPoint where;
        int32_t buttons;
        float distance;
    };
    void recreateSurface();

    IPlatformFrameOwner& owner;
    CCoord width;
    CCoord height;
    double scale;
    cairo_surface_t* surface = nullptr;
    DirtyRegion dirty;
    std::deque<Event> queue;
    CPoint mousePosition;
    int32_t currentButtons = 0;
    CCursorType cursor = kCursorDefault;
    bool mouseCaptured = false;
    int paintCount = 0;
};

// Renders into a standalone image without any frame: for drawing bitmaps, fonts or single views
// in tests.
class OffscreenSurface
{
public:
    OffscreenSurface(CCoord width, CCoord height);
    ~OffscreenSurface();
    OffscreenSurface(const OffscreenSurface&) = delete;
    OffscreenSurface& operator=(const OffscreenSurface&) = delete;

    // A fresh drawing context over the whole surface (valid while the surface lives).
    class CDrawContext& context();
    void clear(const CColor& color);
    CColor getPixel(CCoord x, CCoord y) const;
    bool savePNG(const std::string& path) const;
    cairo_surface_t* getSurface() const { return surface; }

private:
    cairo_surface_t* surface;
    cairo_t* cr;
    std::unique_ptr<class CairoDrawDevice> device;
    std::unique_ptr<class CDrawContext> drawContext;
};

// Reads a pixel of an ARGB32 or RGB24 image surface, undoing premultiplication.
CColor readSurfacePixel(cairo_surface_t* surface, CCoord x, CCoord y);

} // namespace VSTGUI
