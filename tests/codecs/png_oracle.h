#pragma once
// libpng as an independent decoder for the PNG tests: any PNG in, 8-bit RGBA out (16-bit samples
// cut to their high bytes, no gamma), so that it can be compared with what the program's reader
// makes of the same bytes.

#ifdef VTL_HAVE_LIBPNG

#include <png.h>

#include <cstdint>
#include <cstring>
#include <optional>
#include <span>
#include <vector>

namespace vtl::testing {

struct OracleImage {
    uint32_t width = 0;
    uint32_t height = 0;
    int bitDepth = 0;
    int colorType = 0;
    int interlace = 0;
    std::vector<uint8_t> rgba; // rows top-down
    const uint8_t* At(uint32_t x, uint32_t y) const { return &rgba[(size_t(y) * width + x) * 4]; }
};

// nullopt when libpng refuses the data.
inline std::optional<OracleImage> DecodeWithLibpng(std::span<const uint8_t> bytes)
{
    struct Source {
        std::span<const uint8_t> data;
        size_t pos = 0;
    } source { bytes };
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    OracleImage image;
    std::vector<png_bytep> rows;
    if (setjmp(png_jmpbuf(png))) {
        png_destroy_read_struct(&png, &info, nullptr);
        return std::nullopt;
    }
    png_set_read_fn(png, &source, [](png_structp p, png_bytep out, png_size_t n) {
        auto* s = static_cast<Source*>(png_get_io_ptr(p));
        if (n > s->data.size() - s->pos)
            png_error(p, "short");
        std::memcpy(out, s->data.data() + s->pos, n);
        s->pos += n;
    });
    // The program doesn't check CRCs either.
    png_set_crc_action(png, PNG_CRC_QUIET_USE, PNG_CRC_QUIET_USE);
    png_read_info(png, info);
    image.width = png_get_image_width(png, info);
    image.height = png_get_image_height(png, info);
    image.bitDepth = png_get_bit_depth(png, info);
    image.colorType = png_get_color_type(png, info);
    image.interlace = png_get_interlace_type(png, info);
    png_set_strip_16(png);
    png_set_expand(png);
    png_set_gray_to_rgb(png);
    png_set_add_alpha(png, 0xFF, PNG_FILLER_AFTER);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    image.rgba.resize(size_t(image.width) * image.height * 4);
    rows.resize(image.height);
    for (uint32_t y = 0; y < image.height; ++y)
        rows[y] = image.rgba.data() + size_t(y) * image.width * 4;
    png_read_image(png, rows.data());
    png_read_end(png, nullptr);
    png_destroy_read_struct(&png, &info, nullptr);
    return image;
}

} // namespace vtl::testing

#endif
