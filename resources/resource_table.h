#pragma once

// The table that the build generates from the files in resources/png and resources/map.

#include <cstddef>

namespace morvek2::detail {

struct ResourceEntry
{
    int id;
    const char* type;
    const unsigned char* data;
    std::size_t size;
};

extern const ResourceEntry kResources[];
extern const std::size_t kResourceCount;

} // namespace morvek2::detail
