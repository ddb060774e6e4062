#include "document/pixel_format_conversion.h"

#include "document/dib_errors.h"
#include "document/dib_image.h"
#include "document/fixed_palettes.h"
#include "document/halftone.h"
#include "document/quantise_high.h"
#include "document/quantise_low.h"
#include "document/rle.h"
#include "platform/checked.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <optional>
#include <stdexcept>
#include <string>

namespace vtl::document {

using platform::MappedBlock;
using platform::RGBQuad;
using platform::TColor;

int32_t AbsHeight(const BitmapInfoHeader& info)
{
    // INT32_MIN has no positive counterpart; the size checks refuse it.
    return info.biHeight < 0 ? (info.biHeight == INT32_MIN ? 0 : -info.biHeight) : info.biHeight;
}

size_t StoredRowBytes(const BitmapInfoHeader& info)
{
    return platform::BmpRowBytes(info.biWidth, info.biBitCount).value_or(0);
}

size_t UncompressedBlockSize(const BitmapInfoHeader& info)
{
    const int32_t height = AbsHeight(info);
    if (info.biWidth <= 0 || height <= 0 || info.biWidth > platform::kMaxPictureSide
        || height > platform::kMaxPictureSide)
        throw EDIBInvalidDIB("TDIB.SetPixelFormat: Invalid Width or Height");
    const auto row = platform::BmpRowBytes(info.biWidth, info.biBitCount);
    std::optional<uint64_t> size;
    if (row)
        size = platform::CheckedMul<uint64_t>(*row, static_cast<uint64_t>(height));
    if (!size || *size > platform::kMaxPictureBytes)
        throw EDIBInvalidDIB("TDIB.SetPixelFormat: Invalid Width or Height");
    return static_cast<size_t>(*size);
}

void RequireFullPixelBlock(const DibImage& source)
{
    if (source.bits.Size() < UncompressedBlockSize(source.info))
        throw EDIBInvalidDIB("TDIB.SetPixelFormat: Pixel Block is too small");
}

DibImage NewPictureLike(const DibImage& source, uint16_t bitCount, uint32_t compression,
    int32_t height, MappedBlock block)
{
    DibImage result;
    result.info = source.info;
    result.info.biSize = 40;
    result.info.biPlanes = 1;
    result.info.biBitCount = bitCount;
    result.info.biCompression = compression;
    result.info.biHeight = height;
    result.info.biSizeImage = static_cast<uint32_t>(block.Size());
    result.colorTable = source.colorTable;
    result.bits = std::move(block);
    return result;
}

DibImage NewUncompressedLike(const DibImage& source, uint16_t bitCount)
{
    BitmapInfoHeader info = source.info;
    info.biBitCount = bitCount;
    info.biCompression = kBiRgb;
    MappedBlock block = GetMemory(UncompressedBlockSize(info));
    return NewPictureLike(source, bitCount, kBiRgb, source.info.biHeight, std::move(block));
}

TColor ColorToRgb(TColor color)
{
    // System colours are 0x80000000 plus an index; without a desktop scheme to ask, the classic
    // scheme's values stand for them.
    static constexpr std::array<TColor, 31> kSystemColours { platform::Rgb(212, 208, 200),
        platform::Rgb(58, 110, 165), platform::Rgb(10, 36, 106), platform::Rgb(128, 128, 128),
        platform::Rgb(212, 208, 200), platform::Rgb(255, 255, 255), platform::Rgb(0, 0, 0),
        platform::Rgb(0, 0, 0), platform::Rgb(0, 0, 0), platform::Rgb(255, 255, 255),
        platform::Rgb(212, 208, 200), platform::Rgb(212, 208, 200), platform::Rgb(128, 128, 128),
        platform::Rgb(10, 36, 106), platform::Rgb(255, 255, 255), platform::Rgb(212, 208, 200),
        platform::Rgb(128, 128, 128), platform::Rgb(128, 128, 128), platform::Rgb(0, 0, 0),
        platform::Rgb(212, 208, 200), platform::Rgb(255, 255, 255), platform::Rgb(64, 64, 64),
        platform::Rgb(212, 208, 200), platform::Rgb(0, 0, 0), platform::Rgb(255, 255, 225),
        platform::Rgb(180, 180, 180), platform::Rgb(0, 0, 128), platform::Rgb(166, 202, 240),
        platform::Rgb(192, 192, 192), platform::Rgb(49, 106, 197), platform::Rgb(236, 233, 216) };
    if (color & 0x80000000u) {
        const uint32_t index = color & 0xFF;
        return index < kSystemColours.size() ? kSystemColours[index] : 0;
    }
    return color & 0xFFFFFF;
}

namespace {

    inline uint8_t IndexAt(const uint8_t* row, size_t x, uint16_t bitCount)
    {
        switch (bitCount) {
        case 1:
            return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case 4:
            return (x & 1) ? (row[x >> 1] & 0x0F) : (row[x >> 1] >> 4);
        default:
            return row[x];
        }
    }

    void RequireUncompressed(const DibImage& source, uint16_t bitCount, const char* message)
    {
        if (source.info.biBitCount != bitCount || source.info.biCompression != kBiRgb)
            throw EDIBBadDIBType(message);
        RequireFullPixelBlock(source);
    }

    DibImage BlackWhiteLike(const DibImage& source)
    {
        DibImage result = NewUncompressedLike(source, 1);
        result.colorTable.fill(RGBQuad {});
        const auto palette = BlackWhitePalette();
        std::copy(palette.begin(), palette.end(), result.colorTable.begin());
        result.info.biClrUsed = 2;
        result.info.biClrImportant = 0;
        return result;
    }

    // Bit 1 for the pixels whose palette entry is exactly the colour.
    DibImage MatchIndexed(const DibImage& source, TColor oneBitColour)
    {
        const TColor rgb = ColorToRgb(oneBitColour);
        std::array<bool, 256> match {};
        for (size_t i = 0; i < match.size(); ++i) {
            const RGBQuad& c = source.colorTable[i];
            match[i] = c.rgbRed == platform::GetRValue(rgb)
                && c.rgbGreen == platform::GetGValue(rgb) && c.rgbBlue == platform::GetBValue(rgb);
        }
        DibImage result = BlackWhiteLike(source);
        const size_t width = static_cast<size_t>(source.info.biWidth);
        const size_t height = static_cast<size_t>(AbsHeight(source.info));
        const size_t inRow = StoredRowBytes(source.info);
        const size_t outRow = StoredRowBytes(result.info);
        for (size_t y = 0; y < height; ++y) {
            const uint8_t* in = source.bits.Data() + y * inRow;
            uint8_t* out = result.bits.Data() + y * outRow;
            for (size_t x = 0; x < width; ++x)
                if (match[IndexAt(in, x, source.info.biBitCount)])
                    out[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
        }
        return result;
    }

} // namespace

DibImage ConvertTrueColorTo1BitRGB(const DibImage& source, TColor oneBitColour)
{
    RequireUncompressed(source, 24, "ConvertTrueColorTo1BitRGB: Invalid Bitcount or Compression");
    const TColor rgb = ColorToRgb(oneBitColour);
    const uint8_t r = platform::GetRValue(rgb);
    const uint8_t g = platform::GetGValue(rgb);
    const uint8_t b = platform::GetBValue(rgb);
    DibImage result = BlackWhiteLike(source);
    const size_t width = static_cast<size_t>(source.info.biWidth);
    const size_t height = static_cast<size_t>(AbsHeight(source.info));
    const size_t inRow = StoredRowBytes(source.info);
    const size_t outRow = StoredRowBytes(result.info);
    for (size_t y = 0; y < height; ++y) {
        const uint8_t* in = source.bits.Data() + y * inRow;
        uint8_t* out = result.bits.Data() + y * outRow;
        for (size_t x = 0; x < width; ++x, in += 3)
            if (in[0] == b && in[1] == g && in[2] == r)
                out[x >> 3] |= static_cast<uint8_t>(0x80 >> (x & 7));
    }
    return result;
}

DibImage Convert8BitTo1BitRGB(const DibImage& source, TColor oneBitColour)
{
    RequireUncompressed(source, 8, "Convert8BitTo1BitRGB: Invalid Bitcount or Compression");
    return MatchIndexed(source, oneBitColour);
}

DibImage Convert4BitRGBTo1BitRGB(const DibImage& source, TColor oneBitColour)
{
    RequireUncompressed(source, 4, "Convert4BitRGBTo1BitRGB: Invalid Bitcount or Compression");
    return MatchIndexed(source, oneBitColour);
}

DibImage ExpandPixels(const DibImage& source, uint16_t targetBitCount)
{
    const uint16_t bits = source.info.biBitCount;
    if (source.info.biCompression != kBiRgb || (bits != 1 && bits != 4 && bits != 8)
        || (targetBitCount != 4 && targetBitCount != 8 && targetBitCount != 24)
        || targetBitCount <= bits)
        throw EDIBBadDIBType("ExpandPixels: Invalid Bitcount or Compression");
    RequireFullPixelBlock(source);
    DibImage result = NewUncompressedLike(source, targetBitCount);
    const size_t width = static_cast<size_t>(source.info.biWidth);
    const size_t height = static_cast<size_t>(AbsHeight(source.info));
    const size_t inRow = StoredRowBytes(source.info);
    const size_t outRow = StoredRowBytes(result.info);
    const auto& table = source.colorTable;
    for (size_t y = 0; y < height; ++y) {
        const uint8_t* in = source.bits.Data() + y * inRow;
        uint8_t* out = result.bits.Data() + y * outRow;
        switch (targetBitCount) {
        case 4:
            for (size_t x = 0; x < width; ++x)
                out[x >> 1] |= static_cast<uint8_t>(IndexAt(in, x, bits) << ((x & 1) ? 0 : 4));
            break;
        case 8:
            for (size_t x = 0; x < width; ++x)
                out[x] = IndexAt(in, x, bits);
            break;
        default:
            for (size_t x = 0; x < width; ++x, out += 3) {
                const RGBQuad& c = table[IndexAt(in, x, bits)];
                out[0] = c.rgbBlue;
                out[1] = c.rgbGreen;
                out[2] = c.rgbRed;
            }
            break;
        }
    }
    return result;
}

namespace {

    bool IsRle(DibPixelFormat f)
    {
        return f == DibPixelFormat::Dib4BitRle || f == DibPixelFormat::Dib8BitRle;
    }

    uint16_t BitsOf(DibPixelFormat f)
    {
        switch (f) {
        case DibPixelFormat::Dib1Bit:
        case DibPixelFormat::DibHalftoneMono:
            return 1;
        case DibPixelFormat::Dib4Bit:
        case DibPixelFormat::Dib4BitRle:
            return 4;
        case DibPixelFormat::Dib8Bit:
        case DibPixelFormat::Dib8BitRle:
        case DibPixelFormat::DibHalftone:
            return 8;
        case DibPixelFormat::Dib24Bit:
            return 24;
        }
        return 0;
    }

    DibImage Copy(const DibImage& source)
    {
        MappedBlock block = GetMemory(source.bits.Size());
        if (source.bits.Size() != 0)
            std::memcpy(block.Data(), source.bits.Data(), source.bits.Size());
        DibImage result;
        result.info = source.info;
        result.colorTable = source.colorTable;
        result.bits = std::move(block);
        return result;
    }

    // The route from an uncompressed source to the target; `work` holds the intermediate picture
    // of a route with several steps so that it lives only as long as it is needed.
    DibImage Route(const DibImage& source, DibPixelFormat from, DibPixelFormat target,
        const ConversionOptions& options, QuantiseProgress* progress)
    {
        const bool high = options.quantiseMode == 1;
        switch (target) {
        case DibPixelFormat::DibHalftone:
            return ConvertToHalfTone(source);
        case DibPixelFormat::DibHalftoneMono:
            return ConvertToHalfToneBW(source);
        case DibPixelFormat::Dib1Bit:
            if (from == DibPixelFormat::Dib24Bit)
                return ConvertTrueColorTo1BitRGB(source, options.oneBitColour);
            if (from == DibPixelFormat::Dib8Bit)
                return Convert8BitTo1BitRGB(source, options.oneBitColour);
            if (from == DibPixelFormat::Dib4Bit)
                return Convert4BitRGBTo1BitRGB(source, options.oneBitColour);
            return Copy(source);
        case DibPixelFormat::Dib24Bit:
            return from == DibPixelFormat::Dib24Bit ? Copy(source) : ExpandPixels(source, 24);
        case DibPixelFormat::Dib4Bit:
        case DibPixelFormat::Dib4BitRle: {
            const bool rle = target == DibPixelFormat::Dib4BitRle;
            switch (from) {
            case DibPixelFormat::Dib1Bit: {
                DibImage work = ExpandPixels(source, 4);
                return rle ? Convert4BitRGBTo4BitRLE(work) : std::move(work);
            }
            case DibPixelFormat::Dib4Bit:
                return rle ? Convert4BitRGBTo4BitRLE(source) : Copy(source);
            case DibPixelFormat::Dib8Bit: {
                DibImage work = Convert8BitRGBTo4BitRGB(source, progress);
                return rle ? Convert4BitRGBTo4BitRLE(work) : std::move(work);
            }
            case DibPixelFormat::Dib24Bit: {
                DibImage work = high ? ConvertTrueColorTo4BitRGBHigh(source, progress)
                                     : ConvertTrueColorTo4BitRGBLow(source, progress);
                return rle ? Convert4BitRGBTo4BitRLE(work) : std::move(work);
            }
            default:
                break;
            }
            break;
        }
        case DibPixelFormat::Dib8Bit:
        case DibPixelFormat::Dib8BitRle: {
            const bool rle = target == DibPixelFormat::Dib8BitRle;
            switch (from) {
            case DibPixelFormat::Dib1Bit:
            case DibPixelFormat::Dib4Bit: {
                DibImage work = ExpandPixels(source, 8);
                return rle ? Convert8BitRGBTo8BitRLE(work) : std::move(work);
            }
            case DibPixelFormat::Dib8Bit:
                return rle ? Convert8BitRGBTo8BitRLE(source) : Copy(source);
            case DibPixelFormat::Dib24Bit: {
                DibImage work = high ? ConvertTrueColorTo8BitRGBHigh(source, progress)
                                     : ConvertTrueColorTo8BitRGBLow(source, progress);
                return rle ? Convert8BitRGBTo8BitRLE(work) : std::move(work);
            }
            default:
                break;
            }
            break;
        }
        }
        throw std::logic_error("ConvertPixelFormat: Invalid Route");
    }

    // Conversions that quantise colours report progress; the text names the request.
    bool Quantises(DibPixelFormat from, DibPixelFormat target)
    {
        const bool to4 = target == DibPixelFormat::Dib4Bit || target == DibPixelFormat::Dib4BitRle;
        const bool to8 = target == DibPixelFormat::Dib8Bit || target == DibPixelFormat::Dib8BitRle;
        return (to4
                   && (from == DibPixelFormat::Dib24Bit || from == DibPixelFormat::Dib8Bit
                       || from == DibPixelFormat::Dib8BitRle))
            || (to8 && from == DibPixelFormat::Dib24Bit);
    }

} // namespace

DibImage ConvertPixelFormat(const DibImage& source, DibPixelFormat target,
    const ConversionOptions& options, const platform::ProgressHandler& progress)
{
    const DibPixelFormat from = PixelFormatOf(source.info);
    if (BitsOf(target) == 0)
        throw std::logic_error("ConvertPixelFormat: Invalid Route");
    if (target == from)
        return Copy(source);

    std::optional<QuantiseProgress> reports;
    if (Quantises(from, target)) {
        std::string text = std::string("PixelFormat ") + PixelFormatText(from) + " -> "
            + PixelFormatText(target);
        const platform::TRect whole
            = platform::Rect(0, 0, source.info.biWidth, AbsHeight(source.info));
        reports.emplace(progress, whole, std::move(text), BitsOf(target) == 4 ? 16 : 256);
        reports->Start();
    }
    QuantiseProgress* steps = reports ? &*reports : nullptr;
    try {
        DibImage result;
        if (IsRle(from)) {
            DibImage decoded = from == DibPixelFormat::Dib8BitRle ? Convert8BitRLETo8BitRGB(source)
                                                                  : Convert4BitRLETo4BitRGB(source);
            const DibPixelFormat plain = from == DibPixelFormat::Dib8BitRle
                ? DibPixelFormat::Dib8Bit
                : DibPixelFormat::Dib4Bit;
            result = target == plain ? std::move(decoded)
                                     : Route(decoded, plain, target, options, steps);
        } else {
            result = Route(source, from, target, options, steps);
        }
        if (reports)
            reports->End();
        return result;
    } catch (...) {
        if (reports)
            reports->End();
        throw;
    }
}

} // namespace vtl::document
