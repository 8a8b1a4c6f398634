#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <ostream>
#include <vector>

#include "png_image.h"
#include "resources/resources.h"

using morvek2::findResource;
using morvek2::ResourceBlob;
using morvek2::test::PngImage;

namespace {

struct Record
{
    int code, zero, x, y, width, height, xOffset, advance;
};

int read16(const unsigned char* p)
{
    return p[0] | (p[1] << 8);
}

std::vector<Record> records(const ResourceBlob& map)
{
    std::vector<Record> out;
    const int count = read16(map.data + 10);
    for (int i = 0; i < count; ++i) {
        const unsigned char* r = map.data + 20 + 16 * i;
        out.push_back({read16(r), read16(r + 2), read16(r + 4), read16(r + 6), read16(r + 8),
                       read16(r + 10), read16(r + 12), read16(r + 14)});
    }
    return out;
}

const Record* find(const std::vector<Record>& rs, int code)
{
    for (const Record& r : rs)
        if (r.code == code)
            return &r;
    return nullptr;
}

struct FontFacts
{
    int id;
    int glyphHeight;
    std::vector<int> rowTops;
};

void PrintTo(const FontFacts& facts, std::ostream* os)
{
    *os << "font " << facts.id;
}

class GlyphMap : public ::testing::TestWithParam<FontFacts>
{
protected:
    void SetUp() override
    {
        map = findResource(GetParam().id, "DEZADEDU_MAP");
        ASSERT_NE(map.data, nullptr);
        ASSERT_EQ(map.size, 20u + 16u * 95u);
        recs = records(map);
    }
    ResourceBlob map;
    std::vector<Record> recs;
};

TEST_P(GlyphMap, HeaderHoldsMagicVersionCountRangeAndHeight)
{
    EXPECT_EQ(std::memcmp(map.data, "DEZADEDU", 8), 0);
    EXPECT_EQ(read16(map.data + 8), 1);
    EXPECT_EQ(read16(map.data + 10), 95);
    EXPECT_EQ(read16(map.data + 12), 1);
    EXPECT_EQ(read16(map.data + 14), 32);
    EXPECT_EQ(read16(map.data + 16), 163);
    EXPECT_EQ(read16(map.data + 18), GetParam().glyphHeight);
}

TEST_P(GlyphMap, CodesRunFromSpaceToTildeWithoutBackquoteThenPound)
{
    std::vector<int> expected;
    for (int c = 32; c <= 126; ++c)
        if (c != 96)
            expected.push_back(c);
    expected.push_back(163);
    ASSERT_EQ(recs.size(), expected.size());
    for (std::size_t i = 0; i < recs.size(); ++i) {
        EXPECT_EQ(recs[i].code, expected[i]) << "record " << i;
        EXPECT_EQ(recs[i].zero, 0) << "record " << i;
    }
}

TEST_P(GlyphMap, ImagesSitInTheirRowsInsideTheSheetWithoutOverlapping)
{
    const auto& rows = GetParam().rowTops;
    for (const Record& r : recs) {
        SCOPED_TRACE(r.code);
        EXPECT_EQ(r.height, GetParam().glyphHeight);
        EXPECT_NE(std::find(rows.begin(), rows.end(), r.y), rows.end());
        EXPECT_LE(r.x + r.width, 128);
        EXPECT_LE(r.y + r.height, 128);
        if (r.code != ' ') {
            EXPECT_GT(r.width, 0);
            EXPECT_GT(r.advance, 0);
        }
    }
    for (std::size_t i = 0; i < recs.size(); ++i)
        for (std::size_t j = i + 1; j < recs.size(); ++j) {
            const Record& a = recs[i];
            const Record& b = recs[j];
            const bool overlap = a.width > 0 && b.width > 0 && a.x < b.x + b.width &&
                                 b.x < a.x + a.width && a.y < b.y + b.height &&
                                 b.y < a.y + a.height;
            EXPECT_FALSE(overlap) << a.code << " and " << b.code;
        }
}

TEST_P(GlyphMap, SpaceIsPureAdvanceAndOnlyLargeJAndUnderscoreHangLeft)
{
    const Record* space = find(recs, ' ');
    ASSERT_NE(space, nullptr);
    EXPECT_EQ(space->width, 0);
    EXPECT_EQ(space->advance, 3);
    const bool large = GetParam().id == 20000;
    for (const Record& r : recs) {
        const bool hangs = large && (r.code == 'J' || r.code == '_');
        EXPECT_EQ(r.xOffset, hangs ? 1 : 0) << "code " << r.code;
    }
}

TEST_P(GlyphMap, SheetHasWhiteInkInEveryGlyphAndNowhereElse)
{
    const PngImage sheet(findResource(GetParam().id, "PNG"));
    ASSERT_TRUE(sheet.ok());
    std::vector<int> owner(128 * 128, -1);
    for (std::size_t i = 0; i < recs.size(); ++i)
        for (int y = recs[i].y; y < recs[i].y + recs[i].height; ++y)
            for (int x = recs[i].x; x < recs[i].x + recs[i].width; ++x)
                owner[y * 128 + x] = int(i);
    std::vector<int> ink(recs.size(), 0);
    for (int y = 0; y < 128; ++y)
        for (int x = 0; x < 128; ++x) {
            const auto p = sheet.at(x, y);
            if (p.a == 0)
                continue;
            ASSERT_GE(owner[y * 128 + x], 0) << "stray ink at " << x << ", " << y;
            ++ink[owner[y * 128 + x]];
            EXPECT_EQ(p.r, 255);
            EXPECT_EQ(p.g, 255);
            EXPECT_EQ(p.b, 255);
        }
    for (std::size_t i = 0; i < recs.size(); ++i) {
        if (recs[i].code != ' ') {
            EXPECT_GT(ink[i], 0) << "glyph " << recs[i].code << " is blank";
        }
    }
}

INSTANTIATE_TEST_SUITE_P(BothFonts, GlyphMap,
                         ::testing::Values(FontFacts{20000, 15, {1, 17, 33, 49, 65, 81}},
                                           FontFacts{20001, 10, {1, 12, 23, 34}}),
                         [](const auto& info) {
                             return info.param.id == 20000 ? "Large" : "Small";
                         });

TEST(LargeGlyphMap, KeepsTheMetricsTheEditorsLayoutCountsOn)
{
    const ResourceBlob map = findResource(20000, "DEZADEDU_MAP");
    ASSERT_NE(map.data, nullptr);
    const auto recs = records(map);
    const Record* j = find(recs, 'J');
    ASSERT_NE(j, nullptr);
    EXPECT_EQ(j->width, 4);
    EXPECT_EQ(j->xOffset, 1);
    EXPECT_EQ(j->advance - j->xOffset, 2);
    const Record* dollar = find(recs, '$');
    ASSERT_NE(dollar, nullptr);
    EXPECT_EQ(dollar->width, 7);
    EXPECT_EQ(dollar->advance, 6);
    int narrower = 0;
    for (const Record& r : recs)
        if (r.advance + 1 == r.width)
            ++narrower;
    EXPECT_GE(narrower, 2);
}

} // namespace
