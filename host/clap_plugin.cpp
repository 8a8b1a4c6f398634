#include "host/clap_plugin.h"

#include "base/ThreadWord.h"

#include "clap/Morvek2ClapPrograms.h"
#include "host/render.h"
#include "host/shared_library.h"

#include <clap/entry.h>
#include <clap/events.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/gui.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/thread-check.h>
#include <clap/ext/timer-support.h>
#include <clap/host.h>
#include <clap/plugin-factory.h>
#include <clap/plugin.h>
#include <clap/process.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstring>
#include <thread>

namespace morvek2::host {

namespace {

// A parameter value or a MIDI message waiting for the next block.
union QueuedEvent {
    clap_event_header_t header;
    clap_event_param_value_t param;
    clap_event_midi_t midi;
};

// Set on the thread inside the plug-in's process: the audio thread as thread-check tells it.
// On Windows in a slot of the system's per-thread table: mingw's thread_local would allocate on
// each audio thread's first block, and that would count against the plug-in.
#if defined(_WIN32)
ThreadWord inProcessWord;
bool inProcessHere()
{
    return inProcessWord.get() != 0;
}
void setInProcessHere(bool on)
{
    inProcessWord.set(on ? 1 : 0);
}
#else
thread_local bool inProcess = false;
bool inProcessHere()
{
    return inProcess;
}
void setInProcessHere(bool on)
{
    inProcess = on;
}
#endif

clap_beattime fixedPoint(double value, int64_t factor)
{
    return static_cast<int64_t>(std::llround(value * static_cast<double>(factor)));
}

} // namespace

struct ClapPlugin::Impl
{
    std::string path;
    SharedLibrary library;
    const clap_plugin_entry_t* entry = nullptr;
    bool entryInitialised = false;
    clap_host_t host{};
    const clap_plugin_t* plugin = nullptr;
    const clap_plugin_params_t* params = nullptr;
    const clap_plugin_state_t* state = nullptr;
    const clap_plugin_audio_ports_t* audioPorts = nullptr;
    std::vector<clap_param_info_t> paramInfo;
    const morvek2_clap_program_factory_t* programs = nullptr;
    std::vector<std::string> programNames;
    int32_t currentProgram = 0;

    bool active = false;
    bool processing = false;
    double sampleRate = 44100.0;
    int32_t maxBlock = 0;
    Transport transport;
    int64_t steadyTime = 0;
    std::vector<QueuedEvent> queued;
    std::vector<QueuedEvent> ordered; // this block's events in time order

    std::thread::id mainThread = std::this_thread::get_id();
    std::vector<ClapPlugin::ParamOutput> heard; // capacity fixed at load: process allocates nothing
    std::atomic<bool> flushRequested{false};
    // What the plug-in asked the host to re-read (rescan flags, or-ed) and whether it said its
    // state changed, since the caller last asked.
    std::atomic<uint32_t> rescanFlags{0};
    std::atomic<bool> stateDirty{false};
    std::atomic<bool> callbackRequested{false};
    bool timersOffered = true;
    std::vector<clap_id> timers;
    clap_id nextTimer = 1;
    const clap_plugin_gui_t* gui = nullptr;
    bool guiCreated = false;
    std::pair<uint32_t, uint32_t> announcedSize{0, 0};

    ~Impl()
    {
        if (plugin) {
            closeEditor();
            stop();
            plugin->destroy(plugin);
        }
        if (entryInitialised)
            entry->deinit();
    }

    void closeEditor()
    {
        if (guiCreated)
            gui->destroy(plugin);
        guiCreated = false;
    }

    void stop()
    {
        if (processing)
            plugin->stop_processing(plugin);
        processing = false;
        if (active)
            plugin->deactivate(plugin);
        active = false;
    }

    int32_t channels(bool input) const
    {
        if (!audioPorts)
            return 0;
        int32_t sum = 0;
        const uint32_t n = audioPorts->count(plugin, input);
        for (uint32_t k = 0; k < n; ++k) {
            clap_audio_port_info_t info{};
            if (audioPorts->get(plugin, k, input, &info))
                sum += static_cast<int32_t>(info.channel_count);
        }
        return sum;
    }

    const clap_param_info_t* info(int32_t index) const
    {
        return index >= 0 && static_cast<std::size_t>(index) < paramInfo.size()
                   ? &paramInfo[static_cast<std::size_t>(index)]
                   : nullptr;
    }

    // Normalised 0..1 onto the parameter's range and back.
    static double toPlain(const clap_param_info_t& p, float normalised)
    {
        const double n = std::clamp(static_cast<double>(normalised), 0.0, 1.0);
        const double plain = p.min_value + n * (p.max_value - p.min_value);
        return (p.flags & CLAP_PARAM_IS_STEPPED) ? std::round(plain) : plain;
    }
    static float toNormalised(const clap_param_info_t& p, double plain)
    {
        const double range = p.max_value - p.min_value;
        return range > 0.0 ? static_cast<float>((plain - p.min_value) / range) : 0.0f;
    }

    void queue(const QueuedEvent& e)
    {
        queued.push_back(e);
        // Outside processing the plug-in takes values by a flush at once.
        if (!processing && !active && params && params->flush) {
            flushQueued();
        }
    }

    void flushQueued()
    {
        clap_input_events_t in{this, inputSize, inputGet};
        ordered = queued;
        queued.clear();
        clap_output_events_t out{this, tryPush};
        params->flush(plugin, &in, &out);
        ordered.clear();
    }

    static uint32_t inputSize(const clap_input_events_t* list)
    {
        return static_cast<uint32_t>(static_cast<Impl*>(list->ctx)->ordered.size());
    }
    static const clap_event_header_t* inputGet(const clap_input_events_t* list, uint32_t index)
    {
        auto& events = static_cast<Impl*>(list->ctx)->ordered;
        return index < events.size() ? &events[index].header : nullptr;
    }
    static bool tryPush(const clap_output_events_t* list, const clap_event_header_t* e)
    {
        auto& m = *static_cast<Impl*>(list->ctx);
        if (!e || e->space_id != CLAP_CORE_EVENT_SPACE_ID || m.heard.size() == m.heard.capacity())
            return true;
        using Kind = ClapPlugin::ParamOutput::Kind;
        if (e->type == CLAP_EVENT_PARAM_VALUE && e->size >= sizeof(clap_event_param_value_t)) {
            const auto& v = reinterpret_cast<const clap_event_param_value_t&>(*e);
            m.heard.push_back({Kind::Value, m.indexOf(v.param_id), v.value});
        } else if ((e->type == CLAP_EVENT_PARAM_GESTURE_BEGIN ||
                    e->type == CLAP_EVENT_PARAM_GESTURE_END) &&
                   e->size >= sizeof(clap_event_param_gesture_t)) {
            const auto& g = reinterpret_cast<const clap_event_param_gesture_t&>(*e);
            m.heard.push_back({e->type == CLAP_EVENT_PARAM_GESTURE_BEGIN ? Kind::Begin : Kind::End,
                               m.indexOf(g.param_id), 0.0});
        }
        return true;
    }

    int32_t indexOf(clap_id id) const
    {
        for (std::size_t k = 0; k < paramInfo.size(); ++k) {
            if (paramInfo[k].id == id)
                return static_cast<int32_t>(k);
        }
        return -1;
    }

    // What a CLAP host reports for the coming block, from the simulated timeline.
    clap_event_transport_t transportEvent()
    {
        VstTimeInfo t{};
        transport.fill(t);
        clap_event_transport_t e{};
        e.header.size = sizeof(e);
        e.header.time = 0;
        e.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
        e.header.type = CLAP_EVENT_TRANSPORT;
        uint32_t flags = CLAP_TRANSPORT_HAS_SECONDS_TIMELINE;
        if (t.flags & kVstTempoValid)
            flags |= CLAP_TRANSPORT_HAS_TEMPO;
        if (t.flags & kVstPpqPosValid)
            flags |= CLAP_TRANSPORT_HAS_BEATS_TIMELINE;
        if (t.flags & kVstTimeSigValid)
            flags |= CLAP_TRANSPORT_HAS_TIME_SIGNATURE;
        if (t.flags & kVstTransportPlaying)
            flags |= CLAP_TRANSPORT_IS_PLAYING;
        if (t.flags & kVstTransportRecording)
            flags |= CLAP_TRANSPORT_IS_RECORDING;
        if (t.flags & kVstTransportCycleActive)
            flags |= CLAP_TRANSPORT_IS_LOOP_ACTIVE;
        e.flags = flags;
        e.song_pos_beats = fixedPoint(t.ppqPos, CLAP_BEATTIME_FACTOR);
        e.song_pos_seconds =
            fixedPoint(sampleRate > 0.0 ? t.samplePos / sampleRate : 0.0, CLAP_SECTIME_FACTOR);
        e.tempo = t.tempo;
        e.loop_start_beats = fixedPoint(t.cycleStartPos, CLAP_BEATTIME_FACTOR);
        e.loop_end_beats = fixedPoint(t.cycleEndPos, CLAP_BEATTIME_FACTOR);
        e.bar_start = fixedPoint(t.barStartPos, CLAP_BEATTIME_FACTOR);
        const double bar = transport.quarterNotesPerBar();
        e.bar_number = bar > 0.0 ? static_cast<int32_t>(std::floor(t.barStartPos / bar)) : 0;
        e.tsig_num = static_cast<uint16_t>(std::max(0, t.timeSigNumerator));
        e.tsig_denom = static_cast<uint16_t>(std::max(0, t.timeSigDenominator));
        return e;
    }

    // State streams over a byte vector.
    struct Reader
    {
        std::span<const uint8_t> data;
        std::size_t at = 0;
    };
    static int64_t write(const clap_ostream_t* stream, const void* buffer, uint64_t size)
    {
        auto* out = static_cast<std::vector<uint8_t>*>(stream->ctx);
        const auto* bytes = static_cast<const uint8_t*>(buffer);
        out->insert(out->end(), bytes, bytes + size);
        return static_cast<int64_t>(size);
    }
    static int64_t read(const clap_istream_t* stream, void* buffer, uint64_t size)
    {
        auto* in = static_cast<Reader*>(stream->ctx);
        const std::size_t n = std::min<std::size_t>(size, in->data.size() - in->at);
        if (n > 0) {
            std::memcpy(buffer, in->data.data() + in->at, n);
        }
        in->at += n;
        return static_cast<int64_t>(n);
    }
};

namespace {

ClapPlugin::Impl& impl(const clap_host_t* host)
{
    return *static_cast<ClapPlugin::Impl*>(host->host_data);
}

const clap_host_params_t kHostParams = {
    [](const clap_host_t* host, clap_param_rescan_flags flags) {
        impl(host).rescanFlags.fetch_or(flags);
    },
    [](const clap_host_t*, clap_id, clap_param_clear_flags) {},
    [](const clap_host_t* host) { impl(host).flushRequested.store(true); }};

const clap_host_state_t kHostState = {
    [](const clap_host_t* host) { impl(host).stateDirty.store(true); }};

const clap_host_thread_check_t kHostThreadCheck = {
    [](const clap_host_t* host) { return std::this_thread::get_id() == impl(host).mainThread; },
    [](const clap_host_t*) { return inProcessHere(); }};

const clap_host_timer_support_t kHostTimers = {[](const clap_host_t* host, uint32_t, clap_id* id) {
                                                   ClapPlugin::Impl& m = impl(host);
                                                   if (!id)
                                                       return false;
                                                   *id = m.nextTimer++;
                                                   m.timers.push_back(*id);
                                                   return true;
                                               },
                                               [](const clap_host_t* host, clap_id id) {
                                                   auto& timers = impl(host).timers;
                                                   const auto at =
                                                       std::find(timers.begin(), timers.end(), id);
                                                   if (at == timers.end())
                                                       return false;
                                                   timers.erase(at);
                                                   return true;
                                               }};

const void* hostExtension(const clap_host_t* host, const char* id)
{
    if (!id)
        return nullptr;
    if (std::strcmp(id, CLAP_EXT_PARAMS) == 0)
        return &kHostParams;
    if (std::strcmp(id, CLAP_EXT_THREAD_CHECK) == 0)
        return &kHostThreadCheck;
    if (std::strcmp(id, CLAP_EXT_STATE) == 0)
        return &kHostState;
    if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0 && impl(host).timersOffered)
        return &kHostTimers;
    return nullptr;
}
void hostRequest(const clap_host_t*) {}
void hostCallback(const clap_host_t* host)
{
    impl(host).callbackRequested.store(true);
}

} // namespace

std::unique_ptr<ClapPlugin> ClapPlugin::load(const std::string& path, std::string& error,
                                             const std::string& id)
{
    auto m = std::make_unique<Impl>();
    m->path = path;
    if (!m->library.open(path, error))
        return nullptr;
    m->entry = static_cast<const clap_plugin_entry_t*>(m->library.symbol("clap_entry"));
    if (!m->entry || !clap_version_is_compatible(m->entry->clap_version)) {
        error = "'" + path + "' exports no usable clap_entry";
        return nullptr;
    }
    if (!m->entry->init(path.c_str())) {
        error = "'" + path + "': its entry refused to start";
        return nullptr;
    }
    m->entryInitialised = true;
    const auto* factory =
        static_cast<const clap_plugin_factory_t*>(m->entry->get_factory(CLAP_PLUGIN_FACTORY_ID));
    if (!factory || factory->get_plugin_count(factory) == 0) {
        error = "'" + path + "' has no plug-in factory or no plug-in";
        return nullptr;
    }
    const clap_plugin_descriptor_t* descriptor = nullptr;
    for (uint32_t k = 0; k < factory->get_plugin_count(factory); ++k) {
        const clap_plugin_descriptor_t* d = factory->get_plugin_descriptor(factory, k);
        if (d && d->id && (id.empty() || id == d->id)) {
            descriptor = d;
            break;
        }
    }
    if (!descriptor) {
        error = "'" + path + "' has no plug-in with id '" + id + "'";
        return nullptr;
    }
    m->host.clap_version = CLAP_VERSION;
    m->host.host_data = m.get();
    m->host.name = "morvek2 host";
    m->host.vendor = "Zendrik, Inc.";
    m->host.url = "";
    m->host.version = "1";
    m->host.get_extension = hostExtension;
    m->host.request_restart = hostRequest;
    m->host.request_process = hostRequest;
    m->host.request_callback = hostCallback;
    m->plugin = factory->create_plugin(factory, &m->host, descriptor->id);
    if (!m->plugin) {
        error = "'" + path + "': the factory made no plug-in";
        return nullptr;
    }
    if (!m->plugin->init(m->plugin)) {
        m->plugin->destroy(m->plugin);
        m->plugin = nullptr;
        error = "'" + path + "': the plug-in failed to initialise";
        return nullptr;
    }
    auto extension = [&](const char* name) { return m->plugin->get_extension(m->plugin, name); };
    m->params = static_cast<const clap_plugin_params_t*>(extension(CLAP_EXT_PARAMS));
    m->state = static_cast<const clap_plugin_state_t*>(extension(CLAP_EXT_STATE));
    m->audioPorts = static_cast<const clap_plugin_audio_ports_t*>(extension(CLAP_EXT_AUDIO_PORTS));
    if (m->params) {
        const uint32_t n = m->params->count(m->plugin);
        for (uint32_t k = 0; k < n; ++k) {
            clap_param_info_t info{};
            if (!m->params->get_info(m->plugin, k, &info)) {
                error = "'" + path + "': no information on parameter " + std::to_string(k);
                return nullptr;
            }
            m->paramInfo.push_back(info);
        }
    }
    m->gui = static_cast<const clap_plugin_gui_t*>(extension(CLAP_EXT_GUI));
    // The programs count only where their bytes can be loaded.
    m->programs = m->state ? static_cast<const morvek2_clap_program_factory_t*>(
                                 m->entry->get_factory(MORVEK2_CLAP_PROGRAM_FACTORY_ID))
                           : nullptr;
    if (m->programs && m->programs->count && m->programs->get_name && m->programs->save_state) {
        const uint32_t n = std::min<uint32_t>(m->programs->count(m->programs), 1024);
        for (uint32_t k = 0; k < n; ++k) {
            char name[CLAP_NAME_SIZE] = {};
            if (!m->programs->get_name(m->programs, k, name, sizeof(name)))
                break;
            m->programNames.emplace_back(name);
        }
    }
    m->queued.reserve(1024);
    m->ordered.reserve(1024);
    m->heard.reserve(4096);
    return std::unique_ptr<ClapPlugin>(new ClapPlugin(std::move(m)));
}

ClapPlugin::ClapPlugin(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
ClapPlugin::~ClapPlugin() = default;

const std::string& ClapPlugin::path() const
{
    return impl_->path;
}

std::string ClapPlugin::uri() const
{
    return impl_->plugin->desc && impl_->plugin->desc->id ? impl_->plugin->desc->id : "";
}

int32_t ClapPlugin::numInputs() const
{
    return impl_->channels(true);
}

int32_t ClapPlugin::numOutputs() const
{
    return impl_->channels(false);
}

int32_t ClapPlugin::numParams() const
{
    return static_cast<int32_t>(impl_->paramInfo.size());
}

bool ClapPlugin::isInstrument() const
{
    const char* const* features = impl_->plugin->desc ? impl_->plugin->desc->features : nullptr;
    for (; features && *features; ++features) {
        if (std::strcmp(*features, CLAP_PLUGIN_FEATURE_INSTRUMENT) == 0)
            return true;
    }
    return false;
}

bool ClapPlugin::programChunks() const
{
    return impl_->state != nullptr;
}

std::string ClapPlugin::effectName()
{
    return impl_->plugin->desc && impl_->plugin->desc->name ? impl_->plugin->desc->name : "";
}

std::string ClapPlugin::productString()
{
    return effectName();
}

void ClapPlugin::start(float sampleRate, int32_t maxBlock)
{
    Impl& m = *impl_;
    m.stop();
    m.sampleRate = sampleRate;
    m.maxBlock = maxBlock;
    m.transport.setSampleRate(sampleRate);
    m.active = m.plugin->activate(m.plugin, sampleRate, 1, static_cast<uint32_t>(maxBlock));
    m.processing = m.active && m.plugin->start_processing(m.plugin);
}

int32_t ClapPlugin::blockSize() const
{
    return impl_->maxBlock;
}

Transport& ClapPlugin::transport()
{
    return impl_->transport;
}

double ClapPlugin::plainValue(int32_t index)
{
    Impl& m = *impl_;
    const clap_param_info_t* p = m.info(index);
    // A value still on its way is what the plug-in will hold.
    for (auto e = m.queued.rbegin(); p && e != m.queued.rend(); ++e) {
        if (e->header.type == CLAP_EVENT_PARAM_VALUE && e->param.param_id == p->id)
            return e->param.value;
    }
    double value = 0.0;
    if (p && m.params->get_value(m.plugin, p->id, &value))
        return value;
    return 0.0;
}

float ClapPlugin::getParameter(int32_t index)
{
    const clap_param_info_t* p = impl_->info(index);
    return p ? Impl::toNormalised(*p, plainValue(index)) : 0.0f;
}

void ClapPlugin::setParameter(int32_t index, float normalised)
{
    const clap_param_info_t* p = impl_->info(index);
    if (p)
        setPlainValueAt(index, Impl::toPlain(*p, normalised), 0);
}

void ClapPlugin::setPlainValueAt(int32_t index, double plain, uint32_t frame)
{
    const clap_param_info_t* p = impl_->info(index);
    if (!p)
        return;
    QueuedEvent e{};
    e.param.header.size = sizeof(e.param);
    e.param.header.time = frame;
    e.param.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
    e.param.header.type = CLAP_EVENT_PARAM_VALUE;
    e.param.param_id = p->id;
    e.param.cookie = p->cookie;
    e.param.note_id = -1;
    e.param.port_index = -1;
    e.param.channel = -1;
    e.param.key = -1;
    e.param.value = plain;
    impl_->queue(e);
}

bool ClapPlugin::stepped(int32_t index) const
{
    const clap_param_info_t* p = impl_->info(index);
    return p && (p->flags & CLAP_PARAM_IS_STEPPED) != 0;
}

std::string ClapPlugin::parameterName(int32_t index)
{
    const clap_param_info_t* p = impl_->info(index);
    return p ? p->name : "";
}

std::string ClapPlugin::valueText(int32_t index, double plain)
{
    const clap_param_info_t* p = impl_->info(index);
    char text[256] = {};
    if (!p || !impl_->params->value_to_text(impl_->plugin, p->id, plain, text, sizeof(text)))
        return {};
    return text;
}

bool ClapPlugin::textValue(int32_t index, const std::string& text, double& plain)
{
    const clap_param_info_t* p = impl_->info(index);
    return p && impl_->params->text_to_value(impl_->plugin, p->id, text.c_str(), &plain);
}

std::string ClapPlugin::parameterDisplay(int32_t index)
{
    return valueText(index, plainValue(index));
}

int32_t ClapPlugin::numPrograms() const
{
    return static_cast<int32_t>(impl_->programNames.size());
}

int32_t ClapPlugin::program()
{
    return impl_->currentProgram;
}

void ClapPlugin::setProgram(int32_t index)
{
    Impl& m = *impl_;
    if (index < 0 || index >= numPrograms())
        return;
    std::vector<uint8_t> bytes;
    clap_ostream_t stream{&bytes, Impl::write};
    if (m.programs->save_state(m.programs, static_cast<uint32_t>(index), &stream) &&
        setChunk(true, bytes) == 1)
        m.currentProgram = index;
}

std::string ClapPlugin::programName()
{
    return numPrograms() > 0 ? impl_->programNames[static_cast<std::size_t>(impl_->currentProgram)]
                             : std::string();
}

std::optional<std::string> ClapPlugin::programNameIndexed(int32_t index)
{
    if (index < 0 || index >= numPrograms())
        return std::nullopt;
    return impl_->programNames[static_cast<std::size_t>(index)];
}

std::vector<uint8_t> ClapPlugin::getChunk(bool program)
{
    std::vector<uint8_t> bytes;
    if (!program || !impl_->state)
        return bytes;
    clap_ostream_t stream{&bytes, Impl::write};
    if (!impl_->state->save(impl_->plugin, &stream))
        bytes.clear();
    return bytes;
}

intptr_t ClapPlugin::setChunk(bool program, std::span<const uint8_t> data)
{
    if (!program || !impl_->state)
        return 0;
    Impl::Reader reader{data};
    clap_istream_t stream{&reader, Impl::read};
    return impl_->state->load(impl_->plugin, &stream) ? 1 : 0;
}

void ClapPlugin::reset()
{
    if (impl_->active)
        impl_->plugin->reset(impl_->plugin);
}

void ClapPlugin::sendMidi(MidiEventList& events)
{
    for (std::size_t k = 0; k < events.size(); ++k) {
        const VstMidiEvent& v = events[k];
        QueuedEvent e{};
        e.midi.header.size = sizeof(e.midi);
        e.midi.header.time = static_cast<uint32_t>(std::max(0, v.deltaFrames));
        e.midi.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
        e.midi.header.type = CLAP_EVENT_MIDI;
        e.midi.port_index = 0;
        for (int b = 0; b < 3; ++b)
            e.midi.data[b] = static_cast<uint8_t>(v.midiData[b]);
        impl_->queued.push_back(e);
    }
}

void ClapPlugin::process(float* const* inputs, float* const* outputs, int32_t frames)
{
    Impl& m = *impl_;
    if (!m.processing || frames <= 0) {
        // CLAP has no empty block; what was queued waits for one with frames.
        return;
    }
    m.ordered = m.queued;
    m.queued.clear();
    // In time order, events of one frame as they were sent; an insertion sort, since
    // std::stable_sort takes a buffer from the heap and the audio path takes nothing.
    for (std::size_t k = 1; k < m.ordered.size(); ++k) {
        for (std::size_t j = k; j > 0 && m.ordered[j].header.time < m.ordered[j - 1].header.time;
             --j) {
            std::swap(m.ordered[j], m.ordered[j - 1]);
        }
    }
    for (QueuedEvent& e : m.ordered)
        e.header.time = std::min(e.header.time, static_cast<uint32_t>(frames - 1));

    const clap_event_transport_t transport = m.transportEvent();
    clap_audio_buffer_t in{};
    in.data32 = const_cast<float**>(inputs);
    in.channel_count = static_cast<uint32_t>(numInputs());
    clap_audio_buffer_t out{};
    out.data32 = const_cast<float**>(outputs);
    out.channel_count = static_cast<uint32_t>(numOutputs());
    clap_input_events_t inEvents{&m, Impl::inputSize, Impl::inputGet};
    clap_output_events_t outEvents{&m, Impl::tryPush};
    clap_process_t p{};
    p.steady_time = m.steadyTime;
    p.frames_count = static_cast<uint32_t>(frames);
    p.transport = &transport;
    p.audio_inputs = &in;
    p.audio_outputs = &out;
    p.audio_inputs_count = in.channel_count > 0 ? 1 : 0;
    p.audio_outputs_count = out.channel_count > 0 ? 1 : 0;
    p.in_events = &inEvents;
    p.out_events = &outEvents;
    setInProcessHere(true);
    m.plugin->process(m.plugin, &p);
    setInProcessHere(false);
    m.ordered.clear();
    m.steadyTime += frames;
    m.transport.advance(frames);
}

} // namespace morvek2::host

namespace morvek2::host {

std::vector<ClapPlugin::ParamOutput> ClapPlugin::takeParamOutput()
{
    std::vector<ParamOutput> out(impl_->heard);
    impl_->heard.clear();
    return out;
}

bool ClapPlugin::takeFlushRequest()
{
    return impl_->flushRequested.exchange(false);
}

uint32_t ClapPlugin::takeRescanFlags()
{
    return impl_->rescanFlags.exchange(0);
}

bool ClapPlugin::takeStateDirty()
{
    return impl_->stateDirty.exchange(false);
}

void ClapPlugin::flush()
{
    if (impl_->params && impl_->params->flush)
        impl_->flushQueued();
}

void ClapPlugin::offerTimers(bool offer)
{
    impl_->timersOffered = offer;
}

bool ClapPlugin::editorOpen(void* parent, double scale)
{
    Impl& m = *impl_;
#ifdef _WIN32
    const char* api = CLAP_WINDOW_API_WIN32;
#else
    const char* api = CLAP_WINDOW_API_X11;
#endif
    m.closeEditor();
    if (!m.gui || !m.gui->is_api_supported(m.plugin, api, false) ||
        !m.gui->create(m.plugin, api, false))
        return false;
    m.guiCreated = true;
    if (scale > 0.0)
        m.gui->set_scale(m.plugin, scale);
    // What a host sizes its window by, before the plug-in's window exists.
    m.announcedSize = {0, 0};
    m.gui->get_size(m.plugin, &m.announcedSize.first, &m.announcedSize.second);
    clap_window_t window{};
    window.api = api;
    window.ptr = parent;
    if (!m.gui->set_parent(m.plugin, &window) || !m.gui->show(m.plugin)) {
        m.closeEditor();
        return false;
    }
    return true;
}

std::optional<std::pair<uint32_t, uint32_t>> ClapPlugin::editorSize()
{
    Impl& m = *impl_;
    uint32_t width = 0;
    uint32_t height = 0;
    if (!m.guiCreated || !m.gui->get_size(m.plugin, &width, &height))
        return std::nullopt;
    return std::make_pair(width, height);
}

std::pair<uint32_t, uint32_t> ClapPlugin::editorAnnouncedSize() const
{
    return impl_->announcedSize;
}

void ClapPlugin::editorIdle()
{
    Impl& m = *impl_;
    const auto* timerSupport = static_cast<const clap_plugin_timer_support_t*>(
        m.plugin->get_extension(m.plugin, CLAP_EXT_TIMER_SUPPORT));
    // A copy: a timer may be unregistered from inside on_timer.
    const std::vector<clap_id> timers = m.timers;
    for (clap_id id : timers) {
        if (timerSupport)
            timerSupport->on_timer(m.plugin, id);
    }
    if (m.callbackRequested.exchange(false))
        m.plugin->on_main_thread(m.plugin);
}

void ClapPlugin::editorClose()
{
    impl_->closeEditor();
}

} // namespace morvek2::host
