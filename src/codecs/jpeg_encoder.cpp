#include "codecs/jpeg_encoder.h"

#include <algorithm>
#include <array>
#include <optional>

namespace vtl::codecs {

using platform::TBitmap;
using platform::TPixelFormat;

namespace {
    void Encode(const TBitmap& bitmap, int quality, JpegCompress& jpeg)
    {
        // Only 24- and 32-bit rows go to libjpeg as they are; everything else becomes 24 bits.
        std::optional<TBitmap> converted;
        const TBitmap* source = &bitmap;
        J_COLOR_SPACE inputSpace = JCS_EXT_BGR;
        int components = 3;
        if (bitmap.PixelFormat() == TPixelFormat::pf32bit) {
            inputSpace = JCS_EXT_BGRX;
            components = 4;
        } else if (bitmap.PixelFormat() != TPixelFormat::pf24bit) {
            converted.emplace(bitmap);
            converted->SetPixelFormat(TPixelFormat::pf24bit);
            source = &*converted;
        }

        jpeg_compress_struct& info = jpeg.Info();
        info.image_width = static_cast<JDIMENSION>(source->Width());
        info.image_height = static_cast<JDIMENSION>(source->Height());
        info.input_components = components;
        info.in_color_space = inputSpace;
        jpeg.SetDefaults();
        jpeg.SetQuality(std::clamp(quality, kJpegMinQuality, kJpegMaxQuality));
        jpeg.StartCompress();

        constexpr unsigned kBatch = 16;
        std::array<JSAMPROW, kBatch> rows {};
        while (info.next_scanline < info.image_height) {
            const unsigned y = info.next_scanline;
            const unsigned count = std::min(kBatch, info.image_height - y);
            for (unsigned i = 0; i < count; ++i)
                // libjpeg only reads input rows; its interface just isn't const-correct.
                rows[i] = const_cast<uint8_t*>(source->ScanLine(static_cast<int32_t>(y + i)));
            jpeg.WriteScanlines(rows.data(), count);
        }
        jpeg.FinishCompress();
    }

    void RequirePicture(const TBitmap& bitmap)
    {
        if (bitmap.Empty())
            throw EJpegError("Cannot save an empty picture as JPEG");
    }
}

std::vector<uint8_t> EncodeJpeg(const TBitmap& bitmap, int quality)
{
    RequirePicture(bitmap);
    std::vector<uint8_t> out;
    JpegCompress jpeg(out);
    Encode(bitmap, quality, jpeg);
    return out;
}

void SaveJpegToStream(const TBitmap& bitmap, int quality, platform::TStream& stream)
{
    RequirePicture(bitmap);
    JpegCompress jpeg(stream);
    Encode(bitmap, quality, jpeg);
}

} // namespace vtl::codecs
