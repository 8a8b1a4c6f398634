#include "params/MidiMap.h"

#include <algorithm>

namespace {

constexpr auto kRelaxed = std::memory_order_relaxed;

bool byController(const MidiMapEntry& e, int controller)
{
    return e.controller < controller;
}

} // namespace

MidiMap::MidiMap(MidiMapListener& owner, int count)
    : listener(owner), parameterCount(count), current(new Snapshot())
{}

MidiMap::~MidiMap()
{
    delete current.load(std::memory_order_acquire);
    Snapshot* s = retired.exchange(nullptr, std::memory_order_acquire);
    while (s) {
        Snapshot* next = s->retiredNext;
        delete s;
        s = next;
    }
}

const std::vector<MidiMapEntry>& MidiMap::entries() const // [any]
{
    return current.load(std::memory_order_acquire)->entries;
}

void MidiMap::retire(Snapshot* s)
{
    // Push only; the list is emptied by the destructor alone, so there is no ABA problem.
    Snapshot* head = retired.load(kRelaxed);
    do {
        s->retiredNext = head;
    } while (!retired.compare_exchange_weak(head, s, std::memory_order_release, kRelaxed));
}

template <typename Edit> const MidiMap::Snapshot* MidiMap::change(Edit edit)
{
    const Snapshot* old = current.load(std::memory_order_acquire);
    for (;;) {
        auto* next = new Snapshot{old->entries};
        if (!edit(next->entries)) {
            delete next;
            return nullptr;
        }
        // On failure old is reloaded with the snapshot another thread published; redo the
        // edit on top of it so neither change is lost.
        if (current.compare_exchange_strong(old, next, std::memory_order_acq_rel,
                                            std::memory_order_acquire)) {
            retire(const_cast<Snapshot*>(old));
            changeCount.fetch_add(1, std::memory_order_release);
            return next;
        }
        delete next;
    }
}

void MidiMap::handleMidiMessage(int status, int data1, int data2) // [audio]
{
    if ((status & 0xF0) != 0xB0)
        return;
    // Data bytes have the high bit clear; anything else is not a MIDI message we can trust.
    if (data1 < 0 || data1 > 127 || data2 < 0 || data2 > 127)
        return;
    handleControlChange(data1, data2);
}

void MidiMap::handleControlChange(int controller, int value) // [audio]
{
    if (controller < 0 || controller > 127 || value < 0 || value > 127)
        return;
    if (controller == kAllNotesOff || controller == kMonoOn)
        return;

    if (learnState.load(kRelaxed) == 0) {
        // Normal play: read one published snapshot, no allocation, no lock.
        const auto& e = current.load(std::memory_order_acquire)->entries;
        const float normalised = static_cast<float>(value) * (1.0f / 127.0f);
        for (auto it = std::lower_bound(e.begin(), e.end(), controller, byController);
             it != e.end() && it->controller == controller; ++it)
            listener.midiSetParameter(it->parameter, normalised);
        return;
    }

    // Learning: a controller counts only when two messages in a row carry its number, as a
    // moving control sends, so a stray message of another controller does not get learned.
    if (lastLearnController.load(kRelaxed) != controller) {
        lastLearnController.store(controller, kRelaxed);
        return;
    }
    const int parameter = learnParameter.load(kRelaxed);
    const MidiMapEntry entry{static_cast<std::int8_t>(controller), parameter};
    const Snapshot* published = change([&](std::vector<MidiMapEntry>& map) {
        map.erase(std::remove(map.begin(), map.end(), entry), map.end());
        // After every entry of this controller, so equal controllers keep learning order.
        const auto pos =
            std::upper_bound(map.begin(), map.end(), controller,
                             [](int c, const MidiMapEntry& e) { return c < e.controller; });
        map.insert(pos, entry);
        return true;
    });
    if (published)
        listener.midiMapChanged(published->entries);
    lastLearnController.store(kNoController, kRelaxed);
    learnState.store(0, kRelaxed);
    listener.midiUnmarkParameter(parameter);
}

void MidiMap::learnToggle(int parameter) // [ui]
{
    if (parameter < 0 || parameter >= parameterCount)
        return;
    if (learnState.load(kRelaxed) == 0) {
        learnParameter.store(parameter, kRelaxed);
        learnState.store(1, kRelaxed);
        listener.midiMarkParameter(parameter);
        return;
    }
    const int learning = learnParameter.load(kRelaxed);
    if (parameter != learning) {
        listener.midiUnmarkParameter(learning);
        learnParameter.store(parameter, kRelaxed);
        listener.midiMarkParameter(parameter);
        return;
    }
    // Asked again for the parameter being learned: forget all its controllers.
    const Snapshot* published = change([parameter](std::vector<MidiMapEntry>& map) {
        const auto end = std::remove_if(map.begin(), map.end(), [parameter](const MidiMapEntry& e) {
            return e.parameter == parameter;
        });
        if (end == map.end())
            return false;
        map.erase(end, map.end());
        return true;
    });
    // The file is rewritten even when there was nothing to forget.
    if (!published)
        changeCount.fetch_add(1, std::memory_order_release);
    listener.midiMapChanged(published ? published->entries : entries());
    listener.midiUnmarkParameter(parameter);
    learnState.store(0, kRelaxed);
}
