// Measuring and drawing with the two fonts the editor loads from the module's resources.
#include <gtest/gtest.h>

#include "editor/CDezadeduResource.h"
#include "fake_platform.h"
#include "gui/CBitmap.h"

using namespace VSTGUI;
using morvek2::test::RecordingContext;
using morvek2::test::ScopedFakePlatform;

namespace {

class Fonts : public ::testing::Test
{
protected:
    ScopedFakePlatform platform;
    CDezadeduResource* large = new CDezadeduResource(20000);
    CDezadeduResource* small = new CDezadeduResource(20001);
    void TearDown() override
    {
        large->forget();
        small->forget();
    }
    static int span(const DezadeduGlyph& g) { return int(g.advance) - int(g.xOffset); }
};

TEST_F(Fonts, LoadBothSheetsAndEveryGlyph)
{
    EXPECT_EQ(large->getHeight(), 15);
    EXPECT_EQ(small->getHeight(), 10);
    EXPECT_EQ(large->getGlyphCount(), 95);
    EXPECT_EQ(small->getGlyphCount(), 95);
    ASSERT_NE(large->getBitmap(), nullptr);
    EXPECT_TRUE(large->getBitmap()->isLoaded());
    EXPECT_EQ(large->getBitmap()->getWidth(), 128);
    EXPECT_EQ(small->getBitmap()->getHeight(), 128);
    EXPECT_EQ(large->getAlpha(), 255);
    // Each character finds its own record.
    EXPECT_EQ(large->glyphRecord('A').code, 'A');
    EXPECT_EQ(small->glyphRecord('~').code, '~');
    EXPECT_EQ(small->glyphRecord('!').code, '!');
}

TEST_F(Fonts, WidthIsTheSumOfAdvancesLessOffsets)
{
    EXPECT_EQ(small->stringWidth("--"), 2 * small->glyphRecord('-').advance);
    EXPECT_EQ(large->stringWidth("J"), 2);
    EXPECT_EQ(large->stringWidth(""), 0);
    EXPECT_EQ(large->stringWidth(nullptr), 0);
    const char* text = "Delay 1/16T 12.5ms";
    int expected = 0;
    for (const char* c = text; *c; ++c)
        expected += span(large->glyphRecord(*c));
    EXPECT_EQ(large->stringWidth(text), expected);
}

TEST_F(Fonts, LargeJHangsOnePixelLeftOfThePen)
{
    RecordingContext rc;
    large->drawString(&rc.context, CPoint(100, 20), "J");
    ASSERT_EQ(rc.device.copies.size(), 1u);
    const DezadeduGlyph j = large->glyphRecord('J');
    EXPECT_EQ(rc.device.copies[0].dest, CRect(99, 20, 103, 35));
    EXPECT_EQ(rc.device.copies[0].source, CPoint(j.x, j.y));
    EXPECT_EQ(rc.device.copies[0].alpha, 255);
}

TEST_F(Fonts, PenAdvancesByTheFullAdvanceSoJDrawsWiderThanItMeasures)
{
    RecordingContext rc;
    large->drawString(&rc.context, CPoint(10, 0), "AJB");
    ASSERT_EQ(rc.device.copies.size(), 3u);
    const DezadeduGlyph a = large->glyphRecord('A');
    const DezadeduGlyph j = large->glyphRecord('J');
    EXPECT_EQ(rc.device.copies[0].dest.left, 10);
    EXPECT_EQ(rc.device.copies[1].dest.left, 10 + a.advance - 1);
    EXPECT_EQ(rc.device.copies[2].dest.left, 10 + a.advance + j.advance);
    // Measuring is one pixel short of where the pen ends after the J.
    EXPECT_EQ(large->stringWidth("AJB") + 1,
              a.advance + j.advance + large->glyphRecord('B').advance);
}

TEST_F(Fonts, PoundUsesTheLastRecordAndBackquoteFallsBackToTheSpace)
{
    const DezadeduGlyph pound = small->glyphRecord('\xA3');
    EXPECT_EQ(pound.code, 163);
    EXPECT_GT(pound.width, 0);
    RecordingContext rc;
    small->drawString(&rc.context, CPoint(0, 0), "\xA3");
    ASSERT_EQ(rc.device.copies.size(), 1u);
    EXPECT_EQ(rc.device.copies[0].source, CPoint(pound.x, pound.y));

    // The backquote has no record: it measures and moves the pen like a space, draws nothing.
    for (CDezadeduResource* font : {large, small}) {
        const DezadeduGlyph space = font->glyphRecord(' ');
        EXPECT_EQ(font->glyphRecord('`').code, ' ');
        EXPECT_EQ(font->stringWidth("`"), 3);
        EXPECT_EQ(font->stringWidth("a`b"), font->stringWidth("a b"));
        RecordingContext r2;
        font->drawString(&r2.context, CPoint(50, 5), "`x");
        ASSERT_EQ(r2.device.copies.size(), 1u);
        EXPECT_EQ(r2.device.copies[0].dest.left, 50 + space.advance);
    }
    // Bytes above the pound and control characters fall back the same way.
    EXPECT_EQ(large->stringWidth("\xFF\x01\t"), 9);
}

TEST_F(Fonts, AlignmentMovesThePenByTheMeasuredWidth)
{
    // A text of odd width shows that the half width is truncated.
    const char* text = nullptr;
    for (const char* candidate : {"1/16T", "1/16D", "1/64", "1/8T", "Off", "i"}) {
        if (small->stringWidth(candidate) % 2 == 1) {
            text = candidate;
            break;
        }
    }
    ASSERT_NE(text, nullptr);
    const int w = small->stringWidth(text);
    RecordingContext left, centre, right;
    small->drawString(&left.context, CPoint(100, 3), text, kDezadeduLeft);
    small->drawString(&centre.context, CPoint(100, 3), text, kDezadeduCentre);
    small->drawString(&right.context, CPoint(100, 3), text, kDezadeduRight);
    ASSERT_FALSE(left.device.copies.empty());
    EXPECT_EQ(left.device.copies[0].dest.left, 100);
    EXPECT_EQ(centre.device.copies[0].dest.left, 100 - w / 2);
    EXPECT_EQ(right.device.copies[0].dest.left, 100 - w);
    EXPECT_EQ(left.device.copies[0].dest.top, 3);
    EXPECT_EQ(left.device.copies[0].dest.bottom, 13);
}

TEST_F(Fonts, CharIndexAtFindsTheCharacterUnderAnOffset)
{
    const char* text = "ab c";
    const int a = span(small->glyphRecord('a'));
    const int b = span(small->glyphRecord('b'));
    EXPECT_EQ(small->charIndexAt(-5, text), 0);
    EXPECT_EQ(small->charIndexAt(0, text), 0);
    EXPECT_EQ(small->charIndexAt(a - 1, text), 0);
    EXPECT_EQ(small->charIndexAt(a, text), 1);
    EXPECT_EQ(small->charIndexAt(a + b, text), 2);
    EXPECT_EQ(small->charIndexAt(small->stringWidth(text) - 1, text), 3);
    EXPECT_EQ(small->charIndexAt(small->stringWidth(text), text), 4);
    EXPECT_EQ(small->charIndexAt(1000, text), 4);
    EXPECT_EQ(small->charIndexAt(3, ""), 0);
    EXPECT_EQ(small->charIndexAt(3, nullptr), 0);
}

TEST_F(Fonts, EveryGlyphIsDrawnWithTheSheetsAlpha)
{
    large->setAlpha(230);
    EXPECT_EQ(large->getAlpha(), 230);
    RecordingContext rc;
    large->drawString(&rc.context, CPoint(0, 0), "Gain");
    ASSERT_EQ(rc.device.copies.size(), 4u);
    for (const auto& copy : rc.device.copies)
        EXPECT_EQ(copy.alpha, 230);
    // Alpha 0 draws nothing at all.
    large->setAlpha(0);
    RecordingContext none;
    large->drawString(&none.context, CPoint(0, 0), "Gain");
    EXPECT_TRUE(none.device.copies.empty());
}

TEST_F(Fonts, DrawingFollowsTheContextsViewOffset)
{
    RecordingContext rc;
    rc.context.setOffset(CPoint(30, 40));
    small->drawString(&rc.context, CPoint(5, 6), "x");
    ASSERT_EQ(rc.device.copies.size(), 1u);
    EXPECT_EQ(rc.device.copies[0].dest.left, 35);
    EXPECT_EQ(rc.device.copies[0].dest.top, 46);
}

TEST(FontWithoutResources, MissingMapDrawsNothingAndMeasuresZero)
{
    ScopedFakePlatform platform;
    auto* font = new CDezadeduResource(12345);
    EXPECT_EQ(font->getHeight(), 0);
    EXPECT_EQ(font->getGlyphCount(), 0);
    EXPECT_EQ(font->stringWidth("hello"), 0);
    EXPECT_EQ(font->charIndexAt(0, "hello"), 5);
    const DezadeduGlyph g = font->glyphRecord('h');
    EXPECT_EQ(g.width, 0);
    EXPECT_EQ(g.advance, 0);
    RecordingContext rc;
    font->drawString(&rc.context, CPoint(0, 0), "hello", kDezadeduCentre);
    EXPECT_TRUE(rc.device.copies.empty());
    font->forget();
}

} // namespace
