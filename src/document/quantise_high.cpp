#include "document/quantise_high.h"

#include "document/dib_errors.h"
#include "document/pixel_format_conversion.h"
#include "platform/mapped_block.h"
#include "platform/parallel.h"

#include <cstring>
#include <stdexcept>

namespace vtl::document {

namespace {

    // The palette index of a colour, found by walking the tree from the root.
    inline uint8_t Walk(const SplitNode* nodes, const uint8_t* bgr, const char* message)
    {
        const SplitNode* n = nodes;
        for (;;) {
            int value;
            switch (n->divideId) {
            case 0:
                value = bgr[2];
                break;
            case 1:
                value = bgr[1];
                break;
            case 2:
                value = bgr[0];
                break;
            case 3:
                // Pixels only reach the leaves their own colours made, and those hold a colour.
                if (n->paletteIndex < 0)
                    throw std::logic_error(message);
                return static_cast<uint8_t>(n->paletteIndex);
            default:
                throw std::logic_error(message);
            }
            n = nodes + (value <= n->threshold ? n->lower : n->upper);
        }
    }

    DibImage QuantiseHigh(const DibImage& source, int depth, QuantiseProgress* progress)
    {
        const char* const message = depth == 8 ? "ConvertTrueColorTo8BitRGBHigh: Invalid DivideID"
                                               : "ConvertTrueColorTo4BitRGBHigh: Invalid DivideID";
        if (source.info.biBitCount != 24 || source.info.biCompression != kBiRgb)
            throw EDIBBadDIBType(depth == 8
                    ? "ConvertTrueColorTo8BitRGBHigh: Invalid Bitcount or Compression"
                    : "ConvertTrueColorTo4BitRGBHigh: Invalid Bitcount or Compression");
        RequireFullPixelBlock(source);
        const uint16_t bitCount = depth == 8 ? 8 : 4;
        DibImage result = NewUncompressedLike(source, bitCount);

        const size_t width = static_cast<size_t>(source.info.biWidth);
        const size_t height = static_cast<size_t>(AbsHeight(source.info));
        const size_t inRow = StoredRowBytes(source.info);
        const size_t outRow = StoredRowBytes(result.info);

        std::vector<platform::RGBQuad> palette;
        std::vector<SplitNode> nodes;
        {
            // The copy the split reorders: three bytes a pixel, without the row padding.
            platform::MappedBlock copy(width * height * sizeof(SplitPixel));
            auto* pixels = reinterpret_cast<SplitPixel*>(copy.Data());
            static_assert(sizeof(SplitPixel) == 3);
            for (size_t y = 0; y < height; ++y)
                std::memcpy(pixels + y * width, source.bits.Data() + y * inRow, width * 3);
            nodes = VarianceSplit(std::span<SplitPixel>(pixels, width * height), depth,
                SplitVariant::High, palette, progress);
        }
        SetQuantisedPalette(result, palette);

        const SplitNode* tree = nodes.data();
        const uint8_t* in = source.bits.Data();
        uint8_t* outBits = result.bits.Data();
        platform::ForEachBand(int32_t(height), uint64_t(width) * uint64_t(height), 0,
            [&](int32_t first, int32_t last) {
                for (size_t y = size_t(first); y < size_t(last); ++y) {
                    const uint8_t* p = in + y * inRow;
                    uint8_t* out = outBits + y * outRow;
                    if (bitCount == 8) {
                        for (size_t x = 0; x < width; ++x, p += 3)
                            out[x] = Walk(tree, p, message);
                    } else {
                        for (size_t x = 0; x < width; ++x, p += 3) {
                            const uint8_t index = Walk(tree, p, message);
                            out[x / 2] |= (x & 1) ? index : static_cast<uint8_t>(index << 4);
                        }
                    }
                }
            });
        return result;
    }

} // namespace

DibImage ConvertTrueColorTo8BitRGBHigh(const DibImage& source, QuantiseProgress* progress)
{
    return QuantiseHigh(source, 8, progress);
}

DibImage ConvertTrueColorTo4BitRGBHigh(const DibImage& source, QuantiseProgress* progress)
{
    return QuantiseHigh(source, 4, progress);
}

} // namespace vtl::document
