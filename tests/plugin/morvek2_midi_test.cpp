// MIDI input of Morvek2 linked into the test: control changes through the learned map, MIDI
// learn from the plug-in object, hostile event lists, and the assignments file it writes.
#include "params/Morvek2Params.h"
#include "support/alloc_counter.h"
#include "vst2/Morvek2.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <system_error>
#include <thread>
#include <utility>
#include <vector>

using namespace morvek2::param;

namespace {

namespace fs = std::filesystem;

VstIntPtr VSTCALLBACK midiHost(AEffect*, VstInt32 opcode, VstInt32, VstIntPtr, void*, float)
{
    return opcode == audioMasterVersion ? kVstVersion : 0;
}

// Records the order of setParameter calls, as MIDI reaches them.
struct Probe : Morvek2
{
    Probe() : Morvek2(midiHost) {}
    std::vector<std::pair<int, float>> calls;
    bool recording = false;
    void setParameter(VstInt32 index, float value) override
    {
        if (recording) {
            calls.emplace_back(index, value);
        }
        Morvek2::setParameter(index, value);
    }
};

// A list of short MIDI messages as a host hands them over.
struct Events
{
    std::vector<VstMidiEvent> midi;
    std::vector<VstEvent*> pointers;
    std::vector<std::uint8_t> storage;

    Events& add(int status, int d1, int d2)
    {
        VstMidiEvent e{};
        e.type = kVstMidiType;
        e.byteSize = sizeof(VstMidiEvent);
        e.midiData[0] = static_cast<std::uint8_t>(status);
        e.midiData[1] = static_cast<std::uint8_t>(d1);
        e.midiData[2] = static_cast<std::uint8_t>(d2);
        midi.push_back(e);
        return *this;
    }
    VstEvents* list()
    {
        pointers.clear();
        for (VstMidiEvent& e : midi) {
            pointers.push_back(reinterpret_cast<VstEvent*>(&e));
        }
        storage.assign(sizeof(VstEvents) + pointers.size() * sizeof(VstEvent*), 0);
        auto* ev = reinterpret_cast<VstEvents*>(storage.data());
        ev->numEvents = static_cast<VstInt32>(pointers.size());
        for (std::size_t i = 0; i < pointers.size(); ++i) {
            ev->events[i] = pointers[i];
        }
        return ev;
    }
};

void send(Morvek2& p, std::initializer_list<std::pair<int, int>> controls, int channel = 0)
{
    Events ev;
    for (auto [c, v] : controls) {
        ev.add(0xB0 | channel, c, v);
    }
    EXPECT_EQ(p.processEvents(ev.list()), 1);
}

void learn(Morvek2& p, int parameter, int controller)
{
    p.midiLearnToggle(parameter);
    send(p, {{controller, 1}, {controller, 2}});
}

// The assignments file is written in text mode: "\n" stands for the platform's line end.
std::string lines(const std::string& text)
{
#ifdef _WIN32
    std::string out;
    for (char c : text) {
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    }
    return out;
#else
    return text;
#endif
}

std::string readFile(const fs::path& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// A learn that ends on the audio thread is written by the plug-in's writer thread a moment
// later: the file's content once it is `expected`, or what it holds after two seconds.
std::string awaitFile(const fs::path& path, const std::string& expected)
{
    std::string text;
    for (int i = 0; i < 200; ++i) {
        text = readFile(path);
        if (text == expected) {
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return text;
}

// Threads of this process, from /proc (0 where there is none).
int threadCount()
{
    std::error_code ec;
    int n = 0;
    for (fs::directory_iterator it("/proc/self/task", ec), end; !ec && it != end;
         it.increment(ec)) {
        ++n;
    }
    return n;
}

struct MidiFixture : ::testing::Test
{
    fs::path folder;
    void SetUp() override
    {
        folder =
            fs::temp_directory_path() /
            ("morvek2-midi-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(folder);
    }
    void TearDown() override { fs::remove_all(folder); }
    fs::path file() const { return folder / "Zendrik" / "Morvek2 MIDI Assignments.txt"; }
    void point(Morvek2& p) { p.setMidiAssignmentsFolder((folder / "Zendrik").string() + "/"); }
};

} // namespace

TEST_F(MidiFixture, NotesPitchBendAndAllNotesOffChangeNothing)
{
    Probe p;
    point(p);
    learn(p, kFilterFreq, 7);
    std::vector<float> before;
    for (int i = 0; i < 93; ++i) {
        before.push_back(p.getParameter(i));
    }
    p.recording = true;
    Events ev;
    ev.add(0x90, 60, 100).add(0xE0, 0, 127).add(0xB0, 123, 0).add(0xB0, 126, 5).add(0x80, 7, 9);
    EXPECT_EQ(p.processEvents(ev.list()), 1);
    EXPECT_TRUE(p.calls.empty());
    for (int i = 0; i < 93; ++i) {
        EXPECT_EQ(p.getParameter(i), before[static_cast<std::size_t>(i)]) << i;
    }
}

TEST_F(MidiFixture, TwoParametersOnOneControllerMoveInLearningOrder)
{
    Probe p;
    point(p);
    learn(p, kFilterFreq, 7);
    learn(p, kDelaySend, 7);
    learn(p, kOutputGain, 1);
    p.recording = true;
    send(p, {{7, 64}});
    ASSERT_EQ(p.calls.size(), 2u);
    EXPECT_EQ(p.calls[0].first, kFilterFreq);
    EXPECT_EQ(p.calls[1].first, kDelaySend);
    EXPECT_FLOAT_EQ(p.calls[0].second, 64.0f / 127.0f);
    EXPECT_FLOAT_EQ(p.getParameter(kDelaySend), 64.0f / 127.0f);
    send(p, {{7, 127}});
    EXPECT_EQ(p.getParameter(kFilterFreq), 1.0f);
    // Lines in map order: controller 1 first, then both of controller 7 in learning order.
    EXPECT_EQ(awaitFile(file(), lines("90 1\n17 7\n48 7\n")), lines("90 1\n17 7\n48 7\n"));
}

TEST_F(MidiFixture, OnlyTwoEqualControllersInARowLearn)
{
    Probe p;
    point(p);
    p.midiLearnToggle(kFilterFreq);
    EXPECT_EQ(p.getMarkedParameter(), kFilterFreq);
    send(p, {{10, 1}, {11, 1}, {10, 1}});
    EXPECT_TRUE(p.getMidiMap().entries().empty());
    EXPECT_EQ(p.getMidiMap().getLearnState(), 1);
    EXPECT_FALSE(fs::exists(file()));
    send(p, {{10, 1}});
    ASSERT_EQ(p.getMidiMap().entries().size(), 1u);
    EXPECT_EQ(p.getMidiMap().entries()[0], (MidiMapEntry{10, kFilterFreq}));
    EXPECT_EQ(p.getMidiMap().getLearnState(), 0);
    EXPECT_EQ(p.getMarkedParameter(), -1);
    // The folder was missing: it is created with the file.
    EXPECT_EQ(awaitFile(file(), lines("17 10\n")), lines("17 10\n"));
}

TEST_F(MidiFixture, LearningTheSamePairTwiceLeavesOneEntry)
{
    Probe p;
    point(p);
    learn(p, kFilterFreq, 20);
    learn(p, kFilterFreq, 20);
    EXPECT_EQ(p.getMidiMap().entries().size(), 1u);
    EXPECT_EQ(awaitFile(file(), lines("17 20\n")), lines("17 20\n"));
}

TEST_F(MidiFixture, LearnToggleTwiceForgetsEveryControllerOfTheParameter)
{
    Probe p;
    point(p);
    learn(p, kVcaDepth, 3);
    learn(p, kVcaDepth, 4);
    learn(p, kFilterFreq, 3);
    p.midiLearnToggle(kVcaDepth);
    p.midiLearnToggle(kVcaDepth);
    EXPECT_EQ(p.getMidiMap().getLearnState(), 0);
    EXPECT_EQ(p.getMarkedParameter(), -1);
    ASSERT_EQ(p.getMidiMap().entries().size(), 1u);
    EXPECT_EQ(readFile(file()), lines("17 3\n"));
    // Forgetting the only assignment leaves an empty file.
    p.midiLearnToggle(kFilterFreq);
    p.midiLearnToggle(kFilterFreq);
    EXPECT_TRUE(fs::exists(file()));
    EXPECT_EQ(readFile(file()), "");
}

TEST_F(MidiFixture, SwitchingTheLearnedParameterMovesTheMark)
{
    Probe p;
    point(p);
    p.midiLearnToggle(kFilterFreq);
    p.midiLearnToggle(kDelaySend);
    EXPECT_EQ(p.getMarkedParameter(), kDelaySend);
    send(p, {{5, 1}, {5, 1}});
    EXPECT_EQ(p.getMidiMap().entries()[0], (MidiMapEntry{5, kDelaySend}));
    EXPECT_EQ(p.getMarkedParameter(), -1);
}

TEST_F(MidiFixture, ChannelSixteenActsAsChannelOne)
{
    Probe a;
    Probe b;
    point(a);
    point(b);
    a.midiLearnToggle(kFilterFreq);
    send(a, {{9, 1}, {9, 1}}, 15);
    b.midiLearnToggle(kFilterFreq);
    send(b, {{9, 1}, {9, 1}}, 0);
    EXPECT_EQ(a.getMidiMap().entries(), b.getMidiMap().entries());
    send(a, {{9, 100}}, 0);
    send(b, {{9, 100}}, 15);
    EXPECT_FLOAT_EQ(a.getParameter(kFilterFreq), 100.0f / 127.0f);
    EXPECT_EQ(a.getParameter(kFilterFreq), b.getParameter(kFilterFreq));
}

TEST_F(MidiFixture, HostileEventListsAreSkipped)
{
    Probe p;
    point(p);
    learn(p, kFilterFreq, 7);
    p.recording = true;
    Events ev;
    ev.add(0xB0, 7, 10).add(0xB0, 7, 20);
    VstEvents* list = ev.list();
    list->events[0] = nullptr;
    EXPECT_EQ(p.processEvents(list), 1);
    ASSERT_EQ(p.calls.size(), 1u);
    EXPECT_FLOAT_EQ(p.calls[0].second, 20.0f / 127.0f);
    list->numEvents = -5;
    EXPECT_EQ(p.processEvents(list), 1);
    list->numEvents = 0;
    EXPECT_EQ(p.processEvents(list), 1);
    EXPECT_EQ(p.processEvents(nullptr), 1);
    // Not MIDI: a SysEx event with a control-change-like first byte.
    list->numEvents = 2;
    ev.midi[1].type = kVstSysExType;
    list->events[0] = reinterpret_cast<VstEvent*>(&ev.midi[1]);
    list->events[1] = reinterpret_cast<VstEvent*>(&ev.midi[0]);
    EXPECT_EQ(p.processEvents(list), 1);
    EXPECT_EQ(p.calls.size(), 2u); // only the second event (MIDI) acted
    // Data bytes with the high bit set are not MIDI data.
    Events bad;
    bad.add(0xB0, 0x87, 5).add(0xB0, 7, 0xFF);
    EXPECT_EQ(p.processEvents(bad.list()), 1);
    EXPECT_EQ(p.calls.size(), 2u);
}

TEST_F(MidiFixture, NormalPlayAllocatesNothing)
{
    Probe p;
    point(p);
    learn(p, kFilterFreq, 7);
    learn(p, kOutputGain, 8);
    Events ev;
    for (int i = 0; i < 64; ++i) {
        ev.add(0xB0 | (i % 16), 7 + i % 3, i);
    }
    VstEvents* list = ev.list();
    morvek2::test::AllocationScope scope;
    for (int round = 0; round < 10; ++round) {
        p.processEvents(list);
    }
    EXPECT_EQ(scope.count(), 0u);
}

TEST_F(MidiFixture, DeferredWritesWaitForTheIdleAndFailuresAreSilent)
{
    Probe p;
    point(p);
    p.setMidiAssignmentsDeferred(true);
    learn(p, kFilterFreq, 7);
    EXPECT_FALSE(fs::exists(file()));
    p.saveMidiAssignmentsIfChanged();
    EXPECT_EQ(readFile(file()), lines("17 7\n"));
    // The learn toggle runs on the editor's thread and writes at once.
    p.midiLearnToggle(kFilterFreq);
    p.midiLearnToggle(kFilterFreq);
    EXPECT_EQ(readFile(file()), "");
    learn(p, kDelaySend, 9);
    p.setMidiAssignmentsDeferred(false); // an editor closing writes what is pending
    EXPECT_EQ(readFile(file()), lines("48 9\n"));

    // A folder that cannot exist (a file is in the way): nothing written, the map unchanged.
    fs::create_directories(folder);
    std::ofstream(folder / "blocker") << "x";
    p.setMidiAssignmentsFolder((folder / "blocker" / "Zendrik").string() + "/");
    learn(p, kOutputGain, 10);
    EXPECT_EQ(p.getMidiMap().entries().size(), 2u);
    EXPECT_EQ(readFile(folder / "blocker"), "x");
}

TEST_F(MidiFixture, ALearnEndingOnTheAudioThreadIsWrittenByAnotherThread)
{
    const int threadsBefore = threadCount();
    {
        Probe p;
        point(p);
        p.midiLearnToggle(kFilterFreq);
        Events ev;
        ev.add(0xB0, 7, 1).add(0xB0, 7, 2);
        VstEvents* list = ev.list();
        std::size_t allocations = 0;
        {
            const morvek2::test::AllocationScope scope;
            p.processEvents(list);
            allocations = scope.count();
        }
        EXPECT_EQ(p.getMidiMap().entries().size(), 1u);
        // The new map (its record and its entries) and nothing for the file.
        EXPECT_LE(allocations, 2u);
        EXPECT_EQ(awaitFile(file(), lines("17 7\n")), lines("17 7\n"));

        // Learned just before the plug-in goes: still written, by the writer's last round.
        p.midiLearnToggle(kOutputGain);
        p.processEvents(list);
    }
    EXPECT_EQ(readFile(file()), lines("17 7\n90 7\n"));
    if (threadsBefore > 0) {
        EXPECT_EQ(threadCount(), threadsBefore) << "the writer thread is joined";
    }
}

// The system would not make the writer thread: a learn ending on the audio thread with the editor
// closed is then written when the host closes the plug-in.
TEST_F(MidiFixture, ALearnOnTheAudioThreadWithoutAWriterThreadIsWrittenAtClose)
{
    struct WithoutThreads : Probe
    {
        std::thread launchMidiFileWriter() override
        {
            throw std::system_error(
                std::make_error_code(std::errc::resource_unavailable_try_again));
        }
    };
    auto* p = new WithoutThreads;
    point(*p);
    p->midiLearnToggle(kOutputGain);
    std::thread audio([p] { send(*p, {{21, 1}, {21, 2}}); });
    audio.join();
    EXPECT_EQ(p->getMidiMap().entries().size(), 1u);
    AEffect* effect = p->getAeffect();
    effect->dispatcher(effect, effClose, 0, 0, nullptr, 0.0f);
    EXPECT_EQ(readFile(file()), lines("90 21\n"));
}
