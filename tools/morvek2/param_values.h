// What a --set VALUE means for one parameter of any module: a normalised number from 0 to 1,
// a working value in the parameter's unit ("800Hz", "-6 dB", "8" for a step count) or one of
// the parameter's display texts ("1/16", "Chorus"). Working values and texts are found by asking
// the plug-in for its display at trial settings, so they work for third-party modules too; the
// module's state is restored afterwards.
#pragma once

#include "host/instance.h"

#include <optional>
#include <string>

namespace morvek2::cli {

// `title` names the parameter in messages. Throws Error(Exit::Usage) naming what is accepted.
// `restoreThroughChunk`: put the program back through the module's program chunk as well.
float resolveParameterValue(host::Instance& plugin, int index, const std::string& text,
                            const std::string& title, bool restoreThroughChunk = false);

// The leading number of a display text ("800.0", " -6.0", "1.20k"), if any, and the rest.
struct LeadingNumber
{
    double value = 0.0;
    std::string rest;
};
std::optional<LeadingNumber> parseLeadingNumber(const std::string& text);

// "ms" fits "msec", "hz" fits "Hz": case-insensitive, either a prefix of the other.
bool unitFits(const std::string& unit, const std::string& label);

} // namespace morvek2::cli
