// The photo tag readers on arbitrary bytes: whatever the file claims, they return an orientation
// from 1 to 8 and a profile no larger than the limit, and the orientation turns a picture of
// every pixel format to the size it promises.
#include "codecs/photo_tags.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vtl;
    const codecs::PhotoTags tags = codecs::ReadPhotoTags(std::span(data, size));
    if (tags.orientation < 1 || tags.orientation > 8
        || tags.iccProfile.size() > codecs::kMaxProfileBytes)
        std::abort();
    static constexpr platform::TPixelFormat kFormats[]
        = { platform::TPixelFormat::pf1bit, platform::TPixelFormat::pf4bit,
              platform::TPixelFormat::pf8bit, platform::TPixelFormat::pf16bit,
              platform::TPixelFormat::pf24bit, platform::TPixelFormat::pf32bit };
    platform::TBitmap bitmap(11, 3, kFormats[size % std::size(kFormats)]);
    codecs::ApplyOrientation(bitmap, tags.orientation);
    const bool swapped = codecs::OrientationSwapsSides(tags.orientation);
    if (bitmap.Width() != (swapped ? 3 : 11) || bitmap.Height() != (swapped ? 11 : 3))
        std::abort();
    return 0;
}
