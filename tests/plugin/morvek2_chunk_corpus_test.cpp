// The chunk fuzzer's fixed corpus in the normal suite: every file of tests/plugin/chunk_corpus
// and deterministic mutations of it go through setChunk and processing on one instance, as the
// libFuzzer target does (tools/chunkfuzz).
#include "tools/chunkfuzz/chunk_feed.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <vector>

namespace {

namespace fs = std::filesystem;

std::vector<std::vector<std::uint8_t>> corpus()
{
    std::vector<fs::path> files;
    for (const auto& entry :
         fs::directory_iterator(fs::path(MORVEK2_PLUGIN_TEST_DIR) / "chunk_corpus")) {
        files.push_back(entry.path());
    }
    std::sort(files.begin(), files.end());
    std::vector<std::vector<std::uint8_t>> inputs;
    for (const fs::path& f : files) {
        std::ifstream in(f, std::ios::binary);
        inputs.emplace_back(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    }
    return inputs;
}

// Byte flips, overwrites with edge values, cuts and repeats, from a fixed seed.
std::vector<std::uint8_t> mutate(std::vector<std::uint8_t> input, std::uint32_t& seed)
{
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    static const std::uint8_t kEdges[] = {0x00, 0x01, 0x7F, 0x80, 0xFF, 0xC0, 0x7F};
    const int edits = 1 + static_cast<int>(next() % 8);
    for (int e = 0; e < edits && !input.empty(); ++e) {
        const std::size_t at = next() % input.size();
        switch (next() % 4) {
        case 0:
            input[at] ^= static_cast<std::uint8_t>(1u << (next() % 8));
            break;
        case 1:
            input[at] = kEdges[next() % std::size(kEdges)];
            break;
        case 2:
            input.resize(at + 1);
            break;
        default:
            input.insert(input.end(), input.begin(), input.begin() + static_cast<long>(at));
            break;
        }
    }
    return input;
}

} // namespace

TEST(Morvek2ChunkCorpus, EveryCorpusFileAndItsMutationsLeaveASafePlugin)
{
    const auto inputs = corpus();
    ASSERT_GE(inputs.size(), 10u);
    auto plugin = std::make_unique<Morvek2>(chunkfeed::host);
    std::uint32_t seed = 2024;
    int fed = 0;
    for (std::size_t i = 0; i < inputs.size(); ++i) {
        ASSERT_TRUE(chunkfeed::feed(*plugin, inputs[i].data(), inputs[i].size())) << "file " << i;
        ++fed;
        for (int m = 0; m < 40; ++m) {
            const std::vector<std::uint8_t> mutated = mutate(inputs[i], seed);
            ASSERT_TRUE(chunkfeed::feed(*plugin, mutated.data(), mutated.size()))
                << "file " << i << " mutation " << m;
            ++fed;
        }
    }
    EXPECT_EQ(fed, static_cast<int>(inputs.size()) * 41);
}
