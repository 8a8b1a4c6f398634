#include "tools/morvek2/args.h"

#include "tools/morvek2/errors.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <map>

namespace morvek2::cli {

namespace {

[[noreturn]] void usage(const std::string& message)
{
    fail(Exit::Usage, message);
}

double parseNumber(const std::string& option, const std::string& text)
{
    errno = 0;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || end != text.c_str() + text.size() || errno != 0 || !std::isfinite(value)) {
        usage(option + " needs a number, not '" + text + "'");
    }
    return value;
}

int parseInteger(const std::string& option, const std::string& text, int lowest, int highest)
{
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || end != text.c_str() + text.size() || errno != 0) {
        usage(option + " needs a whole number, not '" + text + "'");
    }
    if (value < lowest || value > highest) {
        usage(option + " " + text + " is out of range (" + std::to_string(lowest) + ".." +
              std::to_string(highest) + ")");
    }
    return static_cast<int>(value);
}

void parseTimeSignature(const std::string& text, Options& options)
{
    const auto slash = text.find('/');
    if (slash == std::string::npos) {
        usage("--time-sig needs the form N/D (for example 6/8), not '" + text + "'");
    }
    options.timeSigNumerator = parseInteger("--time-sig numerator", text.substr(0, slash), 1, 64);
    options.timeSigDenominator =
        parseInteger("--time-sig denominator", text.substr(slash + 1), 1, 64);
    const int d = options.timeSigDenominator;
    if ((d & (d - 1)) != 0) {
        usage("--time-sig denominator must be a power of two (1, 2, 4, 8, 16, 32, 64), not " +
              std::to_string(d));
    }
}

ParamSetting parseSetting(const std::string& text)
{
    const auto equals = text.rfind('=');
    if (equals == std::string::npos || equals == 0 || equals + 1 == text.size()) {
        usage("--set needs NAME=VALUE (for example \"Filter Freq=0.3\"), not '" + text + "'");
    }
    auto trim = [](std::string s) {
        const auto first = s.find_first_not_of(" \t");
        const auto last = s.find_last_not_of(" \t");
        return first == std::string::npos ? std::string() : s.substr(first, last - first + 1);
    };
    ParamSetting setting{trim(text.substr(0, equals)), trim(text.substr(equals + 1))};
    if (setting.name.empty() || setting.value.empty()) {
        usage("--set needs NAME=VALUE (for example \"Filter Freq=0.3\"), not '" + text + "'");
    }
    return setting;
}

Command parseCommand(const std::string& word)
{
    static const std::map<std::string, Command> commands = {
        {"render", Command::Render}, {"info", Command::Info},       {"programs", Command::Programs},
        {"params", Command::Params}, {"analyse", Command::Analyse}, {"help", Command::Help},
    };
    const auto found = commands.find(word);
    if (found == commands.end()) {
        usage("unknown command '" + word +
              "' (commands: render, info, programs, params, analyse, help)");
    }
    return found->second;
}

} // namespace

Options parseArgs(const std::vector<std::string>& args)
{
    Options options;
    if (args.empty()) {
        return options;
    }
    std::size_t i = 0;
    if (args[0] == "--help" || args[0] == "-h") {
        return options;
    }
    options.command = parseCommand(args[i++]);

    bool sawOutput = false;
    // Options that take a value; each handler receives it.
    using Handler = std::function<void(const std::string&)>;
    const bool render = options.command == Command::Render;
    const bool analyse = options.command == Command::Analyse;
    std::map<std::string, std::pair<bool, Handler>> valued = {
        {"--module", {true, [&](const std::string& v) { options.modulePath = v; }}},
        {"--program", {true, [&](const std::string& v) { options.program = v; }}},
        {"--set",
         {true, [&](const std::string& v) { options.settings.push_back(parseSetting(v)); }}},
        {"--load-fxp", {true, [&](const std::string& v) { options.loadFxp = v; }}},
        {"--preset-text",
         {analyse, [&](const std::string& v) { options.presetTexts.push_back(v); }}},
        {"--load-fxb", {true, [&](const std::string& v) { options.loadFxb = v; }}},
        {"--save-fxp", {true, [&](const std::string& v) { options.saveFxp = v; }}},
        {"--save-fxb", {true, [&](const std::string& v) { options.saveFxb = v; }}},
        {"-o",
         {render,
          [&](const std::string& v) {
              options.output = v;
              sawOutput = true;
          }}},
        {"--output",
         {render,
          [&](const std::string& v) {
              options.output = v;
              sawOutput = true;
          }}},
        {"--plot", {render, [&](const std::string& v) { options.plot = v; }}},
        {"--bpm",
         {render,
          [&](const std::string& v) {
              options.bpm = parseNumber("--bpm", v);
              if (options.bpm < 1.0 || options.bpm > 999.0) {
                  usage("--bpm " + v + " is out of range (1..999)");
              }
          }}},
        {"--time-sig", {render, [&](const std::string& v) { parseTimeSignature(v, options); }}},
        {"--start-ppq",
         {render,
          [&](const std::string& v) {
              options.startPpq = parseNumber("--start-ppq", v);
              if (std::fabs(options.startPpq) > 1e7) {
                  usage("--start-ppq " + v + " is out of range");
              }
          }}},
        {"--block-size",
         {render,
          [&](const std::string& v) {
              options.blockSize = parseInteger("--block-size", v, 1, 65536);
          }}},
        {"--sample-rate",
         {render,
          [&](const std::string& v) {
              // WAV files carry whole-number rates.
              options.sampleRate = parseInteger("--sample-rate", v, 8000, 384000);
          }}},
        {"--tail",
         {render,
          [&](const std::string& v) {
              options.tailSeconds = parseNumber("--tail", v);
              if (options.tailSeconds < 0.0 || options.tailSeconds > 3600.0) {
                  usage("--tail " + v + " is out of range (0..3600 seconds)");
              }
          }}},
    };
    std::map<std::string, std::pair<bool, std::function<void()>>> flags = {
        {"--stopped", {render, [&] { options.stopped = true; }}},
        {"--irregular-blocks", {render, [&] { options.irregularBlocks = true; }}},
        {"--pcm24", {render, [&] { options.pcm24 = true; }}},
    };

    std::vector<std::string> positional;
    for (; i < args.size(); ++i) {
        std::string arg = args[i];
        if (arg == "--help" || arg == "-h") {
            options.command = Command::Help;
            return options;
        }
        if (arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        std::optional<std::string> inlineValue;
        if (const auto equals = arg.find('=');
            arg.rfind("--", 0) == 0 && equals != std::string::npos) {
            inlineValue = arg.substr(equals + 1);
            arg = arg.substr(0, equals);
        }
        if (const auto v = valued.find(arg); v != valued.end()) {
            if (!v->second.first) {
                usage(arg + " does not apply to '" + args[0] + "'");
            }
            if (!inlineValue) {
                if (i + 1 >= args.size()) {
                    usage(arg + " needs a value");
                }
                inlineValue = args[++i];
            }
            v->second.second(*inlineValue);
            continue;
        }
        if (const auto f = flags.find(arg); f != flags.end()) {
            if (!f->second.first) {
                usage(arg + " does not apply to '" + args[0] + "'");
            }
            if (inlineValue) {
                usage(arg + " takes no value");
            }
            f->second.second();
            continue;
        }
        usage("unknown option '" + arg + "' (see morvek2 help)");
    }

    if (render) {
        if (positional.size() > 1) {
            usage("render takes one input file, got '" + positional[1] + "' as well");
        }
        if (!positional.empty()) {
            options.input = positional[0];
        }
        if (!sawOutput || options.output.empty()) {
            usage("render needs an output file: -o OUTPUT.wav");
        }
    } else if (analyse) {
        // Factory program text files may also be named plainly: analyse resources/presets/*.txt
        options.presetTexts.insert(options.presetTexts.end(), positional.begin(), positional.end());
    } else if (!positional.empty()) {
        usage("'" + args[0] + "' takes no file argument, got '" + positional[0] + "'");
    }
    return options;
}

const char* usageText()
{
    return R"(usage: morvek2 COMMAND [OPTIONS]

Commands:
  render [INPUT] -o OUTPUT.wav   process an audio file (WAV, AIFF, FLAC, Ogg; mono or stereo)
                                 through the module; without INPUT, a built-in demo
                                 (eight bars of drums and a pad)
  info                           identity and capabilities of the module
  programs                       the module's program names
  params                         every parameter: index, name, display text and label
  analyse [FILE.txt...]          per program: loudness against bypass on the demo, peaks on the
                                 demo, a -6 dBFS sine sweep 40 Hz-10 kHz and -12 dBFS (peak)
                                 pink noise, DC, energy below 20 Hz, centroid and image moves;
                                 every program, or the one --program/--load-fxp selects, or each
                                 factory program file named (FILE.txt or --preset-text FILE.txt)
  help                           this text

Module and state (every command):
  --module PATH                  a VST 2.4 effect module, a .clap file, or a VST3 or LV2 bundle
                                 folder (default: the Morvek2 VST 2.4 module next to this
                                 program)
  --load-fxb FILE                load a bank file first
  --program N|NAME               select a program (index from 0, or its name)
  --load-fxp FILE                then load a program file into the current program
  --set "NAME=VALUE"             then set a parameter: a normalised 0..1 value ("Filter Freq=0.3"),
                                 a value in the parameter's unit ("Filter Freq=800Hz") or one of
                                 its display texts; repeatable
  --save-fxp FILE, --save-fxb FILE
                                 save the resulting program or bank

Render options:
  -o, --output FILE              the WAV file to write (32-bit float unless --pcm24)
  --pcm24                        write 24-bit integer samples
  --plot FILE.png                draw input, output, bar lines and (for Morvek2) the lanes
  --bpm N                        tempo (default 120)
  --time-sig N/D                 time signature (default 4/4)
  --start-ppq Q                  transport position of the first sample, in quarter notes
  --stopped                      render with the transport stopped
  --block-size N                 frames per process call (default 512)
  --irregular-blocks             vary block sizes the way hosts do (up to --block-size)
  --sample-rate HZ               rate of the demo (a file's own rate is always used)
  --tail SECONDS                 keep rendering silence after the input ends
)";
}

} // namespace morvek2::cli
