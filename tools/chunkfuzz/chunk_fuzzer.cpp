// libFuzzer target: random and mutated program and bank chunks into Morvek2::setChunk, then
// processing. Any broken promise aborts, so the fuzzer keeps the input.
//
//   cmake -DMORVEK2_FUZZ=ON -DCMAKE_CXX_COMPILER=clang++ ...; morvek2_chunk_fuzzer CORPUS_DIR
#include "tools/chunkfuzz/chunk_feed.h"

#include <cstdlib>
#include <memory>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // One instance for the whole run, as a host keeps one: state left by earlier chunks is part
    // of what is tested.
    static std::unique_ptr<Morvek2> plugin = std::make_unique<Morvek2>(chunkfeed::host);
    if (!chunkfeed::feed(*plugin, data, size)) {
        std::abort();
    }
    return 0;
}
