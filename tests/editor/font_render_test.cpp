// Text in both bitmap fonts rendered offscreen and compared with a checked-in picture. After an
// intended change of the fonts, run with MORVEK2_REGENERATE_GOLDEN=1 to write a new picture.
#include <gtest/gtest.h>

#ifdef MORVEK2_HAVE_GUI_PLATFORM

#include <cairo.h>

#include <cstdlib>
#include <string>

#include "editor/CDezadeduResource.h"
#include "editor/CZKTextDisplay.h"
#include "gui/CDrawContext.h"
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

} // namespace

#endif
