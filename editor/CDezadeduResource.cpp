#include "editor/CDezadeduResource.h"

#include "gui/CBitmap.h"
#include "gui/CDrawContext.h"
#include "resources/resources.h"

#include <algorithm>

namespace VSTGUI {

namespace {

uint16_t read16(const unsigned char* p)
{
    return static_cast<uint16_t>(p[0] | (p[1] << 8));
}

} // namespace

CDezadeduResource::CDezadeduResource(int32_t resourceID)
{
    characterIndex.fill(-1);
    sheet = new CBitmap(resourceID);
    const morvek2::ResourceBlob map = morvek2::findResource(resourceID, "DEZADEDU_MAP");
    loadMap(map.data, map.size);
}

CDezadeduResource::CDezadeduResource(CBitmap* sheet_, const unsigned char* mapData,
                                     std::size_t mapSize)
    : sheet(sheet_)
{
    characterIndex.fill(-1);
    if (sheet) {
        sheet->remember();
    }
    loadMap(mapData, mapSize);
}

CDezadeduResource::~CDezadeduResource()
{
    if (sheet) {
        sheet->forget();
    }
}

void CDezadeduResource::loadMap(const unsigned char* data, std::size_t size)
{
    // A missing, truncated or oversized map leaves the font without glyphs: it then measures
    // every text as 0 wide and draws nothing, instead of reading past the resource.
    if (!data || size < kHeaderSize) {
        return;
    }
    const int32_t count = read16(data + 10);
    if (count > kMaxGlyphs || size < kHeaderSize + kRecordSize * static_cast<std::size_t>(count)) {
        return;
    }
    firstRecord = data + kHeaderSize;
    glyphCount = count;
    for (int32_t i = 0; i < count; ++i) {
        const DezadeduGlyph g = recordAt(i);
        // A later record for the same character replaces an earlier one.
        characterIndex[g.code & 0xFF] = static_cast<int16_t>(i);
        fontHeight = std::max<int32_t>(fontHeight, g.height);
    }
}

DezadeduGlyph CDezadeduResource::recordAt(int32_t index) const
{
    DezadeduGlyph g;
    if (index < 0 || index >= glyphCount) {
        return g;
    }
    const unsigned char* r = firstRecord + kRecordSize * static_cast<std::size_t>(index);
    g.code = read16(r);
    g.zero = read16(r + 2);
    g.x = read16(r + 4);
    g.y = read16(r + 6);
    g.width = read16(r + 8);
    g.height = read16(r + 10);
    g.xOffset = read16(r + 12);
    g.advance = read16(r + 14);
    return g;
}

int32_t CDezadeduResource::indexOf(char character) const
{
    const int16_t index = characterIndex[static_cast<unsigned char>(character)];
    // Characters the font lacks are drawn and measured as its first record (the space).
    return index < 0 ? 0 : index;
}

DezadeduGlyph CDezadeduResource::glyphRecord(char character) const // [ui]
{
    return recordAt(indexOf(character));
}

int32_t CDezadeduResource::stringWidth(const char* text) const // [ui]
{
    if (!text || glyphCount == 0) {
        return 0;
    }
    int32_t width = 0;
    for (const char* c = text; *c; ++c) {
        const DezadeduGlyph g = glyphRecord(*c);
        width += static_cast<int32_t>(g.advance) - static_cast<int32_t>(g.xOffset);
    }
    return width;
}

int32_t CDezadeduResource::charIndexAt(int32_t x, const char* text) const // [ui]
{
    if (!text) {
        return 0;
    }
    int32_t width = 0;
    int32_t index = 0;
    for (const char* c = text; *c; ++c, ++index) {
        const DezadeduGlyph g = glyphRecord(*c);
        width += static_cast<int32_t>(g.advance) - static_cast<int32_t>(g.xOffset);
        if (width > x) {
            return index;
        }
    }
    return index;
}

void CDezadeduResource::drawString(CDrawContext* context, const CPoint& point, const char* text,
                                   int32_t alignment) // [ui]
{
    if (!context || !text || !sheet || glyphCount == 0) {
        return;
    }
    CCoord penX = point.x;
    if (alignment == kDezadeduCentre) {
        penX -= stringWidth(text) / 2; // integer division truncates towards zero
    } else if (alignment == kDezadeduRight) {
        penX -= stringWidth(text);
    }
    for (const char* c = text; *c; ++c) {
        const DezadeduGlyph g = glyphRecord(*c);
        if (g.width > 0 && g.height > 0) {
            const CCoord left = penX - g.xOffset;
            const CRect dest(left, point.y, left + g.width, point.y + g.height);
            // The bitmap draws only what lies inside the sheet, so a record that points past
            // it draws nothing there. Cells lie edge to edge in the sheet, so each is drawn as
            // a cell: no neighbouring glyph may show at its edges on a high-density screen.
            sheet->drawCell(context, dest, CPoint(g.x, g.y), sheetAlpha);
        }
        penX += g.advance;
    }
}

} // namespace VSTGUI
