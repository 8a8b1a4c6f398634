// The editor window of a real Morvek2, offscreen: an idle with nothing changed, an idle after one
// parameter changed from another thread's note, a full repaint of the window, and a whole open
// and close. Run them in one go and compare them as ratios.
#include "editor/Morvek2Editor.h"
#include "gui/platform/offscreen/OffscreenFrame.h"
#include "vst2/Morvek2.h"

#include <benchmark/benchmark.h>

using namespace VSTGUI;

namespace {

VstIntPtr VSTCALLBACK quietHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

struct OpenEditor
{
    Morvek2 plugin{quietHost};
    Morvek2Editor& editor = *plugin.getGuiEditor();
    OpenEditor()
    {
        editor.open(nullptr);
        editor.idle();
        editor.idle();
    }
    ~OpenEditor() { editor.close(); }
    OffscreenFrame& screen()
    {
        return *dynamic_cast<OffscreenFrame*>(editor.getFrame()->getPlatformFrame());
    }
};

void BM_EditorIdleNothingChanged(benchmark::State& state)
{
    OpenEditor rig;
    for (auto _ : state) {
        rig.editor.idle();
    }
}
BENCHMARK(BM_EditorIdleNothingChanged)->Unit(benchmark::kMicrosecond);

// The same with the page's knobs hidden: a knob that repainted itself without a change would show
// as the difference between the two.
void BM_EditorIdleNothingChangedKnobsHidden(benchmark::State& state)
{
    OpenEditor rig;
    for (CControl* c : rig.editor.getModuleControls(rig.editor.getSelectedModule())) {
        if (c->isTypeOf("CFxKnob")) {
            c->setVisible(false);
        }
    }
    rig.editor.idle();
    for (auto _ : state) {
        rig.editor.idle();
    }
}
BENCHMARK(BM_EditorIdleNothingChangedKnobsHidden)->Unit(benchmark::kMicrosecond);

void BM_EditorIdleOneParameterChanged(benchmark::State& state)
{
    OpenEditor rig;
    float v = 0.25f;
    for (auto _ : state) {
        v = v == 0.25f ? 0.75f : 0.25f;
        rig.plugin.setParameter(90, v); // the output knob
        rig.editor.idle();
    }
}
BENCHMARK(BM_EditorIdleOneParameterChanged)->Unit(benchmark::kMicrosecond);

void BM_EditorIdleStepMoved(benchmark::State& state)
{
    OpenEditor rig;
    int position = 0;
    for (auto _ : state) {
        rig.plugin.getLane(rig.editor.getSelectedModule()).position =
            static_cast<std::int16_t>(position);
        position = (position + 1) % 16;
        rig.plugin.stepMoved.store(1);
        rig.editor.idle();
    }
}
BENCHMARK(BM_EditorIdleStepMoved)->Unit(benchmark::kMicrosecond);

void BM_EditorFullRedraw(benchmark::State& state)
{
    OpenEditor rig;
    for (auto _ : state) {
        rig.screen().renderAll();
    }
}
BENCHMARK(BM_EditorFullRedraw)->Unit(benchmark::kMillisecond);

void BM_EditorOpenClose(benchmark::State& state)
{
    Morvek2 plugin{quietHost};
    Morvek2Editor& editor = *plugin.getGuiEditor();
    for (auto _ : state) {
        editor.open(nullptr);
        editor.idle();
        editor.close();
    }
}
BENCHMARK(BM_EditorOpenClose)->Unit(benchmark::kMillisecond);

} // namespace
