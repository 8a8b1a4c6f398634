#pragma once

// The module's embedded resources: the editor's PNG bitmaps and the glyph maps of its bitmap
// fonts. The bytes are compiled into the library, so nothing is read from disk at run time.

#include <cstddef>

namespace morvek2 {

// A view of one embedded resource. The bytes live as long as the module; an empty blob
// (null data, size 0) means there is no such resource.
struct ResourceBlob
{
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};

// Finds the resource with the given number and type name ("PNG" or "DEZADEDU_MAP"; compared
// exactly). Unknown numbers, unknown types and a null type give an empty blob.
ResourceBlob findResource(int id, const char* type); // [any]

} // namespace morvek2
