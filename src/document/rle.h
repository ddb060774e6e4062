#pragma once
// Run-length coding of 8- and 4-bit pictures as BMP files store it (RLE8, RLE4).

#include "document/dib_image.h"
#include "platform/mapped_block.h"

#include <cstdint>
#include <span>

namespace vtl::document {

// Decode an RLE8 or RLE4 stream into a new zero-filled, bottom-up pixel block of `width` x
// `height` pixels (rows padded to 32 bits). Never reads past `data` and never writes outside the
// picture: data that would write beyond a row or below the last row throws EDIBInvalidDIB with
// the decoder's message. Data that ends without an end-of-bitmap code (or in the middle of a
// code) ends the picture there; what was decoded so far is kept and the rest stays zero.
// Throws EDIBInvalidDIB for a non-positive or oversized width or height.
platform::MappedBlock DecodeRle8(std::span<const uint8_t> data, int32_t width, int32_t height);
platform::MappedBlock DecodeRle4(std::span<const uint8_t> data, int32_t width, int32_t height);

// The decoding steps of the conversions: an RLE picture (8 bits with compression 1, 4 bits with
// compression 2, else EDIBBadDIBType) becomes an uncompressed bottom-up picture with the same
// colour table and colours used.
DibImage Convert8BitRLETo8BitRGB(const DibImage& source);
DibImage Convert4BitRLETo4BitRGB(const DibImage& source);

// The encoding steps: an uncompressed 8-bit (4-bit) picture becomes RLE8 (RLE4), bottom-up, with
// the same colour table and colours used. The encoding must fit into the size of the uncompressed
// pixel block, else EDIBCompressionFailed.
DibImage Convert8BitRGBTo8BitRLE(const DibImage& source);
DibImage Convert4BitRGBTo4BitRLE(const DibImage& source);

} // namespace vtl::document
