#pragma once
// JPEG decoding through libjpeg into the display bitmap: colour pictures become pf24bit, grey
// ones pf8bit with a grey palette, CMYK and YCCK ones are turned into RGB. Pictures can be decoded
// at 1/2, 1/4 and 1/8 of their size (libjpeg scales while it decodes, which is how thumbnails are
// made fast), and the size at a scale can be read from the header alone.

#include "codecs/jpeg_lib.h"
#include "platform/bitmap.h"
#include "platform/progress.h"

#include <cstdint>
#include <filesystem>
#include <span>

namespace vtl::codecs {

// The decoding scale as its denominator: the picture is decoded at 1/N of its size.
enum class JpegScale { Full = 1, Half = 2, Quarter = 4, Eighth = 8 };

struct JpegSize {
    int32_t width = 0;
    int32_t height = 0;
    friend bool operator==(const JpegSize&, const JpegSize&) = default;
};

// Size of the decoded picture at `scale`, from the header alone (libjpeg rounds scaled sizes
// up). Throws EJpegError when the data is not a JPEG picture.
JpegSize ReadJpegSize(std::span<const uint8_t> data, JpegScale scale = JpegScale::Full);
// The same for a file; only the bytes up to the first scan are read.
JpegSize ReadJpegFileSize(const std::filesystem::path& path, JpegScale scale = JpegScale::Full);

// The thumbnail scale rule: given the size `decoded` that a decode at `current` scale gives and a
// thumbnail cell of cellWidth x cellHeight, the scale to decode at. A picture narrower or lower
// than a quarter cell is decoded at full size, one below half a cell at 1/2, one below a cell at
// 1/4; otherwise the scale stays.
JpegScale PickJpegScale(JpegSize decoded, int32_t cellWidth, int32_t cellHeight, JpegScale current);

struct JpegDecodeOptions {
    JpegScale scale = JpegScale::Full;
    // Receives Starting, Running with the percentage, and Ending (not when decoding fails, so the
    // caller clears its status text on every path); may be null.
    const platform::ProgressHandler* progress = nullptr;
};

// Decodes `data` into `bitmap`. Throws EJpegError (libjpeg's message), EInvalidGraphicFormat for
// pictures beyond the size limits, or std::bad_alloc; the bitmap is unchanged then. Damaged data
// that libjpeg can get past decodes as far as it goes.
void DecodeJpeg(std::span<const uint8_t> data, platform::TBitmap& bitmap,
    const JpegDecodeOptions& options = {});
void DecodeJpegFile(const std::filesystem::path& path, platform::TBitmap& bitmap,
    const JpegDecodeOptions& options = {});

} // namespace vtl::codecs
