// The step value editor, the on/off step rows and the reorderable module row, driven by synthetic
// mouse sequences in an offscreen window.
#include "controls_support.h"
#include "fake_platform.h"

#include "editor/CZKButtons.h"
#include "editor/CZKControlGrid.h"
#include "editor/CZKVMultislider.h"
#include "gui/CBitmap.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>

using namespace morvek2::test;

namespace {

const CColor kStepHighlight = MakeCColor(255, 132, 0, 255);
const CColor kRowHighlight = MakeCColor(255, 255, 0, 255);

struct StepTest : ::testing::Test
{
    Window window;
    RecordingZKListener listener;
    CZKVMultislider* makeEditor()
    {
        auto* m = new CZKVMultislider(CRect(43, 59, 398, 160), &listener, 103, kLight, kLight, kDim,
                                      kDim, kStepHighlight);
        window.frame->addViewWithTags(m);
        return m;
    }
    CZKVMultibutton* makeRow()
    {
        auto* m = new CZKVMultibutton(CRect(43, 242, 398, 253), &listener, 167, kLight, kFaint,
                                      kDim, kDim, kRowHighlight);
        window.frame->addViewWithTags(m);
        return m;
    }
};

TEST_F(StepTest, GeometryOfTheStepValueEditor)
{
    CZKVMultislider* m = makeEditor();
    EXPECT_EQ(m->getStepWidth(), 11);
    EXPECT_EQ(m->getHandleHeight(), 10);
    EXPECT_EQ(m->getStyle(), 0x42);
    EXPECT_EQ(m->stepAt(CPoint(43, 100)), 0);
    EXPECT_EQ(m->stepAt(CPoint(53, 100)), 0);
    EXPECT_EQ(m->stepAt(CPoint(54, 100)), 1);
    EXPECT_EQ(m->stepAt(CPoint(394, 100)), 31);
    // The pixels right of the last whole step belong to it.
    EXPECT_EQ(m->stepAt(CPoint(397, 100)), 31);
    EXPECT_EQ(m->stepAt(CPoint(398, 100)), -1);
    EXPECT_EQ(m->stepAt(CPoint(42, 100)), -1);
    EXPECT_EQ(m->stepAt(CPoint(100, 160)), -1);
    EXPECT_EQ(m->stepRect(31), CRect(384, 59, 395, 160));

    EXPECT_FLOAT_EQ(m->valueAt(0, CPoint(50, 65)), 1.f);
    EXPECT_FLOAT_EQ(m->valueAt(0, CPoint(50, 154)), 0.f);
    EXPECT_FLOAT_EQ(m->valueAt(0, CPoint(50, 60)), 1.f);
    EXPECT_FLOAT_EQ(m->valueAt(0, CPoint(50, 159)), 0.f);
    EXPECT_FLOAT_EQ(m->valueAt(0, CPoint(50, 110)), 1.f - 45.f / 89.f);

    m->setStepValue(3, 1.f);
    EXPECT_EQ(m->handleRect(3, m->stepRect(3)), CRect(77, 60, 87, 70));
    m->setStepValue(3, 0.f);
    EXPECT_EQ(m->handleRect(3, m->stepRect(3)), CRect(77, 150, 87, 160));

    std::vector<int32_t> tags;
    m->getTags(tags);
    ASSERT_EQ(tags.size(), 32u);
    EXPECT_EQ(tags.front(), 103);
    EXPECT_EQ(tags.back(), 134);
    EXPECT_EQ(window.frame->controlForTag(103), m);
    EXPECT_EQ(window.frame->controlForTag(134), m);
    EXPECT_EQ(window.frame->controlForTag(135), nullptr);
}

TEST_F(StepTest, ClickHeightMapsToTheStepValue)
{
    CZKVMultislider* m = makeEditor();
    window.down(48, 65);
    window.up(48, 65);
    window.down(60, 154);
    window.up(60, 154);
    window.down(71, 40 + 19); // top row of the control, above 65
    window.up(71, 40 + 19);
    const auto tags = listener.of('t');
    ASSERT_EQ(tags.size(), 2u); // step 1 was already 0
    EXPECT_EQ(tags[0].tag, 103);
    EXPECT_FLOAT_EQ(tags[0].value, 1.f);
    EXPECT_EQ(tags[1].tag, 105);
    EXPECT_FLOAT_EQ(tags[1].value, 1.f);
    EXPECT_FLOAT_EQ(m->getStepValue(0), 1.f);
    EXPECT_FLOAT_EQ(m->getStepValue(2), 1.f);
    EXPECT_TRUE(listener.of('v').empty());
    EXPECT_EQ(listener.of('b').size(), 3u);
    EXPECT_EQ(listener.of('e').size(), 3u);
}

TEST_F(StepTest, DragDrawsEachStepPassedAndSkippedStepsKeepTheirValues)
{
    CZKVMultislider* m = makeEditor();
    window.down(48, 154);
    window.move(59, 110);
    window.move(92, 65);  // skips steps 2 and 3
    window.move(500, 65); // outside: nothing
    window.up(500, 65);
    EXPECT_FLOAT_EQ(m->getStepValue(1), 1.f - 45.f / 89.f);
    EXPECT_FLOAT_EQ(m->getStepValue(2), 0.f);
    EXPECT_FLOAT_EQ(m->getStepValue(3), 0.f);
    EXPECT_FLOAT_EQ(m->getStepValue(4), 1.f);
    const auto tags = listener.of('t');
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_EQ(tags[0].tag, 104);
    EXPECT_EQ(tags[1].tag, 107);
    EXPECT_EQ(listener.kinds().back(), 'e');
}

TEST_F(StepTest, LengthDisablesStepsForDrawingAndEditing)
{
    CZKVMultislider* m = makeEditor();
    m->setLength(8);
    EXPECT_FALSE(m->isStepDisabled(7));
    EXPECT_TRUE(m->isStepDisabled(8));
    EXPECT_TRUE(m->isStepDisabled(31));
    window.down(43 + 11 * 10 + 3, 65);
    window.move(43 + 11 * 20 + 3, 65);
    window.up(43 + 11 * 20 + 3, 65);
    EXPECT_TRUE(listener.of('t').empty());
    EXPECT_FLOAT_EQ(m->getStepValue(10), 0.f);

    RecordedDrawing d;
    m->draw(&d.context);
    // Stems (width 1, vertical at the handle's centre) in the step or disabled colour.
    int litStems = 0, dimStems = 0;
    for (const auto& l : d.device.of('l')) {
        if (l.paint.lineWidth == 1 && l.from.x == l.to.x && (l.from.x - 43) % 11 == 6) {
            const int step = (l.from.x - 43) / 11;
            EXPECT_EQ(l.paint.frameColor, step < 8 ? kLight : kDim) << step;
            (step < 8 ? litStems : dimStems)++;
        }
    }
    EXPECT_EQ(litStems, 8);
    EXPECT_EQ(dimStems, 24);

    m->setLength(40);
    EXPECT_FALSE(m->isStepDisabled(31));
    m->setLength(-3);
    EXPECT_TRUE(m->isStepDisabled(0));
}

TEST_F(StepTest, PlayPositionOutOfRangeKeepsTheHighlight)
{
    CZKVMultislider* m = makeEditor();
    m->setPlayPosition(5);
    EXPECT_TRUE(m->isStepCurrent(5));
    m->setPlayPosition(32);
    m->setPlayPosition(-1);
    EXPECT_TRUE(m->isStepCurrent(5));
    m->setPlayPosition(6);
    EXPECT_FALSE(m->isStepCurrent(5));
    EXPECT_TRUE(m->isStepCurrent(6));

    RecordedDrawing d;
    m->draw(&d.context);
    int highlighted = 0;
    for (const auto& e : d.device.of('e')) {
        if (e.style == kDrawFilled) {
            EXPECT_EQ(e.paint.fillColor, kStepHighlight);
            EXPECT_EQ(e.rect.left, 43 + 6 * 11 + 1);
            ++highlighted;
        }
    }
    EXPECT_EQ(highlighted, 1);
}

TEST_F(StepTest, PerStepAccessIgnoresIndicesOutsideTheSteps)
{
    CZKVMultislider* m = makeEditor();
    m->setStepValue(32, 0.7f);
    m->setStepValue(-1, 0.7f);
    m->setStepDisabled(40, true);
    m->setStepCurrent(-5, true);
    EXPECT_FLOAT_EQ(m->getStepValue(32), 0.f);
    EXPECT_FLOAT_EQ(m->getStepValue(-1), 0.f);
    EXPECT_FALSE(m->isStepDisabled(40));
    EXPECT_FALSE(m->isStepCurrent(-5));
    for (int i = 0; i < 32; ++i) {
        EXPECT_FLOAT_EQ(m->getStepValue(i), 0.f);
    }
    // Values outside 0..1 (or not numbers at all) keep the handle on the control.
    const CRect bottom = m->handleRect(3, m->stepRect(3));
    m->setStepValue(3, std::numeric_limits<float>::quiet_NaN());
    EXPECT_EQ(m->handleRect(3, m->stepRect(3)), bottom);
    m->setStepValue(3, 7.f);
    EXPECT_EQ(m->handleRect(3, m->stepRect(3)).top, 60);
    m->setValue(0.3f);
    for (int i = 0; i < 32; ++i) {
        EXPECT_FLOAT_EQ(m->getStepValue(i), 0.3f);
    }
    EXPECT_TRUE(m->isTypeOf("CZKVMultislider"));
    EXPECT_TRUE(m->isTypeOf("CZKControl"));
    EXPECT_TRUE(m->isTypeOf("CControl"));
    EXPECT_FALSE(m->isTypeOf("CZKVMultibutton"));
}

TEST_F(StepTest, RowClickTogglesAndADragPaintsTheFirstStepsNewState)
{
    CZKVMultibutton* row = makeRow();
    row->setStepOn(2, true);
    row->setStepOn(40, true); // ignored
    window.down(43 + 3, 247);
    window.move(43 + 11 + 3, 247);
    window.move(43 + 22 + 3, 247);
    window.move(43 + 33 + 3, 247);
    window.up(43 + 33 + 3, 247);
    const auto tags = listener.of('t');
    ASSERT_EQ(tags.size(), 3u); // step 2 was on already
    EXPECT_EQ(tags[0].tag, 167);
    EXPECT_EQ(tags[1].tag, 168);
    EXPECT_EQ(tags[2].tag, 170);
    for (const auto& t : tags) {
        EXPECT_FLOAT_EQ(t.value, 1.f);
    }
    for (int i = 0; i < 4; ++i) {
        EXPECT_FLOAT_EQ(row->getStepValue(i), 1.f);
    }

    // Starting on a step that is on turns steps off.
    listener.clear();
    window.down(43 + 11 + 3, 247);
    window.move(43 + 44 + 3, 247); // step 4 is off already
    window.move(43 + 22 + 3, 247);
    window.up(43 + 22 + 3, 247);
    const auto off = listener.of('t');
    ASSERT_EQ(off.size(), 2u);
    EXPECT_EQ(off[0].tag, 168);
    EXPECT_FLOAT_EQ(off[0].value, 0.f);
    EXPECT_EQ(off[1].tag, 169);
    EXPECT_FLOAT_EQ(off[1].value, 0.f);
    EXPECT_TRUE(row->isTypeOf("CZKVMultibutton"));
}

TEST_F(StepTest, RowOnlyPaintsEnabledStepsAndIgnoresPressesOffThem)
{
    CZKVMultibutton* row = makeRow();
    row->setLength(2);
    // A half value counts as off: the click turns it plainly on.
    row->setStepValue(0, 0.5f);
    window.down(43 + 3, 247);
    window.move(43 + 11 + 3, 247);
    window.move(43 + 11 * 5 + 3, 247);
    window.up(43 + 11 * 5 + 3, 247);
    auto tags = listener.of('t');
    ASSERT_EQ(tags.size(), 2u);
    EXPECT_FLOAT_EQ(tags[0].value, 1.f);
    EXPECT_EQ(tags[1].tag, 168);
    EXPECT_FLOAT_EQ(row->getStepValue(5), 0.f);

    // A press on a disabled step paints nothing, not even on the way back to enabled ones.
    listener.clear();
    window.down(43 + 11 * 5 + 3, 247);
    window.move(43 + 3, 247);
    window.up(43 + 3, 247);
    EXPECT_TRUE(listener.of('t').empty());
    // Other buttons do nothing.
    window.down(43 + 3, 247, kRButton);
    window.up(43 + 3, 247, kRButton);
    EXPECT_TRUE(listener.of('t').empty());
    EXPECT_FLOAT_EQ(row->getStepValue(0), 1.f);

    row->setStepOn(1, 0.4f);
    EXPECT_FLOAT_EQ(row->getStepValue(1), 0.f);
    row->setPlayPosition(1);
    RecordedDrawing d;
    row->draw(&d.context);
    bool box = false, highlight = false;
    for (const auto& r : d.device.of('r')) {
        box |= r.rect == CRect(43, 242, 54, 253) && r.paint.fillColor == kFaint;
        highlight |= r.rect == CRect(56, 244, 63, 251) && r.paint.fillColor == kRowHighlight;
    }
    EXPECT_TRUE(box);
    EXPECT_TRUE(highlight);
}

// ------------------------------------------------------------------------------- module row

struct GridTest : ::testing::Test
{
    ScopedFakePlatform platform;
    Window window;
    RecordingZKListener listener;
    CZKControlGrid* grid = nullptr;

    void SetUp() override
    {
        grid = new CZKControlGrid(CRect(30, 316, 407, 361), window.frame, 102,
                                  CRect(45, 326, 410, 351), false, &listener);
        window.frame->addView(grid);
        for (int32_t t = 95; t <= 100; ++t) {
            auto* bitmap = new CBitmap(9906 + t);
            auto* b = new CZKMovieButton(CRect(0, 0, 46, 25), &listener, t, bitmap);
            bitmap->forget();
            b->setValue(0.f);
            grid->addView(b);
        }
    }
    std::vector<int32_t> order() const
    {
        std::vector<int32_t> o;
        grid->getOrder(o);
        return o;
    }
    // Left edge of the button with this tag, in window pixels.
    CCoord xOf(int32_t tag) const
    {
        CView* v = grid->childWithTag(tag);
        return v ? v->getViewSize().left + 30 : -1;
    }
};

TEST_F(GridTest, ButtonsSitSixtyPixelsApart)
{
    for (int i = 0; i < 6; ++i) {
        EXPECT_EQ(xOf(95 + i), 45 + 60 * i);
        EXPECT_EQ(grid->childWithTag(95 + i)->getViewSize().top + 316, 326);
    }
    EXPECT_EQ(order(), (std::vector<int32_t>{95, 96, 97, 98, 99, 100}));
    EXPECT_EQ(grid->childWithTag(101), nullptr);
    EXPECT_EQ(grid->indexOfChild(grid->childWithTag(97)), 2);
    EXPECT_EQ(grid->indexOfChild(grid), -1);
}

TEST_F(GridTest, DraggingPastTheNeighboursCentreSwapsOnceAndReportsOnRelease)
{
    window.down(50, 330);
    EXPECT_FLOAT_EQ(grid->childWithTag(95)->getValue(), 1.f);
    window.move(59, 330);
    EXPECT_TRUE(grid->isDragging());
    EXPECT_FALSE(grid->childWithTag(95)->isVisible());
    window.move(100, 330);
    EXPECT_EQ(order(), (std::vector<int32_t>{95, 96, 97, 98, 99, 100}));
    window.move(110, 330);
    EXPECT_EQ(order(), (std::vector<int32_t>{96, 95, 97, 98, 99, 100}));
    window.move(115, 330);
    window.move(118, 331);
    EXPECT_EQ(order(), (std::vector<int32_t>{96, 95, 97, 98, 99, 100}));
    EXPECT_TRUE(listener.of('t').empty());
    window.up(118, 331);
    const auto tags = listener.of('t');
    ASSERT_EQ(tags.size(), 1u);
    EXPECT_EQ(tags[0].tag, 102);
    EXPECT_FLOAT_EQ(tags[0].value, 1.f);
    EXPECT_EQ(xOf(96), 45);
    EXPECT_EQ(xOf(95), 105);
    EXPECT_TRUE(grid->childWithTag(95)->isVisible());
    EXPECT_FALSE(grid->isDragging());
    // The pressed button still heard its release across the move.
    bool ended = false;
    for (const auto& e : listener.of('e')) {
        ended |= e.tag == 95;
    }
    EXPECT_TRUE(ended);
}

TEST_F(GridTest, TheGhostStaysInsideTheGrid)
{
    window.down(50, 330);
    window.move(40, 330);
    window.move(0, 330);
    EXPECT_EQ(grid->getGhostRect().left, 0);
    window.move(2000, 2000);
    EXPECT_EQ(grid->getGhostRect().right, 377);
    EXPECT_EQ(grid->getGhostRect().bottom, 45);
    window.up(2000, 2000);
}

TEST_F(GridTest, PressWithoutDragIsAClickAndClicksBetweenButtonsSelectNothing)
{
    grid->childWithTag(97)->setValue(1.f);
    window.down(170, 330);
    window.up(170, 330);
    EXPECT_FLOAT_EQ(grid->childWithTag(97)->getValue(), 1.f);
    EXPECT_EQ(listener.values(), std::vector<float>{1.f});
    EXPECT_TRUE(listener.of('t').empty());

    listener.clear();
    window.down(95, 330);
    window.move(200, 330);
    window.move(300, 330);
    window.up(300, 330);
    // A press between two buttons leaves the row as it was.
    for (int32_t t = 95; t <= 100; ++t) {
        EXPECT_FLOAT_EQ(grid->childWithTag(t)->getValue(), t == 97 ? 1.f : 0.f) << t;
    }
    EXPECT_TRUE(listener.events.empty());
    EXPECT_EQ(order(), (std::vector<int32_t>{95, 96, 97, 98, 99, 100}));
}

TEST_F(GridTest, PressesOutsideTheLayoutAreaOrWithOtherButtonsAreNotTaken)
{
    EXPECT_EQ(window.down(50, 320), kMouseEventNotHandled);
    window.move(200, 320);
    window.up(200, 320);
    window.down(50, 330, kRButton);
    window.move(200, 330, kRButton);
    window.up(200, 330, kRButton);
    EXPECT_EQ(order(), (std::vector<int32_t>{95, 96, 97, 98, 99, 100}));
    EXPECT_TRUE(listener.of('t').empty());
    EXPECT_TRUE(listener.of('v').empty());
}

TEST_F(GridTest, SetOrderPlacesTheButtonsAndDropsTheOnesLeftOut)
{
    grid->setOrder({100, 98, 96, 95, 97, 99});
    EXPECT_EQ(order(), (std::vector<int32_t>{100, 98, 96, 95, 97, 99}));
    EXPECT_EQ(xOf(100), 45);
    EXPECT_EQ(xOf(98), 105);
    EXPECT_EQ(xOf(99), 345);

    // Unknown and repeated tags add nothing; a missing tag's button leaves the row.
    grid->setOrder({95, 7, 96, 95, 97, 98, 99});
    EXPECT_EQ(order(), (std::vector<int32_t>{95, 96, 97, 98, 99}));
    EXPECT_EQ(grid->getNbViews(), 5);
    EXPECT_EQ(grid->childWithTag(100), nullptr);
    // Five buttons share the same area: 73 pixels apart.
    EXPECT_EQ(xOf(96), 45 + 73);

    grid->setOrder({});
    EXPECT_EQ(grid->getNbViews(), 0);
    window.down(50, 330);
    window.move(120, 330);
    window.up(120, 330);
    EXPECT_TRUE(listener.of('t').empty());
}

TEST_F(GridTest, OrderReadsTheIdAttributeOfChildrenThatAreNoControls)
{
    auto* plain = new CView(CRect(0, 0, 46, 25));
    const int32_t id = 4242;
    plain->setAttribute(CZKControlGrid::kZKIDAttribute, sizeof(id), &id);
    auto* anonymous = new CView(CRect(0, 0, 46, 25));
    grid->setOrder({95, 96});
    grid->addView(plain);
    grid->addView(anonymous);
    EXPECT_EQ(order(), (std::vector<int32_t>{95, 96, 4242}));
    grid->moveChild(plain, 0);
    EXPECT_EQ(order(), (std::vector<int32_t>{4242, 95, 96}));
    EXPECT_EQ(grid->getView(0)->getViewSize().left + 30, 45);
    grid->moveChild(plain, 0); // already there
    EXPECT_EQ(order(), (std::vector<int32_t>{4242, 95, 96}));
}

} // namespace
