// The two narrow interfaces the framework core stands on, free of any window-system or graphics
// library type: a draw device (what a drawing context renders with) and a platform frame (the
// native child window that holds a frame). Backends under gui/platform/ implement them and
// install a factory; without one, bitmaps load empty and frames have no window.
#pragma once

#include "gui/CGeometry.h"

#include <cstddef>
#include <memory>

namespace VSTGUI {

// A decoded image with straight or premultiplied alpha, as the backend prefers.
class IPlatformBitmap
{
public:
    virtual ~IPlatformBitmap() = default;
    // Size in the image's own pixels.
    virtual CCoord getWidth() const = 0;
    virtual CCoord getHeight() const = 0;

    // How many image pixels make one layout pixel: 2 for a picture drawn for a 2x screen, which
    // then covers half its pixel size in the layout.
    double getScaleFactor() const { return scaleFactor; }
    void setScaleFactor(double factor) { scaleFactor = factor > 0 ? factor : 1.0; }

private:
    double scaleFactor = 1.0;
};

// How a shape is stroked and filled; geometry arrives in device pixels.
struct DevicePaint
{
    CColor frameColor = kBlackCColor;
    CColor fillColor = kWhiteCColor;
    CCoord lineWidth = 1;
    bool antialias = false;
};

class IDrawDevice
{
public:
    virtual ~IDrawDevice() = default;

    // Device pixels per layout pixel. Geometry always arrives in layout pixels; a device on a
    // high-density screen maps it to its own pixels.
    virtual double getScaleFactor() const { return 1.0; }

    // Every later operation is confined to `clip`, which is already within the device.
    virtual void setClip(const CRect& clip) = 0;
    virtual void drawLine(const CPoint& from, const CPoint& to, const DevicePaint& paint) = 0;
    virtual void drawRect(const CRect& rect, CDrawStyle style, const DevicePaint& paint) = 0;
    virtual void drawEllipse(const CRect& rect, CDrawStyle style, const DevicePaint& paint) = 0;
    // Angles in degrees, clockwise from 3 o'clock; the arc runs from `startAngle` clockwise to
    // `endAngle`. `pie` closes the path through the ellipse's centre.
    virtual void drawArc(const CRect& rect, double startAngle, double endAngle, bool pie,
                         CDrawStyle style, const DevicePaint& paint) = 0;
    // Draws the part of `bitmap` starting at `source` into `dest`, composited over what is there
    // by the bitmap's own alpha and then by `alpha` (0..255).
    virtual void drawBitmap(const IPlatformBitmap& bitmap, const CRect& dest, const CPoint& source,
                            uint8_t alpha) = 0;
    // The same for one cell of a sheet whose cells lie edge to edge (the glyphs of a font). A
    // picture made for the device's scale is copied pixel for pixel, the cell's edges snapped
    // by snapToDevicePixel in the picture and on the device alike: at 1.5x a cell edge can fall
    // inside a pixel, and neither half of the neighbouring cell may show. Other pictures are
    // drawn as drawBitmap draws them.
    virtual void drawBitmapCell(const IPlatformBitmap& bitmap, const CRect& dest,
                                const CPoint& source, uint8_t alpha)
    {
        drawBitmap(bitmap, dest, source, alpha);
    }
};

// What a platform frame calls back into: the frame that owns it.
class IPlatformFrameOwner
{
public:
    virtual ~IPlatformFrameOwner() = default;
    // Paint `updateRect` (window pixels) into `device`.
    virtual void platformDrawRect(IDrawDevice& device, const CRect& updateRect) = 0;
    virtual CMouseEventResult platformOnMouseDown(CPoint where, int32_t buttons) = 0;
    virtual CMouseEventResult platformOnMouseMoved(CPoint where, int32_t buttons) = 0;
    virtual CMouseEventResult platformOnMouseUp(CPoint where, int32_t buttons) = 0;
    virtual bool platformOnMouseWheel(CPoint where, float distance, int32_t buttons) = 0;
    // The window system's own timer, for hosts that stop sending idle calls: runs what the
    // host's idle would run. Platforms whose events arrive only through the idle never call it.
    virtual void platformOnIdleTimer() {}
};

class IPlatformFrame
{
public:
    virtual ~IPlatformFrame() = default;

    // Marks part of the window for the next `paint`.
    virtual void invalidRect(const CRect& rect) = 0;
    // Handles every event waiting for the window, calling the owner for mouse input.
    virtual void pumpEvents() = 0;
    // Repaints what was invalidated since the last call, through the owner, and shows it.
    virtual void paint() = 0;
    // While captured, the window keeps receiving pointer events outside its area.
    virtual void setMouseCapture(bool captured) = 0;
    virtual void setCursor(CCursorType type) = 0;
    // Buttons and modifier keys held right now (kLButton, kShift, ...).
    virtual int32_t getCurrentButtons() const = 0;
    virtual bool getCurrentMousePosition(CPoint& where) const = 0;
    virtual bool setSize(CCoord width, CCoord height) = 0;
    // The window-system handle (an X11 window id), or null offscreen.
    virtual void* getNativeHandle() const = 0;
    // Device pixels per layout pixel (1, 1.5 or 2). Sizes, rectangles and mouse positions that
    // cross this interface are in layout pixels; the platform frame converts at its edge.
    virtual double getScaleFactor() const { return 1.0; }
};

class IPlatformFactory
{
public:
    virtual ~IPlatformFactory() = default;
    // A child window of `parent` (the host's window); a null parent asks for an offscreen frame.
    virtual std::unique_ptr<IPlatformFrame> createFrame(IPlatformFrameOwner& owner, void* parent,
                                                        CCoord width, CCoord height) = 0;
    // The same at the scale the host announced for its windows (0: the desktop's). A platform
    // whose windows take the scale only from the desktop ignores it.
    virtual std::unique_ptr<IPlatformFrame> createFrameAtScale(IPlatformFrameOwner& owner,
                                                               void* parent, CCoord width,
                                                               CCoord height, double /*scale*/)
    {
        return createFrame(owner, parent, width, height);
    }
    // Null when the data is not a decodable PNG.
    virtual std::unique_ptr<IPlatformBitmap> decodePNG(const void* data, std::size_t size) = 0;
    // The scale the desktop asks windows to use, before any window exists (for the size the host
    // is told up front). The frame on the window decides for itself once it is created.
    virtual double desktopScaleFactor() { return 1.0; }
};

// The supported scale nearest to `factor` (device pixels per layout pixel): 1, 1.5 or 2. A value
// halfway between two goes to the larger one; anything not positive or not finite is 1.
double nearestSupportedScale(double factor);
// The device pixels that cover a layout rectangle at `scale` (rounded outwards).
CRect layoutToDevice(const CRect& rect, double scale);
// The layout rectangle that covers a device rectangle at `scale` (rounded outwards).
CRect deviceToLayout(const CRect& rect, double scale);
// The device pixel edge nearest to a layout position at `scale`, halves rounding up. The
// high-density font sheets give each glyph cell the pixels between its edges snapped this way.
CCoord snapToDevicePixel(CCoord position, double scale);
// A glyph cell `dest` drawn from `source` in a picture made for `scale`, in whole device pixels:
// where the cell starts in the picture, its size, and where it lands on the device.
struct DeviceCell
{
    CCoord pictureLeft, pictureTop, width, height, left, top;
};
DeviceCell snapCell(const CRect& dest, const CPoint& source, double scale);
// A device position in the layout (rounded down: every device pixel belongs to one layout pixel).
CPoint devicePointToLayout(CPoint point, double scale);

// The process-wide factory; the platform library installs its own at start-up.
void setPlatformFactory(IPlatformFactory* factory); // [ui]
IPlatformFactory* getPlatformFactory();             // [any]

} // namespace VSTGUI
