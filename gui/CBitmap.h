// A picture with alpha, decoded once from a PNG image resource (or PNG bytes). A bitmap that
// failed to load has size 0 and draws nothing.
#pragma once

#include "gui/CBaseObject.h"
#include "gui/CGeometry.h"
#include "gui/IPlatform.h"

#include <cstddef>
#include <cstdint>
#include <memory>

namespace VSTGUI {

class CDrawContext;
class IPlatformBitmap;

class CBitmap : public CBaseObject
{
public:
    // Loads the "PNG" resource with this number from the module's resources. Pictures made for
    // high-density screens ("PNG@1.5x", "PNG@2x" under the same number) are decoded when a
    // context of that scale first draws the bitmap; without one the 1x picture is scaled.
    explicit CBitmap(int32_t resourceID); // [ui]
    // Decodes PNG bytes held by the caller (they are not kept).
    CBitmap(const void* pngData, std::size_t size); // [ui]
    ~CBitmap() override;
    CBitmap(const CBitmap&) = delete;
    CBitmap& operator=(const CBitmap&) = delete;

    // Draws the part of the bitmap starting at `offset` into `rect` (view coordinates), without
    // scaling; the picture's alpha composites it over what is below.
    virtual void draw(CDrawContext* context, const CRect& rect,
                      const CPoint& offset = CPoint(0, 0)); // [ui]
    // The same; PNG alpha already carries transparency, so no colour key is needed.
    virtual void drawTransparent(CDrawContext* context, const CRect& rect,
                                 const CPoint& offset = CPoint(0, 0)); // [ui]
    // The same with every pixel's alpha scaled by `alpha` (0 invisible .. 255 as drawn).
    virtual void drawAlphaBlend(CDrawContext* context, const CRect& rect,
                                const CPoint& offset = CPoint(0, 0), uint8_t alpha = 128); // [ui]
    // The same for one cell of a sheet whose cells lie edge to edge, such as a font's glyphs:
    // on a high-density screen no pixel of a neighbouring cell shows (IDrawDevice::drawBitmapCell).
    void drawCell(CDrawContext* context, const CRect& rect, const CPoint& offset,
                  uint8_t alpha); // [ui]

    CCoord getWidth() const;                                                          // [ui]
    CCoord getHeight() const;                                                         // [ui]
    bool isLoaded() const { return platformBitmap != nullptr; }                       // [ui]
    int32_t getResourceID() const { return resourceID; }                              // [ui]
    const IPlatformBitmap* getPlatformBitmap() const { return platformBitmap.get(); } // [ui]

private:
    void load(const void* data, std::size_t size);
    // The picture to draw on a device of this scale: the one made for it, or the 1x one.
    const IPlatformBitmap& pictureFor(double deviceScale);
    void drawWithAlpha(CDrawContext* context, const CRect& rect, const CPoint& offset,
                       uint8_t alpha, bool cell = false);

    int32_t resourceID = -1;
    std::unique_ptr<IPlatformBitmap> platformBitmap;
    struct ScaledPicture
    {
        double scale;
        const char* resourceType;
        bool tried = false;
        std::unique_ptr<IPlatformBitmap> picture;
    };
    ScaledPicture scaledPictures[2] = {{1.5, "PNG@1.5x", false, nullptr},
                                       {2.0, "PNG@2x", false, nullptr}};
};

} // namespace VSTGUI
