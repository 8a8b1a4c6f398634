#include "tools/morvek2/param_values.h"

#include "tools/morvek2/errors.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace morvek2::cli {

namespace {

constexpr int kSamples = 256; // trial settings 0, 1/256, ..., 1
constexpr int kBisections = 40;

std::string trim(const std::string& s)
{
    const auto first = s.find_first_not_of(" \t");
    if (first == std::string::npos) {
        return {};
    }
    return s.substr(first, s.find_last_not_of(" \t") - first + 1);
}

std::string lower(std::string s)
{
    for (char& c : s) {
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return s;
}

std::string number(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.6g", v);
    return text;
}

// Leaves the plug-in as it found it after trial settings: by putting back every parameter that
// moved and, where asked, first through the plug-in's own program chunk (for modules whose
// parameters have side effects on other state, such as lane positions pulled back by a length).
class StateGuard
{
public:
    StateGuard(host::Instance& plugin, bool throughChunk) : plugin_(plugin)
    {
        chunked_ = throughChunk && plugin.programChunks();
        if (chunked_) {
            chunk_ = plugin.getChunk(true);
        }
        for (int i = 0; i < plugin.numParams(); ++i) {
            values_.push_back(plugin.getParameter(i));
        }
    }
    ~StateGuard()
    {
        if (chunked_ && !chunk_.empty()) {
            plugin_.setChunk(true, chunk_);
        }
        for (int i = 0; i < static_cast<int>(values_.size()); ++i) {
            if (plugin_.getParameter(i) != values_[static_cast<std::size_t>(i)]) {
                plugin_.setParameter(i, values_[static_cast<std::size_t>(i)]);
            }
        }
    }
    StateGuard(const StateGuard&) = delete;
    StateGuard& operator=(const StateGuard&) = delete;

private:
    host::Instance& plugin_;
    bool chunked_ = false;
    std::vector<std::uint8_t> chunk_;
    std::vector<float> values_;
};

struct Trial
{
    float normalised;
    std::string display;
    std::optional<double> number;
};

Trial tryValue(host::Instance& plugin, int index, float normalised)
{
    plugin.setParameter(index, normalised);
    Trial t{normalised, trim(plugin.parameterDisplay(index)), std::nullopt};
    if (auto n = parseLeadingNumber(t.display)) {
        t.number = n->value;
    }
    return t;
}

std::string listOfTexts(const std::vector<Trial>& trials)
{
    std::vector<std::string> distinct;
    for (const Trial& t : trials) {
        if (!t.display.empty() && (distinct.empty() || distinct.back() != t.display)) {
            distinct.push_back(t.display);
        }
    }
    if (distinct.size() > 12) {
        return {};
    }
    std::string text;
    for (const std::string& d : distinct) {
        text += (text.empty() ? "'" : ", '") + d + "'";
    }
    return text;
}

// The middle of the run of trial settings that show `text`, if any does.
std::optional<float> matchText(const std::vector<Trial>& trials, const std::string& text)
{
    const std::string key = lower(text);
    for (std::size_t i = 0; i < trials.size(); ++i) {
        if (lower(trials[i].display) != key) {
            continue;
        }
        std::size_t last = i;
        while (last + 1 < trials.size() && lower(trials[last + 1].display) == key) {
            ++last;
        }
        return 0.5f * (trials[i].normalised + trials[last].normalised);
    }
    return std::nullopt;
}

// The setting whose display is the number `target`, found between the two trial settings that
// bracket it. Stepped parameters land in the middle of the step that shows the value.
float matchNumber(host::Instance& plugin, int index, const std::vector<Trial>& trials,
                  double target)
{
    // A step that shows the target exactly: take the middle of its run.
    for (std::size_t i = 0; i < trials.size(); ++i) {
        if (trials[i].number == target) {
            std::size_t last = i;
            while (last + 1 < trials.size() && trials[last + 1].number == target) {
                ++last;
            }
            return 0.5f * (trials[i].normalised + trials[last].normalised);
        }
    }
    for (std::size_t i = 0; i + 1 < trials.size(); ++i) {
        if (!trials[i].number || !trials[i + 1].number) {
            continue;
        }
        const double a = *trials[i].number;
        const double b = *trials[i + 1].number;
        if ((target - a) * (target - b) > 0.0) {
            continue;
        }
        const bool rising = b >= a;
        float lo = trials[i].normalised;
        float hi = trials[i + 1].normalised;
        for (int k = 0; k < kBisections && hi - lo > 1e-7f; ++k) {
            const float mid = 0.5f * (lo + hi);
            const Trial t = tryValue(plugin, index, mid);
            if (!t.number) {
                break;
            }
            const bool below = rising ? *t.number < target : *t.number > target;
            (below ? lo : hi) = mid;
        }
        const Trial low = tryValue(plugin, index, lo);
        const Trial high = tryValue(plugin, index, hi);
        const double dl = low.number ? std::fabs(*low.number - target) : INFINITY;
        const double dh = high.number ? std::fabs(*high.number - target) : INFINITY;
        return dl < dh ? lo : hi;
    }
    return trials.front().normalised;
}

// A module may keep a stepped value in one canonical form (a length of 16 as exactly 15/32):
// when the value it reads back shows the same, that form is the one to hand on.
float preferStored(host::Instance& plugin, int index, float chosen)
{
    const Trial asChosen = tryValue(plugin, index, chosen);
    const float stored = plugin.getParameter(index);
    if (!std::isfinite(stored) || stored < 0.0f || stored > 1.0f || stored == chosen) {
        return chosen;
    }
    return tryValue(plugin, index, stored).display == asChosen.display ? stored : chosen;
}

} // namespace

std::optional<LeadingNumber> parseLeadingNumber(const std::string& text)
{
    const char* start = text.c_str();
    while (*start == ' ' || *start == '\t') {
        ++start;
    }
    char* end = nullptr;
    double value = std::strtod(start, &end);
    if (end == start || !std::isfinite(value)) {
        return std::nullopt;
    }
    // Reject hexadecimal and the like: only plain decimal numbers are read here.
    for (const char* p = start; p < end; ++p) {
        if (std::isalpha(static_cast<unsigned char>(*p)) && *p != 'e' && *p != 'E') {
            return std::nullopt;
        }
    }
    std::string rest = end;
    if (!rest.empty() && (rest[0] == 'k' || rest[0] == 'K') &&
        (rest.size() == 1 || !std::isalpha(static_cast<unsigned char>(rest[1])) ||
         lower(rest.substr(1, 2)) == "hz")) {
        value *= 1000.0;
        rest.erase(0, 1);
    }
    return LeadingNumber{value, trim(rest)};
}

bool unitFits(const std::string& unit, const std::string& label)
{
    const std::string u = lower(trim(unit));
    const std::string l = lower(trim(label));
    if (u.empty() || l.empty()) {
        return u.empty() && l.empty();
    }
    return l.rfind(u, 0) == 0 || u.rfind(l, 0) == 0;
}

float resolveParameterValue(host::Instance& plugin, int index, const std::string& text,
                            const std::string& title, bool restoreThroughChunk)
{
    const std::optional<LeadingNumber> typed = parseLeadingNumber(text);
    if (typed && typed->rest.empty() && typed->value >= 0.0 && typed->value <= 1.0) {
        return static_cast<float>(typed->value);
    }

    const std::string label = trim(plugin.parameterLabel(index));
    std::vector<Trial> trials;
    std::optional<float> found;
    std::string problem;
    {
        const StateGuard guard(plugin, restoreThroughChunk);
        for (int i = 0; i <= kSamples; ++i) {
            trials.push_back(tryValue(plugin, index, static_cast<float>(i) / kSamples));
        }
        found = matchText(trials, trim(text));
        // Numeric when nearly every setting shows a number: ends such as "-inf" or "off" are
        // left out of the search.
        const auto numbers = std::count_if(trials.begin(), trials.end(),
                                           [](const Trial& t) { return t.number.has_value(); });
        const bool numeric = numbers >= static_cast<long>(trials.size()) * 9 / 10;
        // "800Hz" and "50 %" carry a unit; "1/8T" is a text that merely starts with a digit.
        const bool unitLike =
            typed &&
            (typed->rest.empty() || std::isalpha(static_cast<unsigned char>(typed->rest[0])) ||
             typed->rest[0] == '%' || static_cast<unsigned char>(typed->rest[0]) >= 0x80);
        if (!found && typed && numeric && unitLike) {
            if (!typed->rest.empty() && !unitFits(typed->rest, label)) {
                problem = "unit '" + typed->rest + "' does not fit '" + title + "' (" +
                          (label.empty() ? std::string("it has no unit")
                                         : "its unit is '" + label + "'") +
                          ")";
            } else {
                double lowest = INFINITY;
                double highest = -INFINITY;
                for (const Trial& t : trials) {
                    if (t.number) {
                        lowest = std::min(lowest, *t.number);
                        highest = std::max(highest, *t.number);
                    }
                }
                // Displays are rounded: allow what rounding may hide at the ends.
                const double slack = 1e-6 * std::max(1.0, std::fabs(highest - lowest));
                if (typed->value < lowest - slack || typed->value > highest + slack) {
                    problem = "value " + trim(text) + " is out of range for '" + title +
                              "': give 0..1 (normalised) or " + number(lowest) + ".." +
                              number(highest) + (label.empty() ? "" : " " + label);
                } else {
                    found = matchNumber(plugin, index, trials, typed->value);
                }
            }
        }
        if (found) {
            found = preferStored(plugin, index, *found);
        }
    }
    if (found) {
        return *found;
    }
    if (!problem.empty()) {
        fail(Exit::Usage, problem);
    }
    if (typed && typed->rest.empty()) {
        fail(Exit::Usage, "value " + trim(text) + " is out of range for '" + title +
                              "': normalised values are 0..1");
    }
    const std::string texts = listOfTexts(trials);
    fail(Exit::Usage, "'" + trim(text) + "' is not a value of '" + title +
                          "': give 0..1 (normalised)" +
                          (texts.empty() ? std::string() : " or one of " + texts));
}

} // namespace morvek2::cli
