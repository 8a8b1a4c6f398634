#pragma once

// Reads one factory program text file (resources/presets/*.txt) into the values the plug-in
// stores. Every value is converted through the plug-in's own parameter manager and checked the
// way the editor would show it: a value outside the parameter's range, inside a snap-to-centre
// zone, or one whose display would not read back as written is refused, naming the file, the
// line and what the plug-in would play instead.
//
// File format, one program per file ('#' starts a comment):
//   name = 03 Hi-Pass Junkie
//   chain = Filter Distort VCA Delay Shift Bits
//   page = Filter
//   level = -3 LU                   (optional: a program whose character is a level change)
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

#include "params/Morvek2Params.h"

#include <array>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

class Morvek2ParameterManager;

namespace presetfile {

constexpr int kParams = morvek2::param::kNumParams;
constexpr int kLanes = morvek2::param::kNumModules;
constexpr int kSteps = 32;

// "file:line: what", the form compilers use, so an editor can jump to the line.
class Error : public std::runtime_error
{
public:
    using std::runtime_error::runtime_error;
};

struct Lane
{
    int header[5] = {0, 16, 0, 4, 0};
    float values[kSteps] = {};
    unsigned flags[kSteps] = {};
};

// One "name = value" line as written and as converted.
struct Assignment
{
    int index = 0;
    std::string text;
    int line = 0;
    float normalised = 0.0f;
};

struct Program
{
    std::string name;
    int chain[kLanes] = {0, 1, 2, 3, 4, 5};
    int page = 0;
    std::array<float, kParams> values{};
    std::array<bool, kParams> given{};
    Lane lanes[kLanes];
    std::vector<Assignment> assignments;
    // The loudness against bypass the program means to sit at (0 unless the file says).
    double levelLu = 0.0;
};

// Throws Error on anything it does not understand or would not play as written.
Program readProgram(const std::string& path);

// What a display text of parameter `index` shows, in the units the files use (a display of
// "+35" for a mod amount reads 0.35, "1.20k" reads 1200), and the step between two texts the
// display can show there. Nothing for displays that carry no number (the error bit patterns).
struct Shown
{
    double value = 0.0;
    double resolution = 0.0;
};
std::optional<Shown> readDisplay(Morvek2ParameterManager& pm, int index,
                                 const std::string& display);

// The parameter's display at normalised value n, with the manager's other values as they are.
std::string displayAt(Morvek2ParameterManager& pm, int index, float n);

} // namespace presetfile
