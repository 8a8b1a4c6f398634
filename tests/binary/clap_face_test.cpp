// The CLAP plug-in as a CLAP host meets it, beside the VST 2.4 module: the same parameter texts,
// value events that land on their frames, state that only takes what is a program, and the
// editor embedded through the gui extension.
#if MORVEK2_HOST_CLAP && defined(MORVEK2_CLAP_PLUGIN)

#include "host/clap_plugin.h"
#include "host/morvek2_scenes.h"
#include "host/plugin.h"
#include "host/render.h"
#include "params/Morvek2Params.h"
#include "support/alloc_counter.h"

#include <gtest/gtest.h>

#if MORVEK2_TEST_X11
#include "support/x11_window.h"
#include "support/xvfb_server.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <chrono>
#include <clap/ext/params.h>
#include <cstdlib>
#include <thread>
#endif

#include <bit>
#include <cmath>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using morvek2::host::ClapPlugin;
using morvek2::host::Instance;

std::unique_ptr<ClapPlugin> loadClap()
{
    std::string error;
    std::unique_ptr<ClapPlugin> clap = ClapPlugin::load(MORVEK2_CLAP_PLUGIN, error);
    EXPECT_NE(clap, nullptr) << error;
    return clap;
}

std::unique_ptr<Instance> loadVst2()
{
    std::string error;
    std::unique_ptr<Instance> vst2 = morvek2::host::loadInstance(MORVEK2_MODULE_PATH, error);
    EXPECT_NE(vst2, nullptr) << error;
    return vst2;
}

// What a host shows beside VST2's display: the unit after the number, none after a list entry.
std::string vst2Text(Instance& vst2, int32_t index, bool stepped)
{
    const std::string label = vst2.parameterLabel(index);
    const std::string display = vst2.parameterDisplay(index);
    return stepped || label.empty() ? display : display + " " + label;
}

TEST(ClapFace, ParametersShowTheVst2TextsAndReadThemBack)
{
    auto clap = loadClap();
    auto vst2 = loadVst2();
    ASSERT_TRUE(clap && vst2);
    EXPECT_EQ(clap->uri(), "com.zendrik.morvek2");
    EXPECT_EQ(clap->numInputs(), 2);
    EXPECT_EQ(clap->numOutputs(), 2);
    ASSERT_EQ(clap->numParams(), morvek2::param::kNumParams);
    for (int32_t i = 0; i < clap->numParams(); ++i) {
        EXPECT_EQ(clap->parameterName(i), vst2->parameterName(i)) << "parameter " << i;
    }
    // Rounds of values (the ends, then a spread that differs from parameter to parameter, so
    // texts that depend on another parameter's value meet it in several states), handed over as
    // state so that both hold the same stored bits; then each text compared and read back.
    for (int round = 0; round < 6; ++round) {
        auto valueOf = [round](int32_t i) {
            return round < 2 ? static_cast<float>(round)
                             : static_cast<float>(std::fmod(0.618034 * i + 0.29 * round, 1.0));
        };
        for (int32_t i = 0; i < vst2->numParams(); ++i) {
            if (i != morvek2::param::kActive) {
                vst2->setParameter(i, valueOf(i));
            }
        }
        ASSERT_EQ(clap->setChunk(true, vst2->getChunk(true)), 1);
        for (int32_t i = 0; i < clap->numParams(); ++i) {
            SCOPED_TRACE("parameter " + std::to_string(i) + " in round " + std::to_string(round));
            const std::string text = clap->valueText(i, clap->plainValue(i));
            EXPECT_EQ(text, vst2Text(*vst2, i, clap->stepped(i)));
            double back = -1.0;
            ASSERT_TRUE(clap->textValue(i, text, back)) << text;
            EXPECT_EQ(clap->valueText(i, back), text);
        }
    }
}

// A value event inside a block sounds from its frame on, as a VST2 host's change between two
// blocks split there.
TEST(ClapFace, ValueEventsApplyAtTheirFrames)
{
    auto clap = loadClap();
    auto unchanged = loadClap();
    auto vst2 = loadVst2();
    ASSERT_TRUE(clap && unchanged && vst2);
    constexpr int32_t kBlock = 512;
    constexpr int32_t kBlocks = 4;
    constexpr int32_t kAt = 200;
    for (Instance* instance : {static_cast<Instance*>(clap.get()),
                               static_cast<Instance*>(unchanged.get()), vst2.get()}) {
        instance->start(44100.0f, kBlock);
    }
    constexpr int32_t kFrames = kBlock * kBlocks;
    std::vector<float> in(kFrames);
    for (int32_t i = 0; i < kFrames; ++i) {
        in[i] = 0.5f * static_cast<float>(std::sin(0.05 * i));
    }
    morvek2::host::AudioChannels out(6, std::vector<float>(kFrames));
    auto run = [&](Instance& instance, int channel, int32_t from, int32_t frames) {
        float* ins[2] = {in.data() + from, in.data() + from};
        float* outs[2] = {out[channel].data() + from, out[channel + 1].data() + from};
        instance.process(ins, outs, frames);
    };
    const float depth = 0.05f;
    clap->setPlainValueAt(morvek2::param::kVcaDepth, depth, kAt);
    run(*vst2, 4, 0, kAt);
    vst2->setParameter(morvek2::param::kVcaDepth, depth);
    run(*vst2, 4, kAt, kBlock - kAt);
    for (int32_t b = 0; b < kBlocks; ++b) {
        run(*clap, 0, b * kBlock, kBlock);
        run(*unchanged, 2, b * kBlock, kBlock);
        if (b > 0) {
            run(*vst2, 4, b * kBlock, kBlock);
        }
    }
    int32_t firstChange = -1;
    for (int32_t i = 0; i < kFrames; ++i) {
        for (int c = 0; c < 2; ++c) {
            ASSERT_EQ(std::bit_cast<uint32_t>(out[c][i]), std::bit_cast<uint32_t>(out[4 + c][i]))
                << "channel " << c << ", frame " << i;
        }
        if (firstChange < 0 && out[0][i] != out[2][i]) {
            firstChange = i;
        }
    }
    // Without the event it sounds otherwise from the event's frame on, never before.
    EXPECT_GE(firstChange, kAt);
}

// Streams that are not one program leave everything as it was; a program comes back as the
// same bytes.
TEST(ClapFace, StateTakesOnlyAProgram)
{
    auto clap = loadClap();
    ASSERT_TRUE(clap);
    clap->start(44100.0f, 256);
    clap->setParameter(morvek2::param::kFilterFreq, 0.3f);
    const std::vector<uint8_t> saved = clap->getChunk(true);
    ASSERT_FALSE(saved.empty());

    std::vector<uint8_t> longer = saved;
    longer.push_back(0);
    std::vector<uint8_t> doubled = saved;
    doubled.insert(doubled.end(), saved.begin(), saved.end());
    const std::vector<uint8_t> hostile[] = {
        {}, {1}, std::vector<uint8_t>(saved.begin(), saved.end() - 1), longer, doubled};
    for (const std::vector<uint8_t>& bytes : hostile) {
        EXPECT_EQ(clap->setChunk(true, bytes), 0) << bytes.size() << " bytes";
        EXPECT_EQ(clap->getChunk(true), saved) << bytes.size() << " bytes";
    }

    auto other = loadClap();
    ASSERT_TRUE(other);
    ASSERT_EQ(other->setChunk(true, saved), 1);
    EXPECT_EQ(other->getChunk(true), saved);
}

// After a reset the plug-in sounds as a new instance with the same state would, to the bit:
// tails, glides, the clock and the lane positions all start over, at the default rate and others
// alike; and the reset allocates nothing.
TEST(ClapFace, ResetSoundsLikeANewInstance)
{
    struct Row
    {
        int program; // -1: the program an instance starts with; -2: every module at work
        float rate;
        double from; // where the transport starts, in quarter notes
    };
    for (const Row row : {Row{-1, 44100.0f, 0.0}, Row{8, 48000.0f, 0.0}, Row{26, 44100.0f, 1.3},
                          Row{38, 96000.0f, 0.0}, Row{-2, 44100.0f, 0.7}}) {
        SCOPED_TRACE("program " + std::to_string(row.program) + " at " + std::to_string(row.rate) +
                     " from " + std::to_string(row.from));
        auto used = loadClap();
        auto fresh = loadClap();
        ASSERT_TRUE(used && fresh);
        const auto frames = static_cast<std::size_t>(row.rate);
        morvek2::host::AudioChannels input(2, std::vector<float>(frames));
        for (std::size_t i = 0; i < frames; ++i) {
            input[0][i] = 0.5f * static_cast<float>(std::sin(0.031 * static_cast<double>(i)));
            input[1][i] = (i / 97) % 2 ? 0.3f : -0.3f;
        }
        auto play = [&](Instance& instance) {
            morvek2::host::Transport& t = instance.transport();
            t.setTempo(130.0);
            t.setTimeSignature(4, 4);
            t.locate(row.from);
            t.setPlaying(true);
            return morvek2::host::render(instance, input, {.blockSizes = {256}});
        };
        used->start(row.rate, 256);
        fresh->start(row.rate, 256);
        if (row.program >= 0) {
            used->setProgram(row.program);
        } else if (row.program == -2) {
            ASSERT_TRUE(morvek2::host::applyScene(*used, morvek2::host::Scene::Busy));
        }
        std::size_t allocations = 1;
        morvek2::host::AudioChannels after;
        morvek2::host::AudioChannels expected;
        // Each render on a new thread: the lanes' random numbers start afresh on each.
        std::thread([&] { play(*used); }).join();
        std::thread([&] {
            morvek2::test::AllocationScope scope;
            used->reset();
            allocations = scope.count();
            after = play(*used);
        }).join();
        ASSERT_EQ(fresh->setChunk(true, used->getChunk(true)), 1);
        std::thread([&] { expected = play(*fresh); }).join();
        if (morvek2::test::countsMalloc()) {
            EXPECT_EQ(allocations, 0u);
        }
        ASSERT_EQ(after.size(), 2u);
        ASSERT_EQ(expected.size(), 2u);
        double energy = 0.0;
        for (std::size_t c = 0; c < 2; ++c) {
            for (std::size_t i = 0; i < frames; ++i) {
                energy += static_cast<double>(expected[c][i]) * expected[c][i];
                ASSERT_EQ(std::bit_cast<uint32_t>(after[c][i]),
                          std::bit_cast<uint32_t>(expected[c][i]))
                    << "channel " << c << ", frame " << i;
            }
        }
        EXPECT_GT(energy, 1.0) << "silence on both sides would show nothing";
    }
}

// The face's own part of the audio path (events split the block, the transport moves on inside
// it, the Solo cascade goes back out as events) allocates nothing.
TEST(ClapFace, ProcessingAllocatesNothing)
{
    if (!morvek2::test::countsMalloc()) {
        GTEST_SKIP() << "the plug-in's allocations cannot be counted in this build";
    }
    auto clap = loadClap();
    ASSERT_TRUE(clap);
    constexpr int32_t kBlock = 256;
    clap->start(44100.0f, kBlock);
    std::vector<float> l(kBlock, 0.25f), r(kBlock, -0.25f), ol(kBlock), orr(kBlock);
    float* in[2] = {l.data(), r.data()};
    float* out[2] = {ol.data(), orr.data()};
    morvek2::host::MidiEventList midi(16);
    clap->process(in, out, kBlock);
    morvek2::test::AllocationScope scope;
    for (int b = 0; b < 200; ++b) {
        clap->transport().setTempo(60.0 + (b * 37) % 240);
        clap->transport().setTimeSignature(3 + b % 5, b % 2 ? 8 : 4);
        for (int32_t p = b % 7; p < clap->numParams(); p += 7) {
            clap->setPlainValueAt(p, (b + p) % 3 * 0.5,
                                  static_cast<uint32_t>((b * 13 + p) % kBlock));
        }
        clap->setPlainValueAt(morvek2::param::kSoloParam[b % 6], b % 2, 5);
        midi.clear();
        midi.add(b % kBlock, 0xB0, static_cast<uint8_t>(b % 120), static_cast<uint8_t>(b));
        clap->sendMidi(midi);
        clap->process(in, out, kBlock);
    }
    EXPECT_EQ(scope.count(), 0u);
}

#if MORVEK2_TEST_X11

using morvek2::test::children;
using morvek2::test::pixels;

// The editor in a private X server, idled by the host's timers or (a host without them) by the
// main-thread callbacks the plug-in asks for; a knob drag reaches the host as a gesture with its
// values at the next flush or process, and a value from the host moves the knob back. The first
// row also holds the picture against the VST 2.4 editor's.
TEST(ClapFace, EditorDrawsAsVst2AndSendsGesturesToTheHost)
{
    const char* const oldDisplay = std::getenv("DISPLAY");
    const std::string keptDisplay = oldDisplay ? oldDisplay : "";
    morvek2::test::Xvfb xvfb;
    xvfb.SetUp();
    struct Restore
    {
        morvek2::test::Xvfb& xvfb;
        const std::string& display;
        bool had;
        ~Restore()
        {
            xvfb.TearDown();
            had ? setenv("DISPLAY", display.c_str(), 1) : unsetenv("DISPLAY");
        }
    } restore{xvfb, keptDisplay, oldDisplay != nullptr};
    if (morvek2::test::Xvfb::display.empty()) {
        GTEST_SKIP() << "no X server could be started (is Xvfb installed?)";
    }
    Display* host = XOpenDisplay(morvek2::test::Xvfb::display.c_str());
    ASSERT_NE(host, nullptr);
    constexpr int kWidth = 647;
    constexpr int kHeight = 447;
    constexpr int kGain = morvek2::param::kOutputGain;
    const auto newParent = [&] {
        const Window w =
            XCreateSimpleWindow(host, DefaultRootWindow(host), 0, 0, 700, 500, 0, 0, 0);
        XMapWindow(host, w);
        XSync(host, False);
        return w;
    };
    const auto handle = [](Window w) { return reinterpret_cast<void*>(static_cast<uintptr_t>(w)); };

    // At the scale the host sets, the size it hears and the window both double.
    {
        auto clap = loadClap();
        ASSERT_TRUE(clap);
        const Window parent = newParent();
        ASSERT_TRUE(clap->editorOpen(handle(parent), 2.0));
        EXPECT_EQ(clap->editorSize(), std::make_pair(uint32_t{2 * kWidth}, uint32_t{2 * kHeight}));
        const std::vector<Window> windows = children(host, parent);
        ASSERT_EQ(windows.size(), 1u);
        XWindowAttributes attributes{};
        ASSERT_NE(XGetWindowAttributes(host, windows[0], &attributes), 0);
        EXPECT_EQ(attributes.width, 2 * kWidth);
        clap->editorClose();
        XDestroyWindow(host, parent);
    }

    struct Row
    {
        bool hostTimers;
        bool processing; // the events come with a process, otherwise with a flush
    };
    for (const Row row : {Row{true, false}, Row{false, true}}) {
        SCOPED_TRACE(std::string(row.hostTimers ? "host timers" : "no host timers") +
                     (row.processing ? ", processing" : ", flushed"));
        auto clap = loadClap();
        ASSERT_TRUE(clap);
        clap->offerTimers(row.hostTimers);
        if (row.processing) {
            clap->start(44100.0f, 256);
        }
        const Window parent = newParent();
        ASSERT_TRUE(clap->editorOpen(handle(parent)));
        EXPECT_EQ(clap->editorSize(), std::make_pair(uint32_t{kWidth}, uint32_t{kHeight}));
        const auto idle = [&](int rounds) {
            for (int i = 0; i < rounds; ++i) {
                XSync(host, False);
                clap->editorIdle();
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
        };
        idle(30);
        const std::vector<Window> windows = children(host, parent);
        ASSERT_EQ(windows.size(), 1u) << "the editor's window in the host's";
        const Window window = windows[0];
        const auto picture = pixels(host, window, kWidth, kHeight);
        ASSERT_FALSE(picture.empty());

        if (!row.processing) {
            std::string error;
            auto vst2 = morvek2::host::Plugin::load(MORVEK2_MODULE_PATH, error);
            ASSERT_NE(vst2, nullptr) << error;
            const Window vstParent = newParent();
            ASSERT_TRUE(vst2->editorOpen(handle(vstParent)));
            for (int i = 0; i < 30; ++i) {
                XSync(host, False);
                vst2->editorIdle();
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            }
            const std::vector<Window> vstWindows = children(host, vstParent);
            ASSERT_EQ(vstWindows.size(), 1u);
            EXPECT_TRUE(picture == pixels(host, vstWindows[0], kWidth, kHeight))
                << "the CLAP editor draws what the VST 2.4 editor draws";
            vst2->editorClose();
            XDestroyWindow(host, vstParent); // uncovers the CLAP editor, which draws again
            idle(10);
        }

        // A drag up on the output knob.
        const double before = clap->plainValue(kGain);
        clap->takeParamOutput();
        clap->takeFlushRequest();
        const auto sendAt = [&](int type, int x, int y, unsigned state) {
            morvek2::test::sendPointer(host, window, type, x, y, state);
            idle(3);
        };
        const auto send = [&](int type, int y, unsigned state) { sendAt(type, 473, y, state); };
        send(ButtonPress, 348, 0);
        send(MotionNotify, 320, Button1Mask);
        send(MotionNotify, 290, Button1Mask);
        send(ButtonRelease, 290, Button1Mask);
        EXPECT_TRUE(clap->takeFlushRequest());
        EXPECT_TRUE(clap->takeParamOutput().empty()) << "events wait for the host to take them";
        std::vector<float> silence(256);
        std::vector<float> sink(256);
        float* ins[2] = {silence.data(), silence.data()};
        float* outs[2] = {sink.data(), sink.data()};
        row.processing ? clap->process(ins, outs, 256) : clap->flush();
        const double after = clap->plainValue(kGain);
        EXPECT_NE(after, before) << "the core took the drag at once";
        using Kind = ClapPlugin::ParamOutput::Kind;
        const auto heard = clap->takeParamOutput();
        ASSERT_GE(heard.size(), 3u);
        EXPECT_EQ(heard.front().kind, Kind::Begin);
        EXPECT_EQ(heard.back().kind, Kind::End);
        for (std::size_t k = 0; k < heard.size(); ++k) {
            EXPECT_EQ(heard[k].index, kGain) << "event " << k;
            if (k > 0 && k + 1 < heard.size()) {
                EXPECT_EQ(heard[k].kind, Kind::Value) << "event " << k;
            }
        }
        EXPECT_EQ(heard[heard.size() - 2].value, after);
        EXPECT_FALSE(picture == pixels(host, window, kWidth, kHeight)) << "the knob moved";

        // The host puts the value back: the knob follows.
        clap->setPlainValueAt(kGain, before, 0);
        row.processing ? clap->process(ins, outs, 256) : clap->flush();
        idle(10);
        EXPECT_TRUE(picture == pixels(host, window, kWidth, kHeight)) << "the knob is back";

        // A program chosen in the window (a click opens the list, a second one on the same spot
        // picks the program there): the host is asked to re-read the values and hears that the
        // project changed.
        clap->takeRescanFlags();
        clap->takeStateDirty();
        const int menuX = 332; // the middle of the program menu's box, beside the logo
        const int menuY = 407;
        for (int click = 0; click < 2; ++click) {
            sendAt(ButtonPress, menuX, menuY, 0);
            sendAt(ButtonRelease, menuX, menuY, Button1Mask);
        }
        EXPECT_NE(clap->takeRescanFlags() & CLAP_PARAM_RESCAN_VALUES, 0u);
        EXPECT_TRUE(clap->takeStateDirty());

        clap->editorClose();
        EXPECT_TRUE(children(host, parent).empty()) << "the editor's window went with it";
        XDestroyWindow(host, parent);
    }
    XCloseDisplay(host);
}

#endif

} // namespace

#endif
