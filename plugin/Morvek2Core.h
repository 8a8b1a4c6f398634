// The plug-in without a plug-in format: programs and state, parameters, the transport clock, the
// chain and its engines, MIDI learn and the link to the editor. Each format's face translates its
// host's calls, transport and events into the calls below.
#pragma once

#include "base/RecursiveMutex.h"
#include "dsp/CBitsEngine.h"
#include "dsp/CDelayEngine.h"
#include "dsp/CDistortEngine.h"
#include "dsp/CFilterEngine.h"
#include "dsp/CFreqShifterEngine.h"
#include "dsp/CVCAEngine.h"
#include "dsp/zksp_smoother.h"
#include "params/MidiAssignmentsFile.h"
#include "params/MidiMap.h"
#include "params/Morvek2ParameterManager.h"
#include "plugin/Morvek2Clock.h"
#include "plugin/Morvek2EditorLink.h"
#include "plugin/Morvek2Transport.h"
#include "plugin/ProgramRecord.h"
#include "sequencer/seq_lane.h"

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

class Morvek2Editor;

// What the core asks of the face that hosts it.
class Morvek2CoreHost
{
public:
    virtual ~Morvek2CoreHost() = default;
    // The core changed a parameter by itself (a Solo turning the others off) the way a user
    // would: the host should hear it as automation.
    virtual void parameterAutomated(int index, float normalised) = 0; // [any]
};

class Morvek2Core : private MidiMapListener
{
public:
    static constexpr int kNumPrograms = 40;
    static constexpr int kNumParams = Morvek2ParameterManager::kNumParams;
    static constexpr int kNumInputs = 2;
    static constexpr int kNumOutputs = 2;
    static constexpr int kNumModules = morvek2::param::kNumModules;
    static constexpr const char* kEffectName = "Morvek2";
    static constexpr const char* kVendorName = "Zendrik, Inc.";
    static constexpr const char* kProductName = "Morvek2";
    static constexpr float kDefaultSampleRate = 44100.0f;
    // The rates hosts run at; others are ignored.
    static constexpr float kMinSampleRate = 8000.0f;
    static constexpr float kMaxSampleRate = 768000.0f;
    static constexpr int kDefaultBlockSize = 1024;
    // Control-rate smoothers update once every this many samples.
    static constexpr int kControlInterval = 32;

    // Module numbers: index of engines, lanes, smoothers, enable factors and the chain order.
    enum Module : int { kVCA = 0, kFilter = 1, kDistort = 2, kDelay = 3, kShift = 4, kBits = 5 };

    Morvek2Core();
    virtual ~Morvek2Core();
    Morvek2Core(const Morvek2Core&) = delete;
    Morvek2Core& operator=(const Morvek2Core&) = delete;

    // ---- For the face ----
    // Where parameter changes the core makes by itself go; none by default.
    void setCoreHost(Morvek2CoreHost* host) { coreHost = host; } // [ui] before processing
    void suspend();                                              // [ui]
    // Processing starts again; a second pin the host left unconnected makes that side mono.
    void resume(bool secondInputConnected = true, bool secondOutputConnected = true); // [ui]
    // Processing starts over as a new instance's would with the same parameters, program and
    // lanes: the engines' memory and glides, the smoothers, the clock and the lanes' positions
    // (suspend clears only the filters and delay lines). No allocation; while another thread
    // holds the engines (a rate change being put in place) it happens at the next block start.
    void restartProcessing(); // [audio]
    // [any] A host may change the rate (or suspend) while its audio thread processes: the
    // change is prepared on the calling thread and lands at the next block start.
    void setSampleRate(float sampleRate);
    float getSampleRate() const { return sampleRate.load(std::memory_order_relaxed); } // [any]
    // One block of two channels in and out (in place allowed), with where the host's transport
    // stands at its first sample.
    void process(float** inputs, float** outputs, int sampleFrames,
                 const Morvek2Transport& transport); // [audio]
    // One MIDI message from the host; controllers reach MIDI learn.
    void receiveMidi(std::uint8_t status, std::uint8_t data1, std::uint8_t data2); // [audio]

    // Normalised values 0..1, as every format's host exchanges them; NaN is ignored. Virtual so
    // that a face (or a test standing for one) sees every change, MIDI's and programs' included.
    virtual void setParameter(int index, float value); // [any]
    float getParameter(int index);                     // [any]
    // The parameter's texts, cut to `length` bytes with the terminator.
    void getParameterLabel(int index, char* label, int length);  // [any]
    void getParameterDisplay(int index, char* text, int length); // [any]
    void getParameterName(int index, char* text, int length);    // [any]

    // Programs, names and state chunks (Morvek2Programs.cpp).
    int getProgram() const { return curProgram.load(std::memory_order_relaxed); } // [any]
    virtual void setProgram(int program);                                         // [ui]
    // A program change on the audio thread (a host's program-change parameter at its frame):
    // it waits for nothing. While another thread is writing or applying records (a state
    // restore, a program change of its own) it changes nothing and answers false, for the caller
    // to try again with a later block. An index outside the bank is ignored (true).
    bool trySetProgram(int program);       // [audio]
    void setProgramName(const char* name); // [ui] up to 23 bytes are kept
    // Names handed out fill at most kProgramNameOut bytes with the terminator.
    static constexpr int kProgramNameOut = 25;
    void getProgramName(char* name);                   // [ui]
    bool getProgramNameIndexed(int index, char* text); // [ui]
    // The current program's record (isPreset) or the whole bank, as bytes that stay valid until
    // this thread's next getChunk of the same kind; 0 when there is nothing to give.
    int getChunk(void** data, bool isPreset); // [ui]
    // 1 when taken; data of another size is refused, values out of range are mended.
    int setChunk(const void* data, int byteSize, bool isPreset); // [ui]

    // ---- For the other parts of the plug-in ----
    Morvek2ParameterManager& getParameterManager() { return *params; } // [any]
    Morvek2EditorHost& getEditorLink() { return editorLink; }          // [any]
    float getSampleRateReciprocal() const
    {
        return sampleRateReciprocal.load(std::memory_order_relaxed);
    } // [any]
    // 2 = stereo; 1 = only the first pin is connected (fixed at each resume).
    int getInputMode() const { return inputMode.load(std::memory_order_relaxed); }   // [any]
    int getOutputMode() const { return outputMode.load(std::memory_order_relaxed); } // [any]
    int getChainSlot(int position) const;    // [any] module number at chain position 0..5
    float getEnableFactor(int module) const; // [any]
    int getSoloIndex() const { return soloIndex.load(std::memory_order_relaxed); } // [any]
    SeqLane& getLane(int module) { return lanes[clampModule(module)]; }            // [any]

    // The record of the current program: setParameter, the editor and lane operations write the
    // current values, lanes and chain order into it (fields through relaxed atomic_ref).
    ProgramRecord& currentRecord() { return bank[clampProgram(getProgram())]; } // [any]
    // Record k of the bank (an index outside 0..39 gives record 0).
    ProgramRecord& getProgramRecord(int k) { return bank[clampProgram(k)]; } // [any]
    // The editor page stored in the current record (the editor writes it on a module change).
    void setEditorPage(int module); // [ui]

    // ---- MIDI learn (Morvek2Midi.cpp) ----
    // Learn toggle on parameter p: start learning p, switch to p, or (p again) forget p's
    // controllers and stop. The editor calls it for a Control+Shift click on a control.
    void midiLearnToggle(int parameter);       // [ui]
    MidiMap& getMidiMap() { return *midiMap; } // [any]
    // Folder of the assignments file (tests and tools); call before learning starts.
    void setMidiAssignmentsFolder(const std::string& folder); // [ui]
    // While deferred (an editor with an idle loop is open), a change made on the audio thread
    // is written by saveMidiAssignmentsIfChanged instead of at once.
    void setMidiAssignmentsDeferred(bool deferred); // [ui]
    void saveMidiAssignmentsIfChanged();            // [ui]
    // The parameter whose control the editor outlines while it is being learned, -1 for none.
    // The editor's idle polls it (a learn may end on the audio thread).
    int getMarkedParameter() const { return markedParameter.load(std::memory_order_relaxed); }
    // Grows with every program applied (program change, chunk); the editor's idle then shows
    // the current record's page and reloads its step controls.
    unsigned getProgramsApplied() const { return programsApplied.load(std::memory_order_acquire); }

    // ---- Chain order and lanes (plugin/Morvek2Process.cpp) ----
    // Takes a permutation of the module numbers 0..5 as the chain order, live and in the current
    // program; anything else is rejected (false) and changes nothing.
    bool setChainOrder(const std::uint16_t (&order)[kNumModules]); // [any, not audio]
    // One of the editor's four lane commands on lane m, then the whole live lane over the
    // program's copy. Ignored for a module outside 0..5.
    void runLaneCommand(int module, seq::LaneCommand command); // [ui]
    // Copies live lane m into `into` and clears lanesRandomised.
    void laneSnapshot(int module, SeqLane& into); // [ui]
    // Direct step edits into the live lane and the program's copy; bad indices are ignored.
    void setStepValue(int module, int step, float value);        // [ui]
    void setStepGate(int module, int step, bool on);             // [ui]
    void setStepValueLock(int module, int step, bool on);        // [ui]
    void setStepGateLock(int module, int step, bool on);         // [ui]
    int getSamplesPer64() const { return clock.samplesPer64; }   // [audio]
    int getVcaGateCountdown() const { return vcaGateCountdown; } // [audio]

    // One-byte flags raised by the audio thread and polled by the editor's idle.
    std::atomic<std::uint8_t> stepMoved{0};
    std::atomic<std::uint8_t> lanesRandomised{0};

    // ---- Editor window (plugin/Morvek2EditorOwner.cpp) ----
    // The editor the face made for this core, told of every change the window must show. The
    // face detaches it before destroying it; detaching waits for a notification under way on
    // another thread (the audio thread's automation) to finish with it.
    void attachEditor(Morvek2Editor* editor);                        // [ui]
    void detachEditor();                                             // [ui]
    Morvek2Editor* getGuiEditor() const { return guiEditor.load(); } // [any]

protected:
    static int clampModule(int module)
    {
        return (module >= 0 && module < kNumModules) ? module : 0;
    }
    static int clampProgram(int k) { return (k >= 0 && k < kNumPrograms) ? k : 0; }

    // Programs (Morvek2Programs.cpp).
    void buildBank(); // construction: empty records, then the factory programs
    // Applies a record that is already sane to the live state (setProgram's steps). From the
    // audio thread (`live`) the chain order goes only into the live state: the record already
    // holds it, and its lock may be held by a chunk being copied.
    void applyProgram(int k, bool live = false); // [ui], or [audio] under programWriters
    void storeLiveChainOrder(const std::uint16_t (&order)[kNumModules]); // [any]
    // Whether `order` is a permutation of the module numbers.
    static bool isChainOrder(const std::uint16_t (&order)[kNumModules]);
    // Mends a record from outside; fallback values are the parameters' defaults.
    unsigned repairIncoming(ProgramRecord& record); // [ui]

    // MidiMapListener (Morvek2Midi.cpp).
    void midiSetParameter(int index, float value) override;                 // [audio]
    void midiMarkParameter(int index) override;                             // [any]
    void midiUnmarkParameter(int index) override;                           // [any]
    void midiMapChanged(const std::vector<MidiMapEntry>& entries) override; // [any]

    std::array<std::atomic<std::uint16_t>, kNumModules> chainOrder{};
    std::array<SeqLane, kNumModules> lanes{};
    std::array<zksp_smoother, kNumModules> valueSmoothers{};
    std::array<zksp_smoother, kNumModules> gateSmoothers{};
    zksp_smoother outputGainSmoother;
    zksp_smoother activeSmoother;
    std::array<std::atomic<float>, kNumModules> enableFactors{};
    // Index of the Solo parameter that is on; 0 = none.
    std::atomic<int> soloIndex{0};

    std::atomic<float> sampleRateReciprocal{1.0f / kDefaultSampleRate};
    std::atomic<int> inputMode{2};
    std::atomic<int> outputMode{2};

    std::unique_ptr<Morvek2ParameterManager> params;

    // ---- Processing state (plugin/Morvek2Process.cpp) ----
    // The program record edits are written into besides the live state.
    ProgramRecord& editRecord();  // [any]
    void applyStep(int module);   // [audio]
    void advanceLane(int module); // [audio]
    void resetAllLanes();         // [audio]
    void restartHeld();           // [holder] restartProcessing's work
    std::atomic<bool> restartPending{false};
    void controlTick(bool stereo);       // [audio]
    void soloChange(int index, bool on); // [any]
    // The thread that is turning the other Solos off, so a host that answers that automation
    // with a Solo change of its own from inside the callback does not start another round.
    std::atomic<std::thread::id> soloCascadeThread{};
    void updateEnableFactors(); // [any]
    // The clock's reading of the host for this block, and the delay's beat.
    void readTransport(const Morvek2Transport& transport, int frames); // [audio]
    void clockStep(int sample);                                        // [audio]
    // After a sample at which no grid line was crossed: how many of the next samples are sure
    // not to cross one either (clockQuietUntil), found by checking the last of them.
    void findQuietSamples(int sample, double position); // [audio]
    // Every grid counter to its value at `position`, so that only lines crossed after it fire.
    void setGridCounters(double position);        // [audio]
    bool onResetBoundary(std::int32_t c64) const; // [audio]
    // The six engines of one channel in chain order over n samples, in place.
    void runChain(int channel, float* x, int n); // [audio]
    // Both channels, each engine over the stretch for left and right in one loop.
    void runChainPair(float* left, float* right, int n); // [audio]

    CVCAEngine vcaEngines[2];
    CFilterEngine filterEngines[2];
    CDistortEngine distortEngines[2];
    CDelayEngine delayEngines[2];
    CFreqShifterEngine shiftEngines[2];
    CBitsEngine bitsEngines[2];
    // Left and right engine tables by module number.
    std::array<Morvek2Engine*, kNumModules> leftEngines{};
    std::array<Morvek2Engine*, kNumModules> rightEngines{};
    // The chain order packed 3 bits per slot, so the audio thread reads a whole order at once.
    std::atomic<std::uint32_t> packedChainOrder{0};

    // The lanes' grid: counters of the note values crossed so far (audio thread only).
    struct GridCounters
    {
        std::int32_t c64 = 0, c32 = 0, c16 = 0, c8 = 0, c4 = 0, c3 = 0, c15 = 0;
        std::int32_t t16 = 0, t8 = 0, t4 = 0;
    } grid;
    // Where each block stands in the host's transport (audio thread only).
    Morvek2Clock clock;
    // Samples of the running block before this one cross no grid line: clockStep has nothing
    // to do there.
    int clockQuietUntil = 0;
    static constexpr std::int32_t kFirstGateCountdown = 1378;
    std::int32_t vcaGateCountdown = kFirstGateCountdown;
    std::int32_t controlCountdown = 0;
    float outputGain = 0.0f;  // the output-gain smoother's value for the running block
    float activeLevel = 0.0f; // the active smoother's value for the running block
    float gateLevels[kNumModules] = {};
    std::uint32_t runningOrder = 0;
    // What the last control tick computed from: the manager's change count, the step values of
    // the modules' smoothers and the channel count; and the filter's settings it computed. A tick
    // that finds the same inputs sets nothing new. tickForced makes the next tick compute all
    // (after construction and whenever the engines were rebuilt for another rate).
    std::uint32_t tickChanges = 0;
    float tickStepValues[kNumModules] = {};
    bool tickStereo = false;
    bool tickForced = true;
    float tickFilterFrequency = 0.0f;
    float tickFilterResonance = 0.0f;
    float resetMeasures = 0.0f;        // "Reset Interval" for the running block
    float sixtyFourthsPerBeat = 16.0f; // 64 / time-signature denominator
    float resetSpan = 0.0f;            // reset interval in beats

    // ---- Programs and MIDI (plugin/Morvek2Programs.cpp, plugin/Morvek2Midi.cpp) ----
    // The bank of 40 programs.
    ProgramBank bank{};
    // The threads that write records and apply them (chunks, program changes, the chain order,
    // lane commands, names) take turns, so each restore lands whole and applies its own record.
    // Held across callbacks to the host and the editor, hence recursive for one that comes back
    // on the same thread. The audio thread takes no lock: what it writes into the current record
    // (lane positions at resets, re-rolled steps, values through setParameter) are single fields.
    morvek2::RecursiveMutex programWriters;
    // Held while records change in more than one field and while getChunk copies them, never
    // across a callback: a chunk handed out is the records as they stood at one instant.
    // Taken after programWriters, never before.
    std::mutex recordImage;
    // A chunk from the host is mended here before any byte of it reaches the bank (under
    // programWriters).
    ProgramBank chunkIn{};
    // Chunks handed to the host, one pair per calling thread (under recordImage): each stays
    // valid until the next getChunk of the same kind on that thread, however many other threads
    // ask meanwhile. Past kChunkOutThreads the longest unused pair is taken over.
    struct ChunkOut
    {
        std::thread::id thread;
        std::uint64_t lastUse = 0;
        ProgramRecord program;
        ProgramBank bank;
    };
    static constexpr std::size_t kChunkOutThreads = 8;
    std::array<std::unique_ptr<ChunkOut>, kChunkOutThreads> chunkOuts;
    std::uint64_t chunkOutUses = 0;
    ChunkOut* chunkOutForThisThread(); // [ui] under recordImage; null when out of memory
    std::atomic<unsigned> programsApplied{0};
    std::array<float, kNumParams> defaultValues{};

    std::unique_ptr<MidiMap> midiMap;
    MidiAssignmentsFile midiFile;
    std::atomic<bool> midiFileDeferred{false};
    std::atomic<unsigned> midiFileWrittenCount{0};
    std::atomic<int> markedParameter{-1};
    // One writer at a time for the file and its folder (editor idle, learn toggle, writer).
    std::mutex midiFileMutex;
    // A map change on the audio thread raises midiFilePending; the writer thread, started at the
    // first learn toggle, polls it and writes the file. The destructor stops it, and whatever is
    // still unwritten (all of it, when no writer thread could be made) is written then.
    void startMidiFileWriter(); // [ui]
    void stopMidiFileWriter();  // [ui]
    void runMidiFileWriter();   // writer thread
    // Makes the writer thread running runMidiFileWriter; throws std::system_error when the
    // system cannot make one. Virtual only so a test can stand for such a system.
    virtual std::thread launchMidiFileWriter(); // [ui]
    std::atomic<bool> midiFilePending{false};
    std::mutex midiWriterMutex;
    std::condition_variable midiWriterWake;
    bool midiWriterStop = false; // guarded by midiWriterMutex
    std::thread midiWriter;

    // ---- Rate changes and resets that land on the audio thread (plugin/Morvek2.cpp) ----
    // A new rate with the delay memory made for it on the calling thread, or a reset with
    // zeroed memory the delay lines take in place of theirs. Whoever holds the engines applies
    // it; the old memory then travels back in the same record, which is freed on a thread that
    // is not the audio thread.
    struct RateChange
    {
        float rate = 0.0f;
        zksp_delay_memory delayMemory[2];
        RateChange* next = nullptr; // in the list of applied changes
    };
    enum EngineHolder : int { kEnginesFree = 0, kEnginesAudio = 1, kEnginesChanging = 2 };
    // A record with both delay lines' zeroed memory for `rate`; null when it cannot be made.
    RateChange* makeChange(float rate); // [any, not audio] allocates
    // A reset's record: zeroed memory of the size each line has once the changes published so
    // far are in force; null when it cannot be made. Called with rateMutex held.
    RateChange* makeReset(); // [any, not audio] allocates
    // Applies the pending rate change and the pending reset; the caller holds the engines.
    void applyPendingChanges(); // [holder]
    // Applies what is pending at once when no block is running; otherwise the audio thread
    // applies it at its next block start.
    void applyPendingIfIdle();              // [any, not audio]
    void releaseAppliedChanges();           // [any, not audio]
    void handBack(RateChange* change);      // [holder] to the list of applied changes
    void discardChange(RateChange* change); // [any, not audio] frees all but inPlaceReset
    static void freeRateChange(RateChange* change);
    std::atomic<int> engineHolder{kEnginesFree};
    std::atomic<RateChange*> pendingRateChange{nullptr};
    // A pending reset: its record holds zeroed memory for the rate last asked for, or it is
    // inPlaceReset when none could be made (the lines are then cleared where it lands).
    std::atomic<RateChange*> pendingReset{nullptr};
    RateChange inPlaceReset;
    std::atomic<RateChange*> appliedRateChanges{nullptr};
    // One caller at a time from reading the rate last asked for to publishing a change made for
    // it (setSampleRate, suspend): the change published last is the rate set last, and a
    // reset's memory fits the rate of the last change published before it. The audio thread
    // never takes it.
    std::mutex rateMutex;
    float requestedRate = kDefaultSampleRate; // guarded by rateMutex
    // The size of each delay line once the changes published so far are in force.
    int publishedLineSizes[2] = {0, 0}; // guarded by rateMutex

public:
    // Held by processReplacing for its block: while it holds the engines no other thread
    // replaces their memory or resets them. Without them (a change is being put in place that
    // very moment) the block is silent.
    class AudioBlockScope
    {
    public:
        explicit AudioBlockScope(Morvek2Core& plugin);
        ~AudioBlockScope();
        AudioBlockScope(const AudioBlockScope&) = delete;
        AudioBlockScope& operator=(const AudioBlockScope&) = delete;
        bool holdsEngines() const { return held; }

    private:
        Morvek2Core& plugin;
        bool held;
    };

protected:
    // ---- Editor window (plugin/Morvek2EditorOwner.cpp) ----
    // Tell the editor what changed; it shows it now or at its next idle.
    void editorParameterChanged(int index);                             // [any]
    void editorProgramChanged();                                        // [any]
    void editorLaneChanged();                                           // [any]
    void editorOrderChanged(const std::uint16_t (&order)[kNumModules]); // [any]
    void editorLearnMark(int index, bool on);                           // [any]
    Morvek2EditorLink editorLink{*this};
    // Notifications count themselves in `editorUsers` before they read `guiEditor` (both
    // sequentially consistent), so a detach that has cleared the pointer and then sees no user
    // knows that nobody holds the old editor.
    std::atomic<Morvek2Editor*> guiEditor{nullptr};
    std::atomic<int> editorUsers{0};
    class EditorUse;

    Morvek2CoreHost* coreHost = nullptr;
    std::atomic<float> sampleRate{kDefaultSampleRate};
    std::atomic<int> curProgram{0};
};
