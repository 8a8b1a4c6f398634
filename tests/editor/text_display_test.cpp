// The character display's text bookkeeping and the bitmap-font display's placement.
#include <gtest/gtest.h>

#include "editor/CCharacterDisplay.h"
#include "editor/CDezadeduResource.h"
#include "editor/CZKTextDisplay.h"
#include "fake_platform.h"

using namespace VSTGUI;
using morvek2::test::RecordingContext;
using morvek2::test::ScopedFakePlatform;

namespace {

TEST(CharacterDisplay, SetTextMarksDirtyOnlyOnChangeButAlwaysCounts)
{
    CCharacterDisplay display(CRect(0, 0, 40, 15));
    display.setText("32");
    EXPECT_TRUE(display.isDirty());
    EXPECT_EQ(display.getCount(), 2);
    display.setDirty(false);
    display.setText(std::string("32"));
    EXPECT_FALSE(display.isDirty());
    EXPECT_EQ(display.getCount(), 2);
    display.setText("7");
    EXPECT_TRUE(display.isDirty());
    EXPECT_EQ(display.getCount(), 1);
    EXPECT_EQ(display.getText(), "7");
    display.setText(static_cast<const char*>(nullptr));
    EXPECT_EQ(display.getText(), "");
    EXPECT_EQ(display.getCount(), 0);
}

TEST(CharacterDisplay, OverwriteReplacesFromAPositionAndKeepsTheCount)
{
    CCharacterDisplay display(CRect(0, 0, 40, 15));
    display.setText("abcdef");
    display.setDirty(false);
    display.overwriteText("XY", 2);
    EXPECT_EQ(display.getText(), "abXYef");
    EXPECT_TRUE(display.isDirty());
    display.overwriteText(std::string("1234"), 4);
    EXPECT_EQ(display.getText(), "abXY1234");
    // A position past the end fills the gap with blanks instead of writing out of bounds.
    display.overwriteText("z", 10);
    EXPECT_EQ(display.getText(), "abXY1234  z");
    display.overwriteText("q", -1);
    EXPECT_EQ(display.getText(), "abXY1234  z");
    EXPECT_EQ(display.getCount(), 6);
    display.clearText();
    EXPECT_EQ(display.getText(), "");
}

TEST(CharacterDisplay, AlignmentChangesMarkDirtyAndBadValuesAreIgnored)
{
    CCharacterDisplay display(CRect(0, 0, 40, 15));
    display.setAlignment(0);
    EXPECT_FALSE(display.isDirty());
    display.setAlignment(2);
    EXPECT_TRUE(display.isDirty());
    EXPECT_EQ(display.getAlignment(), 2);
    display.setDirty(false);
    display.setAlignment(7);
    EXPECT_FALSE(display.isDirty());
    EXPECT_EQ(display.getAlignment(), 2);
    EXPECT_EQ(display.getOption(), 1);
    display.setOption(3);
    EXPECT_EQ(display.getOption(), 3);
    EXPECT_TRUE(display.isTypeOf("CCharacterDisplay"));
    EXPECT_TRUE(display.isTypeOf("CView"));
}

class TextDisplay : public ::testing::Test
{
protected:
    void TearDown() override
    {
        large->forget();
        small->forget();
    }
    // Where the first glyph of the display's text lands.
    int firstGlyphLeft(CZKTextDisplay& display)
    {
        RecordingContext rc;
        display.draw(&rc.context);
        EXPECT_FALSE(rc.device.copies.empty());
        return rc.device.copies.empty() ? -1 : rc.device.copies[0].dest.left;
    }
    ScopedFakePlatform platform;
    CDezadeduResource* large = new CDezadeduResource(20000);
    CDezadeduResource* small = new CDezadeduResource(20001);
    const CRect lengthRect{178, 169, 214, 184};
};

TEST_F(TextDisplay, StartsAsAnOpaqueLeftAlignedDashDashAndForcesTheFontOpaque)
{
    large->setAlpha(230);
    {
        CZKTextDisplay display(lengthRect, large);
        EXPECT_EQ(display.getText(), "--");
        EXPECT_EQ(display.getCount(), 2);
        EXPECT_EQ(display.getAlignment(), 0);
        EXPECT_FALSE(display.getTransparency());
        EXPECT_EQ(large->getAlpha(), 255);
        EXPECT_EQ(large->getNbReference(), 2);
        EXPECT_TRUE(display.isTypeOf("CZKTextDisplay"));
        EXPECT_TRUE(display.isTypeOf("CCharacterDisplay"));
    }
    EXPECT_EQ(large->getNbReference(), 1);
}

TEST_F(TextDisplay, PlacesTheTextByItsAlignment)
{
    CZKTextDisplay display(lengthRect, large);
    display.setText("32");
    const int w = large->stringWidth("32");
    EXPECT_EQ(firstGlyphLeft(display), 178);
    display.setAlignment(1);
    EXPECT_EQ(firstGlyphLeft(display), 196 - w / 2);
    display.setAlignment(2);
    EXPECT_EQ(firstGlyphLeft(display), 214 - w);
    RecordingContext rc;
    display.draw(&rc.context);
    EXPECT_FALSE(display.isDirty());
    ASSERT_EQ(rc.device.copies.size(), 2u);
    EXPECT_EQ(rc.device.copies[0].dest.top, 169);
}

TEST_F(TextDisplay, CentresOnTheCountedCharactersButDrawsTheWholeText)
{
    CZKTextDisplay display(lengthRect, small);
    display.setText("10");
    display.overwriteText("100", 0);
    ASSERT_EQ(display.getCount(), 2);
    display.setAlignment(1);
    RecordingContext rc;
    display.draw(&rc.context);
    EXPECT_EQ(rc.device.copies.size(), 3u);
    EXPECT_EQ(rc.device.copies[0].dest.left, 196 - small->stringWidth("10") / 2);
    // A count larger than the text (after clearing) is held to the text's length.
    display.clearText();
    RecordingContext empty;
    display.draw(&empty.context);
    EXPECT_TRUE(empty.device.copies.empty());
}

TEST_F(TextDisplay, TextAlphaSetsTransparencyAndTheFontsAlpha)
{
    CZKTextDisplay display(lengthRect, large);
    display.setTextAlpha(128);
    EXPECT_TRUE(display.getTransparency());
    EXPECT_EQ(large->getAlpha(), 128);
    RecordingContext rc;
    display.draw(&rc.context);
    ASSERT_FALSE(rc.device.copies.empty());
    EXPECT_EQ(rc.device.copies[0].alpha, 128);
    display.setTextAlpha(255);
    EXPECT_FALSE(display.getTransparency());
    EXPECT_EQ(large->getAlpha(), 255);
}

TEST_F(TextDisplay, WithoutAFontItDrawsNothingAndCleansItself)
{
    CZKTextDisplay display(lengthRect, nullptr);
    display.setText("12");
    EXPECT_TRUE(display.isDirty());
    display.setTextAlpha(100);
    RecordingContext rc;
    display.draw(&rc.context);
    EXPECT_TRUE(rc.device.copies.empty());
    EXPECT_FALSE(display.isDirty());
}

TEST_F(TextDisplay, CopiesShareTheFont)
{
    auto* display = new CZKTextDisplay(lengthRect, large);
    CView* copy = display->newCopy();
    EXPECT_EQ(large->getNbReference(), 3);
    display->forget();
    copy->forget();
    EXPECT_EQ(large->getNbReference(), 1);
}

} // namespace
