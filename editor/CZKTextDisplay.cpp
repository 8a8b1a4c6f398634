#include "editor/CZKTextDisplay.h"

#include "editor/CDezadeduResource.h"

#include <algorithm>

namespace VSTGUI {

CZKTextDisplay::CZKTextDisplay(const CRect& size, CDezadeduResource* font_)
    : CCharacterDisplay(size), font(font_)
{
    if (font) {
        font->remember();
        font->setAlpha(255);
    }
    setAlignment(0);
    setText("--");
    setTransparency(false);
    if (font) {
        font->setAlpha(255);
    }
}

CZKTextDisplay::CZKTextDisplay(const CZKTextDisplay& other)
    : CCharacterDisplay(other), font(other.font), textAlpha(other.textAlpha)
{
    if (font) {
        font->remember();
    }
}

CZKTextDisplay::~CZKTextDisplay()
{
    if (font) {
        font->forget();
    }
}

void CZKTextDisplay::setTextAlpha(uint8_t alpha) // [ui]
{
    setTransparency(alpha != 255);
    textAlpha = alpha;
    if (font) {
        font->setAlpha(alpha);
    }
}

void CZKTextDisplay::draw(CDrawContext* context) // [ui]
{
    setDirty(false);
    if (!font) {
        return;
    }
    const std::size_t n = std::min<std::size_t>(count, text.size());
    // The width of the counted characters, kept in 16 bits as the display always has.
    int16_t width = 0;
    for (std::size_t i = 0; i < n; ++i) {
        const DezadeduGlyph g = font->glyphRecord(text[i]);
        width = static_cast<int16_t>(width + (static_cast<int32_t>(g.advance) - g.xOffset));
    }
    CCoord x = size.left;
    if (alignment == 1) {
        x = (size.left + size.right) / 2 - width / 2;
    } else if (alignment == 2) {
        x = size.right - width;
    }
    font->drawString(context, CPoint(x, size.top), text.c_str(), kDezadeduLeft);
}

} // namespace VSTGUI
