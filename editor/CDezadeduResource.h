// A bitmap font from the module's resources: a sheet of glyph images (a PNG with alpha) and a
// glyph map that says where each character's image lies and how far the pen moves after it.
#pragma once

#include "gui/CBaseObject.h"
#include "gui/CGeometry.h"

#include <array>
#include <cstddef>
#include <cstdint>

namespace VSTGUI {

class CBitmap;
class CDrawContext;

// One 16-byte record of a glyph map, decoded.
struct DezadeduGlyph
{
    uint16_t code = 0; // only the low byte is looked up
    uint16_t zero = 0;
    uint16_t x = 0; // the image's place in the sheet
    uint16_t y = 0;
    uint16_t width = 0;
    uint16_t height = 0;
    uint16_t xOffset = 0; // the image is drawn this many pixels left of the pen
    uint16_t advance = 0; // how far the pen moves after the glyph
};

enum DezadeduAlignment : int32_t { kDezadeduLeft = 0, kDezadeduCentre = 1, kDezadeduRight = 2 };

class CDezadeduResource : public CBaseObject
{
public:
    // The map's header is 20 bytes, each record 16; maps with more records than this are not
    // loaded at all.
    static constexpr std::size_t kHeaderSize = 20;
    static constexpr std::size_t kRecordSize = 16;
    static constexpr int32_t kMaxGlyphs = 127;

    // Loads the sheet ("PNG") and the glyph map ("DEZADEDU_MAP") with this resource number.
    explicit CDezadeduResource(int32_t resourceID); // [ui]
    // The same from glyph-map bytes held by the caller; they must outlive the font.
    CDezadeduResource(CBitmap* sheet, const unsigned char* mapData, std::size_t mapSize); // [ui]
    ~CDezadeduResource() override;
    CDezadeduResource(const CDezadeduResource&) = delete;
    CDezadeduResource& operator=(const CDezadeduResource&) = delete;

    // A copy of the character's record; characters without one give record 0, and a font
    // without records gives an all-zero record.
    virtual DezadeduGlyph glyphRecord(char character) const; // [ui]
    virtual CBitmap* getBitmap() const { return sheet; }     // [ui]
    // The tallest glyph image, 0 without records.
    virtual int32_t getHeight() const { return fontHeight; } // [ui]
    // Draws `text` with point.y as the top of the glyph images; alignment 0 starts at point.x,
    // 1 centres on it, 2 ends at it.
    virtual void drawString(CDrawContext* context, const CPoint& point, const char* text,
                            int32_t alignment = kDezadeduLeft);  // [ui]
    virtual void setAlpha(uint8_t alpha) { sheetAlpha = alpha; } // [ui]
    virtual uint8_t getAlpha() const { return sheetAlpha; }      // [ui]
    // The sum over the characters of (advance - x offset).
    virtual int32_t stringWidth(const char* text) const; // [ui]
    // The index of the first character after which the running width exceeds x; the text's
    // length if it never does.
    virtual int32_t charIndexAt(int32_t x, const char* text) const; // [ui]

    int32_t getGlyphCount() const { return glyphCount; } // [ui]

private:
    void loadMap(const unsigned char* data, std::size_t size);
    DezadeduGlyph recordAt(int32_t index) const;
    int32_t indexOf(char character) const;

    CBitmap* sheet = nullptr;
    uint8_t sheetAlpha = 255;
    // The map stays where the resources keep it; records are decoded when they are needed.
    const unsigned char* firstRecord = nullptr;
    int32_t glyphCount = 0;
    std::array<int16_t, 256> characterIndex{};
    int32_t fontHeight = 0;
};

} // namespace VSTGUI
