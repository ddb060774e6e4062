#pragma once
// The hand-over at the end of an operation, for results as large as the picture: the old picture
// itself moves into the undo picture instead of being copied there. Moves cannot fail, so as with
// ReplacePicture an operation that throws before this point has changed nothing.

#include "platform/bitmap.h"

#include <utility>

namespace vtl::processing {

inline void HandOver(
    platform::TBitmap& picture, platform::TBitmap* undo, platform::TBitmap&& result)
{
    if (undo)
        *undo = std::move(picture);
    picture = std::move(result);
    picture.Modified = true;
}

} // namespace vtl::processing
