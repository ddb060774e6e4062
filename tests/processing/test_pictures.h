#pragma once
// Pictures made by the processing tests, and comparisons that look only at what a picture shows.

#include "platform/bitmap.h"
#include "processing/processing_frame.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

namespace vtl::testing {

using platform::TBitmap;
using platform::TPixelFormat;

struct Bgr {
    uint8_t b = 0, g = 0, r = 0;
    friend bool operator==(const Bgr&, const Bgr&) = default;
};

inline TBitmap Picture24(
    int32_t width, int32_t height, const std::function<Bgr(int32_t, int32_t)>& colour)
{
    TBitmap bitmap(width, height, TPixelFormat::pf24bit);
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = bitmap.ScanLine(y);
        for (int32_t x = 0; x < width; ++x) {
            Bgr c = colour(x, y);
            row[3 * x] = c.b;
            row[3 * x + 1] = c.g;
            row[3 * x + 2] = c.r;
        }
    }
    return bitmap;
}

inline TBitmap Flat24(int32_t width, int32_t height, Bgr colour)
{
    return Picture24(width, height, [colour](int32_t, int32_t) { return colour; });
}

inline TBitmap Random24(int32_t width, int32_t height, uint32_t seed)
{
    std::mt19937 random(seed);
    return Picture24(width, height, [&](int32_t, int32_t) {
        return Bgr { uint8_t(random()), uint8_t(random()), uint8_t(random()) };
    });
}

// Few distinct values, so that windows hold repeats and ties (median, oil paint).
inline TBitmap Patchy24(int32_t width, int32_t height, uint32_t seed, int levels)
{
    std::mt19937 random(seed);
    return Picture24(width, height, [&](int32_t, int32_t) {
        auto v = [&] { return uint8_t(random() % unsigned(levels) * (255 / (levels - 1))); };
        return Bgr { v(), v(), v() };
    });
}

inline Bgr At(const TBitmap& bitmap, int32_t x, int32_t y)
{
    const uint8_t* p = bitmap.ScanLine(y) + 3 * x;
    return { p[0], p[1], p[2] };
}

// Same size, format, palette and pixels (padding bits aside).
inline ::testing::AssertionResult SamePicture(const TBitmap& a, const TBitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return ::testing::AssertionFailure() << "size " << a.Width() << "x" << a.Height() << " vs "
                                             << b.Width() << "x" << b.Height();
    if (a.PixelFormat() != b.PixelFormat())
        return ::testing::AssertionFailure()
            << "pixel format " << int(a.PixelFormat()) << " vs " << int(b.PixelFormat());
    if (a.EffectivePalette().size() != b.EffectivePalette().size()
        || !std::equal(
            a.EffectivePalette().begin(), a.EffectivePalette().end(), b.EffectivePalette().begin()))
        return ::testing::AssertionFailure() << "palettes differ";
    for (int32_t y = 0; y < a.Height(); ++y)
        for (int32_t x = 0; x < a.Width(); ++x)
            if (a.RawPixel(x, y) != b.RawPixel(x, y))
                return ::testing::AssertionFailure()
                    << "pixel (" << x << ", " << y << ") " << a.RawPixel(x, y) << " vs "
                    << b.RawPixel(x, y);
    return ::testing::AssertionSuccess();
}

// Records the status texts an operation shows.
class RecordingStatus : public processing::TStatusSink {
public:
    void ShowStatus(std::string_view text) override { texts.emplace_back(text); }
    std::vector<std::string> texts;
};

} // namespace vtl::testing
