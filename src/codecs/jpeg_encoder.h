#pragma once
// JPEG encoding through libjpeg from the display bitmap. The caller passes the quality (the
// stored "Op/jpg" setting or what the quality dialog returned).

#include "codecs/jpeg_lib.h"
#include "platform/bitmap.h"
#include "platform/stream.h"

#include <cstdint>
#include <vector>

namespace vtl::codecs {

inline constexpr int kJpegMinQuality = 1;
inline constexpr int kJpegMaxQuality = 100;

// A baseline colour JPEG of the bitmap at `quality` (clamped to 1..100). Bitmaps of any other
// format than pf24bit are converted to 24 bits first, on a copy. Throws EJpegError for an empty
// bitmap or when libjpeg fails, std::bad_alloc when memory runs out.
std::vector<uint8_t> EncodeJpeg(const platform::TBitmap& bitmap, int quality);

// The same, written to the stream in pieces as it is compressed; the stream's own errors are
// thrown as it threw them.
void SaveJpegToStream(const platform::TBitmap& bitmap, int quality, platform::TStream& stream);

} // namespace vtl::codecs
