// Turns the factory program text files (resources/presets/*.txt) into the seven constant tables
// of plugin/FactoryPrograms.h. Run by the build; fails (exit 1, with file and line) on anything
// it does not understand, so a typo never becomes a silent default.
//
//   presetgen OUTPUT.cpp FILE...      (the files in program order, 40 of them)
//
// File format, one program per file ('#' starts a comment):
//   name = 03 Hi-Pass Junkie
//   chain = Filter Distort VCA Delay Shift Bits
//   page = Filter
//   <parameter long name> = <value>
//   lane <module>: position P, length L, direction forward|backward|random, size 1/16, reserved R
//     values: 0.1 0.2 0.5*4 ...      (up to 32 numbers, v*n repeats v n times; the rest 0)
//     gates: x... x.x. ...           (x on, . off; the rest off)
//     locks: .... v... g...          (v value lock, g gate lock, b both; the rest none)
//
// Values are in the parameter's own units as the editor shows them (Hz, ms, %, dB, steps,
// -1..1 for mod amounts), or a list entry by name (step sizes, directions, filter types, delay
// modes, note divisions in Delay mode, on/off for switches), or "norm X" for the raw normalised
// value. Parameters not named keep their defaults. A lane not named has the header
// (0, 16, forward, 1/16, 0), no gates and no values. A module's Step Size, Length and Direction
// parameters follow its lane header unless the file names them.

#include "params/Morvek2ParameterManager.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kParams = 93;
constexpr int kLanes = 6;
constexpr int kSteps = 32;
constexpr const char* kModules[kLanes] = {"VCA", "Filter", "Distort", "Delay", "Shift", "Bits"};
constexpr const char* kStepSizes[10] = {"1/64", "1/32", "1/16T", "1/16D", "1/16",
                                        "1/8T", "1/8D", "1/8",   "1/4",   "1/4T"};
constexpr const char* kDirections[3] = {"forward", "backward", "random"};
constexpr const char* kFilterTypes[6] = {"4P LP", "3P LP", "2P LP", "4P HP", "2P HP", "4P BP"};
constexpr const char* kDelayModes[3] = {"Delay", "Chorus", "Flange"};
// Per module: Step Size, Length, Direction parameter indices.
constexpr int kLaneParams[kLanes][3] = {{6, 7, 8},    {23, 24, 25}, {36, 37, 38},
                                        {51, 52, 53}, {66, 67, 68}, {81, 82, 83}};
constexpr int kDelayTime = 44;
constexpr int kDelayMode = 46;
constexpr int kFilterType = 19;

struct Lane
{
    int header[5] = {0, 16, 0, 4, 0};
    float values[kSteps] = {};
    unsigned flags[kSteps] = {};
};

struct Program
{
    std::string name;
    int chain[kLanes] = {0, 1, 2, 3, 4, 5};
    int page = 0;
    std::array<float, kParams> values{};
    std::array<bool, kParams> given{};
    Lane lanes[kLanes];
};

std::string gFile;
int gLine = 0;

[[noreturn]] void fail(const std::string& what)
{
    std::fprintf(stderr, "%s:%d: %s\n", gFile.c_str(), gLine, what.c_str());
    std::exit(1);
}

std::string trim(const std::string& s)
{
    const auto a = s.find_first_not_of(" \t\r");
    if (a == std::string::npos) {
        return "";
    }
    const auto b = s.find_last_not_of(" \t\r");
    return s.substr(a, b - a + 1);
}

template <std::size_t N> int findName(const char* const (&names)[N], const std::string& text)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (text == names[i]) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

float number(const std::string& text)
{
    char* end = nullptr;
    const float v = std::strtof(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v)) {
        fail("not a number: '" + text + "'");
    }
    return v;
}

int module(const std::string& text)
{
    const int m = findName(kModules, text);
    if (m < 0) {
        fail("unknown module '" + text + "'");
    }
    return m;
}

std::vector<std::string> words(const std::string& s)
{
    std::istringstream in(s);
    std::vector<std::string> out;
    for (std::string w; in >> w;) {
        out.push_back(w);
    }
    return out;
}

// The normalised value of one "name = value" line.
float parseValue(Morvek2ParameterManager& pm, int index, const std::string& text)
{
    if (text.rfind("norm ", 0) == 0) {
        const float n = number(trim(text.substr(5)));
        if (n < 0.0f || n > 1.0f) {
            fail("normalised value outside 0..1");
        }
        return n;
    }
    for (int m = 0; m < kLanes; ++m) {
        if (index == kLaneParams[m][0]) {
            const int s = findName(kStepSizes, text);
            if (s < 0) {
                fail("unknown step size '" + text + "'");
            }
            return static_cast<float>(s) / 9.0f;
        }
        if (index == kLaneParams[m][2]) {
            const int d = findName(kDirections, text);
            if (d < 0) {
                fail("unknown direction '" + text + "'");
            }
            return static_cast<float>(d) / 2.0f;
        }
    }
    if (index == kFilterType) {
        const int t = findName(kFilterTypes, text);
        if (t < 0) {
            fail("unknown filter type '" + text + "'");
        }
        return static_cast<float>(t) / 5.0f;
    }
    if (index == kDelayMode) {
        const int d = findName(kDelayModes, text);
        if (d < 0) {
            fail("unknown delay mode '" + text + "'");
        }
        return static_cast<float>(d) / 2.0f;
    }
    if (pm.getKind(index) == kSwitch) {
        if (text == "on") {
            return 1.0f;
        }
        if (text == "off") {
            return 0.0f;
        }
        fail("a switch is on or off");
    }
    if (index == kDelayTime && pm.isSynced(kDelayTime)) {
        int position = 0;
        if (!pm.parseNoteDivision(text.c_str(), position)) {
            fail("Delay Time in Delay mode is a note division such as 1/8. or 1/4T");
        }
        // The middle of the position's interval, so the truncation lands on it.
        return (static_cast<float>(position) + 0.5f) / 15.0f;
    }
    const float w = number(text);
    const float lo = std::fmin(pm.getMin(index), pm.getMax(index));
    const float hi = std::fmax(pm.getMin(index), pm.getMax(index));
    if (w < lo || w > hi) {
        fail("value outside the parameter's range");
    }
    return pm.workingToNormalised(index, w);
}

void parseSteps(Lane& lane, const std::string& kind, const std::string& rest)
{
    int s = 0;
    const auto put = [&](auto fn) {
        if (s >= kSteps) {
            fail("more than 32 steps");
        }
        fn(s++);
    };
    for (const std::string& w : words(rest)) {
        if (kind == "values") {
            int repeat = 1;
            std::string v = w;
            if (const auto star = w.find('*'); star != std::string::npos) {
                v = w.substr(0, star);
                repeat = static_cast<int>(number(w.substr(star + 1)));
            }
            const float x = number(v);
            if (x < 0.0f || x > 1.0f) {
                fail("step values are 0..1");
            }
            for (int r = 0; r < repeat; ++r) {
                put([&](int i) { lane.values[i] = x; });
            }
        } else {
            for (char c : w) {
                put([&](int i) {
                    if (kind == "gates") {
                        if (c == 'x') {
                            lane.flags[i] |= 1u;
                        } else if (c != '.') {
                            fail("gates are x or .");
                        }
                    } else {
                        if (c == 'v' || c == 'b') {
                            lane.flags[i] |= 2u;
                        }
                        if (c == 'g' || c == 'b') {
                            lane.flags[i] |= 4u;
                        }
                        if (c != 'v' && c != 'g' && c != 'b' && c != '.') {
                            fail("locks are v, g, b or .");
                        }
                    }
                });
            }
        }
    }
}

void parseLaneHeader(Lane& lane, const std::string& header)
{
    std::istringstream in(header);
    for (std::string item; std::getline(in, item, ',');) {
        const auto w = words(item);
        if (w.size() != 2) {
            fail("lane header items are 'key value'");
        }
        const std::string& key = w[0];
        if (key == "position") {
            lane.header[0] = static_cast<int>(number(w[1]));
        } else if (key == "length") {
            lane.header[1] = static_cast<int>(number(w[1]));
        } else if (key == "direction") {
            lane.header[2] = findName(kDirections, w[1]);
            if (lane.header[2] < 0) {
                fail("unknown direction");
            }
        } else if (key == "size") {
            lane.header[3] = findName(kStepSizes, w[1]);
            if (lane.header[3] < 0) {
                fail("unknown step size");
            }
        } else if (key == "reserved") {
            lane.header[4] = static_cast<int>(number(w[1]));
        } else {
            fail("unknown lane header item '" + key + "'");
        }
    }
    if (lane.header[1] < 1 || lane.header[1] > kSteps || lane.header[0] < 0 ||
        lane.header[0] >= lane.header[1]) {
        fail("lane position or length out of range");
    }
}

Program readProgram(const std::string& path)
{
    gFile = path;
    gLine = 0;
    std::ifstream in(path);
    if (!in) {
        fail("cannot read");
    }
    Morvek2ParameterManager pm;
    std::map<std::string, int> byName;
    for (int i = 0; i < kParams; ++i) {
        byName[pm.getLongName(i)] = i;
    }
    Program p;
    std::vector<std::pair<int, std::string>> assignments;
    bool laneGiven[kLanes] = {};
    Lane* lane = nullptr;
    for (std::string raw; std::getline(in, raw);) {
        ++gLine;
        std::string line = raw.substr(0, raw.find('#'));
        if (trim(line).empty()) {
            continue;
        }
        const bool indented = line[0] == ' ' || line[0] == '\t';
        line = trim(line);
        if (indented) {
            const auto colon = line.find(':');
            if (!lane || colon == std::string::npos) {
                fail("step rows belong under a lane line");
            }
            const std::string kind = trim(line.substr(0, colon));
            if (kind != "values" && kind != "gates" && kind != "locks") {
                fail("step rows are values, gates or locks");
            }
            parseSteps(*lane, kind, line.substr(colon + 1));
            continue;
        }
        lane = nullptr;
        if (line.rfind("lane ", 0) == 0) {
            const auto colon = line.find(':');
            if (colon == std::string::npos) {
                fail("lane <module>: header");
            }
            const int m = module(trim(line.substr(5, colon - 5)));
            if (laneGiven[m]) {
                fail("lane given twice");
            }
            laneGiven[m] = true;
            lane = &p.lanes[m];
            parseLaneHeader(*lane, line.substr(colon + 1));
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            fail("expected 'name = value'");
        }
        const std::string key = trim(line.substr(0, eq));
        const std::string value = trim(line.substr(eq + 1));
        if (key == "name") {
            // Kept as written, trailing blanks included, up to the end of the raw line's value.
            const std::string rawValue = raw.substr(raw.find('=') + 1);
            std::string name = rawValue.substr(rawValue.find_first_not_of(' '));
            if (const auto q = name.find('|'); q != std::string::npos) {
                name = name.substr(0, q); // '|' marks the end when a name ends in a blank
            } else {
                name = trim(name);
            }
            if (name.size() > 23) {
                fail("names have at most 23 characters");
            }
            p.name = name;
        } else if (key == "chain") {
            const auto w = words(value);
            unsigned seen = 0;
            if (w.size() != kLanes) {
                fail("the chain names all six modules");
            }
            for (int i = 0; i < kLanes; ++i) {
                p.chain[i] = module(w[i]);
                seen |= 1u << p.chain[i];
            }
            if (seen != 63u) {
                fail("the chain is a permutation of the six modules");
            }
        } else if (key == "page") {
            p.page = module(value);
        } else {
            const auto it = byName.find(key);
            if (it == byName.end()) {
                fail("unknown parameter '" + key + "'");
            }
            if (p.given[it->second]) {
                fail("parameter given twice");
            }
            p.given[it->second] = true;
            assignments.emplace_back(it->second, value);
        }
    }
    if (p.name.empty()) {
        fail("no name");
    }

    // Defaults first, then Delay Mode (it decides how Delay Time reads), then the rest.
    for (int i = 0; i < kParams; ++i) {
        p.values[i] = pm.workingToNormalised(i, pm.getDefault(i));
    }
    for (const auto& [index, text] : assignments) {
        if (index == kDelayMode) {
            p.values[index] = parseValue(pm, index, text);
            pm.setValue(index, p.values[index]);
        }
    }
    for (const auto& [index, text] : assignments) {
        if (index != kDelayMode) {
            p.values[index] = parseValue(pm, index, text);
        }
    }
    // Lane parameters follow the header unless named.
    for (int m = 0; m < kLanes; ++m) {
        const int* h = p.lanes[m].header;
        if (!p.given[kLaneParams[m][0]]) {
            p.values[kLaneParams[m][0]] = static_cast<float>(h[3]) / 9.0f;
        }
        if (!p.given[kLaneParams[m][1]]) {
            p.values[kLaneParams[m][1]] = pm.workingToNormalised(kLaneParams[m][1], h[1]);
        }
        if (!p.given[kLaneParams[m][2]]) {
            p.values[kLaneParams[m][2]] = static_cast<float>(h[2]) / 2.0f;
        }
    }
    return p;
}

void emitFloat(std::FILE* f, float v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(v));
    std::string s = text;
    if (s.find_first_of(".e") == std::string::npos) {
        s += ".0";
    }
    std::fprintf(f, "%sf", s.c_str());
}

std::string quoted(const std::string& s)
{
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
        }
        out += c;
    }
    return out + "\"";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 42) {
        std::fprintf(stderr, "usage: presetgen OUTPUT.cpp FILE x 40 (got %d files)\n", argc - 2);
        return 1;
    }
    std::vector<Program> programs;
    for (int i = 2; i < argc; ++i) {
        programs.push_back(readProgram(argv[i]));
    }

    const std::string out = argv[1];
    const std::string temp = out + ".tmp";
    std::FILE* f = std::fopen(temp.c_str(), "w");
    if (!f) {
        std::fprintf(stderr, "cannot write %s\n", temp.c_str());
        return 1;
    }
    std::fprintf(f, "// Generated by tools/presetgen from resources/presets/*.txt. Do not edit.\n"
                    "// clang-format off\n"
                    "#include \"plugin/FactoryPrograms.h\"\n\nnamespace factory {\n\n");
    std::fprintf(f, "const char* const kNames[kPrograms] = {\n");
    for (const Program& p : programs) {
        std::fprintf(f, "    %s,\n", quoted(p.name).c_str());
    }
    std::fprintf(f, "};\n\nconst float kValues[kPrograms][kParams] = {\n");
    for (const Program& p : programs) {
        std::fprintf(f, "    {");
        for (int i = 0; i < kParams; ++i) {
            emitFloat(f, p.values[i]);
            std::fprintf(f, i + 1 < kParams ? ", " : "},\n");
        }
    }
    std::fprintf(f, "};\n\nconst std::uint16_t kChainOrders[kPrograms][kLanes] = {\n");
    for (const Program& p : programs) {
        std::fprintf(f, "    {%d, %d, %d, %d, %d, %d},\n", p.chain[0], p.chain[1], p.chain[2],
                     p.chain[3], p.chain[4], p.chain[5]);
    }
    std::fprintf(f, "};\n\nconst std::uint16_t kEditorPages[kPrograms] = {\n   ");
    for (const Program& p : programs) {
        std::fprintf(f, " %d,", p.page);
    }
    std::fprintf(f,
                 "\n};\n\nconst std::int16_t kLaneHeaders[kPrograms][kLanes][kHeaderWords] = {\n");
    for (const Program& p : programs) {
        std::fprintf(f, "    {");
        for (const Lane& l : p.lanes) {
            std::fprintf(f, "{%d, %d, %d, %d, %d}, ", l.header[0], l.header[1], l.header[2],
                         l.header[3], l.header[4]);
        }
        std::fprintf(f, "},\n");
    }
    std::fprintf(f, "};\n\nconst std::uint16_t kStepFlags[kPrograms][kLanes][kSteps] = {\n");
    for (const Program& p : programs) {
        std::fprintf(f, "    {\n");
        for (const Lane& l : p.lanes) {
            std::fprintf(f, "        {");
            for (int s = 0; s < kSteps; ++s) {
                std::fprintf(f, "%u, ", l.flags[s]);
            }
            std::fprintf(f, "},\n");
        }
        std::fprintf(f, "    },\n");
    }
    std::fprintf(f, "};\n\nconst float kStepValues[kPrograms][kLanes][kSteps] = {\n");
    for (const Program& p : programs) {
        std::fprintf(f, "    {\n");
        for (const Lane& l : p.lanes) {
            std::fprintf(f, "        {");
            for (int s = 0; s < kSteps; ++s) {
                emitFloat(f, l.values[s]);
                std::fprintf(f, ", ");
            }
            std::fprintf(f, "},\n");
        }
        std::fprintf(f, "    },\n");
    }
    std::fprintf(f, "};\n\n} // namespace factory\n");
    if (std::fclose(f) != 0 || std::rename(temp.c_str(), out.c_str()) != 0) {
        std::fprintf(stderr, "cannot write %s\n", out.c_str());
        return 1;
    }
    return 0;
}
