#include "host/vst3_plugin.h"

#include "host/render.h"
#include "host/shared_library.h"
#include "vst/vst2_abi.h"
#include "vst3/vst3_abi.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>

namespace morvek2::host {

using namespace morvek2::vst3;

namespace {

constexpr int kMaxParams = 256;

// The objects this host hands the plug-in live as long as the instance; their references are not
// counted.
std::uint32_t MORVEK2_VST3_CALL notCounted(void*)
{
    return 1;
}

template <const Iid& Own>
Result MORVEK2_VST3_CALL answerSelf(void* self, const std::uint8_t* iid, void** object)
{
    if (!object)
        return kInvalidArgument;
    if (sameIid(iid, kIidUnknown) || sameIid(iid, Own)) {
        *object = self;
        return kResultOk;
    }
    *object = nullptr;
    return kNoInterface;
}

Result MORVEK2_VST3_CALL hostName(void*, Char16* name)
{
    toString16("morvek2", name, 128);
    return kResultOk;
}

Result MORVEK2_VST3_CALL hostCreateInstance(void*, const std::uint8_t*, const std::uint8_t*,
                                            void** object)
{
    if (object)
        *object = nullptr;
    return kResultFalse;
}

constexpr HostApplicationTable kHostApplication = {
    {answerSelf<kIidHostApplication>, notCounted, notCounted}, hostName, hostCreateInstance};

struct HostApplication
{
    const HostApplicationTable* table = &kHostApplication;
};

// A stream over bytes in memory, for the component's state.
struct MemoryStream
{
    const BStreamTable* table;
    std::vector<std::uint8_t> bytes;
    std::size_t position = 0;
};

MemoryStream& streamOf(void* self)
{
    return *static_cast<MemoryStream*>(self);
}

Result MORVEK2_VST3_CALL streamRead(void* self, void* buffer, std::int32_t n, std::int32_t* done)
{
    MemoryStream& s = streamOf(self);
    const std::size_t left = s.bytes.size() - s.position;
    const std::size_t take = n > 0 ? std::min(left, static_cast<std::size_t>(n)) : 0;
    if (take)
        std::memcpy(buffer, s.bytes.data() + s.position, take);
    s.position += take;
    if (done)
        *done = static_cast<std::int32_t>(take);
    return kResultOk;
}

Result MORVEK2_VST3_CALL streamWrite(void* self, void* buffer, std::int32_t n, std::int32_t* done)
{
    MemoryStream& s = streamOf(self);
    if (n < 0 || !buffer)
        return kInvalidArgument;
    const auto* p = static_cast<const std::uint8_t*>(buffer);
    if (s.bytes.size() < s.position + n)
        s.bytes.resize(s.position + n);
    std::copy(p, p + n, s.bytes.begin() + static_cast<std::ptrdiff_t>(s.position));
    s.position += n;
    if (done)
        *done = n;
    return kResultOk;
}

Result MORVEK2_VST3_CALL streamSeek(void* self, std::int64_t pos, std::int32_t mode,
                                    std::int64_t* result)
{
    MemoryStream& s = streamOf(self);
    const std::int64_t base = mode == 0   ? 0
                              : mode == 1 ? static_cast<std::int64_t>(s.position)
                                          : static_cast<std::int64_t>(s.bytes.size());
    const std::int64_t to = base + pos;
    if (to < 0 || to > static_cast<std::int64_t>(s.bytes.size()))
        return kInvalidArgument;
    s.position = static_cast<std::size_t>(to);
    if (result)
        *result = to;
    return kResultOk;
}

Result MORVEK2_VST3_CALL streamTell(void* self, std::int64_t* pos)
{
    if (!pos)
        return kInvalidArgument;
    *pos = static_cast<std::int64_t>(streamOf(self).position);
    return kResultOk;
}

constexpr BStreamTable kStream = {{answerSelf<kIidBStream>, notCounted, notCounted},
                                  streamRead,
                                  streamWrite,
                                  streamSeek,
                                  streamTell};

// One parameter's points in one block, in the order of their offsets; the plug-in may add
// points to the queues of the output changes.
constexpr std::int32_t kMaxPoints = 16;

struct PointQueue
{
    const ParamValueQueueTable* table;
    ParamId id = 0;
    std::int32_t count = 0;
    std::int32_t offsets[kMaxPoints] = {};
    double values[kMaxPoints] = {};
};

ParamId MORVEK2_VST3_CALL queueId(void* self)
{
    return static_cast<PointQueue*>(self)->id;
}

std::int32_t MORVEK2_VST3_CALL queuePoints(void* self)
{
    return static_cast<PointQueue*>(self)->count;
}

Result MORVEK2_VST3_CALL queuePoint(void* self, std::int32_t index, std::int32_t* offset,
                                    double* value)
{
    const PointQueue& q = *static_cast<PointQueue*>(self);
    if (index < 0 || index >= q.count || !offset || !value)
        return kInvalidArgument;
    *offset = q.offsets[index];
    *value = q.values[index];
    return kResultOk;
}

Result MORVEK2_VST3_CALL queueAdd(void* self, std::int32_t offset, double value,
                                  std::int32_t* index)
{
    PointQueue& q = *static_cast<PointQueue*>(self);
    if (q.count >= kMaxPoints)
        return kResultFalse;
    q.offsets[q.count] = offset;
    q.values[q.count] = value;
    if (index)
        *index = q.count;
    ++q.count;
    return kResultOk;
}

constexpr ParamValueQueueTable kQueue = {{answerSelf<kIidParamValueQueue>, notCounted, notCounted},
                                         queueId,
                                         queuePoints,
                                         queuePoint,
                                         queueAdd};

struct Changes
{
    const ParameterChangesTable* table;
    PointQueue queues[kMaxParams];
    std::int32_t count = 0;
};

std::int32_t MORVEK2_VST3_CALL changesCount(void* self)
{
    return static_cast<Changes*>(self)->count;
}

void* MORVEK2_VST3_CALL changesData(void* self, std::int32_t index)
{
    Changes& c = *static_cast<Changes*>(self);
    return index >= 0 && index < c.count ? &c.queues[index] : nullptr;
}

// The queue of `id`, made when there is none yet (and room for it).
PointQueue* queueFor(Changes& c, ParamId id, std::int32_t* index)
{
    for (std::int32_t k = 0; k < c.count; ++k) {
        if (c.queues[k].id == id) {
            if (index)
                *index = k;
            return &c.queues[k];
        }
    }
    if (c.count >= kMaxParams)
        return nullptr;
    PointQueue& q = c.queues[c.count];
    q.table = &kQueue;
    q.id = id;
    q.count = 0;
    if (index)
        *index = c.count;
    ++c.count;
    return &q;
}

void* MORVEK2_VST3_CALL changesAdd(void* self, const ParamId* id, std::int32_t* index)
{
    if (!id)
        return nullptr;
    return queueFor(*static_cast<Changes*>(self), *id, index);
}

constexpr ParameterChangesTable kChanges = {
    {answerSelf<kIidParameterChanges>, notCounted, notCounted},
    changesCount,
    changesData,
    changesAdd};

// What the plug-in tells its host from the controller side: counted for the caller to ask about.
struct Handler
{
    const ComponentHandlerTable* table;
    std::int32_t restarts = 0;
    std::int32_t restartFlags = 0;
    std::int32_t edits = 0;
};

Handler& handlerOf(void* self)
{
    return *static_cast<Handler*>(self);
}

Result MORVEK2_VST3_CALL handlerBegin(void*, ParamId)
{
    return kResultOk;
}

Result MORVEK2_VST3_CALL handlerPerform(void* self, ParamId, double)
{
    ++handlerOf(self).edits;
    return kResultOk;
}

Result MORVEK2_VST3_CALL handlerRestart(void* self, std::int32_t flags)
{
    ++handlerOf(self).restarts;
    handlerOf(self).restartFlags |= flags;
    return kResultOk;
}

constexpr ComponentHandlerTable kHandler = {
    {answerSelf<kIidComponentHandler>, notCounted, notCounted},
    handlerBegin,
    handlerPerform,
    handlerBegin,
    handlerRestart};

std::string text8(const Char16* text)
{
    char out[129];
    toString8(text, out, sizeof out);
    return out;
}

} // namespace

struct Vst3Plugin::State
{
    std::string path;
    std::string classIdText; // the class ID as 32 hexadecimal digits
    SharedLibrary library;
    void* factory = nullptr;
    std::string name;
    void* component = nullptr;
    void* processor = nullptr;
    void* controller = nullptr;
    HostApplication application;
    Transport transport;
    float sampleRate = 44100.0f;
    int32_t maxBlock = 0;
    bool active = false;
    int32_t numParams = 0;     // the sound's parameters (all but the program list)
    int32_t programParam = -1; // the program-change parameter's ID, -1 for none
    int32_t programSteps = 0;
    // Parameter changes for the coming block, by parameter (no allocation while processing),
    // and those the plug-in sent back from the last block.
    Changes changes{&kChanges, {}, 0};
    Changes output{&kChanges, {}, 0};
    // Changes at later frames of the coming block, in the order given.
    struct Scheduled
    {
        ParamId id;
        std::int32_t offset;
        double value;
    };
    Scheduled scheduled[kMaxParams] = {};
    std::int32_t numScheduled = 0;
    Handler handler{&kHandler};
    void* unitInfo = nullptr;
    std::int32_t programListId = -1;
    std::int32_t programCount = 0;
    double pending[kMaxParams] = {};
    bool hasPending[kMaxParams] = {};
    // Control changes become the parameters the plug-in's MIDI mapping names, by controller.
    void* midiMapping = nullptr;
    ParamId controllerParam[128] = {};
    double controllerValue[128] = {};
    bool hasController[128] = {};
    ProcessContext context{};

    void release(void*& object)
    {
        if (object)
            tableOf<UnknownTable>(object).release(object);
        object = nullptr;
    }
    ~State()
    {
        if (active && component)
            tableOf<ComponentTable>(component).setActive(component, 0);
        if (midiMapping)
            release(midiMapping);
        if (unitInfo)
            release(unitInfo);
        if (controller)
            tableOf<EditControllerTable>(controller).setComponentHandler(controller, nullptr);
        if (controller)
            release(controller);
        if (processor)
            release(processor);
        if (component) {
            tableOf<ComponentTable>(component).base.terminate(component);
            release(component);
        }
        if (factory)
            release(factory);
    }
};

Vst3Plugin::Vst3Plugin() : s_(std::make_unique<State>()) {}
Vst3Plugin::~Vst3Plugin() = default;

std::unique_ptr<Vst3Plugin> Vst3Plugin::load(const std::string& path, std::string& error)
{
    namespace fs = std::filesystem;
    fs::path module(path);
    std::error_code ec;
    if (fs::is_directory(module, ec)) {
        fs::path bundle = module;
        if (bundle.filename().empty())
            bundle = bundle.parent_path();
#if defined(_WIN32)
        module = bundle / "Contents" / "x86_64-win" / bundle.filename();
#else
        module = bundle / "Contents" / "x86_64-linux" / bundle.stem();
        module += ".so";
#endif
    }
    std::unique_ptr<Vst3Plugin> p(new Vst3Plugin());
    State& s = *p->s_;
    s.path = path;
    if (!s.library.open(module.string(), error))
        return nullptr;
#if defined(_WIN32)
    using InitFn = bool (*)();
    if (auto init = reinterpret_cast<InitFn>(s.library.symbol("InitDll")))
        init();
#else
    using EntryFn = bool (*)(void*);
    if (auto entry = reinterpret_cast<EntryFn>(s.library.symbol("ModuleEntry")))
        entry(nullptr); // the Linux entry; unused by our module, required by the format
#endif
    using FactoryFn = void* (*)();
    auto getFactory = reinterpret_cast<FactoryFn>(s.library.symbol("GetPluginFactory"));
    if (!getFactory || !(s.factory = getFactory())) {
        error = "'" + module.string() + "' has no VST3 factory";
        return nullptr;
    }
    const PluginFactoryTable& f = tableOf<PluginFactoryTable>(s.factory);
    std::uint8_t classId[16] = {};
    bool found = false;
    for (std::int32_t k = 0; k < f.countClasses(s.factory) && !found; ++k) {
        ClassInfo info{};
        if (f.getClassInfo(s.factory, k, &info) == kResultOk &&
            std::strncmp(info.category, "Audio Module Class", sizeof info.category) == 0) {
            std::memcpy(classId, info.classId, sizeof classId);
            s.name.assign(info.name, strnlen(info.name, sizeof info.name));
            // Written as the four words it is made of: Windows keeps the first three fields of
            // a COM GUID little-endian in memory.
#if defined(_WIN32)
            constexpr int kTextOrder[16] = {3, 2, 1, 0, 5, 4, 7, 6, 8, 9, 10, 11, 12, 13, 14, 15};
#else
            constexpr int kTextOrder[16] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15};
#endif
            for (int i : kTextOrder) {
                static const char kHex[] = "0123456789ABCDEF";
                s.classIdText += kHex[classId[i] >> 4];
                s.classIdText += kHex[classId[i] & 15];
            }
            found = true;
        }
    }
    if (!found) {
        error = "'" + module.string() + "' has no audio module class";
        return nullptr;
    }
    if (f.createInstance(s.factory, classId, kIidComponent.bytes, &s.component) != kResultOk ||
        !s.component) {
        error = "'" + module.string() + "' made no component";
        return nullptr;
    }
    const ComponentTable& c = tableOf<ComponentTable>(s.component);
    if (c.base.initialize(s.component, &s.application) != kResultOk) {
        error = "the component refused to initialise";
        return nullptr;
    }
    if (c.base.unknown.queryInterface(s.component, kIidAudioProcessor.bytes, &s.processor) !=
            kResultOk ||
        c.base.unknown.queryInterface(s.component, kIidEditController.bytes, &s.controller) !=
            kResultOk) {
        error = "the component is not also an audio processor and an edit controller";
        return nullptr;
    }
    if (c.base.unknown.queryInterface(s.component, kIidMidiMapping.bytes, &s.midiMapping) !=
        kResultOk)
        s.midiMapping = nullptr;
    const EditControllerTable& e = tableOf<EditControllerTable>(s.controller);
    const std::int32_t count = e.getParameterCount(s.controller);
    for (std::int32_t i = 0; i < count; ++i) {
        ParameterInfo info{};
        if (e.getParameterInfo(s.controller, i, &info) != kResultOk)
            continue;
        if (info.flags & kParamIsProgramChange) {
            s.programParam = static_cast<int32_t>(info.id);
            s.programSteps = info.stepCount;
        } else if (static_cast<int32_t>(info.id) == s.numParams && s.numParams < kMaxParams) {
            ++s.numParams; // IDs 0..n-1 in order stand for the VST2 indices
        }
    }
    e.setComponentHandler(s.controller, &s.handler);
    // The program names, as hosts take them: the program list of the unit the program-change
    // parameter belongs to.
    if (c.base.unknown.queryInterface(s.component, kIidUnitInfo.bytes, &s.unitInfo) != kResultOk)
        s.unitInfo = nullptr;
    if (s.unitInfo && s.programParam >= 0) {
        const UnitInfoTable& u = tableOf<UnitInfoTable>(s.unitInfo);
        ParameterInfo info{};
        UnitInfo unit{};
        for (std::int32_t i = 0; i < count; ++i) {
            if (e.getParameterInfo(s.controller, i, &info) == kResultOk &&
                static_cast<int32_t>(info.id) == s.programParam)
                break;
        }
        for (std::int32_t k = 0; k < u.getUnitCount(s.unitInfo); ++k) {
            if (u.getUnitInfo(s.unitInfo, k, &unit) == kResultOk && unit.id == info.unitId)
                s.programListId = unit.programListId;
        }
        for (std::int32_t k = 0; k < u.getProgramListCount(s.unitInfo); ++k) {
            ProgramListInfo list{};
            if (u.getProgramListInfo(s.unitInfo, k, &list) == kResultOk &&
                list.id == s.programListId)
                s.programCount = list.programCount;
        }
    }
    return p;
}

const std::string& Vst3Plugin::path() const
{
    return s_->path;
}

std::string Vst3Plugin::uri() const
{
    return s_->classIdText;
}

int32_t Vst3Plugin::numParams() const
{
    return s_->numParams;
}

int32_t Vst3Plugin::numPrograms() const
{
    if (s_->programCount > 0)
        return s_->programCount;
    return s_->programParam >= 0 ? s_->programSteps + 1 : 0;
}

std::string Vst3Plugin::effectName()
{
    return s_->name;
}

std::string Vst3Plugin::productString()
{
    return s_->name;
}

void Vst3Plugin::start(float sampleRate, int32_t maxBlock)
{
    State& s = *s_;
    const ComponentTable& c = tableOf<ComponentTable>(s.component);
    const AudioProcessorTable& a = tableOf<AudioProcessorTable>(s.processor);
    if (s.active) {
        a.setProcessing(s.processor, 0);
        c.setActive(s.component, 0);
    }
    SpeakerArrangement in = kSpeakerStereo, out = kSpeakerStereo;
    a.setBusArrangements(s.processor, &in, 1, &out, 1);
    ProcessSetup setup{kRealtime, kSample32, maxBlock, sampleRate};
    a.setupProcessing(s.processor, &setup);
    s.sampleRate = sampleRate;
    s.maxBlock = maxBlock;
    s.transport.setSampleRate(sampleRate);
    c.setActive(s.component, 1);
    a.setProcessing(s.processor, 1);
    s.active = true;
}

int32_t Vst3Plugin::blockSize() const
{
    return s_->maxBlock;
}

Transport& Vst3Plugin::transport()
{
    return s_->transport;
}

float Vst3Plugin::getParameter(int32_t index)
{
    if (index < 0 || index >= s_->numParams)
        return 0.0f;
    return static_cast<float>(
        tableOf<EditControllerTable>(s_->controller).getParamNormalized(s_->controller, index));
}

void Vst3Plugin::setParameter(int32_t index, float normalised)
{
    State& s = *s_;
    if (index < 0 || index >= s.numParams)
        return;
    // As a host does: the controller hears it now, the processor with the next block.
    tableOf<EditControllerTable>(s.controller).setParamNormalized(s.controller, index, normalised);
    s.pending[index] = normalised;
    s.hasPending[index] = true;
}

std::string Vst3Plugin::parameterName(int32_t index)
{
    ParameterInfo info{};
    if (tableOf<EditControllerTable>(s_->controller)
            .getParameterInfo(s_->controller, index, &info) != kResultOk)
        return {};
    return text8(info.title);
}

std::string Vst3Plugin::parameterLabel(int32_t index)
{
    ParameterInfo info{};
    if (tableOf<EditControllerTable>(s_->controller)
            .getParameterInfo(s_->controller, index, &info) != kResultOk)
        return {};
    return text8(info.units);
}

std::string Vst3Plugin::parameterDisplay(int32_t index)
{
    const EditControllerTable& e = tableOf<EditControllerTable>(s_->controller);
    String128 text{};
    if (e.getParamStringByValue(s_->controller, index, e.getParamNormalized(s_->controller, index),
                                text) != kResultOk)
        return {};
    return text8(text);
}

int32_t Vst3Plugin::program()
{
    if (s_->programParam < 0 || s_->programSteps <= 0)
        return 0;
    const double n = tableOf<EditControllerTable>(s_->controller)
                         .getParamNormalized(s_->controller, s_->programParam);
    return static_cast<int32_t>(std::lround(n * s_->programSteps));
}

void Vst3Plugin::setProgram(int32_t index)
{
    if (s_->programParam < 0 || s_->programSteps <= 0 || index < 0 || index > s_->programSteps)
        return;
    tableOf<EditControllerTable>(s_->controller)
        .setParamNormalized(s_->controller, s_->programParam,
                            static_cast<double>(index) / s_->programSteps);
}

std::string Vst3Plugin::programName()
{
    return programNameIndexed(program()).value_or(std::string{});
}

void Vst3Plugin::setProgramName(const std::string&) {}

std::optional<std::string> Vst3Plugin::programNameIndexed(int32_t index)
{
    if (s_->programParam < 0 || index < 0 || index > s_->programSteps || s_->programSteps <= 0)
        return std::nullopt;
    String128 text{};
    if (s_->programCount > 0) {
        if (tableOf<UnitInfoTable>(s_->unitInfo)
                .getProgramName(s_->unitInfo, s_->programListId, index, text) != kResultOk)
            return std::nullopt;
        return text8(text);
    }
    if (tableOf<EditControllerTable>(s_->controller)
            .getParamStringByValue(s_->controller, s_->programParam,
                                   static_cast<double>(index) / s_->programSteps,
                                   text) != kResultOk)
        return std::nullopt;
    return text8(text);
}

std::vector<uint8_t> Vst3Plugin::getChunk(bool program)
{
    if (!program)
        return {};
    MemoryStream stream{&kStream, {}, 0};
    if (tableOf<ComponentTable>(s_->component).getState(s_->component, &stream) != kResultOk)
        return {};
    return stream.bytes;
}

intptr_t Vst3Plugin::setChunk(bool program, std::span<const uint8_t> data)
{
    if (!program)
        return 0;
    MemoryStream stream{&kStream, {data.begin(), data.end()}, 0};
    if (tableOf<ComponentTable>(s_->component).setState(s_->component, &stream) != kResultOk)
        return 0;
    stream.position = 0;
    tableOf<EditControllerTable>(s_->controller).setComponentState(s_->controller, &stream);
    return 1;
}

void Vst3Plugin::sendMidi(MidiEventList& events)
{
    // VST3 carries no MIDI controllers as events; they reach a plug-in as the parameters its
    // MIDI mapping names, with the next block, as a host does.
    State& s = *s_;
    if (!s.midiMapping)
        return;
    const MidiMappingTable& m = tableOf<MidiMappingTable>(s.midiMapping);
    for (std::size_t i = 0; i < events.size(); ++i) {
        const VstMidiEvent& e = events[i];
        const auto status = static_cast<std::uint8_t>(e.midiData[0]);
        const auto cc = static_cast<std::uint8_t>(e.midiData[1]);
        if ((status & 0xF0) != 0xB0 || cc > 127)
            continue;
        ParamId id = 0;
        if (m.getMidiControllerAssignment(s.midiMapping, 0, status & 0x0F, cc, &id) != kResultTrue)
            continue;
        s.controllerParam[cc] = id;
        s.controllerValue[cc] = static_cast<std::uint8_t>(e.midiData[2]) / 127.0;
        s.hasController[cc] = true;
    }
}

void Vst3Plugin::process(float* const* inputs, float* const* outputs, int32_t frames)
{
    State& s = *s_;
    s.changes.count = 0;
    s.output.count = 0;
    auto add = [&](ParamId id, std::int32_t offset, double value) {
        if (PointQueue* q = queueFor(s.changes, id, nullptr))
            queueAdd(q, offset, value, nullptr);
    };
    for (int32_t i = 0; i < s.numParams; ++i) {
        if (!s.hasPending[i])
            continue;
        s.hasPending[i] = false;
        add(static_cast<ParamId>(i), 0, s.pending[i]);
    }
    for (int cc = 0; cc < 128; ++cc) {
        if (!s.hasController[cc])
            continue;
        s.hasController[cc] = false;
        add(s.controllerParam[cc], 0, s.controllerValue[cc]);
    }
    for (std::int32_t k = 0; k < s.numScheduled; ++k)
        add(s.scheduled[k].id, s.scheduled[k].offset, s.scheduled[k].value);
    s.numScheduled = 0;

    VstTimeInfo info{};
    s.transport.fill(info);
    ProcessContext& c = s.context;
    c = ProcessContext{};
    c.sampleRate = info.sampleRate > 0.0 ? info.sampleRate : s.sampleRate;
    if (info.flags & kVstTransportPlaying)
        c.state |= kContextPlaying;
    if (info.flags & kVstTransportCycleActive)
        c.state |= kContextCycleActive;
    if (info.flags & kVstPpqPosValid)
        c.state |= kContextProjectTimeValid;
    if (info.flags & kVstTempoValid)
        c.state |= kContextTempoValid;
    if (info.flags & kVstBarsValid)
        c.state |= kContextBarPositionValid;
    if (info.flags & kVstCyclePosValid)
        c.state |= kContextCycleValid;
    if (info.flags & kVstTimeSigValid)
        c.state |= kContextTimeSigValid;
    c.projectTimeSamples = std::llround(info.samplePos);
    c.continousTimeSamples = c.projectTimeSamples;
    c.projectTimeMusic = info.ppqPos;
    c.barPositionMusic = info.barStartPos;
    c.cycleStartMusic = info.cycleStartPos;
    c.cycleEndMusic = info.cycleEndPos;
    c.tempo = info.tempo;
    c.timeSigNumerator = info.timeSigNumerator;
    c.timeSigDenominator = info.timeSigDenominator;

    AudioBusBuffers in{};
    in.numChannels = 2;
    in.channelBuffers32 = const_cast<float**>(inputs);
    AudioBusBuffers out{};
    out.numChannels = 2;
    out.channelBuffers32 = const_cast<float**>(outputs);
    ProcessData data{};
    data.processMode = kRealtime;
    data.sampleSize = kSample32;
    data.numSamples = frames;
    data.numInputs = 1;
    data.numOutputs = 1;
    data.inputs = &in;
    data.outputs = &out;
    data.inputParameterChanges = &s.changes;
    data.outputParameterChanges = &s.output;
    data.processContext = &c;
    tableOf<AudioProcessorTable>(s.processor).process(s.processor, &data);
    s.transport.advance(frames);
}

} // namespace morvek2::host

namespace morvek2::host {

void Vst3Plugin::changeAt(std::uint32_t id, double normalised, int32_t offset)
{
    State& s = *s_;
    if (s.numScheduled < kMaxParams)
        s.scheduled[s.numScheduled++] = {id, offset, normalised};
}

std::uint32_t Vst3Plugin::programParameter() const
{
    return static_cast<std::uint32_t>(s_->programParam);
}

std::vector<Vst3Plugin::Change> Vst3Plugin::outputChanges() const
{
    std::vector<Change> out;
    const Changes& c = s_->output;
    for (std::int32_t k = 0; k < c.count; ++k) {
        for (std::int32_t p = 0; p < c.queues[k].count; ++p)
            out.push_back({c.queues[k].id, c.queues[k].offsets[p], c.queues[k].values[p]});
    }
    return out;
}

int32_t Vst3Plugin::restarts(int32_t& flags) const
{
    flags = s_->handler.restartFlags;
    return s_->handler.restarts;
}

int32_t Vst3Plugin::edits() const
{
    return s_->handler.edits;
}

} // namespace morvek2::host
