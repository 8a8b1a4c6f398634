// The VST3 face: the module's factory and one object that is the component, the audio processor
// and the edit controller at once (the controller's class ID is therefore not given; hosts ask
// the component itself for the controller). It translates the host's calls, process context and
// parameter queues into the core's terms and adds nothing to the sound.
#include "base/ModulePin.h"
#include "params/Morvek2ParameterManager.h"
#include "params/PortMapping.h"
#include "plugin/Morvek2Core.h"
#include "plugin/Morvek2Transport.h"
#include "vst3/vst3_abi.h"
#if defined(MORVEK2_WITH_EDITOR)
#include "vst3/Vst3View.h"
#endif

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <vector>
#if defined(_WIN32)
#include "base/ThreadWord.h"
#endif

using namespace morvek2::vst3;

namespace {

constexpr int kNumParams = Morvek2Core::kNumParams;
// The host's program list: one parameter after the sound's own, stepping through the programs.
constexpr ParamId kProgramParam = kNumParams;
// The one unit (the root) carries the one program list: the factory programs.
constexpr std::int32_t kProgramListId = 1;
// Once released, never changed: hosts store it in their projects.
constexpr Iid kClassId = makeIid(0x6D3A91C4, 0x2B7E4F08, 0xA15C93D2, 0x7E40B1F6);
// A state larger than this is not ours (a program record is a few kilobytes).
constexpr std::int64_t kMaxStateBytes = 1 << 20;
// MIDI controllers reach the plug-in as hidden parameters, one per controller number on every
// channel (the learned assignments ignore the channel), listed after the program parameter.
constexpr int kNumControllers = 128;
constexpr ParamId kFirstControllerParam = 1000;
constexpr std::int32_t kParamCount = kNumParams + 1 + kNumControllers;
// Queues of one block taken into account; a host sends at most one per parameter.
constexpr int kMaxQueues = kParamCount;

bool isControllerParam(ParamId id)
{
    return id >= kFirstControllerParam && id < kFirstControllerParam + kNumControllers;
}

class Face;

// What the host holds for each interface: the table pointer and the way back to the object.
struct Port
{
    const void* table;
    Face* owner;
};

Face* faceOf(void* self)
{
    return static_cast<Port*>(self)->owner;
}

class Face : private Morvek2CoreHost
{
public:
    Face();
    ~Face() override = default;

    Port component;
    Port processor;
    Port controller;
    Port requirements;
    Port midiMapping;
    Port unitInfo;
    std::atomic<std::uint32_t> references{1};

    std::unique_ptr<Morvek2Core> core;
    std::unique_ptr<morvek2::PortMapping> map;
    // Texts for values other than the current ones come from this copy of the parameters.
    std::unique_ptr<Morvek2ParameterManager> scratch;
    float defaults[kNumParams] = {};
    double sampleRate = Morvek2Core::kDefaultSampleRate;
    void* handler = nullptr; // IComponentHandler, referenced
    // What the host last set each controller parameter to, for it to read back. [ui]
    double controllerValues[kNumControllers] = {};

    // Per-queue read positions of the running block (audio thread only).
    void* queues[kMaxQueues] = {};
    std::int32_t cursor[kMaxQueues] = {};
    std::int32_t points[kMaxQueues] = {};
    // Changes the core makes inside process go to the block's output changes at `outOffset`,
    // others to the component handler.
    void* outChanges = nullptr; // [audio]
    std::int32_t outOffset = 0; // [audio]
    // A program change the audio thread could not apply yet (another thread was restoring
    // state), tried again with the next block; -1 for none.
    int retryProgram = -1; // [audio]
    // Raised when a program change altered the parameters' values without the host's knowing.
    // restartComponent tells it, but never from process nor from inside the host's own call
    // that changed the program: the editor's idle, and the host's next asking for parameter
    // texts or descriptions (calls made to show them, outside its processing), pass it on.
    std::atomic<bool> valuesChanged{false};

    Result query(const std::uint8_t* iid, void** object);
    void process(ProcessData& data);                                      // [audio]
    void displayFor(int index, float normalised, char* text, int length); // [ui]
    void changeProgram(int program);                                      // [audio]
    void tellHostOfNewValues(); // [ui] for the editor's idle too

private:
    void parameterAutomated(int index, float normalised) override; // [any]
};

// ---- FUnknown shared by all four tables

Result MORVEK2_VST3_CALL queryInterface(void* self, const std::uint8_t* iid, void** object)
{
    return faceOf(self)->query(iid, object);
}

std::uint32_t MORVEK2_VST3_CALL addRef(void* self)
{
    return faceOf(self)->references.fetch_add(1, std::memory_order_relaxed) + 1;
}

std::uint32_t MORVEK2_VST3_CALL release(void* self)
{
    Face* f = faceOf(self);
    const std::uint32_t left = f->references.fetch_sub(1, std::memory_order_acq_rel) - 1;
    if (left == 0) {
        if (f->handler)
            tableOf<UnknownTable>(f->handler).release(f->handler);
        delete f;
    }
    return left;
}

constexpr UnknownTable kUnknown = {queryInterface, addRef, release};

// ---- Helpers

int programOf(double normalised)
{
    const long k = std::lround(normalised * (Morvek2Core::kNumPrograms - 1));
    return static_cast<int>(k < 0 ? 0 : (k >= Morvek2Core::kNumPrograms ? 0 : k));
}

void copyText(char* to, std::size_t size, const char* from)
{
    std::snprintf(to, size, "%s", from);
}

Result readStream(void* stream, std::vector<std::uint8_t>& bytes) // [ui]
{
    if (!stream)
        return kInvalidArgument;
    const BStreamTable& s = tableOf<BStreamTable>(stream);
    std::uint8_t piece[4096];
    for (;;) {
        std::int32_t got = 0;
        if (s.read(stream, piece, sizeof piece, &got) != kResultOk || got <= 0)
            break;
        if (got > static_cast<std::int32_t>(sizeof piece) ||
            static_cast<std::int64_t>(bytes.size()) + got > kMaxStateBytes)
            return kResultFalse;
        bytes.insert(bytes.end(), piece, piece + got);
    }
    return kResultOk;
}

// ---- IComponent

Result MORVEK2_VST3_CALL initialize(void*, void*)
{
    return kResultOk;
}

Result MORVEK2_VST3_CALL terminate(void*)
{
    return kResultOk;
}

Result MORVEK2_VST3_CALL getControllerClassId(void*, std::uint8_t*)
{
    return kResultFalse; // the component is its own controller
}

Result MORVEK2_VST3_CALL setIoMode(void*, std::int32_t)
{
    return kNotImplemented;
}

// One stereo bus each way, and one MIDI input: hosts give MIDI only to a plug-in with an event
// input, and translate its controllers through IMidiMapping for that bus. The events themselves
// change nothing (notes do not play this effect).
bool isBus(std::int32_t type, std::int32_t dir, std::int32_t index)
{
    return index == 0 && (dir == kInput || (dir == kOutput && type == kAudio)) &&
           (type == kAudio || type == kEvent);
}

std::int32_t MORVEK2_VST3_CALL getBusCount(void*, std::int32_t type, std::int32_t dir)
{
    return isBus(type, dir, 0) ? 1 : 0;
}

Result MORVEK2_VST3_CALL getBusInfo(void*, std::int32_t type, std::int32_t dir, std::int32_t index,
                                    BusInfo* info)
{
    if (!info || !isBus(type, dir, index))
        return kInvalidArgument;
    std::memset(info, 0, sizeof *info);
    info->mediaType = type;
    info->direction = dir;
    info->channelCount = type == kEvent ? 16 : 2;
    toString16(type == kEvent ? "MIDI In" : (dir == kInput ? "Stereo In" : "Stereo Out"),
               info->name, 128);
    info->busType = kMain;
    info->flags = kBusDefaultActive;
    return kResultOk;
}

Result MORVEK2_VST3_CALL getRoutingInfo(void*, RoutingInfo*, RoutingInfo*)
{
    return kNotImplemented;
}

Result MORVEK2_VST3_CALL activateBus(void*, std::int32_t type, std::int32_t dir, std::int32_t index,
                                     TBool)
{
    return isBus(type, dir, index) ? kResultOk : kInvalidArgument;
}

Result MORVEK2_VST3_CALL setActive(void* self, TBool state)
{
    Face* f = faceOf(self);
    if (state)
        f->core->resume();
    else
        f->core->suspend();
    return kResultOk;
}

// The same bytes as the VST2 program chunk: the current program's record.
Result MORVEK2_VST3_CALL setState(void* self, void* stream)
{
    std::vector<std::uint8_t> bytes;
    try {
        const Result r = readStream(stream, bytes);
        if (r != kResultOk)
            return r;
    } catch (...) {
        return kInternalError;
    }
    if (bytes.empty())
        return kResultFalse;
    // The core refuses bytes that are not a program and leaves everything as it was.
    return faceOf(self)->core->setChunk(bytes.data(), static_cast<int>(bytes.size()), true)
               ? kResultOk
               : kResultFalse;
}

Result MORVEK2_VST3_CALL getState(void* self, void* stream)
{
    if (!stream)
        return kInvalidArgument;
    void* data = nullptr;
    const int size = faceOf(self)->core->getChunk(&data, true);
    if (size <= 0 || !data)
        return kInternalError;
    std::int32_t written = 0;
    const Result r = tableOf<BStreamTable>(stream).write(stream, data, size, &written);
    return r == kResultOk && written == size ? kResultOk : kResultFalse;
}

constexpr ComponentTable kComponent = {
    {kUnknown, initialize, terminate},
    getControllerClassId,
    setIoMode,
    getBusCount,
    getBusInfo,
    getRoutingInfo,
    activateBus,
    setActive,
    setState,
    getState,
};

// ---- IAudioProcessor

Result MORVEK2_VST3_CALL setBusArrangements(void*, SpeakerArrangement* ins, std::int32_t numIns,
                                            SpeakerArrangement* outs, std::int32_t numOuts)
{
    const bool stereo = numIns == 1 && numOuts == 1 && ins && outs && ins[0] == kSpeakerStereo &&
                        outs[0] == kSpeakerStereo;
    return stereo ? kResultTrue : kResultFalse;
}

Result MORVEK2_VST3_CALL getBusArrangement(void*, std::int32_t dir, std::int32_t index,
                                           SpeakerArrangement* arrangement)
{
    if (!arrangement || index != 0 || (dir != kInput && dir != kOutput))
        return kInvalidArgument;
    *arrangement = kSpeakerStereo;
    return kResultOk;
}

Result MORVEK2_VST3_CALL canProcessSampleSize(void*, std::int32_t size)
{
    return size == kSample32 ? kResultTrue : kResultFalse;
}

std::uint32_t MORVEK2_VST3_CALL getLatencySamples(void*)
{
    return 0;
}

Result MORVEK2_VST3_CALL setupProcessing(void* self, ProcessSetup* setup)
{
    if (!setup || setup->sampleSize != kSample32)
        return kResultFalse;
    Face* f = faceOf(self);
    if (std::isfinite(setup->sampleRate) && setup->sampleRate > 0.0) {
        f->sampleRate = setup->sampleRate;
        f->core->setSampleRate(static_cast<float>(setup->sampleRate));
    }
    return kResultOk;
}

Result MORVEK2_VST3_CALL setProcessing(void*, TBool)
{
    return kResultOk;
}

Result MORVEK2_VST3_CALL processBlock(void* self, ProcessData* data) // [audio]
{
    if (!data)
        return kInvalidArgument;
    if (data->sampleSize != kSample32)
        return kResultFalse;
    faceOf(self)->process(*data);
    return kResultOk;
}

std::uint32_t MORVEK2_VST3_CALL getTailSamples(void*)
{
    return 0;
}

constexpr AudioProcessorTable kProcessor = {
    kUnknown,        setBusArrangements, getBusArrangement, canProcessSampleSize, getLatencySamples,
    setupProcessing, setProcessing,      processBlock,      getTailSamples,
};

std::uint32_t MORVEK2_VST3_CALL getProcessContextRequirements(void*)
{
    return kNeedContinousTime | kNeedProjectTimeMusic | kNeedBarPositionMusic | kNeedTempo |
           kNeedTimeSignature | kNeedTransportState;
}

constexpr ProcessContextRequirementsTable kRequirements = {kUnknown, getProcessContextRequirements};

// The host's context in the core's terms, `offset` frames into the block.
Morvek2Transport transportOf(const ProcessContext* c, std::int32_t offset) // [audio]
{
    Morvek2Transport t;
    if (!c)
        return t;
    t.present = true;
    t.playing = (c->state & kContextPlaying) != 0;
    t.tempo = c->tempo;
    t.tempoPresent = (c->state & kContextTempoValid) != 0;
    t.position = c->projectTimeMusic;
    t.positionPresent = (c->state & kContextProjectTimeValid) != 0;
    t.samplePosition = static_cast<double>(c->projectTimeSamples);
    t.samplePositionPresent = true;
    t.numerator = c->timeSigNumerator;
    t.denominator = c->timeSigDenominator;
    t.signaturePresent = (c->state & kContextTimeSigValid) != 0;
    t.barStart = c->barPositionMusic;
    t.barStartPresent = (c->state & kContextBarPositionValid) != 0;
    if (offset > 0 && t.playing) {
        // Later in a split block: the transport has run on by `offset` frames.
        t.samplePosition += offset;
        if (c->sampleRate > 0.0 && t.tempo > 0.0)
            t.position += offset * (t.tempo / (60.0 * c->sampleRate));
        const double bar =
            t.numerator > 0 && t.denominator > 0 ? t.numerator * 4.0 / t.denominator : 0.0;
        if (t.barStartPresent && bar > 0.0)
            t.barStart = std::floor(t.position / bar) * bar;
    }
    return t;
}

void Face::changeProgram(int program) // [audio]
{
    if (program == core->getProgram()) {
        retryProgram = -1;
        return; // the controller took it already, or the host repeats itself
    }
    if (core->trySetProgram(program)) {
        retryProgram = -1;
        valuesChanged.store(true, std::memory_order_release);
    } else {
        retryProgram = program;
    }
}

void Face::tellHostOfNewValues() // [ui]
{
    if (handler && valuesChanged.exchange(false, std::memory_order_acq_rel))
        tableOf<ComponentHandlerTable>(handler).restartComponent(handler,
                                                                 kRestartParamValuesChanged);
}

// The face whose process runs on this thread, if any. Kept where reading and writing it never
// allocates: the module's static thread storage, or on Windows a slot of the system's per-thread
// table (a thread id from this module's own copy of the threads library would allocate on a
// host thread's first block).
#if defined(_WIN32)
ThreadWord processingWord;
Face* processingHere()
{
    return reinterpret_cast<Face*>(processingWord.get());
}
void setProcessingHere(Face* face)
{
    processingWord.set(reinterpret_cast<std::uintptr_t>(face));
}
#else
#if defined(__GNUC__)
[[gnu::tls_model("initial-exec")]]
#endif
thread_local Face* processing = nullptr;
Face* processingHere()
{
    return processing;
}
void setProcessingHere(Face* face)
{
    processing = face;
}
#endif

// A change the core made by itself (the Solo cascade) as a user's change the host records.
void Face::parameterAutomated(int index, float normalised) // [any]
{
    const ParamId id = static_cast<ParamId>(index);
    if (processingHere() == this) {
        // Inside process: into the block's output changes, at the frame where it happened.
        if (!outChanges)
            return;
        std::int32_t slot = 0;
        void* queue =
            tableOf<ParameterChangesTable>(outChanges).addParameterData(outChanges, &id, &slot);
        if (queue)
            tableOf<ParamValueQueueTable>(queue).addPoint(queue, outOffset, normalised, &slot);
        return;
    }
    if (!handler)
        return;
    const ComponentHandlerTable& h = tableOf<ComponentHandlerTable>(handler);
    h.beginEdit(handler, id);
    h.performEdit(handler, id, normalised);
    h.endEdit(handler, id);
}

void Face::process(ProcessData& data) // [audio]
{
    const std::int32_t frames = data.numSamples;
    int count = 0;
    setProcessingHere(this);
    outChanges = data.outputParameterChanges;
    outOffset = 0;
    if (retryProgram >= 0)
        changeProgram(retryProgram);
    if (void* changes = data.inputParameterChanges) {
        const ParameterChangesTable& pc = tableOf<ParameterChangesTable>(changes);
        const std::int32_t n = pc.getParameterCount(changes);
        for (std::int32_t k = 0; k < n && count < kMaxQueues; ++k) {
            void* q = pc.getParameterData(changes, k);
            if (!q)
                continue;
            const ParamId id = tableOf<ParamValueQueueTable>(q).getParameterId(q);
            if (id > kProgramParam && !isControllerParam(id))
                continue;
            queues[count] = q;
            cursor[count] = 0;
            points[count] = tableOf<ParamValueQueueTable>(q).getPointCount(q);
            ++count;
        }
    }

    float* ins[2] = {nullptr, nullptr};
    float* outs[2] = {nullptr, nullptr};
    const bool audio = frames > 0 && data.numInputs > 0 && data.numOutputs > 0 && data.inputs &&
                       data.outputs && data.inputs[0].numChannels >= 2 &&
                       data.outputs[0].numChannels >= 2 && data.inputs[0].channelBuffers32 &&
                       data.outputs[0].channelBuffers32;
    if (audio) {
        for (int c = 0; c < 2; ++c) {
            ins[c] = data.inputs[0].channelBuffers32[c];
            outs[c] = data.outputs[0].channelBuffers32[c];
        }
        if (!ins[0] || !ins[1] || !outs[0] || !outs[1]) {
            setProcessingHere(nullptr);
            return;
        }
        data.outputs[0].silenceFlags = 0;
    }

    // Each parameter's points up to `done` apply before the frames from `done` on, as a VST2
    // host's setParameter calls arrive before its block; the block is split at later points.
    std::int32_t done = audio ? 0 : frames;
    for (;;) {
        std::int32_t next = frames;
        outOffset = done < frames ? done : (frames > 0 ? frames - 1 : 0);
        for (int k = 0; k < count; ++k) {
            const ParamValueQueueTable& q = tableOf<ParamValueQueueTable>(queues[k]);
            while (cursor[k] < points[k]) {
                std::int32_t offset = 0;
                double value = 0.0;
                if (q.getPoint(queues[k], cursor[k], &offset, &value) != kResultOk) {
                    cursor[k] = points[k];
                    break;
                }
                if (offset > done && done < frames) {
                    next = offset < next ? offset : next;
                    break;
                }
                const ParamId id = q.getParameterId(queues[k]);
                if (isControllerParam(id)) {
                    // The control change a VST2 host would have sent, on the first channel.
                    const double v = std::isfinite(value) ? std::clamp(value, 0.0, 1.0) : 0.0;
                    core->receiveMidi(0xB0, static_cast<std::uint8_t>(id - kFirstControllerParam),
                                      static_cast<std::uint8_t>(std::lround(v * 127.0)));
                } else if (id == kProgramParam) {
                    changeProgram(programOf(value));
                } else {
                    core->setParameter(static_cast<int>(id), static_cast<float>(value));
                }
                ++cursor[k];
            }
        }
        if (!audio || done >= frames)
            break;
        float* spanIns[2] = {ins[0] + done, ins[1] + done};
        float* spanOuts[2] = {outs[0] + done, outs[1] + done};
        core->process(spanIns, spanOuts, next - done, transportOf(data.processContext, done));
        done = next;
    }
    outChanges = nullptr;
    setProcessingHere(nullptr);
}

// ---- IEditController

Result MORVEK2_VST3_CALL setComponentState(void*, void*)
{
    return kResultOk; // the component is this object: its state is already here
}

Result MORVEK2_VST3_CALL controllerSetState(void*, void*)
{
    return kResultOk;
}

Result MORVEK2_VST3_CALL controllerGetState(void*, void*)
{
    return kResultOk;
}

std::int32_t MORVEK2_VST3_CALL getParameterCount(void*)
{
    return kParamCount;
}

std::int32_t stepsOf(const morvek2::PortForm& form)
{
    if (form.kind == morvek2::PortKind::kToggle)
        return 1;
    if (form.kind == morvek2::PortKind::kContinuous)
        return 0;
    return static_cast<std::int32_t>(std::lround(form.maximum - form.minimum));
}

Result MORVEK2_VST3_CALL getParameterInfo(void* self, std::int32_t index, ParameterInfo* info)
{
    if (!info || index < 0 || index >= kParamCount)
        return kInvalidArgument;
    Face* f = faceOf(self);
    f->tellHostOfNewValues();
    std::memset(info, 0, sizeof *info);
    info->id = static_cast<ParamId>(index);
    info->unitId = 0;
    if (index > kNumParams) {
        const int cc = index - kNumParams - 1;
        char text[32];
        std::snprintf(text, sizeof text, "MIDI CC %d", cc);
        info->id = kFirstControllerParam + static_cast<ParamId>(cc);
        toString16(text, info->title, 128);
        toString16(text, info->shortTitle, 128);
        info->stepCount = 127;
        info->flags = kParamIsHidden | kParamReadOnly;
        return kResultOk;
    }
    if (index == kNumParams) {
        toString16("Program", info->title, 128);
        toString16("Program", info->shortTitle, 128);
        info->stepCount = Morvek2Core::kNumPrograms - 1;
        info->unitId = kRootUnitId;
        info->flags = kParamIsList | kParamIsProgramChange;
        return kResultOk;
    }
    char text[64];
    f->core->getParameterName(index, text, sizeof text);
    toString16(text, info->title, 128);
    toString16(text, info->shortTitle, 128);
    f->core->getParameterLabel(index, text, sizeof text);
    toString16(text, info->units, 128);
    const morvek2::PortForm& form = f->map->form(index);
    info->stepCount = stepsOf(form);
    info->defaultNormalizedValue = f->defaults[index];
    info->flags = kParamCanAutomate;
    if (form.kind == morvek2::PortKind::kEnumeration)
        info->flags |= kParamIsList;
    return kResultOk;
}

void Face::displayFor(int index, float normalised, char* text, int length) // [ui]
{
    for (int i = 0; i < kNumParams; ++i)
        scratch->setValue(i, core->getParameter(i));
    scratch->setValue(index, normalised);
    scratch->getDisplay(index, text, length);
}

Result MORVEK2_VST3_CALL getParamStringByValue(void* self, ParamId id, double normalised,
                                               Char16* out)
{
    if (!out || (id > kProgramParam && !isControllerParam(id)))
        return kInvalidArgument;
    Face* f = faceOf(self);
    f->tellHostOfNewValues();
    char text[64] = {};
    if (isControllerParam(id)) {
        std::snprintf(text, sizeof text, "%ld",
                      std::lround(std::clamp(normalised, 0.0, 1.0) * 127));
    } else if (id == kProgramParam) {
        f->core->getProgramNameIndexed(programOf(normalised), text);
    } else {
        f->displayFor(static_cast<int>(id), static_cast<float>(normalised), text, sizeof text);
    }
    toString16(text, out, 128);
    return kResultOk;
}

// Text compared as a host user would type it: without the spaces around it.
bool sameText(const char* a, const char* b)
{
    auto trim = [](const char*& s, std::size_t& n) {
        while (*s == ' ')
            ++s;
        n = std::strlen(s);
        while (n > 0 && s[n - 1] == ' ')
            --n;
    };
    std::size_t na = 0, nb = 0;
    trim(a, na);
    trim(b, nb);
    return na == nb && std::strncmp(a, b, na) == 0;
}

Result MORVEK2_VST3_CALL getParamValueByString(void* self, ParamId id, Char16* input,
                                               double* normalised)
{
    if (!input || !normalised || (id > kProgramParam && !isControllerParam(id)))
        return kInvalidArgument;
    Face* f = faceOf(self);
    char wanted[128];
    toString8(input, wanted, sizeof wanted);
    char text[64];
    if (isControllerParam(id)) {
        char* end = nullptr;
        const double value = std::strtod(wanted, &end);
        if (end == wanted || !(value >= 0.0 && value <= 127.0))
            return kResultFalse;
        *normalised = value / 127.0;
        return kResultOk;
    }
    if (id == kProgramParam) {
        for (int k = 0; k < Morvek2Core::kNumPrograms; ++k) {
            if (f->core->getProgramNameIndexed(k, text) && sameText(text, wanted)) {
                *normalised = static_cast<double>(k) / (Morvek2Core::kNumPrograms - 1);
                return kResultOk;
            }
        }
        return kResultFalse;
    }
    const int index = static_cast<int>(id);
    const morvek2::PortForm& form = f->map->form(index);
    const std::int32_t steps = stepsOf(form);
    // The values a text can stand for: each step of a list or switch, or a fine scan of a
    // continuous range, where the nearest number wins when no text is the same.
    const int candidates = steps > 0 ? steps + 1 : 2001;
    char* end = nullptr;
    const double number = std::strtod(wanted, &end);
    const bool numeric = end != wanted && std::isfinite(number);
    double best = -1.0, bestDistance = INFINITY;
    for (int k = 0; k < candidates; ++k) {
        const float n = steps > 0 ? f->map->toNormalised(index, form.minimum + k)
                                  : static_cast<float>(k) / (candidates - 1);
        f->displayFor(index, n, text, sizeof text);
        if (sameText(text, wanted)) {
            *normalised = n;
            return kResultOk;
        }
        if (numeric) {
            char* e = nullptr;
            const double shown = std::strtod(text, &e);
            if (e != text && std::fabs(shown - number) < bestDistance) {
                bestDistance = std::fabs(shown - number);
                best = n;
            }
        }
    }
    if (best < 0.0)
        return kResultFalse;
    *normalised = best;
    return kResultOk;
}

double MORVEK2_VST3_CALL normalizedParamToPlain(void* self, ParamId id, double normalised)
{
    if (id == kProgramParam)
        return programOf(normalised);
    if (isControllerParam(id))
        return normalised * 127.0;
    if (id >= kProgramParam)
        return normalised;
    return faceOf(self)->map->toPlain(static_cast<int>(id), static_cast<float>(normalised));
}

double MORVEK2_VST3_CALL plainParamToNormalized(void* self, ParamId id, double plain)
{
    if (id == kProgramParam)
        return plain / (Morvek2Core::kNumPrograms - 1);
    if (isControllerParam(id))
        return plain / 127.0;
    if (id >= kProgramParam)
        return plain;
    return faceOf(self)->map->toNormalised(static_cast<int>(id), static_cast<float>(plain));
}

double MORVEK2_VST3_CALL getParamNormalized(void* self, ParamId id)
{
    Face* f = faceOf(self);
    if (id == kProgramParam)
        return static_cast<double>(f->core->getProgram()) / (Morvek2Core::kNumPrograms - 1);
    if (isControllerParam(id))
        return f->controllerValues[id - kFirstControllerParam];
    if (id >= kProgramParam)
        return 0.0;
    return f->core->getParameter(static_cast<int>(id));
}

Result MORVEK2_VST3_CALL setParamNormalized(void* self, ParamId id, double normalised)
{
    Face* f = faceOf(self);
    if (id == kProgramParam) {
        const int k = programOf(normalised);
        if (k != f->core->getProgram()) {
            f->core->setProgram(k);
            // The program's parameters are new to the host too; it hears of them later, not
            // from inside this call (Ardour 7 holds the lock its restart handler takes).
            f->valuesChanged.store(true, std::memory_order_release);
        }
        return kResultOk;
    }
    if (isControllerParam(id) && std::isfinite(normalised)) {
        // The processor hears it through its queue; the controller only remembers it.
        f->controllerValues[id - kFirstControllerParam] = std::clamp(normalised, 0.0, 1.0);
        return kResultOk;
    }
    if (id >= kProgramParam || !std::isfinite(normalised))
        return kInvalidArgument;
    f->core->setParameter(static_cast<int>(id), static_cast<float>(normalised));
    return kResultOk;
}

Result MORVEK2_VST3_CALL setComponentHandler(void* self, void* handler)
{
    Face* f = faceOf(self);
    if (handler == f->handler)
        return kResultOk;
    if (handler)
        tableOf<UnknownTable>(handler).addRef(handler);
    if (f->handler)
        tableOf<UnknownTable>(f->handler).release(f->handler);
    f->handler = handler;
    f->tellHostOfNewValues();
    return kResultOk;
}

void* MORVEK2_VST3_CALL createView(void* self, const char* name)
{
#if defined(MORVEK2_WITH_EDITOR)
    if (name && std::strcmp(name, "editor") == 0) {
        Face* f = faceOf(self);
        return createEditorView(*f->core, &f->controller, &f->handler);
    }
#else
    (void)self;
    (void)name;
#endif
    return nullptr;
}

// ---- IMidiMapping

Result MORVEK2_VST3_CALL getMidiControllerAssignment(void*, std::int32_t bus, std::int16_t channel,
                                                     std::int16_t controller, ParamId* id)
{
    if (!id || bus != 0 || channel < 0 || channel > 15 || controller < 0 ||
        controller >= kNumControllers)
        return kResultFalse;
    *id = kFirstControllerParam + static_cast<ParamId>(controller);
    return kResultTrue;
}

constexpr MidiMappingTable kMidiMapping = {kUnknown, getMidiControllerAssignment};

// ---- IUnitInfo: the root unit and its program list, the factory programs by their names

std::int32_t MORVEK2_VST3_CALL getUnitCount(void*)
{
    return 1;
}

Result MORVEK2_VST3_CALL getUnitInfo(void*, std::int32_t index, UnitInfo* info)
{
    if (!info || index != 0)
        return kInvalidArgument;
    std::memset(info, 0, sizeof *info);
    info->id = kRootUnitId;
    info->parentUnitId = kNoParentUnitId;
    toString16("Root", info->name, 128);
    info->programListId = kProgramListId;
    return kResultOk;
}

std::int32_t MORVEK2_VST3_CALL getProgramListCount(void*)
{
    return 1;
}

Result MORVEK2_VST3_CALL getProgramListInfo(void*, std::int32_t index, ProgramListInfo* info)
{
    if (!info || index != 0)
        return kInvalidArgument;
    std::memset(info, 0, sizeof *info);
    info->id = kProgramListId;
    toString16("Programs", info->name, 128);
    info->programCount = Morvek2Core::kNumPrograms;
    return kResultOk;
}

Result MORVEK2_VST3_CALL getProgramName(void* self, std::int32_t listId, std::int32_t index,
                                        Char16* name)
{
    char text[Morvek2Core::kProgramNameOut] = {};
    if (!name || listId != kProgramListId ||
        !faceOf(self)->core->getProgramNameIndexed(index, text))
        return kInvalidArgument;
    toString16(text, name, 128);
    return kResultOk;
}

Result MORVEK2_VST3_CALL getProgramInfo(void*, std::int32_t, std::int32_t, const char*, Char16*)
{
    return kResultFalse;
}

Result MORVEK2_VST3_CALL hasProgramPitchNames(void*, std::int32_t, std::int32_t)
{
    return kResultFalse;
}

Result MORVEK2_VST3_CALL getProgramPitchName(void*, std::int32_t, std::int32_t, std::int16_t,
                                             Char16*)
{
    return kResultFalse;
}

std::int32_t MORVEK2_VST3_CALL getSelectedUnit(void*)
{
    return kRootUnitId;
}

Result MORVEK2_VST3_CALL selectUnit(void*, std::int32_t unitId)
{
    return unitId == kRootUnitId ? kResultOk : kInvalidArgument;
}

// Both buses and all their channels belong to the root unit.
Result MORVEK2_VST3_CALL getUnitByBus(void*, std::int32_t type, std::int32_t dir,
                                      std::int32_t busIndex, std::int32_t channel,
                                      std::int32_t* unitId)
{
    if (!unitId || type != kAudio || (dir != kInput && dir != kOutput) || busIndex != 0 ||
        channel < 0 || channel > 1)
        return kResultFalse;
    *unitId = kRootUnitId;
    return kResultOk;
}

Result MORVEK2_VST3_CALL setUnitProgramData(void*, std::int32_t, std::int32_t, void*)
{
    return kNotImplemented; // programs come in as the component's state
}

constexpr UnitInfoTable kUnitInfo = {
    kUnknown,       getUnitCount,   getUnitInfo,          getProgramListCount, getProgramListInfo,
    getProgramName, getProgramInfo, hasProgramPitchNames, getProgramPitchName, getSelectedUnit,
    selectUnit,     getUnitByBus,   setUnitProgramData,
};

constexpr EditControllerTable kController = {
    {kUnknown, initialize, terminate},
    setComponentState,
    controllerSetState,
    controllerGetState,
    getParameterCount,
    getParameterInfo,
    getParamStringByValue,
    getParamValueByString,
    normalizedParamToPlain,
    plainParamToNormalized,
    getParamNormalized,
    setParamNormalized,
    setComponentHandler,
    createView,
};

Face::Face()
    : component{&kComponent, this}, processor{&kProcessor, this}, controller{&kController, this},
      requirements{&kRequirements, this}, midiMapping{&kMidiMapping, this}, unitInfo{&kUnitInfo,
                                                                                     this}
{
    core = std::make_unique<Morvek2Core>();
    core->setCoreHost(this);
    map = std::make_unique<morvek2::PortMapping>(core->getParameterManager());
    scratch = std::make_unique<Morvek2ParameterManager>();
    for (int i = 0; i < kNumParams; ++i)
        defaults[i] = core->getParameter(i);
    core->setSampleRate(static_cast<float>(sampleRate));
}

Result Face::query(const std::uint8_t* iid, void** object)
{
    if (!object)
        return kInvalidArgument;
    void* found = nullptr;
    if (sameIid(iid, kIidUnknown) || sameIid(iid, kIidPluginBase) || sameIid(iid, kIidComponent))
        found = &component;
    else if (sameIid(iid, kIidAudioProcessor))
        found = &processor;
    else if (sameIid(iid, kIidEditController))
        found = &controller;
    else if (sameIid(iid, kIidProcessContextRequirements))
        found = &requirements;
    else if (sameIid(iid, kIidMidiMapping))
        found = &midiMapping;
    else if (sameIid(iid, kIidUnitInfo))
        found = &unitInfo;
    *object = found;
    if (!found)
        return kNoInterface;
    references.fetch_add(1, std::memory_order_relaxed);
    return kResultOk;
}

// ---- The factory: one static object for the module's lifetime

struct Factory
{
    const PluginFactoryTable* table;
};

Result MORVEK2_VST3_CALL factoryQuery(void* self, const std::uint8_t* iid, void** object)
{
    if (!object)
        return kInvalidArgument;
    if (sameIid(iid, kIidUnknown) || sameIid(iid, kIidPluginFactory) ||
        sameIid(iid, kIidPluginFactory2)) {
        *object = self;
        return kResultOk;
    }
    *object = nullptr;
    return kNoInterface;
}

std::uint32_t MORVEK2_VST3_CALL factoryRef(void*)
{
    return 1;
}

Result MORVEK2_VST3_CALL getFactoryInfo(void*, FactoryInfo* info)
{
    if (!info)
        return kInvalidArgument;
    std::memset(info, 0, sizeof *info);
    copyText(info->vendor, sizeof info->vendor, Morvek2Core::kVendorName);
    info->flags = kFactoryUnicode;
    return kResultOk;
}

std::int32_t MORVEK2_VST3_CALL countClasses(void*)
{
    return 1;
}

Result MORVEK2_VST3_CALL getClassInfo(void*, std::int32_t index, ClassInfo* info)
{
    if (!info || index != 0)
        return kInvalidArgument;
    std::memset(info, 0, sizeof *info);
    std::memcpy(info->classId, kClassId.bytes, sizeof kClassId.bytes);
    info->cardinality = kManyInstances;
    copyText(info->category, sizeof info->category, "Audio Module Class");
    copyText(info->name, sizeof info->name, Morvek2Core::kEffectName);
    return kResultOk;
}

Result MORVEK2_VST3_CALL getClassInfo2(void*, std::int32_t index, ClassInfo2* info)
{
    if (!info || index != 0)
        return kInvalidArgument;
    std::memset(info, 0, sizeof *info);
    std::memcpy(info->classId, kClassId.bytes, sizeof kClassId.bytes);
    info->cardinality = kManyInstances;
    copyText(info->category, sizeof info->category, "Audio Module Class");
    copyText(info->name, sizeof info->name, Morvek2Core::kEffectName);
    copyText(info->subCategories, sizeof info->subCategories, "Fx|Delay|Filter|Distortion");
    copyText(info->vendor, sizeof info->vendor, Morvek2Core::kVendorName);
    copyText(info->version, sizeof info->version, MORVEK2_VERSION);
    copyText(info->sdkVersion, sizeof info->sdkVersion, "VST 3.7.0");
    return kResultOk;
}

Result MORVEK2_VST3_CALL createInstance(void*, const std::uint8_t* classId, const std::uint8_t* iid,
                                        void** object)
{
    if (!object)
        return kInvalidArgument;
    *object = nullptr;
    if (!sameIid(classId, kClassId))
        return kNoInterface;
    Face* f = nullptr;
    try {
        keepModuleLoaded();
        f = new Face();
    } catch (...) {
        return kInternalError; // nothing may unwind into the host
    }
    const Result r = f->query(iid, object);
    release(&f->component); // the construction's reference; the query holds its own
    return r;
}

constexpr PluginFactoryTable kFactoryTable = {
    {factoryQuery, factoryRef, factoryRef},
    getFactoryInfo,
    countClasses,
    getClassInfo,
    createInstance,
    getClassInfo2,
};

Factory factory{&kFactoryTable};

} // namespace

#if defined(_WIN32)
#define MORVEK2_EXPORT __declspec(dllexport)
#else
#define MORVEK2_EXPORT __attribute__((visibility("default")))
#endif

extern "C" {

MORVEK2_EXPORT void* GetPluginFactory()
{
    return &factory;
}

// Hosts call these around the module's use; nothing needs doing, but Linux hosts require them.
#if defined(_WIN32)
MORVEK2_EXPORT bool InitDll()
{
    return true;
}

MORVEK2_EXPORT bool ExitDll()
{
    return true;
}
#else
MORVEK2_EXPORT bool ModuleEntry(void*)
{
    return true;
}

MORVEK2_EXPORT bool ModuleExit()
{
    return true;
}
#endif
}
