// The editor window beside a running plug-in: one thread opens the window offscreen, idles it,
// clicks in it and closes and reopens it, while another automates parameters and changes
// programs and the chain order, and the audio thread processes blocks with MIDI controllers.
// Under ThreadSanitizer this shows that only atomics cross threads; in any build nothing may
// crash, and once the threads stop one idle makes the window show the plug-in's state exactly.
#include "editor_rig.h"

#include "editor/CZKVMultislider.h"
#include "support/alloc_counter.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <random>
#include <thread>
#include <vector>

using namespace edtest;

namespace {

VstTimeInfo timeInfo{};

VstIntPtr VSTCALLBACK playingHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    if (opcode == audioMasterGetTime) {
        return reinterpret_cast<VstIntPtr>(&timeInfo);
    }
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

struct MidiList
{
    VstInt32 numEvents = 0;
    VstIntPtr reserved = 0;
    VstEvent* events[2] = {};
};

} // namespace

TEST(EditorStress, WindowIdlesWhileAutomationAndAudioRun)
{
    Morvek2 plugin(playingHost);
    Morvek2Editor& editor = *plugin.getGuiEditor();
    plugin.setSampleRate(44100.0f);
    plugin.resume();
    timeInfo.sampleRate = 44100.0;
    timeInfo.tempo = 400.0;
    timeInfo.timeSigNumerator = 4;
    timeInfo.timeSigDenominator = 4;
    timeInfo.flags = kVstTransportPlaying | kVstTempoValid | kVstPpqPosValid | kVstTimeSigValid;

    std::atomic<bool> stop{false};
    std::atomic<bool> outputFinite{true};
    std::atomic<int> opens{0};

    std::thread audio([&] {
        constexpr int kFrames = 256;
        std::vector<float> inL(kFrames), inR(kFrames), outL(kFrames), outR(kFrames);
        float* ins[2] = {inL.data(), inR.data()};
        float* outs[2] = {outL.data(), outR.data()};
        VstMidiEvent cc{};
        cc.type = kVstMidiType;
        cc.byteSize = sizeof cc;
        MidiList list;
        list.numEvents = 1;
        list.events[0] = reinterpret_cast<VstEvent*>(&cc);
        double ppq = 0.0;
        for (unsigned n = 0; !stop.load(std::memory_order_relaxed); ++n) {
            for (int i = 0; i < kFrames; ++i) {
                inL[i] = std::sin(0.01f * static_cast<float>(i + n));
                inR[i] = -inL[i];
            }
            cc.midiData[0] = static_cast<char>(0xB0);
            cc.midiData[1] = static_cast<char>(20 + n % 3);
            cc.midiData[2] = static_cast<char>(n % 128);
            plugin.processEvents(reinterpret_cast<VstEvents*>(&list));
            timeInfo.ppqPos = ppq;
            plugin.processReplacing(ins, outs, kFrames);
            ppq += kFrames * 400.0 / 60.0 / 44100.0;
            for (int i = 0; i < kFrames; ++i) {
                if (!std::isfinite(outL[i]) || !std::isfinite(outR[i])) {
                    outputFinite.store(false);
                }
            }
        }
    });

    std::thread automation([&] {
        std::mt19937 random(7);
        std::uniform_int_distribution<int> index(0, 92);
        std::uniform_real_distribution<float> value(0.0f, 1.0f);
        for (unsigned n = 0; !stop.load(std::memory_order_relaxed); ++n) {
            plugin.setParameter(index(random), value(random));
            if (n % 500 == 0) {
                std::uint16_t order[6] = {0, 1, 2, 3, 4, 5};
                std::shuffle(order, order + 6, random);
                plugin.setChainOrder(order);
            }
            if (n % 3001 == 0) {
                plugin.setProgram(static_cast<VstInt32>(random() % 40)); // a host's other thread
            }
            if (n % 997 == 0) {
                plugin.runLaneCommand(static_cast<int>(random() % 6),
                                      static_cast<seq::LaneCommand>(random() % 4));
            }
        }
    });

    // The window's thread: this one.
    std::mt19937 random(3);
    const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(1500);
    for (int round = 0; std::chrono::steady_clock::now() < end; ++round) {
        ASSERT_TRUE(editor.open(nullptr));
        ++opens;
        auto* screen = dynamic_cast<OffscreenFrame*>(editor.getFrame()->getPlatformFrame());
        for (int i = 0; i < 20; ++i) {
            const CPoint where(static_cast<CCoord>(random() % 647),
                               static_cast<CCoord>(random() % 447));
            int32_t buttons = kLButton;
            if (i % 7 == 0) {
                buttons |= kControl | kShift; // MIDI learn toggles
            }
            screen->mouseDown(where, buttons);
            screen->mouseMoved(CPoint(where.x + 5, where.y - 9), buttons);
            screen->mouseUp(CPoint(where.x + 5, where.y - 9), buttons);
            editor.idle();
        }
        screen->renderAll();
        editor.close();
        editor.idle(); // while closed
    }
    // The window stays open while the other threads stop, so what they changed last reaches it
    // only through the notes its idle picks up.
    ASSERT_TRUE(editor.open(nullptr));
    const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
    while (std::chrono::steady_clock::now() < until) {
        editor.idle();
    }
    stop.store(true);
    audio.join();
    automation.join();
    EXPECT_TRUE(outputFinite.load());
    EXPECT_GT(opens.load(), 1);

    // Quiet now: one idle and the window shows the plug-in's values.
    editor.idle();
    CHighlightFrame& frame = *editor.getHighlightFrame();
    for (int i = 0; i < 93; ++i) {
        if (CControl* c = frame.controlForTag(i)) {
            if (c->isTypeOf("CZKVKnob") && c->getTag() == 19) {
                continue; // the stepped Filter Type knob shows its nearest position
            }
            EXPECT_FLOAT_EQ(c->getValue(), plugin.getParameter(i)) << i;
        }
    }
    const int m = editor.getSelectedModule();
    EXPECT_FLOAT_EQ(editor.sharedControlFor(201)->getValue(),
                    plugin.getParameter(morvek2::param::kLengthParam[m]));
    SeqLane lane{};
    plugin.laneSnapshot(m, lane);
    for (int s = 0; s < 32; ++s) {
        EXPECT_EQ(editor.getStepEditor()->getStepValue(s), lane.steps[s].value) << s;
    }
    editor.close();
}

TEST(EditorStress, ReportsFromAnotherThreadAllocateNothingWhileTheWindowIsOpen)
{
    Morvek2 plugin(playingHost);
    Morvek2Editor& editor = *plugin.getGuiEditor();
    ASSERT_TRUE(editor.open(nullptr));
    editor.idle();
    std::size_t allocations = 1;
    std::thread audio([&] {
        morvek2::test::AllocationScope scope;
        for (int round = 0; round < 3; ++round) {
            for (int i = 0; i < 93; ++i) {
                plugin.setParameter(i, 0.1f * static_cast<float>((i + round) % 10));
            }
            editor.outlineTag(17, round % 2 == 0);
            editor.refreshModule();
            const std::uint16_t order[6] = {5, 4, 3, 2, 1, 0};
            editor.applyModuleOrder(order);
            editor.selectModule(round);
        }
        allocations = scope.count();
    });
    audio.join();
    EXPECT_EQ(allocations, 0u);
    // And the window catches up at its idle.
    editor.idle();
    EXPECT_EQ(editor.getSelectedModule(), 2);
    EXPECT_FLOAT_EQ(editor.getHighlightFrame()->controlForTag(90)->getValue(),
                    plugin.getParameter(90));
    editor.close();
}

// A window attached and detached while another thread automates (the audio thread reports
// parameter changes to whatever window is attached): once detachEditor returns, no report is
// still inside the old window, so the face that made it may destroy it.
TEST(EditorStress, DetachWaitsForReportsStillInTheOldWindow)
{
    struct ProbeEditor : Morvek2Editor
    {
        using Morvek2Editor::Morvek2Editor;
        std::atomic<int> inside{0};
        std::atomic<int>* destroyedInUse = nullptr;
        ~ProbeEditor() override
        {
            if (inside.load() != 0) {
                destroyedInUse->fetch_add(1);
            }
        }
        void setParameter(int32_t index, float value) override
        {
            inside.fetch_add(1);
            // Long enough for a detach to overtake the report if it did not wait for it.
            std::atomic<int> spin{0};
            while (spin.fetch_add(1, std::memory_order_relaxed) < 2000) {
            }
            Morvek2Editor::setParameter(index, value);
            inside.fetch_sub(1);
        }
    };
    Morvek2 plugin(playingHost);
    std::atomic<bool> stop{false};
    std::atomic<int> destroyedInUse{0};
    std::thread automation([&] {
        for (unsigned n = 0; !stop.load(); ++n) {
            plugin.setParameter(static_cast<int>(n % 60), (n % 7) / 7.0f);
        }
    });
    for (int round = 0; round < 300; ++round) {
        auto* probe = new ProbeEditor(plugin.getEditorLink());
        probe->destroyedInUse = &destroyedInUse;
        plugin.attachEditor(probe);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        plugin.detachEditor();
        delete probe;
    }
    stop.store(true);
    automation.join();
    EXPECT_EQ(destroyedInUse.load(), 0);
    plugin.attachEditor(plugin.getGuiEditor());
}
