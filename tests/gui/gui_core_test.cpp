// Views, containers and the frame without any control logic: ownership, ordering, hit testing,
// attributes, type names, invalidation and dirty tracking.
#include "gui_test_support.h"

#include <gtest/gtest.h>

using namespace guitest;

namespace {

// Counts its own destruction so ownership mistakes show as a wrong count, not a crash.
struct CountedView : CView
{
    static inline int alive = 0;
    explicit CountedView(const CRect& r) : CView(r) { ++alive; }
    CountedView(const CountedView& o) : CView(o) { ++alive; }
    ~CountedView() override { --alive; }
    int downs = 0;
    CMouseEventResult onMouseDown(CPoint&, const int32_t&) override
    {
        ++downs;
        return kMouseEventHandled;
    }
    MORVEK2_GUI_TYPE(CountedView, CView)
};

} // namespace

TEST(GuiGeometry, BoundUniteAndInsideAreHalfOpen)
{
    CRect r(10, 20, 30, 40);
    EXPECT_TRUE(r.pointInside(CPoint(10, 20)));
    EXPECT_FALSE(r.pointInside(CPoint(30, 20)));
    EXPECT_FALSE(r.pointInside(CPoint(10, 40)));
    CRect a = r;
    a.bound(CRect(100, 100, 200, 200));
    EXPECT_TRUE(a.isEmpty());
    EXPECT_GE(a.width(), 0);
    CRect u;
    u.unite(CRect(0, 0, 5, 5)).unite(CRect()).unite(CRect(10, 10, 12, 12));
    EXPECT_EQ(u, CRect(0, 0, 12, 12));
    EXPECT_FALSE(CRect(0, 0, 10, 10).rectOverlap(CRect(10, 0, 20, 10)));
}

TEST(GuiReferenceCounting, ContainerOwnsAddedViewsAndRemoveCanKeepThem)
{
    CountedView::alive = 0;
    {
        auto* container = new CViewContainer(CRect(0, 0, 100, 100));
        auto* a = new CountedView(CRect(0, 0, 10, 10));
        auto* b = new CountedView(CRect(0, 0, 10, 10));
        auto* c = new CountedView(CRect(0, 0, 10, 10));
        ASSERT_TRUE(container->addView(a));
        ASSERT_TRUE(container->addView(b));
        ASSERT_TRUE(container->addView(c));
        EXPECT_FALSE(container->addView(a)) << "a view has one parent";
        EXPECT_EQ(a->getNbReference(), 1);

        // Removing without release hands the reference back to the caller.
        ASSERT_TRUE(container->removeView(b, false));
        EXPECT_EQ(CountedView::alive, 3);
        EXPECT_EQ(b->getParentView(), nullptr);
        b->forget();
        EXPECT_EQ(CountedView::alive, 2);

        ASSERT_TRUE(container->removeView(c, true));
        EXPECT_EQ(CountedView::alive, 1);
        EXPECT_FALSE(container->removeView(nullptr, true));

        a->remember(); // someone else holds it too
        container->forget();
        EXPECT_EQ(CountedView::alive, 1);
        a->forget();
    }
    EXPECT_EQ(CountedView::alive, 0);
}

TEST(GuiReferenceCounting, ViewsHoldTheirBitmaps)
{
    const auto png = makePNG(4, 4, [](int, int) { return kRedCColor; });
    auto* bitmap = new CBitmap(png.data(), png.size());
    auto* view = new CView(CRect(0, 0, 4, 4));
    view->setBackground(bitmap);
    EXPECT_EQ(bitmap->getNbReference(), 2);
    CView* copy = view->newCopy();
    EXPECT_EQ(bitmap->getNbReference(), 3);
    view->setBackground(nullptr);
    EXPECT_EQ(bitmap->getNbReference(), 2);
    view->forget();
    copy->forget();
    EXPECT_EQ(bitmap->getNbReference(), 1);
    bitmap->forget();
}

TEST(GuiContainer, OrderInsertBeforeAndHitTestingPrefersTheTopmost)
{
    auto* container = new CViewContainer(CRect(0, 0, 100, 100));
    auto* bottom = new CView(CRect(0, 0, 50, 50));
    auto* top = new CView(CRect(25, 25, 75, 75));
    auto* first = new CView(CRect(90, 90, 95, 95));
    container->addView(bottom);
    container->addView(top);
    container->addView(first, bottom);
    ASSERT_EQ(container->getNbViews(), 3);
    EXPECT_EQ(container->getView(0), first);
    EXPECT_EQ(container->getView(1), bottom);
    EXPECT_EQ(container->getView(2), top);
    EXPECT_EQ(container->getView(3), nullptr);
    EXPECT_EQ(container->getView(-1), nullptr);

    EXPECT_EQ(container->getViewAt(CPoint(30, 30)), top);
    EXPECT_EQ(container->getViewAt(CPoint(10, 10)), bottom);
    top->setVisible(false);
    EXPECT_EQ(container->getViewAt(CPoint(30, 30)), bottom) << "hidden views are not hit";
    EXPECT_EQ(container->getViewAt(CPoint(99, 99)), nullptr);
    container->forget();
}

TEST(GuiContainer, ChildCoordinatesAreRelativeToTheContainer)
{
    CFrame* frame = new CFrame(CRect(0, 0, 200, 200), nullptr, nullptr);
    auto* inner = new CViewContainer(CRect(50, 60, 150, 160));
    auto* leaf = new CountedView(CRect(10, 10, 20, 20)); // window 60..70, 70..80
    inner->addView(leaf);
    frame->addView(inner);

    CPoint p(0, 0);
    leaf->localToFrame(p);
    EXPECT_EQ(p, CPoint(50, 60));
    EXPECT_EQ(frame->getViewAt(CPoint(65, 75), true), leaf);
    EXPECT_EQ(leaf->getFrame(), frame);

    CPoint miss(15, 15); // leaf's own numbers, but in window pixels: outside it
    frame->onMouseDown(miss, kLButton);
    EXPECT_EQ(leaf->downs, 0);
    CPoint hit(65, 75);
    frame->onMouseDown(hit, kLButton);
    EXPECT_EQ(leaf->downs, 1);
    frame->forget();
}

TEST(GuiView, AttributesStoreReplaceAndRefuseSmallBuffers)
{
    CView view(CRect(0, 0, 1, 1));
    const CViewAttributeID id = 0x616e6e6f; // 'anno'
    const int32_t value = 0x12345678;
    EXPECT_TRUE(view.setAttribute(id, sizeof(value), &value));
    int32_t size = 0;
    ASSERT_TRUE(view.getAttributeSize(id, size));
    EXPECT_EQ(size, 4);
    int16_t tooSmall = 0;
    int32_t outSize = -1;
    EXPECT_FALSE(view.getAttribute(id, sizeof(tooSmall), &tooSmall, outSize));
    const char text[] = "replaced";
    EXPECT_TRUE(view.setAttribute(id, sizeof(text), text));
    char back[16] = {};
    ASSERT_TRUE(view.getAttribute(id, sizeof(back), back, outSize));
    EXPECT_EQ(outSize, static_cast<int32_t>(sizeof(text)));
    EXPECT_STREQ(back, "replaced");
    EXPECT_FALSE(view.setAttribute(id, 4, nullptr));
    EXPECT_TRUE(view.removeAttribute(id));
    EXPECT_FALSE(view.getAttributeSize(id, size));
    EXPECT_FALSE(view.removeAttribute(id));
}

TEST(GuiView, TypeNamesFollowTheClassTreeAndCopiesAreDetached)
{
    auto* strip = makeStrip(8, 8, 4);
    CAnimKnob knob(CRect(0, 0, 8, 8), nullptr, 7, 4, 8, strip);
    EXPECT_TRUE(knob.isTypeOf("CAnimKnob"));
    EXPECT_TRUE(knob.isTypeOf("CKnob"));
    EXPECT_TRUE(knob.isTypeOf("CControl"));
    EXPECT_TRUE(knob.isTypeOf("CView"));
    EXPECT_FALSE(knob.isTypeOf("CMovieButton"));
    EXPECT_FALSE(knob.isTypeOf(nullptr));
    CHorizontalSwitch sw(CRect(0, 0, 30, 8), nullptr, 3, 3, 8, 3, strip);
    EXPECT_TRUE(sw.isTypeOf("CHorizontalSwitch"));
    EXPECT_FALSE(sw.isTypeOf("CVerticalSwitch"));

    knob.setValue(0.25f);
    knob.setDefaultValue(0.75f);
    CView* copy = knob.newCopy();
    ASSERT_NE(copy, nullptr);
    auto* knobCopy = dynamic_cast<CAnimKnob*>(copy);
    ASSERT_NE(knobCopy, nullptr);
    EXPECT_EQ(knobCopy->getTag(), 7);
    EXPECT_FLOAT_EQ(knobCopy->getValue(), 0.25f);
    EXPECT_FLOAT_EQ(knobCopy->getDefaultValue(), 0.75f);
    EXPECT_EQ(knobCopy->getNumSubPixmaps(), 4);
    EXPECT_EQ(copy->getParentView(), nullptr);
    EXPECT_EQ(copy->getNbReference(), 1);
    copy->forget();
    strip->forget();
}

TEST(GuiFrame, IdleRepaintsOnlyWhenSomethingIsDirty)
{
    CFrame* frame = new CFrame(CRect(0, 0, 40, 40), nullptr, nullptr);
    OffscreenFrame* off = offscreen(frame);
    ASSERT_NE(off, nullptr);
    auto* control = new CControl(CRect(0, 0, 10, 10));
    frame->addView(control);
    frame->idle();
    const int afterFirst = off->getPaintCount();
    EXPECT_GE(afterFirst, 1);
    frame->idle();
    EXPECT_EQ(off->getPaintCount(), afterFirst) << "nothing changed, nothing painted";
    control->setValue(0.5f); // as the plug-in does from any thread: only the value
    EXPECT_TRUE(control->isDirty());
    frame->idle();
    EXPECT_EQ(off->getPaintCount(), afterFirst + 1);
    EXPECT_FALSE(control->isDirty());
    control->setVisible(false);
    frame->idle();
    EXPECT_EQ(off->getPaintCount(), afterFirst + 2) << "hiding repaints the uncovered area";
    frame->forget();
}

TEST(GuiFrame, HostileRectanglesAndZeroSizesDoNotCrash)
{
    CFrame* frame = new CFrame(CRect(0, 0, 0, 0), nullptr, nullptr);
    frame->addView(new CView(CRect(-100000, -100000, 100000, 100000)));
    frame->invalidRect(CRect(5, 5, -5, -5));
    frame->idle();
    frame->forget();

    frame = new CFrame(CRect(0, 0, 64, 64), nullptr, nullptr);
    auto* nested = new CViewContainer(CRect(-1000, -1000, 2000000, 2000000));
    frame->addView(nested);
    CViewContainer* deepest = nested;
    for (int i = 0; i < 200; ++i) {
        auto* next = new CViewContainer(CRect(1, 1, 100, 100));
        deepest->addView(next);
        deepest = next;
    }
    deepest->addView(new CControl(CRect(0, 0, 0, 0)));
    deepest->addView(new CControl(CRect(3, 3, 1, 1)));
    deepest->invalidRect(CRect(-50, -50, 5000, 5000));
    deepest->getView(0)->invalid();
    frame->idle();
    CPoint p(10, 10);
    frame->onMouseDown(p, kLButton);
    frame->onMouseMoved(p, kLButton);
    frame->onMouseUp(p, kLButton);
    EXPECT_TRUE(frame->onWheel(p, 1.f, 0) == false);
    frame->forget();
}
