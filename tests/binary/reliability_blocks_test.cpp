// Block sizes, buffers and sample rates as hosts hand them over: every odd size and random
// sequences of them, blocks larger than announced, in-place buffers, and rates from 8 kHz to
// 384 kHz changed with and without a suspend.
#include "binary/reliability_support.h"

#include <algorithm>
#include <memory>
#include <string>
#include <vector>

using namespace morvek2::host;
using namespace reliability;
using binarytest::loadPlugin;

namespace {

constexpr int32_t kOddSizes[] = {0, 1, 2, 3, 17, 63, 64, 511, 1024, 4096, 8192};

AudioChannels renderMoving(const AudioChannels& input, std::vector<int32_t> blocks,
                           int32_t announced)
{
    auto plugin = loadPlugin(exactHost(120.0));
    EXPECT_NE(plugin, nullptr);
    if (!plugin) {
        return {};
    }
    plugin->start(44100.0f, announced);
    makeLanesMove(*plugin);
    return render(*plugin, input, {.blockSizes = std::move(blocks)});
}

} // namespace

TEST(ReliabilityBlocks, EveryOddSizeAndRandomSequencesMatchOneSteadySize)
{
    const std::size_t frames = kSanitized ? 40000 : 90000;
    const AudioChannels input = noise(frames, 21);
    // The host announced 512, then sends blocks of up to 8192.
    const AudioChannels reference = renderMoving(input, {64}, 512);
    ASSERT_EQ(firstNonFinite(reference), "");
    ASSERT_GT(peak(reference), 0.05f);

    std::vector<std::vector<int32_t>> sequences;
    sequences.emplace_back(std::begin(kOddSizes), std::end(kOddSizes));
    uint32_t seed = 99;
    for (int k = 0; k < 3; ++k) {
        std::vector<int32_t> sequence;
        for (int i = 0; i < 64; ++i) {
            seed = seed * 1664525u + 1013904223u;
            sequence.push_back(kOddSizes[(seed >> 16) % std::size(kOddSizes)]);
        }
        sequences.push_back(sequence);
    }
    for (int32_t size : {1, 3, 8192}) {
        sequences.push_back({size});
    }
    for (std::size_t k = 0; k < sequences.size(); ++k) {
        const AudioChannels out = renderMoving(input, sequences[k], 512);
        ASSERT_EQ(out.size(), 2u);
        for (int c = 0; c < 2; ++c) {
            const auto mismatch = std::mismatch(out[c].begin(), out[c].end(), reference[c].begin());
            EXPECT_EQ(mismatch.first, out[c].end())
                << "sequence " << k << " channel " << c << " differs first at frame "
                << (mismatch.first - out[c].begin());
        }
    }
}

TEST(ReliabilityBlocks, InPlaceBuffersAndUntouchedSeparateInputs)
{
    const int32_t frames = 300;
    const int blocks = kSanitized ? 60 : 200;
    auto separate = loadPlugin(exactHost(120.0));
    auto inPlace = loadPlugin(exactHost(120.0));
    ASSERT_NE(separate, nullptr);
    ASSERT_NE(inPlace, nullptr);
    for (Plugin* p : {separate.get(), inPlace.get()}) {
        p->start(44100.0f, frames);
        makeLanesMove(*p);
    }
    const AudioChannels input = noise(static_cast<std::size_t>(frames) * blocks, 31);
    for (int b = 0; b < blocks; ++b) {
        const std::size_t at = static_cast<std::size_t>(b) * frames;
        std::vector<float> l(input[0].begin() + at, input[0].begin() + at + frames);
        std::vector<float> r(input[1].begin() + at, input[1].begin() + at + frames);
        const std::vector<float> keptL = l, keptR = r;
        std::vector<float> ol(frames, 3.0f), orr(frames, 3.0f);
        float* in[2] = {l.data(), r.data()};
        float* out[2] = {ol.data(), orr.data()};
        separate->process(in, out, frames);
        ASSERT_EQ(l, keptL) << "left input written in block " << b;
        ASSERT_EQ(r, keptR) << "right input written in block " << b;

        // The same memory in and out.
        float* both[2] = {l.data(), r.data()};
        inPlace->process(both, both, frames);
        ASSERT_EQ(l, ol) << "left in place differs in block " << b;
        ASSERT_EQ(r, orr) << "right in place differs in block " << b;
    }
}

namespace {

// A program in which only the delay is heard: one echo of the input at the delay time.
void onlyTheEcho(Plugin& plugin)
{
    plugin.setParameter(kDelaySolo, 1.0f);
    plugin.setParameter(kDelayMode, 0.0f);
    plugin.setParameter(kDelayTime, 0.3f);
    plugin.setParameter(kDelayFeedback, 0.0f);
    plugin.setParameter(kDelaySend, 1.0f);
    plugin.setParameter(kActive, 1.0f);
    plugin.setParameter(kVcaDepth, 0.0f);
    ProgramRecord record = readProgram(plugin);
    for (SeqLane& lane : record.lanes) {
        for (int s = 0; s < 32; ++s) {
            lane.steps[s].value = 0.5f;
            lane.steps[s].gate = 1;
        }
    }
    writeProgram(plugin, record);
}

// Frame of the largest output after `skip` frames past the impulse at 0.
std::size_t echoAt(const AudioChannels& out, std::size_t skip)
{
    std::size_t best = skip;
    for (std::size_t i = skip; i < out[0].size(); ++i) {
        if (std::fabs(out[0][i]) > std::fabs(out[0][best])) {
            best = i;
        }
    }
    return best;
}

double echoMilliseconds(Plugin& plugin, float rate)
{
    const std::size_t frames = static_cast<std::size_t>(rate * 1.5f);
    const AudioChannels out = render(plugin, impulse(frames));
    EXPECT_EQ(firstNonFinite(out), "") << rate;
    EXPECT_LT(peak(out), 4.0f) << rate;
    // The direct impulse is gone within a millisecond; the echo is tens of milliseconds later.
    const std::size_t at = echoAt(out, static_cast<std::size_t>(rate * 0.005f));
    // The delay's own low-pass spreads the echo of one sample over more samples at higher
    // rates, so its peak is lower there.
    EXPECT_GT(std::fabs(out[0][at]), 0.02f) << "no echo at " << rate;
    return static_cast<double>(at) * 1000.0 / rate;
}

// The VCA alone, its lane gating on and off every 1/16 at 120 quarter notes per minute: the
// output of a steady input rises once per two steps, a quarter of a second.
void gatedSixteenths(Plugin& plugin)
{
    plugin.setParameter(kVcaSolo, 1.0f);
    plugin.setParameter(kVcaDepth, 1.0f);
    ProgramRecord record = readProgram(plugin);
    record.values[kStepSizeParam[0]] = 4.3f / 9.0f; // 1/16
    record.values[kLengthParam[0]] = 1.3f / 31.0f;  // two steps
    record.values[kDirectionParam[0]] = 0.0f;
    record.values[kResetInterval] = 0.0f;
    SeqLane& lane = record.lanes[0];
    lane.stepSize = 4;
    lane.length = 2;
    lane.direction = 0;
    for (int s = 0; s < 32; ++s) {
        lane.steps[s].value = 1.0f;
        lane.steps[s].gate = s % 2 == 0;
    }
    writeProgram(plugin, record);
}

// Median distance between rising crossings of half the peak, in seconds.
double gatePeriodSeconds(Plugin& plugin, float rate)
{
    const std::size_t frames = static_cast<std::size_t>(rate * 2.1f);
    const AudioChannels out = render(plugin, constant(frames, 0.5f));
    EXPECT_EQ(firstNonFinite(out), "") << rate;
    const float half = 0.5f * peak(out);
    std::vector<double> rises;
    for (std::size_t i = 1; i < frames; ++i) {
        if (std::fabs(out[0][i - 1]) < half && std::fabs(out[0][i]) >= half) {
            rises.push_back(static_cast<double>(i));
        }
    }
    std::vector<double> gaps;
    for (std::size_t i = 1; i < rises.size(); ++i) {
        gaps.push_back((rises[i] - rises[i - 1]) / rate);
    }
    if (gaps.size() < 4) {
        ADD_FAILURE() << "the gate does not open and close at " << rate;
        return 0.0;
    }
    std::nth_element(gaps.begin(), gaps.begin() + gaps.size() / 2, gaps.end());
    return gaps[gaps.size() / 2];
}

} // namespace

TEST(ReliabilitySampleRates, DelayTimeInMillisecondsAndStepLengthStayAtEveryRate)
{
    const float rates[] = {8000.0f, 22050.0f, 44100.0f, 96000.0f, 192000.0f, 384000.0f};
    double referenceMs = 0.0;
    for (float rate : rates) {
        // A fresh instance at the rate, and one that moved to it from another rate.
        for (int how = 0; how < 3; ++how) {
            auto plugin = loadPlugin();
            ASSERT_NE(plugin, nullptr);
            plugin->transport().setTempo(120.0);
            if (how == 0) {
                plugin->start(rate, 512);
            } else {
                plugin->start(rate == 44100.0f ? 96000.0f : 44100.0f, 512);
                render(*plugin, noise(4096, 5));
                if (how == 1) {
                    plugin->suspend();
                }
                // how == 2: the host changes the rate while running, without a suspend.
                plugin->setSampleRate(rate);
                plugin->transport().setSampleRate(rate);
                plugin->resume();
            }
            onlyTheEcho(*plugin);
            render(*plugin, constant(static_cast<std::size_t>(rate), 0.0f)); // settle, forget
            const double ms = echoMilliseconds(*plugin, rate);
            if (referenceMs == 0.0) {
                referenceMs = ms;
                EXPECT_GT(ms, 10.0);
            }
            // Within two samples of the lowest rate.
            EXPECT_NEAR(ms, referenceMs, 0.25) << "rate " << rate << " way " << how;
        }
    }
    for (float rate : rates) {
        for (int how = 0; how < 2; ++how) {
            auto plugin = loadPlugin();
            ASSERT_NE(plugin, nullptr);
            plugin->transport().setTempo(120.0);
            if (how == 0) {
                plugin->start(rate, 512);
            } else {
                plugin->start(rate == 44100.0f ? 8000.0f : 44100.0f, 512);
                render(*plugin, noise(2048, 6));
                plugin->setSampleRate(rate); // no suspend
                plugin->transport().setSampleRate(rate);
            }
            gatedSixteenths(*plugin);
            // The gate level moves at the control tick, every 32 samples.
            EXPECT_NEAR(gatePeriodSeconds(*plugin, rate), 0.25, 33.0 / rate)
                << "rate " << rate << " way " << how;
        }
    }
}

// Low feedback and a change of "Delay Time", one second of noise, two of silence: the echoes
// decay at their feedback's rate and nothing else rings on, so the last half second is below
// -120 dBFS and free of subnormal samples. (A whole-sample delay used to leave a tone at
// Nyquist for good: -27 dBFS at 8 kHz, -70 dBFS at 44.1 kHz and 150 quarter notes per minute.)
TEST(ReliabilitySampleRates, DelayTailIsSilentAfterATimeChange)
{
    for (float rate : {8000.0f, 16000.0f, 44100.0f, 96000.0f, 384000.0f}) {
        for (double tempo : {120.0, 150.0}) {
            auto plugin = loadPlugin();
            ASSERT_NE(plugin, nullptr);
            plugin->transport().setTempo(tempo);
            plugin->start(rate, 512);
            onlyTheEcho(*plugin);
            plugin->setParameter(kDelayFeedback, 0.05f);
            render(*plugin, noise(static_cast<std::size_t>(rate / 4), 81));
            plugin->setParameter(kDelayTime, 0.15f); // a quarter of a beat
            AudioChannels input = noise(static_cast<std::size_t>(rate * 3), 82);
            for (auto& channel : input) {
                std::fill(channel.begin() + static_cast<std::ptrdiff_t>(rate), channel.end(), 0.0f);
            }
            const AudioChannels out = render(*plugin, input);
            const std::size_t lastHalf = out[0].size() - static_cast<std::size_t>(rate / 2);
            ASSERT_EQ(firstNonFinite(out), "") << rate << " Hz " << tempo;
            EXPECT_LT(peak(out, lastHalf), 1e-6f) << rate << " Hz " << tempo << " bpm";
            EXPECT_EQ(countSubnormal(out, lastHalf), 0u) << rate << " Hz " << tempo << " bpm";
        }
    }
}

TEST(ReliabilitySampleRates, EveryFilterStaysStableAtExtremeRates)
{
    // Every filter type at its highest frequency and resonance, where a filter designed for
    // one rate goes unstable at another.
    for (float rate : {8000.0f, 384000.0f}) {
        for (int type = 0; type < 6; ++type) {
            auto plugin = loadPlugin();
            ASSERT_NE(plugin, nullptr);
            plugin->start(rate, 1024);
            plugin->setParameter(22, 1.0f); // Filter Solo
            plugin->setParameter(17, 1.0f); // Filter Freq
            plugin->setParameter(18, 1.0f); // Filter Res
            plugin->setParameter(20, 1.0f); // Filter Bite
            plugin->setParameter(19, (type + 0.3f) / 5.0f);
            AudioChannels input = noise(static_cast<std::size_t>(rate / 4), 41 + type);
            const AudioChannels loud = render(*plugin, input);
            const AudioChannels tail =
                render(*plugin, constant(static_cast<std::size_t>(rate / 2), 0.0f));
            ASSERT_EQ(firstNonFinite(loud), "") << rate << " type " << type;
            ASSERT_EQ(firstNonFinite(tail), "") << rate << " type " << type;
            EXPECT_LT(peak(loud), 64.0f) << rate << " type " << type;
            // Stable: the ringing dies away in silence.
            EXPECT_LT(peak(tail, tail[0].size() - tail[0].size() / 8), 1e-3f)
                << rate << " type " << type;
        }
    }
}

namespace {

// Only the filter is heard, last in the chain, with every lane's gate open, at the type and
// resonance given and the cutoff at `freq` (normalised).
std::unique_ptr<Plugin> filterAlone(float rate, int type, float res, float freq)
{
    auto plugin = loadPlugin();
    if (!plugin) {
        return plugin;
    }
    plugin->start(rate, 32);
    plugin->setParameter(kFilterSolo, 1.0f);
    plugin->setParameter(kVcaDepth, 0.0f);
    plugin->setParameter(kFilterType, (static_cast<float>(type) + 0.3f) / 5.0f);
    plugin->setParameter(kFilterRes, res);
    plugin->setParameter(kFilterFreq, freq);
    ProgramRecord record = readProgram(*plugin);
    const uint16_t order[6] = {0, 2, 3, 4, 5, 1};
    for (int m = 0; m < 6; ++m) {
        record.chainOrder[m] = order[m];
        for (int s = 0; s < 32; ++s) {
            record.lanes[m].steps[s].gate = 1;
        }
    }
    writeProgram(*plugin, record);
    return plugin;
}

} // namespace

// Automation or a lane that moves the cutoff at once, or at every 32 frames: every filter type
// rings out at its input's level. H is the highest peak the same filter reaches with its
// cutoff held anywhere in the range; a jump top to bottom or back may reach 4 H (or full scale
// twice over) in the half second after it, random cutoffs every 32 frames 6 H, and nothing is
// ever non-finite. (Direct-form biquads reached +46 dB after one jump and infinity with random
// cutoffs.)
TEST(ReliabilitySampleRates, FilterCutoffJumpsAndRandomCutoffsStayNearTheHeldLevel)
{
    for (float rate : {44100.0f, 96000.0f}) {
        const auto frames = [rate](double seconds) {
            return static_cast<std::size_t>(rate * seconds);
        };
        for (int type = 0; type < 6; ++type) {
            for (float res : {0.0f, 0.5f, 1.0f}) {
                const std::string what = std::to_string(static_cast<int>(rate)) + " Hz type " +
                                         std::to_string(type) + " res " + std::to_string(res);
                float held = 0.0f;
                for (int k = 0; k <= 10; ++k) {
                    auto plugin = filterAlone(rate, type, res, static_cast<float>(k) / 10.0f);
                    ASSERT_NE(plugin, nullptr);
                    const AudioChannels out = render(*plugin, noise(frames(0.4), 60 + k));
                    ASSERT_EQ(firstNonFinite(out), "") << what;
                    held = std::max(held, peak(out));
                }
                const float jumpBound = std::max(2.0f, 4.0f * held);
                const float randomBound = std::max(2.0f, 6.0f * held);

                auto plugin = filterAlone(rate, type, res, 1.0f);
                ASSERT_NE(plugin, nullptr);
                render(*plugin, noise(frames(0.5), 71));
                for (float to : {0.0f, 1.0f}) {
                    plugin->setParameter(kFilterFreq, to);
                    const AudioChannels out = render(*plugin, noise(frames(0.5), 72));
                    ASSERT_EQ(firstNonFinite(out), "") << what << " jump to " << to;
                    EXPECT_LE(peak(out), jumpBound) << what << " jump to " << to << ", H " << held;
                }

                uint32_t seed = 17u + static_cast<uint32_t>(type);
                RenderOptions options;
                options.blockSizes = {32};
                options.beforeBlock = [&seed](Plugin& p, int64_t, int32_t) {
                    seed = seed * 1664525u + 1013904223u;
                    p.setParameter(kFilterFreq, static_cast<float>(seed >> 8) / 16777216.0f);
                };
                const AudioChannels out = render(*plugin, noise(frames(5.0), 73), options);
                ASSERT_EQ(firstNonFinite(out), "") << what << " random cutoffs";
                EXPECT_LE(peak(out), randomBound) << what << " random cutoffs, H " << held;
            }
        }
    }
}
