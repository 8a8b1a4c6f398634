#include "png_image.h"

#include <cstring>

namespace morvek2::test {

namespace {

struct Reader
{
    const unsigned char* data;
    std::size_t size;
    std::size_t pos;
};

cairo_status_t readChunk(void* closure, unsigned char* out, unsigned int length)
{
    auto* r = static_cast<Reader*>(closure);
    if (r->size - r->pos < length)
        return CAIRO_STATUS_READ_ERROR;
    std::memcpy(out, r->data + r->pos, length);
    r->pos += length;
    return CAIRO_STATUS_SUCCESS;
}

std::uint32_t bigEndian32(const unsigned char* p)
{
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) |
           std::uint32_t(p[3]);
}

} // namespace

bool pngHeaderSize(const ResourceBlob& blob, std::uint32_t& width, std::uint32_t& height)
{
    static const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    if (!blob.data || blob.size < 24 || std::memcmp(blob.data, signature, 8) != 0 ||
        std::memcmp(blob.data + 12, "IHDR", 4) != 0)
        return false;
    width = bigEndian32(blob.data + 16);
    height = bigEndian32(blob.data + 20);
    return true;
}

PngImage::PngImage(const ResourceBlob& blob)
{
    if (!blob.data)
        return;
    Reader reader{blob.data, blob.size, 0};
    cairo_surface_t* s = cairo_image_surface_create_from_png_stream(readChunk, &reader);
    if (cairo_surface_status(s) != CAIRO_STATUS_SUCCESS) {
        cairo_surface_destroy(s);
        return;
    }
    if (cairo_image_surface_get_format(s) != CAIRO_FORMAT_ARGB32) {
        // Opaque images come back as RGB24; draw them into ARGB32 so `at` reads one layout.
        cairo_surface_t* argb =
            cairo_image_surface_create(CAIRO_FORMAT_ARGB32, cairo_image_surface_get_width(s),
                                       cairo_image_surface_get_height(s));
        cairo_t* cr = cairo_create(argb);
        cairo_set_source_surface(cr, s, 0, 0);
        cairo_paint(cr);
        cairo_destroy(cr);
        cairo_surface_destroy(s);
        s = argb;
    }
    cairo_surface_flush(s);
    surface.reset(s);
}

int PngImage::width() const
{
    return ok() ? cairo_image_surface_get_width(surface.get()) : 0;
}

int PngImage::height() const
{
    return ok() ? cairo_image_surface_get_height(surface.get()) : 0;
}

Pixel PngImage::at(int x, int y) const
{
    const unsigned char* data = cairo_image_surface_get_data(surface.get());
    const int stride = cairo_image_surface_get_stride(surface.get());
    std::uint32_t v;
    std::memcpy(&v, data + y * stride + x * 4, 4);
    const int a = int(v >> 24);
    auto unpremultiply = [a](int c) { return a == 0 ? 0 : (c * 255 + a / 2) / a; };
    return {unpremultiply(int((v >> 16) & 0xFF)), unpremultiply(int((v >> 8) & 0xFF)),
            unpremultiply(int(v & 0xFF)), a};
}

double PngImage::brightness(int x0, int y0, int x1, int y1) const
{
    double sum = 0;
    int n = 0;
    for (int y = y0; y < y1; ++y)
        for (int x = x0; x < x1; ++x) {
            const Pixel p = at(x, y);
            sum += (p.r + p.g + p.b) / 3.0 * p.a / 255.0;
            ++n;
        }
    return n ? sum / n : 0.0;
}

} // namespace morvek2::test
