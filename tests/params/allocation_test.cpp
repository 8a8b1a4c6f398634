// Counts heap allocations of this test binary to prove the value and display paths are
// allocation-free once the manager is built.

#include "params/Morvek2ParameterManager.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>

namespace {
std::atomic<long> gAllocations{0};

// Out of line so the compiler does not pair a visible new with this free and warn.
[[gnu::noinline]] void release(void* p) noexcept
{
    std::free(p);
}
} // namespace

void* operator new(std::size_t size)
{
    gAllocations.fetch_add(1, std::memory_order_relaxed);
    if (void* p = std::malloc(size ? size : 1))
        return p;
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept
{
    release(p);
}

void operator delete(void* p, std::size_t) noexcept
{
    release(p);
}

TEST(ParamAllocation, ValuePathsDoNotAllocateAfterConstruction)
{
    Morvek2ParameterManager m;
    const long before = gAllocations.load();
    float sink = 0.0f;
    char buf[32];
    for (int round = 0; round < 3; ++round) {
        for (int i = -2; i < 95; ++i) {
            const float v = 0.1f + 0.3f * static_cast<float>(round);
            m.setValue(i, v);
            m.setWorkingValue(i, m.getWorkingValue(i));
            sink += m.getValue(i) + m.getWorkingValue(i) + m.getEngineValue(i) +
                    m.getModulatedValue(i, 0.3f);
            m.getDisplay(i, buf, 8);
            m.getName(i, buf, 8);
            m.getLabel(i, buf, 8);
        }
        m.setValue(46, 0.5f * static_cast<float>(round)); // Delay Mode changes sync
        m.setDelayTimeBase(400.0f);
    }
    EXPECT_EQ(gAllocations.load() - before, 0);
    EXPECT_TRUE(sink == sink);

    // The counter itself works: an editor-side call that allocates is seen.
    const long beforeList = gAllocations.load();
    EXPECT_EQ(m.getValueList(200).size(), 10u);
    EXPECT_GT(gAllocations.load() - beforeList, 0);
}
