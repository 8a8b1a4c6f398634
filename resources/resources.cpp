#include "resources/resources.h"

#include <cstring>

#include "resources/resource_table.h"

namespace morvek2 {

ResourceBlob findResource(int id, const char* type) // [any]
{
    if (type == nullptr)
        return {};
    for (std::size_t i = 0; i < detail::kResourceCount; ++i) {
        const detail::ResourceEntry& entry = detail::kResources[i];
        if (entry.id == id && std::strcmp(entry.type, type) == 0)
            return {entry.data, entry.size};
    }
    return {};
}

} // namespace morvek2
