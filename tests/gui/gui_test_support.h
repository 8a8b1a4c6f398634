// Helpers for the framework tests: PNG bytes made on the fly, a recording listener and editor.
#pragma once

#include "gui/platform/offscreen/OffscreenFrame.h"
#include "gui/vstgui.h"

#include <cairo.h>
#include <functional>
#include <string>
#include <vector>

namespace guitest {

using namespace VSTGUI;

// PNG bytes of a width × height ARGB picture whose pixel colour `paint(x, y)` gives.
inline std::vector<unsigned char> makePNG(int width, int height,
                                          const std::function<CColor(int, int)>& paint)
{
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, width, height);
    cairo_surface_flush(s);
    unsigned char* data = cairo_image_surface_get_data(s);
    const int stride = cairo_image_surface_get_stride(s);
    for (int y = 0; y < height; ++y) {
        auto* row = reinterpret_cast<uint32_t*>(data + y * stride);
        for (int x = 0; x < width; ++x) {
            const CColor c = paint(x, y);
            const uint32_t a = c.alpha;
            // Premultiplied, as the surface stores it.
            const uint32_t r = (c.red * a + 127) / 255;
            const uint32_t g = (c.green * a + 127) / 255;
            const uint32_t b = (c.blue * a + 127) / 255;
            row[x] = (a << 24) | (r << 16) | (g << 8) | b;
        }
    }
    cairo_surface_mark_dirty(s);
    std::vector<unsigned char> bytes;
    cairo_surface_write_to_png_stream(
        s,
        [](void* closure, const unsigned char* chunk, unsigned int length) {
            auto* out = static_cast<std::vector<unsigned char>*>(closure);
            out->insert(out->end(), chunk, chunk + length);
            return CAIRO_STATUS_SUCCESS;
        },
        &bytes);
    cairo_surface_destroy(s);
    return bytes;
}

// A film strip of `count` images of w × h, image k filled with a colour that encodes k.
inline CColor stripColor(int k)
{
    return MakeCColor(static_cast<uint8_t>(10 + 20 * k), static_cast<uint8_t>(200 - 10 * k), 50,
                      255);
}

inline CBitmap* makeStrip(int w, int h, int count)
{
    const auto png = makePNG(w, h * count, [h](int, int y) { return stripColor(y / h); });
    return new CBitmap(png.data(), png.size());
}

struct RecordingListener : CControlListener
{
    struct Event
    {
        char kind; // 'v' value, 'b' begin, 'e' end, 'm' modifier click
        int32_t tag;
        float value;
    };
    std::vector<Event> events;
    int32_t swallowModifierClicks = 0;
    int32_t lastModifierButtons = 0;

    void valueChanged(CControl* c) override { events.push_back({'v', c->getTag(), c->getValue()}); }
    int32_t controlModifierClicked(CControl* c, int32_t buttons) override
    {
        lastModifierButtons = buttons;
        events.push_back({'m', c->getTag(), c->getValue()});
        return swallowModifierClicks;
    }
    void controlBeginEdit(CControl* c) override
    {
        events.push_back({'b', c->getTag(), c->getValue()});
    }
    void controlEndEdit(CControl* c) override
    {
        events.push_back({'e', c->getTag(), c->getValue()});
    }

    std::string kinds() const
    {
        std::string s;
        for (const Event& e : events) {
            s += e.kind;
        }
        return s;
    }
    std::vector<float> values() const
    {
        std::vector<float> v;
        for (const Event& e : events) {
            if (e.kind == 'v') {
                v.push_back(e.value);
            }
        }
        return v;
    }
};

struct RecordingEditor : VSTGUIEditorInterface
{
    int32_t knobMode = kKnobModeLinear;
    std::vector<std::pair<char, int32_t>> edits;
    int32_t getKnobMode() const override { return knobMode; }
    void beginEdit(int32_t index) override { edits.push_back({'b', index}); }
    void endEdit(int32_t index) override { edits.push_back({'e', index}); }
};

inline OffscreenFrame* offscreen(CFrame* frame)
{
    return dynamic_cast<OffscreenFrame*>(frame->getPlatformFrame());
}

} // namespace guitest
