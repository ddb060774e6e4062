#pragma once
// Conversion of an image buffer's storage between pixel formats: expansion, colour quantisation,
// 8 to 4 bits, 1 bit by colour match, halftoning and RLE coding. Every conversion reads its
// source without changing it and builds the result in new pixel memory, so a failure leaves the
// caller's picture as it was.

#include "document/dib_image.h"
#include "platform/color.h"
#include "platform/progress.h"

#include <cstddef>
#include <cstdint>

namespace vtl::document {

struct ConversionOptions {
    // 0 = Low (histogram of 65 536 cells), 1 = High (every pixel through the split tree).
    // Any value other than 1 is taken as Low.
    uint8_t quantiseMode = 0;
    // The colour that becomes bit 1 in a conversion to plain 1 bit. System colours
    // (0x80000000 | index) are resolved first.
    platform::TColor oneBitColour = 0xFFFFFF;
};

// Converts `source` to `target` along the route table and returns the new storage.
//
// - When `target` equals the source's format the result is a plain copy of the source (new
//   pixel memory, same header and colour table); the image buffer is expected to check that case
//   itself and do nothing.
// - RLE sources are decoded first; results of RLE coding are bottom-up; every other result keeps
//   the source's row order (the sign of biHeight).
// - Conversions that quantise colours (24 bits to 4 or 8, 8 bits to 4, with or without RLE
//   afterwards) report progress: a starting report, one running report per leaf of the split tree
//   except the last, and an ending report that is given also when the conversion throws.
//   `progress` may be empty.
// - Throws the EDIBError family with the conversion steps' messages (EDIBCompressionFailed when
//   an RLE encoding does not fit, EDIBInvalidDIB for bad RLE data or a source whose pixel block is
//   smaller than its header needs) and std::bad_alloc when pixel memory can't be had. Every block
//   made on the way is released when it throws.
DibImage ConvertPixelFormat(const DibImage& source, DibPixelFormat target,
    const ConversionOptions& options, const platform::ProgressHandler& progress);

// The steps of the route table, for callers that need one on its own. Each checks the kind of
// its source and throws EDIBBadDIBType or EDIBInvalidDIB as the route table's steps do.

// A pixel becomes 1 when its colour (24 bits) or its palette entry's colour equals `oneBitColour`
// in red, green and blue; the result has the black-and-white palette.
DibImage ConvertTrueColorTo1BitRGB(const DibImage& source, platform::TColor oneBitColour);
DibImage Convert8BitTo1BitRGB(const DibImage& source, platform::TColor oneBitColour);
DibImage Convert4BitRGBTo1BitRGB(const DibImage& source, platform::TColor oneBitColour);

// Copies each pixel's index into a wider layout (4 or 8 bits) or writes its palette colour
// (24 bits); header fields other than the bit count and the colour table stay as they are.
DibImage ExpandPixels(const DibImage& source, uint16_t targetBitCount);

// The colour a TColor stands for, with system colours resolved, as 0x00BBGGRR.
platform::TColor ColorToRgb(platform::TColor color);

// ---- Building blocks shared by the conversion steps ----

// Bytes of one stored row of an uncompressed picture with this header.
size_t StoredRowBytes(const BitmapInfoHeader& info);
// Absolute height of the picture.
int32_t AbsHeight(const BitmapInfoHeader& info);
// Bytes the pixel block of an uncompressed picture with this header must hold; throws
// EDIBInvalidDIB when the header's size is unusable.
size_t UncompressedBlockSize(const BitmapInfoHeader& info);
// Throws EDIBInvalidDIB when the source's pixel block is smaller than its header needs.
void RequireFullPixelBlock(const DibImage& source);
// A new picture with the source's header and colour table, the given bit count, compression and
// row order (biHeight), holding `block` as its pixel block (biSizeImage is the block's size).
DibImage NewPictureLike(const DibImage& source, uint16_t bitCount, uint32_t compression,
    int32_t height, platform::MappedBlock block);
// A new zero-filled uncompressed picture of the source's size and row order with `bitCount` bits,
// the source's header fields and colour table.
DibImage NewUncompressedLike(const DibImage& source, uint16_t bitCount);

} // namespace vtl::document
