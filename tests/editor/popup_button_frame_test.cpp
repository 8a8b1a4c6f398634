// The pop-up menu, the two bitmap buttons and the highlight frame, driven by synthetic mouse
// sequences in an offscreen window.
#include "controls_support.h"
#include "fake_platform.h"

#include "editor/CDezadeduResource.h"
#include "editor/CZKButtons.h"
#include "editor/CZKVPopupMenu.h"
#include "gui/CBitmap.h"

#include <gtest/gtest.h>

using namespace morvek2::test;

namespace {

// --------------------------------------------------------------------------------- pop-up menu

struct PopupTest : ::testing::Test
{
    ScopedFakePlatform platform;
    Window window;
    RecordingZKListener listener;
    CDezadeduResource* font = new CDezadeduResource(20001);
    ~PopupTest() override { font->forget(); }

    CZKVPopupMenu* makePopup(const CRect& r, int32_t tag, int items)
    {
        auto* p = new CZKVPopupMenu(r, &listener, tag, font, kLight, kPanel, kPanel, kFaint, kLight,
                                    kLight);
        for (int i = 0; i < items; ++i) {
            p->addItem(("item " + std::to_string(i)).c_str());
        }
        window.frame->addViewWithTag(p);
        return p;
    }
};

TEST_F(PopupTest, OpensWithTheSelectedItemOverTheControl)
{
    CZKVPopupMenu* p = makePopup(CRect(88, 171, 118, 185), 200, 10);
    p->setValue(0.45f);
    EXPECT_EQ(p->getSelectedIndex(), 4);
    window.down(100, 178);
    EXPECT_TRUE(p->isOpen());
    EXPECT_EQ(p->getViewSize(), CRect(88, 115, 118, 255));
    EXPECT_EQ(p->getMouseableArea(), CRect(88, 115, 118, 255));
    window.up(100, 178);
    EXPECT_FALSE(p->isOpen());
    EXPECT_EQ(p->getViewSize(), CRect(88, 171, 118, 185));
    EXPECT_EQ(p->getMouseableArea(), CRect(88, 171, 118, 185));
}

TEST_F(PopupTest, OpenListIsKeptInsideTheWindow)
{
    CZKVPopupMenu* high = makePopup(CRect(88, 20, 118, 34), 200, 10);
    high->setValue(0.45f);
    high->openList();
    EXPECT_EQ(high->getViewSize(), CRect(88, 0, 118, 140));
    high->closeList();

    CZKVPopupMenu* low = makePopup(CRect(106, 430, 166, 444), 91, 5);
    low->setValue(0.f);
    low->openList();
    EXPECT_EQ(low->getViewSize(), CRect(106, 377, 166, 447));
    low->closeList();
    EXPECT_EQ(low->getViewSize(), CRect(106, 430, 166, 444));
}

TEST_F(PopupTest, LowerHalfOfItemTwoPicksItemThreeAndReportsOnRelease)
{
    CZKVPopupMenu* p = makePopup(CRect(88, 171, 118, 185), 200, 10);
    p->setValue(0.f);
    window.down(100, 178);
    const CCoord top = p->getViewSize().top;
    EXPECT_EQ(top, 171);
    window.move(100, top + 2 * 14 + 10);
    EXPECT_EQ(p->getSelectedIndex(), 3);
    // Nothing is reported while the list is open.
    EXPECT_TRUE(listener.of('v').empty());
    EXPECT_FLOAT_EQ(p->getValue(), 0.f);
    window.up(100, top + 2 * 14 + 10);
    ASSERT_EQ(listener.values().size(), 1u);
    EXPECT_FLOAT_EQ(listener.values()[0], 3.f / 9.f);
    EXPECT_FLOAT_EQ(p->getValue(), 3.f / 9.f);
    EXPECT_EQ(listener.kinds(), "bve");
    const std::vector<std::pair<char, int32_t>> edits = {{'b', 200}, {'e', 200}};
    EXPECT_EQ(window.editor.edits, edits);
    // The value maps back to the same item.
    p->setValue(p->getValue());
    EXPECT_EQ(p->getSelectedIndex(), 3);
}

TEST_F(PopupTest, PressAndReleaseWithoutMovingChangesNothing)
{
    CZKVPopupMenu* p = makePopup(CRect(106, 268, 166, 282), 91, 5);
    p->setValue(0.5f);
    EXPECT_EQ(p->getSelectedIndex(), 2);
    window.down(120, 275);
    window.up(120, 275);
    EXPECT_FLOAT_EQ(p->getValue(), 0.5f);
    EXPECT_EQ(p->getSelectedIndex(), 2);
    EXPECT_TRUE(listener.events.empty());
    EXPECT_FALSE(p->isOpen());
}

TEST_F(PopupTest, MovesOutsideTheListOrWithoutItemsOrOtherButtonsChangeNothing)
{
    CZKVPopupMenu* p = makePopup(CRect(88, 171, 118, 185), 200, 10);
    window.down(100, 178);
    window.move(200, 200); // right of the list
    window.move(100, 178, kRButton);
    window.up(200, 200);
    EXPECT_TRUE(listener.events.empty());
    EXPECT_EQ(window.down(100, 178, kRButton), kMouseEventNotHandled);
    EXPECT_FALSE(p->isOpen());

    CZKVPopupMenu* one = makePopup(CRect(300, 300, 340, 314), 91, 1);
    window.down(310, 305);
    window.move(310, 330);
    window.move(310, 290);
    window.up(310, 290);
    CZKVPopupMenu* none = makePopup(CRect(400, 300, 440, 314), 92, 0);
    window.down(410, 305);
    window.move(410, 330);
    window.up(410, 330);
    EXPECT_TRUE(listener.of('v').empty());
    EXPECT_EQ(one->getSelectedIndex(), 0);
    EXPECT_EQ(none->getSelectedIndex(), 0);
    none->setValue(0.7f);
    EXPECT_EQ(none->getSelectedIndex(), 0);
}

TEST_F(PopupTest, ItemsCanBeReplacedAndCleared)
{
    CZKVPopupMenu* p = makePopup(CRect(88, 171, 118, 185), 200, 3);
    EXPECT_EQ(p->getOpenRect().bottom, 171 + 3 * 14);
    p->setItems({"a", "b", "c", "d", "e"});
    std::vector<std::string> items;
    p->getItems(items);
    EXPECT_EQ(items.size(), 5u);
    EXPECT_EQ(p->getOpenRect().bottom, 171 + 5 * 14);
    p->setValue(1.f);
    EXPECT_EQ(p->getSelectedIndex(), 4);
    p->clearItems();
    EXPECT_EQ(p->getItemCount(), 0);
    EXPECT_EQ(p->getSelectedIndex(), 0);
    EXPECT_EQ(p->getOpenRect(), p->getClosedRect());
}

TEST_F(PopupTest, DrawsTheSelectionBandAndCentredText)
{
    CZKVPopupMenu* p = makePopup(CRect(88, 171, 118, 185), 200, 10);
    p->setValue(0.25f); // item 2
    CPoint at;
    p->itemTextPosition(at, "item 2");
    EXPECT_EQ(at.x, 88 + (30 - font->stringWidth("item 2")) / 2);
    EXPECT_EQ(at.y, 171 + (14 - font->getHeight()) / 2);

    RecordedDrawing closed;
    p->draw(&closed.context);
    ASSERT_FALSE(closed.device.of('r').empty());
    EXPECT_EQ(closed.device.of('r')[0].rect, CRect(88, 171, 118, 185));
    EXPECT_EQ(closed.device.of('r')[0].style, kDrawFilledAndStroked);

    p->openList();
    RecordedDrawing open;
    p->draw(&open.context);
    const auto rects = open.device.of('r');
    ASSERT_EQ(rects.size(), 2u);
    const CCoord top = p->getViewSize().top;
    EXPECT_EQ(rects[1].rect, CRect(89, top + 28 + 1, 117, top + 42 - 1));
    EXPECT_EQ(rects[1].paint.fillColor, kFaint);
    // Every item's text lands in its own band.
    int inBandTen = 0;
    for (const auto& b : open.device.of('b')) {
        inBandTen += b.rect.top >= top + 9 * 14 && b.rect.bottom <= top + 10 * 14;
    }
    EXPECT_GT(inBandTen, 0);
    p->closeList();
}

// ---------------------------------------------------------------------------------- buttons

TEST(MomentaryButton, ReportsOneThenZeroOnceEachWhenDraggedOut)
{
    Window window;
    RecordingZKListener listener;
    auto* b = new CMomentaryButton(CRect(347, 191, 361, 205), &listener, 208, nullptr);
    window.frame->addViewWithTag(b);
    EXPECT_EQ(window.down(354, 198), kMouseEventHandled);
    EXPECT_FLOAT_EQ(b->getValue(), 1.f);
    window.move(400, 198);
    EXPECT_FLOAT_EQ(b->getValue(), 0.f);
    // The right and bottom borders still count as on the button.
    window.move(361, 205);
    EXPECT_FLOAT_EQ(b->getValue(), 1.f);
    window.move(362, 205);
    EXPECT_FLOAT_EQ(b->getValue(), 0.f);
    window.up(400, 198);
    EXPECT_EQ(listener.kinds(), "bvve");
    EXPECT_EQ(listener.values(), (std::vector<float>{1.f, 0.f}));
    EXPECT_FLOAT_EQ(b->getValue(), 0.f);
    EXPECT_TRUE(b->isTypeOf("COnOffButton"));
    EXPECT_FALSE(b->isTypeOf("CMomentaryButton"));

    listener.clear();
    EXPECT_EQ(window.down(354, 198, kRButton), kMouseEventNotHandled);
    window.up(354, 198, kRButton);
    // The framework asks the listener about the right-button click; the button stays quiet.
    EXPECT_EQ(listener.kinds(), "m");
    EXPECT_FLOAT_EQ(b->getValue(), 0.f);
}

TEST(MovieButton, DrawsTheLowerFrameWhenOnAndTogglesOnClicks)
{
    ScopedFakePlatform platform;
    Window window;
    RecordingZKListener listener;
    auto* bitmap = new CBitmap(10001);
    ASSERT_EQ(bitmap->getHeight(), 50);
    auto* b = new CZKMovieButton(CRect(45, 326, 91, 351), &listener, 95, bitmap);
    bitmap->forget();
    window.frame->addViewWithTag(b);
    EXPECT_EQ(b->getHeightOfOneImage(), 25);

    RecordedDrawing off;
    b->draw(&off.context);
    ASSERT_EQ(off.device.of('b').size(), 1u);
    EXPECT_EQ(off.device.of('b')[0].from, CPoint(0, 0));

    window.click(60, 340);
    EXPECT_FLOAT_EQ(b->getValue(), 1.f);
    RecordedDrawing on;
    b->draw(&on.context);
    ASSERT_EQ(on.device.of('b').size(), 1u);
    EXPECT_EQ(on.device.of('b')[0].from, CPoint(0, 25));
    EXPECT_FLOAT_EQ(b->getLastDrawnValue(), 1.f);

    // An out-of-range value draws as the nearer end.
    b->setValue(7.f);
    RecordedDrawing high;
    b->draw(&high.context);
    EXPECT_EQ(high.device.of('b')[0].from, CPoint(0, 25));

    b->setValue(1.f);
    window.click(60, 340);
    EXPECT_FLOAT_EQ(b->getValue(), 0.f);
    EXPECT_EQ(listener.values(), (std::vector<float>{1.f, 0.f}));
    EXPECT_TRUE(b->isTypeOf("CZKMovieButton"));
    EXPECT_TRUE(b->isTypeOf("CMovieButton"));
}

// ---------------------------------------------------------------------------- highlight frame

TEST(HighlightFrame, FindsControlsByTagAndViewsByKey)
{
    Window window;
    auto* first = new CMomentaryButton(CRect(0, 0, 10, 10), nullptr, 5, nullptr);
    auto* second = new CMomentaryButton(CRect(20, 0, 30, 10), nullptr, 5, nullptr);
    auto* keyed = new CView(CRect(40, 0, 50, 10));
    window.frame->addViewWithTag(first);
    EXPECT_EQ(window.frame->controlForTag(5), first);
    window.frame->addViewWithTag(second);
    EXPECT_EQ(window.frame->controlForTag(5), second);
    EXPECT_EQ(window.frame->controlForTag(6), nullptr);
    window.frame->addViewWithKey(keyed, 1234);
    EXPECT_EQ(window.frame->viewForKey(1234), keyed);
    EXPECT_EQ(window.frame->viewForKey(1), nullptr);
    EXPECT_EQ(window.frame->getNbViews(), 3);
    EXPECT_EQ(window.frame->getKnobMode(), kKnobModeLinear);

    // A view that leaves the frame leaves the registries.
    window.frame->removeView(second);
    EXPECT_EQ(window.frame->controlForTag(5), nullptr);
    window.frame->removeView(keyed);
    EXPECT_EQ(window.frame->viewForKey(1234), nullptr);
}

TEST(HighlightFrame, OutlinesTheControlOfATagAndRestoresThePen)
{
    Window window;
    auto* b = new CMomentaryButton(CRect(347, 191, 361, 205), nullptr, 90, nullptr);
    window.frame->addViewWithTag(b);
    b->setDirty(false);
    window.frame->outlineTag(90, true);
    EXPECT_EQ(window.frame->getOutlinedView(), b);
    EXPECT_TRUE(b->isDirty());
    CRect r;
    window.frame->getOutlineRect(r);
    EXPECT_EQ(r, CRect(347, 191, 361, 205));

    window.frame->setOutlineColour(0x80FF0000u);
    EXPECT_EQ(window.frame->getOutlineColour(), MakeCColor(0, 0, 255, 128));
    window.frame->setOutlineColour(255, 0, 0, 255);

    RecordedDrawing d;
    d.context.setFrameColor(kDim);
    d.context.setLineWidth(3);
    window.frame->drawRect(&d.context, CRect(0, 0, 647, 447));
    const auto rects = d.device.of('r');
    ASSERT_FALSE(rects.empty());
    EXPECT_EQ(rects.back().rect, CRect(347, 191, 361, 205));
    EXPECT_EQ(rects.back().style, kDrawStroked);
    EXPECT_EQ(rects.back().paint.frameColor, kRedCColor);
    EXPECT_EQ(rects.back().paint.lineWidth, 1);
    EXPECT_EQ(d.context.getFrameColor(), kDim);
    EXPECT_EQ(d.context.getLineWidth(), 3);

    window.frame->outlineTag(90, false);
    EXPECT_EQ(window.frame->getOutlinedView(), nullptr);
    RecordedDrawing none;
    window.frame->drawRect(&none.context, CRect(0, 0, 647, 447));
    for (const auto& c : none.device.of('r')) {
        EXPECT_NE(c.paint.frameColor, kRedCColor);
    }
    // A tag without a control outlines nothing.
    window.frame->outlineTag(91, true);
    EXPECT_EQ(window.frame->getOutlinedView(), nullptr);
}

} // namespace
