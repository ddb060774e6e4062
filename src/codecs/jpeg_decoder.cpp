#include "codecs/jpeg_decoder.h"

#include "platform/checked.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <vector>

namespace vtl::codecs {

using platform::ProgressStage;
using platform::TBitmap;
using platform::TPixelFormat;

namespace {

    struct FileCloser {
        void operator()(std::FILE* file) const { std::fclose(file); }
    };
    using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

    FilePtr OpenForReading(const std::filesystem::path& path)
    {
        FilePtr file(std::fopen(path.c_str(), "rb"));
        if (!file)
            throw EJpegError("Cannot open file \"" + path.string() + "\"");
        return file;
    }

    void SetScale(jpeg_decompress_struct& info, JpegScale scale)
    {
        info.scale_num = 1;
        info.scale_denom = static_cast<unsigned>(scale);
    }

    JpegSize SizeAt(JpegDecompress& jpeg, JpegScale scale)
    {
        jpeg.ReadHeader();
        SetScale(jpeg.Info(), scale);
        jpeg.CalcOutputDimensions();
        return { static_cast<int32_t>(jpeg.Info().output_width),
            static_cast<int32_t>(jpeg.Info().output_height) };
    }

    // x * y / 255, rounded.
    inline uint8_t Mul255(unsigned x, unsigned y)
    {
        unsigned t = x * y + 128;
        return static_cast<uint8_t>((t + (t >> 8)) >> 8);
    }

    // Photoshop stores CMYK inverted (0 = full ink) and marks such files with its APP14 marker;
    // libjpeg hands the values over as stored. Without the marker 0 means no ink.
    void CmykRowToBgr(const uint8_t* cmyk, uint8_t* bgr, size_t width, bool inverted)
    {
        const unsigned flip = inverted ? 0 : 255;
        for (size_t x = 0; x < width; ++x, cmyk += 4, bgr += 3) {
            unsigned c = cmyk[0] ^ flip;
            unsigned m = cmyk[1] ^ flip;
            unsigned y = cmyk[2] ^ flip;
            unsigned k = cmyk[3] ^ flip;
            bgr[0] = Mul255(y, k);
            bgr[1] = Mul255(m, k);
            bgr[2] = Mul255(c, k);
        }
    }

    void CheckLimits(const jpeg_decompress_struct& info)
    {
        const uint64_t w = info.output_width;
        const uint64_t h = info.output_height;
        // libjpeg keeps whole-picture coefficient buffers for progressive files, so the size of
        // the stored picture is bounded as well as that of the decoded one.
        const uint64_t iw = info.image_width;
        const uint64_t ih = info.image_height;
        const auto maxSide = static_cast<uint64_t>(platform::kMaxPictureSide);
        if (w == 0 || h == 0 || w > maxSide || h > maxSide || w * h * 3 > platform::kMaxPictureBytes
            || iw * ih > platform::kMaxPictureBytes)
            throw EJpegError("JPEG picture too large (" + std::to_string(info.image_width) + " x "
                + std::to_string(info.image_height) + ")");
    }

    void Decode(JpegDecompress& jpeg, TBitmap& bitmap, const JpegDecodeOptions& options)
    {
        jpeg_decompress_struct& info = jpeg.Info();
        jpeg.SetProgress(options.progress);
        jpeg.ReadHeader();
        SetScale(info, options.scale);

        bool cmyk = false;
        TPixelFormat format = TPixelFormat::pf24bit;
        switch (info.jpeg_color_space) {
        case JCS_GRAYSCALE:
            info.out_color_space = JCS_GRAYSCALE;
            format = TPixelFormat::pf8bit;
            break;
        case JCS_CMYK:
        case JCS_YCCK:
            // libjpeg turns YCCK into CMYK; the step to RGB is ours.
            info.out_color_space = JCS_CMYK;
            cmyk = true;
            break;
        default:
            info.out_color_space = JCS_EXT_BGR;
            break;
        }
        jpeg.CalcOutputDimensions();
        CheckLimits(info);

        jpeg.ReportStage(ProgressStage::Starting, 0);
        jpeg.StartDecompress();
        const auto width = static_cast<int32_t>(info.output_width);
        const auto height = static_cast<int32_t>(info.output_height);
        TBitmap result = TBitmap::ForWriting(width, height, format);
        if (format == TPixelFormat::pf8bit) {
            std::array<platform::PaletteEntry, 256> grey;
            for (int i = 0; i < 256; ++i) {
                auto v = static_cast<uint8_t>(i);
                grey[static_cast<size_t>(i)] = { v, v, v, 0 };
            }
            result.SetPalette(std::span<const platform::PaletteEntry>(grey));
        }

        constexpr unsigned kBatch = 16;
        const size_t cmykRowBytes = size_t(info.output_width) * 4;
        std::vector<uint8_t> cmykRows(cmyk ? cmykRowBytes * kBatch : 0);
        const bool inverted = info.saw_Adobe_marker != 0;
        std::array<JSAMPROW, kBatch> rows {};
        while (info.output_scanline < info.output_height) {
            const unsigned y = info.output_scanline;
            const unsigned count = std::min(kBatch, info.output_height - y);
            for (unsigned i = 0; i < count; ++i)
                rows[i] = cmyk ? cmykRows.data() + i * cmykRowBytes
                               : result.ScanLine(static_cast<int32_t>(y + i));
            const unsigned got = jpeg.ReadScanlines(rows.data(), count);
            if (got == 0)
                break; // our sources never suspend; this only guards against a stall
            if (cmyk)
                for (unsigned i = 0; i < got; ++i)
                    CmykRowToBgr(rows[i], result.ScanLine(static_cast<int32_t>(y + i)),
                        info.output_width, inverted);
        }
        jpeg.FinishDecompress();
        jpeg.ReportStage(ProgressStage::Ending, 100);
        bitmap = std::move(result);
    }

} // namespace

JpegSize ReadJpegSize(std::span<const uint8_t> data, JpegScale scale)
{
    JpegDecompress jpeg(data);
    return SizeAt(jpeg, scale);
}

JpegSize ReadJpegFileSize(const std::filesystem::path& path, JpegScale scale)
{
    FilePtr file = OpenForReading(path);
    JpegDecompress jpeg(file.get());
    return SizeAt(jpeg, scale);
}

JpegScale PickJpegScale(JpegSize decoded, int32_t cellWidth, int32_t cellHeight, JpegScale current)
{
    const int32_t w = decoded.width;
    const int32_t h = decoded.height;
    if (w < cellWidth / 4 || h < cellHeight / 4)
        return JpegScale::Full;
    if (w < cellWidth / 2 || h < cellHeight / 2)
        return JpegScale::Half;
    if (w < cellWidth || h < cellHeight)
        return JpegScale::Quarter;
    return current;
}

void DecodeJpeg(std::span<const uint8_t> data, TBitmap& bitmap, const JpegDecodeOptions& options)
{
    JpegDecompress jpeg(data);
    Decode(jpeg, bitmap, options);
}

void DecodeJpegFile(
    const std::filesystem::path& path, TBitmap& bitmap, const JpegDecodeOptions& options)
{
    FilePtr file = OpenForReading(path);
    JpegDecompress jpeg(file.get());
    Decode(jpeg, bitmap, options);
}

} // namespace vtl::codecs
