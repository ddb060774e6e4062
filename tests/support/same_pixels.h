#pragma once
// Whether two pictures show the same colours at every pixel, whatever their pixel formats.

#include "platform/bitmap.h"

namespace vtl::testing {

inline bool SamePixels(const platform::TBitmap& a, const platform::TBitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return false;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            if (a.Pixel(x, y) != b.Pixel(x, y))
                return false;
    return true;
}

} // namespace vtl::testing
