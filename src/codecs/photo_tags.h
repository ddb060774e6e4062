#pragma once
// What cameras and phones store beside a photo's pixels and the viewer must honour to show it as
// it was taken: the orientation (the Exif tag, or a HEIF picture's rotation and mirror) and the
// embedded colour profile. Read from the file's own structure (JPEG, PNG, TIFF, WebP, HEIF/AVIF)
// without decoding pixels, every length checked against the data; damaged tags read as absent.
// docs/photos.md says what is read from which format and in which order it is applied.

#include "platform/bitmap.h"

#include <cstddef>
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

    // False when neither is asked for: the tags need not be read at all.
    bool Any() const { return upright || trueColours; }
};

struct PhotoTags {
    // The Exif orientation, 1 (as stored) to 8; anything else reads as 1.
    int orientation = 1;
    // The embedded ICC profile, whole (a JPEG's pieces joined); empty when there is none.
    std::vector<uint8_t> iccProfile;
};

// The largest embedded profile taken (joined or inflated); a larger one is ignored.
inline constexpr size_t kMaxProfileBytes = size_t(16) << 20;

// The tags of a file, found by its first bytes; nothing for other formats or unreadable files.
// From a file only the structure in front of the pixels is read (a JPEG's markers up to the first
// scan, a PNG's chunks up to IDAT, a TIFF's first directory, ...), never the whole file.
PhotoTags ReadPhotoTags(const std::filesystem::path& file);
PhotoTags ReadPhotoTags(std::span<const uint8_t> data);

// True for the orientations (5 to 8) that exchange width and height.
inline bool OrientationSwapsSides(int orientation) { return orientation >= 5 && orientation <= 8; }

// Turns the picture as the orientation says (2 mirrored, 3 half turn, 6 a quarter turn clockwise,
// ...), so that its first row is the top of the scene. Every pixel format; palette pictures keep
// their palette and indices. Mirrors and the half turn work in place; a quarter turn needs one
// picture-sized copy. Values outside 2..8 change nothing.
void ApplyOrientation(platform::TBitmap& bitmap, int orientation);

// Whether MakePhotoUpright has anything to do: an orientation to apply or a profile to convert
// from, as `options` ask.
inline bool WouldChange(const PhotoTags& tags, const PhotoOptions& options)
{
    return (options.upright && tags.orientation >= 2 && tags.orientation <= 8)
        || (options.trueColours && !tags.iccProfile.empty());
}

// Orientation and profile applied as `options` ask. Returns true when the picture changed.
bool MakePhotoUpright(
    platform::TBitmap& bitmap, const PhotoTags& tags, const PhotoOptions& options);

} // namespace vtl::codecs
