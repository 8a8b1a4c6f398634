#include "editor/CZKBitmap.h"

namespace VSTGUI {

CZKBitmap::CZKBitmap(int32_t resourceID) : CBitmap(resourceID) {}

CZKBitmap::CZKBitmap(const void* pngData, std::size_t size) : CBitmap(pngData, size) {}

CZKBitmap::CZKBitmap(CBitmap* shared_) : CBitmap(nullptr, 0), shared(shared_)
{
    if (shared) {
        shared->remember();
    }
}

CZKBitmap::~CZKBitmap()
{
    if (shared) {
        shared->forget();
    }
}

void CZKBitmap::drawBlended(CDrawContext* context, const CRect& rect, const CPoint& offset)
{
    if (shared) {
        shared->drawAlphaBlend(context, rect, offset, alpha);
    } else {
        drawAlphaBlend(context, rect, offset, alpha);
    }
}

void CZKBitmap::draw(CDrawContext* context, const CRect& rect, const CPoint& offset)
{
    drawBlended(context, rect, offset);
}

void CZKBitmap::drawTransparent(CDrawContext* context, const CRect& rect, const CPoint& offset)
{
    drawBlended(context, rect, offset);
}

} // namespace VSTGUI
