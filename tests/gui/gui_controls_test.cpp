// Synthetic mouse sequences on the standard controls inside an offscreen frame, delivered the way
// the window system delivers them (through the platform frame).
#include "gui_test_support.h"

#include <gtest/gtest.h>

using namespace guitest;

namespace {

class ControlsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        frame = new CFrame(CRect(0, 0, 400, 300), nullptr, &editor);
        window = offscreen(frame);
        ASSERT_NE(window, nullptr);
    }
    void TearDown() override { frame->forget(); }

    template <typename T> T* add(T* control)
    {
        frame->addView(control);
        return control;
    }
    void press(CPoint p, int32_t buttons = kLButton) { window->mouseDown(p, buttons); }
    void drag(CPoint p, int32_t buttons = kLButton) { window->mouseMoved(p, buttons); }
    void release(CPoint p, int32_t buttons = kLButton) { window->mouseUp(p, buttons); }

    RecordingEditor editor;
    RecordingListener listener;
    CFrame* frame = nullptr;
    OffscreenFrame* window = nullptr;
};

} // namespace

TEST_F(ControlsTest, LinearKnobCoversTheRangeIn200PixelsAndShiftSlowsIt)
{
    auto* knob = add(new CKnob(CRect(100, 100, 150, 150), &listener, 5, nullptr));
    knob->setValue(0.f);
    press(CPoint(120, 120));
    EXPECT_FLOAT_EQ(knob->getValue(), 0.f) << "a linear press does not jump";
    drag(CPoint(220, 120)); // 100 px right
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-6);
    drag(CPoint(220, 20)); // and 100 px up
    EXPECT_NEAR(knob->getValue(), 1.f, 1e-6);
    drag(CPoint(260, 0)); // beyond the range
    EXPECT_FLOAT_EQ(knob->getValue(), 1.f);
    release(CPoint(260, 0));
    EXPECT_EQ(listener.kinds().front(), 'b');
    EXPECT_EQ(listener.kinds().back(), 'e');
    EXPECT_EQ(editor.edits, (std::vector<std::pair<char, int32_t>>{{'b', 5}, {'e', 5}}));

    knob->setValue(0.f);
    press(CPoint(120, 120), kLButton | kShift);
    drag(CPoint(220, 20), kLButton | kShift); // 200 px of combined movement
    EXPECT_NEAR(knob->getValue(), 200.f / 300.f, 1e-5) << "Shift needs 1.5 times the pixels";
    release(CPoint(220, 20), kLButton | kShift);
}

TEST_F(ControlsTest, ShiftPressedMidDragContinuesWithoutAJump)
{
    auto* knob = add(new CKnob(CRect(100, 100, 150, 150), &listener, 5, nullptr));
    knob->setValue(0.f);
    press(CPoint(120, 120));
    drag(CPoint(160, 120)); // +0.2
    const float before = knob->getValue();
    drag(CPoint(160, 120), kLButton | kShift); // Shift goes down, pointer still
    EXPECT_FLOAT_EQ(knob->getValue(), before);
    drag(CPoint(190, 120), kLButton | kShift); // 30 px fine = 0.1
    EXPECT_NEAR(knob->getValue(), before + 0.1f, 1e-5);
    release(CPoint(190, 120), kLButton | kShift);
}

TEST_F(ControlsTest, ADoubleClickStartsAnOrdinaryDrag)
{
    // The second press of a double click carries the flag, the moves that follow do not; that is
    // no change of modifiers and must not restart the drag.
    auto* knob = add(new CKnob(CRect(100, 100, 150, 150), &listener, 5, nullptr));
    knob->setValue(0.f);
    press(CPoint(120, 120), kLButton | kDoubleClick);
    drag(CPoint(160, 120));
    drag(CPoint(180, 120));
    release(CPoint(180, 120));
    EXPECT_NEAR(knob->getValue(), 0.3f, 1e-6);
}

TEST_F(ControlsTest, AltOrACircularFrameTurnsTheKnobToThePointer)
{
    auto* knob = add(new CKnob(CRect(100, 100, 200, 200), &listener, 5, nullptr));
    knob->setValue(0.f);
    // Straight up from the centre (150, 150) is the middle of the 270-degree sweep.
    press(CPoint(150, 110), kLButton | kAlt);
    EXPECT_NEAR(knob->getValue(), 0.5f, 1e-4);
    drag(CPoint(190, 150), kLButton | kAlt); // 3 o'clock: 225 of 270 degrees
    EXPECT_NEAR(knob->getValue(), 225.f / 270.f, 1e-4);
    drag(CPoint(151, 190), kLButton | kAlt); // just right of 6 o'clock, in the gap near the end
    EXPECT_FLOAT_EQ(knob->getValue(), 1.f);
    drag(CPoint(149, 190), kLButton | kAlt); // just left of it, near the start
    EXPECT_FLOAT_EQ(knob->getValue(), 0.f);
    release(CPoint(149, 190), kLButton | kAlt);

    editor.knobMode = kKnobModeCircular;
    press(CPoint(110, 150)); // 9 o'clock: 45 of 270 degrees, no Alt needed
    EXPECT_NEAR(knob->getValue(), 45.f / 270.f, 1e-4);
    release(CPoint(110, 150));
}

TEST_F(ControlsTest, ControlClickSetsTheDefaultAndEndsTheEdit)
{
    auto* knob = add(new CKnob(CRect(100, 100, 150, 150), &listener, 12, nullptr));
    knob->setDefaultValue(0.3f);
    knob->setValue(0.9f);
    press(CPoint(120, 120), kLButton | kControl);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.3f);
    // The listener was asked about the modified click first, then the edit ran complete.
    EXPECT_EQ(listener.kinds(), "mbve");
    EXPECT_EQ(listener.lastModifierButtons, kLButton | kControl);
    EXPECT_FALSE(knob->isEditing());
    drag(CPoint(200, 120));
    EXPECT_FLOAT_EQ(knob->getValue(), 0.3f) << "no drag after a default click";
    release(CPoint(200, 120));
    EXPECT_EQ(editor.edits.size(), 2u);

    // Control with Shift is not the default click: an ordinary drag with fine resolution.
    listener.events.clear();
    press(CPoint(120, 120), kLButton | kControl | kShift);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.3f);
    release(CPoint(120, 120), kLButton | kControl | kShift);
}

TEST_F(ControlsTest, ListenerCanSwallowModifierAndRightClicks)
{
    auto* knob = add(new CKnob(CRect(100, 100, 150, 150), &listener, 12, nullptr));
    knob->setValue(0.5f);
    listener.swallowModifierClicks = 1;
    press(CPoint(120, 120), kLButton | kControl | kShift);
    drag(CPoint(200, 120), kLButton | kControl | kShift);
    release(CPoint(200, 120), kLButton | kControl | kShift);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.5f);
    EXPECT_EQ(listener.kinds(), "m");
    EXPECT_TRUE(editor.edits.empty());

    press(CPoint(120, 120), kRButton);
    EXPECT_EQ(listener.kinds(), "mm") << "the right button is asked about too";
    listener.events.clear();
    press(CPoint(120, 120), kLButton); // a plain click is never asked about
    release(CPoint(120, 120), kLButton);
    EXPECT_EQ(listener.kinds(), "be");
}

TEST_F(ControlsTest, WheelStepsByTheIncrementAndATenthWithShift)
{
    auto* knob = add(new CKnob(CRect(100, 100, 150, 150), &listener, 3, nullptr));
    knob->setValue(0.5f);
    EXPECT_TRUE(window->mouseWheel(CPoint(120, 120), 1.f, 0));
    EXPECT_NEAR(knob->getValue(), 0.6f, 1e-6);
    EXPECT_EQ(listener.kinds(), "bve");
    window->mouseWheel(CPoint(120, 120), -2.f, kShift);
    EXPECT_NEAR(knob->getValue(), 0.58f, 1e-6);
    window->mouseWheel(CPoint(120, 120), 50.f, 0);
    EXPECT_FLOAT_EQ(knob->getValue(), 1.f);
    listener.events.clear();
    window->mouseWheel(CPoint(120, 120), 1.f, 0); // already at the top: no change, no edit
    EXPECT_EQ(listener.kinds(), "");
    EXPECT_FALSE(window->mouseWheel(CPoint(10, 10), 1.f, 0)) << "no control under the pointer";
}

TEST_F(ControlsTest, SwitchesPickThePositionUnderThePointer)
{
    auto* strip = makeStrip(90, 14, 3);
    auto* h = add(new CHorizontalSwitch(CRect(42, 191, 131, 205), &listener, 210, 3, 14, 3, strip));
    auto* v = add(new CVerticalSwitch(CRect(300, 100, 350, 150), &listener, 46, 3, 50, 3, strip));
    strip->forget();

    press(CPoint(42, 195)); // first third of 89 px
    EXPECT_FLOAT_EQ(h->getValue(), 0.f);
    drag(CPoint(42 + 30, 195)); // 30 / 29.67 -> position 1
    EXPECT_FLOAT_EQ(h->getValue(), 0.5f);
    drag(CPoint(130, 195));
    EXPECT_FLOAT_EQ(h->getValue(), 1.f);
    drag(CPoint(400, 195)); // far right: clamped
    EXPECT_FLOAT_EQ(h->getValue(), 1.f);
    drag(CPoint(0, 195)); // far left: clamped
    EXPECT_FLOAT_EQ(h->getValue(), 0.f);
    release(CPoint(0, 195));
    EXPECT_EQ(listener.values(), (std::vector<float>{0.5f, 1.f, 0.f}))
        << "the listener hears changes only";

    press(CPoint(320, 100 + 17)); // 17 / 16.67 -> position 1
    EXPECT_FLOAT_EQ(v->getValue(), 0.5f);
    drag(CPoint(320, 149));
    EXPECT_FLOAT_EQ(v->getValue(), 1.f);
    release(CPoint(320, 149));
}

TEST_F(ControlsTest, MovieButtonFollowsThePointerWhileHeld)
{
    auto* strip = makeStrip(20, 10, 2);
    auto* b = add(new CMovieButton(CRect(10, 10, 30, 20), &listener, 206, 10, strip));
    strip->forget();
    b->setValue(0.f);
    press(CPoint(15, 15));
    EXPECT_FLOAT_EQ(b->getValue(), 1.f);
    drag(CPoint(100, 100)); // outside: back to what it was
    EXPECT_FLOAT_EQ(b->getValue(), 0.f);
    drag(CPoint(29, 19)); // inside again
    EXPECT_FLOAT_EQ(b->getValue(), 1.f);
    drag(CPoint(28, 18)); // still inside: no new report
    release(CPoint(28, 18));
    EXPECT_EQ(listener.kinds(), "bvvve");
    EXPECT_FLOAT_EQ(b->getValue(), 1.f);

    listener.events.clear();
    press(CPoint(15, 15)); // from on, a press turns it off
    EXPECT_FLOAT_EQ(b->getValue(), 0.f);
    drag(CPoint(300, 15));
    release(CPoint(300, 15)); // released outside: unchanged
    EXPECT_FLOAT_EQ(b->getValue(), 1.f);
    EXPECT_EQ(listener.values(), (std::vector<float>{0.f, 1.f}));
}

TEST_F(ControlsTest, OnOffButtonTogglesOnEachClick)
{
    auto* strip = makeStrip(14, 14, 2);
    auto* b = add(new COnOffButton(CRect(0, 0, 14, 28), &listener, 92, strip));
    strip->forget();
    press(CPoint(5, 5));
    release(CPoint(5, 5));
    EXPECT_FLOAT_EQ(b->getValue(), 1.f);
    press(CPoint(5, 5));
    release(CPoint(5, 5));
    EXPECT_FLOAT_EQ(b->getValue(), 0.f);
    EXPECT_EQ(listener.kinds(), "bvebve");
}

TEST_F(ControlsTest, SplashScreenShowsAModalPictureUntilItIsClicked)
{
    auto* about = makeStrip(400, 300, 1);
    auto* knob = add(new CKnob(CRect(200, 100, 250, 150), &listener, 5, nullptr));
    auto* splash = add(
        new CSplashScreen(CRect(17, 250, 156, 277), &listener, 94, about, CRect(0, 0, 400, 300)));
    about->forget();
    knob->setValue(0.f);

    press(CPoint(20, 260));
    release(CPoint(20, 260));
    EXPECT_FLOAT_EQ(splash->getValue(), 1.f);
    ASSERT_NE(frame->getModalView(), nullptr);
    EXPECT_EQ(frame->getModalView()->getViewSize(), CRect(0, 0, 400, 300));
    EXPECT_EQ(listener.values(), (std::vector<float>{1.f}));

    // While shown, nothing underneath takes clicks or the wheel.
    press(CPoint(220, 120), kRButton);
    window->mouseWheel(CPoint(220, 120), 3.f, 0);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.f);
    EXPECT_EQ(frame->getModalView() != nullptr, true);

    frame->idle(); // the picture is drawn over the window
    EXPECT_EQ(window->getPixel(300, 200), stripColor(0));

    press(CPoint(220, 120)); // a left click on the picture closes it
    release(CPoint(220, 120));
    EXPECT_EQ(frame->getModalView(), nullptr);
    EXPECT_FLOAT_EQ(splash->getValue(), 0.f);
    EXPECT_EQ(listener.values(), (std::vector<float>{1.f, 0.f}));
    frame->idle();
    EXPECT_NE(window->getPixel(300, 200), stripColor(0)) << "the picture is gone";

    // Opened again and the window closed while it shows: no double release.
    press(CPoint(20, 260));
    release(CPoint(20, 260));
    ASSERT_NE(frame->getModalView(), nullptr);
}

TEST_F(ControlsTest, EventsQueuedLikeWindowEventsArriveAtTheNextIdle)
{
    auto* knob = add(new CKnob(CRect(100, 100, 150, 150), &listener, 5, nullptr));
    knob->setValue(0.f);
    window->postEvent(OffscreenFrame::EventType::down, CPoint(120, 120), kLButton);
    window->postEvent(OffscreenFrame::EventType::moved, CPoint(170, 120), kLButton);
    window->postEvent(OffscreenFrame::EventType::up, CPoint(170, 120), kLButton);
    EXPECT_FLOAT_EQ(knob->getValue(), 0.f);
    frame->idle();
    EXPECT_EQ(window->pendingEvents(), 0u);
    EXPECT_NEAR(knob->getValue(), 0.25f, 1e-6);
    EXPECT_FALSE(window->isMouseCaptured()) << "capture ends with the release";
}

TEST_F(ControlsTest, PressedControlKeepsTheMouseAndCaptureUntilRelease)
{
    auto* knob = add(new CKnob(CRect(100, 100, 150, 150), &listener, 5, nullptr));
    auto* other = add(new CKnob(CRect(300, 100, 350, 150), &listener, 6, nullptr));
    knob->setValue(0.f);
    other->setValue(0.f);
    press(CPoint(120, 120));
    EXPECT_TRUE(window->isMouseCaptured());
    drag(CPoint(320, 120)); // over the other knob
    release(CPoint(320, 120));
    EXPECT_FLOAT_EQ(knob->getValue(), 1.f);
    EXPECT_FLOAT_EQ(other->getValue(), 0.f);
    EXPECT_FALSE(window->isMouseCaptured());
}

TEST_F(ControlsTest, ControlRemovedDuringItsDragIsNotUsedAfterwards)
{
    auto* knob = add(new CKnob(CRect(100, 100, 150, 150), &listener, 5, nullptr));
    press(CPoint(120, 120));
    frame->removeView(knob, true);
    EXPECT_EQ(editor.edits, (std::vector<std::pair<char, int32_t>>{{'b', 5}, {'e', 5}}))
        << "the edit ends with the control";
    EXPECT_EQ(listener.kinds(), "be");
    drag(CPoint(200, 120)); // no use after release (checked under the sanitizers)
    release(CPoint(200, 120));
    EXPECT_EQ(frame->getNbViews(), 0);
    EXPECT_EQ(editor.edits.size(), 2u);
}

TEST(GuiControl, BounceValueAndDirtyFollowTheValue)
{
    CControl c(CRect(0, 0, 10, 10));
    c.setValue(1.5f);
    c.bounceValue();
    EXPECT_FLOAT_EQ(c.getValue(), 1.f);
    c.setValue(-3.f);
    c.bounceValue();
    EXPECT_FLOAT_EQ(c.getValue(), 0.f);
    c.setValue(std::numeric_limits<float>::quiet_NaN());
    c.bounceValue();
    EXPECT_FLOAT_EQ(c.getValue(), 0.f);
    c.setDirty(false);
    EXPECT_FALSE(c.isDirty());
    c.setValue(0.25f);
    EXPECT_TRUE(c.isDirty());
    EXPECT_FLOAT_EQ(c.getWheelInc(), 0.1f);
    EXPECT_FLOAT_EQ(c.getMin(), 0.f);
    EXPECT_FLOAT_EQ(c.getMax(), 1.f);
}

TEST(GuiControl, EditsAreNeverEndedWithoutABegin)
{
    RecordingEditor editor;
    RecordingListener listener;
    CFrame* frame = new CFrame(CRect(0, 0, 50, 50), nullptr, &editor);
    auto* c = new CControl(CRect(0, 0, 10, 10), &listener, 9);
    frame->addView(c);
    c->endEdit();
    EXPECT_TRUE(editor.edits.empty());
    c->beginEdit();
    c->beginEdit();
    c->endEdit();
    c->endEdit();
    EXPECT_EQ(editor.edits, (std::vector<std::pair<char, int32_t>>{{'b', 9}, {'e', 9}}));
    // A default click on a control whose edit had not begun is still a complete edit.
    editor.edits.clear();
    EXPECT_TRUE(c->checkDefaultValue(kLButton | kControl));
    EXPECT_FALSE(c->checkDefaultValue(kLButton | kControl | kAlt));
    EXPECT_EQ(editor.edits, (std::vector<std::pair<char, int32_t>>{{'b', 9}, {'e', 9}}));
    frame->forget();
}
