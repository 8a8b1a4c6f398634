// Text in both bitmap fonts rendered offscreen and compared with a checked-in picture. After an
// intended change of the fonts, run with MORVEK2_REGENERATE_GOLDEN=1 to write a new picture.
#include <gtest/gtest.h>

#ifdef MORVEK2_HAVE_GUI_PLATFORM

#include <cairo.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <string>
#include <vector>

#include "editor/CDezadeduResource.h"
#include "editor/CZKTextDisplay.h"
#include "gui/CDrawContext.h"
#include "gui/platform/cairo/CairoDrawDevice.h"
#include "gui/platform/offscreen/OffscreenFrame.h"

using namespace VSTGUI;

namespace {

const std::string kGolden = std::string(MORVEK2_EDITOR_TEST_DIR) + "/golden/font_render.png";

void renderSample(OffscreenSurface& surface)
{
    surface.clear(MakeCColor(14, 13, 23, 255));
    CDrawContext& context = surface.context();
    auto* large = new CDezadeduResource(20000);
    auto* small = new CDezadeduResource(20001);
    ASSERT_EQ(large->getGlyphCount(), 95);
    ASSERT_EQ(small->getGlyphCount(), 95);

    large->drawString(&context, CPoint(4, 2), "attack 12.5 ms  Jig_$ 100%");
    large->drawString(&context, CPoint(4, 18), "ABCDEFGHIJKLMNOPQRSTUVWXYZ \xA3`");
    large->setAlpha(128);
    large->drawString(&context, CPoint(236, 34), "half alpha", kDezadeduRight);
    large->setAlpha(255);
    small->drawString(&context, CPoint(4, 36), "1/16T 1/8. 4 bars Off");
    small->drawString(&context, CPoint(4, 48), "abcdefghijklmnopqrstuvwxyz {|}~ !?");
    small->drawString(&context, CPoint(120, 62), "centred", kDezadeduCentre);

    // The step-count display with its font, centred in its box.
    CZKTextDisplay display(CRect(178, 60, 214, 75), large);
    display.setAlignment(1);
    display.setText("32");
    display.draw(&context);

    large->forget();
    small->forget();
}

TEST(FontRender, BothFontsMatchTheCheckedInPicture)
{
    OffscreenSurface surface(240, 80);
    renderSample(surface);
    if (const char* regenerate = std::getenv("MORVEK2_REGENERATE_GOLDEN");
        regenerate && std::string(regenerate) == "1") {
        ASSERT_TRUE(surface.savePNG(kGolden));
        GTEST_SKIP() << "wrote " << kGolden;
    }
    cairo_surface_t* golden = cairo_image_surface_create_from_png(kGolden.c_str());
    ASSERT_EQ(cairo_surface_status(golden), CAIRO_STATUS_SUCCESS) << "missing " << kGolden;
    ASSERT_EQ(cairo_image_surface_get_width(golden), 240);
    ASSERT_EQ(cairo_image_surface_get_height(golden), 80);
    int differing = 0;
    int lit = 0;
    for (CCoord y = 0; y < 80; ++y)
        for (CCoord x = 0; x < 240; ++x) {
            const CColor got = surface.getPixel(x, y);
            const CColor want = readSurfacePixel(golden, x, y);
            auto near = [](int a, int b) { return std::abs(a - b) <= 1; };
            if (!near(got.red, want.red) || !near(got.green, want.green) ||
                !near(got.blue, want.blue))
                ++differing;
            if (got.red > 100)
                ++lit;
        }
    cairo_surface_destroy(golden);
    EXPECT_EQ(differing, 0);
    // A blank render would match a blank picture; make sure the text really is there.
    EXPECT_GT(lit, 500);
}

// The pixel columns that hold ink when `text` is drawn alone at `penX` on a screen of `scale`.
std::vector<bool> inkedColumns(CDezadeduResource& font, double scale, CCoord penX, const char* text)
{
    const int width = static_cast<int>(80 * scale);
    cairo_surface_t* image = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, 30);
    cairo_t* cr = cairo_create(image);
    cairo_scale(cr, scale, scale);
    {
        CairoDrawDevice device(cr, scale);
        CDrawContext context(device, CRect(0, 0, 80, 20));
        font.drawString(&context, CPoint(penX, 2), text);
    }
    cairo_destroy(cr);
    std::vector<bool> inked(width, false);
    for (int y = 0; y < 30; ++y)
        for (int x = 0; x < width; ++x)
            inked[x] = inked[x] || readSurfacePixel(image, x, y).alpha > 0;
    cairo_surface_destroy(image);
    return inked;
}

// At 1.5x glyph cells meet inside sheet pixels; no neighbouring glyph may show there as a stray
// column. Every column inked at 1.5x lies within a pixel of a column inked at 1x, scaled: each
// glyph alone at both half-pixel phases, and texts of glyphs packed side by side in the sheet.
TEST(FontRender, NoNeighbouringGlyphShowsBesideTextAtOneAndAHalf)
{
    std::vector<std::string> texts = {"1/16", "1 measure", "1/8. 4 bars", "\xA3"};
    for (char c = 33; c < 127; ++c)
        texts.emplace_back(1, c);
    for (int32_t id : {20000, 20001}) {
        auto* font = new CDezadeduResource(id);
        for (const std::string& text : texts)
            for (CCoord penX : {10, 11}) {
                const std::vector<bool> one = inkedColumns(*font, 1.0, penX, text.c_str());
                const std::vector<bool> scaled = inkedColumns(*font, 1.5, penX, text.c_str());
                std::vector<bool> near(scaled.size(), false);
                for (int k = 0; k < static_cast<int>(one.size()); ++k)
                    for (int x = static_cast<int>(1.5 * k) - 1;
                         one[k] && x <= static_cast<int>(std::ceil(1.5 * (k + 1))) + 1; ++x)
                        near[std::clamp(x, 0, static_cast<int>(near.size()) - 1)] = true;
                for (std::size_t x = 0; x < scaled.size(); ++x)
                    EXPECT_FALSE(scaled[x] && !near[x])
                        << "font " << id << " \"" << text << "\" at " << penX << ": column " << x;
            }
        font->forget();
    }
}

} // namespace

#endif
