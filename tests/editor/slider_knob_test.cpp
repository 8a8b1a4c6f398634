// Sliders and knobs driven by synthetic mouse sequences in an offscreen window, and what they draw
// recorded shape by shape.
#include "controls_support.h"
#include "fake_platform.h"

#include "editor/CDezadeduResource.h"
#include "editor/CZKKnob.h"
#include "editor/CZKSlider.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace morvek2::test;

namespace {

// ------------------------------------------------------------------------------------ sliders

struct SliderTest : ::testing::Test
{
    Window window;
    RecordingZKListener listener;
    CZKVSlider* addSmoothing()
    {
        auto* s =
            new CZKVSlider(CRect(267, 171, 397, 185), &listener, 203, kLight, kFaint,
                           kTransparentCColor, CZKVSlider::kHorizontal | CZKVSlider::kFromLeft);
        window.frame->addViewWithTag(s);
        return s;
    }
};

TEST_F(SliderTest, PressJumpsToThePointerThenDragsByTravelAndShiftIsFine)
{
    CZKVSlider* s = addSmoothing();
    // (x − left − 1) / (width − 2) = 64 / 128.
    window.down(332, 178);
    EXPECT_FLOAT_EQ(s->getValue(), 0.5f);
    EXPECT_EQ(listener.kinds(), "bv");
    // A drag moves by travel / width, not to the pointer.
    window.move(358, 178);
    EXPECT_FLOAT_EQ(s->getValue(), 0.5f + 26.f / 130.f);
    // Pressing Shift re-anchors without a jump, then moves a fifth as far.
    window.move(358, 178, kLButton | kShift);
    EXPECT_FLOAT_EQ(s->getValue(), 0.5f + 26.f / 130.f);
    window.move(384, 178, kLButton | kShift);
    EXPECT_NEAR(s->getValue(), 0.5f + 26.f / 130.f + 0.2f * 26.f / 130.f, 1e-6);
    window.up(384, 178);
    EXPECT_EQ(listener.kinds(), "bvvve");
    const std::vector<std::pair<char, int32_t>> edits = {{'b', 203}, {'e', 203}};
    EXPECT_EQ(window.editor.edits, edits);
}

TEST_F(SliderTest, DraggingPastTheEndReportsTheEndOnce)
{
    CZKVSlider* s = addSmoothing();
    window.down(380, 178);
    window.move(600, 178);
    window.move(640, 178);
    window.move(646, 178);
    window.up(646, 178);
    EXPECT_FLOAT_EQ(s->getValue(), 1.f);
    const auto values = listener.values();
    ASSERT_FALSE(values.empty());
    EXPECT_EQ(std::count(values.begin(), values.end(), 1.f), 1);
}

TEST_F(SliderTest, ControlClickResetsToTheDefaultAndOtherButtonsDoNothing)
{
    CZKVSlider* s = addSmoothing();
    s->setDefaultValue(0.25f);
    s->setValue(0.8f);
    EXPECT_EQ(window.down(300, 178, kLButton | kControl),
              kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    EXPECT_FLOAT_EQ(s->getValue(), 0.25f);
    EXPECT_EQ(listener.kinds(), "mbve");

    listener.clear();
    s->setValue(0.8f);
    window.down(300, 178, kRButton);
    window.move(380, 178, kRButton);
    window.up(380, 178, kRButton);
    EXPECT_FLOAT_EQ(s->getValue(), 0.8f);
    EXPECT_EQ(listener.kinds().find_first_of("bve"), std::string::npos);
}

TEST_F(SliderTest, WheelStepsByATenthAndAHundredthWithShift)
{
    CZKVSlider* s = addSmoothing();
    s->setValue(0.5f);
    CPoint p(300, 178);
    EXPECT_TRUE(window.frame->onWheel(p, 1.f, 0));
    EXPECT_NEAR(s->getValue(), 0.6f, 1e-6);
    EXPECT_TRUE(window.frame->onWheel(p, -1.f, kShift));
    EXPECT_NEAR(s->getValue(), 0.59f, 1e-6);
    EXPECT_EQ(listener.kinds(), "bvebve");
}

TEST(SliderGeometry, VerticalBarsGrowFromTheBottomAndBipolarBarsFromTheCentre)
{
    CZKVSlider up(CRect(0, 0, 10, 41), nullptr, 1, kLight, kLight, kClear, CZKVSlider::kFromBottom);
    up.setValue(0.25f);
    CRect r;
    up.valueRect(r);
    EXPECT_EQ(r, CRect(0, 30, 9, 40));
    // The top pixel row is value 1.
    EXPECT_FLOAT_EQ(up.valueAt(CPoint(5, 1)), 1.f);
    EXPECT_FLOAT_EQ(up.valueAt(CPoint(5, 40)), 0.f);

    CZKVSlider centred(CRect(0, 0, 10, 41), nullptr, 1, kLight, kLight, kClear,
                       CZKVSlider::kFromBottom | CZKVSlider::kBipolar);
    centred.setValue(0.5f);
    centred.valueRect(r);
    // At the centre the bar keeps one pixel.
    EXPECT_EQ(r.top, 20);
    EXPECT_EQ(r.bottom, 21);
    centred.setValue(1.f);
    centred.valueRect(r);
    EXPECT_EQ(r, CRect(0, 0, 9, 20));

    CZKVSlider fromRight(CRect(0, 0, 41, 5), nullptr, 1, kLight, kLight, kClear,
                         CZKVSlider::kHorizontal | CZKVSlider::kInverse);
    fromRight.setValue(0.25f);
    fromRight.valueRect(r);
    EXPECT_EQ(r, CRect(30, 0, 40, 4));
    EXPECT_FLOAT_EQ(fromRight.valueAt(CPoint(1, 2)), 1.f);
}

TEST(ModulationSlider, BarRunsFromTheCentreTowardsTheValue)
{
    CZKmv2ModVSlider s(CRect(457, 114, 506, 119), nullptr, 12, kClear, kLight, kClear);
    EXPECT_EQ(s.getStyle(), 0x2001);
    s.setValue(0.75f);
    CRect r;
    s.valueRect(r);
    EXPECT_EQ(r, CRect(481, 114, 493, 118));
    s.setValue(0.25f);
    s.valueRect(r);
    EXPECT_EQ(r, CRect(469, 114, 481, 118));

    RecordedDrawing d;
    s.setValue(0.75f);
    s.draw(&d.context);
    const auto lines = d.device.of('l');
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_EQ(lines[0].from, CPoint(457, 116));
    EXPECT_EQ(lines[0].to, CPoint(506, 116));
    EXPECT_EQ(lines[0].paint.frameColor, kDim);
    EXPECT_EQ(lines[0].paint.lineWidth, 2);
    const auto rects = d.device.of('r');
    ASSERT_EQ(rects.size(), 1u);
    EXPECT_EQ(rects[0].rect, CRect(481, 114, 493, 118));
    EXPECT_EQ(rects[0].paint.fillColor, kLight);
    EXPECT_EQ(rects[0].paint.frameColor, kDim);

    // At the centre the bar has no width: only the middle line is drawn.
    RecordedDrawing centre;
    s.setValue(0.5f);
    s.draw(&centre.context);
    EXPECT_TRUE(centre.device.of('r').empty());
    EXPECT_EQ(centre.device.of('l').size(), 1u);
}

TEST(ModulationSlider, ClickLeftOfCentreGivesANegativeAmount)
{
    Window window;
    RecordingZKListener listener;
    auto* s =
        new CZKmv2ModVSlider(CRect(457, 114, 506, 119), &listener, 12, kClear, kLight, kClear);
    window.frame->addViewWithTag(s);
    // (x − 458) / 47: the left end is 0, the right end 1.
    window.down(458, 116);
    window.up(458, 116);
    EXPECT_FLOAT_EQ(s->getValue(), 0.f);
    window.down(504, 116);
    window.up(504, 116);
    EXPECT_NEAR(s->getValue(), 46.f / 47.f, 1e-6);
}

TEST(BracketSlider, EndLiesOneStepWidthRightOfTheValuesShare)
{
    CZKVBracketSlider b(CRect(43, 52, 396, 58), nullptr, 201, kTransparentCColor, kLight,
                        kTransparentCColor, CZKVSlider::kHorizontal | CZKVSlider::kFromLeft);
    b.setValue(0.f);
    EXPECT_EQ(b.endX(), 54);
    b.setValue(1.f);
    EXPECT_EQ(b.endX(), 406);
    b.setValue(0.5f);
    EXPECT_EQ(b.endX(), 43 + 11 + 176);

    RecordedDrawing d;
    b.setValue(0.f);
    b.draw(&d.context);
    const auto lines = d.device.of('l');
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].from, CPoint(43, 58));
    EXPECT_EQ(lines[0].to, CPoint(43, 52));
    EXPECT_EQ(lines[1].to, CPoint(54, 52));
    EXPECT_EQ(lines[2].from, CPoint(54, 52));
    EXPECT_EQ(lines[2].to, CPoint(54, 58));
    for (const auto& l : lines) {
        EXPECT_EQ(l.paint.frameColor, kLight);
    }
    const auto square = d.device.of('r');
    ASSERT_EQ(square.size(), 1u);
    EXPECT_EQ(square[0].rect, CRect(52, 52, 54, 54));
    EXPECT_TRUE(b.isTypeOf("CZKVSlider"));
    EXPECT_TRUE(b.isTypeOf("CZKVBracketSlider"));
    EXPECT_FALSE(b.isTypeOf("CZKmv2ModVSlider"));
}

TEST(SliderTypes, CopiesKeepClassAndFields)
{
    CZKmv2ModVSlider s(CRect(457, 114, 506, 119), nullptr, 12, kClear, kLight, kClear);
    s.setValue(0.3f);
    s.setFineFactor(0.5f);
    CView* copy = s.newCopy();
    ASSERT_TRUE(copy->isTypeOf("CZKmv2ModVSlider"));
    auto* c = dynamic_cast<CZKmv2ModVSlider*>(copy);
    ASSERT_NE(c, nullptr);
    EXPECT_FLOAT_EQ(c->getValue(), 0.3f);
    EXPECT_FLOAT_EQ(c->getFineFactor(), 0.5f);
    EXPECT_EQ(c->getStyle(), 0x2001);
    copy->forget();
}

// -------------------------------------------------------------------------------------- knobs

struct KnobTest : ::testing::Test
{
    ScopedFakePlatform platform;
    Window window;
    RecordingZKListener listener;
    CDezadeduResource* large = new CDezadeduResource(20000);
    CDezadeduResource* small = new CDezadeduResource(20001);
    ~KnobTest() override
    {
        large->forget();
        small->forget();
    }
    CFxKnob* makeKnob(bool bipolar, bool modulated = true, int32_t tag = 17)
    {
        auto* k = new CFxKnob(CRect(457, 57, 506, 106), &listener, tag, kLight, kDim, large, small,
                              "freq", modulated, bipolar);
        k->setFrameWidth(2);
        return k;
    }
    // The lit segments of a recorded ring, by index.
    static std::vector<int> litSegments(const ShapeRecorder& device)
    {
        std::vector<int> lit;
        const auto arcs = device.of('a');
        for (const auto& a : arcs) {
            if (a.paint.lineWidth == 12 && a.paint.frameColor == kLight) {
                lit.push_back(static_cast<int>((a.start - 90.0) / 14.5 + 0.5));
            }
        }
        return lit;
    }
};

TEST_F(KnobTest, RingLightsSegmentZeroAtZeroAllAtOneAndTheCentreAloneBipolarHalf)
{
    CFxKnob* k = makeKnob(false);
    EXPECT_EQ(k->ringRect(), CRect(464, 64, 499, 99));

    k->setValue(0.f);
    RecordedDrawing zero;
    k->draw(&zero.context);
    const auto rings = zero.device.of('a');
    ASSERT_GE(rings.size(), 19u);
    EXPECT_EQ(rings[0].rect, CRect(464, 64, 499, 99));
    EXPECT_DOUBLE_EQ(rings[18].start, 90.0 + 14.5 * 18);
    EXPECT_DOUBLE_EQ(rings[18].end, 98.0 + 14.5 * 18);
    EXPECT_EQ(litSegments(zero.device), std::vector<int>{0});

    k->setValue(1.f);
    RecordedDrawing one;
    k->draw(&one.context);
    EXPECT_EQ(litSegments(one.device).size(), 19u);

    k->setValue(0.5f);
    RecordedDrawing half;
    k->draw(&half.context);
    EXPECT_EQ(litSegments(half.device).size(), 10u);
    k->forget();

    CFxKnob* pan = makeKnob(true);
    pan->setValue(0.5f);
    RecordedDrawing centre;
    pan->draw(&centre.context);
    EXPECT_EQ(litSegments(centre.device), std::vector<int>{9});
    pan->setValue(0.f);
    RecordedDrawing left;
    pan->draw(&left.context);
    EXPECT_EQ(litSegments(left.device), (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    pan->setValue(1.f);
    RecordedDrawing right;
    pan->draw(&right.context);
    EXPECT_EQ(litSegments(right.device), (std::vector<int>{9, 10, 11, 12, 13, 14, 15, 16, 17, 18}));
    pan->forget();
}

TEST_F(KnobTest, ModulatedKnobDrawsTheBracketTowardsItsSliderAndTheCaption)
{
    CFxKnob* k = makeKnob(false, true);
    k->setValueText("25%");
    RecordedDrawing d;
    k->draw(&d.context);
    const auto lines = d.device.of('l');
    ASSERT_EQ(lines.size(), 1u);
    // Centre c = 57 + 49 / 2 = 81.
    EXPECT_EQ(lines[0].from, CPoint(448, 90));
    EXPECT_EQ(lines[0].to, CPoint(448, 107));
    EXPECT_EQ(lines[0].paint.frameColor, kDim);
    EXPECT_EQ(lines[0].paint.lineWidth, 2);
    EXPECT_EQ(lines[0].clip, CRect(447, 81, 456, 121));
    // Label and value text start 30 pixels in, 20 and 10 above the bottom.
    bool label = false, valueText = false;
    for (const auto& b : d.device.of('b')) {
        label |= b.rect.top == 86 && b.rect.left >= 487;
        valueText |= b.rect.top == 96 && b.rect.left >= 487;
    }
    EXPECT_TRUE(label);
    EXPECT_TRUE(valueText);
    EXPECT_EQ(k->getValueText(), "25%");
    EXPECT_EQ(k->getValueTextWidth(), large->stringWidth("25%"));
    // Drawing leaves the knob clean: only a new value or text draws it again.
    EXPECT_FALSE(k->isDirty());
    k->setValueText("25%");
    EXPECT_FALSE(k->isDirty());
    k->setValueText("26%");
    EXPECT_TRUE(k->isDirty());
    k->setDirty(false);
    k->setValue(0.5f);
    EXPECT_TRUE(k->isDirty());
    k->forget();

    CFxKnob* plain = makeKnob(false, false);
    RecordedDrawing p;
    plain->draw(&p.context);
    EXPECT_TRUE(p.device.of('l').empty());
    plain->forget();
}

TEST_F(KnobTest, TextRectReachesAWidthAndAQuarterEachSideAndTenPixelsDown)
{
    CFxKnob* k = makeKnob(false);
    CRect r;
    k->textRect(r);
    EXPECT_EQ(r, CRect(396, 67, 567, 116));
    EXPECT_EQ(k->getValueText(), "--");
    EXPECT_EQ(k->getLabelWidth(), large->stringWidth("freq"));
    k->forget();
}

TEST_F(KnobTest, LinearDragCoversTheRangeInTwoHundredPixelsAndShiftSlowsIt)
{
    CFxKnob* k = makeKnob(false);
    window.frame->addViewWithTag(k);
    k->setValue(0.2f);
    window.down(480, 80);
    // The press alone changes nothing in linear mode.
    EXPECT_FLOAT_EQ(k->getValue(), 0.2f);
    window.move(480, 40);
    EXPECT_NEAR(k->getValue(), 0.4f, 1e-6);
    window.move(500, 40);
    EXPECT_NEAR(k->getValue(), 0.5f, 1e-6);
    window.move(500, 40, kLButton | kShift);
    window.move(500, 10, kLButton | kShift);
    EXPECT_NEAR(k->getValue(), 0.6f, 1e-6);
    window.up(500, 10);
    EXPECT_EQ(listener.kinds().front(), 'b');
    EXPECT_EQ(listener.kinds().back(), 'e');
    const std::vector<std::pair<char, int32_t>> edits = {{'b', 17}, {'e', 17}};
    EXPECT_EQ(window.editor.edits, edits);
}

TEST_F(KnobTest, FilterTypeKnobHoldsSixPositions)
{
    CFxKnob* k = makeKnob(false, false, 19);
    k->setSteps(6);
    EXPECT_EQ(k->getStepsMinusOne(), 5);
    k->setValue(0.5f);
    EXPECT_FLOAT_EQ(k->getValue(), 0.6f);
    k->setValue(0.09f);
    EXPECT_FLOAT_EQ(k->getValue(), 0.f);
    k->setValue(0.95f);
    EXPECT_FLOAT_EQ(k->getValue(), 1.f);

    window.frame->addViewWithTag(k);
    k->setValue(0.f);
    window.down(480, 80);
    for (int y = 73; y >= -130; y -= 7) {
        window.move(480, y);
    }
    window.up(480, -130);
    const auto values = listener.values();
    ASSERT_FALSE(values.empty());
    for (float v : values) {
        EXPECT_NEAR(v * 5.f, std::round(v * 5.f), 1e-5) << v;
    }
    EXPECT_FLOAT_EQ(k->getValue(), 1.f);
    // Each position is reported once on the way up.
    EXPECT_EQ(values.size(), 5u);

    // The wheel moves a stepped knob by whole steps both ways.
    listener.clear();
    k->setValue(0.4f);
    CPoint at(480, 80);
    window.frame->onWheel(at, -1.f, 0);
    EXPECT_FLOAT_EQ(k->getValue(), 0.2f);
    window.frame->onWheel(at, -1.f, kShift);
    EXPECT_FLOAT_EQ(k->getValue(), 0.f);
    window.frame->onWheel(at, -1.f, 0);
    EXPECT_FLOAT_EQ(k->getValue(), 0.f);
    window.frame->onWheel(at, 2.f, 0);
    EXPECT_FLOAT_EQ(k->getValue(), 0.4f);
    EXPECT_EQ(listener.kinds(), "bvebvebve");
}

TEST_F(KnobTest, DisabledKnobSwallowsClicksAndShowsItsDisabledColours)
{
    auto* k = new CZKVKnob(CRect(10, 10, 40, 40), &listener, 7, kLight, kFaint, kDim, kPanel);
    window.frame->addViewWithTag(k);
    k->setValue(0.3f);
    k->setEnabled(false);
    EXPECT_EQ(k->getOutlineColour(), kDim);
    EXPECT_EQ(k->getFillColour(), kPanel);
    EXPECT_EQ(window.down(25, 25), kMouseDownEventHandledButDontNeedMovedOrUpEvents);
    window.move(25, 0);
    window.up(25, 0);
    EXPECT_FLOAT_EQ(k->getValue(), 0.3f);
    EXPECT_TRUE(listener.events.empty());
    EXPECT_TRUE(window.editor.edits.empty());

    k->setEnabled(true);
    EXPECT_EQ(k->getOutlineColour(), kLight);
    window.down(25, 25);
    window.move(25, 5);
    window.up(25, 5);
    EXPECT_NEAR(k->getValue(), 0.4f, 1e-6);
}

TEST_F(KnobTest, PieKnobSweepsFrom129Degrees)
{
    CZKVKnob k(CRect(10, 10, 40, 40), nullptr, 7, kLight, kFaint, kDim, kPanel);
    k.setValue(0.5f);
    RecordedDrawing d;
    k.draw(&d.context);
    const auto pies = d.device.of('p');
    ASSERT_EQ(pies.size(), 1u);
    EXPECT_DOUBLE_EQ(pies[0].start, 129.0);
    EXPECT_DOUBLE_EQ(pies[0].end, 129.0 + 135.0 + 6.0);
    EXPECT_EQ(pies[0].paint.fillColor, kFaint);
    const auto outline = d.device.of('e');
    ASSERT_EQ(outline.size(), 1u);
    EXPECT_EQ(outline[0].paint.frameColor, kLight);
}

TEST_F(KnobTest, TypeNamesAndCopies)
{
    CFxKnob* k = makeKnob(true);
    k->setValueText("12 ms");
    EXPECT_TRUE(k->isTypeOf("CFxKnob"));
    EXPECT_TRUE(k->isTypeOf("CZKmv2VKnob"));
    EXPECT_TRUE(k->isTypeOf("CZKVKnob"));
    EXPECT_TRUE(k->isTypeOf("CKnob"));
    EXPECT_TRUE(k->isTypeOf("CControl"));
    EXPECT_FALSE(k->isTypeOf("CAnimKnob"));
    const int before = large->getNbReference();
    CView* copy = k->newCopy();
    auto* c = dynamic_cast<CFxKnob*>(copy);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(c->getValueText(), "12 ms");
    EXPECT_TRUE(c->isBipolar());
    EXPECT_EQ(large->getNbReference(), before + 1);
    copy->forget();
    EXPECT_EQ(large->getNbReference(), before);
    k->forget();
}

} // namespace
