#pragma once

// Small drawing helpers shared by the image builders: the panel palette, crisp text on the
// pixel grid, and shapes whose edges land on whole pixels.

#include <cairo.h>

#include <string>

namespace make_images {

struct Colour
{
    double r, g, b, a = 1.0;
};

Colour rgb(int r, int g, int b, double a = 1.0);
Colour mix(const Colour& from, const Colour& to, double amount);

namespace palette {
extern const Colour light; // lit rings, frames and legends
extern const Colour dim;   // quiet frames and unlit parts
extern const Colour base;  // the window between panels
extern const Colour panel; // inside a panel frame
extern const Colour inset; // the dark screens behind the step rows
extern const Colour insetBeat;
extern const Colour caption;
extern const Colour fine; // fine print: quiet, yet legible on the window and the panels
extern const Colour white;
extern const Colour litFill; // the face of a button that is on
} // namespace palette

enum class TextStyle {
    Caption,      // lower-case labels beside controls
    Legend,       // panel titles
    Button,       // names on the module buttons
    ButtonNarrow, // a name too long for its button in the Button style
    Small,        // fine print
};

enum class Align { Left, Centre, Right };

void setColour(cairo_t* cr, const Colour& c);

// Draws text with its baseline on row `baseline`, starting at, centred on or ending at x.
// Returns the text's advance width in pixels.
int drawText(cairo_t* cr, TextStyle style, int x, int baseline, const std::string& text,
             const Colour& colour, Align align = Align::Left);
int textWidth(cairo_t* cr, TextStyle style, const std::string& text);

// Anti-aliased text for large display type (the wordmark, headings of the about screen).
void drawDisplayText(cairo_t* cr, const char* family, double size, bool bold, double x,
                     double baseline, const std::string& text, const Colour& colour,
                     double letterSpacing = 0.0);
double displayTextWidth(cairo_t* cr, const char* family, double size, bool bold,
                        const std::string& text, double letterSpacing = 0.0);

void fillRect(cairo_t* cr, int x0, int y0, int x1, int y1, const Colour& c);
// A one-pixel outline exactly on the pixels x0..x1-1, y0..y1-1, corners rounded by r.
void strokeRoundRect(cairo_t* cr, int x0, int y0, int x1, int y1, double r, const Colour& c);
void fillRoundRect(cairo_t* cr, int x0, int y0, int x1, int y1, double r, const Colour& c);
void hLine(cairo_t* cr, int x0, int x1, int y, const Colour& c);
void vLine(cairo_t* cr, int x, int y0, int y1, const Colour& c);

cairo_surface_t* newImage(int width, int height);
void writePng(cairo_surface_t* surface, const std::string& path);

} // namespace make_images
