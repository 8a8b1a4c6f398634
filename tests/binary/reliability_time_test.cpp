// Time information as real hosts report it: missing, partial, with odd tempi, jitter, pre-roll,
// loops and locates, a stopped transport, and validity flags over garbage fields.
#include "binary/reliability_support.h"

#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <utility>
#include <vector>

using namespace morvek2::host;
using namespace reliability;
using binarytest::loadPlugin;

namespace {

constexpr double kNaNd = std::numeric_limits<double>::quiet_NaN();

struct TimeCase
{
    const char* name;
    std::function<void(HostConfig&)> configure;
    std::function<void(Transport&)> transport;
};

// The VCA alone, its two-step lane gating on and off every 1/16 with a reset each measure: the
// output of a steady input is a picture of where the lane is.
void gatedSixteenths(Plugin& plugin)
{
    plugin.setParameter(kVcaSolo, 1.0f);
    plugin.setParameter(kVcaDepth, 1.0f);
    ProgramRecord record = readProgram(plugin);
    record.values[kStepSizeParam[0]] = 4.3f / 9.0f; // 1/16
    record.values[kLengthParam[0]] = 3.3f / 31.0f;  // four steps
    record.values[kDirectionParam[0]] = 0.0f;
    record.values[kResetInterval] = 1.3f / 4.0f; // one measure
    SeqLane& lane = record.lanes[0];
    lane.stepSize = 4;
    lane.length = 4;
    lane.direction = 0;
    lane.position = 0;
    for (int s = 0; s < 32; ++s) {
        lane.steps[s].value = 1.0f;
        lane.steps[s].gate = s % 4 != 1;
    }
    writeProgram(plugin, record);
}

} // namespace

TEST(ReliabilityTime, HostileTimeInformationGivesFiniteSound)
{
    int64_t block = 0;
    const std::vector<TimeCase> cases = {
        {"null", [](HostConfig& c) { c.provideTimeInfo = false; }, {}},
        {"only samplePos", {}, [](Transport& t) { t.setValidFlags(0); }},
        {"tempo 0", {}, [](Transport& t) { t.setTempo(0.0); }},
        {"tempo NaN",
         [](HostConfig& c) { c.editTimeInfo = [](VstTimeInfo& i) { i.tempo = kNaNd; }; },
         {}},
        {"tempo 1", {}, [](Transport& t) { t.setTempo(1.0); }},
        {"tempo 999", {}, [](Transport& t) { t.setTempo(999.0); }},
        {"tempo jitter",
         [&block](HostConfig& c) {
             c.editTimeInfo = [&block](VstTimeInfo& i) {
                 i.tempo = 120.0 + ((block++ % 3) - 1) * 1e-7;
             };
         },
         {}},
        {"pre-roll", {}, [](Transport& t) { t.locate(-7.3); }},
        {"stopped", {}, [](Transport& t) { t.setPlaying(false); }},
        {"loop", {}, [](Transport& t) { t.setCycle(true, 1.0, 2.5); }},
        {"garbage with flags",
         [](HostConfig& c) {
             c.editTimeInfo = [](VstTimeInfo& i) {
                 i.flags = -1;
                 i.ppqPos = std::numeric_limits<double>::infinity();
                 i.barStartPos = kNaNd;
                 i.cycleStartPos = -1e300;
                 i.cycleEndPos = kNaNd;
                 i.tempo = -120.0;
                 i.timeSigNumerator = -3;
                 i.timeSigDenominator = 0;
                 i.samplesToNextClock = -1;
                 i.sampleRate = 0.0;
             };
         },
         {}},
        {"huge positions",
         [](HostConfig& c) {
             c.editTimeInfo = [](VstTimeInfo& i) {
                 i.ppqPos = 1e300;
                 i.samplePos = -1e300;
                 i.tempo = 1e300;
             };
         },
         {}},
    };
    for (const TimeCase& tc : cases) {
        HostConfig config;
        if (tc.configure) {
            tc.configure(config);
        }
        auto plugin = loadPlugin(config);
        ASSERT_NE(plugin, nullptr);
        if (tc.transport) {
            tc.transport(plugin->transport());
        }
        plugin->start(44100.0f, 512);
        makeLanesMove(*plugin);
        const AudioChannels out = render(*plugin, noise(kSanitized ? 22050 : 88200, 8),
                                         {.blockSizes = hostLikeBlockSizes()});
        ASSERT_EQ(firstNonFinite(out), "") << tc.name;
        EXPECT_LT(peak(out), 32.0f) << tc.name;
        EXPECT_GT(peak(out), 0.01f) << tc.name << ": no sound";
    }
}

TEST(ReliabilityTime, LanesFollowALoopBackAndALocateForward)
{
    // 120 quarter notes per minute at 44.1 kHz: one measure is 88200 frames, 200 blocks of 441.
    const int32_t block = 441;
    const std::size_t measure = 88200;
    auto render4 = [&](Plugin& plugin, std::size_t frames) {
        return render(plugin, constant(frames, 0.5f), {.blockSizes = {block}});
    };

    auto plugin = loadPlugin();
    ASSERT_NE(plugin, nullptr);
    plugin->transport().setTempo(120.0);
    plugin->start(44100.0f, block);
    gatedSixteenths(*plugin);
    const AudioChannels first = render4(*plugin, 2 * measure); // measures 1 and 2
    ASSERT_EQ(firstNonFinite(first), "");
    // Loop back to the start of measure 2 and play it again.
    plugin->transport().locate(4.0);
    const AudioChannels again = render4(*plugin, measure);
    // Locate forward to the start of measure 26.
    plugin->transport().locate(100.0);
    const AudioChannels forward = render4(*plugin, measure);

    // Open or closed at each sample, after the first 1/16 (the VCA settles from wherever it
    // was). The gate level changes at the control tick, every 32 samples counted from the
    // first block, so an edge may land up to a tick away from where it landed before: allow
    // that much at each of the eight edges of a measure. A lane a step off would differ by
    // thousands of samples.
    const float half = 0.5f * peak(first);
    const std::size_t settle = measure / 16;
    int differAgain = 0, differForward = 0;
    for (std::size_t i = settle; i < measure; ++i) {
        const bool open = std::fabs(first[0][measure + i]) > half;
        differAgain += (std::fabs(again[0][i]) > half) != open ? 1 : 0;
        differForward += (std::fabs(forward[0][i]) > half) != open ? 1 : 0;
    }
    EXPECT_LE(differAgain, 8 * 40) << "the lane did not follow the loop back";
    EXPECT_LE(differForward, 8 * 40) << "the lane did not follow the locate";
    // And the lane did gate: the measure is not a steady level.
    float low = 1.0f, high = 0.0f;
    for (std::size_t i = settle; i < measure; ++i) {
        low = std::min(low, std::fabs(first[0][measure + i]));
        high = std::max(high, std::fabs(first[0][measure + i]));
    }
    EXPECT_GT(high - low, 0.1f);
}

namespace {

// Open (above half the peak) or closed at each sample of the left channel.
std::vector<bool> gateShape(const AudioChannels& out, float half)
{
    std::vector<bool> open(out[0].size());
    for (std::size_t i = 0; i < open.size(); ++i) {
        open[i] = std::fabs(out[0][i]) > half;
    }
    return open;
}

int differences(const std::vector<bool>& a, const std::vector<bool>& b, std::size_t from)
{
    int n = 0;
    for (std::size_t i = from; i < a.size() && i < b.size(); ++i) {
        n += a[i] != b[i] ? 1 : 0;
    }
    return n;
}

AudioChannels gatedRender(HostConfig config, const std::function<void(Transport&)>& setUp,
                          std::vector<int32_t> blocks, std::size_t frames)
{
    auto plugin = loadPlugin(std::move(config));
    EXPECT_NE(plugin, nullptr);
    if (!plugin) {
        return {};
    }
    plugin->transport().setTempo(120.0);
    if (setUp) {
        setUp(plugin->transport());
    }
    plugin->start(44100.0f, 1024);
    gatedSixteenths(*plugin);
    return render(*plugin, constant(frames, 0.5f), {.blockSizes = std::move(blocks)});
}

// The first sample of every stretch above `half` on the left channel.
std::vector<std::size_t> onsets(const AudioChannels& out, float half)
{
    std::vector<std::size_t> at;
    bool open = false;
    for (std::size_t i = 0; i < out[0].size(); ++i) {
        const bool now = std::fabs(out[0][i]) > half;
        if (now && !open) {
            at.push_back(i);
        }
        open = now;
    }
    return at;
}

// Lengths of the stretches above `half` that begin and end inside the render.
std::vector<std::size_t> openLengths(const AudioChannels& out, float half)
{
    std::vector<std::size_t> lengths;
    std::size_t from = 0;
    bool open = std::fabs(out[0][0]) > half, whole = false;
    for (std::size_t i = 1; i < out[0].size(); ++i) {
        const bool now = std::fabs(out[0][i]) > half;
        if (now && !open) {
            from = i;
            whole = true;
        } else if (!now && open && whole) {
            lengths.push_back(i - from);
        }
        open = now;
    }
    return lengths;
}

// A VCA lane of 1/16 steps, its value 1 and the given gates, opening the VCA for `gateTime` of
// each step with gate on, at full depth and the sharpest envelope: the output of a steady input
// shows where every step with gate on starts.
struct VcaLane
{
    int length = 4;
    std::uint32_t gates = 0xD; // bit s: gate of step s
    float gateTime = 0.5f;     // normalised "VCA Gate Time", the fraction of the step
    bool resetEachMeasure = false;
};
constexpr double kFramesPerQuarter = 22050.0; // 120 quarter notes per minute at 44.1 kHz

void writeVcaLane(Plugin& plugin, const VcaLane& shape)
{
    plugin.setParameter(kVcaSolo, 1.0f);
    ProgramRecord record = readProgram(plugin);
    record.values[kVcaAttack] = 0.0f;
    record.values[kVcaDecay] = 0.0f;
    record.values[kVcaDepth] = 1.0f;
    record.values[kVcaGateTime] = shape.gateTime;
    record.values[kVcaGateMod] = 0.5f; // no modulation
    record.values[kStepSizeParam[0]] = 4.3f / 9.0f;
    record.values[kLengthParam[0]] = (shape.length - 1 + 0.3f) / 31.0f;
    record.values[kDirectionParam[0]] = 0.0f;
    record.values[kResetInterval] = shape.resetEachMeasure ? 1.3f / 4.0f : 0.0f;
    SeqLane& lane = record.lanes[0];
    lane.stepSize = 4;
    lane.length = static_cast<int16_t>(shape.length);
    lane.direction = 0;
    lane.position = 0;
    for (int s = 0; s < 32; ++s) {
        lane.steps[s].value = 1.0f;
        lane.steps[s].gate = (shape.gates >> s) & 1u;
    }
    writeProgram(plugin, record);
}

struct ClockRun
{
    int num = 4, den = 4;
    double startPpq = 0.0;
    int32_t block = 512;
    // At this frame (a block start) the host jumps to `jumpTo`, or stops for `pauseFrames`.
    int64_t eventFrame = -1;
    double jumpTo = 0.0;
    int64_t pauseFrames = 0;
};

AudioChannels renderVcaLane(const VcaLane& shape, const ClockRun& run, std::size_t frames,
                            HostConfig config = {})
{
    auto plugin = loadPlugin(std::move(config));
    EXPECT_NE(plugin, nullptr);
    if (!plugin) {
        return AudioChannels(2, std::vector<float>(frames));
    }
    plugin->transport().setTempo(120.0);
    plugin->transport().setTimeSignature(run.num, run.den);
    plugin->transport().locate(run.startPpq);
    plugin->start(44100.0f, run.block);
    writeVcaLane(*plugin, shape);
    // A tenth of a second stopped first, so that the VCA has closed when play starts.
    plugin->transport().setPlaying(false);
    render(*plugin, constant(4410, 0.5f), {.blockSizes = {run.block}});
    plugin->transport().setPlaying(true);
    auto event = [&run](Plugin& p, int64_t first, int32_t) {
        if (first == run.eventFrame && run.pauseFrames > 0) {
            p.transport().setPlaying(false);
        } else if (first == run.eventFrame) {
            p.transport().locate(run.jumpTo);
        } else if (first == run.eventFrame + run.pauseFrames) {
            p.transport().setPlaying(true);
        }
    };
    return render(*plugin, constant(frames, 0.5f),
                  {.blockSizes = {run.block}, .beforeBlock = event});
}

// Where the steps with gate on should start, in frames from the first. Whenever play starts
// (and after a stop or a jump) the lane sounds the step it stands on at once, or restarts on a
// reset boundary; then it moves on at every 1/16 line the position crosses and restarts at
// every measure line.
std::vector<double> expectedOnsets(const VcaLane& shape, const ClockRun& run, std::size_t frames)
{
    const double measure = shape.resetEachMeasure ? run.num * 4.0 / run.den : 0.0;
    // Measure lines fall on 1/64 lines in every signature tested.
    auto onMeasureLine = [measure](double ppq) {
        return measure > 0.0 && std::fmod(std::fabs(std::floor(ppq * 16.0) / 16.0), measure) < 1e-9;
    };
    std::vector<double> at;
    int position = 0;
    // Plays frames [from, to) starting at position `ppq`; answers the position reached.
    auto play = [&](double from, double to, double ppq) {
        if (onMeasureLine(ppq)) {
            position = 0;
        }
        if ((shape.gates >> position) & 1u) {
            at.push_back(from);
        }
        // The measures tested are whole sixteenths long.
        for (double k = std::floor(ppq * 4.0) + 1.0;; k += 1.0) {
            const double frame = from + (k / 4.0 - ppq) * kFramesPerQuarter;
            if (frame >= to) {
                break;
            }
            position = onMeasureLine(k / 4.0) ? 0 : (position + 1) % shape.length;
            if ((shape.gates >> position) & 1u) {
                at.push_back(frame);
            }
        }
        return ppq + (to - from) / kFramesPerQuarter;
    };
    const auto end = static_cast<double>(frames);
    if (run.eventFrame < 0) {
        play(0.0, end, run.startPpq);
        return at;
    }
    const auto event = static_cast<double>(run.eventFrame);
    const double reached = play(0.0, event, run.startPpq);
    if (run.pauseFrames > 0) {
        play(event + static_cast<double>(run.pauseFrames), end, reached);
    } else {
        play(event, end, run.jumpTo);
    }
    return at;
}

// The onsets land where expectedOnsets says, all late by the same latency (the VCA's attack and
// the control tick) within `tolerance`.
void expectOnsetsAt(const AudioChannels& out, const std::vector<double>& want, double tolerance,
                    const std::string& what)
{
    ASSERT_EQ(firstNonFinite(out), "") << what;
    const std::vector<std::size_t> got = onsets(out, 0.5f * peak(out));
    ASSERT_EQ(got.size(), want.size()) << what;
    ASSERT_FALSE(got.empty()) << what;
    // The latency of the last onset, well into steady play.
    const double latency = static_cast<double>(got.back()) - want.back();
    EXPECT_GE(latency, 0.0) << what;
    EXPECT_LE(latency, 200.0) << what;
    for (std::size_t k = 0; k < got.size(); ++k) {
        EXPECT_NEAR(static_cast<double>(got[k]) - want[k], latency, tolerance)
            << what << ": onset " << k;
    }
}

std::string describe(const ClockRun& run)
{
    return std::to_string(run.num) + "/" + std::to_string(run.den) + " from ppq " +
           std::to_string(run.startPpq) + " in blocks of " + std::to_string(run.block) +
           (run.eventFrame < 0    ? ""
            : run.pauseFrames > 0 ? ", paused at " + std::to_string(run.eventFrame)
                                  : ", jumping to " + std::to_string(run.jumpTo));
}

// Steps where the lane's onsets in an unsplit, ppq-driven render are, within 64 samples.
void expectSameOnsets(const AudioChannels& want, const AudioChannels& got, const char* what)
{
    const float half = 0.5f * peak(want);
    const std::vector<std::size_t> a = onsets(want, half);
    const std::vector<std::size_t> b = onsets(got, half);
    ASSERT_EQ(a.size(), b.size()) << what;
    for (std::size_t k = 0; k < a.size(); ++k) {
        EXPECT_NEAR(static_cast<double>(b[k]), static_cast<double>(a[k]), 64.0)
            << what << ": onset " << k;
    }
}

} // namespace

TEST(ReliabilityTime, LanesFollowHostsThatReportOnlyTheSamplePosition)
{
    // Two measures; the lane gates on, off, on, on every 1/16.
    const std::size_t frames = 2 * 88200;
    const AudioChannels reference = gatedRender({}, {}, {441}, frames);
    const AudioChannels onlySamples = gatedRender(
        {}, [](Transport& t) { t.setValidFlags(0); }, {441}, frames);
    ASSERT_EQ(firstNonFinite(onlySamples), "");
    const float half = 0.5f * peak(reference);
    const std::vector<bool> want = gateShape(reference, half);
    const std::vector<bool> got = gateShape(onlySamples, half);
    // 32 edges in two measures, each allowed a control tick of difference.
    EXPECT_LE(differences(want, got, 5512), 32 * 40)
        << "without a valid ppq position the lanes do not follow the sample position";

    // Started in the middle of the song, with the tempo and signature flags kept: the sample
    // position alone says where the lanes are.
    auto midSong = [](Transport& t) {
        t.locate(6.3);
        t.setValidFlags(Transport::kDefaultValidFlags & ~kVstPpqPosValid);
    };
    expectSameOnsets(gatedRender(
                         {}, [](Transport& t) { t.locate(6.3); }, {441}, frames),
                     gatedRender({}, midSong, {441}, frames), "from ppq 6.3");
}

TEST(ReliabilityTime, SubBlocksWithHeldPpqLandStepsWhereAnUnsplitRenderDoes)
{
    const std::size_t frames = 2 * 88200;
    // Exact positions in blocks of 1024, against the same cycles in blocks of 256 whose ppq is
    // only updated at each cycle's start (samplePos stays exact).
    const AudioChannels whole = gatedRender({}, {}, {1024}, frames);
    const AudioChannels split = gatedRender(
        {}, [](Transport& t) { t.setPpqHeldFor(1024); }, {256}, frames);
    ASSERT_EQ(firstNonFinite(split), "");
    const float half = 0.5f * peak(whole);
    EXPECT_LE(differences(gateShape(whole, half), gateShape(split, half), 5512), 32 * 40)
        << "steps move with the held ppq instead of the sample position";
    expectSameOnsets(whole, split, "held ppq");
    // Cycles of 4096 frames in uneven sub-blocks.
    expectSameOnsets(gatedRender({}, {}, {4096}, frames),
                     gatedRender(
                         {}, [](Transport& t) { t.setPpqHeldFor(4096); }, {1000, 96, 3000}, frames),
                     "held ppq, uneven sub-blocks");

    // A host whose ppq is a sample or two off in every block plays on steadily: no block is
    // taken for a jump that would sound the current step again and hold the VCA open.
    HostConfig rounding;
    rounding.editTimeInfo = [](VstTimeInfo& i) { i.ppqPos = std::round(i.ppqPos * 1e4) / 1e4; };
    const VcaLane everyStep{.length = 4, .gates = 0xF, .gateTime = 0.5f};
    const ClockRun run{.block = 512};
    const AudioChannels rounded = renderVcaLane(everyStep, run, frames, std::move(rounding));
    expectOnsetsAt(rounded, expectedOnsets(everyStep, run, frames), 40.0, "rounded ppq");
    for (std::size_t length : openLengths(rounded, 0.5f * peak(rounded))) {
        EXPECT_NEAR(static_cast<double>(length), 2756.0, 200.0) << "rounded ppq";
    }
}

TEST(ReliabilityTime, SixteenthsKeepTheirPaceAndGateInEveryTimeSignature)
{
    // Tempo and position count quarter notes whatever the signature: a 1/16 step lasts 5512.5
    // frames at 120 and the VCA stays open for the same time in every signature; the reset
    // interval counts measures of num notes of value den.
    const std::pair<int, int> signatures[] = {{4, 4}, {6, 8}, {12, 8}, {2, 2},
                                              {3, 2}, {7, 8}, {5, 4}};
    const int32_t blocks[] = {64, 512, 2048};
    const std::size_t frames = kSanitized ? 66150 : 3 * 88200;
    const VcaLane everyStep{.length = 4, .gates = 0xF, .gateTime = 0.5f};
    const VcaLane firstOfMeasure{
        .length = 32, .gates = 0x1, .gateTime = 0.5f, .resetEachMeasure = true};
    std::size_t fourFourOpen = 0;
    for (auto [num, den] : signatures) {
        for (int32_t block : blocks) {
            const ClockRun run{.num = num, .den = den, .block = block};
            const AudioChannels out = renderVcaLane(everyStep, run, frames);
            expectOnsetsAt(out, expectedOnsets(everyStep, run, frames), 40.0, describe(run));
            const std::vector<std::size_t> onset = onsets(out, 0.5f * peak(out));
            ASSERT_GE(onset.size(), 3u);
            const double mean = static_cast<double>(onset.back() - onset.front()) /
                                static_cast<double>(onset.size() - 1);
            EXPECT_NEAR(mean, 5512.5, 2.0) << describe(run);

            const std::vector<std::size_t> open = openLengths(out, 0.5f * peak(out));
            ASSERT_GE(open.size(), 2u) << describe(run) << ": the VCA never closes";
            if (fourFourOpen == 0) {
                fourFourOpen = open[open.size() / 2];
                EXPECT_NEAR(static_cast<double>(fourFourOpen), 2756.0, 200.0);
            }
            for (std::size_t length : open) {
                EXPECT_NEAR(static_cast<double>(length), static_cast<double>(fourFourOpen), 40.0)
                    << describe(run);
            }

            const AudioChannels measures = renderVcaLane(firstOfMeasure, run, frames);
            expectOnsetsAt(measures, expectedOnsets(firstOfMeasure, run, frames), 40.0,
                           describe(run) + ", reset each measure");
        }
    }
}

TEST(ReliabilityTime, PlayStartsOnTheStepTheLanesStandOn)
{
    // The lane's step 0 sounds at once when play starts on the downbeat, in a count-in the
    // reset at the measure line lands where ppq reaches 0 (not a 1/64 before it), and from
    // the middle of a measure the step the lane stands on sounds at once.
    const VcaLane pattern{.length = 4, .gates = 0xD, .gateTime = 0.5f};
    const VcaLane patternWithReset{
        .length = 4, .gates = 0xD, .gateTime = 0.5f, .resetEachMeasure = true};
    const VcaLane firstOfMeasure{
        .length = 32, .gates = 0x1, .gateTime = 0.5f, .resetEachMeasure = true};
    struct StartCase
    {
        VcaLane shape;
        ClockRun run;
        double tolerance;
    };
    const StartCase cases[] = {
        {pattern, {.startPpq = 0.0, .block = 512}, 40.0},
        {pattern, {.startPpq = 0.0, .block = 64}, 40.0},
        {pattern, {.startPpq = 0.0, .block = 2048}, 40.0},
        {patternWithReset, {.startPpq = 0.0, .block = 512}, 40.0},
        {pattern, {.num = 6, .den = 8, .startPpq = 0.0, .block = 512}, 40.0},
        {firstOfMeasure, {.startPpq = -4.0, .block = 512}, 64.0},
        {firstOfMeasure, {.startPpq = -4.0, .block = 333}, 64.0},
        {firstOfMeasure, {.num = 7, .den = 8, .startPpq = -3.5, .block = 512}, 64.0},
        {pattern, {.startPpq = 2.3, .block = 512}, 40.0},
        {patternWithReset, {.startPpq = 2.3, .block = 512}, 40.0},
        {pattern, {.startPpq = -1.1, .block = 1000}, 40.0},
        // In the middle of play, on step 0 of the lane (gate on, the VCA closed again), a jump
        // to ppq 5.3 and a stop of a tenth of a second: the step sounds again at once. A jump
        // onto a measure line restarts the lanes there.
        {pattern, {.startPpq = 0.0, .block = 512, .eventFrame = 93 * 512, .jumpTo = 5.3}, 40.0},
        {firstOfMeasure, {.block = 512, .eventFrame = 93 * 512, .jumpTo = 8.01}, 40.0},
        {pattern, {.block = 512, .eventFrame = 93 * 512, .pauseFrames = 9 * 512}, 40.0},
    };
    const std::size_t frames = 2 * 88200;
    for (const StartCase& c : cases) {
        const AudioChannels out = renderVcaLane(c.shape, c.run, frames);
        const std::vector<double> want = expectedOnsets(c.shape, c.run, frames);
        expectOnsetsAt(out, want, c.tolerance, describe(c.run));
        // The first onset is the step the lane stands on, within the first control tick plus
        // the VCA's attack.
        const std::vector<std::size_t> got = onsets(out, 0.5f * peak(out));
        if (!got.empty() && want.front() == 0.0) {
            EXPECT_LT(got.front(), 32u + 200u) << describe(c.run);
        }
    }
}
