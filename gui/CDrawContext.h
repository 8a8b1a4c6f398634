// Drawing context handed to views. Views draw in their parent's coordinates; the context's offset
// maps those to window pixels. Pen and fill state, the current point and the clip live here; the
// rendering itself is the draw device's.
#pragma once

#include "gui/CGeometry.h"
#include "gui/IPlatform.h"

#include <cstdint>

namespace VSTGUI {

class CDrawContext
{
public:
    // `deviceClip` (window pixels) bounds everything drawn through this context.
    CDrawContext(IDrawDevice& device, const CRect& deviceClip);
    CDrawContext(const CDrawContext&) = delete;
    CDrawContext& operator=(const CDrawContext&) = delete;

    void setOffset(const CPoint& offset) { offsetPoint = offset; } // [ui]
    const CPoint& getOffset() const { return offsetPoint; }        // [ui]

    void setFrameColor(const CColor& color) { paint.frameColor = color; }              // [ui]
    CColor getFrameColor() const { return paint.frameColor; }                          // [ui]
    void setFillColor(const CColor& color) { paint.fillColor = color; }                // [ui]
    CColor getFillColor() const { return paint.fillColor; }                            // [ui]
    void setLineWidth(CCoord width);                                                   // [ui]
    CCoord getLineWidth() const { return paint.lineWidth; }                            // [ui]
    void setDrawMode(CDrawMode mode) { paint.antialias = mode == kAntialias; }         // [ui]
    CDrawMode getDrawMode() const { return paint.antialias ? kAntialias : kAliasing; } // [ui]

    void moveTo(const CPoint& point) { penPoint = point; } // [ui]
    // A line in the frame colour from the current point, which then moves to `point`.
    void lineTo(const CPoint& point);                    // [ui]
    void drawLine(const CPoint& from, const CPoint& to); // [ui]
    CPoint getPenLocation() const { return penPoint; }   // [ui]

    void drawRect(const CRect& rect, CDrawStyle style = kDrawStroked);      // [ui]
    void fillRect(const CRect& rect) { drawRect(rect, kDrawFilled); }       // [ui]
    void drawEllipse(const CRect& rect, CDrawStyle style = kDrawStroked);   // [ui]
    void fillEllipse(const CRect& rect) { drawEllipse(rect, kDrawFilled); } // [ui]
    // Arc of the ellipse in `rect` from `startAngle` clockwise to `endAngle` (degrees, 0 at
    // 3 o'clock, y downwards). A filled style draws the pie instead.
    void drawArc(const CRect& rect, float startAngle, float endAngle,
                 CDrawStyle style = kDrawStroked); // [ui]
    // The pie between the two angles, closed through the centre.
    void drawPie(const CRect& rect, float startAngle, float endAngle,
                 CDrawStyle style = kDrawFilled); // [ui]

    // The clip is given in the current view coordinates and never reaches outside the area this
    // context may paint; `resetClipRect` returns to that area.
    void setClipRect(const CRect& clip);   // [ui]
    CRect& getClipRect(CRect& clip) const; // [ui]
    void resetClipRect();                  // [ui]

    // Used by bitmaps: `dest` in view coordinates.
    void drawPlatformBitmap(const IPlatformBitmap& bitmap, const CRect& dest, const CPoint& source,
                            uint8_t alpha); // [ui]
    // One cell of a sheet of cells lying edge to edge (IDrawDevice::drawBitmapCell).
    void drawPlatformBitmapCell(const IPlatformBitmap& bitmap, const CRect& dest,
                                const CPoint& source, uint8_t alpha); // [ui]

    // The area containers give each view to paint (window pixels); resets the clip to it.
    void setBaseClip(const CRect& deviceClip);            // [ui]
    const CRect& getBaseClip() const { return baseClip; } // [ui]
    IDrawDevice& getDevice() { return device; }           // [ui]

private:
    CRect toDevice(CRect rect) const { return rect.offset(offsetPoint.x, offsetPoint.y); }
    CPoint toDevice(CPoint point) const { return point.offset(offsetPoint.x, offsetPoint.y); }

    IDrawDevice& device;
    CRect limit;
    CRect baseClip;
    CRect currentClip;
    CPoint offsetPoint;
    CPoint penPoint;
    DevicePaint paint;
};

} // namespace VSTGUI
