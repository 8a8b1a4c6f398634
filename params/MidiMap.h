#pragma once

// MIDI controller assignments and MIDI learn.
//
// The map is an ordered multimap controller -> parameter: ordered by controller number,
// entries of one controller in the order they were learned, each (controller, parameter)
// pair at most once.
//
// Threads. Normal play (learn state 0) runs on the audio thread and must neither allocate
// nor block nor see the map half-changed, while the editor's learn toggle may change the map
// at the same time. So the map is never edited in place: it is an immutable snapshot
// published through an atomic pointer. A change copies the current snapshot, edits the copy
// and publishes it with a compare-and-swap (retrying from the newer snapshot if another
// thread published first), so concurrent changes are never lost and no lock is taken.
// A reader loads the pointer once and walks a snapshot that no one writes again. Replaced
// snapshots are retired to a list and freed only when the map is destroyed, because a reader
// may still be walking one; each change retires one small block (16 bytes plus 8 per entry),
// and changes only happen when the user learns or unlearns a controller.
// Changing the map allocates, which happens on the audio thread only when learning
// completes (learn state 1), never in normal play.

#include "params/MidiAssignmentsFile.h"

#include <atomic>
#include <cstdint>
#include <vector>

// What the map needs from its owner (the plug-in).
class MidiMapListener
{
public:
    virtual ~MidiMapListener() = default;
    // A mapped controller moved: store value (0..1) for the parameter, as setParameter does.
    virtual void midiSetParameter(int index, float value) = 0; // [audio]
    // Outline or un-outline the control of a parameter while it is being learned.
    virtual void midiMarkParameter(int index) = 0;   // [any]
    virtual void midiUnmarkParameter(int index) = 0; // [any]
    // The map changed; entries is the whole new map, valid until the map is destroyed.
    // Called on the thread that changed it (the audio thread when a controller is learned,
    // the editor thread when learning is switched off). The usual answer is to write the
    // assignments file.
    virtual void midiMapChanged(const std::vector<MidiMapEntry>& entries) = 0; // [any]
};

class MidiMap
{
public:
    static constexpr int kNoController = 255;
    static constexpr int kAllNotesOff = 123;
    static constexpr int kMonoOn = 126;

    // parameterCount bounds the parameter indices that may be learned (0..count-1).
    explicit MidiMap(MidiMapListener& listener, int parameterCount = 93);
    ~MidiMap();
    MidiMap(const MidiMap&) = delete;
    MidiMap& operator=(const MidiMap&) = delete;

    // One short MIDI message from the host (status byte and two data bytes, any channel;
    // pass the bytes of a VstMidiEvent as unsigned values).
    // Only control changes act; controllers 123 and 126 and malformed data bytes (high bit
    // set) are skipped.
    void handleMidiMessage(int status, int data1, int data2); // [audio]
    // A control change: in normal play sets every mapped parameter to value / 127; while
    // learning, two equal controller numbers in a row assign that controller.
    void handleControlChange(int controller, int value); // [audio]

    // The editor's request to learn parameter p (again: stop learning and forget p's
    // controllers).
    void learnToggle(int parameter); // [ui]

    int getLearnState() const { return learnState.load(std::memory_order_relaxed); } // [any]
    int getLearnParameter() const { return learnParameter.load(std::memory_order_relaxed); }
    int getLastLearnController() const // [any]
    {
        return lastLearnController.load(std::memory_order_relaxed);
    }

    // The current map; valid until the map is destroyed, never changed afterwards.
    const std::vector<MidiMapEntry>& entries() const; // [any]
    // Grows by one with every published change, so an owner that prefers to write the file
    // off the audio thread can poll it (e.g. from the editor's idle) instead of writing in
    // midiMapChanged.
    unsigned getChangeCount() const { return changeCount.load(std::memory_order_acquire); }

private:
    struct Snapshot
    {
        std::vector<MidiMapEntry> entries;
        Snapshot* retiredNext = nullptr;
    };

    // Applies edit to a copy of the current map and publishes it; edit returns false to
    // leave the map as it is. Returns the published snapshot or nullptr.
    template <typename Edit> const Snapshot* change(Edit edit);
    void retire(Snapshot* s);

    MidiMapListener& listener;
    const int parameterCount;
    std::atomic<const Snapshot*> current;
    std::atomic<Snapshot*> retired{nullptr};
    std::atomic<unsigned> changeCount{0};
    std::atomic<int> learnState{0};
    std::atomic<int> learnParameter{0};
    std::atomic<int> lastLearnController{kNoController};
};
