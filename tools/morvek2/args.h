// The command line of morvek2: commands, options and their checks. Parsing only; nothing here
// touches a file or the module.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace morvek2::cli {

enum class Command { Render, Info, Programs, Params, Analyse, Help };

// One --set "NAME=VALUE"; the value is interpreted once the module's parameters are known.
struct ParamSetting
{
    std::string name;
    std::string value;
};

struct Options
{
    Command command = Command::Help;
    std::string modulePath; // empty: the Morvek2 module next to the program

    // render
    std::optional<std::string> input; // none: the built-in demo
    std::string output;
    std::optional<std::string> plot;
    double bpm = 120.0;
    int timeSigNumerator = 4;
    int timeSigDenominator = 4;
    double startPpq = 0.0;
    bool stopped = false;
    int blockSize = 512;
    bool irregularBlocks = false;
    std::optional<double> sampleRate;
    double tailSeconds = 0.0;
    bool pcm24 = false;

    // state, in the order it is applied: bank, program, program file, single parameters
    std::optional<std::string> loadFxb;
    std::optional<std::string> program; // index (from 0) or name
    std::optional<std::string> loadFxp;
    std::vector<ParamSetting> settings;
    // analyse: factory program text files (resources/presets/*.txt) to load in turn
    std::vector<std::string> presetTexts;
    std::optional<std::string> saveFxp;
    std::optional<std::string> saveFxb;
};

// Throws Error(Exit::Usage) with one line for any mistake.
Options parseArgs(const std::vector<std::string>& args);

const char* usageText();

} // namespace morvek2::cli
