// The audio thread processes while two other threads change everything a host and an editor can
// change. Under ThreadSanitizer this shows every shared value is an atomic; in any build the
// sound must stay finite and the process must not crash.
#include "sound_rig.h"

#include "support/alloc_counter.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstddef>
#include <random>
#include <thread>
#include <vector>

using namespace soundtest;

namespace {

// True when the smoother's coefficients are the ones its times give at its update interval and
// rate.
bool computedForItsRate(const zksp_smoother_lag_processor& s, bool release)
{
    const int n = s.getUpdateInterval();
    const float r = s.getCoefficientRate();
    return s.getAttackCoefficient() == zksp_smoother::coefficientFor(s.getAttackTime(), n, r) &&
           (!release ||
            s.getReleaseCoefficient() == zksp_smoother::coefficientFor(s.getReleaseTime(), n, r));
}
// Where threads cost many times what they cost natively (ThreadSanitizer; wine, where every
// barrier and allocation goes through its server), the stress loops stop at a time budget.
#if defined(__SANITIZE_THREAD__)
constexpr auto kStressBudget = std::chrono::seconds(3);
#elif defined(_WIN32)
constexpr auto kStressBudget = std::chrono::seconds(10);
#else
constexpr auto kStressBudget = std::chrono::seconds(600);
#endif
} // namespace

TEST(Morvek2Stress, ProcessingWhileTwoThreadsChangeParametersOrderAndLanes)
{
    Rig rig;
    rig.host.logAutomation = false;
    rig.setWorking(kResetInterval, 1.0f);
    rig.tempo = 400.0; // many steps and resets in little time
    std::atomic<bool> stop{false};

    auto hammer = [&](unsigned seed) {
        std::mt19937 random(seed);
        std::uniform_int_distribution<int> index(-3, 95);
        std::uniform_real_distribution<float> value(-0.1f, 1.1f);
        std::uint16_t order[6] = {0, 1, 2, 3, 4, 5};
        SeqLane snapshot{};
        for (unsigned n = 0; !stop.load(std::memory_order_relaxed); ++n) {
            rig.plugin.setParameter(index(random), value(random));
            switch (n % 8) {
            case 0:
                std::shuffle(order, order + 6, random);
                if (n % 64 == 0) {
                    order[0] = order[1]; // not a permutation: refused
                }
                rig.plugin.setChainOrder(order);
                break;
            case 1:
                rig.plugin.runLaneCommand(static_cast<int>(random() % 6),
                                          static_cast<seq::LaneCommand>(random() % 4));
                break;
            case 2:
                rig.plugin.setStepValue(static_cast<int>(random() % 6),
                                        static_cast<int>(random() % 34) - 1, value(random));
                break;
            case 3:
                rig.plugin.setStepGate(static_cast<int>(random() % 6),
                                       static_cast<int>(random() % 32), random() % 2);
                break;
            case 4:
                rig.plugin.laneSnapshot(static_cast<int>(random() % 6), snapshot);
                rig.plugin.stepMoved.store(0, std::memory_order_relaxed);
                break;
            case 5:
                rig.plugin.setStepValueLock(static_cast<int>(random() % 6),
                                            static_cast<int>(random() % 32), random() % 2);
                break;
            default:
                break;
            }
        }
    };
    std::thread first(hammer, 1u);
    std::thread second(hammer, 2u);

    std::vector<float> l(512), r(512);
    float* io[2] = {l.data(), r.data()};
    bool finite = true;
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(3);
    int blocks = 0;
    while (std::chrono::steady_clock::now() < end) {
        const std::vector<float> a = noise(512, static_cast<std::uint32_t>(blocks));
        const std::vector<float> b = noise(512, static_cast<std::uint32_t>(blocks) + 99u);
        std::copy(a.begin(), a.end(), l.begin());
        std::copy(b.begin(), b.end(), r.begin());
        rig.block(io, io, blocks % 3 == 0 ? 511 : 64);
        for (int i = 0; i < 512; ++i) {
            finite = finite && std::isfinite(l[i]) && std::isfinite(r[i]);
        }
        ++blocks;
    }
    stop.store(true);
    first.join();
    second.join();
    EXPECT_TRUE(finite);
    EXPECT_GT(blocks, 10);
    for (int m = 0; m < 6; ++m) {
        const SeqLane& lane = rig.plugin.getLane(m);
        EXPECT_GE(lane.position, 0);
        EXPECT_LT(lane.position, 32);
        EXPECT_TRUE(lane.length >= 1 && lane.length <= 32);
    }
    // Whatever order the threads left, it is a permutation.
    unsigned seen = 0;
    for (int i = 0; i < 6; ++i) {
        seen |= 1u << rig.plugin.getChainSlot(i);
    }
    EXPECT_EQ(seen, 63u);
}

// A host that changes the rate, or suspends, while its audio thread keeps processing: the delay
// memory is replaced and the engines are reset only where the audio thread has let go of them,
// the audio thread allocates nothing for it, and the last rate asked for is the one in force.
TEST(Morvek2Stress, RateChangesAndSuspendsFromAnotherThreadWhileProcessing)
{
    Rig rig;
    rig.host.logAutomation = false;
    rig.set(kDelaySend, 1.0f);
    rig.set(kDelayFeedback, 0.7f);
    // Under the thread sanitizer each change (1.2 MB made and zeroed) is slow: it stops early.
    const auto deadline = std::chrono::steady_clock::now() + kStressBudget;
    constexpr int kChanges = 2000;
    std::atomic<int> done{0};
    std::thread host([&] {
        for (int i = 1; i <= kChanges; ++i) {
            // Odd changes to 48 kHz, even ones (and the last) back to 44.1 kHz.
            const bool last =
                i == kChanges || (i % 2 == 0 && std::chrono::steady_clock::now() > deadline);
            rig.plugin.setSampleRate(i % 2 ? 48000.0f : 44100.0f);
            if (i % 16 == 0) {
                rig.plugin.suspend();
            }
            if (last) {
                break;
            }
            if (i % 8 == 0) {
                std::this_thread::yield();
            }
        }
        done.store(1, std::memory_order_relaxed);
    });

    std::vector<float> l(256), r(256);
    float* io[2] = {l.data(), r.data()};
    bool finite = true;
    int blocks = 0;
    std::size_t allocations = 0;
    {
        const morvek2::test::AllocationScope scope;
        while (done.load(std::memory_order_relaxed) == 0) {
            for (int i = 0; i < 256; ++i) {
                l[i] = (i % 7 == 0) ? 0.5f : -0.25f;
                r[i] = -l[i];
            }
            rig.block(io, io, blocks % 2 ? 256 : 48);
            for (int i = 0; i < 256; ++i) {
                finite = finite && std::isfinite(l[i]) && std::isfinite(r[i]);
            }
            ++blocks;
        }
        allocations = scope.count();
    }
    host.join();
    rig.block(io, io, 64); // takes whatever the last change left pending
    EXPECT_TRUE(finite);
    EXPECT_EQ(allocations, 0u) << "over " << blocks << " blocks";
    // The last change asked for 44.1 kHz: both lines are back at their first length (plus the
    // four samples of headroom every rate change gives).
    EXPECT_EQ(rig.plugin.getSampleRate(), 44100.0f);
    for (const CDelayEngine& e : rig.plugin.delayEngines) {
        EXPECT_EQ(e.getDelayLine().getSize(), 144004);
        EXPECT_EQ(e.getDelayLine().getSampleRate(), rig.plugin.getSampleRate());
    }
}

// "Delay Mode" switched from another thread while the loop writes the beat length of Delay mode:
// once in Chorus or Flange, the base is their range, whatever the loop did in between.
TEST(Morvek2Stress, DelayModeSwitchesWhileProcessingLeaveTheRightBase)
{
    Rig rig;
    rig.host.logAutomation = false;
    std::atomic<bool> stop{false};
    std::atomic<long> blocks{0};
    std::thread audio([&] {
        std::vector<float> l(32, 0.1f), r(32, 0.1f);
        float* io[2] = {l.data(), r.data()};
        while (!stop.load(std::memory_order_relaxed)) {
            rig.block(io, io, 32);
            blocks.fetch_add(1, std::memory_order_relaxed);
        }
    });
    Morvek2ParameterManager& pm = rig.plugin.getParameterManager();
    int stale = 0;
    float lastWrong = 0.0f;
    // 20,000 switches; under the thread sanitizer as many as fit in its time budget.
    const auto deadline = std::chrono::steady_clock::now() + kStressBudget;
    for (int i = 0; i < 10000 && std::chrono::steady_clock::now() < deadline; ++i) {
        rig.plugin.setParameter(kDelayMode, 0.0f); // Delay: the loop writes 60000 / tempo
        const bool chorus = i % 2 == 0;
        rig.plugin.setParameter(kDelayMode, chorus ? 0.5f : 1.0f);
        // Let the loop run a block past the switch.
        const long seen = blocks.load(std::memory_order_relaxed);
        while (blocks.load(std::memory_order_relaxed) < seen + 2) {
        }
        const float base = pm.getDelayTimeBase();
        if (base != (chorus ? 50.0f : 10.0f)) {
            ++stale;
            lastWrong = base;
        }
    }
    stop.store(true);
    audio.join();
    EXPECT_EQ(stale, 0) << "last wrong base " << lastWrong;
    rig.plugin.setParameter(kDelayMode, 0.0f);
    std::vector<float> l(32), r(32);
    float* io[2] = {l.data(), r.data()};
    rig.block(io, io, 32);
    EXPECT_EQ(pm.getDelayTimeBase(), 500.0f) << "120 bpm";
}

// Two threads restore chunks while two others read them and the audio thread plays with a reset
// every bar: every chunk read is one of those set, whole (chain orders straight and reversed
// show a torn order). Only the lanes' play positions may differ: the audio thread writes them
// into the record at each reset (random direction moves them). No Solo and no re-roll at resets,
// which change the record by design. Each reader checks the buffer it was handed, so a refill
// by the other reader's call shows too.
TEST(Morvek2Stress, ChunksRestoredFromTwoThreadsWhileTwoOthersReadThemStayWhole)
{
    using Image = std::vector<std::uint8_t>;
    Rig rig;
    rig.host.logAutomation = false;
    rig.tempo = 400.0;
    auto take = [&](bool preset) {
        void* data = nullptr;
        const VstInt32 size = rig.plugin.getChunk(&data, preset);
        return Image(static_cast<std::uint8_t*>(data), static_cast<std::uint8_t*>(data) + size);
    };
    auto withoutPositions = [](Image image) {
        for (std::size_t r = 0; r < image.size(); r += sizeof(ProgramRecord)) {
            for (std::size_t m = 0; m < 6; ++m) {
                const std::size_t at = r + offsetof(ProgramRecord, lanes) + m * sizeof(SeqLane);
                image[at] = image[at + 1] = 0;
            }
        }
        return image;
    };
    std::vector<Image> programs;
    for (int k = 1; k <= 4; ++k) {
        rig.plugin.setProgram(k);
        for (int m = 0; m < 6; ++m) {
            rig.set(kSoloParam[m], 0.0f);
            rig.set(kRstRandParam[m], 0.0f);
            rig.set(kGateRstRandParam[m], 0.0f);
            rig.setWorking(kDirectionParam[m], 2.0f);
        }
        rig.setWorking(kResetInterval, 1.0f);
        std::uint16_t order[6] = {0, 1, 2, 3, 4, 5};
        if (k % 2 == 0) {
            std::reverse(order, order + 6);
        }
        ASSERT_TRUE(rig.plugin.setChainOrder(order));
        programs.push_back(take(true));
    }
    // Program 4 is current: bank B holds program 1 there.
    const Image bankA = take(false);
    Image bankB = bankA;
    std::rotate(bankB.begin(), bankB.begin() + 37 * sizeof(ProgramRecord), bankB.end());

    auto phase = [&](bool preset, std::vector<Image> chunks, long wantedReads) {
        std::vector<Image> expected; // what each chunk leaves when set alone
        for (Image& chunk : chunks) {
            rig.plugin.setChunk(chunk.data(), static_cast<VstInt32>(chunk.size()), preset);
            expected.push_back(withoutPositions(take(preset)));
        }
        std::atomic<bool> stop{false};
        std::atomic<long> reads{0}, foreign{0};
        std::vector<std::thread> threads;
        for (std::size_t w = 0; w < 2; ++w) {
            threads.emplace_back([&, w, chunks]() mutable {
                for (std::size_t n = w; !stop.load(); ++n) {
                    Image& chunk = chunks[n % chunks.size()];
                    rig.plugin.setChunk(chunk.data(), static_cast<VstInt32>(chunk.size()), preset);
                }
            });
            threads.emplace_back([&] {
                for (; !stop.load(); ++reads) {
                    const Image image = withoutPositions(take(preset));
                    foreign += std::count(expected.begin(), expected.end(), image) == 0;
                }
            });
        }
        std::vector<float> l(128), r(128);
        float* io[2] = {l.data(), r.data()};
        const auto deadline = std::chrono::steady_clock::now() + kStressBudget;
        while (reads.load() < wantedReads && std::chrono::steady_clock::now() < deadline) {
            rig.block(io, io, 128);
        }
        stop.store(true);
        for (std::thread& t : threads) {
            t.join();
        }
        EXPECT_EQ(foreign.load(), 0) << "of " << reads.load() << (preset ? " programs" : " banks");
    };
    phase(true, programs, 70000);
    phase(false, {bankA, bankB}, 30000);
}

// The rate a host sets while processing lands at a block start on the audio thread, while the
// host's other thread sets parameters, programs and chunks whose smoother times are computed
// from the rate: no value crosses the threads unguarded, and once the changes stop every smoother
// runs with coefficients for the rate in force.
TEST(Morvek2Stress, RateChangesLandWhileAnotherThreadSetsParametersProgramsAndChunks)
{
    Rig rig;
    rig.host.logAutomation = false;
    void* data = nullptr;
    const VstInt32 size = rig.plugin.getChunk(&data, true);
    ASSERT_GT(size, 0);
    const std::vector<std::uint8_t> chunk(static_cast<const std::uint8_t*>(data),
                                          static_cast<const std::uint8_t*>(data) + size);
    std::atomic<bool> stop{false};
    std::thread audio([&] {
        std::vector<float> l(32, 0.25f), r(32, -0.25f);
        float* io[2] = {l.data(), r.data()};
        while (!stop.load(std::memory_order_relaxed)) {
            rig.block(io, io, 32);
        }
    });
    std::thread ui([&] {
        std::vector<std::uint8_t> copy;
        for (unsigned n = 0; !stop.load(std::memory_order_relaxed); ++n) {
            const float v = static_cast<float>(n % 97) / 96.0f;
            rig.plugin.setParameter(kSmoothingParam[n % 6], v);
            rig.plugin.setParameter(n % 2 ? kVcaAttack : kVcaDecay, 1.0f - v);
            if (n % 64 == 0) {
                rig.plugin.setProgram(static_cast<VstInt32>(n / 64 % 40));
            } else if (n % 64 == 32) {
                copy = chunk;
                rig.plugin.setChunk(copy.data(), size, true);
            }
        }
    });
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    for (int i = 1; std::chrono::steady_clock::now() < deadline; ++i) {
        rig.plugin.setSampleRate(i % 2 ? 48000.0f : 44100.0f);
        std::this_thread::sleep_for(std::chrono::microseconds(200));
    }
    stop.store(true);
    audio.join();
    ui.join();
    rig.silence(32); // takes whatever change is still pending
    const float rate = rig.plugin.getSampleRate();
    for (int m = 0; m < 6; ++m) {
        EXPECT_EQ(rig.plugin.valueSmoothers[m].getCoefficientRate(), rate) << m;
        EXPECT_TRUE(computedForItsRate(rig.plugin.valueSmoothers[m], false)) << m;
        EXPECT_TRUE(computedForItsRate(rig.plugin.gateSmoothers[m], false)) << m;
    }
    for (const CVCAEngine& e : rig.plugin.vcaEngines) {
        EXPECT_EQ(e.getEnvelope().getCoefficientRate(), rate);
        EXPECT_TRUE(computedForItsRate(e.getEnvelope(), true));
    }
}

// Two threads set different rates at once (one reconfigures, the other restores a session), then
// the host sets the rate of one of them again: the module runs at that rate every time, whatever
// order the two calls took. The high rate's longer preparation lets the low one overtake it.
TEST(Morvek2Stress, AfterTwoThreadsSetRatesAtOnceTheFinalRateIsTheOneInForce)
{
    Rig rig;
    rig.host.logAutomation = false;
    constexpr int kRounds = 5000;
    constexpr float kHigh = 96000.0f;
    constexpr float kLow = 8000.0f;
    // Rounds handed out through two counters rather than std::barrier, whose waits never wake
    // under wine with the mingw-w64 runtime.
    std::atomic<int> round{0};
    std::atomic<int> finished{0};
    std::atomic<bool> quit{false};
    auto setter = [&](float rate) {
        for (int seen = 0;; ++seen) {
            while (round.load(std::memory_order_acquire) == seen &&
                   !quit.load(std::memory_order_acquire)) {
                std::this_thread::yield();
            }
            if (quit.load(std::memory_order_acquire)) {
                return;
            }
            rig.plugin.setSampleRate(rate);
            finished.fetch_add(1, std::memory_order_acq_rel);
        }
    };
    std::thread high(setter, kHigh);
    std::thread low(setter, kLow);
    const auto deadline = std::chrono::steady_clock::now() + kStressBudget;
    int rounds = 0;
    int wrong = 0;
    for (; rounds < kRounds && std::chrono::steady_clock::now() < deadline; ++rounds) {
        finished.store(0, std::memory_order_relaxed);
        round.store(rounds + 1, std::memory_order_release); // both setters go at once
        while (finished.load(std::memory_order_acquire) < 2) {
            std::this_thread::yield();
        }
        rig.plugin.setSampleRate(kLow);
        rig.silence(16);
        if (rig.plugin.getSampleRate() != kLow ||
            rig.plugin.delayEngines[0].getDelayLine().getSampleRate() != kLow) {
            ++wrong;
        }
    }
    quit.store(true, std::memory_order_release);
    high.join();
    low.join();
    EXPECT_EQ(wrong, 0) << "of " << rounds << " rounds";
    EXPECT_GT(rounds, 0);
}
