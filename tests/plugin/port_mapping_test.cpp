// Plain port values and back: every normalised value a parameter holds by default or in a factory
// program lands on the same float bits after a trip through the plain value, also when that plain
// value is written as %.9g text (an LV2 preset) and read back.
#include "params/Morvek2ParameterManager.h"
#include "params/PortMapping.h"
#include "plugin/Morvek2Core.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <set>

using morvek2::PortKind;

namespace {

// One value through the port and back, as a host and a preset file carry it.
void expectRoundTrip(const morvek2::PortMapping& map, Morvek2ParameterManager& params, int index,
                     float n, const char* where, std::set<int>& offGrid)
{
    const morvek2::PortForm& form = map.form(index);
    const float plain = map.toPlain(index, n);
    ASSERT_GE(plain, form.minimum) << where << " parameter " << index;
    ASSERT_LE(plain, form.maximum) << where << " parameter " << index;
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", plain);
    const float parsed = std::strtof(text, nullptr);
    const float back = map.toNormalised(index, parsed);
    const bool onGrid = form.kind == PortKind::kContinuous || form.kind == PortKind::kToggle ||
                        params.workingToNormalised(index, plain) == n;
    if (onGrid) {
        EXPECT_EQ(std::bit_cast<std::uint32_t>(back), std::bit_cast<std::uint32_t>(n))
            << where << " parameter " << index << ": " << n << " -> " << text << " -> " << back;
    } else {
        // A list entry stored off its grid point (0.4444 for the fifth step size): the port
        // can only say which entry, and the entry stays the same.
        offGrid.insert(index);
        EXPECT_EQ(map.toPlain(index, back), plain) << where << " parameter " << index;
    }
}

} // namespace

TEST(PortMapping, DefaultsAndFactoryValuesSurviveThePlainValueBitForBit)
{
    std::set<int> offGrid;
    {
        Morvek2ParameterManager params;
        const morvek2::PortMapping map(params);
        for (int i = 0; i < morvek2::PortMapping::kNumParams; ++i)
            expectRoundTrip(map, params, i, params.getValue(i), "table default", offGrid);
    }
    auto plugin = std::make_unique<Morvek2Core>();
    Morvek2ParameterManager& params = plugin->getParameterManager();
    const morvek2::PortMapping map(params);
    for (int k = 0; k < Morvek2Core::kNumPrograms; ++k) {
        plugin->setProgram(k);
        const std::string where = "program " + std::to_string(k);
        for (int i = 0; i < morvek2::PortMapping::kNumParams; ++i)
            expectRoundTrip(map, params, i, plugin->getParameter(i), where.c_str(), offGrid);
    }
    // Only step sizes are stored off their grid points in the factory bank.
    for (int index : offGrid)
        EXPECT_GE(morvek2::param::moduleOf(morvek2::param::kStepSizeParam, index), 0) << index;
}
