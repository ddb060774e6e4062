#pragma once
// BMP files and packed DIBs to and from the image buffer's storage.

#include "document/dib_image.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace vtl::platform {
class TStream;
}

namespace vtl::document {

struct TInternalDIB;

// Where a packed DIB came from: the messages of its errors differ.
enum class PackedDibOrigin { Clipboard, ScannerBlock };

// Reads a BMP file from the stream's position. Throws the EDIBError family or EReadError; the
// blocks made on the way are released then.
DibImage ReadBmpFile(platform::TStream& stream);
// Reads a packed DIB (info header, colour table, pixels) from a memory block. At most 256
// colour-table entries are taken; the pixels follow them.
DibImage ReadPackedDib(std::span<const uint8_t> block, PackedDibOrigin origin);

// The size and depth a BMP file's headers claim, from its first bytes (54 are enough), without
// reading the pixels: what the picture will be once loaded (16 and 32 bits become 24). Nothing
// when the bytes don't start as a BMP file does.
struct BmpSize {
    int64_t width = 0;
    int64_t height = 0;
    int bitsPerPixel = 0;
};
std::optional<BmpSize> PeekBmpSize(std::span<const uint8_t> head);
std::optional<BmpSize> PeekBmpFileSize(const std::filesystem::path& path);

void WriteBmpFile(const TInternalDIB& dib, platform::TStream& stream);
std::vector<uint8_t> PackDib(const TInternalDIB& dib);

// Turns 16- or 32-bit rows into 24-bit ones with the buffer's mask rule; exposed for tests.
// Throws EDIBInvalidDIB "TInternalDIB.LoadFromStream: Invalid Masks" for a zero mask.
struct MaskChannel {
    uint32_t mask = 0;
    int shift = 0; // right shift (negative: left) that brings the mask into 128..255
    uint32_t scaled = 0; // the mask so shifted
    uint8_t Extract(uint32_t pixel) const
    {
        uint32_t v = shift >= 0 ? (pixel & mask) >> shift : (pixel & mask) << -shift;
        return static_cast<uint8_t>(uint64_t(v) * 255 / scaled);
    }
};
MaskChannel MakeMaskChannel(uint32_t mask);

} // namespace vtl::document
