#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <set>
#include <string>
#include <vector>

#include "png_image.h"
#include "resources/resources.h"

using morvek2::findResource;
using morvek2::ResourceBlob;
using morvek2::test::PngImage;

namespace {

struct ImageSize
{
    int id;
    std::uint32_t width, height;
};

const ImageSize kImages[] = {
    {10000, 647, 447}, {10001, 46, 50},  {10002, 46, 50},   {10003, 46, 50},
    {10004, 46, 50},   {10005, 46, 50},  {10006, 46, 50},   {10007, 40, 72},
    {10008, 14, 28},   {10009, 50, 150}, {10010, 89, 42},   {10011, 647, 447},
    {10012, 72, 4680}, {10013, 26, 10},  {20000, 128, 128}, {20001, 128, 128},
};

TEST(EmbeddedImages, EveryBitmapIsThereWithTheSizeTheEditorExpects)
{
    for (const ImageSize& image : kImages) {
        SCOPED_TRACE(image.id);
        const ResourceBlob blob = findResource(image.id, "PNG");
        ASSERT_NE(blob.data, nullptr);
        std::uint32_t w = 0, h = 0;
        ASSERT_TRUE(morvek2::test::pngHeaderSize(blob, w, h));
        EXPECT_EQ(w, image.width);
        EXPECT_EQ(h, image.height);
        // The header must agree with what actually decodes.
        const PngImage decoded(blob);
        ASSERT_TRUE(decoded.ok());
        EXPECT_EQ(decoded.width(), int(image.width));
        EXPECT_EQ(decoded.height(), int(image.height));
    }
}

// A picture for a high-density screen stands in for its 1x picture only at exactly the scaled
// size; one missing or off by a pixel would quietly fall back to the smoothed 1x picture.
TEST(EmbeddedImages, EveryBitmapHasItsHighDensityPicturesAtTheScaledSize)
{
    const struct
    {
        const char* type;
        double scale;
    } scales[] = {{"PNG@1.5x", 1.5}, {"PNG@2x", 2.0}};
    for (const auto& scale : scales) {
        for (const ImageSize& image : kImages) {
            SCOPED_TRACE(std::string(scale.type) + " " + std::to_string(image.id));
            const PngImage decoded(findResource(image.id, scale.type));
            ASSERT_TRUE(decoded.ok());
            EXPECT_EQ(decoded.width(), int(std::lround(image.width * scale.scale)));
            EXPECT_EQ(decoded.height(), int(std::lround(image.height * scale.scale)));
        }
    }
}

TEST(EmbeddedImages, LookupNeedsTheExactNumberAndTypeName)
{
    EXPECT_EQ(findResource(10014, "PNG").data, nullptr);
    EXPECT_EQ(findResource(9999, "PNG").size, 0u);
    EXPECT_EQ(findResource(-10000, "PNG").data, nullptr);
    EXPECT_EQ(findResource(10000, "png").data, nullptr);
    EXPECT_EQ(findResource(10000, "PNG ").data, nullptr);
    EXPECT_EQ(findResource(10000, "DEZADEDU_MAP").data, nullptr);
    EXPECT_EQ(findResource(20002, "DEZADEDU_MAP").data, nullptr);
    EXPECT_EQ(findResource(20000, nullptr).data, nullptr);
    EXPECT_EQ(findResource(20000, "").data, nullptr);
    // Both kinds of resource live under the font numbers and are different bytes.
    const ResourceBlob sheet = findResource(20000, "PNG");
    const ResourceBlob map = findResource(20000, "DEZADEDU_MAP");
    ASSERT_NE(sheet.data, nullptr);
    ASSERT_NE(map.data, nullptr);
    EXPECT_NE(sheet.data, map.data);
}

// Frames stack vertically; a control that is on shows a lit frame, so the "on" frame must be the
// brighter one for the order off-above-on to hold.
TEST(EmbeddedImages, TwoFrameButtonsHaveTheOffFrameAboveTheOnFrame)
{
    struct TwoFrames
    {
        int id, width, frameHeight;
    };
    const TwoFrames buttons[] = {{10001, 46, 25}, {10002, 46, 25}, {10003, 46, 25},
                                 {10004, 46, 25}, {10005, 46, 25}, {10006, 46, 25},
                                 {10007, 40, 36}, {10008, 14, 14}};
    for (const TwoFrames& b : buttons) {
        SCOPED_TRACE(b.id);
        const PngImage image(findResource(b.id, "PNG"));
        ASSERT_TRUE(image.ok());
        const double off = image.brightness(0, 0, b.width, b.frameHeight);
        const double on = image.brightness(0, b.frameHeight, b.width, 2 * b.frameHeight);
        EXPECT_GT(on, off + 5.0);
    }
}

TEST(EmbeddedImages, ModuleButtonsAreDistinctPictures)
{
    std::set<std::vector<unsigned char>> seen;
    for (int id = 10001; id <= 10006; ++id) {
        const ResourceBlob blob = findResource(id, "PNG");
        ASSERT_NE(blob.data, nullptr);
        seen.insert(std::vector<unsigned char>(blob.data, blob.data + blob.size));
    }
    EXPECT_EQ(seen.size(), 6u);
}

// Frame k of a switch shows position k selected: its k-th part is the brightest part.
TEST(EmbeddedImages, SwitchFramesLightTheirOwnPosition)
{
    const PngImage mode(findResource(10009, "PNG"));
    ASSERT_TRUE(mode.ok());
    for (int frame = 0; frame < 3; ++frame) {
        for (int other = 0; other < 3; ++other) {
            if (other == frame)
                continue;
            const int top = frame * 50 + 3;
            EXPECT_GT(mode.brightness(2, top + frame * 15, 48, top + frame * 15 + 14),
                      mode.brightness(2, top + other * 15, 48, top + other * 15 + 14) + 5.0)
                << "delay mode frame " << frame << " against row " << other;
        }
    }
    const PngImage direction(findResource(10010, "PNG"));
    ASSERT_TRUE(direction.ok());
    const int edges[] = {0, 30, 60, 89};
    for (int frame = 0; frame < 3; ++frame) {
        for (int other = 0; other < 3; ++other) {
            if (other == frame)
                continue;
            const int y = frame * 14;
            EXPECT_GT(direction.brightness(edges[frame] + 1, y + 1, edges[frame + 1] - 1, y + 13),
                      direction.brightness(edges[other] + 1, y + 1, edges[other + 1] - 1, y + 13) +
                          5.0)
                << "direction frame " << frame << " against part " << other;
        }
    }
}

TEST(EmbeddedImages, OutputKnobFramesLightMoreOfTheRingAsTheValueRises)
{
    const PngImage strip(findResource(10012, "PNG"));
    ASSERT_TRUE(strip.ok());
    double previous = -1.0;
    for (int frame : {0, 16, 32, 48, 64}) {
        const double b = strip.brightness(0, frame * 72, 72, frame * 72 + 72);
        EXPECT_GT(b, previous) << "frame " << frame;
        previous = b;
    }
}

// The VCA page covers the mute caption with 10013 at 560, 233: the patch must be the background
// there, minus the caption.
TEST(EmbeddedImages, MuteCoverBlendsIntoTheBackground)
{
    const PngImage cover(findResource(10013, "PNG"));
    const PngImage background(findResource(10000, "PNG"));
    ASSERT_TRUE(cover.ok());
    ASSERT_TRUE(background.ok());
    int differing = 0;
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 26; ++x) {
            const auto c = cover.at(x, y);
            const auto b = background.at(560 + x, 233 + y);
            EXPECT_EQ(c.a, 255);
            if (c.r != b.r || c.g != b.g || c.b != b.b)
                ++differing;
        }
    // Some pixels belong to the caption, which the cover hides; the rest match exactly.
    EXPECT_GT(differing, 5);
    EXPECT_LT(differing, 26 * 10 / 2);
    // The cover itself carries no caption: it is a single colour.
    const auto first = cover.at(0, 0);
    for (int y = 0; y < 10; ++y)
        for (int x = 0; x < 26; ++x) {
            const auto c = cover.at(x, y);
            EXPECT_EQ(c.r, first.r);
            EXPECT_EQ(c.g, first.g);
            EXPECT_EQ(c.b, first.b);
        }
}

TEST(EmbeddedImages, WindowSizedPicturesAreOpaque)
{
    for (int id : {10000, 10011}) {
        const PngImage image(findResource(id, "PNG"));
        ASSERT_TRUE(image.ok());
        for (int y = 0; y < image.height(); y += 7)
            for (int x = 0; x < image.width(); x += 7)
                ASSERT_EQ(image.at(x, y).a, 255) << id << " at " << x << ", " << y;
    }
}

} // namespace
