// Drawing: exact pixels where the geometry fixes them (film-strip images, halves, clipping, arc
// directions, alpha), bitmaps that fail to load, and offscreen renders compared with checked-in
// images (MORVEK2_REGENERATE_GOLDEN=1 rewrites them).
#include "gui_test_support.h"

#include "resources/resources.h"

#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <limits>
#include <utility>

using namespace guitest;

namespace {

// A view that runs a drawing function, for testing the drawing context.
class PaintView : public CView
{
public:
    PaintView(const CRect& r, std::function<void(CDrawContext*, const CRect&)> f)
        : CView(r), paint(std::move(f))
    {}
    void draw(CDrawContext* context) override
    {
        paint(context, size);
        setDirty(false);
    }

private:
    std::function<void(CDrawContext*, const CRect&)> paint;
};

struct Scene
{
    explicit Scene(CCoord w, CCoord h) : frame(new CFrame(CRect(0, 0, w, h), nullptr, nullptr)) {}
    ~Scene() { frame->forget(); }
    OffscreenFrame& render()
    {
        offscreen(frame)->renderAll();
        return *offscreen(frame);
    }
    CFrame* frame;
};

bool regenerate()
{
    const char* v = std::getenv("MORVEK2_REGENERATE_GOLDEN");
    return v && std::string(v) == "1";
}

// Compares a render with its golden image: every channel of every pixel within `tolerance`.
void expectMatchesGolden(OffscreenFrame& render, const std::string& name, int tolerance = 3)
{
    const std::string golden = std::string(MORVEK2_GUI_GOLDEN_DIR) + "/" + name + ".png";
    const std::string actual = std::string(MORVEK2_GUI_ARTIFACT_DIR) + "/" + name + ".png";
    ASSERT_TRUE(render.savePNG(actual));
    if (regenerate()) {
        ASSERT_TRUE(render.savePNG(golden));
        return;
    }
    cairo_surface_t* expected = cairo_image_surface_create_from_png(golden.c_str());
    ASSERT_EQ(cairo_surface_status(expected), CAIRO_STATUS_SUCCESS)
        << "missing golden " << golden << " (run with MORVEK2_REGENERATE_GOLDEN=1)";
    ASSERT_EQ(cairo_image_surface_get_width(expected), render.getWidth());
    ASSERT_EQ(cairo_image_surface_get_height(expected), render.getHeight());
    int bad = 0;
    int worst = 0;
    for (int y = 0; y < render.getHeight(); ++y) {
        for (int x = 0; x < render.getWidth(); ++x) {
            const CColor a = render.getPixel(x, y);
            const CColor b = readSurfacePixel(expected, x, y);
            // Colour of fully transparent pixels is meaningless.
            const int d = std::max({std::abs(a.alpha - b.alpha),
                                    a.alpha && b.alpha ? std::abs(a.red - b.red) : 0,
                                    a.alpha && b.alpha ? std::abs(a.green - b.green) : 0,
                                    a.alpha && b.alpha ? std::abs(a.blue - b.blue) : 0});
            worst = std::max(worst, d);
            bad += d > tolerance;
        }
    }
    cairo_surface_destroy(expected);
    EXPECT_EQ(bad, 0) << name << ": " << bad << " pixels differ, worst by " << worst << "; compare "
                      << actual;
}

} // namespace

TEST(GuiBitmap, LoadsFromPNGBytesAndRefusesGarbage)
{
    const auto png = makePNG(7, 5, [](int x, int) { return x < 3 ? kRedCColor : kBlueCColor; });
    CBitmap good(png.data(), png.size());
    EXPECT_TRUE(good.isLoaded());
    EXPECT_EQ(good.getWidth(), 7);
    EXPECT_EQ(good.getHeight(), 5);

    const unsigned char garbage[] = "definitely not a picture, just bytes";
    CBitmap bad(garbage, sizeof(garbage));
    EXPECT_FALSE(bad.isLoaded());
    EXPECT_EQ(bad.getWidth(), 0);
    EXPECT_EQ(bad.getHeight(), 0);
    CBitmap truncated(png.data(), png.size() / 2);
    EXPECT_EQ(truncated.getWidth(), 0);
    CBitmap empty(nullptr, 0);
    EXPECT_EQ(empty.getHeight(), 0);
    CBitmap missing(99999);
    EXPECT_EQ(missing.getWidth(), 0);

    // Drawing one that failed draws nothing, and a null context is ignored.
    OffscreenSurface surface(8, 8);
    surface.clear(kBlackCColor);
    bad.draw(&surface.context(), CRect(0, 0, 8, 8));
    bad.drawAlphaBlend(&surface.context(), CRect(0, 0, 8, 8), CPoint(0, 0), 200);
    good.draw(nullptr, CRect(0, 0, 8, 8));
    EXPECT_EQ(surface.getPixel(3, 3), kBlackCColor);
}

TEST(GuiBitmap, LoadsTheModulesPictureResources)
{
    if (morvek2::findResource(10000, "PNG").size == 0) {
        GTEST_SKIP() << "no background picture among the resources";
    }
    CBitmap background(10000);
    EXPECT_EQ(background.getWidth(), 647);
    EXPECT_EQ(background.getHeight(), 447);
    EXPECT_EQ(background.getResourceID(), 10000);
}

TEST(GuiBitmap, DrawsOnlyItsOwnPixelsFromTheSourceOffset)
{
    const auto png = makePNG(4, 6, [](int, int y) { return y < 3 ? kRedCColor : kGreenCColor; });
    CBitmap bitmap(png.data(), png.size());
    OffscreenSurface surface(10, 10);
    surface.clear(kBlackCColor);
    CDrawContext& c = surface.context();
    bitmap.draw(&c, CRect(2, 2, 10, 10), CPoint(0, 3)); // the lower half only, no scaling
    EXPECT_EQ(surface.getPixel(2, 2), kGreenCColor);
    EXPECT_EQ(surface.getPixel(5, 4), kGreenCColor);
    EXPECT_EQ(surface.getPixel(6, 2), kBlackCColor) << "right of the picture";
    EXPECT_EQ(surface.getPixel(2, 5), kBlackCColor) << "below the part drawn";
    bitmap.draw(&c, CRect(0, 0, 4, 4), CPoint(10, 10)); // offset outside the picture
    EXPECT_EQ(surface.getPixel(0, 0), kBlackCColor);
}

TEST(GuiBitmap, AlphaBlendScalesThePicturesAlpha)
{
    const auto png = makePNG(2, 2, [](int, int) { return kWhiteCColor; });
    const auto halfPng = makePNG(2, 2, [](int, int) { return MakeCColor(255, 255, 255, 128); });
    CBitmap white(png.data(), png.size());
    CBitmap half(halfPng.data(), halfPng.size());
    OffscreenSurface surface(6, 2);
    surface.clear(kBlackCColor);
    CDrawContext& c = surface.context();
    white.drawAlphaBlend(&c, CRect(0, 0, 2, 2), CPoint(0, 0), 128);
    white.drawAlphaBlend(&c, CRect(2, 0, 4, 2), CPoint(0, 0), 0);
    half.drawTransparent(&c, CRect(4, 0, 6, 2));
    EXPECT_NEAR(surface.getPixel(0, 0).red, 128, 2);
    EXPECT_EQ(surface.getPixel(2, 0), kBlackCColor);
    EXPECT_NEAR(surface.getPixel(4, 0).red, 128, 2) << "the PNG's own alpha composites";
}

TEST(GuiRender, FilmStripsShowTheImageTheValueSelects)
{
    Scene scene(200, 40);
    auto* strip65 = makeStrip(10, 10, 65);
    auto* anim = new CAnimKnob(CRect(0, 0, 10, 10), nullptr, 90, 65, 10, strip65);
    auto* anim2 = new CAnimKnob(CRect(20, 0, 30, 10), nullptr, 90, 65, 10, strip65);
    auto* anim3 = new CAnimKnob(CRect(40, 0, 50, 10), nullptr, 90, 65, 10, strip65);
    auto* strip3 = makeStrip(10, 10, 3);
    auto* sw = new CHorizontalSwitch(CRect(60, 0, 70, 10), nullptr, 1, 3, 10, 3, strip3);
    auto* sw2 = new CVerticalSwitch(CRect(80, 0, 90, 10), nullptr, 1, 3, 10, 3, strip3);
    auto* movie = new CMovieBitmap(CRect(100, 0, 110, 10), nullptr, 212, 3, 10, strip3);
    auto* strip2 = makeStrip(10, 10, 2);
    auto* onOff = new COnOffButton(CRect(120, 0, 130, 10), nullptr, 2, strip2);
    auto* movieButton = new CMovieButton(CRect(140, 0, 150, 10), nullptr, 3, 10, strip2);
    for (CView* v :
         std::initializer_list<CView*>{anim, anim2, anim3, sw, sw2, movie, onOff, movieButton}) {
        scene.frame->addView(v);
    }
    strip65->forget();
    strip3->forget();
    strip2->forget();
    anim->setValue(0.5f);       // 0.5 × 64 = image 32
    anim2->setValue(0.999f);    // truncated: 63, the last image only at the maximum
    anim3->setValue(1.f);       // 64
    sw->setValue(0.74f);        // nearest: 2 × 0.74 + 0.5 = 1.98 -> 1
    sw2->setValue(0.76f);       // 2.02 -> 2
    movie->setValue(0.25f);     // 1.0 -> 1
    onOff->setValue(1.f);       // lower half
    movieButton->setValue(0.f); // upper image
    OffscreenFrame& out = scene.render();
    EXPECT_EQ(out.getPixel(5, 5), stripColor(32));
    EXPECT_EQ(out.getPixel(25, 5), stripColor(63));
    EXPECT_EQ(out.getPixel(45, 5), stripColor(64));
    EXPECT_EQ(out.getPixel(65, 5), stripColor(1));
    EXPECT_EQ(out.getPixel(85, 5), stripColor(2));
    EXPECT_EQ(out.getPixel(105, 5), stripColor(1));
    EXPECT_EQ(out.getPixel(125, 5), stripColor(1));
    EXPECT_EQ(out.getPixel(145, 5), stripColor(0));

    // Values outside the range still pick a real image.
    anim->setValue(7.f);
    sw->setValue(-3.f);
    scene.frame->idle();
    EXPECT_EQ(out.getPixel(5, 5), stripColor(64));
    EXPECT_EQ(out.getPixel(65, 5), stripColor(0));
}

TEST(GuiRender, ClipNeverReachesOutsideTheViewsArea)
{
    Scene scene(40, 40);
    auto* view = new PaintView(CRect(10, 10, 20, 20), [](CDrawContext* c, const CRect& r) {
        c->setClipRect(CRect(0, 0, 40, 40)); // asks for more than its area
        c->setFillColor(kRedCColor);
        c->fillRect(CRect(0, 0, 40, 40));
        c->setClipRect(CRect(r.left, r.top, r.left + 5, r.top + 5));
        c->setFillColor(kBlueCColor);
        c->fillRect(r);
        c->resetClipRect();
        c->setFillColor(kGreenCColor);
        c->fillRect(CRect(r.right - 2, r.bottom - 2, r.right + 10, r.bottom + 10));
    });
    scene.frame->addView(view);
    OffscreenFrame& out = scene.render();
    EXPECT_EQ(out.getPixel(5, 5).alpha, 0) << "nothing outside the view";
    EXPECT_EQ(out.getPixel(25, 25).alpha, 0);
    EXPECT_EQ(out.getPixel(12, 12), kBlueCColor);
    EXPECT_EQ(out.getPixel(17, 12), kRedCColor);
    EXPECT_EQ(out.getPixel(19, 19), kGreenCColor);
    EXPECT_EQ(out.getPixel(20, 20).alpha, 0);
}

TEST(GuiRender, ArcAnglesRunClockwiseFromThreeOClock)
{
    Scene scene(41, 41);
    scene.frame->addView(new PaintView(CRect(0, 0, 41, 41), [](CDrawContext* c, const CRect&) {
        c->setDrawMode(kAntialias);
        c->setFrameColor(kWhiteCColor);
        c->setLineWidth(4);
        c->drawArc(CRect(4, 4, 37, 37), 0.f, 90.f); // 3 o'clock to 6 o'clock
        c->setFillColor(kRedCColor);
        c->drawPie(CRect(4, 4, 37, 37), 180.f, 270.f); // 9 o'clock to 12: upper left
    }));
    OffscreenFrame& out = scene.render();
    EXPECT_GT(out.getPixel(32, 32).alpha, 200) << "lower right carries the arc";
    EXPECT_EQ(out.getPixel(32, 8).alpha, 0) << "upper right does not";
    EXPECT_EQ(out.getPixel(12, 12), kRedCColor) << "the pie fills the upper left";
    EXPECT_EQ(out.getPixel(12, 28).alpha, 0);
    EXPECT_EQ(out.getPixel(28, 12).alpha, 0);
}

TEST(GuiRender, ControlsMatchTheirGoldenImages)
{
    Scene scene(160, 60);
    auto* strip = makeStrip(20, 20, 5);
    auto* knob = new CKnob(CRect(0, 0, 40, 40), nullptr, 1, nullptr);
    knob->setValue(0.3f);
    auto* anim = new CAnimKnob(CRect(50, 0, 70, 20), nullptr, 2, 5, 20, strip);
    anim->setValue(0.6f);
    auto* sw = new CHorizontalSwitch(CRect(80, 0, 100, 20), nullptr, 3, 5, 20, 5, strip);
    sw->setValue(1.f);
    strip->forget();
    scene.frame->addView(knob);
    scene.frame->addView(anim);
    scene.frame->addView(sw);
    scene.frame->addView(new PaintView(CRect(110, 0, 160, 60), [](CDrawContext* c, const CRect& r) {
        c->setFrameColor(MakeCColor(115, 190, 232, 150));
        c->setFillColor(MakeCColor(60, 60, 100, 100));
        c->drawRect(r, kDrawFilledAndStroked);
        c->setDrawMode(kAntialias);
        c->setLineWidth(12);
        for (int i = 0; i < 19; i += 2) {
            c->drawArc(CRect(r.left + 12, r.top + 12, r.right - 12, r.top + 38), 90.f + 14.5f * i,
                       98.f + 14.5f * i);
        }
        c->setLineWidth(1);
        c->setFrameColor(kWhiteCColor);
        c->moveTo(CPoint(r.left, r.bottom - 5));
        c->lineTo(CPoint(r.right - 1, r.bottom - 15));
        c->setFillColor(MakeCColor(255, 132, 0, 255));
        c->drawEllipse(CRect(r.left + 2, r.bottom - 14, r.left + 14, r.bottom - 2), kDrawFilled);
    }));
    expectMatchesGolden(scene.render(), "controls");
}

TEST(GuiRender, OutlinesLieOnTheRectanglesEdgePixelsAndLinesIncludeTheirEnds)
{
    Scene scene(30, 30);
    scene.frame->addView(new PaintView(CRect(0, 0, 30, 30), [](CDrawContext* c, const CRect&) {
        c->setOffset(CPoint(c->getOffset().x + 2, c->getOffset().y + 2)); // views may shift
        c->setFrameColor(kWhiteCColor);
        c->setLineWidth(1);
        c->drawRect(CRect(2, 2, 12, 12)); // window 4..13
        c->setFrameColor(kRedCColor);
        c->moveTo(CPoint(16, 4));
        c->lineTo(CPoint(20, 4)); // window x 18..22 on y 6
        EXPECT_EQ(c->getPenLocation(), CPoint(20, 4));
        c->lineTo(CPoint(20, 8));
    }));
    OffscreenFrame& out = scene.render();
    EXPECT_EQ(out.getPixel(4, 4), kWhiteCColor);
    EXPECT_EQ(out.getPixel(13, 13), kWhiteCColor);
    EXPECT_EQ(out.getPixel(9, 4), kWhiteCColor);
    EXPECT_EQ(out.getPixel(14, 9).alpha, 0) << "nothing right of the rectangle";
    EXPECT_EQ(out.getPixel(8, 8).alpha, 0) << "an outline is not filled";
    EXPECT_EQ(out.getPixel(18, 6), kRedCColor);
    EXPECT_EQ(out.getPixel(22, 6), kRedCColor);
    EXPECT_EQ(out.getPixel(22, 10), kRedCColor);
    EXPECT_EQ(out.getPixel(23, 6).alpha, 0);
}

TEST(GuiScale, TheNearestSupportedScaleRoundsHalfwayUp)
{
    const std::pair<double, double> rows[] = {{1.0, 1.0},
                                              {1.2, 1.0},
                                              {1.25, 1.5},
                                              {1.5, 1.5},
                                              {1.74, 1.5},
                                              {1.75, 2.0},
                                              {3.0, 2.0},
                                              {0.5, 1.0},
                                              {0.0, 1.0},
                                              {-2.0, 1.0},
                                              {std::numeric_limits<double>::quiet_NaN(), 1.0},
                                              {std::numeric_limits<double>::infinity(), 1.0}};
    for (const auto& [factor, expected] : rows) {
        EXPECT_EQ(nearestSupportedScale(factor), expected) << factor;
    }
}

// At 1.5x a layout pixel edge can fall inside a device pixel. A repaint of a small area must
// cover whole device pixels with whole layout pixels: the result equals a full repaint, with no
// seam of half-drawn pixels and nothing drawn twice.
TEST(GuiScale, PartialRepaintsAtOneAndAHalfEqualAFullRepaint)
{
    struct Owner : IPlatformFrameOwner
    {
        void platformDrawRect(IDrawDevice& device, const CRect& updateRect) override
        {
            CDrawContext context(device, updateRect);
            context.setFillColor(MakeCColor(0, 0, 0, 255));
            context.fillRect(CRect(0, 0, 20, 20));
            // Translucent, so that a pixel painted twice would come out brighter.
            context.setFillColor(MakeCColor(255, 255, 255, 100));
            context.fillRect(CRect(3, 3, 14, 14));
        }
        CMouseEventResult platformOnMouseDown(CPoint, int32_t) override
        {
            return kMouseEventNotHandled;
        }
        CMouseEventResult platformOnMouseMoved(CPoint, int32_t) override
        {
            return kMouseEventNotHandled;
        }
        CMouseEventResult platformOnMouseUp(CPoint, int32_t) override
        {
            return kMouseEventNotHandled;
        }
        bool platformOnMouseWheel(CPoint, float, int32_t) override { return false; }
    } owner;
    OffscreenFrame frame(owner, 20, 20, 1.5);
    OffscreenFrame* screen = &frame;
    ASSERT_EQ(screen->getDeviceWidth(), 30);
    screen->renderAll();
    std::vector<CColor> full;
    for (CCoord y = 0; y < 30; ++y) {
        for (CCoord x = 0; x < 30; ++x) {
            full.push_back(screen->getPixel(x, y));
        }
    }
    for (const CRect& area : {CRect(3, 3, 4, 4), CRect(5, 1, 8, 15), CRect(13, 13, 17, 18)}) {
        screen->invalidRect(area);
        screen->paint();
        std::size_t i = 0;
        for (CCoord y = 0; y < 30; ++y) {
            for (CCoord x = 0; x < 30; ++x, ++i) {
                ASSERT_EQ(screen->getPixel(x, y), full[i]) << x << "," << y;
            }
        }
    }
}
