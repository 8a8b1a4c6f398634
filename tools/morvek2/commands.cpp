#include "tools/morvek2/commands.h"

#include "tools/morvek2/analysis.h"
#include "tools/morvek2/audio_io.h"
#include "tools/morvek2/demo.h"
#include "tools/morvek2/errors.h"
#include "tools/morvek2/files.h"
#include "tools/morvek2/lanes.h"
#include "tools/morvek2/plot.h"
#include "tools/morvek2/preset_file.h"
#include "tools/morvek2/preset_text.h"
#include "tools/morvek2/presets.h"
#include "tools/morvek2/render.h"
#include "tools/morvek2/session.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace morvek2::cli {

namespace {

constexpr double kDefaultRate = 44100.0;

std::string modulePathOf(const Options& options)
{
    return options.modulePath.empty() ? Session::defaultModulePath() : options.modulePath;
}

// Every file the command line reads, so no output can be written over one of them.
std::vector<std::pair<std::string, std::string>> readPaths(const Options& options)
{
    std::vector<std::pair<std::string, std::string>> paths;
    if (options.input) {
        paths.emplace_back(*options.input, "input");
    }
    if (options.loadFxb) {
        paths.emplace_back(*options.loadFxb, "bank file");
    }
    if (options.loadFxp) {
        paths.emplace_back(*options.loadFxp, "program file");
    }
    return paths;
}

// All outputs are checked before any work starts: none may be an input or another output.
void checkOutputs(const Options& options)
{
    std::vector<std::pair<std::string, std::string>> outputs;
    if (options.command == Command::Render) {
        outputs.emplace_back(options.output, "output");
    }
    if (options.plot) {
        outputs.emplace_back(*options.plot, "plot");
    }
    if (options.saveFxp) {
        outputs.emplace_back(*options.saveFxp, "--save-fxp file");
    }
    if (options.saveFxb) {
        outputs.emplace_back(*options.saveFxb, "--save-fxb file");
    }
    const auto inputs = readPaths(options);
    for (std::size_t i = 0; i < outputs.size(); ++i) {
        for (const auto& [path, what] : inputs) {
            if (samePath(outputs[i].first, path)) {
                fail(Exit::Usage, outputs[i].second + " '" + outputs[i].first + "' is the " + what +
                                      "; choose another file name");
            }
        }
        for (std::size_t j = 0; j < i; ++j) {
            if (samePath(outputs[i].first, outputs[j].first)) {
                fail(Exit::Usage, outputs[i].second + " and " + outputs[j].second +
                                      " are the same file '" + outputs[i].first + "'");
            }
        }
        checkWritable(outputs[i].first, outputs[i].second);
    }
}

// Bank, program, program file, single parameters: in that order, so a program file lands in
// the selected program and --set has the last word.
void applyState(Session& session, const Options& options)
{
    if (options.loadFxb) {
        loadPreset(session, *options.loadFxb, true);
    }
    if (options.program) {
        session.plugin().setProgram(session.findProgram(*options.program));
    }
    if (options.loadFxp) {
        loadPreset(session, *options.loadFxp, false);
    }
    for (const ParamSetting& setting : options.settings) {
        session.applySetting(setting);
    }
}

// Preset files to write once everything else has worked.
std::vector<PendingFile> preparePresets(Session& session, const Options& options)
{
    std::vector<PendingFile> files;
    if (options.saveFxp) {
        files.emplace_back(*options.saveFxp);
        files.back().write(savePreset(session, false));
    }
    if (options.saveFxb) {
        files.emplace_back(*options.saveFxb);
        files.back().write(savePreset(session, true));
    }
    return files;
}

void commitAll(std::vector<PendingFile>& files)
{
    for (PendingFile& file : files) {
        file.commit();
    }
}

// Loads the module, starts it and applies the state options: the common start of every command.
std::unique_ptr<Session> openSession(const Options& options, double rate)
{
    checkOutputs(options);
    auto session = std::make_unique<Session>(modulePathOf(options));
    session->start(rate, options.blockSize);
    applyState(*session, options);
    return session;
}

// Displays are often padded for the host's fixed-width fields.
std::string trimmed(const std::string& s)
{
    const auto first = s.find_first_not_of(' ');
    return first == std::string::npos ? std::string()
                                      : s.substr(first, s.find_last_not_of(' ') - first + 1);
}

std::string flagsText(int32_t flags)
{
    static const std::pair<int32_t, const char*> names[] = {
        {effFlagsHasEditor, "editor"},
        {effFlagsCanReplacing, "replacing"},
        {effFlagsProgramChunks, "program-chunks"},
        {effFlagsIsSynth, "synth"},
        {effFlagsNoSoundInStop, "no-sound-in-stop"},
        {effFlagsCanDoubleReplacing, "double-replacing"},
    };
    std::string text;
    for (const auto& [bit, name] : names) {
        if (flags & bit) {
            text += (text.empty() ? "" : ", ") + std::string(name);
        }
    }
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%X", static_cast<unsigned>(flags));
    return text.empty() ? hex : text + " (" + hex + ")";
}

std::string categoryText(VstIntPtr category)
{
    static const char* const names[] = {"unknown",     "effect",          "synth",   "analysis",
                                        "mastering",   "spatializer",     "room fx", "surround fx",
                                        "restoration", "offline process", "shell",   "generator"};
    if (category >= 0 && category < static_cast<VstIntPtr>(std::size(names))) {
        return names[category];
    }
    return std::to_string(category);
}

} // namespace

void runInfo(const Options& options)
{
    const auto session = openSession(options, kDefaultRate);
    std::vector<PendingFile> presets = preparePresets(*session, options);
    host::Instance& instance = session->plugin();
    host::Plugin* vst2 = instance.vst2();
    if (vst2 == nullptr) {
        // Each format names its plug-ins its own way: the identity is labelled as such.
        const char* where = "Bundle:       %s (LV2)\n";
        const char* identity = "LV2 URI:      %s\n";
        const char* programs = "Programs:     %d presets\n";
        const char* state = "state:interface";
        switch (instance.format()) {
        case host::Instance::Format::Clap:
            where = "File:         %s (CLAP)\n";
            identity = "CLAP id:      %s\n";
            programs = "Programs:     %d factory programs\n";
            state = "clap.state";
            break;
        case host::Instance::Format::Vst3:
            where = "Bundle:       %s (VST3)\n";
            identity = "VST3 class ID: %s\n";
            programs = "Programs:     %d\n";
            state = "IComponent state";
            break;
        default:
            break;
        }
        std::printf(where, session->modulePath().c_str());
        std::printf(identity, instance.uri().c_str());
        std::printf("Name:         %s\n", instance.effectName().c_str());
        std::printf("Audio:        %d in, %d out\n", instance.numInputs(), instance.numOutputs());
        std::printf(programs, instance.numPrograms());
        std::printf("Parameters:   %d\n", instance.numParams());
        std::printf("State:        %s\n", instance.programChunks() ? state : "none");
        commitAll(presets);
        return;
    }
    host::Plugin& p = *vst2;
    std::printf("Module:       %s (entry %s)\n", session->modulePath().c_str(),
                p.module().entryName().c_str());
    std::printf("Effect name:  %s\n", p.effectName().c_str());
    std::printf("Product:      %s\n", p.productString().c_str());
    std::printf("Vendor:       %s (version %ld)\n", p.vendorString().c_str(),
                static_cast<long>(p.vendorVersion()));
    std::printf("VST2 ID:      %s, version %d\n", idText(p.uniqueId()).c_str(), p.version());
    std::printf("VST version:  %ld\n", static_cast<long>(p.vstVersion()));
    std::printf("Category:     %s\n", categoryText(p.plugCategory()).c_str());
    std::printf("Audio:        %d in, %d out; latency %d samples, tail %ld samples\n",
                p.numInputs(), p.numOutputs(), p.initialDelay(), static_cast<long>(p.tailSize()));
    if (p.numPrograms() > 0) {
        std::printf("Programs:     %d (current %d: %s)\n", p.numPrograms(), p.program(),
                    p.programName().c_str());
    } else {
        std::printf("Programs:     none\n");
    }
    std::printf("Parameters:   %d\n", p.numParams());
    std::printf("Flags:        %s\n", flagsText(p.flags()).c_str());
    static const char* const canDos[] = {
        "sendVstEvents",
        "sendVstMidiEvent",
        "receiveVstEvents",
        "receiveVstMidiEvent",
        "receiveVstTimeInfo",
        "offline",
        "midiProgramNames",
        "bypass",
        "1in1out",
        "1in2out",
        "2in1out",
        "2in2out",
        "2in4out",
        "4in2out",
        "4in4out",
        "plugAsChannelInsert",
        "plugAsSend",
        "mixDryWet",
        "noRealTime",
        "multipass",
    };
    std::string yes;
    for (const char* what : canDos) {
        if (p.canDo(what) > 0) {
            yes += (yes.empty() ? "" : ", ") + std::string(what);
        }
    }
    std::printf("Can do:       %s\n", yes.empty() ? "(nothing asked for)" : yes.c_str());
    commitAll(presets);
}

void runPrograms(const Options& options)
{
    const auto session = openSession(options, kDefaultRate);
    std::vector<PendingFile> presets = preparePresets(*session, options);
    const std::vector<std::string> names = session->programNames();
    const int current = session->plugin().program();
    if (names.empty()) {
        std::printf("(the module has no programs)\n");
    }
    for (std::size_t i = 0; i < names.size(); ++i) {
        std::printf("%c %3zu  %s\n", static_cast<int>(i) == current ? '*' : ' ', i,
                    names[i].c_str());
    }
    commitAll(presets);
}

void runParams(const Options& options)
{
    const auto session = openSession(options, kDefaultRate);
    std::vector<PendingFile> presets = preparePresets(*session, options);
    const std::vector<ParamInfo> params = session->parameters();
    const bool longNames = !params.empty() && !params.front().longName.empty();
    std::printf("%5s  %-10s %s%-12s %-8s %s\n", "index", "name",
                longNames ? "long name              " : "", "display", "label", "value");
    for (const ParamInfo& p : params) {
        std::string longName = p.longName;
        if (longNames) {
            longName.resize(std::max<std::size_t>(longName.size(), 22), ' ');
            longName += ' ';
        }
        std::printf("%5d  %-10s %s%-12s %-8s %.6g\n", p.index, p.name.c_str(), longName.c_str(),
                    trimmed(p.display).c_str(), trimmed(p.label).c_str(),
                    static_cast<double>(p.value));
    }
    commitAll(presets);
}

void runRender(const Options& options)
{
    checkOutputs(options);
    std::unique_ptr<AudioSource> source;
    if (options.input) {
        source = openAudioFile(*options.input);
        if (options.sampleRate && *options.sampleRate != source->sampleRate()) {
            fail(Exit::Usage, "--sample-rate does not apply to '" + *options.input +
                                  "': it has its own rate of " +
                                  std::to_string(static_cast<long>(source->sampleRate())) +
                                  " Hz and is not resampled");
        }
    } else {
        DemoSpec demo;
        demo.sampleRate = options.sampleRate.value_or(kDefaultRate);
        demo.bpm = options.bpm;
        demo.timeSigNumerator = options.timeSigNumerator;
        demo.timeSigDenominator = options.timeSigDenominator;
        source = std::make_unique<MemorySource>(synthesizeDemo(demo), 2, demo.sampleRate,
                                                "built-in demo (8 bars of drums and a pad)");
    }

    const auto session = openSession(options, source->sampleRate());
    host::Instance& plugin = session->plugin();
    std::vector<PendingFile> pending = preparePresets(*session, options);
    std::optional<ProgramLanes> lanes;
    if (options.plot) {
        lanes = readProgramLanes(*session);
    }
    const std::string programName = plugin.numPrograms() > 0 ? plugin.programName() : "";

    PendingFile output(options.output);
    WavWriter writer(output, outputChannelsFor(plugin), source->sampleRate(), options.pcm24);
    const RenderReport report = renderSource(*session, *source, writer, options, plotColumns());
    writer.finish();

    std::vector<PendingFile> files;
    files.push_back(std::move(output));
    if (options.plot) {
        PendingFile plot(*options.plot);
        PlotInfo info;
        std::string name = plugin.effectName();
        if (name.empty()) {
            name = plugin.productString();
        }
        info.title = name + (programName.empty() ? "" : "  -  " + programName);
        char subtitle[512];
        std::snprintf(subtitle, sizeof subtitle, "%s  |  %.6g bpm  %d/%d  |  %.2f s at %ld Hz%s",
                      source->description().c_str(), options.bpm, options.timeSigNumerator,
                      options.timeSigDenominator,
                      static_cast<double>(report.totalFrames) / report.sampleRate,
                      static_cast<long>(report.sampleRate),
                      !lanes                       ? ""
                      : report.playedLanes.empty() ? "  |  lanes as the program lays them out"
                                                   : "  |  lanes as played, with their re-rolls");
        info.subtitle = subtitle;
        info.startPpq = options.startPpq;
        info.bpm = options.bpm;
        info.timeSigNumerator = options.timeSigNumerator;
        info.timeSigDenominator = options.timeSigDenominator;
        info.stopped = options.stopped;
        info.lanes = lanes;
        drawPlot(plot.path(), report, info);
        files.push_back(std::move(plot));
    }
    for (PendingFile& file : pending) {
        files.push_back(std::move(file));
    }
    commitAll(files);

    std::printf("%s: %.3f s at %ld Hz, %d channel%s%s -> %s\n", source->description().c_str(),
                static_cast<double>(report.totalFrames) / report.sampleRate,
                static_cast<long>(report.sampleRate), report.outputChannels,
                report.outputChannels == 1 ? "" : "s",
                programName.empty() ? "" : (", program '" + programName + "'").c_str(),
                options.output.c_str());
}

namespace {

// What analyse checks a program against: the dry demo's loudness within 2 LU (around the level
// a program declares), peaks below clipping with headroom on the demo, no true peak above full
// scale on any input, no DC and no rumble the input does not have.
constexpr double kLoudnessWindowLu = 2.0;
constexpr double kDemoPeakDbfs = -1.0;
constexpr double kProbePeakDbfs = 0.0;
constexpr double kTruePeakDbfs = 0.0;
constexpr double kMaxDc = 1e-3;
constexpr double kMaxBelow20HzShare = 0.05;

struct AnalyseTarget
{
    int program = 0;
    double levelLu = 0.0;
    std::function<void(Session&)> setState;
};

Channels deinterleave(const std::vector<float>& interleaved)
{
    Channels out(2, std::vector<float>(interleaved.size() / 2));
    for (std::size_t f = 0; f < out[0].size(); ++f) {
        out[0][f] = interleaved[2 * f];
        out[1][f] = interleaved[2 * f + 1];
    }
    return out;
}

Channels renderOnThisThread(const Options& options, const AnalyseTarget& target,
                            const Channels& input, double rate, std::string* name);

// A fresh instance for every render, so no program hears another's tail or lane positions, on a
// thread of its own, so the module's per-thread random numbers start where they always do and
// a program's random steps do not depend on the programs measured before it.
Channels renderWith(const Options& options, const AnalyseTarget& target, const Channels& input,
                    double rate, std::string* name)
{
    Channels out;
    std::exception_ptr failure;
    std::thread([&] {
        try {
            out = renderOnThisThread(options, target, input, rate, name);
        } catch (...) {
            failure = std::current_exception();
        }
    }).join();
    if (failure) {
        std::rethrow_exception(failure);
    }
    return out;
}

Channels renderOnThisThread(const Options& options, const AnalyseTarget& target,
                            const Channels& input, double rate, std::string* name)
{
    Session session(modulePathOf(options));
    session.start(rate, options.blockSize);
    target.setState(session);
    for (const ParamSetting& setting : options.settings) {
        session.applySetting(setting);
    }
    if (name) {
        *name = session.plugin().numPrograms() > 0 ? session.plugin().programName() : "";
    }
    setUpTransport(session.plugin(), options, rate);
    host::InstanceRenderOptions renderOptions;
    renderOptions.blockSizes = blockSizesFor(options);
    Channels out;
    try {
        out = host::render(session.plugin(), input, renderOptions);
    } catch (const std::invalid_argument& e) {
        fail(Exit::Failure, std::string("render failed: ") + e.what());
    }
    out.resize(2, out.empty() ? std::vector<float>(input[0].size()) : out[0]);
    return out;
}

std::string verdict(const AnalyseRow& row, double levelLu)
{
    std::string faults;
    const auto add = [&faults](const char* what) {
        faults += (faults.empty() ? "" : ",") + std::string(what);
    };
    const double lu = row.demo.loudnessLufs - row.dry.loudnessLufs;
    if (!(std::fabs(lu - levelLu) <= kLoudnessWindowLu)) {
        add("level");
    }
    if (!(row.demo.peakDbfs <= kDemoPeakDbfs)) {
        add("peak");
    }
    if (!(row.sweepPeakDbfs <= kProbePeakDbfs)) {
        add("sweep");
    }
    if (!(row.pinkPeakDbfs <= kProbePeakDbfs)) {
        add("pink");
    }
    if (!(row.truePeakDbfs <= kTruePeakDbfs)) {
        add("truepeak");
    }
    if (!(std::fabs(row.demo.dc) <= kMaxDc)) {
        add("dc");
    }
    if (!(row.demo.below20HzShare <= kMaxBelow20HzShare)) {
        add("rumble");
    }
    return faults.empty() ? "ok" : faults;
}

} // namespace

void runAnalyse(const Options& options)
{
    const double rate = options.sampleRate.value_or(kDefaultRate);
    std::vector<AnalyseTarget> targets;
    if (!options.presetTexts.empty()) {
        for (const std::string& path : options.presetTexts) {
            const PresetText text = readPresetText(path);
            targets.push_back({static_cast<int>(targets.size()), text.levelLu,
                               [record = text.record](Session& session) {
                                   session.plugin().setChunk(true, record);
                               }});
        }
    } else if (options.program || options.loadFxp) {
        targets.push_back(
            {-1, 0.0, [&options](Session& session) { applyState(session, options); }});
    } else {
        Session probe(modulePathOf(options));
        for (int k = 0; k < probe.plugin().numPrograms(); ++k) {
            targets.push_back({k, 0.0, [&options, k](Session& session) {
                                   if (options.loadFxb) {
                                       loadPreset(session, *options.loadFxb, true);
                                   }
                                   session.plugin().setProgram(k);
                               }});
        }
    }

    DemoSpec demo;
    demo.sampleRate = rate;
    demo.bpm = options.bpm;
    demo.timeSigNumerator = options.timeSigNumerator;
    demo.timeSigDenominator = options.timeSigDenominator;
    const Channels dry = deinterleave(synthesizeDemo(demo));
    const Channels sweep = sineSweep(rate, 4.0, 40.0, 10000.0, -6.0);
    const Channels pink = pinkNoise(rate, 4.0, -12.0);
    const Measures dryMeasures = measure(dry, rate);

    std::printf("%s  level  verdict\n", analyseHeading().c_str());
    for (const AnalyseTarget& target : targets) {
        AnalyseRow row;
        row.program = target.program;
        row.dry = dryMeasures;
        row.demo = measure(renderWith(options, target, dry, rate, &row.name), rate);
        const Measures onSweep = measure(renderWith(options, target, sweep, rate, nullptr), rate);
        const Measures onPink = measure(renderWith(options, target, pink, rate, nullptr), rate);
        row.sweepPeakDbfs = onSweep.peakDbfs;
        row.pinkPeakDbfs = onPink.peakDbfs;
        row.truePeakDbfs =
            std::max({row.demo.truePeakDbfs, onSweep.truePeakDbfs, onPink.truePeakDbfs});
        std::printf("%s  %+5.1f  %s\n", analyseLine(row).c_str(), target.levelLu,
                    verdict(row, target.levelLu).c_str());
        std::fflush(stdout);
    }
}

} // namespace morvek2::cli
