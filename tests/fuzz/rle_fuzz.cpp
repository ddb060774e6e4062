// Both RLE decoders on arbitrary data. The first three bytes choose the picture: width 1..256,
// height 1..64, and 8 or 4 bits; the rest is the compressed stream. Whatever decodes is encoded
// again, and when that encoding fits it must decode to the same pixels.
#include "document/dib_errors.h"
#include "document/rle.h"
#include "platform/checked.h"

#include <cstdlib>
#include <cstring>
#include <span>

using namespace vtl;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size < 3)
        return 0;
    const int32_t width = 1 + data[0];
    const int32_t height = 1 + data[1] % 64;
    const bool four = data[2] & 1;
    const std::span<const uint8_t> stream(data + 3, size - 3);
    try {
        document::DibImage plain;
        plain.info.biWidth = width;
        plain.info.biHeight = height;
        plain.info.biBitCount = four ? 4 : 8;
        plain.bits = four ? document::DecodeRle4(stream, width, height)
                          : document::DecodeRle8(stream, width, height);
        const size_t expected = *platform::BmpRowBytes(width, plain.info.biBitCount) * height;
        if (plain.bits.Size() != expected)
            std::abort();
        document::DibImage rle;
        try {
            rle = four ? document::Convert4BitRGBTo4BitRLE(plain)
                       : document::Convert8BitRGBTo8BitRLE(plain);
        } catch (const document::EDIBCompressionFailed&) {
            return 0;
        }
        document::DibImage again = four ? document::Convert4BitRLETo4BitRGB(rle)
                                        : document::Convert8BitRLETo8BitRGB(rle);
        // The decoder never writes past a row's last pixel, so the padding is zero in both and
        // whole blocks compare.
        if (again.bits.Size() != plain.bits.Size()
            || std::memcmp(again.bits.Data(), plain.bits.Data(), plain.bits.Size()) != 0)
            std::abort();
    } catch (const document::EDIBError&) {
    }
    return 0;
}
