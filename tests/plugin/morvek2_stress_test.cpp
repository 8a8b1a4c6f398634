// The audio thread processes while two other threads change everything a host and an editor can
// change. Under ThreadSanitizer this shows every shared value is an atomic; in any build the
// sound must stay finite and the process must not crash.
#include "sound_rig.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <random>
#include <thread>

using namespace soundtest;

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
