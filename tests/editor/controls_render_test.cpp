// Offscreen renders of the controls in their telling states, compared with checked-in pictures.
// After an intended change of the drawing, run with MORVEK2_REGENERATE_GOLDEN=1 to write new
// ones; every render is also saved in the temporary folder for a look.
#include <gtest/gtest.h>

#ifdef MORVEK2_HAVE_GUI_PLATFORM

#include "controls_support.h"

#include "editor/CDezadeduResource.h"
#include "editor/CZKButtons.h"
#include "editor/CZKControlGrid.h"
#include "editor/CZKKnob.h"
#include "editor/CZKSlider.h"
#include "editor/CZKVMultislider.h"
#include "editor/CZKVPopupMenu.h"
#include "gui/CBitmap.h"
#include "gui/platform/offscreen/OffscreenFrame.h"

#include <cairo.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <string>

using namespace morvek2::test;

namespace {

const CColor kPanelOpaque = MakeCColor(14, 13, 23, 255);

bool regenerate()
{
    const char* v = std::getenv("MORVEK2_REGENERATE_GOLDEN");
    return v && std::string(v) == "1";
}

OffscreenFrame& surfaceOf(CFrame* frame)
{
    return *dynamic_cast<OffscreenFrame*>(frame->getPlatformFrame());
}

// Every channel of every pixel within `tolerance` of the checked-in picture.
void expectMatchesGolden(CFrame* frame, const std::string& name, int tolerance = 3)
{
    OffscreenFrame& render = surfaceOf(*&frame);
    const std::string golden = std::string(MORVEK2_EDITOR_TEST_DIR) + "/golden/" + name + ".png";
    const std::string actual =
        (std::filesystem::temp_directory_path() / ("morvek2_" + name + ".png")).string();
    render.savePNG(actual);
    if (regenerate()) {
        ASSERT_TRUE(render.savePNG(golden));
        GTEST_SKIP() << "wrote " << golden;
    }
    cairo_surface_t* expected = cairo_image_surface_create_from_png(golden.c_str());
    ASSERT_EQ(cairo_surface_status(expected), CAIRO_STATUS_SUCCESS)
        << "missing " << golden << " (run with MORVEK2_REGENERATE_GOLDEN=1)";
    ASSERT_EQ(cairo_image_surface_get_width(expected), render.getWidth());
    ASSERT_EQ(cairo_image_surface_get_height(expected), render.getHeight());
    int bad = 0;
    for (int y = 0; y < render.getHeight(); ++y) {
        for (int x = 0; x < render.getWidth(); ++x) {
            const CColor a = render.getPixel(x, y);
            const CColor b = readSurfacePixel(expected, x, y);
            const int d = std::max({std::abs(a.alpha - b.alpha), std::abs(a.red - b.red),
                                    std::abs(a.green - b.green), std::abs(a.blue - b.blue)});
            bad += d > tolerance;
        }
    }
    cairo_surface_destroy(expected);
    EXPECT_EQ(bad, 0) << "differs from " << golden << "; this render is " << actual;
}

// How far a pixel is from the panel colour.
int distanceFromPanel(const CColor& c)
{
    return std::max({std::abs(c.red - 14), std::abs(c.green - 13), std::abs(c.blue - 23)});
}

struct Scene
{
    Scene(CCoord w, CCoord h) : frame(new CHighlightFrame(CRect(0, 0, w, h), nullptr, &editor))
    {
        frame->setBackgroundColor(kPanelOpaque);
    }
    ~Scene()
    {
        frame->forget();
        large->forget();
        small->forget();
    }
    Scene(const Scene&) = delete;
    Scene& operator=(const Scene&) = delete;
    OffscreenFrame& render()
    {
        surfaceOf(frame).renderAll();
        return surfaceOf(frame);
    }
    CColor pixel(CCoord x, CCoord y) { return surfaceOf(frame).getPixel(x, y); }

    EditRecorder editor;
    RecordingZKListener listener;
    CHighlightFrame* frame;
    CDezadeduResource* large = new CDezadeduResource(20000);
    CDezadeduResource* small = new CDezadeduResource(20001);
};

TEST(ControlsRender, KnobsWithTheirModulationSliders)
{
    Scene s(340, 130);
    struct Setup
    {
        CCoord x;
        const char* label;
        const char* text;
        float value;
        float amount;
        bool bipolar;
    };
    const Setup setups[] = {{30, "attack", "0.0ms", 0.f, 0.75f, false},
                            {140, "depth", "100%", 1.f, 0.5f, false},
                            {250, "pan", "C", 0.5f, 0.25f, true}};
    for (const Setup& k : setups) {
        auto* knob = new CFxKnob(CRect(k.x, 20, k.x + 49, 69), &s.listener, 1, kLight, kDim,
                                 s.large, s.small, k.label, true, k.bipolar);
        knob->setFrameWidth(2);
        knob->setValue(k.value);
        knob->setValueText(k.text);
        s.frame->addViewWithTag(knob);
        auto* slider = new CZKmv2ModVSlider(CRect(k.x, 77, k.x + 49, 82), &s.listener, 2, kClear,
                                            kLight, kClear);
        slider->setValue(k.amount);
        s.frame->addViewWithTag(slider);
    }
    s.render();
    // The bracket left of the first knob and its caption right of it are drawn although they lie
    // outside the knob's rectangle.
    EXPECT_GT(distanceFromPanel(s.pixel(21, 60)), 10);
    bool caption = false;
    for (CCoord x = 80; x < 110; ++x) {
        caption |= distanceFromPanel(s.pixel(x, 53)) > 60;
    }
    EXPECT_TRUE(caption);
    expectMatchesGolden(s.frame, "controls_knobs");
}

TEST(ControlsRender, KnobCaptionSurvivesRepaintsAndShorterTextLeavesNoTrace)
{
    Scene s(200, 120);
    auto* knob = new CFxKnob(CRect(30, 20, 79, 69), &s.listener, 1, kLight, kDim, s.large, s.small,
                             "depth", true, false);
    knob->setFrameWidth(2);
    knob->setValueText("100%");
    s.frame->addViewWithTag(knob);
    s.render();
    // The value text's last glyphs lie right of the knob's rectangle.
    auto litIn = [&s](CCoord x0, CCoord x1, CCoord y0, CCoord y1) {
        int lit = 0;
        for (CCoord y = y0; y < y1; ++y) {
            for (CCoord x = x0; x < x1; ++x) {
                lit += distanceFromPanel(s.pixel(x, y)) > 60;
            }
        }
        return lit;
    };
    const int before = litIn(80, 120, 59, 72);
    ASSERT_GT(before, 5);

    // A repaint of only the area right of the knob (as another view or the window system may
    // ask for) still shows the caption after the next idle.
    s.frame->invalidRect(CRect(80, 40, 130, 75));
    s.frame->idle();
    EXPECT_EQ(litIn(80, 120, 59, 72), before);

    // A shorter text leaves nothing of the longer one behind.
    knob->setValueText("C");
    s.frame->idle();
    s.frame->idle();
    EXPECT_EQ(litIn(80, 120, 59, 72), 0);
    EXPECT_GT(litIn(60, 80, 59, 72), 0);
}

TEST(ControlsRender, StepControlsBracketAndButtons)
{
    Scene s(400, 215);
    auto* values = new CZKVMultislider(CRect(20, 20, 375, 121), &s.listener, 103, kLight, kLight,
                                       kDim, kDim, MakeCColor(255, 132, 0, 255));
    for (int i = 0; i < 32; ++i) {
        values->setStepValue(i, static_cast<float>((i * 7) % 32) / 31.f);
    }
    values->setLength(24);
    values->setPlayPosition(5);
    s.frame->addViewWithTags(values);

    auto* bracket =
        new CZKVBracketSlider(CRect(20, 13, 373, 19), &s.listener, 201, kTransparentCColor, kLight,
                              kTransparentCColor, CZKVSlider::kHorizontal | CZKVSlider::kFromLeft);
    bracket->setValue(23.f / 31.f);
    s.frame->addViewWithTag(bracket);

    const CColor rowHighlight = MakeCColor(255, 255, 0, 255);
    const CCoord rows[][2] = {{121, 128}, {150, 161}, {161, 168}};
    for (int r = 0; r < 3; ++r) {
        auto* row = new CZKVMultibutton(CRect(20, rows[r][0], 375, rows[r][1]), &s.listener,
                                        135 + 32 * r, kLight, kFaint, kDim, kDim, rowHighlight);
        for (int i = 0; i < 32; ++i) {
            row->setStepOn(i, ((i + r) % 3) == 0);
        }
        row->setLength(24);
        s.frame->addViewWithTags(row);
    }

    auto* smoothing =
        new CZKVSlider(CRect(244, 180, 374, 194), &s.listener, 203, kLight, kFaint,
                       kTransparentCColor, CZKVSlider::kHorizontal | CZKVSlider::kFromLeft);
    smoothing->setValue(0.4f);
    s.frame->addViewWithTag(smoothing);

    auto* popup = new CZKVPopupMenu(CRect(20, 180, 80, 194), &s.listener, 91, s.small, kLight,
                                    kPanel, kPanel, kFaint, kLight, kLight);
    for (const char* item : {"Off", "1 bar", "2 bars", "4 bars", "8 bars"}) {
        popup->addItem(item);
    }
    popup->setValue(0.5f);
    s.frame->addViewWithTag(popup);

    auto* small = new CBitmap(10008);
    auto* momentary = new CMomentaryButton(CRect(100, 180, 114, 194), &s.listener, 204, small);
    auto* on = new CZKMovieButton(CRect(130, 180, 144, 194), &s.listener, 206, small);
    auto* off = new CZKMovieButton(CRect(150, 180, 164, 194), &s.listener, 207, small);
    small->forget();
    on->setValue(1.f);
    s.frame->addViewWithTag(momentary);
    s.frame->addViewWithTag(on);
    s.frame->addViewWithTag(off);

    s.render();
    // The bracket's end for a length of 24 steps.
    const CCoord end = bracket->endX();
    EXPECT_EQ(end, 20 + 11 + static_cast<CCoord>(352.f * (23.f / 31.f)));
    EXPECT_GT(distanceFromPanel(s.pixel(end, 16)), 30);
    EXPECT_LT(distanceFromPanel(s.pixel(end + 3, 16)), 5);
    expectMatchesGolden(s.frame, "controls_steps");
}

TEST(ControlsRender, BracketAtFullLengthReachesPastItsRightEdge)
{
    Scene s(420, 30);
    auto* bracket =
        new CZKVBracketSlider(CRect(43, 10, 396, 16), &s.listener, 201, kTransparentCColor, kLight,
                              kTransparentCColor, CZKVSlider::kHorizontal | CZKVSlider::kFromLeft);
    bracket->setValue(0.f);
    s.frame->addViewWithTag(bracket);
    s.render();
    EXPECT_GT(distanceFromPanel(s.pixel(54, 13)), 30);
    EXPECT_GT(distanceFromPanel(s.pixel(43, 13)), 30);

    // A new value repaints through the frame's idle, end marker included.
    bracket->setValue(1.f);
    s.frame->idle();
    s.frame->idle();
    EXPECT_GT(distanceFromPanel(s.pixel(406, 13)), 30);
    EXPECT_LT(distanceFromPanel(s.pixel(54, 13)), 5);
    // And back: the old end beyond the edge disappears.
    bracket->setValue(0.5f);
    s.frame->idle();
    s.frame->idle();
    EXPECT_LT(distanceFromPanel(s.pixel(406, 13)), 5);
}

TEST(ControlsRender, OpenPopupOverOtherControlsAndTheLearnOutline)
{
    Scene s(200, 200);
    auto* knob = new CFxKnob(CRect(120, 60, 169, 109), &s.listener, 90, kLight, kDim, s.large,
                             s.small, "gain", false, false);
    knob->setFrameWidth(2);
    knob->setValue(0.7f);
    s.frame->addViewWithTag(knob);
    auto* popup = new CZKVPopupMenu(CRect(30, 100, 70, 114), &s.listener, 200, s.small, kLight,
                                    kPanel, kPanel, kFaint, kLight, kLight);
    for (const char* item : {"1/1", "1/2", "1/4", "1/8", "1/16", "1/32", "1/4T", "1/8T"}) {
        popup->addItem(item);
    }
    popup->setValue(0.3f); // item 2
    s.frame->addViewWithTag(popup);
    s.frame->outlineTag(90, true);
    // Press opens; move into the lower half of item 3 picks item 4.
    CPoint p(50, 107);
    s.frame->onMouseDown(p, kLButton);
    CPoint m(50, popup->getViewSize().top + 3 * 14 + 10);
    s.frame->onMouseMoved(m, kLButton);
    EXPECT_EQ(popup->getSelectedIndex(), 4);
    s.render();
    // The outline sits exactly on the knob's bounds.
    const CColor corner = s.pixel(120, 60);
    EXPECT_EQ(corner.red, 255);
    EXPECT_EQ(corner.green, 255);
    expectMatchesGolden(s.frame, "controls_popup_open");
    s.frame->onMouseUp(m, kLButton);
}

TEST(ControlsRender, ModuleRowWhileAButtonIsDragged)
{
    Scene s(440, 60);
    RecordingZKListener listener;
    auto* grid = new CZKControlGrid(CRect(10, 5, 417, 55), s.frame, 102, CRect(25, 15, 390, 40),
                                    false, &listener);
    s.frame->addView(grid);
    for (int32_t t = 95; t <= 100; ++t) {
        auto* bitmap = new CBitmap(9906 + t);
        auto* b = new CZKMovieButton(CRect(0, 0, 46, 25), &listener, t, bitmap);
        bitmap->forget();
        grid->addView(b);
    }
    grid->childWithTag(97)->setValue(1.f);
    CPoint down(30, 20);
    s.frame->onMouseDown(down, kLButton);
    for (CCoord x = 40; x <= 120; x += 10) {
        CPoint p(x, 22);
        s.frame->onMouseMoved(p, kLButton);
    }
    ASSERT_TRUE(grid->isDragging());
    s.render();
    expectMatchesGolden(s.frame, "controls_module_row");
    CPoint up(120, 22);
    s.frame->onMouseUp(up, kLButton);
}

} // namespace

#endif
