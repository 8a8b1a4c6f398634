// A bitmap that always draws alpha-blended with its own alpha, used for the translucent image of
// a module button while it is dragged along the module row.
#pragma once

#include "gui/CBitmap.h"

#include <cstddef>
#include <cstdint>

namespace VSTGUI {

class CZKBitmap : public CBitmap
{
public:
    // Loads the "PNG" resource with this number; alpha 255.
    explicit CZKBitmap(int32_t resourceID); // [ui]
    // Decodes PNG bytes held by the caller; alpha 255.
    CZKBitmap(const void* pngData, std::size_t size); // [ui]
    // Shows the picture of `shared` (which it keeps a reference to) without decoding it again;
    // getWidth and getHeight of such a bitmap answer those of `shared`'s picture through
    // getSharedBitmap.
    explicit CZKBitmap(CBitmap* shared); // [ui]
    ~CZKBitmap() override;

    // Both plain and transparent drawing blend with the bitmap's alpha.
    void draw(CDrawContext* context, const CRect& rect,
              const CPoint& offset = CPoint(0, 0)) override; // [ui]
    void drawTransparent(CDrawContext* context, const CRect& rect,
                         const CPoint& offset = CPoint(0, 0)) override; // [ui]

    void setAlpha(uint8_t a) { alpha = a; } // [ui]
    uint8_t getAlpha() const { return alpha; }
    CBitmap* getSharedBitmap() const { return shared; }

private:
    void drawBlended(CDrawContext* context, const CRect& rect, const CPoint& offset);

    CBitmap* shared = nullptr;
    uint8_t alpha = 255;
};

} // namespace VSTGUI
