// Glyph maps that are missing, cut short, oversized or nonsensical must leave a font that never
// reads outside the map and draws nothing it cannot find. Every map here lives in a buffer of
// exactly its own size, so an address sanitizer build catches any read past the end.
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "editor/CDezadeduResource.h"
#include "fake_platform.h"
#include "gui/CBitmap.h"
#include "resources/resources.h"

using namespace VSTGUI;
using morvek2::test::RecordingContext;
using morvek2::test::ScopedFakePlatform;

namespace {

struct FontDeleter
{
    void operator()(CDezadeduResource* f) const { f->forget(); }
};
using FontPtr = std::unique_ptr<CDezadeduResource, FontDeleter>;

class HostileMaps : public ::testing::Test
{
protected:
    void SetUp() override
    {
        const morvek2::ResourceBlob map = morvek2::findResource(20001, "DEZADEDU_MAP");
        ASSERT_NE(map.data, nullptr);
        good.assign(map.data, map.data + map.size);
        sheet = new CBitmap(20001);
        ASSERT_TRUE(sheet->isLoaded());
    }
    void TearDown() override { sheet->forget(); }

    // A font over its own exactly-sized copy of `bytes`; the copy lives as long as the test.
    FontPtr fontFrom(const std::vector<unsigned char>& bytes)
    {
        buffers.push_back(std::make_unique<unsigned char[]>(bytes.size() ? bytes.size() : 1));
        std::copy(bytes.begin(), bytes.end(), buffers.back().get());
        return FontPtr(new CDezadeduResource(sheet, bytes.empty() ? nullptr : buffers.back().get(),
                                             bytes.size()));
    }
    static void put16(std::vector<unsigned char>& m, std::size_t at, int v)
    {
        m[at] = static_cast<unsigned char>(v & 0xFF);
        m[at + 1] = static_cast<unsigned char>((v >> 8) & 0xFF);
    }
    static void expectInert(CDezadeduResource& font)
    {
        EXPECT_EQ(font.getGlyphCount(), 0);
        EXPECT_EQ(font.getHeight(), 0);
        EXPECT_EQ(font.stringWidth("Hello, world"), 0);
        RecordingContext rc;
        font.drawString(&rc.context, CPoint(10, 10), "Hello, world", kDezadeduRight);
        EXPECT_TRUE(rc.device.copies.empty());
    }

    ScopedFakePlatform platform;
    std::vector<unsigned char> good;
    CBitmap* sheet = nullptr;
    std::vector<std::unique_ptr<unsigned char[]>> buffers;
};

TEST_F(HostileMaps, AMapCutShortAtAnyByteLoadsNoGlyphs)
{
    for (std::size_t n = 0; n < good.size(); ++n) {
        SCOPED_TRACE(n);
        FontPtr font = fontFrom(std::vector<unsigned char>(good.begin(), good.begin() + n));
        expectInert(*font);
    }
    FontPtr whole = fontFrom(good);
    EXPECT_EQ(whole->getGlyphCount(), 95);
    EXPECT_EQ(whole->getHeight(), 10);
}

TEST_F(HostileMaps, CountsBeyondWhatTheLoaderHandlesLoadNoGlyphs)
{
    for (int count : {128, 200, 0x7FFF, 0xFFFF}) {
        SCOPED_TRACE(count);
        std::vector<unsigned char> map = good;
        put16(map, 10, count);
        expectInert(*fontFrom(map));
        // Even with enough bytes behind the header for every record.
        map.resize(20 + 16 * std::size_t(count), 0);
        expectInert(*fontFrom(map));
    }
}

TEST_F(HostileMaps, TheLargestHandledCountLoadsWhenEveryRecordIsThere)
{
    std::vector<unsigned char> map = good;
    map.resize(20 + 16 * 127, 0);
    put16(map, 10, 127);
    FontPtr font = fontFrom(map);
    EXPECT_EQ(font->getGlyphCount(), 127);
    // The appended all-zero records claim character 0, which text never contains.
    EXPECT_EQ(font->stringWidth("--"), 2 * font->glyphRecord('-').advance);
}

TEST_F(HostileMaps, AMapWithNoRecordsIsAnEmptyFont)
{
    std::vector<unsigned char> map(good.begin(), good.begin() + 20);
    put16(map, 10, 0);
    expectInert(*fontFrom(map));
}

TEST_F(HostileMaps, ALaterRecordForTheSameCharacterWins)
{
    std::vector<unsigned char> map = good;
    // Record 94 (the pound) claims 'A' with a distinct advance.
    const std::size_t last = 20 + 16 * 94;
    put16(map, last, 'A');
    put16(map, last + 14, 9);
    FontPtr font = fontFrom(map);
    EXPECT_EQ(font->glyphRecord('A').advance, 9);
    EXPECT_EQ(font->stringWidth("A"), 9);
    // Only the low byte of a code is looked up: 0x1241 also means 'A'.
    put16(map, last, 0x1241);
    put16(map, last + 14, 11);
    EXPECT_EQ(fontFrom(map)->stringWidth("A"), 11);
}

TEST_F(HostileMaps, RecordsPointingOutsideTheSheetDrawOnlyWhatExists)
{
    std::vector<unsigned char> map = good;
    const std::size_t a = 20 + 16 * ('A' - 32);
    put16(map, a + 4, 120); // x: the image would run 8 pixels past the sheet's right edge
    put16(map, a + 8, 16);
    const std::size_t b = 20 + 16 * ('B' - 32);
    put16(map, b + 4, 0xFFFF); // entirely outside
    put16(map, b + 6, 0xFFFF);
    FontPtr font = fontFrom(map);
    RecordingContext rc;
    font->drawString(&rc.context, CPoint(0, 0), "AB");
    ASSERT_EQ(rc.device.copies.size(), 1u);
    EXPECT_EQ(rc.device.copies[0].source.x, 120);
    EXPECT_EQ(rc.device.copies[0].dest.width(), 8);
}

TEST_F(HostileMaps, OffsetsLargerThanAdvancesMeasureNegativeWithoutWrapping)
{
    std::vector<unsigned char> map = good;
    // Records after the missing backquote sit one place earlier.
    const std::size_t x = 20 + 16 * ('x' - 33);
    put16(map, x + 12, 10); // x offset
    put16(map, x + 14, 2);  // advance
    FontPtr font = fontFrom(map);
    EXPECT_EQ(font->stringWidth("x"), -8);
    EXPECT_EQ(font->stringWidth("xx"), -16);
    RecordingContext rc;
    font->drawString(&rc.context, CPoint(100, 0), "x", kDezadeduRight);
    ASSERT_EQ(rc.device.copies.size(), 1u);
    EXPECT_EQ(rc.device.copies[0].dest.left, 100 + 8 - 10);
}

TEST_F(HostileMaps, ASheetThatDoesNotDecodeDrawsNothingButStillMeasures)
{
    const unsigned char notPng[] = {'n', 'o', 't', ' ', 'a', ' ', 'p', 'n', 'g'};
    auto* broken = new CBitmap(notPng, sizeof notPng);
    EXPECT_FALSE(broken->isLoaded());
    auto* font = new CDezadeduResource(broken, good.data(), good.size());
    broken->forget();
    EXPECT_EQ(font->getGlyphCount(), 95);
    EXPECT_GT(font->stringWidth("abc"), 0);
    RecordingContext rc;
    font->drawString(&rc.context, CPoint(0, 0), "abc");
    EXPECT_TRUE(rc.device.copies.empty());
    font->forget();

    // No sheet at all.
    auto* bare = new CDezadeduResource(nullptr, good.data(), good.size());
    RecordingContext rc2;
    bare->drawString(&rc2.context, CPoint(0, 0), "abc");
    EXPECT_TRUE(rc2.device.copies.empty());
    EXPECT_EQ(bare->getBitmap(), nullptr);
    bare->forget();
}

TEST_F(HostileMaps, TheFontKeepsItsSheetAliveAndLetsGoOfIt)
{
    auto* font = new CDezadeduResource(sheet, good.data(), good.size());
    EXPECT_EQ(sheet->getNbReference(), 2);
    font->forget();
    EXPECT_EQ(sheet->getNbReference(), 1);
}

} // namespace
