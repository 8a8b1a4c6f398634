#include "gui/CBitmap.h"

#include "gui/CDrawContext.h"
#include "gui/IPlatform.h"
#include "resources/resources.h"

#include <algorithm>
#include <cmath>

namespace VSTGUI {

CBitmap::CBitmap(int32_t resourceID_) : resourceID(resourceID_)
{
    const morvek2::ResourceBlob blob = morvek2::findResource(resourceID_, "PNG");
    load(blob.data, blob.size);
}

CBitmap::CBitmap(const void* pngData, std::size_t size)
{
    load(pngData, size);
}

CBitmap::~CBitmap() = default;

void CBitmap::load(const void* data, std::size_t size)
{
    IPlatformFactory* factory = getPlatformFactory();
    if (!factory || !data || size == 0) {
        return;
    }
    platformBitmap = factory->decodePNG(data, size);
    if (platformBitmap && (platformBitmap->getWidth() <= 0 || platformBitmap->getHeight() <= 0)) {
        platformBitmap.reset();
    }
}

const IPlatformBitmap& CBitmap::pictureFor(double deviceScale)
{
    if (deviceScale == 1.0 || resourceID < 0) {
        return *platformBitmap;
    }
    for (ScaledPicture& scaled : scaledPictures) {
        if (scaled.scale != deviceScale) {
            continue;
        }
        if (!scaled.tried) {
            scaled.tried = true;
            const morvek2::ResourceBlob blob =
                morvek2::findResource(resourceID, scaled.resourceType);
            IPlatformFactory* factory = getPlatformFactory();
            if (factory && blob.data && blob.size > 0) {
                scaled.picture = factory->decodePNG(blob.data, blob.size);
            }
            // Only a picture of exactly the scaled size can stand in for the 1x one; frames of a
            // film strip must land where the layout expects them.
            const auto expected = [&](CCoord length) {
                return static_cast<CCoord>(std::lround(length * scaled.scale));
            };
            if (scaled.picture && (scaled.picture->getWidth() != expected(getWidth()) ||
                                   scaled.picture->getHeight() != expected(getHeight()))) {
                scaled.picture.reset();
            }
            if (scaled.picture) {
                scaled.picture->setScaleFactor(scaled.scale);
            }
        }
        if (scaled.picture) {
            return *scaled.picture;
        }
    }
    return *platformBitmap;
}

CCoord CBitmap::getWidth() const
{
    return platformBitmap ? platformBitmap->getWidth() : 0;
}

CCoord CBitmap::getHeight() const
{
    return platformBitmap ? platformBitmap->getHeight() : 0;
}

void CBitmap::drawWithAlpha(CDrawContext* context, const CRect& rect, const CPoint& offset,
                            uint8_t alpha, bool cell)
{
    if (!context || !platformBitmap || alpha == 0) {
        return;
    }
    // Only the part of the picture that exists is drawn; a source offset outside it draws nothing.
    if (offset.x < 0 || offset.y < 0 || offset.x >= getWidth() || offset.y >= getHeight()) {
        return;
    }
    CRect dest = rect;
    dest.right = std::min(dest.right, dest.left + getWidth() - offset.x);
    dest.bottom = std::min(dest.bottom, dest.top + getHeight() - offset.y);
    const IPlatformBitmap& picture = pictureFor(context->getDevice().getScaleFactor());
    if (cell) {
        context->drawPlatformBitmapCell(picture, dest, offset, alpha);
    } else {
        context->drawPlatformBitmap(picture, dest, offset, alpha);
    }
}

void CBitmap::draw(CDrawContext* context, const CRect& rect, const CPoint& offset)
{
    drawWithAlpha(context, rect, offset, 255);
}

void CBitmap::drawTransparent(CDrawContext* context, const CRect& rect, const CPoint& offset)
{
    drawWithAlpha(context, rect, offset, 255);
}

void CBitmap::drawAlphaBlend(CDrawContext* context, const CRect& rect, const CPoint& offset,
                             uint8_t alpha)
{
    drawWithAlpha(context, rect, offset, alpha);
}

void CBitmap::drawCell(CDrawContext* context, const CRect& rect, const CPoint& offset,
                       uint8_t alpha)
{
    drawWithAlpha(context, rect, offset, alpha, true);
}

} // namespace VSTGUI
