// A platform stand-in for font tests: bitmaps "decode" to their PNG header's size, and a draw
// device records every bitmap copy instead of rendering it.
#pragma once

#include "gui/CDrawContext.h"
#include "gui/IPlatform.h"

#include <cstring>
#include <memory>
#include <vector>

namespace morvek2::test {

class FakeBitmap : public VSTGUI::IPlatformBitmap
{
public:
    FakeBitmap(VSTGUI::CCoord w, VSTGUI::CCoord h) : width(w), height(h) {}
    VSTGUI::CCoord getWidth() const override { return width; }
    VSTGUI::CCoord getHeight() const override { return height; }

private:
    VSTGUI::CCoord width, height;
};

class FakeFactory : public VSTGUI::IPlatformFactory
{
public:
    std::unique_ptr<VSTGUI::IPlatformFrame> createFrame(VSTGUI::IPlatformFrameOwner&, void*,
                                                        VSTGUI::CCoord, VSTGUI::CCoord) override
    {
        return nullptr;
    }
    std::unique_ptr<VSTGUI::IPlatformBitmap> decodePNG(const void* data, std::size_t size) override
    {
        static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
        const auto* p = static_cast<const unsigned char*>(data);
        if (!p || size < 24 || std::memcmp(p, signature, 8) != 0)
            return nullptr;
        auto be32 = [p](int at) {
            return VSTGUI::CCoord((p[at] << 24) | (p[at + 1] << 16) | (p[at + 2] << 8) | p[at + 3]);
        };
        return std::make_unique<FakeBitmap>(be32(16), be32(20));
    }
};

// Installs the fake factory for the life of the object and puts the previous one back after.
class ScopedFakePlatform
{
public:
    ScopedFakePlatform() : previous(VSTGUI::getPlatformFactory())
    {
        VSTGUI::setPlatformFactory(&factory);
    }
    ~ScopedFakePlatform() { VSTGUI::setPlatformFactory(previous); }

private:
    FakeFactory factory;
    VSTGUI::IPlatformFactory* previous;
};

struct BitmapCopy
{
    VSTGUI::CRect dest;    // window pixels
    VSTGUI::CPoint source; // in the sheet
    uint8_t alpha;
};

class RecordingDevice : public VSTGUI::IDrawDevice
{
public:
    void setClip(const VSTGUI::CRect&) override {}
    void drawLine(const VSTGUI::CPoint&, const VSTGUI::CPoint&, const VSTGUI::DevicePaint&) override
    {
        ++otherCalls;
    }
    void drawRect(const VSTGUI::CRect&, VSTGUI::CDrawStyle, const VSTGUI::DevicePaint&) override
    {
        ++otherCalls;
    }
    void drawEllipse(const VSTGUI::CRect&, VSTGUI::CDrawStyle, const VSTGUI::DevicePaint&) override
    {
        ++otherCalls;
    }
    void drawArc(const VSTGUI::CRect&, double, double, bool, VSTGUI::CDrawStyle,
                 const VSTGUI::DevicePaint&) override
    {
        ++otherCalls;
    }
    void drawBitmap(const VSTGUI::IPlatformBitmap&, const VSTGUI::CRect& dest,
                    const VSTGUI::CPoint& source, uint8_t alpha) override
    {
        copies.push_back({dest, source, alpha});
    }

    std::vector<BitmapCopy> copies;
    int otherCalls = 0;
};

// A recording device with a drawing context over the editor's window.
struct RecordingContext
{
    RecordingDevice device;
    VSTGUI::CDrawContext context{device, VSTGUI::CRect(0, 0, 647, 447)};
};

} // namespace morvek2::test
