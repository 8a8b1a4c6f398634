#include "host/lv2_plugin.h"

#include "host/render.h"

#include <lilv/lilv.h>
#include <lv2/atom/atom.h>
#include <lv2/atom/forge.h>
#include <lv2/buf-size/buf-size.h>
#include <lv2/core/lv2.h>
#include <lv2/midi/midi.h>
#include <lv2/options/options.h>
#include <lv2/parameters/parameters.h>
#include <lv2/port-props/port-props.h>
#include <lv2/presets/presets.h>
#include <lv2/state/state.h>
#include <lv2/time/time.h>
#include <lv2/units/units.h>
#include <lv2/urid/urid.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <unordered_map>

namespace morvek2::host {

namespace {

// Room for a block's events on each atom port: far more than a position and a full MIDI list.
constexpr std::size_t kAtomBytes = 64 * 1024;
constexpr std::size_t kMaxPendingMidi = 1024;
// Instantiating before start() (to restore a program, say) uses these; start() makes a new
// instance when it is given another rate or a larger block.
constexpr float kFirstRate = 44100.0f;
constexpr int32_t kFirstMaxBlock = 8192;

// The URIs a host answers with numbers; lives as long as the plug-in may call it (any thread
// but the audio thread, where everything is mapped in advance).
class UridMap
{
public:
    UridMap()
    {
        map_.handle = this;
        map_.map = [](LV2_URID_Map_Handle h, const char* uri) {
            return static_cast<UridMap*>(h)->map(uri);
        };
        unmap_.handle = this;
        unmap_.unmap = [](LV2_URID_Unmap_Handle h, LV2_URID urid) {
            return static_cast<UridMap*>(h)->unmap(urid);
        };
    }
    UridMap(const UridMap&) = delete;
    UridMap& operator=(const UridMap&) = delete;

    LV2_URID map(const char* uri)
    {
        if (uri == nullptr) {
            return 0;
        }
        const std::lock_guard lock(mutex_);
        const auto found = ids_.find(uri);
        if (found != ids_.end()) {
            return found->second;
        }
        names_.emplace_back(std::make_unique<std::string>(uri));
        const auto id = static_cast<LV2_URID>(names_.size());
        ids_.emplace(*names_.back(), id);
        return id;
    }
    const char* unmap(LV2_URID id)
    {
        const std::lock_guard lock(mutex_);
        return id >= 1 && id <= names_.size() ? names_[id - 1]->c_str() : nullptr;
    }
    LV2_URID_Map* mapFeature() { return &map_; }
    LV2_URID_Unmap* unmapFeature() { return &unmap_; }

private:
    std::mutex mutex_;
    // Pointers stay put when the list grows: unmap hands out c_str() of these.
    std::vector<std::unique_ptr<std::string>> names_;
    std::unordered_map<std::string, LV2_URID> ids_;
    LV2_URID_Map map_{};
    LV2_URID_Unmap unmap_{};
};

struct Port
{
    enum class Kind { AudioIn, AudioOut, ControlIn, ControlOut, AtomIn, AtomOut, Other };
    Kind kind = Kind::Other;
    std::string symbol;
    std::string name;
    std::string unit;
    float min = 0.0f;
    float max = 1.0f;
    float def = 0.0f;
    bool integer = false;
    bool toggled = false;
    bool logarithmic = false;
    bool time = false; // an atom input that takes time:Position
    bool midi = false; // an atom input that takes midi:MidiEvent
    std::vector<std::pair<float, std::string>> scalePoints;
};

struct PendingMidi
{
    uint32_t frame = 0;
    uint8_t bytes[3] = {};
};

// Bytes of a short message with this status byte.
uint32_t midiLength(uint8_t status)
{
    if (status >= 0xF8) {
        return 1;
    }
    switch (status & 0xF0) {
    case 0xC0:
    case 0xD0:
        return 2;
    default:
        return 3;
    }
}

std::string nodeString(LilvNode* node)
{
    std::string text =
        node != nullptr && lilv_node_as_string(node) ? lilv_node_as_string(node) : "";
    lilv_node_free(node);
    return text;
}

float nodeFloat(LilvNode* node, float fallback)
{
    float value = fallback;
    if (node != nullptr && (lilv_node_is_float(node) || lilv_node_is_int(node))) {
        value = lilv_node_as_float(node);
    }
    lilv_node_free(node);
    return value;
}

// Symbols of the common units, for units that carry none of their own.
std::string unitSymbol(const std::string& unitUri)
{
    static const std::pair<const char*, const char*> known[] = {
        {LV2_UNITS__hz, "Hz"},      {LV2_UNITS__khz, "kHz"},  {LV2_UNITS__ms, "ms"},
        {LV2_UNITS__s, "s"},        {LV2_UNITS__db, "dB"},    {LV2_UNITS__pc, "%"},
        {LV2_UNITS__bpm, "BPM"},    {LV2_UNITS__cent, "ct"},  {LV2_UNITS__semitone12TET, "semi"},
        {LV2_UNITS__beat, "beats"}, {LV2_UNITS__bar, "bars"}, {LV2_UNITS__frame, "frames"},
        {LV2_UNITS__degree, "deg"}, {LV2_UNITS__oct, "oct"},  {LV2_UNITS__min, "min"}};
    for (const auto& [uri, symbol] : known) {
        if (unitUri == uri) {
            return symbol;
        }
    }
    return {};
}

} // namespace

struct Lv2Plugin::Impl
{
    std::string path;
    LilvWorld* world = nullptr;
    const LilvPlugin* plugin = nullptr;
    LilvInstance* instance = nullptr;
    bool active = false;
    float rate = 0.0f;
    int32_t maxBlock = 0;
    int32_t blockSize = 1024;

    UridMap urids;
    std::vector<Port> ports;
    std::vector<uint32_t> controls; // port index of parameter i
    std::vector<uint32_t> audioIns;
    std::vector<uint32_t> audioOuts;
    std::vector<float> values; // every control port's value, by port index
    // 8-byte words so that the atoms in them are aligned as LV2 requires.
    std::vector<std::vector<uint64_t>> atomBuffers;
    std::vector<std::vector<float>> otherBuffers;

    std::vector<LilvNode*> presets;
    std::vector<std::string> presetLabels;
    int32_t program = 0;
    std::unordered_map<int32_t, std::string> renamed;
    std::string programKey;
    Lv2ValueMapping mapping;

    Transport transport;
    Lv2Positions positions = Lv2Positions::OnChange;
    bool firstBlock = true;
    double lastTempo = 0.0;
    bool lastPlaying = false;
    int32_t lastNumerator = 0;
    int32_t lastDenominator = 0;
    int64_t positionsSent = 0;
    std::vector<PendingMidi> pending;

    // Mapped once, before any block.
    struct
    {
        LV2_URID atomChunk, atomInt, atomLong, atomFloat, atomDouble, atomBool, atomSequence;
        LV2_URID timePosition, timeFrame, timeSpeed, timeBar, timeBarBeat, timeBeatUnit,
            timeBeatsPerBar, timeBeatsPerMinute;
        LV2_URID midiEvent, sampleRate, minBlock, maxBlock, nominalBlock, sequenceSize;
    } u{};
    LV2_Atom_Forge forge{};

    // Options and features as the plug-in is given them.
    int32_t optMinBlock = 1;
    int32_t optMaxBlock = 0;
    int32_t optSequenceSize = static_cast<int32_t>(kAtomBytes);
    float optRate = 0.0f;
    std::vector<LV2_Options_Option> options;
    LV2_Feature mapFeature{LV2_URID__map, nullptr};
    LV2_Feature unmapFeature{LV2_URID__unmap, nullptr};
    LV2_Feature optionsFeature{LV2_OPTIONS__options, nullptr};
    LV2_Feature boundedFeature{LV2_BUF_SIZE__boundedBlockLength, nullptr};
    const LV2_Feature* features[5] = {&mapFeature, &unmapFeature, &optionsFeature, &boundedFeature,
                                      nullptr};

    ~Impl()
    {
        freeInstance();
        for (LilvNode* preset : presets) {
            lilv_node_free(preset);
        }
        if (world != nullptr) {
            lilv_world_free(world);
        }
    }

    void freeInstance()
    {
        if (instance == nullptr) {
            return;
        }
        if (active) {
            lilv_instance_deactivate(instance);
            active = false;
        }
        lilv_instance_free(instance);
        instance = nullptr;
    }

    LilvNode* uriNode(const char* uri) { return lilv_new_uri(world, uri); }

    void mapUrids()
    {
        LV2_URID_Map* m = urids.mapFeature();
        const auto id = [m](const char* uri) { return m->map(m->handle, uri); };
        u.atomChunk = id(LV2_ATOM__Chunk);
        u.atomInt = id(LV2_ATOM__Int);
        u.atomLong = id(LV2_ATOM__Long);
        u.atomFloat = id(LV2_ATOM__Float);
        u.atomDouble = id(LV2_ATOM__Double);
        u.atomBool = id(LV2_ATOM__Bool);
        u.atomSequence = id(LV2_ATOM__Sequence);
        u.timePosition = id(LV2_TIME__Position);
        u.timeFrame = id(LV2_TIME__frame);
        u.timeSpeed = id(LV2_TIME__speed);
        u.timeBar = id(LV2_TIME__bar);
        u.timeBarBeat = id(LV2_TIME__barBeat);
        u.timeBeatUnit = id(LV2_TIME__beatUnit);
        u.timeBeatsPerBar = id(LV2_TIME__beatsPerBar);
        u.timeBeatsPerMinute = id(LV2_TIME__beatsPerMinute);
        u.midiEvent = id(LV2_MIDI__MidiEvent);
        u.sampleRate = id(LV2_PARAMETERS__sampleRate);
        u.minBlock = id(LV2_BUF_SIZE__minBlockLength);
        u.maxBlock = id(LV2_BUF_SIZE__maxBlockLength);
        u.nominalBlock = id(LV2_BUF_SIZE__nominalBlockLength);
        u.sequenceSize = id(LV2_BUF_SIZE__sequenceSize);
        lv2_atom_forge_init(&forge, m);
        mapFeature.data = m;
        unmapFeature.data = urids.unmapFeature();
    }

    void readPorts()
    {
        LilvNode* input = uriNode(LV2_CORE__InputPort);
        LilvNode* output = uriNode(LV2_CORE__OutputPort);
        LilvNode* audio = uriNode(LV2_CORE__AudioPort);
        LilvNode* control = uriNode(LV2_CORE__ControlPort);
        LilvNode* atom = uriNode(LV2_ATOM__AtomPort);
        LilvNode* integer = uriNode(LV2_CORE__integer);
        LilvNode* toggled = uriNode(LV2_CORE__toggled);
        LilvNode* logarithmic = uriNode(LV2_PORT_PROPS__logarithmic);
        LilvNode* position = uriNode(LV2_TIME__Position);
        LilvNode* midiEvent = uriNode(LV2_MIDI__MidiEvent);
        LilvNode* unitPredicate = uriNode(LV2_UNITS__unit);
        LilvNode* symbolPredicate = uriNode(LV2_UNITS__symbol);

        const uint32_t count = lilv_plugin_get_num_ports(plugin);
        ports.resize(count);
        values.assign(count, 0.0f);
        atomBuffers.resize(count);
        otherBuffers.resize(count);
        for (uint32_t i = 0; i < count; ++i) {
            const LilvPort* lp = lilv_plugin_get_port_by_index(plugin, i);
            Port& p = ports[i];
            p.symbol = lilv_node_as_string(lilv_port_get_symbol(plugin, lp));
            p.name = nodeString(lilv_port_get_name(plugin, lp));
            const bool in = lilv_port_is_a(plugin, lp, input);
            const bool out = lilv_port_is_a(plugin, lp, output);
            if (lilv_port_is_a(plugin, lp, audio)) {
                p.kind = in ? Port::Kind::AudioIn : Port::Kind::AudioOut;
                (in ? audioIns : audioOuts).push_back(i);
            } else if (lilv_port_is_a(plugin, lp, control) && (in || out)) {
                p.kind = in ? Port::Kind::ControlIn : Port::Kind::ControlOut;
                LilvNode* def = nullptr;
                LilvNode* min = nullptr;
                LilvNode* max = nullptr;
                lilv_port_get_range(plugin, lp, &def, &min, &max);
                p.min = nodeFloat(min, 0.0f);
                p.max = nodeFloat(max, 1.0f);
                p.def = nodeFloat(def, p.min);
                p.integer = lilv_port_has_property(plugin, lp, integer);
                p.toggled = lilv_port_has_property(plugin, lp, toggled);
                p.logarithmic = lilv_port_has_property(plugin, lp, logarithmic) && p.min > 0.0f &&
                                p.max > p.min;
                if (LilvScalePoints* points = lilv_port_get_scale_points(plugin, lp)) {
                    LILV_FOREACH(scale_points, it, points)
                    {
                        const LilvScalePoint* sp = lilv_scale_points_get(points, it);
                        p.scalePoints.emplace_back(
                            lilv_node_as_float(lilv_scale_point_get_value(sp)),
                            lilv_node_as_string(lilv_scale_point_get_label(sp)));
                    }
                    lilv_scale_points_free(points);
                }
                if (LilvNode* unit = lilv_port_get(plugin, lp, unitPredicate)) {
                    p.unit = nodeString(lilv_world_get(world, unit, symbolPredicate, nullptr));
                    if (p.unit.empty() && lilv_node_is_uri(unit)) {
                        p.unit = unitSymbol(lilv_node_as_uri(unit));
                    }
                    lilv_node_free(unit);
                }
                values[i] = p.def;
                if (in) {
                    controls.push_back(i);
                }
            } else if (lilv_port_is_a(plugin, lp, atom) && (in || out)) {
                p.kind = in ? Port::Kind::AtomIn : Port::Kind::AtomOut;
                p.time = in && lilv_port_supports_event(plugin, lp, position);
                p.midi = in && lilv_port_supports_event(plugin, lp, midiEvent);
                atomBuffers[i].assign(kAtomBytes / sizeof(uint64_t), 0);
            }
        }
        for (LilvNode* node : {input, output, audio, control, atom, integer, toggled, logarithmic,
                               position, midiEvent, unitPredicate, symbolPredicate}) {
            lilv_node_free(node);
        }
    }

    void readPresets()
    {
        LilvNode* presetClass = uriNode(LV2_PRESETS__Preset);
        LilvNode* label = uriNode(LILV_NS_RDFS "label");
        if (LilvNodes* related = lilv_plugin_get_related(plugin, presetClass)) {
            LILV_FOREACH(nodes, it, related)
            {
                presets.push_back(lilv_node_duplicate(lilv_nodes_get(related, it)));
            }
            lilv_nodes_free(related);
        }
        std::sort(presets.begin(), presets.end(), [](const LilvNode* a, const LilvNode* b) {
            return std::strcmp(lilv_node_as_uri(a), lilv_node_as_uri(b)) < 0;
        });
        for (LilvNode* preset : presets) {
            lilv_world_load_resource(world, preset);
            std::string name = nodeString(lilv_world_get(world, preset, label, nullptr));
            presetLabels.push_back(name.empty() ? lilv_node_as_uri(preset) : name);
        }
        lilv_node_free(label);
        lilv_node_free(presetClass);
    }

    // A required feature this host does not give, or empty.
    std::string missingFeature()
    {
        std::string missing;
        if (LilvNodes* required = lilv_plugin_get_required_features(plugin)) {
            LILV_FOREACH(nodes, it, required)
            {
                const char* uri = lilv_node_as_uri(lilv_nodes_get(required, it));
                const bool given = std::any_of(
                    std::begin(features), std::end(features) - 1,
                    [uri](const LV2_Feature* f) { return std::strcmp(f->URI, uri) == 0; });
                if (!given && missing.empty()) {
                    missing = uri;
                }
            }
            lilv_nodes_free(required);
        }
        return missing;
    }

    // A new instance for `sampleRate` and blocks up to `largest`, control ports connected.
    bool instantiate(float sampleRate, int32_t largest)
    {
        optRate = sampleRate;
        optMaxBlock = largest;
        options = {
            {LV2_OPTIONS_INSTANCE, 0, u.minBlock, sizeof(int32_t), u.atomInt, &optMinBlock},
            {LV2_OPTIONS_INSTANCE, 0, u.maxBlock, sizeof(int32_t), u.atomInt, &optMaxBlock},
            {LV2_OPTIONS_INSTANCE, 0, u.nominalBlock, sizeof(int32_t), u.atomInt, &optMaxBlock},
            {LV2_OPTIONS_INSTANCE, 0, u.sequenceSize, sizeof(int32_t), u.atomInt, &optSequenceSize},
            {LV2_OPTIONS_INSTANCE, 0, u.sampleRate, sizeof(float), u.atomFloat, &optRate},
            {LV2_OPTIONS_INSTANCE, 0, 0, 0, 0, nullptr}};
        optionsFeature.data = options.data();
        instance = lilv_plugin_instantiate(plugin, sampleRate, features);
        if (instance == nullptr) {
            return false;
        }
        rate = sampleRate;
        maxBlock = largest;
        for (uint32_t i = 0; i < ports.size(); ++i) {
            const Port& p = ports[i];
            if (p.kind == Port::Kind::ControlIn || p.kind == Port::Kind::ControlOut) {
                lilv_instance_connect_port(instance, i, &values[i]);
            } else if (p.kind == Port::Kind::AtomIn || p.kind == Port::Kind::AtomOut) {
                clearSequence(i);
                lilv_instance_connect_port(instance, i, atomBuffers[i].data());
            } else if (p.kind == Port::Kind::Other) {
                // CV and unknown port types get silence of their own.
                otherBuffers[i].assign(static_cast<std::size_t>(largest), 0.0f);
                lilv_instance_connect_port(instance, i, otherBuffers[i].data());
            }
        }
        firstBlock = true;
        return true;
    }

    void ensureInstance()
    {
        if (instance == nullptr && !instantiate(kFirstRate, kFirstMaxBlock)) {
            throw std::runtime_error("cannot instantiate the LV2 plug-in in '" + path + "'");
        }
    }

    void clearSequence(uint32_t port) // [audio]
    {
        auto* seq = reinterpret_cast<LV2_Atom_Sequence*>(atomBuffers[port].data());
        if (ports[port].kind == Port::Kind::AtomIn) {
            seq->atom.size = sizeof(LV2_Atom_Sequence_Body);
            seq->atom.type = u.atomSequence;
        } else {
            // An output gets its capacity, as the plug-in may write that much.
            seq->atom.size = static_cast<uint32_t>(kAtomBytes - sizeof(LV2_Atom));
            seq->atom.type = u.atomChunk;
        }
        seq->body.unit = 0;
        seq->body.pad = 0;
    }

    bool positionDue() const // [audio]
    {
        switch (positions) {
        case Lv2Positions::Never:
            return false;
        case Lv2Positions::EveryBlock:
            return true;
        case Lv2Positions::OnChange:
            break;
        }
        return firstBlock || transport.changed() || transport.tempo() != lastTempo ||
               transport.playing() != lastPlaying ||
               transport.timeSigNumerator() != lastNumerator ||
               transport.timeSigDenominator() != lastDenominator;
    }

    // The transport at the block's first frame, in the terms of time:Position: bars from 0,
    // beats of the signature's unit within the bar, tempo in those beats per minute.
    void forgePosition() // [audio]
    {
        const double ppq = transport.ppqPos();
        int32_t numerator = transport.timeSigNumerator();
        int32_t denominator = transport.timeSigDenominator();
        if (numerator <= 0 || denominator <= 0) {
            numerator = denominator = 4;
        }
        const double barLength = numerator * 4.0 / denominator;
        const double bar = std::floor(ppq / barLength);
        const double barBeat = (ppq - bar * barLength) * denominator / 4.0;
        LV2_Atom_Forge_Frame object;
        lv2_atom_forge_frame_time(&forge, 0);
        lv2_atom_forge_object(&forge, &object, 0, u.timePosition);
        lv2_atom_forge_key(&forge, u.timeFrame);
        lv2_atom_forge_long(&forge, std::llround(transport.samplePos()));
        lv2_atom_forge_key(&forge, u.timeSpeed);
        lv2_atom_forge_float(&forge, transport.playing() ? 1.0f : 0.0f);
        lv2_atom_forge_key(&forge, u.timeBar);
        lv2_atom_forge_long(&forge, static_cast<int64_t>(bar));
        lv2_atom_forge_key(&forge, u.timeBarBeat);
        lv2_atom_forge_float(&forge, static_cast<float>(barBeat));
        lv2_atom_forge_key(&forge, u.timeBeatUnit);
        lv2_atom_forge_int(&forge, denominator);
        lv2_atom_forge_key(&forge, u.timeBeatsPerBar);
        lv2_atom_forge_float(&forge, static_cast<float>(numerator));
        lv2_atom_forge_key(&forge, u.timeBeatsPerMinute);
        lv2_atom_forge_float(&forge, static_cast<float>(transport.tempo() * denominator / 4.0));
        lv2_atom_forge_pop(&forge, &object);
    }

    void fillAtomInputs(bool sendPosition) // [audio]
    {
        for (uint32_t i = 0; i < ports.size(); ++i) {
            const Port& p = ports[i];
            if (p.kind == Port::Kind::AtomOut) {
                clearSequence(i);
            }
            if (p.kind != Port::Kind::AtomIn) {
                continue;
            }
            lv2_atom_forge_set_buffer(&forge, reinterpret_cast<uint8_t*>(atomBuffers[i].data()),
                                      kAtomBytes);
            LV2_Atom_Forge_Frame sequence;
            lv2_atom_forge_sequence_head(&forge, &sequence, 0);
            if (p.time && sendPosition) {
                forgePosition();
            }
            if (p.midi) {
                for (const PendingMidi& m : pending) {
                    const uint32_t length = midiLength(m.bytes[0]);
                    lv2_atom_forge_frame_time(&forge, m.frame);
                    lv2_atom_forge_atom(&forge, length, u.midiEvent);
                    lv2_atom_forge_write(&forge, m.bytes, length);
                }
            }
            lv2_atom_forge_pop(&forge, &sequence);
        }
    }

    // Parameter values between the port's range and 0..1.
    float toNormalised(const Port& p, float plain) const
    {
        if (!(p.max > p.min)) {
            return 0.0f;
        }
        const float v = std::clamp(plain, p.min, p.max);
        if (p.logarithmic) {
            return static_cast<float>(std::log(static_cast<double>(v) / p.min) /
                                      std::log(static_cast<double>(p.max) / p.min));
        }
        return (v - p.min) / (p.max - p.min);
    }
    float toPlain(const Port& p, float normalised) const
    {
        const double n = std::clamp(static_cast<double>(normalised), 0.0, 1.0);
        double v = p.logarithmic ? p.min * std::pow(static_cast<double>(p.max) / p.min, n)
                                 : p.min + n * (static_cast<double>(p.max) - p.min);
        if (p.toggled) {
            v = n >= 0.5 ? p.max : p.min;
        } else if (p.integer) {
            v = std::round(v);
        }
        return static_cast<float>(v);
    }

    // State callbacks: what a save hands over, and what a restore is given.
    struct Saved
    {
        Impl* self = nullptr;
        std::vector<uint8_t> bytes;
        bool found = false;
    };
    struct Given
    {
        Impl* self = nullptr;
        LV2_URID key = 0;
        std::span<const uint8_t> bytes;
    };

    LV2_URID programUrid() { return programKey.empty() ? 0 : urids.map(programKey.c_str()); }

    const LV2_State_Interface* stateInterface()
    {
        ensureInstance();
        return static_cast<const LV2_State_Interface*>(
            lilv_instance_get_extension_data(instance, LV2_STATE__interface));
    }
};

Lv2Plugin::Lv2Plugin(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}

Lv2Plugin::~Lv2Plugin() = default;

std::unique_ptr<Lv2Plugin> Lv2Plugin::load(const std::string& bundlePath, std::string& error,
                                           const std::string& uri)
{
    namespace fs = std::filesystem;
    std::error_code ec;
    if (!fs::exists(bundlePath, ec)) {
        error = "cannot load '" + bundlePath + "': no such bundle folder";
        return nullptr;
    }
    if (!fs::is_directory(bundlePath, ec)) {
        error = "cannot load '" + bundlePath + "': an LV2 bundle is a folder, this is a file";
        return nullptr;
    }
    if (!fs::exists(fs::path(bundlePath) / "manifest.ttl", ec)) {
        error = "'" + bundlePath + "' is no LV2 bundle: it holds no manifest.ttl";
        return nullptr;
    }
    auto impl = std::make_unique<Impl>();
    impl->path = bundlePath;
    impl->world = lilv_world_new();
    // The bundle URI names the folder, so it ends with a slash.
    std::string folder = fs::absolute(bundlePath, ec).lexically_normal().string();
    if (folder.empty() || folder.back() != '/') {
        folder += '/';
    }
    LilvNode* bundle = lilv_new_file_uri(impl->world, nullptr, folder.c_str());
    lilv_world_load_bundle(impl->world, bundle);

    const LilvPlugins* all = lilv_world_get_all_plugins(impl->world);
    std::vector<const LilvPlugin*> inBundle;
    LILV_FOREACH(plugins, it, all)
    {
        const LilvPlugin* p = lilv_plugins_get(all, it);
        if (lilv_node_equals(lilv_plugin_get_bundle_uri(p), bundle)) {
            inBundle.push_back(p);
        }
    }
    lilv_node_free(bundle);
    std::string uris;
    for (const LilvPlugin* p : inBundle) {
        const std::string pluginUri = lilv_node_as_uri(lilv_plugin_get_uri(p));
        uris += (uris.empty() ? "" : ", ") + pluginUri;
        if (pluginUri == uri || (uri.empty() && inBundle.size() == 1)) {
            impl->plugin = p;
        }
    }
    if (impl->plugin == nullptr) {
        if (inBundle.empty()) {
            error = "the LV2 bundle '" + bundlePath + "' describes no plug-in";
        } else if (uri.empty()) {
            error = "the LV2 bundle '" + bundlePath + "' holds several plug-ins (" + uris +
                    "), and none was named";
        } else {
            error = "the LV2 bundle '" + bundlePath + "' holds no plug-in <" + uri + "> (only " +
                    uris + ")";
        }
        return nullptr;
    }
    LilvNode* library = const_cast<LilvNode*>(lilv_plugin_get_library_uri(impl->plugin));
    char* libraryPath = library ? lilv_file_uri_parse(lilv_node_as_uri(library), nullptr) : nullptr;
    const bool libraryThere = libraryPath != nullptr && fs::exists(libraryPath, ec);
    const std::string libraryText = libraryPath ? libraryPath : "(none)";
    lilv_free(libraryPath);
    if (!libraryThere) {
        error = "the LV2 bundle '" + bundlePath + "' names the binary " + libraryText +
                ", which does not exist";
        return nullptr;
    }

    impl->mapUrids();
    impl->readPorts();
    impl->readPresets();
    const std::string missing = impl->missingFeature();
    if (!missing.empty()) {
        error = "the LV2 plug-in in '" + bundlePath + "' requires " + missing +
                ", which this host does not provide";
        return nullptr;
    }
    impl->pending.reserve(kMaxPendingMidi);
    return std::unique_ptr<Lv2Plugin>(new Lv2Plugin(std::move(impl)));
}

void Lv2Plugin::setProgramKey(const std::string& uri)
{
    impl_->programKey = uri;
}

void Lv2Plugin::setValueMapping(Lv2ValueMapping mapping)
{
    impl_->mapping = std::move(mapping);
}

void Lv2Plugin::setPositions(Lv2Positions positions)
{
    impl_->positions = positions;
}

int64_t Lv2Plugin::positionsSent() const
{
    return impl_->positionsSent;
}

const std::string& Lv2Plugin::path() const
{
    return impl_->path;
}

std::string Lv2Plugin::uri() const
{
    return lilv_node_as_uri(lilv_plugin_get_uri(impl_->plugin));
}

int32_t Lv2Plugin::numInputs() const
{
    return static_cast<int32_t>(impl_->audioIns.size());
}
int32_t Lv2Plugin::numOutputs() const
{
    return static_cast<int32_t>(impl_->audioOuts.size());
}
int32_t Lv2Plugin::numParams() const
{
    return static_cast<int32_t>(impl_->controls.size());
}
int32_t Lv2Plugin::numPrograms() const
{
    return static_cast<int32_t>(impl_->presets.size());
}

bool Lv2Plugin::isInstrument() const
{
    LilvNode* instrument = impl_->uriNode(LV2_CORE__InstrumentPlugin);
    const LilvPluginClass* cls = lilv_plugin_get_class(impl_->plugin);
    const bool is = cls != nullptr && lilv_node_equals(lilv_plugin_class_get_uri(cls), instrument);
    lilv_node_free(instrument);
    return is;
}

bool Lv2Plugin::programChunks() const
{
    LilvNode* state = impl_->uriNode(LV2_STATE__interface);
    const bool has = lilv_plugin_has_extension_data(impl_->plugin, state);
    lilv_node_free(state);
    return has;
}

std::string Lv2Plugin::effectName()
{
    return nodeString(lilv_plugin_get_name(impl_->plugin));
}

std::string Lv2Plugin::productString()
{
    return effectName();
}

void Lv2Plugin::start(float sampleRate, int32_t maxBlock)
{
    Impl& m = *impl_;
    m.blockSize = maxBlock;
    m.transport.setSampleRate(sampleRate);
    if (m.instance != nullptr && (m.rate != sampleRate || maxBlock > m.maxBlock)) {
        // The rate and the largest block are instantiation arguments in LV2.
        const std::vector<uint8_t> chunk =
            programChunks() ? getChunk(true) : std::vector<uint8_t>{};
        m.freeInstance();
        if (!m.instantiate(sampleRate, std::max(maxBlock, 1))) {
            throw std::runtime_error("cannot instantiate the LV2 plug-in in '" + m.path + "'");
        }
        if (!chunk.empty()) {
            setChunk(true, chunk);
        }
    }
    if (m.instance == nullptr && !m.instantiate(sampleRate, std::max(maxBlock, 1))) {
        throw std::runtime_error("cannot instantiate the LV2 plug-in in '" + m.path + "'");
    }
    if (!m.active) {
        lilv_instance_activate(m.instance);
        m.active = true;
        m.firstBlock = true;
    }
}

int32_t Lv2Plugin::blockSize() const
{
    return impl_->blockSize;
}

Transport& Lv2Plugin::transport()
{
    return impl_->transport;
}

float Lv2Plugin::getParameter(int32_t index)
{
    if (index < 0 || index >= numParams()) {
        return 0.0f;
    }
    const uint32_t port = impl_->controls[static_cast<std::size_t>(index)];
    if (impl_->mapping.toNormalised) {
        return impl_->mapping.toNormalised(index, impl_->values[port]);
    }
    return impl_->toNormalised(impl_->ports[port], impl_->values[port]);
}

void Lv2Plugin::setParameter(int32_t index, float normalised)
{
    if (index < 0 || index >= numParams()) {
        return;
    }
    const uint32_t port = impl_->controls[static_cast<std::size_t>(index)];
    impl_->values[port] = impl_->mapping.toPlain ? impl_->mapping.toPlain(index, normalised)
                                                 : impl_->toPlain(impl_->ports[port], normalised);
}

float Lv2Plugin::plainValue(int32_t index) const
{
    if (index < 0 || index >= numParams()) {
        return 0.0f;
    }
    return impl_->values[impl_->controls[static_cast<std::size_t>(index)]];
}

void Lv2Plugin::setPlainValue(int32_t index, float value)
{
    if (index >= 0 && index < numParams()) {
        impl_->values[impl_->controls[static_cast<std::size_t>(index)]] = value;
    }
}

std::string Lv2Plugin::parameterName(int32_t index)
{
    if (index < 0 || index >= numParams()) {
        return {};
    }
    return impl_->ports[impl_->controls[static_cast<std::size_t>(index)]].name;
}

std::string Lv2Plugin::parameterLabel(int32_t index)
{
    if (index < 0 || index >= numParams()) {
        return {};
    }
    return impl_->ports[impl_->controls[static_cast<std::size_t>(index)]].unit;
}

std::string Lv2Plugin::parameterDisplay(int32_t index)
{
    if (index < 0 || index >= numParams()) {
        return {};
    }
    const uint32_t port = impl_->controls[static_cast<std::size_t>(index)];
    const Port& p = impl_->ports[port];
    const float v = impl_->values[port];
    for (const auto& [value, label] : p.scalePoints) {
        if (value == v) {
            return label;
        }
    }
    char text[64];
    if (p.toggled) {
        return v > 0.5f * (p.min + p.max) ? "On" : "Off";
    }
    if (p.integer) {
        std::snprintf(text, sizeof(text), "%.0f", static_cast<double>(v));
    } else {
        std::snprintf(text, sizeof(text), "%.4g", static_cast<double>(v));
    }
    return text;
}

int32_t Lv2Plugin::program()
{
    return impl_->program;
}

void Lv2Plugin::setProgram(int32_t index)
{
    Impl& m = *impl_;
    if (index < 0 || index >= numPrograms()) {
        return;
    }
    m.ensureInstance();
    LilvState* state = lilv_state_new_from_world(m.world, m.urids.mapFeature(),
                                                 m.presets[static_cast<std::size_t>(index)]);
    if (state == nullptr) {
        return;
    }
    const auto setValue = [](const char* symbol, void* data, const void* value, uint32_t size,
                             uint32_t type) {
        Impl& self = *static_cast<Impl*>(data);
        for (uint32_t i = 0; i < self.ports.size(); ++i) {
            if (self.ports[i].kind != Port::Kind::ControlIn || self.ports[i].symbol != symbol) {
                continue;
            }
            if (type == self.u.atomFloat && size == sizeof(float)) {
                std::memcpy(&self.values[i], value, sizeof(float));
            } else if (type == self.u.atomDouble && size == sizeof(double)) {
                double d = 0.0;
                std::memcpy(&d, value, sizeof(d));
                self.values[i] = static_cast<float>(d);
            } else if ((type == self.u.atomInt || type == self.u.atomBool) &&
                       size == sizeof(int32_t)) {
                int32_t n = 0;
                std::memcpy(&n, value, sizeof(n));
                self.values[i] = static_cast<float>(n);
            } else if (type == self.u.atomLong && size == sizeof(int64_t)) {
                int64_t n = 0;
                std::memcpy(&n, value, sizeof(n));
                self.values[i] = static_cast<float>(n);
            }
        }
    };
    lilv_state_restore(state, m.instance, setValue, &m, 0, m.features);
    lilv_state_free(state);
    m.program = index;
}

std::string Lv2Plugin::programName()
{
    const auto renamed = impl_->renamed.find(impl_->program);
    if (renamed != impl_->renamed.end()) {
        return renamed->second;
    }
    const auto name = programNameIndexed(impl_->program);
    return name ? *name : std::string();
}

void Lv2Plugin::setProgramName(const std::string& name)
{
    // LV2 presets are read-only data: the new name lives in this host only.
    impl_->renamed[impl_->program] = name;
}

std::optional<std::string> Lv2Plugin::programNameIndexed(int32_t index)
{
    if (index < 0 || index >= numPrograms()) {
        return std::nullopt;
    }
    return impl_->presetLabels[static_cast<std::size_t>(index)];
}

std::vector<uint8_t> Lv2Plugin::getChunk(bool program)
{
    Impl& m = *impl_;
    if (!program || !programChunks()) {
        return {};
    }
    const LV2_State_Interface* state = m.stateInterface();
    if (state == nullptr || state->save == nullptr) {
        return {};
    }
    Impl::Saved saved{&m, {}, false};
    const auto store = [](LV2_State_Handle handle, uint32_t key, const void* value, size_t size,
                          uint32_t, uint32_t) -> LV2_State_Status {
        auto& s = *static_cast<Impl::Saved*>(handle);
        const LV2_URID wanted = s.self->programUrid();
        if (!s.found && (wanted == 0 || key == wanted)) {
            const auto* bytes = static_cast<const uint8_t*>(value);
            s.bytes.assign(bytes, bytes + size);
            s.found = true;
        }
        return LV2_STATE_SUCCESS;
    };
    state->save(lilv_instance_get_handle(m.instance), store, &saved,
                LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, m.features);
    return saved.bytes;
}

intptr_t Lv2Plugin::setChunk(bool program, std::span<const uint8_t> data)
{
    Impl& m = *impl_;
    if (!program || !programChunks() || m.programKey.empty()) {
        return 0;
    }
    const LV2_State_Interface* state = m.stateInterface();
    if (state == nullptr || state->restore == nullptr) {
        return 0;
    }
    Impl::Given given{&m, m.programUrid(), data};
    const auto retrieve = [](LV2_State_Handle handle, uint32_t key, size_t* size, uint32_t* type,
                             uint32_t* flags) -> const void* {
        auto& g = *static_cast<Impl::Given*>(handle);
        if (key != g.key) {
            return nullptr;
        }
        *size = g.bytes.size();
        *type = g.self->u.atomChunk;
        *flags = LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE;
        return g.bytes.data();
    };
    const LV2_State_Status status =
        state->restore(lilv_instance_get_handle(m.instance), retrieve, &given,
                       LV2_STATE_IS_POD | LV2_STATE_IS_PORTABLE, m.features);
    return status == LV2_STATE_SUCCESS ? 1 : 0;
}

void Lv2Plugin::sendMidi(MidiEventList& events)
{
    Impl& m = *impl_;
    m.pending.clear();
    for (std::size_t i = 0; i < events.size() && m.pending.size() < kMaxPendingMidi; ++i) {
        const VstMidiEvent& e = events[i];
        PendingMidi p;
        p.frame = static_cast<uint32_t>(std::max<int32_t>(e.deltaFrames, 0));
        std::memcpy(p.bytes, e.midiData, sizeof(p.bytes));
        m.pending.push_back(p);
    }
}

void Lv2Plugin::process(float* const* inputs, float* const* outputs, int32_t frames)
{
    Impl& m = *impl_;
    if (m.instance == nullptr || !m.active || frames <= 0) {
        // LV2 has no empty run; nothing happens in a block without frames.
        return;
    }
    for (std::size_t c = 0; c < m.audioIns.size(); ++c) {
        lilv_instance_connect_port(m.instance, m.audioIns[c], inputs[c]);
    }
    for (std::size_t c = 0; c < m.audioOuts.size(); ++c) {
        lilv_instance_connect_port(m.instance, m.audioOuts[c], outputs[c]);
    }
    const bool sendPosition = m.positionDue();
    m.fillAtomInputs(sendPosition);
    if (sendPosition) {
        ++m.positionsSent;
        m.lastTempo = m.transport.tempo();
        m.lastPlaying = m.transport.playing();
        m.lastNumerator = m.transport.timeSigNumerator();
        m.lastDenominator = m.transport.timeSigDenominator();
    }
    m.firstBlock = false;
    lilv_instance_run(m.instance, static_cast<uint32_t>(frames));
    m.pending.clear();
    m.transport.advance(frames);
}

} // namespace morvek2::host
