// MIDI through the built module: a host's audio thread delivering control changes, notes and
// empty lists, with nothing allocated inside the module, even on the thread's first events.
#include "binary/module_under_test.h"
#include "support/alloc_counter.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

// A VstEvents list with room for four events.
struct EventList
{
    VstInt32 numEvents = 0;
    VstIntPtr reserved = 0;
    VstEvent* events[4] = {};
};

VstMidiEvent midi(int status, int d1, int d2)
{
    VstMidiEvent e{};
    e.type = kVstMidiType;
    e.byteSize = sizeof(VstMidiEvent);
    e.midiData[0] = static_cast<std::uint8_t>(status);
    e.midiData[1] = static_cast<std::uint8_t>(d1);
    e.midiData[2] = static_cast<std::uint8_t>(d2);
    return e;
}

} // namespace

TEST(ModuleMidi, EventsOnAFreshAudioThreadAllocateNothing)
{
    if (!morvek2::test::countsMalloc()) {
        GTEST_SKIP() << "the module's allocations cannot be counted in this build";
    }
    auto plugin = binarytest::loadPlugin();
    ASSERT_NE(plugin, nullptr);
    plugin->start(44100.0f, 512);
    VstMidiEvent cc = midi(0xB3, 7, 100);
    VstMidiEvent note = midi(0x90, 60, 100);
    VstMidiEvent bend = midi(0xE0, 0, 64);
    EventList list;
    list.numEvents = 4;
    list.events[0] = reinterpret_cast<VstEvent*>(&cc);
    list.events[1] = reinterpret_cast<VstEvent*>(&note);
    list.events[2] = nullptr; // a host's hole in the list
    list.events[3] = reinterpret_cast<VstEvent*>(&bend);
    const float before = plugin->getParameter(17);

    std::size_t allocations = 99;
    VstIntPtr answer = 0;
    std::thread audio([&] {
        morvek2::test::AllocationScope scope;
        for (int i = 0; i < 100; ++i) {
            answer = plugin->sendEvents(reinterpret_cast<VstEvents*>(&list));
        }
        allocations = scope.count();
    });
    audio.join();
    EXPECT_EQ(answer, 1);
    EXPECT_EQ(allocations, 0u);
    // Nothing is learned, so nothing moved.
    EXPECT_EQ(plugin->getParameter(17), before);
}
