#include "tools/presetgen/preset_reader.h"

#include "params/Morvek2ParameterManager.h"
#include "params/Morvek2Params.h"
#include "sequencer/seq_lane.h"

#include <cmath>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

namespace presetfile {

namespace {

using namespace morvek2::param;

constexpr const char* kDirections[3] = {"forward", "backward", "random"};
// The quietest a program may mean to be against bypass.
constexpr double kLowestLevelLu = -6.0;

// Where the reader is, for messages.
struct Place
{
    std::string file;
    int line = 0;
};

[[noreturn]] void fail(const Place& at, const std::string& what)
{
    throw Error(at.file + ":" + std::to_string(at.line) + ": " + what);
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

// The files write list texts without the padding some displays carry (" 4P LP" is "4P LP").
template <std::size_t N> int findName(const char* const (&names)[N], const std::string& text)
{
    for (std::size_t i = 0; i < N; ++i) {
        if (text == trim(names[i])) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

int findStepSize(const std::string& text)
{
    for (std::size_t i = 0; i < seq::kStepSizes.size(); ++i) {
        if (text == seq::kStepSizes[i].name) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

float number(const Place& at, const std::string& text)
{
    char* end = nullptr;
    const float v = std::strtof(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v)) {
        fail(at, "not a number: '" + text + "'");
    }
    return v;
}

int module(const Place& at, const std::string& text)
{
    const int m = findName(kModuleNames, text);
    if (m < 0) {
        fail(at, "unknown module '" + text + "'");
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

bool nearlyEqual(float a, float b)
{
    return std::fabs(a - b) <= 1e-4f * std::fmax(1.0f, std::fabs(b));
}

// The normalised value the manager plays as working value w: its own kind rule first, and
// where a parameter's reading differs from that rule (Bits Bit Depth), the value found by
// bisection on the manager's reading, which is monotonic on (0, 1].
std::optional<float> inverseReading(Morvek2ParameterManager& pm, int index, float w)
{
    const float guess = pm.workingToNormalised(index, w);
    if (nearlyEqual(pm.normalisedToWorking(index, guess), w)) {
        return guess;
    }
    for (const float end : {0.0f, 1.0f}) {
        if (nearlyEqual(pm.normalisedToWorking(index, end), w)) {
            return end;
        }
    }
    float lo = 1.0f / 65536.0f;
    float hi = 1.0f;
    const bool rising = pm.normalisedToWorking(index, hi) > pm.normalisedToWorking(index, lo);
    for (int k = 0; k < 40; ++k) {
        const float mid = 0.5f * (lo + hi);
        const bool below = pm.normalisedToWorking(index, mid) < w;
        if (below == rising) {
            lo = mid;
        } else {
            hi = mid;
        }
    }
    // A short decimal near the ends first, so the stored value reads w exactly where it can;
    // then the end on or above w, which a display that truncates shows as w.
    const float mid = 0.5f * (lo + hi);
    const float candidates[] = {std::round(mid * 1.0e4f) * 1.0e-4f,
                                std::round(mid * 1.0e6f) * 1.0e-6f, rising ? hi : lo,
                                rising ? lo : hi};
    for (const float n : candidates) {
        if (pm.normalisedToWorking(index, n) == w) {
            return n;
        }
    }
    for (const float n : candidates) {
        if (nearlyEqual(pm.normalisedToWorking(index, n), w)) {
            return n;
        }
    }
    return std::nullopt;
}

// The checks every converted value passes: the manager keeps it as given (no snap), and its
// display reads back as the file wrote it.
void checkPlayedAsWritten(Morvek2ParameterManager& pm, const Place& at, int index,
                          const std::string& text, float n, std::optional<float> written)
{
    pm.setValue(index, n);
    const float stored = pm.getValue(index);
    // Lengths are stored as whole steps: a value the manager rounds to the same length is
    // played as written.
    if (stored != n && pm.normalisedToWorking(index, stored) != pm.normalisedToWorking(index, n)) {
        fail(at, "'" + pm.getLongName(index) + " = " + text +
                     "' lies in the snap-to-centre zone: the plug-in would play it as '" +
                     trim(displayAt(pm, index, stored)) + "'");
    }
    if (!written) {
        return;
    }
    const std::string display = displayAt(pm, index, n);
    const auto shown = readDisplay(pm, index, display);
    if (!shown) {
        return;
    }
    const double tolerance = 0.5 * shown->resolution + 1e-6 * std::fabs(*written);
    if (std::fabs(shown->value - *written) > tolerance) {
        fail(at, "'" + pm.getLongName(index) + " = " + text +
                     "' does not survive the round trip: the plug-in shows '" + trim(display) +
                     "'");
    }
}

// The normalised value of one "name = value" line.
float parseValue(Morvek2ParameterManager& pm, const Place& at, int index, const std::string& text)
{
    if (text.rfind("norm ", 0) == 0) {
        const float n = number(at, trim(text.substr(5)));
        if (n < 0.0f || n > 1.0f) {
            fail(at, "normalised value outside 0..1");
        }
        checkPlayedAsWritten(pm, at, index, text, n, std::nullopt);
        return n;
    }
    const auto listEntry = [&](int position, int count) {
        const float n = static_cast<float>(position) / static_cast<float>(count - 1);
        if (pm.normalisedToWorking(index, n) != static_cast<float>(position)) {
            fail(at, "'" + text + "' does not survive the round trip");
        }
        return n;
    };
    for (int m = 0; m < kLanes; ++m) {
        if (index == kStepSizeParam[m]) {
            const int s = findStepSize(text);
            if (s < 0) {
                fail(at, "unknown step size '" + text + "'");
            }
            return listEntry(s, 10);
        }
        if (index == kDirectionParam[m]) {
            const int d = findName(kDirections, text);
            if (d < 0) {
                fail(at, "unknown direction '" + text + "'");
            }
            return listEntry(d, 3);
        }
    }
    if (index == kFilterType) {
        const int t = findName(kFilterTypeNames, text);
        if (t < 0) {
            fail(at, "unknown filter type '" + text + "'");
        }
        return listEntry(t, 6);
    }
    if (index == kDelayMode) {
        const int d = findName(kDelayModeNames, text);
        if (d < 0) {
            fail(at, "unknown delay mode '" + text + "'");
        }
        return listEntry(d, 3);
    }
    if (pm.getKind(index) == kSwitch) {
        if (text == "on") {
            return 1.0f;
        }
        if (text == "off") {
            return 0.0f;
        }
        fail(at, "a switch is on or off");
    }
    if (index == kDelayTime) {
        if (!pm.isSynced(kDelayTime)) {
            fail(at, "Delay Time in Chorus and Flange mode is given as 'norm X'");
        }
        int position = 0;
        if (!pm.parseNoteDivision(text.c_str(), position)) {
            fail(at, "Delay Time in Delay mode is a note division such as 1/8. or 1/4T");
        }
        // The middle of the position's interval, so the truncation lands on it.
        const float n = (static_cast<float>(position) + 0.5f) / 15.0f;
        int shown = -1;
        if (!pm.parseNoteDivision(displayAt(pm, index, n).c_str(), shown) || shown != position) {
            fail(at, "'" + text + "' does not survive the round trip");
        }
        return n;
    }
    const float w = number(at, text);
    const float lo = std::fmin(pm.getMin(index), pm.getMax(index));
    const float hi = std::fmax(pm.getMin(index), pm.getMax(index));
    if (w < lo || w > hi) {
        std::ostringstream range;
        range << "'" << pm.getLongName(index) << " = " << text << "' is outside the range " << lo
              << " to " << hi;
        fail(at, range.str());
    }
    const auto n = inverseReading(pm, index, w);
    if (!n) {
        fail(at, "'" + pm.getLongName(index) + " = " + text +
                     "' cannot be played: the plug-in has no setting that reads " + text);
    }
    checkPlayedAsWritten(pm, at, index, text, *n, w);
    return *n;
}

void parseSteps(const Place& at, Lane& lane, const std::string& kind, const std::string& rest)
{
    int s = 0;
    const auto put = [&](auto fn) {
        if (s >= kSteps) {
            fail(at, "more than 32 steps");
        }
        fn(s++);
    };
    for (const std::string& w : words(rest)) {
        if (kind == "values") {
            int repeat = 1;
            std::string v = w;
            if (const auto star = w.find('*'); star != std::string::npos) {
                v = w.substr(0, star);
                repeat = static_cast<int>(number(at, w.substr(star + 1)));
            }
            const float x = number(at, v);
            if (x < 0.0f || x > 1.0f) {
                fail(at, "step values are 0..1");
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
                            fail(at, "gates are x or .");
                        }
                    } else {
                        if (c == 'v' || c == 'b') {
                            lane.flags[i] |= 2u;
                        }
                        if (c == 'g' || c == 'b') {
                            lane.flags[i] |= 4u;
                        }
                        if (c != 'v' && c != 'g' && c != 'b' && c != '.') {
                            fail(at, "locks are v, g, b or .");
                        }
                    }
                });
            }
        }
    }
}

void parseLaneHeader(const Place& at, Lane& lane, const std::string& header)
{
    std::istringstream in(header);
    for (std::string item; std::getline(in, item, ',');) {
        const auto w = words(item);
        if (w.size() != 2) {
            fail(at, "lane header items are 'key value'");
        }
        const std::string& key = w[0];
        if (key == "position") {
            lane.header[0] = static_cast<int>(number(at, w[1]));
        } else if (key == "length") {
            lane.header[1] = static_cast<int>(number(at, w[1]));
        } else if (key == "direction") {
            lane.header[2] = findName(kDirections, w[1]);
            if (lane.header[2] < 0) {
                fail(at, "unknown direction");
            }
        } else if (key == "size") {
            lane.header[3] = findStepSize(w[1]);
            if (lane.header[3] < 0) {
                fail(at, "unknown step size");
            }
        } else if (key == "reserved") {
            lane.header[4] = static_cast<int>(number(at, w[1]));
        } else {
            fail(at, "unknown lane header item '" + key + "'");
        }
    }
    if (lane.header[1] < 1 || lane.header[1] > kSteps || lane.header[0] < 0 ||
        lane.header[0] >= lane.header[1]) {
        fail(at, "lane position or length out of range");
    }
}

double parseLevel(const Place& at, const std::string& value)
{
    const auto w = words(value);
    if (w.size() != 2 || w[1] != "LU") {
        fail(at, "level is given as '-N LU'");
    }
    const double lu = number(at, w[0]);
    if (lu > 0.0 || lu < kLowestLevelLu) {
        fail(at, "a program's level lies between -6 LU and 0 LU against bypass");
    }
    return lu;
}

} // namespace

std::string displayAt(Morvek2ParameterManager& pm, int index, float n)
{
    const float kept = pm.getValue(index);
    pm.setValue(index, n);
    char text[64] = {};
    pm.getDisplay(index, text, sizeof text - 1);
    pm.setValue(index, kept);
    return text;
}

std::optional<Shown> readDisplay(Morvek2ParameterManager& pm, int index, const std::string& display)
{
    const std::string text = trim(display);
    if (index == kBitsError) {
        return std::nullopt; // a pattern of error bits, not a number
    }
    if (index == kVcaPan) {
        // " CTR" covers 0.45..0.55; "L<n>" and "R<n>" count percent of the rest of each side.
        if (text == "CTR") {
            return Shown{0.5, 0.1};
        }
        if (text.size() < 2 || (text[0] != 'L' && text[0] != 'R')) {
            return std::nullopt;
        }
        const double p = std::atof(text.c_str() + 1) * 0.45 / 100.0;
        return Shown{text[0] == 'L' ? 0.45 - p : 0.55 + p, 0.45 / 100.0};
    }
    char* end = nullptr;
    const double v = std::strtod(text.c_str(), &end);
    if (end == text.c_str()) {
        return std::nullopt;
    }
    const std::string number(text.c_str(), static_cast<std::size_t>(end - text.c_str()));
    const auto dot = number.find('.');
    double resolution = dot == std::string::npos
                            ? 1.0
                            : std::pow(10.0, -static_cast<double>(number.size() - dot - 1));
    double scale = 1.0;
    if (*end == 'k') {
        scale = 1000.0;
    } else if (index == kDistortFuzz) {
        scale = 1.0 / 11.0;
    } else if (pm.getMin(index) == -1.0f && pm.getMax(index) == 1.0f) {
        // Mod amounts show percent ("+35"); the files give -1..1.
        scale = 0.01;
    }
    resolution *= scale;
    return Shown{v * scale, resolution};
}

Program readProgram(const std::string& path)
{
    Place at{path, 0};
    std::ifstream in(path);
    if (!in) {
        fail(at, "cannot read");
    }
    Morvek2ParameterManager pm;
    std::map<std::string, int> byName;
    for (int i = 0; i < kParams; ++i) {
        byName[pm.getLongName(i)] = i;
    }
    Program p;
    bool laneGiven[kLanes] = {};
    bool levelGiven = false;
    Lane* lane = nullptr;
    for (std::string raw; std::getline(in, raw);) {
        ++at.line;
        std::string line = raw.substr(0, raw.find('#'));
        if (trim(line).empty()) {
            continue;
        }
        const bool indented = line[0] == ' ' || line[0] == '\t';
        line = trim(line);
        if (indented) {
            const auto colon = line.find(':');
            if (!lane || colon == std::string::npos) {
                fail(at, "step rows belong under a lane line");
            }
            const std::string kind = trim(line.substr(0, colon));
            if (kind != "values" && kind != "gates" && kind != "locks") {
                fail(at, "step rows are values, gates or locks");
            }
            parseSteps(at, *lane, kind, line.substr(colon + 1));
            continue;
        }
        lane = nullptr;
        if (line.rfind("lane ", 0) == 0) {
            const auto colon = line.find(':');
            if (colon == std::string::npos) {
                fail(at, "lane <module>: header");
            }
            const int m = module(at, trim(line.substr(5, colon - 5)));
            if (laneGiven[m]) {
                fail(at, "lane given twice");
            }
            laneGiven[m] = true;
            lane = &p.lanes[m];
            parseLaneHeader(at, *lane, line.substr(colon + 1));
            continue;
        }
        const auto eq = line.find('=');
        if (eq == std::string::npos) {
            fail(at, "expected 'name = value'");
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
                fail(at, "names have at most 23 characters");
            }
            p.name = name;
        } else if (key == "chain") {
            const auto w = words(value);
            unsigned seen = 0;
            if (w.size() != kLanes) {
                fail(at, "the chain names all six modules");
            }
            for (int i = 0; i < kLanes; ++i) {
                p.chain[i] = module(at, w[i]);
                seen |= 1u << p.chain[i];
            }
            if (seen != 63u) {
                fail(at, "the chain is a permutation of the six modules");
            }
        } else if (key == "page") {
            p.page = module(at, value);
        } else if (key == "level") {
            if (levelGiven) {
                fail(at, "level given twice");
            }
            levelGiven = true;
            p.levelLu = parseLevel(at, value);
        } else {
            const auto it = byName.find(key);
            if (it == byName.end()) {
                fail(at, "unknown parameter '" + key + "'");
            }
            if (p.given[it->second]) {
                fail(at, "parameter given twice");
            }
            p.given[it->second] = true;
            p.assignments.push_back({it->second, value, at.line, 0.0f});
        }
    }
    if (p.name.empty()) {
        fail(at, "no name");
    }

    // Defaults first, then Delay Mode (it decides how Delay Time reads), then the rest.
    for (int i = 0; i < kParams; ++i) {
        p.values[i] = pm.workingToNormalised(i, pm.getDefault(i));
    }
    for (Assignment& a : p.assignments) {
        if (a.index == kDelayMode) {
            at.line = a.line;
            a.normalised = parseValue(pm, at, a.index, a.text);
            p.values[a.index] = a.normalised;
            pm.setValue(a.index, a.normalised);
        }
    }
    for (Assignment& a : p.assignments) {
        if (a.index != kDelayMode) {
            at.line = a.line;
            a.normalised = parseValue(pm, at, a.index, a.text);
            p.values[a.index] = a.normalised;
        }
    }
    // Lane parameters follow the header unless named.
    for (int m = 0; m < kLanes; ++m) {
        const int* h = p.lanes[m].header;
        if (!p.given[kStepSizeParam[m]]) {
            p.values[kStepSizeParam[m]] = static_cast<float>(h[3]) / 9.0f;
        }
        if (!p.given[kLengthParam[m]]) {
            p.values[kLengthParam[m]] = pm.workingToNormalised(kLengthParam[m], h[1]);
        }
        if (!p.given[kDirectionParam[m]]) {
            p.values[kDirectionParam[m]] = static_cast<float>(h[2]) / 2.0f;
        }
    }
    return p;
}

} // namespace presetfile
