#include "gui/CDrawContext.h"

#include <algorithm>

namespace VSTGUI {

CDrawContext::CDrawContext(IDrawDevice& device_, const CRect& deviceClip)
    : device(device_), limit(deviceClip), baseClip(deviceClip), currentClip(deviceClip)
{
    device.setClip(currentClip);
}

void CDrawContext::setLineWidth(CCoord width)
{
    paint.lineWidth = std::max<CCoord>(width, 0);
}

void CDrawContext::lineTo(const CPoint& point)
{
    drawLine(penPoint, point);
    penPoint = point;
}

void CDrawContext::drawLine(const CPoint& from, const CPoint& to)
{
    if (paint.lineWidth <= 0 || currentClip.isEmpty()) {
        return;
    }
    device.drawLine(toDevice(from), toDevice(to), paint);
}

void CDrawContext::drawRect(const CRect& rect, CDrawStyle style)
{
    if (rect.isEmpty() || currentClip.isEmpty()) {
        return;
    }
    device.drawRect(toDevice(rect), style, paint);
}

void CDrawContext::drawEllipse(const CRect& rect, CDrawStyle style)
{
    if (rect.isEmpty() || currentClip.isEmpty()) {
        return;
    }
    device.drawEllipse(toDevice(rect), style, paint);
}

void CDrawContext::drawArc(const CRect& rect, float startAngle, float endAngle, CDrawStyle style)
{
    if (rect.isEmpty() || currentClip.isEmpty()) {
        return;
    }
    device.drawArc(toDevice(rect), startAngle, endAngle, style != kDrawStroked, style, paint);
}

void CDrawContext::drawPie(const CRect& rect, float startAngle, float endAngle, CDrawStyle style)
{
    if (rect.isEmpty() || currentClip.isEmpty()) {
        return;
    }
    device.drawArc(toDevice(rect), startAngle, endAngle, true, style, paint);
}

void CDrawContext::setClipRect(const CRect& clip)
{
    currentClip = toDevice(clip);
    // A view may ask for any clip, but never for more than the area it was given to paint.
    currentClip.bound(limit);
    currentClip.bound(baseClip);
    device.setClip(currentClip);
}

CRect& CDrawContext::getClipRect(CRect& clip) const
{
    clip = currentClip;
    clip.offset(-offsetPoint.x, -offsetPoint.y);
    return clip;
}

void CDrawContext::resetClipRect()
{
    currentClip = baseClip;
    device.setClip(currentClip);
}

void CDrawContext::setBaseClip(const CRect& deviceClip)
{
    baseClip = deviceClip;
    baseClip.bound(limit);
    resetClipRect();
}

void CDrawContext::drawPlatformBitmap(const IPlatformBitmap& bitmap, const CRect& dest,
                                      const CPoint& source, uint8_t alpha)
{
    if (dest.isEmpty() || currentClip.isEmpty() || alpha == 0) {
        return;
    }
    device.drawBitmap(bitmap, toDevice(dest), source, alpha);
}

void CDrawContext::drawPlatformBitmapCell(const IPlatformBitmap& bitmap, const CRect& dest,
                                          const CPoint& source, uint8_t alpha)
{
    if (dest.isEmpty() || currentClip.isEmpty() || alpha == 0) {
        return;
    }
    device.drawBitmapCell(bitmap, toDevice(dest), source, alpha);
}

} // namespace VSTGUI
