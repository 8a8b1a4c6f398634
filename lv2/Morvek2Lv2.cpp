// The LV2 face of the plug-in: lv2_descriptor and everything an LV2 host calls on the DSP side.
// It translates ports, atoms and state into the core's terms and adds nothing to the sound.
//
// Hosts differ in what they give. Without urid:map (lilv's lv2apply passes no features at all)
// no atom can be understood: the atom ports are ignored, the transport stays absent (the core
// then behaves as under a stopped VST2 transport) and state cannot be saved or restored. Every
// port may be left unconnected.
#include "lv2/Morvek2Lv2Instance.h"
#include "params/PortMapping.h"
#include "plugin/Morvek2Core.h"
#include "plugin/Morvek2Transport.h"

#include <lv2/atom/atom.h>
#include <lv2/atom/util.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/urid/urid.h>

#include <atomic>
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>

namespace {

using namespace morvek2::lv2;

constexpr int kNumParams = Morvek2Core::kNumParams;
// Unconnected audio ports read silence from, and write into, buffers of this many frames.
constexpr std::uint32_t kScratchFrames = 256;
// The tempo of a transport nobody has set.
constexpr double kStoppedTempo = 120.0;

struct Urids
{
    LV2_URID atomBlank, atomObject, atomChunk, atomInt, atomLong, atomFloat, atomDouble;
    LV2_URID midiEvent, timePosition, timeBar, timeBarBeat, timeBeat, timeBeatUnit, timeBeatsPerBar,
        timeBeatsPerMinute, timeSpeed, timeFrame, program;
};

// What the host said about its transport, kept between positions: the host may send a position
// only when something changes, so the face moves it on by itself meanwhile, the way a VST2 host
// moves ppqPos and samplePos from one block to the next.
struct Clock
{
    bool known = false; // a position arrived since activation
    double speed = 0.0; // the host's last word; until it says so, the transport stands
    double quartersPerMinute = 0.0;
    bool tempoKnown = false;
    double quarters = 0.0; // at the next sample to process
    bool quartersKnown = false;
    double frame = 0.0;
    bool frameKnown = false;
    double beatsPerBar = 4.0;
    double beatUnit = 4.0;
    bool signatureKnown = false;

    void fill(Morvek2Transport& t) const
    {
        t = Morvek2Transport{};
        t.present = true;
        if (!known) {
            // No word from the host: a stopped transport at the song start, at the tempo and
            // signature a VST2 host shows before anyone sets them. (Saying nothing at all
            // would leave Delay mode on its 2000 ms start-up beat, which no VST2 host hears.)
            t.tempo = kStoppedTempo;
            t.tempoPresent = true;
            t.positionPresent = true;
            t.samplePositionPresent = true;
            t.signaturePresent = true;
            t.barStartPresent = true;
            return;
        }
        t.playing = speed != 0.0;
        t.tempo = quartersPerMinute;
        t.tempoPresent = tempoKnown;
        t.position = quarters;
        t.positionPresent = quartersKnown;
        t.samplePosition = frame;
        t.samplePositionPresent = frameKnown;
        if (signatureKnown) {
            t.numerator = static_cast<int>(beatsPerBar);
            t.denominator = static_cast<int>(beatUnit);
            t.signaturePresent = true;
            const double bar = beatsPerBar * 4.0 / beatUnit;
            if (quartersKnown && bar > 0.0) {
                // floor: in a pre-roll the bar starts before the position.
                t.barStart = std::floor(quarters / bar) * bar;
                t.barStartPresent = true;
            }
        }
    }

    void advance(std::uint32_t frames, double sampleRate)
    {
        if (!known || speed == 0.0)
            return;
        frame += static_cast<double>(frames) * speed;
        if (tempoKnown && sampleRate > 0.0)
            quarters +=
                static_cast<double>(frames) * (speed * quartersPerMinute / (60.0 * sampleRate));
    }
};

struct Face
{
    Morvek2Lv2Instance shared; // first: the handle the host and the editor see points here
    std::unique_ptr<Morvek2Core> core;
    std::unique_ptr<morvek2::PortMapping> map;
    double sampleRate = 44100.0;
    bool haveUrids = false;
    Urids urid{};

    const float* in[2] = {nullptr, nullptr};
    float* out[2] = {nullptr, nullptr};
    const LV2_Atom_Sequence* timePort = nullptr;
    const LV2_Atom_Sequence* midiPort = nullptr;
    const float* controls[kNumParams] = {};
    // The plain value last taken from each control port, as float bits so a NaN a host leaves
    // in a port counts as seen once rather than as a change every block.
    std::uint32_t seen[kNumParams] = {};
    // Set when the core's values changed behind the ports (state restored): run then takes what
    // the ports held at the restore as seen, so a host that restores the state alone, leaving its
    // ports as they were, does not undo the restored program with them, while a port the host
    // moves after the restore still counts.
    std::atomic<bool> reseeControls{false};
    std::atomic<std::uint32_t> portsAtRestore[kNumParams] = {};

    Clock clock;
    float silence[kScratchFrames] = {};
    float discard[2][kScratchFrames] = {};

    void seeCoreValues() // [audio] or before the first run
    {
        for (int i = 0; i < kNumParams; ++i)
            seen[i] = std::bit_cast<std::uint32_t>(map->currentPlain(i));
    }

    void notePortsAtRestore() // [ui] inside restore
    {
        for (int i = 0; i < kNumParams; ++i)
            portsAtRestore[i].store(
                std::bit_cast<std::uint32_t>(controls[i] ? *controls[i] : map->currentPlain(i)),
                std::memory_order_relaxed);
    }

    void seePortsAtRestore() // [audio]
    {
        for (int i = 0; i < kNumParams; ++i)
            seen[i] = portsAtRestore[i].load(std::memory_order_relaxed);
    }
};

Face* faceOf(LV2_Handle handle)
{
    return static_cast<Face*>(handle);
}

bool numberOf(const Urids& u, const LV2_Atom* atom, double& value)
{
    if (!atom)
        return false;
    if (atom->type == u.atomFloat && atom->size >= sizeof(float))
        value = reinterpret_cast<const LV2_Atom_Float*>(atom)->body;
    else if (atom->type == u.atomDouble && atom->size >= sizeof(double))
        value = reinterpret_cast<const LV2_Atom_Double*>(atom)->body;
    else if (atom->type == u.atomInt && atom->size >= sizeof(std::int32_t))
        value = reinterpret_cast<const LV2_Atom_Int*>(atom)->body;
    else if (atom->type == u.atomLong && atom->size >= sizeof(std::int64_t))
        value = static_cast<double>(reinterpret_cast<const LV2_Atom_Long*>(atom)->body);
    else
        return false;
    return std::isfinite(value);
}

// A time:Position object: what it says replaces what the clock knew.
void takePosition(Face& f, const LV2_Atom_Object* object) // [audio]
{
    const Urids& u = f.urid;
    const LV2_Atom *bar = nullptr, *barBeat = nullptr, *beat = nullptr, *beatUnit = nullptr,
                   *beatsPerBar = nullptr, *bpm = nullptr, *speed = nullptr, *frame = nullptr;
    lv2_atom_object_get(object, u.timeBar, &bar, u.timeBarBeat, &barBeat, u.timeBeat, &beat,
                        u.timeBeatUnit, &beatUnit, u.timeBeatsPerBar, &beatsPerBar,
                        u.timeBeatsPerMinute, &bpm, u.timeSpeed, &speed, u.timeFrame, &frame, 0);
    Clock& c = f.clock;
    c.known = true;
    double v = 0.0;
    if (numberOf(u, speed, v))
        c.speed = v;
    if (numberOf(u, frame, v)) {
        c.frame = v;
        c.frameKnown = true;
    }
    double unit = 0.0, perBar = 0.0;
    if (numberOf(u, beatUnit, unit) && numberOf(u, beatsPerBar, perBar) && unit >= 1.0 &&
        perBar > 0.0) {
        c.beatUnit = unit;
        c.beatsPerBar = perBar;
        c.signatureKnown = true;
    }
    // Beats are beatUnit notes; the core counts quarter notes.
    const double quartersPerBeat = 4.0 / c.beatUnit;
    if (numberOf(u, bpm, v) && v > 0.0) {
        c.quartersPerMinute = v * quartersPerBeat;
        c.tempoKnown = true;
    }
    double b = 0.0, bb = 0.0;
    if (numberOf(u, beat, v)) {
        c.quarters = v * quartersPerBeat;
        c.quartersKnown = true;
    } else if (numberOf(u, bar, b) && numberOf(u, barBeat, bb)) {
        // Hosts that send bar and barBeat but no beat (Ardour among them).
        c.quarters = (b * c.beatsPerBar + bb) * quartersPerBeat;
        c.quartersKnown = true;
    }
}

// Processes frames [from, to) of the block with the clock as it stands, then moves it on.
void processSpan(Face& f, std::uint32_t from, std::uint32_t to) // [audio]
{
    Morvek2Transport transport;
    while (from < to) {
        const bool scratch = !f.in[0] || !f.in[1] || !f.out[0] || !f.out[1];
        std::uint32_t frames = to - from;
        if (scratch && frames > kScratchFrames)
            frames = kScratchFrames;
        float* ins[2];
        float* outs[2];
        for (int c = 0; c < 2; ++c) {
            ins[c] = f.in[c] ? const_cast<float*>(f.in[c]) + from : f.silence;
            outs[c] = f.out[c] ? f.out[c] + from : f.discard[c];
        }
        f.clock.fill(transport);
        f.core->process(ins, outs, static_cast<int>(frames), transport);
        f.clock.advance(frames, f.sampleRate);
        from += frames;
    }
}

LV2_Handle instantiate(const LV2_Descriptor*, double rate, const char*,
                       const LV2_Feature* const* features)
{
    try {
        auto f = std::make_unique<Face>();
        f->core = std::make_unique<Morvek2Core>();
        f->shared.core = f->core.get();
        f->map = std::make_unique<morvek2::PortMapping>(f->core->getParameterManager());
        if (rate > 0.0 && std::isfinite(rate))
            f->sampleRate = rate;
        f->core->setSampleRate(static_cast<float>(f->sampleRate));

        const LV2_URID_Map* map = nullptr;
        for (int k = 0; features && features[k]; ++k) {
            if (std::strcmp(features[k]->URI, LV2_URID__map) == 0)
                map = static_cast<const LV2_URID_Map*>(features[k]->data);
        }
        if (map && map->map) {
            Urids& u = f->urid;
            auto m = [map](const char* uri) { return map->map(map->handle, uri); };
            u.atomBlank = m(LV2_ATOM__Blank);
            u.atomObject = m(LV2_ATOM__Object);
            u.atomChunk = m(LV2_ATOM__Chunk);
            u.atomInt = m(LV2_ATOM__Int);
            u.atomLong = m(LV2_ATOM__Long);
            u.atomFloat = m(LV2_ATOM__Float);
            u.atomDouble = m(LV2_ATOM__Double);
            u.midiEvent = m(LV2_MIDI__MidiEvent);
            u.timePosition = m(LV2_TIME__Position);
            u.timeBar = m(LV2_TIME__bar);
            u.timeBarBeat = m(LV2_TIME__barBeat);
            u.timeBeat = m(LV2_TIME__beat);
            u.timeBeatUnit = m(LV2_TIME__beatUnit);
            u.timeBeatsPerBar = m(LV2_TIME__beatsPerBar);
            u.timeBeatsPerMinute = m(LV2_TIME__beatsPerMinute);
            u.timeSpeed = m(LV2_TIME__speed);
            u.timeFrame = m(LV2_TIME__frame);
            u.program = m(kProgramStateUri);
            f->haveUrids = true;
        }
        f->seeCoreValues();
        return f.release();
    } catch (...) {
        return nullptr;
    }
}

void connectPort(LV2_Handle handle, uint32_t port, void* data)
{
    Face& f = *faceOf(handle);
    switch (port) {
    case kPortInL:
    case kPortInR:
        f.in[port - kPortInL] = static_cast<const float*>(data);
        break;
    case kPortOutL:
    case kPortOutR:
        f.out[port - kPortOutL] = static_cast<float*>(data);
        break;
    case kPortTime:
        f.timePort = static_cast<const LV2_Atom_Sequence*>(data);
        break;
    case kPortMidi:
        f.midiPort = static_cast<const LV2_Atom_Sequence*>(data);
        break;
    default:
        if (port >= kPortControl0 && port < kPortControl0 + kNumParams)
            f.controls[port - kPortControl0] = static_cast<const float*>(data);
        break;
    }
}

void activate(LV2_Handle handle)
{
    Face& f = *faceOf(handle);
    f.clock = Clock{};
    f.core->resume();
}

void deactivate(LV2_Handle handle)
{
    faceOf(handle)->core->suspend();
}

bool isSequence(const LV2_Atom_Sequence* s)
{
    return s && s->atom.size >= sizeof(LV2_Atom_Sequence_Body);
}

void run(LV2_Handle handle, uint32_t frames) // [audio]
{
    Face& f = *faceOf(handle);
    if (f.reseeControls.exchange(false, std::memory_order_acquire))
        f.seePortsAtRestore();

    // Automation first, as a VST2 host's setParameter calls arrive before its block. A port
    // moved to the value the core already holds changes nothing: a host that writes a restored
    // program's values into its ports after the state must not turn stored values into other
    // bits of the same list entry.
    for (int i = 0; i < kNumParams; ++i) {
        if (!f.controls[i])
            continue;
        const float plain = *f.controls[i];
        const std::uint32_t bits = std::bit_cast<std::uint32_t>(plain);
        if (bits != f.seen[i]) {
            f.seen[i] = bits;
            if (bits != std::bit_cast<std::uint32_t>(f.map->currentPlain(i)))
                f.core->setParameter(i, f.map->toNormalised(i, plain));
        }
    }

    if (f.haveUrids && isSequence(f.midiPort)) {
        LV2_ATOM_SEQUENCE_FOREACH(f.midiPort, ev)
        {
            if (ev->body.type != f.urid.midiEvent || ev->body.size < 1)
                continue;
            const auto* bytes = reinterpret_cast<const std::uint8_t*>(ev + 1);
            const std::uint8_t status = bytes[0];
            if (status < 0x80 || status >= 0xf0)
                continue; // running status and system messages carry no controller
            f.core->receiveMidi(status, ev->body.size > 1 ? bytes[1] : 0,
                                ev->body.size > 2 ? bytes[2] : 0);
        }
    }

    // A position applies from its own frame on: the block is split there.
    std::uint32_t done = 0;
    if (f.haveUrids && isSequence(f.timePort)) {
        LV2_ATOM_SEQUENCE_FOREACH(f.timePort, ev)
        {
            const LV2_Atom& body = ev->body;
            if (body.type != f.urid.atomObject && body.type != f.urid.atomBlank)
                continue;
            const auto* object = reinterpret_cast<const LV2_Atom_Object*>(&ev->body);
            if (body.size < sizeof(LV2_Atom_Object_Body) ||
                object->body.otype != f.urid.timePosition)
                continue;
            std::int64_t at = ev->time.frames;
            at = at < static_cast<std::int64_t>(done) ? done : (at > frames ? frames : at);
            processSpan(f, done, static_cast<std::uint32_t>(at));
            done = static_cast<std::uint32_t>(at);
            takePosition(f, object);
        }
    }
    processSpan(f, done, frames);
}

void cleanup(LV2_Handle handle)
{
    delete faceOf(handle);
}

LV2_State_Status save(LV2_Handle handle, LV2_State_Store_Function store, LV2_State_Handle state,
                      uint32_t, const LV2_Feature* const*)
{
    Face& f = *faceOf(handle);
    if (!f.haveUrids)
        return LV2_STATE_ERR_NO_FEATURE;
    void* data = nullptr;
    const int size = f.core->getChunk(&data, true);
    if (size <= 0 || !data)
        return LV2_STATE_ERR_UNKNOWN;
    return store(state, f.urid.program, data, static_cast<std::size_t>(size), f.urid.atomChunk,
                 LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE);
}

LV2_State_Status restore(LV2_Handle handle, LV2_State_Retrieve_Function retrieve,
                         LV2_State_Handle state, uint32_t, const LV2_Feature* const*)
{
    Face& f = *faceOf(handle);
    if (!f.haveUrids)
        return LV2_STATE_ERR_NO_FEATURE;
    std::size_t size = 0;
    std::uint32_t type = 0;
    std::uint32_t flags = 0;
    const void* data = retrieve(state, f.urid.program, &size, &type, &flags);
    if (!data)
        return LV2_STATE_ERR_NO_PROPERTY;
    if (type != f.urid.atomChunk || size == 0 || size > 0x7fffffffu)
        return LV2_STATE_ERR_BAD_TYPE;
    // The core refuses bytes that are not a program and leaves everything as it was.
    if (!f.core->setChunk(data, static_cast<int>(size), true))
        return LV2_STATE_ERR_UNKNOWN;
    f.notePortsAtRestore();
    f.reseeControls.store(true, std::memory_order_release);
    return LV2_STATE_SUCCESS;
}

const void* extensionData(const char* uri)
{
    static const LV2_State_Interface kState = {save, restore};
    if (uri && std::strcmp(uri, LV2_STATE__interface) == 0)
        return &kState;
    return nullptr;
}

const LV2_Descriptor kDescriptor = {kPluginUri, instantiate, connectPort, activate,
                                    run,        deactivate,  cleanup,     extensionData};

} // namespace

extern "C" LV2_SYMBOL_EXPORT const LV2_Descriptor* lv2_descriptor(uint32_t index)
{
    return index == 0 ? &kDescriptor : nullptr;
}
