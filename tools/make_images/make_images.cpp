// Draws every bitmap of the editor and both bitmap fonts, and writes them with their glyph maps
// into the resources folder given on the command line:
//   make_images <resources dir>   writes <dir>/png/<number>.png and <dir>/map/<number>.map
// The sizes, frame counts and frame order are what the editor's controls expect; the positions
// used for the background are the editor's control rectangles (left, top, right, bottom).

#include <cairo.h>

#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tools/make_images/draw.h"
#include "tools/make_images/glyph_font.h"

namespace make_images {
namespace {

constexpr int kWidth = 647;
constexpr int kHeight = 447;

struct Rect
{
    int left, top, right, bottom;
};

// --- panels -------------------------------------------------------------------------------

// A framed panel with its title set into the top edge of the frame.
void drawPanel(cairo_t* cr, const Rect& r, const std::string& title)
{
    fillRoundRect(cr, r.left, r.top, r.right, r.bottom, 3.0, palette::panel);
    strokeRoundRect(cr, r.left, r.top, r.right, r.bottom, 3.0, palette::dim);
    if (title.empty())
        return;
    const int width = textWidth(cr, TextStyle::Legend, title);
    const int x = r.left + 10;
    // Open the frame line behind the title: window colour above it, panel colour below.
    fillRect(cr, x - 4, r.top - 5, x + width + 4, r.top, palette::base);
    fillRect(cr, x - 4, r.top, x + width + 4, r.top + 5, palette::panel);
    drawText(cr, TextStyle::Legend, x, r.top + 4, title, palette::light);
}

// The dark screen behind a row of 32 steps, with every other group of four steps lifted so
// that the beats can be counted at a glance.
void drawStepScreen(cairo_t* cr, int left, int top, int right, int bottom)
{
    constexpr int kStepWidth = 11;
    fillRect(cr, left, top, right, bottom, palette::inset);
    for (int group = 0; group < 8; ++group) {
        if (group % 2 == 1)
            continue;
        const int x0 = left + group * 4 * kStepWidth;
        fillRect(cr, x0, top, std::min(right, x0 + 4 * kStepWidth), bottom, palette::insetBeat);
    }
}

// A seven by seven padlock beside the lock rows.
void drawPadlock(cairo_t* cr, int x, int y, const Colour& c)
{
    hLine(cr, x + 2, x + 5, y, c);
    vLine(cr, x + 1, y + 1, y + 3, c);
    vLine(cr, x + 5, y + 1, y + 3, c);
    fillRect(cr, x, y + 3, x + 7, y + 7, c);
    fillRect(cr, x + 3, y + 4, x + 4, y + 6, palette::panel);
}

// A right-pointing arrow with its tip at (x1, y), drawn on whole pixels.
void drawFlowArrow(cairo_t* cr, int x0, int x1, int y, const Colour& c)
{
    hLine(cr, x0, x1 - 1, y, c);
    for (int i = 1; i <= 3; ++i) {
        fillRect(cr, x1 - 1 - i, y - i, x1 - i, y - i + 1, c);
        fillRect(cr, x1 - 1 - i, y + i, x1 - i, y + i + 1, c);
    }
}

// --- the background -------------------------------------------------------------------------

const Rect kValuesPanel{28, 30, 415, 214};
const Rect kGatesPanel{28, 222, 415, 290};
const Rect kChainPanel{28, 300, 415, 378};
const Rect kModulePanel{424, 30, 636, 290};
const Rect kOutputPanel{424, 300, 636, 392};
const Rect kMuteLabel{560, 233, 586, 243};

void drawWordmark(cairo_t* cr, int left, int top)
{
    // Sits in the about area (17, 392, 156, 419): clicking it opens the about screen.
    drawDisplayText(cr, "DejaVu Sans", 20.0, true, left, top + 21, "MORVEK", palette::light, 1.5);
    const double w = displayTextWidth(cr, "DejaVu Sans", 20.0, true, "MORVEK", 1.5);
    drawDisplayText(cr, "DejaVu Sans", 20.0, true, left + w + 2.5, top + 21, "2", palette::white);
}

// The three button captions of a lane panel row: randomise now, re-roll at each reset, clear.
void drawCommandCaptions(cairo_t* cr, int buttonTop)
{
    const int baseline = buttonTop + 10;
    drawText(cr, TextStyle::Caption, 238, baseline, "random", palette::caption, Align::Right);
    drawText(cr, TextStyle::Caption, 292, baseline, "re-roll", palette::caption, Align::Right);
    drawText(cr, TextStyle::Caption, 343, baseline, "clear", palette::caption, Align::Right);
}

// Draws the window's background. The mute caption is left out when muteCaption is false, which
// gives the patch that covers it on the page of the module without a mute.
void drawBackground(cairo_t* cr, bool muteCaption)
{
    fillRect(cr, 0, 0, kWidth, kHeight, palette::base);

    // Header line.
    drawText(cr, TextStyle::Small, 635, 17, "STEP-SEQUENCED STEREO EFFECT CHAIN", palette::fine,
             Align::Right);

    // Upper left: the step values of the selected module.
    drawPanel(cr, kValuesPanel, "STEP VALUES");
    drawStepScreen(cr, 43, 52, 398, 59);
    drawStepScreen(cr, 43, 59, 398, 160);
    drawStepScreen(cr, 43, 160, 398, 167);
    drawPadlock(cr, 402, 160, palette::caption);
    // Lane settings: step size pop-up (88..118), length (178..214), smoothing (267..397).
    drawText(cr, TextStyle::Caption, 84, 180, "step", palette::caption, Align::Right);
    drawText(cr, TextStyle::Caption, 174, 177, "length", palette::caption, Align::Right);
    drawText(cr, TextStyle::Caption, 263, 181, "smooth", palette::caption, Align::Right);
    // Direction switch (42..131) and the value commands.
    drawText(cr, TextStyle::Caption, 136, 201, "direction", palette::caption);
    drawCommandCaptions(cr, 191);

    // Middle left: the gates.
    drawPanel(cr, kGatesPanel, "GATES");
    drawText(cr, TextStyle::Caption, 43, 239, "gate", palette::caption);
    drawStepScreen(cr, 43, 242, 398, 260);
    hLine(cr, 43, 398, 253, palette::inset);
    drawPadlock(cr, 402, 253, palette::caption);
    drawText(cr, TextStyle::Caption, 102, 278, "restart every", palette::caption, Align::Right);
    drawCommandCaptions(cr, 268);

    // Lower left: the module chain; signal flows left to right between the button places.
    drawPanel(cr, kChainPanel, "MODULE CHAIN");
    for (int i = 0; i < 5; ++i) {
        const int gapLeft = 45 + 46 + i * 60;
        drawFlowArrow(cr, gapLeft + 3, gapLeft + 12, 338, palette::caption);
    }
    drawFlowArrow(cr, 33, 43, 338, palette::dim);
    drawFlowArrow(cr, 393, 404, 338, palette::dim);
    drawText(cr, TextStyle::Small, 221, 372, "click to edit  \xC2\xB7  drag to reorder",
             palette::fine, Align::Centre);

    // Right: the selected module's page.
    drawPanel(cr, kModulePanel, "MODULE");
    if (muteCaption)
        drawText(cr, TextStyle::Caption, kMuteLabel.left + 2, 241, "mute", palette::caption);
    drawText(cr, TextStyle::Caption, kMuteLabel.left + 2, 258, "solo", palette::caption);

    // Lower right: output gain and the active switch.
    drawPanel(cr, kOutputPanel, "OUTPUT");
    drawText(cr, TextStyle::Caption, 529, 374, "active", palette::caption, Align::Centre);
    drawText(cr, TextStyle::Caption, 473, 388, "gain", palette::caption, Align::Centre);

    // Bottom: the wordmark doubles as the about button.
    drawWordmark(cr, 20, 394);
    drawText(cr, TextStyle::Small, 164, 414, "v1.2", palette::fine);
}

// --- controls ------------------------------------------------------------------------------

// Module buttons: 46 x 50, the upper 46 x 25 frame off, the lower one on.
void drawModuleButton(cairo_t* cr, const std::string& name)
{
    for (int frame = 0; frame < 2; ++frame) {
        const int y = frame * 25;
        const bool on = frame == 1;
        fillRect(cr, 0, y, 46, y + 25, palette::panel);
        fillRoundRect(cr, 0, y, 46, y + 25, 3.0, on ? palette::litFill : rgb(24, 23, 39));
        strokeRoundRect(cr, 0, y, 46, y + 25, 3.0, on ? palette::light : palette::dim);
        // A short lamp above the name.
        fillRect(cr, 17, y + 4, 29, y + 6, on ? palette::light : rgb(40, 40, 64));
        // The name keeps four pixels of face from the frame on either side.
        const TextStyle style = textWidth(cr, TextStyle::Button, name) <= 46 - 2 * 5
                                    ? TextStyle::Button
                                    : TextStyle::ButtonNarrow;
        drawText(cr, style, 23, y + 18, name, on ? palette::white : palette::caption,
                 Align::Centre);
    }
}

// The small square button (mute, solo, lane commands): 14 x 28, off above on.
void drawSmallButton(cairo_t* cr)
{
    for (int frame = 0; frame < 2; ++frame) {
        const int y = frame * 14;
        fillRect(cr, 0, y, 14, y + 14, palette::panel);
        fillRect(cr, 1, y + 1, 13, y + 13, palette::inset);
        strokeRoundRect(cr, 0, y, 14, y + 14, 1.5, frame ? palette::light : palette::dim);
        if (frame == 1)
            fillRect(cr, 4, y + 4, 10, y + 10, palette::light);
    }
}

// The active switch: 40 x 72, two frames of 36 (off above on) with a lamp and its state.
void drawActiveSwitch(cairo_t* cr)
{
    for (int frame = 0; frame < 2; ++frame) {
        const int y = frame * 36;
        const bool on = frame == 1;
        fillRect(cr, 0, y, 40, y + 36, palette::panel);
        fillRoundRect(cr, 2, y + 2, 38, y + 34, 3.0, on ? palette::litFill : rgb(24, 23, 39));
        strokeRoundRect(cr, 2, y + 2, 38, y + 34, 3.0, on ? palette::light : palette::dim);
        // Lamp.
        cairo_arc(cr, 20, y + 13, 4.5, 0, 2 * M_PI);
        setColour(cr, on ? palette::light : rgb(34, 34, 56));
        cairo_fill_preserve(cr);
        setColour(cr, on ? palette::white : palette::dim);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
        drawText(cr, TextStyle::Button, 20, y + 29, on ? "ON" : "OFF",
                 on ? palette::white : palette::caption, Align::Centre);
    }
}

// The delay-mode switch: 50 x 150, three frames of 50 (Delay, Chorus, Flange selected).
void drawDelayModeSwitch(cairo_t* cr)
{
    const char* names[] = {"delay", "chorus", "flange"};
    for (int frame = 0; frame < 3; ++frame) {
        const int y = frame * 50;
        fillRect(cr, 0, y, 50, y + 50, palette::panel);
        fillRoundRect(cr, 0, y + 1, 50, y + 49, 3.0, rgb(24, 23, 39));
        strokeRoundRect(cr, 0, y + 1, 50, y + 49, 3.0, palette::dim);
        for (int row = 0; row < 3; ++row) {
            const bool selected = row == frame;
            const int top = y + 3 + row * 15;
            if (selected)
                fillRect(cr, 2, top, 48, top + 14, palette::litFill);
            fillRect(cr, 5, top + 5, 9, top + 9, selected ? palette::light : palette::dim);
            drawText(cr, TextStyle::Caption, 12, top + 10, names[row],
                     selected ? palette::white : palette::caption);
        }
    }
}

// One direction icon centred on (cx, cy): 0 forward, 1 backward, 2 random.
void drawDirectionIcon(cairo_t* cr, int kind, int cx, int cy, const Colour& c)
{
    if (kind == 0) {
        drawFlowArrow(cr, cx - 6, cx + 6, cy, c);
        return;
    }
    if (kind == 1) {
        hLine(cr, cx - 5, cx + 6, cy, c);
        for (int i = 1; i <= 3; ++i) {
            fillRect(cr, cx - 6 + i, cy - i, cx - 5 + i, cy - i + 1, c);
            fillRect(cr, cx - 6 + i, cy + i, cx - 5 + i, cy + i + 1, c);
        }
        return;
    }
    // Random: two crossing paths, each ending in an arrow head.
    cairo_save(cr);
    setColour(cr, c);
    cairo_set_line_width(cr, 1.0);
    cairo_move_to(cr, cx - 6, cy - 3.5);
    cairo_curve_to(cr, cx - 1, cy - 3.5, cx + 0, cy + 3.5, cx + 5, cy + 3.5);
    cairo_move_to(cr, cx - 6, cy + 3.5);
    cairo_curve_to(cr, cx - 1, cy + 3.5, cx + 0, cy - 3.5, cx + 5, cy - 3.5);
    cairo_stroke(cr);
    for (int sign : {-1, 1}) {
        const int tipY = cy + (sign < 0 ? -4 : 3);
        for (int i = 0; i <= 2; ++i)
            fillRect(cr, cx + 6 - i, tipY - i, cx + 7 - i, tipY + i + 1, c);
    }
    cairo_restore(cr);
}

// The direction switch: 89 x 42, three frames of 14 with forward, backward or random lit.
void drawDirectionSwitch(cairo_t* cr)
{
    const int edges[] = {0, 30, 60, 89};
    for (int frame = 0; frame < 3; ++frame) {
        const int y = frame * 14;
        fillRect(cr, 0, y, 89, y + 14, palette::panel);
        fillRoundRect(cr, 0, y, 89, y + 14, 2.0, palette::inset);
        for (int seg = 0; seg < 3; ++seg) {
            const bool selected = seg == frame;
            if (selected)
                fillRect(cr, edges[seg] + 1, y + 1, edges[seg + 1] - 1, y + 13, palette::litFill);
            const int cx = (edges[seg] + edges[seg + 1]) / 2;
            drawDirectionIcon(cr, seg, cx, y + 7, selected ? palette::white : palette::caption);
        }
        vLine(cr, 30, y + 1, y + 13, palette::dim);
        vLine(cr, 60, y + 1, y + 13, palette::dim);
        strokeRoundRect(cr, 0, y, 89, y + 14, 2.0, palette::dim);
    }
}

// The output knob: 65 frames of 72 x 72 stacked vertically, value k / 64 in frame k.
void drawOutputKnob(cairo_t* cr)
{
    constexpr double kStart = 135.0 * M_PI / 180.0; // seven o'clock position
    constexpr double kSweep = 270.0 * M_PI / 180.0;
    for (int frame = 0; frame < 65; ++frame) {
        const double top = frame * 72.0;
        const double cx = 36.0, cy = top + 36.0;
        const double value = frame / 64.0;
        const double angle = kStart + kSweep * value;
        // Transparent around the knob: the panel and the caption below show through.
        cairo_save(cr);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        // Scale ticks.
        cairo_set_line_width(cr, 1.0);
        for (int t = 0; t <= 10; ++t) {
            const double a = kStart + kSweep * t / 10.0;
            const double r0 = t % 5 == 0 ? 30.0 : 31.5;
            setColour(cr, t % 5 == 0 ? palette::caption : palette::dim);
            cairo_move_to(cr, cx + r0 * std::cos(a), cy + r0 * std::sin(a));
            cairo_line_to(cr, cx + 34.0 * std::cos(a), cy + 34.0 * std::sin(a));
            cairo_stroke(cr);
        }
        // Value ring: unlit track, then the lit part up to the value.
        cairo_set_line_width(cr, 3.0);
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_BUTT);
        setColour(cr, rgb(34, 34, 56));
        cairo_arc(cr, cx, cy, 26.0, kStart, kStart + kSweep);
        cairo_stroke(cr);
        if (frame > 0) {
            setColour(cr, palette::light);
            cairo_arc(cr, cx, cy, 26.0, kStart, angle);
            cairo_stroke(cr);
        }
        // Cap with a soft light from above.
        cairo_pattern_t* body = cairo_pattern_create_linear(0, cy - 21, 0, cy + 21);
        cairo_pattern_add_color_stop_rgb(body, 0.0, 46 / 255.0, 46 / 255.0, 70 / 255.0);
        cairo_pattern_add_color_stop_rgb(body, 1.0, 20 / 255.0, 19 / 255.0, 32 / 255.0);
        cairo_set_source(cr, body);
        cairo_arc(cr, cx, cy, 21.0, 0, 2 * M_PI);
        cairo_fill_preserve(cr);
        cairo_pattern_destroy(body);
        setColour(cr, palette::dim);
        cairo_set_line_width(cr, 1.0);
        cairo_stroke(cr);
        // Pointer.
        cairo_set_line_cap(cr, CAIRO_LINE_CAP_ROUND);
        cairo_set_line_width(cr, 2.0);
        setColour(cr, palette::white);
        cairo_move_to(cr, cx + 9.0 * std::cos(angle), cy + 9.0 * std::sin(angle));
        cairo_line_to(cr, cx + 18.0 * std::cos(angle), cy + 18.0 * std::sin(angle));
        cairo_stroke(cr);
        cairo_restore(cr);
    }
}

// --- the about screen -------------------------------------------------------------------------

void drawAbout(cairo_t* cr)
{
    fillRect(cr, 0, 0, kWidth, kHeight, palette::base);
    const Rect box{60, 48, 587, 400};
    drawPanel(cr, box, "ABOUT");

    const double w = displayTextWidth(cr, "DejaVu Sans", 34.0, true, "MORVEK2", 3.0);
    const double x = std::round((kWidth - w) / 2.0);
    drawDisplayText(cr, "DejaVu Sans", 34.0, true, x, 112, "MORVEK", palette::light, 3.0);
    const double w6 = displayTextWidth(cr, "DejaVu Sans", 34.0, true, "MORVEK", 3.0);
    drawDisplayText(cr, "DejaVu Sans", 34.0, true, x + w6 + 3.0, 112, "2", palette::white);
    drawText(cr, TextStyle::Caption, kWidth / 2, 132,
             "step-sequenced stereo effect chain  \xC2\xB7  version 1.2", palette::caption,
             Align::Centre);
    hLine(cr, 120, 527, 146, palette::dim);

    const char* modules[][2] = {
        {"VCA", "amplitude envelope with depth, gate time and pan"},
        {"Filter", "six filter types, frequency and resonance"},
        {"Distort", "fuzz and warp"},
        {"Delay", "tempo-synced delay, chorus and flange"},
        {"Shift", "frequency shifter with feedback and mix"},
        {"Bits", "sample-rate and bit-depth reduction"},
    };
    int y = 170;
    for (const auto& m : modules) {
        drawText(cr, TextStyle::Legend, 190, y, m[0], palette::light, Align::Right);
        drawText(cr, TextStyle::Caption, 202, y, m[1], palette::caption);
        y += 15;
    }
    hLine(cr, 120, 527, 264, palette::dim);

    const char* hints[][2] = {
        {"drag", "a module button to change the order of the chain"},
        {"shift + drag", "fine adjustment of knobs and sliders"},
        {"ctrl + click", "reset a control to its default"},
        {"ctrl + shift + click", "learn a MIDI controller for a control"},
        {"every step", "carries a value, a gate and two locks"},
    };
    y = 288;
    for (const auto& h : hints) {
        drawText(cr, TextStyle::Legend, 190, y, h[0], palette::light, Align::Right);
        drawText(cr, TextStyle::Caption, 202, y, h[1], palette::caption);
        y += 15;
    }
    drawText(cr, TextStyle::Small, kWidth / 2, 388, "click anywhere to close", palette::dim,
             Align::Centre);
}

// --- output ------------------------------------------------------------------------------------

void writeBytes(const std::string& path, const std::vector<unsigned char>& bytes)
{
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path);
}

// The pictures for high-density screens: the same drawing at 1.5 and 2 times the pixels, each in
// its own folder under the 1x picture's number.
struct Scale
{
    double factor;
    const char* folder;
};
constexpr Scale kScales[] = {{1.0, "png"}, {1.5, "png@1.5x"}, {2.0, "png@2x"}};

template <typename Draw>
void makeImage(const std::string& dir, int number, int width, int height, Draw draw)
{
    for (const Scale& scale : kScales) {
        cairo_surface_t* surface = newImage(static_cast<int>(std::lround(width * scale.factor)),
                                            static_cast<int>(std::lround(height * scale.factor)));
        cairo_t* cr = cairo_create(surface);
        if (scale.factor != 1.0) {
            cairo_scale(cr, scale.factor, scale.factor);
        }
        draw(cr);
        cairo_destroy(cr);
        std::filesystem::create_directories(dir + "/" + scale.folder);
        writePng(surface, dir + "/" + scale.folder + "/" + std::to_string(number) + ".png");
        cairo_surface_destroy(surface);
    }
}

void makeFont(const std::string& dir, int number, const FontRecipe& recipe)
{
    BuiltFont font = buildFont(recipe);
    writePng(font.sheet, dir + "/png/" + std::to_string(number) + ".png");
    cairo_surface_destroy(font.sheet);
    for (const Scale& scale : kScales) {
        if (scale.factor == 1.0)
            continue;
        cairo_surface_t* sheet = buildScaledSheet(recipe, font, scale.factor);
        std::filesystem::create_directories(dir + "/" + scale.folder);
        writePng(sheet, dir + "/" + scale.folder + "/" + std::to_string(number) + ".png");
        cairo_surface_destroy(sheet);
    }
    writeBytes(dir + "/map/" + std::to_string(number) + ".map", encodeGlyphMap(font));
}

void makeAll(const std::string& dir)
{
    makeImage(dir, 10000, kWidth, kHeight, [](cairo_t* cr) { drawBackground(cr, true); });

    const char* moduleNames[] = {"VCA", "FILTER", "DISTORT", "DELAY", "SHIFT", "BITS"};
    for (int m = 0; m < 6; ++m)
        makeImage(dir, 10001 + m, 46, 50,
                  [&](cairo_t* cr) { drawModuleButton(cr, moduleNames[m]); });

    makeImage(dir, 10007, 40, 72, drawActiveSwitch);
    makeImage(dir, 10008, 14, 28, drawSmallButton);
    makeImage(dir, 10009, 50, 150, drawDelayModeSwitch);
    makeImage(dir, 10010, 89, 42, drawDirectionSwitch);
    makeImage(dir, 10011, kWidth, kHeight, drawAbout);
    makeImage(dir, 10012, 72, 72 * 65, drawOutputKnob);

    // The cover for the mute caption is the background at that place without the caption.
    makeImage(dir, 10013, kMuteLabel.right - kMuteLabel.left, kMuteLabel.bottom - kMuteLabel.top,
              [](cairo_t* cr) {
                  cairo_translate(cr, -kMuteLabel.left, -kMuteLabel.top);
                  drawBackground(cr, false);
              });

    FontRecipe large{
        "DejaVu Sans", CAIRO_FONT_WEIGHT_NORMAL, 10.0, 15, {1, 17, 33, 49, 65, 81}, true, true};
    FontRecipe small{"DejaVu Sans", CAIRO_FONT_WEIGHT_NORMAL, 8.0, 10, {1, 12, 23, 34}, false,
                     false};
    makeFont(dir, 20000, large);
    makeFont(dir, 20001, small);
}

} // namespace
} // namespace make_images

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_images <resources dir>\n");
        return 2;
    }
    try {
        make_images::makeAll(argv[1]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_images: %s\n", e.what());
        return 1;
    }
    return 0;
}
