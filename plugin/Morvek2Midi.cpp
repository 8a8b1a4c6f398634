// MIDI input: control changes drive parameters through the MIDI map, and MIDI learn fills it.

#include "plugin/Morvek2Core.h"

#include <chrono>
#include <system_error>
#if defined(_WIN32)
#include "base/ThreadWord.h"
#endif

namespace {

// Set while MIDI from the host is handled on this thread, so a map change it causes (a learned
// controller) knows it is on the audio thread. Held in the module's static thread storage: a lazily
// created thread-local of a module loaded at run time would allocate on the audio thread's first
// event. On Windows a word of the system's per-thread table stands in (mingw's thread_local
// allocates).
#if defined(_WIN32)
ThreadWord handlingEventsWord;
bool isHandlingEvents()
{
    return handlingEventsWord.get() != 0;
}
void setHandlingEvents(bool on)
{
    handlingEventsWord.set(on ? 1 : 0);
}
#else
#if defined(__GNUC__)
[[gnu::tls_model("initial-exec")]]
#endif
thread_local bool handlingEvents = false;
bool isHandlingEvents()
{
    return handlingEvents;
}
void setHandlingEvents(bool on)
{
    handlingEvents = on;
}
#endif

struct EventsScope
{
    EventsScope() { setHandlingEvents(true); }
    ~EventsScope() { setHandlingEvents(false); }
    EventsScope(const EventsScope&) = delete;
    EventsScope& operator=(const EventsScope&) = delete;
};

} // namespace

void Morvek2Core::receiveMidi(std::uint8_t status, std::uint8_t data1,
                              std::uint8_t data2) // [audio]
{
    const EventsScope scope;
    // Any channel: the map checks for a control change and skips 123 and 126.
    midiMap->handleMidiMessage(status, data1, data2);
}

void Morvek2Core::midiLearnToggle(int parameter) // [ui]
{
    // Learning may end on the audio thread, which must not write the file: the thread that
    // does it is there before the first learn can end.
    startMidiFileWriter();
    midiMap->learnToggle(parameter);
}

void Morvek2Core::midiSetParameter(int index, float value) // [audio]
{
    // Straight to setParameter: MIDI moves are not recorded as host automation.
    setParameter(index, value);
}

void Morvek2Core::midiMarkParameter(int index) // [any]
{
    markedParameter.store(index, std::memory_order_relaxed);
    editorLearnMark(index, true);
}

void Morvek2Core::midiUnmarkParameter(int index) // [any]
{
    // Only the outline of that parameter goes; a newer mark stays.
    int expected = index;
    if (markedParameter.compare_exchange_strong(expected, -1, std::memory_order_relaxed)) {
        editorLearnMark(index, false);
    }
}

void Morvek2Core::midiMapChanged(const std::vector<MidiMapEntry>& entries) // [any]
{
    if (isHandlingEvents()) {
        // The audio thread: no file I/O here. An open editor writes it from its idle; otherwise
        // the writer thread is told (an atomic flag it polls: no lock, no system call).
        if (!midiFileDeferred.load(std::memory_order_relaxed)) {
            midiFilePending.store(true, std::memory_order_release);
        }
        return;
    }
    const std::lock_guard<std::mutex> lock(midiFileMutex);
    const unsigned count = midiMap->getChangeCount();
    midiFile.save(entries);
    midiFileWrittenCount.store(count, std::memory_order_relaxed);
}

void Morvek2Core::setMidiAssignmentsFolder(const std::string& folder) // [ui]
{
    const std::lock_guard<std::mutex> lock(midiFileMutex);
    midiFile = MidiAssignmentsFile(folder);
}

void Morvek2Core::setMidiAssignmentsDeferred(bool deferred) // [ui]
{
    midiFileDeferred.store(deferred, std::memory_order_relaxed);
    if (!deferred) {
        saveMidiAssignmentsIfChanged();
    }
}

void Morvek2Core::saveMidiAssignmentsIfChanged() // [ui] or the writer thread
{
    const std::lock_guard<std::mutex> lock(midiFileMutex);
    const unsigned count = midiMap->getChangeCount();
    if (count != midiFileWrittenCount.load(std::memory_order_relaxed)) {
        midiFile.save(midiMap->entries());
        midiFileWrittenCount.store(count, std::memory_order_relaxed);
    }
}

// ---- The assignments file writer
// -----------------------------------------------------------------------

namespace {

// How often the writer looks for a change learned on the audio thread; the user sees nothing
// of this delay, the file is only read by other programs.
constexpr auto kMidiWriterPoll = std::chrono::milliseconds(20);

} // namespace

void Morvek2Core::startMidiFileWriter() // [ui]
{
    const std::lock_guard<std::mutex> lock(midiWriterMutex);
    if (midiWriter.joinable() || midiWriterStop) {
        return;
    }
    try {
        midiWriter = launchMidiFileWriter();
    } catch (const std::system_error&) {
        // No thread: a change learned on the audio thread waits for the editor's idle, the
        // editor closing, the next learn toggle or the plug-in's close, which write it off the
        // audio thread.
    }
}

std::thread Morvek2Core::launchMidiFileWriter() // [ui]
{
    return std::thread([this] { runMidiFileWriter(); });
}

void Morvek2Core::stopMidiFileWriter() // [ui]
{
    {
        const std::lock_guard<std::mutex> lock(midiWriterMutex);
        midiWriterStop = true;
    }
    midiWriterWake.notify_all();
    if (midiWriter.joinable()) {
        midiWriter.join();
    }
    // Whatever the writer left unwritten, or all of it when no writer thread could be made.
    saveMidiAssignmentsIfChanged();
}

void Morvek2Core::runMidiFileWriter() // writer thread
{
    std::unique_lock<std::mutex> lock(midiWriterMutex);
    for (;;) {
        const bool stopping = midiWriterStop;
        if (midiFilePending.exchange(false, std::memory_order_acquire)) {
            lock.unlock();
            saveMidiAssignmentsIfChanged();
            lock.lock();
        }
        // A change learned just before the end is still written.
        if (stopping) {
            return;
        }
        midiWriterWake.wait_for(lock, kMidiWriterPoll);
    }
}
