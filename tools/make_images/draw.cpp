#include "tools/make_images/draw.h"

#include <cmath>
#include <stdexcept>

namespace make_images {

Colour rgb(int r, int g, int b, double a)
{
    return {r / 255.0, g / 255.0, b / 255.0, a};
}

Colour mix(const Colour& from, const Colour& to, double amount)
{
    return {from.r + (to.r - from.r) * amount, from.g + (to.g - from.g) * amount,
            from.b + (to.b - from.b) * amount, from.a + (to.a - from.a) * amount};
}

namespace palette {
const Colour light = rgb(115, 190, 232);
const Colour dim = rgb(60, 60, 100);
const Colour base = rgb(14, 13, 23);
const Colour panel = rgb(19, 18, 31);
const Colour inset = rgb(9, 9, 16);
const Colour insetBeat = rgb(15, 15, 26);
const Colour caption = mix(rgb(115, 190, 232), rgb(19, 18, 31), 0.30);
const Colour white = rgb(235, 242, 248);
// At least 4.5 : 1 against both the window and the panel colour.
const Colour fine = rgb(130, 130, 170);
const Colour litFill = mix(rgb(115, 190, 232), rgb(19, 18, 31), 0.78);
} // namespace palette

void setColour(cairo_t* cr, const Colour& c)
{
    cairo_set_source_rgba(cr, c.r, c.g, c.b, c.a);
}

namespace {

void selectStyle(cairo_t* cr, TextStyle style)
{
    // Monochrome, fully hinted glyphs: small type stays sharp on the pixel grid.
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_NONE);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_FULL);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
    switch (style) {
    case TextStyle::Caption:
        cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                               CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, 9.0);
        break;
    case TextStyle::Legend:
        cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL, CAIRO_FONT_WEIGHT_BOLD);
        cairo_set_font_size(cr, 9.0);
        break;
    case TextStyle::Button:
        cairo_select_font_face(cr, "DejaVu Sans Condensed", CAIRO_FONT_SLANT_NORMAL,
                               CAIRO_FONT_WEIGHT_BOLD);
        cairo_set_font_size(cr, 9.0);
        break;
    case TextStyle::ButtonNarrow:
        cairo_select_font_face(cr, "DejaVu Sans Condensed", CAIRO_FONT_SLANT_NORMAL,
                               CAIRO_FONT_WEIGHT_BOLD);
        cairo_set_font_size(cr, 8.0);
        break;
    case TextStyle::Small:
        cairo_select_font_face(cr, "DejaVu Sans", CAIRO_FONT_SLANT_NORMAL,
                               CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, 8.0);
        break;
    }
}

void selectDisplay(cairo_t* cr, const char* family, double size, bool bold)
{
    cairo_font_options_t* options = cairo_font_options_create();
    cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
    cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
    cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
    cairo_set_font_options(cr, options);
    cairo_font_options_destroy(options);
    cairo_select_font_face(cr, family, CAIRO_FONT_SLANT_NORMAL,
                           bold ? CAIRO_FONT_WEIGHT_BOLD : CAIRO_FONT_WEIGHT_NORMAL);
    cairo_set_font_size(cr, size);
}

} // namespace

int textWidth(cairo_t* cr, TextStyle style, const std::string& text)
{
    cairo_save(cr);
    selectStyle(cr, style);
    cairo_text_extents_t e;
    cairo_text_extents(cr, text.c_str(), &e);
    cairo_restore(cr);
    return static_cast<int>(std::lround(e.x_advance));
}

int drawText(cairo_t* cr, TextStyle style, int x, int baseline, const std::string& text,
             const Colour& colour, Align align)
{
    const int width = textWidth(cr, style, text);
    int left = x;
    if (align == Align::Centre)
        left = x - width / 2;
    else if (align == Align::Right)
        left = x - width;
    cairo_save(cr);
    selectStyle(cr, style);
    setColour(cr, colour);
    cairo_move_to(cr, left, baseline);
    cairo_show_text(cr, text.c_str());
    cairo_restore(cr);
    return width;
}

double displayTextWidth(cairo_t* cr, const char* family, double size, bool bold,
                        const std::string& text, double letterSpacing)
{
    cairo_save(cr);
    selectDisplay(cr, family, size, bold);
    double width = 0;
    for (char c : text) {
        const char s[2] = {c, 0};
        cairo_text_extents_t e;
        cairo_text_extents(cr, s, &e);
        width += e.x_advance + letterSpacing;
    }
    cairo_restore(cr);
    return text.empty() ? 0.0 : width - letterSpacing;
}

void drawDisplayText(cairo_t* cr, const char* family, double size, bool bold, double x,
                     double baseline, const std::string& text, const Colour& colour,
                     double letterSpacing)
{
    cairo_save(cr);
    selectDisplay(cr, family, size, bold);
    setColour(cr, colour);
    double pen = x;
    for (char c : text) {
        const char s[2] = {c, 0};
        cairo_move_to(cr, std::round(pen), baseline);
        cairo_show_text(cr, s);
        cairo_text_extents_t e;
        cairo_text_extents(cr, s, &e);
        pen += e.x_advance + letterSpacing;
    }
    cairo_restore(cr);
}

void fillRect(cairo_t* cr, int x0, int y0, int x1, int y1, const Colour& c)
{
    setColour(cr, c);
    cairo_rectangle(cr, x0, y0, x1 - x0, y1 - y0);
    cairo_fill(cr);
}

namespace {

void roundRectPath(cairo_t* cr, double x0, double y0, double x1, double y1, double r)
{
    cairo_new_sub_path(cr);
    cairo_arc(cr, x1 - r, y0 + r, r, -M_PI / 2, 0);
    cairo_arc(cr, x1 - r, y1 - r, r, 0, M_PI / 2);
    cairo_arc(cr, x0 + r, y1 - r, r, M_PI / 2, M_PI);
    cairo_arc(cr, x0 + r, y0 + r, r, M_PI, 3 * M_PI / 2);
    cairo_close_path(cr);
}

} // namespace

void strokeRoundRect(cairo_t* cr, int x0, int y0, int x1, int y1, double r, const Colour& c)
{
    setColour(cr, c);
    cairo_set_line_width(cr, 1.0);
    roundRectPath(cr, x0 + 0.5, y0 + 0.5, x1 - 0.5, y1 - 0.5, r);
    cairo_stroke(cr);
}

void fillRoundRect(cairo_t* cr, int x0, int y0, int x1, int y1, double r, const Colour& c)
{
    setColour(cr, c);
    roundRectPath(cr, x0, y0, x1, y1, r);
    cairo_fill(cr);
}

void hLine(cairo_t* cr, int x0, int x1, int y, const Colour& c)
{
    fillRect(cr, x0, y, x1, y + 1, c);
}

void vLine(cairo_t* cr, int x, int y0, int y1, const Colour& c)
{
    fillRect(cr, x, y0, x + 1, y1, c);
}

cairo_surface_t* newImage(int width, int height)
{
    return cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
}

void writePng(cairo_surface_t* surface, const std::string& path)
{
    cairo_surface_flush(surface);
    if (cairo_surface_write_to_png(surface, path.c_str()) != CAIRO_STATUS_SUCCESS)
        throw std::runtime_error("cannot write " + path);
}

} // namespace make_images
