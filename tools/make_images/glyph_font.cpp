#include "tools/make_images/glyph_font.h"

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace make_images {

namespace {

constexpr int kSheetSize = 128;
constexpr int kScratchWidth = 64;
constexpr int kScratchHeight = 48;
constexpr int kPenX = 16;
constexpr int kBaselineY = 32;

// One glyph rendered on its own: coverage rows around the pen, and its hinted advance.
struct Rendered
{
    int code = 0;
    int advance = 0;
    int inkLeft = 0, inkRight = -1; // columns relative to the pen, inclusive; empty if right < left
    int inkTop = 0, inkBottom = -1; // rows relative to the baseline, inclusive
    std::vector<unsigned char> coverage; // kScratchWidth x kScratchHeight
};

std::string utf8(int code)
{
    std::string s;
    if (code < 0x80) {
        s += static_cast<char>(code);
    } else {
        s += static_cast<char>(0xC0 | (code >> 6));
        s += static_cast<char>(0x80 | (code & 0x3F));
    }
    return s;
}

void setCrispFont(cairo_t* cr, const FontRecipe& recipe)
{
    // Monochrome, fully hinted outlines: every stem lands on whole pixels, so the glyphs stay
    // sharp when the editor copies them 1:1.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_NONE);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
    cairo_select_font_face(cr, recipe.family, CAIRO_FONT_SLANT_NORMAL, recipe.weight);
    cairo_set_font_size(cr, recipe.size);
}

Rendered render(const FontRecipe& recipe, int code)
{
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_A8, kScratchWidth, kScratchHeight);
    cairo_t* cr = cairo_create(surface);
    setCrispFont(cr, recipe);
    const std::string text = utf8(code);
    cairo_text_extents_t extents;
    cairo_text_extents(cr, text.c_str(), &extents);
    cairo_move_to(cr, kPenX, kBaselineY);
    cairo_show_text(cr, text.c_str());
    cairo_destroy(cr);
    cairo_surface_flush(surface);

    Rendered r;
    r.code = code;
    r.advance = static_cast<int>(extents.x_advance + 0.5);
    r.coverage.assign(kScratchWidth * kScratchHeight, 0);
    const unsigned char* data = cairo_image_surface_get_data(surface);
    const int stride = cairo_image_surface_get_stride(surface);
    int left = kScratchWidth, right = -1, top = kScratchHeight, bottom = -1;
    for (int y = 0; y < kScratchHeight; ++y)
        for (int x = 0; x < kScratchWidth; ++x) {
            const unsigned char a = data[y * stride + x];
            r.coverage[y * kScratchWidth + x] = a;
            if (a != 0) {
                left = std::min(left, x);
                right = std::max(right, x);
                top = std::min(top, y);
                bottom = std::max(bottom, y);
            }
        }
    cairo_surface_destroy(surface);
    if (right >= left) {
        r.inkLeft = left - kPenX;
        r.inkRight = right - kPenX;
        r.inkTop = top - kBaselineY;
        r.inkBottom = bottom - kBaselineY;
    }
    return r;
}

// Moves the ink of a rendered glyph sideways by dx columns.
void shiftInk(Rendered& r, int dx)
{
    std::vector<unsigned char> moved(r.coverage.size(), 0);
    for (int y = 0; y < kScratchHeight; ++y)
        for (int x = 0; x < kScratchWidth; ++x) {
            const int to = x + dx;
            if (to >= 0 && to < kScratchWidth)
                moved[y * kScratchWidth + to] = r.coverage[y * kScratchWidth + x];
        }
    r.coverage.swap(moved);
    r.inkLeft += dx;
    r.inkRight += dx;
}

bool hasInk(const Rendered& r)
{
    return r.inkRight >= r.inkLeft;
}

} // namespace

std::vector<int> fontCharacters()
{
    std::vector<int> codes;
    for (int c = 32; c <= 126; ++c)
        if (c != '`')
            codes.push_back(c);
    codes.push_back(163);
    return codes;
}

BuiltFont buildFont(const FontRecipe& recipe)
{
    std::vector<Rendered> glyphs;
    for (int code : fontCharacters())
        glyphs.push_back(render(recipe, code));

    // Only 'J' and '_' of the large font may hang left of the pen, by exactly one pixel;
    // every other glyph starts at the pen, so measuring and drawing agree for it.
    for (Rendered& g : glyphs) {
        if (!hasInk(g))
            continue;
        const bool hangs = recipe.offsetJAndUnderscore && (g.code == 'J' || g.code == '_');
        const int wantedLeft = hangs ? -1 : 0;
        if (hangs || g.inkLeft < 0) {
            const int dx = wantedLeft - g.inkLeft;
            shiftInk(g, dx);
            if (!hangs && dx > 0)
                g.advance += dx;
        }
    }

    int ascent = 0, descent = 0;
    for (const Rendered& g : glyphs)
        if (hasInk(g)) {
            ascent = std::max(ascent, -g.inkTop);
            descent = std::max(descent, g.inkBottom + 1);
        }
    if (ascent + descent > recipe.glyphHeight)
        throw std::runtime_error(std::string("glyphs of ") + recipe.family +
                                 " are taller than the glyph height");

    BuiltFont font;
    font.baseline = ascent;
    font.sheet = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kSheetSize, kSheetSize);
    unsigned char* sheet = cairo_image_surface_get_data(font.sheet);
    const int sheetStride = cairo_image_surface_get_stride(font.sheet);

    // Pack the images row by row with a one-pixel gap, falling back to no gap if needed.
    for (int gap : {1, 0}) {
        font.glyphs.clear();
        std::size_t row = 0;
        int penX = 1;
        bool fits = true;
        for (const Rendered& g : glyphs) {
            GlyphRecord rec;
            rec.code = static_cast<std::uint16_t>(g.code);
            rec.height = static_cast<std::uint16_t>(recipe.glyphHeight);
            rec.advance = static_cast<std::uint16_t>(g.advance);
            if (g.code == ' ') {
                // The space is pure advance: no image at all.
                rec.advance = 3;
            } else {
                const int start = std::min(0, g.inkLeft);
                int end = 0;
                if (recipe.blankColumnAfterInk) {
                    // Each image runs to its advance and keeps one blank column after its ink,
                    // so glyphs whose ink fills their advance overlap that column with the next.
                    end = std::max(g.inkRight + 2, g.advance);
                } else {
                    // Images hold just their ink; at the small size the hinted advances let
                    // some neighbours touch, so every glyph keeps a blank column before the
                    // next one.
                    end = g.inkRight + 1;
                    rec.advance = static_cast<std::uint16_t>(std::max(g.advance, g.inkRight + 2));
                }
                rec.width = static_cast<std::uint16_t>(end - start);
                rec.xOffset = static_cast<std::uint16_t>(-start);
            }
            if (penX + rec.width > kSheetSize - 1) {
                ++row;
                penX = 1;
            }
            if (row >= recipe.rowTops.size()) {
                fits = false;
                break;
            }
            rec.x = static_cast<std::uint16_t>(penX);
            rec.y = static_cast<std::uint16_t>(recipe.rowTops[row]);
            penX += rec.width + (rec.width > 0 ? gap : 0);
            font.glyphs.push_back(rec);
        }
        if (fits)
            break;
        if (gap == 0)
            throw std::runtime_error(std::string("glyphs of ") + recipe.family +
                                     " do not fit the sheet");
    }

    for (const Rendered& g : glyphs)
        font.inkLefts.push_back(g.inkLeft);

    // Copy each glyph's coverage into the sheet as white with alpha (premultiplied).
    std::fill(sheet, sheet + sheetStride * kSheetSize, 0);
    for (std::size_t i = 0; i < glyphs.size(); ++i) {
        const Rendered& g = glyphs[i];
        const GlyphRecord& rec = font.glyphs[i];
        for (int row = 0; row < rec.height; ++row)
            for (int col = 0; col < rec.width; ++col) {
                const int sx = kPenX + col - rec.xOffset;
                const int sy = kBaselineY - ascent + row;
                if (sx < 0 || sx >= kScratchWidth || sy < 0 || sy >= kScratchHeight)
                    continue;
                const unsigned char a = g.coverage[sy * kScratchWidth + sx];
                unsigned char* px = sheet + (rec.y + row) * sheetStride + (rec.x + col) * 4;
                px[0] = px[1] = px[2] = px[3] = a;
            }
    }
    cairo_surface_mark_dirty(font.sheet);
    return font;
}

cairo_surface_t* buildScaledSheet(const FontRecipe& recipe, const BuiltFont& font, double scale)
{
    const int size = static_cast<int>(std::lround(kSheetSize * scale));
    cairo_surface_t* sheet = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
    cairo_t* cr = cairo_create(sheet);
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_OFF);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
    cairo_select_font_face(cr, recipe.family, CAIRO_FONT_SLANT_NORMAL, recipe.weight);
    cairo_set_font_size(cr, recipe.size * scale);
    cairo_set_source_rgba(cr, 1, 1, 1, 1);
    const std::vector<int> codes = fontCharacters();
    for (std::size_t i = 0; i < font.glyphs.size() && i < codes.size(); ++i) {
        const GlyphRecord& rec = font.glyphs[i];
        if (rec.width == 0)
            continue;
        const std::string text = utf8(codes[i]);
        cairo_text_extents_t extents;
        cairo_text_extents(cr, text.c_str(), &extents);
        // Each glyph stays inside its own cell: the editor copies cells, not ink. At 1.5x a cell
        // edge can fall inside a pixel; the edges go to the nearest whole pixel (halves up, as
        // the editor snaps them when it draws), so every pixel of the sheet belongs to one glyph
        // and no glyph's ink is blended into its neighbour's edge.
        const auto snap = [scale](int position) { return std::floor(position * scale + 0.5); };
        const double left = snap(rec.x);
        const double top = snap(rec.y);
        cairo_save(cr);
        cairo_rectangle(cr, left, top, snap(rec.x + rec.width) - left,
                        snap(rec.y + rec.height) - top);
        cairo_clip(cr);
        const double inkLeft = (rec.x + rec.xOffset + font.inkLefts[i]) * scale;
        cairo_move_to(cr, std::round(inkLeft - extents.x_bearing), (rec.y + font.baseline) * scale);
        cairo_show_text(cr, text.c_str());
        cairo_restore(cr);
    }
    cairo_destroy(cr);
    cairo_surface_flush(sheet);
    return sheet;
}

std::vector<unsigned char> encodeGlyphMap(const BuiltFont& font)
{
    std::vector<unsigned char> out;
    auto put16 = [&out](int v) {
        out.push_back(static_cast<unsigned char>(v & 0xFF));
        out.push_back(static_cast<unsigned char>((v >> 8) & 0xFF));
    };
    for (char c : std::string("DEZADEDU"))
        out.push_back(static_cast<unsigned char>(c));
    int height = 0;
    for (const GlyphRecord& g : font.glyphs)
        height = std::max<int>(height, g.height);
    put16(1); // format version
    put16(static_cast<int>(font.glyphs.size()));
    put16(1);
    put16(font.glyphs.front().code);
    put16(font.glyphs.back().code);
    put16(height);
    for (const GlyphRecord& g : font.glyphs) {
        put16(g.code);
        put16(0);
        put16(g.x);
        put16(g.y);
        put16(g.width);
        put16(g.height);
        put16(g.xOffset);
        put16(g.advance);
    }
    return out;
}

} // namespace make_images
