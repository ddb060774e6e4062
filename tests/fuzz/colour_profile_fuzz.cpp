// Profile bytes as a picture file would embed them, applied to a small picture of a format the
// input's size picks. Little CMS may refuse; a refusal leaves the picture byte for byte as it was,
// and a conversion changes colours only: the size, palette indices and 32-bit pictures' fourth
// bytes stay.
#include "codecs/colour_profile.h"

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <vector>

namespace {

using vtl::platform::PaletteEntry;
using vtl::platform::TBitmap;
using vtl::platform::TPixelFormat;

TBitmap Picture(size_t choice)
{
    constexpr TPixelFormat kFormats[] = { TPixelFormat::pf8bit, TPixelFormat::pf8bit,
        TPixelFormat::pf16bit, TPixelFormat::pf24bit, TPixelFormat::pf32bit };
    const size_t pick = choice % std::size(kFormats);
    TBitmap bitmap(13, 5, kFormats[pick]);
    // The first 8-bit picture is a grey ramp, as a greyscale JPEG reads, for grey profiles.
    if (pick == 0) {
        std::vector<PaletteEntry> ramp;
        for (int i = 0; i < 256; ++i)
            ramp.push_back({ uint8_t(i), uint8_t(i), uint8_t(i), 0 });
        bitmap.SetPalette(ramp);
    }
    uint32_t seed = 12345;
    for (uint8_t& b : bitmap.Bits()) {
        seed = seed * 1103515245 + 12345;
        b = uint8_t(seed >> 16);
    }
    return bitmap;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TBitmap bitmap = Picture(size);
    const TBitmap before = bitmap;
    const auto bytes
        = [](const TBitmap& b) { return std::vector<uint8_t>(b.Bits().begin(), b.Bits().end()); };

    if (!vtl::codecs::ConvertToSrgb(bitmap, { data, size })) {
        if (bitmap.PixelFormat() != before.PixelFormat() || bytes(bitmap) != bytes(before)
            || bitmap.PaletteEntries() != before.PaletteEntries())
            std::abort();
        return 0;
    }
    if (bitmap.Width() != before.Width() || bitmap.Height() != before.Height())
        std::abort();
    switch (before.PixelFormat()) {
    case TPixelFormat::pf8bit:
        if (bitmap.PixelFormat() != TPixelFormat::pf8bit || bytes(bitmap) != bytes(before))
            std::abort();
        break;
    case TPixelFormat::pf16bit:
        if (bitmap.PixelFormat() != TPixelFormat::pf24bit)
            std::abort();
        break;
    case TPixelFormat::pf32bit:
        for (int32_t y = 0; y < bitmap.Height(); ++y)
            for (int32_t x = 0; x < bitmap.Width(); ++x)
                if (bitmap.ScanLine(y)[4 * x + 3] != before.ScanLine(y)[4 * x + 3])
                    std::abort();
        break;
    default:
        break;
    }
    return 0;
}
