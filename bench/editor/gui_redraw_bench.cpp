// The cost of painting a window-sized frame offscreen: a full repaint of a background and 40
// film-strip knobs, a repaint of one changed knob, and an idle where nothing changed. Run the
// cases in one go and compare them as ratios.
#include "gui/platform/offscreen/OffscreenFrame.h"
#include "gui/vstgui.h"

#include <benchmark/benchmark.h>
#include <cairo.h>
#include <vector>

using namespace VSTGUI;

namespace {

std::vector<unsigned char> encode(cairo_surface_t* s)
{
    std::vector<unsigned char> bytes;
    cairo_surface_write_to_png_stream(
        s,
        [](void* closure, const unsigned char* data, unsigned int length) {
            auto* out = static_cast<std::vector<unsigned char>*>(closure);
            out->insert(out->end(), data, data + length);
            return CAIRO_STATUS_SUCCESS;
        },
        &bytes);
    return bytes;
}

// A picture of w × h with a gradient and some translucency, so blending does real work.
CBitmap* makeBitmap(int w, int h, bool translucent)
{
    cairo_surface_t* s = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, w, h);
    cairo_t* cr = cairo_create(s);
    cairo_pattern_t* p = cairo_pattern_create_linear(0, 0, w, h);
    cairo_pattern_add_color_stop_rgba(p, 0, 0.1, 0.2, 0.3, translucent ? 0.4 : 1.0);
    cairo_pattern_add_color_stop_rgba(p, 1, 0.8, 0.6, 0.2, 1.0);
    cairo_set_source(cr, p);
    cairo_paint(cr);
    cairo_pattern_destroy(p);
    cairo_destroy(cr);
    const auto png = encode(s);
    cairo_surface_destroy(s);
    return new CBitmap(png.data(), png.size());
}

struct Window
{
    Window()
    {
        frame = new CFrame(CRect(0, 0, 647, 447), nullptr, nullptr);
        CBitmap* background = makeBitmap(647, 447, false);
        frame->setBackground(background);
        background->forget();
        CBitmap* strip = makeBitmap(49, 49 * 65, true);
        for (int i = 0; i < 40; ++i) {
            const CCoord x = 10 + (i % 10) * 60;
            const CCoord y = 10 + (i / 10) * 100;
            auto* knob = new CAnimKnob(CRect(x, y, x + 49, y + 49), nullptr, i, 65, 49, strip);
            knob->setValue(static_cast<float>(i) / 40.f);
            frame->addView(knob);
            knobs.push_back(knob);
        }
        strip->forget();
        frame->idle();
        window = dynamic_cast<OffscreenFrame*>(frame->getPlatformFrame());
    }
    ~Window() { frame->forget(); }
    CFrame* frame;
    OffscreenFrame* window = nullptr;
    std::vector<CAnimKnob*> knobs;
};

void BM_FullRedraw(benchmark::State& state)
{
    Window w;
    for (auto _ : state) {
        w.frame->invalid();
        w.frame->idle();
    }
    benchmark::DoNotOptimize(w.window->getPaintCount());
}
BENCHMARK(BM_FullRedraw)->Unit(benchmark::kMicrosecond);

void BM_OneKnobChanged(benchmark::State& state)
{
    Window w;
    float v = 0.f;
    for (auto _ : state) {
        v = v > 0.9f ? 0.f : v + 0.05f;
        w.knobs[17]->setValue(v);
        w.frame->idle();
    }
    benchmark::DoNotOptimize(w.window->getPaintCount());
}
BENCHMARK(BM_OneKnobChanged)->Unit(benchmark::kMicrosecond);

void BM_IdleNothingChanged(benchmark::State& state)
{
    Window w;
    for (auto _ : state) {
        w.frame->idle();
    }
    benchmark::DoNotOptimize(w.window->getPaintCount());
}
BENCHMARK(BM_IdleNothingChanged)->Unit(benchmark::kMicrosecond);

} // namespace
