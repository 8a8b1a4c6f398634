// Time information as real hosts report it: missing, partial, with odd tempi, jitter, pre-roll,
// loops and locates, a stopped transport, and validity flags over garbage fields.
#include "binary/reliability_support.h"

#include <functional>
#include <limits>
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

} // namespace

// Not run yet: the clock takes the host's ppq position as given in every block and does not
// consult its validity flag, so hosts that report only the sample position, or hold ppq across
// sub-blocks, do not move the lanes as an unsplit render does. Deriving the position from
// samplePos in those cases is open work; run with --gtest_also_run_disabled_tests to see it.
TEST(ReliabilityTime, DISABLED_LanesFollowHostsThatReportOnlyTheSamplePosition)
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
}

// Not run yet: the clock takes the host's ppq position as given in every block and does not
// consult its validity flag, so hosts that report only the sample position, or hold ppq across
// sub-blocks, do not move the lanes as an unsplit render does. Deriving the position from
// samplePos in those cases is open work; run with --gtest_also_run_disabled_tests to see it.
TEST(ReliabilityTime, DISABLED_SubBlocksWithHeldPpqLandStepsWhereAnUnsplitRenderDoes)
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
}
