// Writes the Turtle of the LV2 bundle: manifest.ttl, Morvek2.ttl (plug-in, ports, editor) and
// presets.ttl (the factory programs). Everything comes from a freshly constructed core, the
// same program data the VST2 bank is made of, so the files are never edited by hand.
// Usage: morvek2_lv2ttl OUTPUT_DIR MINOR_VERSION MICRO_VERSION
//        morvek2_lv2ttl --program-values K   (for tests: per control of factory program K, its
//                                             symbol, normalised value and plain value)
#include "lv2/Morvek2Lv2Instance.h"
#include "params/PortMapping.h"
#include "plugin/Morvek2Core.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace {

using morvek2::PortKind;
using morvek2::PortUnit;
namespace lv2 = morvek2::lv2;

constexpr int kVst2NameLength = 8;

const char* const kPrefixes = R"(@prefix atom: <http://lv2plug.in/ns/ext/atom#> .
@prefix doap: <http://usefulinc.com/ns/doap#> .
@prefix foaf: <http://xmlns.com/foaf/0.1/> .
@prefix lv2: <http://lv2plug.in/ns/lv2core#> .
@prefix midi: <http://lv2plug.in/ns/ext/midi#> .
@prefix opts: <http://lv2plug.in/ns/ext/options#> .
@prefix pg: <http://lv2plug.in/ns/ext/port-groups#> .
@prefix pset: <http://lv2plug.in/ns/ext/presets#> .
@prefix rdf: <http://www.w3.org/1999/02/22-rdf-syntax-ns#> .
@prefix rdfs: <http://www.w3.org/2000/01/rdf-schema#> .
@prefix state: <http://lv2plug.in/ns/ext/state#> .
@prefix time: <http://lv2plug.in/ns/ext/time#> .
@prefix ui: <http://lv2plug.in/ns/extensions/ui#> .
@prefix units: <http://lv2plug.in/ns/extensions/units#> .
@prefix urid: <http://lv2plug.in/ns/ext/urid#> .
@prefix xsd: <http://www.w3.org/2001/XMLSchema#> .

)";

// A float as a Turtle decimal or double that reads back as the same float.
std::string number(float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", v);
    std::string s(text);
    if (s.find_first_of(".e") == std::string::npos)
        s += ".0";
    return s;
}

// A Turtle string literal.
std::string quoted(const std::string& text)
{
    std::string s = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\')
            s += '\\';
        s += c;
    }
    return s + "\"";
}

std::string base64(const unsigned char* data, std::size_t size)
{
    static const char kDigits[] =
        "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    for (std::size_t i = 0; i < size; i += 3) {
        const unsigned a = data[i];
        const unsigned b = i + 1 < size ? data[i + 1] : 0u;
        const unsigned c = i + 2 < size ? data[i + 2] : 0u;
        const unsigned word = (a << 16) | (b << 8) | c;
        out += kDigits[(word >> 18) & 63];
        out += kDigits[(word >> 12) & 63];
        out += i + 1 < size ? kDigits[(word >> 6) & 63] : '=';
        out += i + 2 < size ? kDigits[word & 63] : '=';
    }
    return out;
}

// The port symbol of a parameter name: lower case letters, digits and single underscores,
// starting with a letter ("Filt Res" gives "filt_res").
std::string symbolOf(const char* name)
{
    std::string s;
    for (const char* p = name; *p; ++p) {
        const char c = *p;
        if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'))
            s += c;
        else if (c >= 'A' && c <= 'Z')
            s += static_cast<char>(c - 'A' + 'a');
        else if (!s.empty() && s.back() != '_')
            s += '_';
    }
    while (!s.empty() && s.back() == '_')
        s.pop_back();
    if (s.empty() || (s[0] >= '0' && s[0] <= '9'))
        s = "p" + s;
    return s;
}

const char* unitUri(PortUnit unit)
{
    switch (unit) {
    case PortUnit::kHz:
        return "units:hz";
    case PortUnit::kMs:
        return "units:ms";
    case PortUnit::kDb:
        return "units:db";
    case PortUnit::kPercent:
        return "units:pc";
    case PortUnit::kNone:
        break;
    }
    return nullptr;
}

std::string presetUri(int k)
{
    char text[16];
    std::snprintf(text, sizeof text, "%02d", k + 1);
    return std::string("<") + lv2::kPresetUriPrefix + text + ">";
}

bool write(const std::string& path, const std::string& text)
{
    std::ofstream out(path, std::ios::binary);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "morvek2_lv2ttl: cannot write " << path << "\n";
        return false;
    }
    return true;
}

struct Control
{
    std::string name;
    std::string symbol;
};

std::string pluginTurtle(Morvek2Core& core, const morvek2::PortMapping& map,
                         const std::vector<Control>& controls, int minor, int micro)
{
    const std::string plugin = std::string("<") + lv2::kPluginUri + ">";
    const std::string group = std::string("<") + lv2::kPluginUri;
    std::ostringstream t;
    t << kPrefixes;
    t << group << "#in>\n    a pg:StereoGroup , pg:InputGroup ;\n"
      << "    lv2:symbol \"in\" ;\n    lv2:name \"Input\" .\n\n";
    t << group << "#out>\n    a pg:StereoGroup , pg:OutputGroup ;\n"
      << "    lv2:symbol \"out\" ;\n    lv2:name \"Output\" ;\n"
      << "    pg:source " << group << "#in> .\n\n";
    t << group << "#project>\n    a doap:Project ;\n"
      << "    doap:name " << quoted(Morvek2Core::kEffectName) << " ;\n"
      << "    doap:maintainer [\n        foaf:name " << quoted(Morvek2Core::kVendorName)
      << " ;\n        foaf:homepage <https://zendrik.example/>\n    ] .\n\n";
    // The state property of the presets and of saved sessions.
    t << "<" << lv2::kProgramStateUri << ">\n    a rdf:Property ;\n"
      << "    rdfs:label \"program\" ;\n"
      << "    rdfs:comment \"The current program, as the bytes of a VST2 program chunk.\" .\n\n";
    t << plugin << "\n    a lv2:Plugin , lv2:ModulatorPlugin ;\n"
      << "    doap:name " << quoted(Morvek2Core::kEffectName) << " ;\n"
      << "    lv2:project " << group << "#project> ;\n"
      << "    doap:license <https://zendrik.example/licence> ;\n"
      << "    lv2:minorVersion " << minor << " ;\n    lv2:microVersion " << micro << " ;\n"
      << "    lv2:optionalFeature lv2:hardRTCapable , urid:map ;\n"
      << "    lv2:extensionData state:interface ;\n"
      << "    pg:mainInput " << group << "#in> ;\n    pg:mainOutput " << group << "#out> ;\n"
      << "    ui:ui <" << lv2::kUiUri << "> ;\n";

    const char* audio[4][4] = {{"in_l", "In L", "in", "left"},
                               {"in_r", "In R", "in", "right"},
                               {"out_l", "Out L", "out", "left"},
                               {"out_r", "Out R", "out", "right"}};
    t << "    lv2:port [\n";
    for (int p = 0; p < 4; ++p) {
        t << "        a " << (p < 2 ? "lv2:InputPort" : "lv2:OutputPort") << " , lv2:AudioPort ;\n"
          << "        lv2:index " << p << " ;\n        lv2:symbol \"" << audio[p][0] << "\" ;\n"
          << "        lv2:name \"" << audio[p][1] << "\" ;\n"
          << "        pg:group " << group << "#" << audio[p][2] << "> ;\n"
          << "        lv2:designation pg:" << audio[p][3] << "\n    ] , [\n";
    }
    t << "        a lv2:InputPort , atom:AtomPort ;\n        atom:bufferType atom:Sequence ;\n"
      << "        atom:supports time:Position ;\n"
      << "        lv2:portProperty lv2:connectionOptional ;\n"
      << "        lv2:index " << lv2::kPortTime << " ;\n        lv2:symbol \"time\" ;\n"
      << "        lv2:name \"Time\"\n    ] , [\n";
    t << "        a lv2:InputPort , atom:AtomPort ;\n        atom:bufferType atom:Sequence ;\n"
      << "        atom:supports midi:MidiEvent ;\n"
      << "        lv2:portProperty lv2:connectionOptional ;\n"
      << "        lv2:index " << lv2::kPortMidi << " ;\n        lv2:symbol \"midi\" ;\n"
      << "        lv2:name \"MIDI In\"\n    ]";
    for (int i = 0; i < morvek2::PortMapping::kNumParams; ++i) {
        const morvek2::PortForm& f = map.form(i);
        t << " , [\n        a lv2:InputPort , lv2:ControlPort ;\n"
          << "        lv2:index " << lv2::kPortControl0 + i << " ;\n"
          << "        lv2:symbol \"" << controls[i].symbol << "\" ;\n"
          << "        lv2:name " << quoted(controls[i].name) << " ;\n"
          << "        lv2:default " << number(map.toPlain(i, core.getParameter(i))) << " ;\n"
          << "        lv2:minimum " << number(f.minimum) << " ;\n"
          << "        lv2:maximum " << number(f.maximum);
        switch (f.kind) {
        case PortKind::kToggle:
            t << " ;\n        lv2:portProperty lv2:toggled";
            break;
        case PortKind::kInteger:
            t << " ;\n        lv2:portProperty lv2:integer";
            break;
        case PortKind::kEnumeration:
            t << " ;\n        lv2:portProperty lv2:integer , lv2:enumeration ;\n"
              << "        lv2:scalePoint ";
            {
                const auto points = map.scalePoints(i);
                for (std::size_t k = 0; k < points.size(); ++k) {
                    t << (k ? " , " : "") << "[\n            rdfs:label " << quoted(points[k].label)
                      << " ;\n            rdf:value " << number(points[k].value) << "\n        ]";
                }
            }
            break;
        case PortKind::kContinuous:
            break;
        }
        if (const char* unit = unitUri(f.unit))
            t << " ;\n        units:unit " << unit;
        t << "\n    ]";
    }
    t << " .\n\n";

    // The editor reaches the core through the instance, and refuses to open without it.
    t << "<" << lv2::kUiUri << ">\n    a ui:X11UI ;\n"
      << "    lv2:requiredFeature <http://lv2plug.in/ns/ext/instance-access> ;\n"
      << "    lv2:optionalFeature ui:parent , ui:idleInterface , ui:resize , ui:touch ,\n"
      << "        opts:options , urid:map ;\n"
      << "    opts:supportedOption ui:scaleFactor ;\n"
      << "    lv2:extensionData ui:idleInterface .\n";
    return t.str();
}

} // namespace

int main(int argc, char** argv)
{
    const bool listValues = argc == 3 && std::strcmp(argv[1], "--program-values") == 0;
    if (argc != 4 && !listValues) {
        std::cerr << "usage: morvek2_lv2ttl OUTPUT_DIR MINOR_VERSION MICRO_VERSION\n"
                  << "       morvek2_lv2ttl --program-values K\n";
        return 2;
    }

    auto core = std::make_unique<Morvek2Core>();
    const morvek2::PortMapping map(core->getParameterManager());

    std::vector<Control> controls(morvek2::PortMapping::kNumParams);
    std::set<std::string> symbols = {"in_l", "in_r", "out_l", "out_r", "time", "midi"};
    for (int i = 0; i < morvek2::PortMapping::kNumParams; ++i) {
        char name[80] = {};
        // The VST2 face asks for 8 characters, which gives the short names hosts show.
        core->getParameterName(i, name, kVst2NameLength);
        controls[i].name = name;
        std::string symbol = symbolOf(name);
        for (int n = 2; symbols.count(symbol); ++n)
            symbol = symbolOf(name) + "_" + std::to_string(n);
        symbols.insert(symbol);
        controls[i].symbol = symbol;
    }

    if (listValues) {
        const int k = std::atoi(argv[2]);
        if (k < 0 || k >= Morvek2Core::kNumPrograms)
            return 2;
        core->setProgram(k);
        for (int i = 0; i < morvek2::PortMapping::kNumParams; ++i) {
            const float n = core->getParameter(i);
            std::printf("%s\t%.9g\t%s\n", controls[i].symbol.c_str(), n,
                        number(map.toPlain(i, n)).c_str());
        }
        return 0;
    }
    const std::string dir = argv[1];
    const int minor = std::atoi(argv[2]);
    const int micro = std::atoi(argv[3]);

    // The plug-in's defaults are the default program as construction leaves it.
    const std::string plugin = pluginTurtle(*core, map, controls, minor, micro);

    std::ostringstream manifest;
    manifest << kPrefixes << "<" << lv2::kPluginUri << ">\n    a lv2:Plugin ;\n"
             << "    lv2:binary <Morvek2.so> ;\n    rdfs:seeAlso <Morvek2.ttl> .\n\n"
             << "<" << lv2::kUiUri << ">\n    a ui:X11UI ;\n"
             << "    ui:binary <Morvek2_ui.so> ;\n    rdfs:seeAlso <Morvek2.ttl> .\n";

    std::ostringstream presets;
    presets << kPrefixes;
    for (int k = 0; k < Morvek2Core::kNumPrograms; ++k) {
        core->setProgram(k);
        char name[64] = {};
        core->getProgramNameIndexed(k, name);
        manifest << "\n"
                 << presetUri(k) << "\n    a pset:Preset ;\n"
                 << "    lv2:appliesTo <" << lv2::kPluginUri << "> ;\n"
                 << "    rdfs:label " << quoted(name) << " ;\n"
                 << "    rdfs:seeAlso <presets.ttl> .\n";
        presets << presetUri(k) << "\n    a pset:Preset ;\n"
                << "    lv2:appliesTo <" << lv2::kPluginUri << "> ;\n"
                << "    rdfs:label " << quoted(name) << " ;\n    lv2:port";
        for (int i = 0; i < morvek2::PortMapping::kNumParams; ++i) {
            presets << (i ? " , [\n" : " [\n") << "        lv2:symbol \"" << controls[i].symbol
                    << "\" ;\n        pset:value " << number(map.toPlain(i, core->getParameter(i)))
                    << "\n    ]";
        }
        void* chunk = nullptr;
        const int size = core->getChunk(&chunk, true);
        if (size <= 0 || !chunk) {
            std::cerr << "morvek2_lv2ttl: no program chunk for program " << k << "\n";
            return 1;
        }
        presets << " ;\n    state:state [\n        <" << lv2::kProgramStateUri << "> \""
                << base64(static_cast<const unsigned char*>(chunk), static_cast<std::size_t>(size))
                << "\"^^xsd:base64Binary\n    ] .\n\n";
    }

    const bool ok = write(dir + "/manifest.ttl", manifest.str()) &&
                    write(dir + "/Morvek2.ttl", plugin) &&
                    write(dir + "/presets.ttl", presets.str());
    return ok ? 0 : 1;
}
