#pragma once

// How a plug-in format that exchanges plain values (LV2 control ports, later VST3 and CLAP)
// shows each of the 93 parameters: what kind of control it is, its unit and range in the
// parameter's own terms, and the conversion between that plain value and the normalised value
// the core stores.
//
// The conversion is exact where it matters: for every normalised value a parameter holds by
// default or in a factory program, toNormalised(toPlain(n)) gives n to the bit, so a host that
// writes back the plain value it was given (or a preset file holding it as %.9g text) leaves
// the stored value, and therefore chunks and sound, as a VST2 host would.

#include "params/Morvek2Params.h"

#include <string>
#include <vector>

class Morvek2ParameterManager;

namespace morvek2 {

enum class PortKind {
    kToggle,      // 0 or 1
    kEnumeration, // the integers minimum..maximum, each with a name
    kInteger,     // the integers minimum..maximum
    kContinuous,
};

enum class PortUnit { kNone, kHz, kMs, kDb, kPercent };

struct PortForm
{
    PortKind kind = PortKind::kContinuous;
    PortUnit unit = PortUnit::kNone;
    float minimum = 0.0f;
    float maximum = 1.0f;
};

struct ScalePoint
{
    float value;
    std::string label;
};

class PortMapping
{
public:
    static constexpr int kNumParams = param::kNumParams;

    // Reads the parameter table from params (ranges and kinds never change after construction).
    explicit PortMapping(Morvek2ParameterManager& params);

    const PortForm& form(int index) const; // [any] index 0..92

    // The plain value of a normalised one, and back. Both are total: any float in gives a
    // finite value in range out (NaN counts as the minimum).
    float toPlain(int index, float normalised) const; // [any]
    float toNormalised(int index, float plain) const; // [any]

    // The plain value of what the manager holds now (for a fresh core: the default program).
    float currentPlain(int index) const; // [any]

    // Names of an enumeration's values, in value order; empty for the other kinds.
    std::vector<ScalePoint> scalePoints(int index) const; // [ui] allocates

private:
    // The first inverse: the conversion's own formula, before the bit search.
    float firstInverse(int index, float plain) const;

    Morvek2ParameterManager& params;
    PortForm forms[kNumParams];
};

} // namespace morvek2
