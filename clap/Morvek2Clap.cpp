// The CLAP face of the plug-in: clap_entry, its factory with one descriptor, and the extensions
// a host uses to run, automate, store and show it (the editor window itself is ClapGui's). It
// translates buffers, events and streams into the core's terms and adds nothing to the sound.
//
// Parameters carry the VST2 face's normalised values, except the lists and switches, which a
// CLAP host sees as stepped integers 0..N-1: step k is the normalised value the VST2 face shows
// as the k-th entry, looked up through the port mapping (so lists whose entries are not evenly
// spaced over 0..1 still land on the very bits VST2 stores).
#include "base/ModulePin.h"
#include "clap/ClapThreadCheck.h"
#include "clap/Morvek2ClapPrograms.h"
#include "params/Morvek2Params.h"
#include "params/PortMapping.h"
#include "plugin/FactoryPrograms.h"
#include "plugin/Morvek2Core.h"
#include "plugin/Morvek2Transport.h"
#ifdef MORVEK2_CLAP_GUI
#include "clap/ClapGui.h"
#endif
#include "plugin/ProgramRecord.h"

#include <clap/entry.h>
#include <clap/events.h>
#include <clap/ext/audio-ports.h>
#include <clap/ext/gui.h>
#include <clap/ext/latency.h>
#include <clap/ext/note-ports.h>
#include <clap/ext/params.h>
#include <clap/ext/state.h>
#include <clap/ext/timer-support.h>
#include <clap/plugin-factory.h>
#include <clap/plugin.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#ifndef MORVEK2_VERSION
#error "MORVEK2_VERSION must name the project version"
#endif

namespace {

constexpr int kNumParams = Morvek2Core::kNumParams;
// Silence read from, and a sink written to, where a host leaves a channel out.
constexpr std::uint32_t kScratchFrames = 256;
// Names and display texts are as long as the VST2 face's (its hosts' eight bytes with the
// terminator): the short names hosts show, the same in every format.
constexpr int kDisplayLength = 8;
constexpr int kNameLength = 8;

// Once released, this never changes: hosts find projects' plug-ins by it.
constexpr const char* kPluginId = "com.zendrik.morvek2";

const char* const kFeatures[] = {
    CLAP_PLUGIN_FEATURE_AUDIO_EFFECT, CLAP_PLUGIN_FEATURE_MULTI_EFFECTS,
    CLAP_PLUGIN_FEATURE_FILTER,       CLAP_PLUGIN_FEATURE_DISTORTION,
    CLAP_PLUGIN_FEATURE_DELAY,        CLAP_PLUGIN_FEATURE_FREQUENCY_SHIFTER,
    CLAP_PLUGIN_FEATURE_STEREO,       nullptr};

const clap_plugin_descriptor_t kDescriptor = {
    CLAP_VERSION_INIT,
    kPluginId,
    Morvek2Core::kEffectName,
    Morvek2Core::kVendorName,
    "",
    "",
    "",
    MORVEK2_VERSION,
    "Stereo multi-effect: six step-sequenced modules (amplitude, filter, distortion, delay, "
    "frequency shifter, bit crusher) in a chain of any order, synced to the host's tempo",
    const_cast<const char**>(kFeatures)};

// The whole of `size` bytes into a host's stream, which may take them in pieces.
bool writeAll(const clap_ostream_t* stream, const void* data, int size)
{
    const auto* bytes = static_cast<const std::uint8_t*>(data);
    std::uint64_t written = 0;
    while (written < static_cast<std::uint64_t>(size)) {
        const std::int64_t n =
            stream->write(stream, bytes + written, static_cast<std::uint64_t>(size) - written);
        if (n <= 0)
            return false;
        written += static_cast<std::uint64_t>(n);
    }
    return true;
}

bool isStepped(const morvek2::PortForm& f)
{
    return f.kind == morvek2::PortKind::kToggle || f.kind == morvek2::PortKind::kEnumeration;
}

// The module a parameter belongs to, as hosts group them.
const char* moduleName(int index)
{
    using namespace morvek2::param;
    static constexpr int kFirst[kNumModules + 1] = {
        kVcaAttack, kFilterFreq, kDistortFuzz, kDelayTime, kShiftFrequency, kBitsRate, kOutputGain};
    for (int m = 0; m < kNumModules; ++m) {
        if (index >= kFirst[m] && index < kFirst[m + 1])
            return kModuleNames[m];
    }
    return "Global";
}

#ifndef MORVEK2_CLAP_GUI
// Without the editor in this build the face needs nothing the window would ask of it.
class ClapGuiOwner
{
public:
    virtual ~ClapGuiOwner() = default;
    virtual double hostValue(int index, float normalised) const = 0;
    virtual void valueOverflow(int index, float normalised) = 0;
};
#endif

class Face final : private Morvek2CoreHost, private ClapGuiOwner
{
public:
    explicit Face(const clap_host_t* host) : host(host)
    {
        plugin.desc = &kDescriptor;
        plugin.plugin_data = this;
        plugin.init = [](const clap_plugin_t* p) { return self(p).init(); };
        plugin.destroy = [](const clap_plugin_t* p) { delete &self(p); };
        plugin.activate = [](const clap_plugin_t* p, double rate, std::uint32_t, std::uint32_t) {
            return self(p).activate(rate);
        };
        plugin.deactivate = [](const clap_plugin_t* p) { self(p).core->suspend(); };
        plugin.start_processing = [](const clap_plugin_t* p) {
            self(p).processing.store(true, std::memory_order_relaxed);
            return true;
        };
        plugin.stop_processing = [](const clap_plugin_t* p) {
            self(p).processing.store(false, std::memory_order_relaxed);
        };
        plugin.reset = [](const clap_plugin_t* p) { self(p).reset(); };
        plugin.process = [](const clap_plugin_t* p, const clap_process_t* process) {
            return self(p).process(*process);
        };
        plugin.get_extension = [](const clap_plugin_t*, const char* id) { return extension(id); };
        plugin.on_main_thread = [](const clap_plugin_t* p) { self(p).onMainThread(); };
    }

    clap_plugin_t plugin{};

private:
    static Face& self(const clap_plugin_t* p) { return *static_cast<Face*>(p->plugin_data); }

    // The callback the editor asked for where the host has no timers.
    void onMainThread() // [ui]
    {
#ifdef MORVEK2_CLAP_GUI
        if (gui)
            gui->onMainThread();
#endif
    }

    bool init()
    {
        try {
            core = std::make_unique<Morvek2Core>();
            map = std::make_unique<morvek2::PortMapping>(core->getParameterManager());
            scratch = std::make_unique<Morvek2ParameterManager>();
            void* chunk = nullptr;
            const int recordSize = core->getChunk(&chunk, true);
            if (recordSize <= 0)
                return false;
            // One byte more than a program so that a longer stream is seen as what it is.
            stateIn.resize(static_cast<std::size_t>(recordSize) + 1);
            core->setCoreHost(this);
            threads.bind(host);
            if (host->get_extension)
                hostParams = static_cast<const clap_host_params_t*>(
                    host->get_extension(host, CLAP_EXT_PARAMS));
            return true;
        } catch (...) {
            return false;
        }
    }

    bool activate(double rate)
    {
        if (!(rate > 0.0) || !std::isfinite(rate))
            return false;
        sampleRate = rate;
        core->setSampleRate(static_cast<float>(rate));
        core->resume();
        framesRun = 0.0;
        return true;
    }

    // Processing starts over as after activation: the sound as a new instance's with the same
    // state, the frames counted from 0 again. [audio]
    void reset()
    {
        core->restartProcessing();
        framesRun = 0.0;
    }

    // ---- Parameters

    // The host's value of parameter i from the core's normalised one, and back.
    double toHost(int i, float normalised) const
    {
        const morvek2::PortForm& f = map->form(i);
        if (!isStepped(f))
            return normalised;
        return static_cast<double>(map->toPlain(i, normalised) - f.minimum);
    }

    double hostValue(int index, float normalised) const override // [any]
    {
        return toHost(index, normalised);
    }

    // An editor edit the queue had no room for goes out as the core's own changes do.
    void valueOverflow(int index, float normalised) override // [ui]
    {
        parameterAutomated(index, normalised);
    }

    float toCore(int i, double value) const // [any]
    {
        const morvek2::PortForm& f = map->form(i);
        if (!isStepped(f))
            return static_cast<float>(std::clamp(value, 0.0, 1.0));
        const double top = static_cast<double>(f.maximum - f.minimum);
        const double step = std::round(std::clamp(value, 0.0, top));
        return map->toNormalised(i, static_cast<float>(step) + f.minimum);
    }

    bool paramInfo(std::uint32_t index, clap_param_info_t* info) // [ui]
    {
        threads.mainThread();
        if (index >= static_cast<std::uint32_t>(kNumParams) || !info)
            return false;
        const int i = static_cast<int>(index);
        *info = clap_param_info_t{};
        info->id = index;
        info->flags = CLAP_PARAM_IS_AUTOMATABLE;
        const morvek2::PortForm& f = map->form(i);
        if (isStepped(f)) {
            info->flags |= CLAP_PARAM_IS_STEPPED;
            info->max_value = static_cast<double>(f.maximum - f.minimum);
        } else {
            info->max_value = 1.0;
        }
        info->min_value = 0.0;
        info->default_value = toHost(i, core->getParameterManager().getDefault(i));
        core->getParameterName(i, info->name, kNameLength);
        std::snprintf(info->module, sizeof(info->module), "%s", moduleName(i));
        return true;
    }

    bool valueToText(clap_id id, double value, char* text, std::uint32_t size) // [ui]
    {
        threads.mainThread();
        if (id >= static_cast<clap_id>(kNumParams) || !text || size == 0 || std::isnan(value))
            return false;
        const int i = static_cast<int>(id);
        char display[kDisplayLength] = {};
        syncScratch();
        displayOf(i, toCore(i, value), display);
        char label[64] = {};
        core->getParameterLabel(i, label, sizeof(label));
        if (label[0] != '\0' && !isStepped(map->form(i)))
            std::snprintf(text, size, "%s %s", display, label);
        else
            std::snprintf(text, size, "%s", display);
        return true;
    }

    // A parameter's text depends on others (the Delay Time's unit on the mode, for one): the
    // scratch manager takes the core's values first, then shows the value asked about.
    void syncScratch() // [ui]
    {
        Morvek2ParameterManager& live = core->getParameterManager();
        for (int j = 0; j < kNumParams; ++j)
            scratch->setValue(j, live.getValue(j));
        scratch->setDelayTimeBase(live.getDelayTimeBase());
    }

    // The text the VST2 face would show for `normalised`, the core left as it is. [ui]
    void displayOf(int i, float normalised, char (&text)[kDisplayLength])
    {
        scratch->setValue(i, normalised);
        scratch->getDisplay(i, text, kDisplayLength);
    }

    bool textToValue(clap_id id, const char* text, double* value) // [ui]
    {
        threads.mainThread();
        if (id >= static_cast<clap_id>(kNumParams) || !text || !value)
            return false;
        const int i = static_cast<int>(id);
        const morvek2::PortForm& f = map->form(i);
        char label[64] = {};
        core->getParameterLabel(i, label, sizeof(label));
        // The text may carry the unit valueToText added.
        std::string wanted(text);
        const std::size_t unit =
            label[0] ? wanted.rfind(std::string(" ") + label) : std::string::npos;
        if (unit != std::string::npos && unit + 1 + std::strlen(label) == wanted.size())
            wanted.resize(unit);
        char display[kDisplayLength] = {};
        syncScratch();
        if (isStepped(f)) {
            const int steps = static_cast<int>(f.maximum - f.minimum) + 1;
            for (int k = 0; k < steps; ++k) {
                displayOf(i, toCore(i, k), display);
                if (wanted == display) {
                    *value = k;
                    return true;
                }
            }
            return false;
        }
        // Continuous: the display texts rise or fall with the value, so the value whose text
        // reads back as the nearest number is searched on a fine grid, an exact text winning.
        char* end = nullptr;
        const double number = std::strtod(wanted.c_str(), &end);
        const bool numeric = end != wanted.c_str() && std::isfinite(number);
        constexpr int kGrid = 4096;
        double best = -1.0;
        double bestDistance = HUGE_VAL;
        for (int k = 0; k <= kGrid; ++k) {
            const float n = static_cast<float>(k) / kGrid;
            displayOf(i, n, display);
            if (wanted == display) {
                *value = n;
                return true;
            }
            if (!numeric)
                continue;
            char* shownEnd = nullptr;
            const double shown = std::strtod(display, &shownEnd);
            if (shownEnd == display)
                continue;
            const double distance = std::fabs(shown - number);
            if (distance < bestDistance) {
                bestDistance = distance;
                best = n;
            }
        }
        if (best < 0.0)
            return false;
        *value = best;
        return true;
    }

    // Applies the parameter and MIDI events of `in`; others are left to the caller. [audio]
    void applyEvent(const clap_event_header_t& e)
    {
        if (e.space_id != CLAP_CORE_EVENT_SPACE_ID)
            return;
        if (e.type == CLAP_EVENT_PARAM_VALUE && e.size >= sizeof(clap_event_param_value_t)) {
            const auto& p = reinterpret_cast<const clap_event_param_value_t&>(e);
            if (p.param_id < static_cast<clap_id>(kNumParams) && !std::isnan(p.value))
                core->setParameter(static_cast<int>(p.param_id),
                                   toCore(static_cast<int>(p.param_id), p.value));
        } else if (e.type == CLAP_EVENT_MIDI && e.size >= sizeof(clap_event_midi_t)) {
            const auto& m = reinterpret_cast<const clap_event_midi_t&>(e);
            const std::uint8_t status = m.data[0];
            if (status >= 0x80 && status < 0xf0)
                core->receiveMidi(status, m.data[1], m.data[2]);
        }
    }

    // Parameter changes the core made by itself (the Solo cascade), kept until the next
    // process or flush hands them to the host as value events.
    void parameterAutomated(int index, float normalised) override // [any]
    {
        if (index < 0 || index >= kNumParams)
            return;
        automated[index].value.store(normalised, std::memory_order_relaxed);
        automated[index].pending.store(true, std::memory_order_release);
        anyAutomated.store(true, std::memory_order_release);
        // Outside processing the host only hears of them when it flushes.
        if (!processing.load(std::memory_order_relaxed) && hostParams && hostParams->request_flush)
            hostParams->request_flush(host);
    }

    void sendAutomated(const clap_output_events_t* out) // [audio] or while not processing
    {
        if (!out || !anyAutomated.exchange(false, std::memory_order_acquire))
            return;
        for (int i = 0; i < kNumParams; ++i) {
            if (!automated[i].pending.exchange(false, std::memory_order_acquire))
                continue;
            clap_event_param_value_t e{};
            e.header.size = sizeof(e);
            e.header.time = 0;
            e.header.space_id = CLAP_CORE_EVENT_SPACE_ID;
            e.header.type = CLAP_EVENT_PARAM_VALUE;
            e.param_id = static_cast<clap_id>(i);
            e.note_id = -1;
            e.port_index = -1;
            e.channel = -1;
            e.key = -1;
            e.value = toHost(i, automated[i].value.load(std::memory_order_relaxed));
            out->try_push(out, &e.header);
        }
    }

    void flush(const clap_input_events_t* in, const clap_output_events_t* out)
    {
        if (in) {
            const std::uint32_t n = in->size(in);
            for (std::uint32_t k = 0; k < n; ++k) {
                if (const clap_event_header_t* e = in->get(in, k))
                    applyEvent(*e);
            }
        }
        sendEdits(out);
        sendAutomated(out);
    }

    // The editor's gestures and values, in the order it made them. [audio] or while not
    // processing
    void sendEdits(const clap_output_events_t* out)
    {
#ifdef MORVEK2_CLAP_GUI
        edits.drainTo(out);
#else
        (void)out;
#endif
    }

    // ---- Processing

    // The host's transport in the core's terms. [audio]
    void takeTransport(const clap_event_transport_t& c)
    {
        Morvek2Transport& t = transport;
        t = Morvek2Transport{};
        t.present = true;
        t.playing = (c.flags & CLAP_TRANSPORT_IS_PLAYING) != 0;
        t.tempo = c.tempo;
        t.tempoPresent = (c.flags & CLAP_TRANSPORT_HAS_TEMPO) != 0;
        // CLAP beats are quarter notes, as the core counts them.
        const bool beats = (c.flags & CLAP_TRANSPORT_HAS_BEATS_TIMELINE) != 0;
        t.position = static_cast<double>(c.song_pos_beats) / CLAP_BEATTIME_FACTOR;
        t.positionPresent = beats;
        t.barStart = static_cast<double>(c.bar_start) / CLAP_BEATTIME_FACTOR;
        t.barStartPresent = beats;
        // Without a seconds timeline the frames run since activation stand in for it.
        if (c.flags & CLAP_TRANSPORT_HAS_SECONDS_TIMELINE)
            t.samplePosition =
                static_cast<double>(c.song_pos_seconds) / CLAP_SECTIME_FACTOR * sampleRate;
        else
            t.samplePosition = framesRun;
        t.samplePositionPresent = true;
        if ((c.flags & CLAP_TRANSPORT_HAS_TIME_SIGNATURE) && c.tsig_num > 0 && c.tsig_denom > 0) {
            t.numerator = c.tsig_num;
            t.denominator = c.tsig_denom;
            t.signaturePresent = true;
        }
    }

    // Frames [from, to) with the transport as it stands, then the transport moves on.
    void processSpan(float* const* in, float* const* out, std::uint32_t from,
                     std::uint32_t to) // [audio]
    {
        while (from < to) {
            const bool scratch = !in || !out;
            std::uint32_t frames = to - from;
            if (scratch && frames > kScratchFrames)
                frames = kScratchFrames;
            float* ins[2];
            float* outs[2];
            for (int c = 0; c < 2; ++c) {
                ins[c] = in ? in[c] + from : silence;
                outs[c] = out ? out[c] + from : discard[c];
            }
            core->process(ins, outs, static_cast<int>(frames), transport);
            moveOn(frames);
            from += frames;
        }
    }

    void moveOn(std::uint32_t frames) // [audio]
    {
        framesRun += frames;
        Morvek2Transport& t = transport;
        if (!t.present || !t.playing)
            return;
        t.samplePosition += frames;
        if (t.tempoPresent && sampleRate > 0.0) {
            t.position += frames * (t.tempo / (60.0 * sampleRate));
            if (t.signaturePresent && t.barStartPresent) {
                const double bar = t.numerator * 4.0 / t.denominator;
                if (bar > 0.0)
                    t.barStart = std::floor(t.position / bar) * bar;
            }
        }
    }

    clap_process_status process(const clap_process_t& p) // [audio]
    {
        threads.audioThread();
        float* const* in = nullptr;
        float* const* out = nullptr;
        if (p.audio_inputs_count > 0 && p.audio_inputs[0].channel_count >= 2 &&
            p.audio_inputs[0].data32 && p.audio_inputs[0].data32[0] && p.audio_inputs[0].data32[1])
            in = p.audio_inputs[0].data32;
        if (p.audio_outputs_count > 0 && p.audio_outputs[0].channel_count >= 2 &&
            p.audio_outputs[0].data32 && p.audio_outputs[0].data32[0] &&
            p.audio_outputs[0].data32[1])
            out = p.audio_outputs[0].data32;

        if (p.transport)
            takeTransport(*p.transport);
        else
            transport = Morvek2Transport{};

        // Each event applies from its own frame on, as a VST2 host's automation applies before
        // the block it belongs to: the block is split there.
        std::uint32_t done = 0;
        const clap_input_events_t* events = p.in_events;
        const std::uint32_t count = events ? events->size(events) : 0;
        for (std::uint32_t k = 0; k < count; ++k) {
            const clap_event_header_t* e = events->get(events, k);
            if (!e)
                continue;
            const std::uint32_t at = std::clamp(e->time, done, p.frames_count);
            processSpan(in, out, done, at);
            done = at;
            if (e->space_id == CLAP_CORE_EVENT_SPACE_ID && e->type == CLAP_EVENT_TRANSPORT &&
                e->size >= sizeof(clap_event_transport_t))
                takeTransport(reinterpret_cast<const clap_event_transport_t&>(*e));
            else
                applyEvent(*e);
        }
        processSpan(in, out, done, p.frames_count);
        sendEdits(p.out_events);
        sendAutomated(p.out_events);
        return CLAP_PROCESS_CONTINUE;
    }

    // ---- State: the bytes of the VST2 face's program chunk

    bool save(const clap_ostream_t* stream) // [ui]
    {
        threads.mainThread();
        void* data = nullptr;
        const int size = core->getChunk(&data, true);
        return stream && size > 0 && data && writeAll(stream, data, size);
    }

    bool load(const clap_istream_t* stream) // [ui]
    {
        threads.mainThread();
        if (!stream)
            return false;
        std::size_t got = 0;
        while (got < stateIn.size()) {
            const std::size_t room = stateIn.size() - got;
            const std::int64_t n = stream->read(stream, stateIn.data() + got, room);
            // A stream that claims more than it was asked for is not to be trusted either.
            if (n < 0 || static_cast<std::uint64_t>(n) > room)
                return false;
            if (n == 0)
                break;
            got += static_cast<std::size_t>(n);
        }
        // A program is exactly one record: anything longer or shorter is not ours. The core
        // refuses bytes that are not a program and leaves everything as it was.
        if (got + 1 != stateIn.size())
            return false;
        return core->setChunk(stateIn.data(), static_cast<int>(got), true) != 0;
    }

#ifdef MORVEK2_CLAP_GUI
    bool createGui(const char* api, bool floating) // [ui]
    {
        threads.mainThread();
        if (!ClapGui::apiSupported(api, floating))
            return false;
        try {
            ClapGuiOwner& owner = *this;
            gui = std::make_unique<ClapGui>(host, *core, owner, edits);
            return true;
        } catch (...) {
            return false;
        }
    }
#endif

    // ---- Extensions

    static const void* extension(const char* id)
    {
        static const clap_plugin_audio_ports_t kAudioPorts = {
            [](const clap_plugin_t*, bool) -> std::uint32_t { return 1; },
            [](const clap_plugin_t*, std::uint32_t index, bool isInput,
               clap_audio_port_info_t* info) {
                if (index != 0 || !info)
                    return false;
                *info = clap_audio_port_info_t{};
                info->id = 0;
                std::snprintf(info->name, sizeof(info->name), "%s",
                              isInput ? "Stereo In" : "Stereo Out");
                info->flags = CLAP_AUDIO_PORT_IS_MAIN;
                info->channel_count = 2;
                info->port_type = CLAP_PORT_STEREO;
                info->in_place_pair = 0;
                return true;
            }};
        static const clap_plugin_note_ports_t kNotePorts = {
            [](const clap_plugin_t*, bool isInput) -> std::uint32_t { return isInput ? 1 : 0; },
            [](const clap_plugin_t*, std::uint32_t index, bool isInput,
               clap_note_port_info_t* info) {
                if (index != 0 || !isInput || !info)
                    return false;
                *info = clap_note_port_info_t{};
                info->id = 0;
                // Controllers for MIDI learn: raw MIDI is all it reads.
                info->supported_dialects = CLAP_NOTE_DIALECT_MIDI;
                info->preferred_dialect = CLAP_NOTE_DIALECT_MIDI;
                std::snprintf(info->name, sizeof(info->name), "MIDI In");
                return true;
            }};
        static const clap_plugin_params_t kParams = {
            [](const clap_plugin_t* p) -> std::uint32_t {
                self(p).threads.mainThread();
                return kNumParams;
            },
            [](const clap_plugin_t* p, std::uint32_t index, clap_param_info_t* info) {
                return self(p).paramInfo(index, info);
            },
            [](const clap_plugin_t* p, clap_id id, double* value) {
                if (id >= static_cast<clap_id>(kNumParams) || !value)
                    return false;
                Face& f = self(p);
                f.threads.mainThread();
                *value = f.toHost(static_cast<int>(id), f.core->getParameter(static_cast<int>(id)));
                return true;
            },
            [](const clap_plugin_t* p, clap_id id, double value, char* text, std::uint32_t size) {
                return self(p).valueToText(id, value, text, size);
            },
            [](const clap_plugin_t* p, clap_id id, const char* text, double* value) {
                return self(p).textToValue(id, text, value);
            },
            [](const clap_plugin_t* p, const clap_input_events_t* in,
               const clap_output_events_t* out) { self(p).flush(in, out); }};
        static const clap_plugin_state_t kState = {
            [](const clap_plugin_t* p, const clap_ostream_t* s) { return self(p).save(s); },
            [](const clap_plugin_t* p, const clap_istream_t* s) { return self(p).load(s); }};
        static const clap_plugin_latency_t kLatency = {
            [](const clap_plugin_t*) -> std::uint32_t { return 0; }};
#ifdef MORVEK2_CLAP_GUI
        static const clap_plugin_gui_t kGui = {
            [](const clap_plugin_t* p, const char* api, bool floating) {
                self(p).threads.mainThread();
                return ClapGui::apiSupported(api, floating);
            },
            [](const clap_plugin_t* p, const char** api, bool* floating) {
                self(p).threads.mainThread();
                if (!api || !floating)
                    return false;
                *api = ClapGui::kApi;
                *floating = false;
                return true;
            },
            [](const clap_plugin_t* p, const char* api, bool floating) {
                return self(p).createGui(api, floating);
            },
            [](const clap_plugin_t* p) {
                Face& f = self(p);
                f.threads.mainThread();
                f.gui.reset();
            },
            [](const clap_plugin_t* p, double scale) {
                Face& f = self(p);
                f.threads.mainThread();
                return f.gui && f.gui->setScale(scale);
            },
            [](const clap_plugin_t* p, std::uint32_t* width, std::uint32_t* height) {
                Face& f = self(p);
                f.threads.mainThread();
                return f.gui && f.gui->getSize(width, height);
            },
            [](const clap_plugin_t* p) {
                self(p).threads.mainThread();
                return false; // the picture has one size (times the scale)
            },
            [](const clap_plugin_t*, clap_gui_resize_hints_t*) { return false; },
            [](const clap_plugin_t* p, std::uint32_t* width, std::uint32_t* height) {
                // Whatever the host proposes, the window keeps its size.
                Face& f = self(p);
                f.threads.mainThread();
                return f.gui && f.gui->getSize(width, height);
            },
            [](const clap_plugin_t* p, std::uint32_t width, std::uint32_t height) {
                Face& f = self(p);
                f.threads.mainThread();
                std::uint32_t w = 0;
                std::uint32_t h = 0;
                return f.gui && f.gui->getSize(&w, &h) && w == width && h == height;
            },
            [](const clap_plugin_t* p, const clap_window_t* window) {
                Face& f = self(p);
                f.threads.mainThread();
                return f.gui && f.gui->setParent(window);
            },
            [](const clap_plugin_t*, const clap_window_t*) { return false; }, // embedded only
            [](const clap_plugin_t*, const char*){},
            [](const clap_plugin_t* p) {
                Face& f = self(p);
                f.threads.mainThread();
                return f.gui && f.gui->show();
            },
            [](const clap_plugin_t* p) {
                Face& f = self(p);
                f.threads.mainThread();
                return f.gui && f.gui->hide();
            }};
        static const clap_plugin_timer_support_t kTimers = {[](const clap_plugin_t* p, clap_id id) {
            Face& f = self(p);
            f.threads.mainThread();
            if (f.gui)
                f.gui->onTimer(id);
        }};
#endif

        if (!id)
            return nullptr;
        if (std::strcmp(id, CLAP_EXT_AUDIO_PORTS) == 0)
            return &kAudioPorts;
        if (std::strcmp(id, CLAP_EXT_NOTE_PORTS) == 0)
            return &kNotePorts;
        if (std::strcmp(id, CLAP_EXT_PARAMS) == 0)
            return &kParams;
        if (std::strcmp(id, CLAP_EXT_STATE) == 0)
            return &kState;
        if (std::strcmp(id, CLAP_EXT_LATENCY) == 0)
            return &kLatency;
#ifdef MORVEK2_CLAP_GUI
        if (std::strcmp(id, CLAP_EXT_GUI) == 0)
            return &kGui;
        if (std::strcmp(id, CLAP_EXT_TIMER_SUPPORT) == 0)
            return &kTimers;
#endif
        return nullptr;
    }

    const clap_host_t* host;
    const clap_host_params_t* hostParams = nullptr;
    std::unique_ptr<Morvek2Core> core;
    std::unique_ptr<morvek2::PortMapping> map;
    std::unique_ptr<Morvek2ParameterManager> scratch; // texts for values the core does not hold
    std::vector<std::uint8_t> stateIn;
    double sampleRate = Morvek2Core::kDefaultSampleRate;
    std::atomic<bool> processing{false};

    Morvek2Transport transport; // audio thread only
    double framesRun = 0.0;     // audio thread only
    float silence[kScratchFrames] = {};
    float discard[2][kScratchFrames] = {};

    struct Automated
    {
        std::atomic<float> value{0.0f};
        std::atomic<bool> pending{false};
    };
    Automated automated[kNumParams];
    std::atomic<bool> anyAutomated{false};

    ClapThreadCheck threads;
#ifdef MORVEK2_CLAP_GUI
    ClapEditQueue edits;
    // Last: the window goes before anything it reports to.
    std::unique_ptr<ClapGui> gui;
#endif
};

const clap_plugin_factory_t kFactory = {
    [](const clap_plugin_factory_t*) -> std::uint32_t { return 1; },
    [](const clap_plugin_factory_t*, std::uint32_t index) -> const clap_plugin_descriptor_t* {
        return index == 0 ? &kDescriptor : nullptr;
    },
    [](const clap_plugin_factory_t*, const clap_host_t* host,
       const char* id) -> const clap_plugin_t* {
        if (!host || !id || std::strcmp(id, kPluginId) != 0 ||
            !clap_version_is_compatible(host->clap_version))
            return nullptr;
        // As the other formats' modules do: the module stays mapped after a host unloads it.
        keepModuleLoaded();
        Face* face = new (std::nothrow) Face(host);
        return face ? &face->plugin : nullptr;
    }};

// The factory programs for hosts that ask (our own among them): each one's bytes are what an
// instance saves after selecting it, taken from a core of their own so that no instance is
// touched. Main thread, not the audio thread: a core is made for each call.
bool writeProgram(std::uint32_t index, const clap_ostream_t* stream)
{
    if (index >= static_cast<std::uint32_t>(Morvek2Core::kNumPrograms) || !stream)
        return false;
    try {
        auto core = std::make_unique<Morvek2Core>();
        core->setProgram(static_cast<int>(index));
        void* data = nullptr;
        const int size = core->getChunk(&data, true);
        return size > 0 && data && writeAll(stream, data, size);
    } catch (...) {
        return false;
    }
}

const morvek2_clap_program_factory_t kProgramFactory = {
    [](const morvek2_clap_program_factory_t*) -> std::uint32_t {
        return Morvek2Core::kNumPrograms;
    },
    [](const morvek2_clap_program_factory_t*, std::uint32_t index, char* name, std::uint32_t size) {
        if (index >= static_cast<std::uint32_t>(Morvek2Core::kNumPrograms) || !name || size == 0)
            return false;
        // The names are compiled in, cut as a program record keeps them: no core is needed.
        std::snprintf(name, size, "%.*s", kProgramNameSize - 1, factory::kNames[index]);
        return true;
    },
    [](const morvek2_clap_program_factory_t*, std::uint32_t index, const clap_ostream_t* stream) {
        return writeProgram(index, stream);
    }};

} // namespace

extern "C" CLAP_EXPORT const clap_plugin_entry_t clap_entry = {
    CLAP_VERSION_INIT, [](const char*) { return true; }, []() {},
    [](const char* id) -> const void* {
        if (!id)
            return nullptr;
        if (std::strcmp(id, CLAP_PLUGIN_FACTORY_ID) == 0)
            return &kFactory;
        if (std::strcmp(id, MORVEK2_CLAP_PROGRAM_FACTORY_ID) == 0)
            return &kProgramFactory;
        return nullptr;
    }};
