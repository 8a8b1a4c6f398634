#include "gui/CBitmap.h"

#include "gui/CDrawContext.h"
#include "gui/IPlatform.h"
#include "resources/resources.h"

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

CCoord CBitmap::getWidth() const
{
    return platformBitmap ? platformBitmap->getWidth() : 0;
}

CCoord CBitmap::getHeight() const
{
    return platformBitmap ? platformBitmap->getHeight() : 0;
}

void CBitmap::drawWithAlpha(CDrawContext* context, const CRect& rect, const CPoint& offset,
                            uint8_t alpha)
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
    context->drawPlatformBitmap(*platformBitmap, dest, offset, alpha);
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

} // namespace VSTGUI
