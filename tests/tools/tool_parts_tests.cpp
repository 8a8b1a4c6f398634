// The parts of the morvek2 command line that need no module: options, names, preset files,
// value texts, lane layout, routing, the demo and the measures.
#include "tools/morvek2/analysis.h"
#include "tools/morvek2/args.h"
#include "tools/morvek2/demo.h"
#include "tools/morvek2/errors.h"
#include "tools/morvek2/files.h"
#include "tools/morvek2/lanes.h"
#include "tools/morvek2/names.h"
#include "tools/morvek2/param_values.h"
#include "tools/morvek2/preset_file.h"
#include "tools/morvek2/render.h"
#include "tools/morvek2/session.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <unistd.h>

namespace {

using namespace morvek2::cli;
namespace fs = std::filesystem;

// The exit code and message of a failing call.
template <class F> std::pair<Exit, std::string> failure(F call)
{
    try {
        call();
    } catch (const Error& e) {
        return {e.code(), e.what()};
    }
    return {Exit::Ok, ""};
}

TEST(ToolArgs, RenderLineWithEveryOption)
{
    const Options o = parseArgs({"render",
                                 "in.flac",
                                 "-o",
                                 "out.wav",
                                 "--bpm=140",
                                 "--time-sig",
                                 "6/8",
                                 "--start-ppq",
                                 "-2",
                                 "--stopped",
                                 "--block-size",
                                 "64",
                                 "--irregular-blocks",
                                 "--program",
                                 "3",
                                 "--set",
                                 "Filter Freq = 800Hz",
                                 "--set",
                                 "VCA Pan=0.2",
                                 "--tail",
                                 "1.5",
                                 "--pcm24",
                                 "--plot",
                                 "p.png",
                                 "--module",
                                 "m.so"});
    EXPECT_EQ(o.command, Command::Render);
    EXPECT_EQ(o.input, "in.flac");
    EXPECT_EQ(o.output, "out.wav");
    EXPECT_EQ(o.bpm, 140.0);
    EXPECT_EQ(o.timeSigNumerator, 6);
    EXPECT_EQ(o.timeSigDenominator, 8);
    EXPECT_EQ(o.startPpq, -2.0);
    EXPECT_TRUE(o.stopped && o.irregularBlocks && o.pcm24);
    EXPECT_EQ(o.blockSize, 64);
    EXPECT_EQ(o.program, "3");
    ASSERT_EQ(o.settings.size(), 2u);
    EXPECT_EQ(o.settings[0].name, "Filter Freq");
    EXPECT_EQ(o.settings[0].value, "800Hz");
    EXPECT_EQ(o.tailSeconds, 1.5);
    EXPECT_EQ(o.plot, "p.png");
    EXPECT_EQ(o.modulePath, "m.so");
    EXPECT_FALSE(parseArgs({"render", "-o", "x.wav"}).input.has_value()) << "no input: the demo";
}

TEST(ToolArgs, EveryMistakeIsAUsageErrorWithItsReason)
{
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"render", "in.wav"}, "needs an output file"},
        {{"render", "-o"}, "needs a value"},
        {{"render", "a.wav", "b.wav", "-o", "c.wav"}, "one input file"},
        {{"render", "-o", "x.wav", "--time-sig", "6/7"}, "power of two"},
        {{"render", "-o", "x.wav", "--time-sig", "68"}, "N/D"},
        {{"render", "-o", "x.wav", "--bpm", "fast"}, "needs a number"},
        {{"render", "-o", "x.wav", "--bpm", "0"}, "out of range"},
        {{"render", "-o", "x.wav", "--block-size", "0"}, "out of range"},
        {{"render", "-o", "x.wav", "--tail", "-1"}, "out of range"},
        {{"render", "-o", "x.wav", "--set", "Filter Freq"}, "NAME=VALUE"},
        {{"render", "-o", "x.wav", "--set", "=3"}, "NAME=VALUE"},
        {{"render", "-o", "x.wav", "--stopped=1"}, "takes no value"},
        {{"render", "-o", "x.wav", "--frobnicate"}, "unknown option"},
        {{"info", "--bpm", "120"}, "does not apply"},
        {{"params", "extra.wav"}, "takes no file"},
        {{"rendr"}, "unknown command"},
    };
    for (const auto& [args, reason] : cases) {
        const auto [code, message] = failure([&] { parseArgs(args); });
        EXPECT_EQ(code, Exit::Usage) << args.back();
        EXPECT_NE(message.find(reason), std::string::npos) << message;
        EXPECT_EQ(message.find('\n'), std::string::npos) << "one line: " << message;
    }
}

TEST(ToolNames, ForgivingKeysAndClosestSuggestions)
{
    EXPECT_EQ(nameKey("Filter Freq"), nameKey("filter_freq"));
    EXPECT_EQ(nameKey("FILTER-FREQ"), "filterfreq");
    EXPECT_EQ(editDistance("kitten", "sitting"), 3);
    const std::vector<std::string> names = {"Filter Freq", "Filter Res", "Delay Time", "Shift Mix",
                                            "FiltFreq"};
    const auto close = closestNames("Filtr Freq", names);
    ASSERT_FALSE(close.empty());
    EXPECT_EQ(close.front(), "Filter Freq");
    EXPECT_TRUE(closestNames("Zebra", names).empty()) << "no silly suggestions";
    EXPECT_EQ(suggestionText("Zebra", names), "");
    EXPECT_NE(suggestionText("Dealy Time", names).find("'Delay Time'"), std::string::npos);
}

TEST(ToolPresetFile, OpaqueProgramHasTheBigEndianHeaderLayout)
{
    PresetFile p;
    p.pluginId = 0x5A4B6D32;
    p.pluginVersion = 1;
    p.count = 93;
    p.programName = "A name longer than the twenty-eight byte field";
    p.chunk = {1, 2, 3, 4, 5};
    const std::vector<std::uint8_t> bytes = encodePreset(p);
    ASSERT_EQ(bytes.size(), 60u + 5u);
    EXPECT_EQ(std::memcmp(bytes.data(), "CcnK", 4), 0);
    EXPECT_EQ(bytes[7], 65 - 8) << "byteSize counts what follows it";
    EXPECT_EQ(std::memcmp(bytes.data() + 8, "FPCh", 4), 0);
    EXPECT_EQ(std::memcmp(bytes.data() + 16, "ZKm2", 4), 0);
    EXPECT_EQ(bytes[27], 93);
    EXPECT_EQ(bytes[28 + 27], 0) << "the name stays terminated";
    EXPECT_EQ(bytes[59], 5) << "chunk size at 56";
    const PresetFile back = decodePreset(bytes, false, "p.fxp");
    EXPECT_EQ(back.chunk, p.chunk);
    EXPECT_EQ(back.pluginId, p.pluginId);
    EXPECT_EQ(back.programName, p.programName.substr(0, 27));
}

TEST(ToolPresetFile, BanksRoundTripInBothForms)
{
    PresetFile opaque;
    opaque.bank = true;
    opaque.pluginId = 0x41424344;
    opaque.count = 40;
    opaque.currentProgram = 7;
    opaque.chunk.assign(80960, 0xAB);
    const std::vector<std::uint8_t> bytes = encodePreset(opaque);
    ASSERT_EQ(bytes.size(), 160u + 80960u);
    EXPECT_EQ(std::memcmp(bytes.data() + 8, "FBCh", 4), 0);
    EXPECT_EQ(bytes[31], 7) << "format 2 keeps the current program at 28";
    const PresetFile back = decodePreset(bytes, true, "b.fxb");
    EXPECT_EQ(back.chunk, opaque.chunk);
    EXPECT_EQ(back.currentProgram, 7);

    PresetFile regular;
    regular.bank = true;
    regular.opaque = false;
    regular.pluginId = 0x41424344;
    regular.programs = {{"one", {0.0f, 0.5f}}, {"two", {1.0f, 0.25f}}};
    const PresetFile again = decodePreset(encodePreset(regular), true, "r.fxb");
    ASSERT_EQ(again.programs.size(), 2u);
    EXPECT_EQ(again.programs[1].name, "two");
    EXPECT_EQ(again.programs[1].values, (std::vector<float>{1.0f, 0.25f}));
}

TEST(ToolPresetFile, DamagedOrMismatchedFilesAreRefused)
{
    PresetFile p;
    p.pluginId = 1;
    p.chunk.assign(100, 1);
    std::vector<std::uint8_t> good = encodePreset(p);

    auto truncated = good;
    truncated.resize(good.size() - 1);
    EXPECT_NE(failure([&] { decodePreset(truncated, false, "t.fxp"); }).second.find("damaged"),
              std::string::npos);
    auto header = good;
    header.resize(40);
    EXPECT_EQ(failure([&] { decodePreset(header, false, "h.fxp"); }).first, Exit::Preset);
    auto magic = good;
    magic[0] = 'X';
    EXPECT_NE(failure([&] { decodePreset(magic, false, "m.fxp"); }).second.find("not a VST preset"),
              std::string::npos);
    auto kind = good;
    std::memcpy(kind.data() + 8, "ABCD", 4);
    EXPECT_EQ(failure([&] { decodePreset(kind, false, "k.fxp"); }).first, Exit::Preset);
    EXPECT_NE(failure([&] { decodePreset(good, true, "g.fxp"); }).second.find("--load-fxp"),
              std::string::npos);
    // Writers that leave the size field at 0 are still read.
    auto zeroSize = good;
    std::memset(zeroSize.data() + 4, 0, 4);
    EXPECT_EQ(decodePreset(zeroSize, false, "z.fxp").chunk.size(), 100u);
    EXPECT_EQ(idText(0x5A4B6D32), "'ZKm2'");
    EXPECT_EQ(idText(1), "0x00000001");
}

TEST(ToolValues, DisplayNumbersAndUnits)
{
    auto n = parseLeadingNumber(" 20.0k");
    ASSERT_TRUE(n);
    EXPECT_DOUBLE_EQ(n->value, 20000.0);
    n = parseLeadingNumber("-6.5 dB");
    ASSERT_TRUE(n);
    EXPECT_DOUBLE_EQ(n->value, -6.5);
    EXPECT_EQ(n->rest, "dB");
    n = parseLeadingNumber("2kHz");
    ASSERT_TRUE(n);
    EXPECT_DOUBLE_EQ(n->value, 2000.0);
    EXPECT_EQ(n->rest, "Hz");
    EXPECT_FALSE(parseLeadingNumber("-inf"));
    EXPECT_FALSE(parseLeadingNumber("0x10"));
    EXPECT_FALSE(parseLeadingNumber("Off"));
    EXPECT_TRUE(unitFits("ms", "msec"));
    EXPECT_TRUE(unitFits("HZ", "Hz"));
    EXPECT_TRUE(unitFits("", ""));
    EXPECT_FALSE(unitFits("Hz", ""));
    EXPECT_FALSE(unitFits("dB", "%"));
}

SeqLane lane(int length, int stepSize, int direction, int position = 0)
{
    SeqLane l = seq::newLane();
    l.length = static_cast<std::int16_t>(length);
    l.stepSize = static_cast<std::int16_t>(stepSize);
    l.direction = static_cast<std::int16_t>(direction);
    l.position = static_cast<std::int16_t>(position);
    return l;
}

std::vector<int> stepsOf(const std::vector<StepSpan>& spans)
{
    std::vector<int> steps;
    for (const StepSpan& s : spans) {
        steps.push_back(s.step);
    }
    return steps;
}

TEST(ToolLanes, StepsFollowTheGridDirectionAndResets)
{
    // Sixteenths, four steps, two quarter notes.
    auto spans = layOutLane(lane(4, 4, seq::kForward), 0.0, 2.0, 4.0, 0);
    EXPECT_EQ(stepsOf(spans), (std::vector<int>{0, 1, 2, 3, 0, 1, 2, 3}));
    EXPECT_DOUBLE_EQ(spans[1].start, 0.25);
    EXPECT_DOUBLE_EQ(spans.back().end, 2.0);

    spans = layOutLane(lane(3, 8, seq::kBackward, 1), 0.0, 4.0, 4.0, 0);
    EXPECT_EQ(stepsOf(spans), (std::vector<int>{1, 0, 2, 1}));

    // Quarter notes, length 3, all lanes restart every bar of 4/4.
    spans = layOutLane(lane(3, 8, seq::kForward), 0.0, 8.0, 4.0, 1);
    EXPECT_EQ(stepsOf(spans), (std::vector<int>{0, 1, 2, 0, 0, 1, 2, 0}));

    // A start inside a step: the first span ends on the next grid line.
    spans = layOutLane(lane(16, 4, seq::kForward, 5), 0.1, 0.6, 4.0, 0);
    ASSERT_EQ(spans.size(), 3u);
    EXPECT_DOUBLE_EQ(spans[0].end, 0.25);
    EXPECT_EQ(stepsOf(spans), (std::vector<int>{5, 6, 7}));

    // A direction that is none of the three holds its step.
    spans = layOutLane(lane(8, 4, 5, 3), 0.0, 1.0, 4.0, 0);
    EXPECT_EQ(stepsOf(spans), (std::vector<int>{3, 3, 3, 3}));
    EXPECT_TRUE(layOutLane(lane(8, 42, 0), 0.0, 1.0, 4.0, 0).empty());
}

TEST(ToolLanes, ProgramRecordGivesNameAndRepairedLanes)
{
    std::vector<std::uint8_t> record(kProgramRecordBytes, 0);
    std::memcpy(record.data() + 4, "Clean Slate", 11);
    SeqLane filter = lane(12, 7, seq::kRandom, 3);
    filter.steps[2].value = 0.5f;
    filter.steps[2].gate = 1;
    std::memcpy(record.data() + kLanesOffset + sizeof(SeqLane), &filter, sizeof filter);
    const auto lanes = lanesFromRecord(record);
    ASSERT_TRUE(lanes);
    EXPECT_EQ(lanes->programName, "Clean Slate");
    EXPECT_EQ(lanes->lanes[1].length, 12);
    EXPECT_EQ(lanes->lanes[1].steps[2].value, 0.5f);
    // The zero-filled lanes have length 0: repaired to something drawable.
    EXPECT_EQ(lanes->lanes[0].length, 1);
    record.pop_back();
    EXPECT_FALSE(lanesFromRecord(record));
}

TEST(ToolRender, InputRoutingAndBlockSizes)
{
    std::vector<std::vector<float>> mono(1);
    routeInput({0.2f, 0.6f}, 2, 1, mono);
    EXPECT_FLOAT_EQ(mono[0][0], 0.4f) << "a stereo file into a mono effect is mixed";
    std::vector<std::vector<float>> four(4);
    routeInput({0.3f, -0.3f}, 1, 2, four);
    EXPECT_EQ(four[0], four[1]) << "a mono file feeds both sides";
    EXPECT_EQ(four[1][1], -0.3f);
    EXPECT_EQ(four[3], (std::vector<float>{0.0f, 0.0f})) << "extra inputs are silent";

    Options options;
    options.blockSize = 100;
    EXPECT_EQ(blockSizesFor(options), (std::vector<int32_t>{100}));
    options.irregularBlocks = true;
    const auto sizes = blockSizesFor(options);
    EXPECT_GT(sizes.size(), 4u);
    for (int32_t n : sizes) {
        EXPECT_LE(n, 100);
        EXPECT_GE(n, 0);
    }
}

TEST(ToolRender, EnvelopeKeepsExtremesPerColumn)
{
    Envelope env(10, 2);
    env.add(0, {{0.1f, -0.5f, 0.2f, 0.0f, 0.0f, 0.9f, 0.0f, 0.0f, 0.0f, -0.1f}}, 10);
    EXPECT_FLOAT_EQ(env.low(0), -0.5f);
    EXPECT_FLOAT_EQ(env.high(0), 0.2f);
    EXPECT_FLOAT_EQ(env.high(1), 0.9f);
    EXPECT_FLOAT_EQ(env.peak(), 0.9f);
    Envelope poisoned(2, 2);
    poisoned.add(0, {{NAN, INFINITY}}, 2);
    EXPECT_EQ(poisoned.peak(), 0.0f);
}

// A full-scale sine at a quarter of the rate, sampled 45 degrees off its crests: every sample
// is at -3 dBFS, the wave itself at 0 dBFS.
TEST(ToolAnalysis, TruePeakSeesTheWaveBetweenItsSamples)
{
    std::vector<float> s(44100);
    for (std::size_t i = 0; i < s.size(); ++i) {
        s[i] = static_cast<float>(std::sin(M_PI / 2.0 * static_cast<double>(i) + M_PI / 4.0));
    }
    const Measures m = measure({s, s}, 44100.0);
    EXPECT_NEAR(m.peakDbfs, -3.01, 0.01);
    EXPECT_NEAR(m.truePeakDbfs, 0.0, 0.3);
}

// The picture draws a lane's gates as they played: "09 Pulse Beacon" re-rolls its VCA gates at
// every one-bar reset, all but the locked first step of each beat; a program that re-rolls
// nothing records nothing, so its lanes stay as laid out.
TEST(ToolRender, PlotRecordsTheGatesAResetReRolled)
{
    if (!fs::exists(Session::defaultModulePath())) {
        GTEST_SKIP() << "the Morvek2 module is not built beside the tests";
    }
    const fs::path folder =
        fs::temp_directory_path() / ("morvek2-played-" + std::to_string(getpid()));
    fs::create_directories(folder);
    const auto played = [&](int program) {
        Session session(Session::defaultModulePath());
        session.start(44100.0, 512);
        session.plugin().setProgram(program);
        Options options;
        options.plot = (folder / "x.png").string();
        MemorySource demo(synthesizeDemo({}), 2, 44100.0, "demo");
        PendingFile output((folder / "x.wav").string());
        WavWriter writer(output, 2, 44100.0, false);
        RenderReport report = renderSource(session, demo, writer, options, 64);
        writer.finish();
        const auto last = lanesFromRecord(session.plugin().getChunk(true));
        EXPECT_TRUE(report.playedLanes.empty() ||
                    std::memcmp(report.playedLanes.back().lanes[0].steps, last->lanes[0].steps,
                                sizeof last->lanes[0].steps) == 0)
            << "the last record is what the program holds at the end";
        return report.playedLanes;
    };
    const std::vector<PlayedLanes> beacon = played(8);
    ASSERT_GE(beacon.size(), 2u) << "eight bars, a re-roll at (nearly) every bar";
    std::string patterns;
    for (const PlayedLanes& record : beacon) {
        std::string gates;
        for (int s = 0; s < 16; ++s) {
            gates += record.lanes[0].steps[s].gate != 0 ? 'x' : '.';
        }
        EXPECT_EQ(gates[0], 'x');
        EXPECT_EQ(gates[4], 'x');
        EXPECT_EQ(gates[8], 'x');
        EXPECT_EQ(gates[12], 'x') << gates << ": the locked gates stay";
        EXPECT_EQ(record.fromFrame % 512, 0) << "a block's first frame";
        patterns += gates + " ";
    }
    EXPECT_NE(patterns.substr(0, 17), patterns.substr(17, 17)) << patterns;
    EXPECT_TRUE(played(0).empty()) << "01 Clean Slate re-rolls nothing";
    fs::remove_all(folder);
}

TEST(ToolDemo, EightBarsOfTheGivenTempoAndSignature)
{
    DemoSpec settings;
    const std::vector<float> a = synthesizeDemo(settings);
    EXPECT_EQ(a.size(), 2u * 16u * 44100u) << "eight bars of 4/4 at 120 bpm last 16 s";
    EXPECT_EQ(a, synthesizeDemo(settings)) << "the demo is the same every time";
    float peak = 0.0f;
    double energy = 0.0;
    for (float s : a) {
        ASSERT_TRUE(std::isfinite(s));
        peak = std::max(peak, std::fabs(s));
        energy += s * s;
    }
    EXPECT_LE(peak, 0.7001f);
    EXPECT_GT(energy / a.size(), 1e-4) << "clearly audible";
    settings.bpm = 90.0;
    settings.timeSigNumerator = 6;
    settings.timeSigDenominator = 8;
    settings.sampleRate = 48000.0;
    // A bar of 6/8 is three quarter notes: eight bars at 90 bpm last 16 s.
    EXPECT_EQ(synthesizeDemo(settings).size(), 2u * 16u * 48000u);
}

TEST(ToolFiles, PendingFilesAppearOnlyWhenCommitted)
{
    const fs::path folder =
        fs::temp_directory_path() / ("morvek2-pending-" + std::to_string(::getpid()));
    fs::create_directories(folder);
    const std::string target = (folder / "out.bin").string();
    {
        PendingFile file(target);
        file.write({1, 2, 3});
    }
    EXPECT_FALSE(fs::exists(target));
    EXPECT_TRUE(fs::is_empty(folder)) << "no temporary file left behind";
    {
        PendingFile file(target);
        file.write({4, 5});
        file.commit();
    }
    EXPECT_EQ(fs::file_size(target), 2u);
    EXPECT_EQ(failure([&] { PendingFile((folder / "missing" / "x.wav").string()); }).first,
              Exit::Output);
    EXPECT_TRUE(samePath(target, (folder / "." / "out.bin").string()));
    EXPECT_FALSE(samePath(target, (folder / "other.bin").string()));
    fs::remove_all(folder);
}

} // namespace
