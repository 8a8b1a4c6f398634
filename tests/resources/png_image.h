// Decodes an embedded PNG with Cairo so tests can look at its pixels.
#pragma once

#include <cairo.h>

#include <cstddef>
#include <cstdint>
#include <memory>

#include "resources/resources.h"

namespace morvek2::test {

struct Pixel
{
    int r, g, b, a; // straight (not premultiplied) 0..255
};

class PngImage
{
public:
    explicit PngImage(const ResourceBlob& blob);
    bool ok() const { return surface != nullptr; }
    int width() const;
    int height() const;
    Pixel at(int x, int y) const;
    // Mean of (r + g + b) / 3 weighted by alpha over a rectangle, 0..255.
    double brightness(int x0, int y0, int x1, int y1) const;

private:
    struct Destroy
    {
        void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
    };
    std::unique_ptr<cairo_surface_t, Destroy> surface;
};

// Width and height from the PNG header, without decoding; false if it is no PNG.
bool pngHeaderSize(const ResourceBlob& blob, std::uint32_t& width, std::uint32_t& height);

} // namespace morvek2::test
