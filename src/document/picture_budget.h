#pragma once
// The memory budget checks of the built-in readers, made from what a file's header claims
// before its pixels are allocated or read. Each throws platform::EPictureTooLarge when the
// picture would cost more than the budget; a header that doesn't read is left for the reader to
// refuse.

#include "codecs/jpeg_decoder.h"
#include "codecs/png_image.h"
#include "document/dib_bmp.h"
#include "platform/memory_budget.h"

#include <optional>

namespace vtl::document {

// BMP pictures keep their depth (16 and 32 bits become 24); a run-length picture stays
// compressed while it loads, but uncompressed pixels come whole, so the header is what counts.
inline void RequireBmp(const platform::MemoryBudget& budget, const std::optional<BmpSize>& size)
{
    if (size)
        budget.Require(platform::OpeningCost(size->width, size->height, size->bitsPerPixel));
}

// JPEG pictures come out in 24 bits, at the size of the scale they are decoded at.
inline void RequireJpeg(const platform::MemoryBudget& budget, const codecs::JpegSize& size)
{
    budget.Require(platform::OpeningCost(size.width, size.height, 24));
}

// PNG pictures may carry a mask beside the bitmap: 4 bytes a pixel in all.
inline void RequirePng(
    const platform::MemoryBudget& budget, const std::optional<codecs::PngSize>& size)
{
    if (size)
        budget.Require(platform::OpeningCost(size->width, size->height, 32));
}

} // namespace vtl::document
