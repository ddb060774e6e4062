#pragma once
// What cameras and phones store beside a photo's pixels and the viewer must honour to show it as
// it was taken: the orientation (the Exif tag, or a HEIF picture's rotation and mirror) and the
// embedded colour profile. Read from the file's own structure (JPEG, PNG, TIFF, WebP, HEIF/AVIF)
// without decoding pixels, every length checked against the data; damaged tags read as absent.

#include "platform/bitmap.h"

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

namespace vtl::codecs {

// Whether a picture is turned upright and converted to sRGB as it is read (the settings, and
// vtlc's --keep-orientation and --keep-colours).
struct PhotoOptions {
    bool upright = true;
    bool trueColours = true;
};

struct PhotoTags {
    // The Exif orientation, 1 (as stored) to 8; anything else reads as 1.
    int orientation = 1;
    // The embedded ICC profile, whole (a JPEG's pieces joined); empty when there is none.
    std::vector<uint8_t> iccProfile;
};

// The tags of a file, found by its first bytes; nothing for other formats or unreadable files.
PhotoTags ReadPhotoTags(const std::filesystem::path& file);
PhotoTags ReadPhotoTags(std::span<const uint8_t> data);

// Turns the picture as the orientation says (2 mirrored, 3 half turn, 6 a quarter turn clockwise,
// ...), so that its first row is the top of the scene.
void ApplyOrientation(platform::TBitmap& bitmap, int orientation);

// Orientation and profile applied as `options` ask. Returns true when the picture changed.
bool MakePhotoUpright(platform::TBitmap& bitmap, const PhotoTags& tags, const PhotoOptions& options);

} // namespace vtl::codecs
