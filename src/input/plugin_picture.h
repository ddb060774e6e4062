#pragma once
// Turning what a picture plug-in's GetPicture returned (an info header with its colour table, and
// the pixel rows) into an image buffer, through a BMP stream built from the two blocks.

#include "document/dib.h"

#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace vtl::input {

// Plug-in output that can't be a picture: a depth other than 1, 4, 8, 16, 24 or 32 bits, a
// header or colour table larger than the info block, pixel data larger than the pixel block.
class EPluginPicture : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The BMP file made from the two blocks: "BM", the sizes, the 40-byte header, the colour table
// (4 x colours used bytes, or when that is 0, 4 x 2^bits for up to 8 bits and none above) and
// the pixel data (the header's image size, or when that is 0, the rows of the picture). Every size
// is checked against the block it comes from; nothing is read beyond a block. Throws
// EPluginPicture.
std::vector<uint8_t> BmpStreamFromPluginBlocks(
    std::span<const uint8_t> info, std::span<const uint8_t> bits);

// The picture of the two blocks loaded into `dib`. Throws EPluginPicture, or the image buffer's
// own errors when the stream is not a picture it takes; `dib` is unchanged then.
void PictureFromPluginBlocks(
    std::span<const uint8_t> info, std::span<const uint8_t> bits, document::TDIB& dib);

// Pictures above this width plus height are refused before they are decoded.
inline constexpr int64_t kMaxPluginPictureSides = 10240;

} // namespace vtl::input
