#pragma once

// Builds the editor's bitmap fonts: a 128 x 128 sheet of white glyphs with alpha and the
// glyph map that tells where each glyph lies and how far the pen moves.

#include <cairo.h>

#include <cstdint>
#include <string>
#include <vector>

namespace make_images {

struct GlyphRecord
{
    std::uint16_t code = 0;
    std::uint16_t x = 0;
    std::uint16_t y = 0;
    std::uint16_t width = 0;
    std::uint16_t height = 0;
    std::uint16_t xOffset = 0;
    std::uint16_t advance = 0;
};

struct FontRecipe
{
    const char* family;         // a fontconfig family name
    cairo_font_weight_t weight; // normal or bold
    double size;                // pixels per em
    int glyphHeight;            // every glyph image has this height
    std::vector<int> rowTops;   // y of each row of images in the sheet
    bool offsetJAndUnderscore;  // 'J' and '_' reach one pixel left of the pen
    bool blankColumnAfterInk;   // every image ends with a blank column
};

struct BuiltFont
{
    cairo_surface_t* sheet = nullptr; // owned by the caller
    std::vector<GlyphRecord> glyphs;  // in map order
    int baseline = 0;                 // row of the baseline inside a glyph image
    std::vector<int> inkLefts;        // first ink column of each glyph, relative to its pen
};

// The characters of both fonts, in map order: 32..126 without the backquote, then 163.
std::vector<int> fontCharacters();

// Renders, measures and packs the glyphs; throws std::runtime_error when the recipe does not
// fit its sheet or breaks the metric rules the editor relies on.
BuiltFont buildFont(const FontRecipe& recipe);

// The sheet of `font` drawn again at `scale` times the pixels for high-density screens: every
// glyph lands in its 1x cell scaled, its ink starting where the 1x ink starts, so the 1x glyph
// map serves both. Smoothed rather than monochrome: at these sizes grey edges read better. A
// cell covers the whole pixels between its edges rounded to the nearest (halves up).
cairo_surface_t* buildScaledSheet(const FontRecipe& recipe, const BuiltFont& font, double scale);

// The glyph map in its binary form (little-endian 16-bit fields).
std::vector<unsigned char> encodeGlyphMap(const BuiltFont& font);

} // namespace make_images
