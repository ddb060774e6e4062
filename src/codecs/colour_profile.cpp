#include "codecs/colour_profile.h"

#include <lcms2.h>

namespace vtl::codecs {

// Placeholder until the conversion is written: nothing is converted.
bool ConvertToSrgb(platform::TBitmap&, std::span<const uint8_t>)
{
    (void)cmsGetEncodedCMMversion;
    return false;
}

} // namespace vtl::codecs
