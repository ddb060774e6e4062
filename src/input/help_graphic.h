#pragma once
// The help-graphic reader (".shg" segmented hypergraphics and the multi-resolution files of the
// same layout). Only the first picture of a file is read; hotspots are not. A bitmap picture
// becomes a BMP stream that the display bitmap loads; a metafile picture is handed, as a
// placeable metafile, to a player that draws it onto a 24-bit bitmap.

#include "input/metafile_records.h"
#include "platform/bitmap.h"
#include "platform/byte_reader.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <vector>

namespace vtl::input {

// Draws a metafile onto a bitmap with the picture's frame at the bitmap's top-left corner and
// its bounds mapped to the bitmap's size. The render layer provides the real one.
class IMetafilePlayer {
public:
    virtual ~IMetafilePlayer() = default;
    virtual void Play(const WmfPicture& picture, platform::TBitmap& bitmap) = 0;
};

// The two variable-length integers of the format. Both throw EReadError at the end of the data.
// Compressed word: 1 byte for 0..127, else 2 bytes, up to 32767.
uint16_t ReadCompressedWord(platform::ByteReader& reader);
// Compressed double word: 2 bytes for 0..32767, else 4 bytes.
uint32_t ReadCompressedDWord(platform::ByteReader& reader);

// Run-length unpacking of `packed`: a control byte n >= 0x80 is followed by n - 0x80 bytes to
// copy; a smaller n by one byte to repeat n times. Stops when the data is used up, also in the
// middle of a group, or when `limit` bytes have been produced.
std::vector<uint8_t> UnpackRunLength(
    std::span<const uint8_t> packed, size_t limit = static_cast<size_t>(-1));

enum class HelpGraphicType : uint8_t { Bitmap = 6, Metafile = 8 };

// The first picture of a help-graphic file, turned into what the bitmap or the player reads.
struct HelpGraphicPicture {
    uint8_t type = 0;
    uint8_t packing = 0;
    // Type 6: a complete BMP file.
    std::vector<uint8_t> bmpStream;
    // Type 8: a placeable metafile (22-byte header, then the metafile) and the picture's size in
    // pixels at 96 dots per inch.
    std::vector<uint8_t> placeableMetafile;
    int32_t pixelWidth = 0;
    int32_t pixelHeight = 0;
};

// Reads the file's header and first picture. nullopt when the magic or the packing method is
// wrong (a file too short to hold a magic has a wrong one). Fields that the data cut short throw
// EReadError; picture data that is cut short ends where the data does.
std::optional<HelpGraphicPicture> ParseHelpGraphic(std::span<const uint8_t> file);

// The placeable header for a metafile of width x height pixels (96 units per inch).
std::vector<uint8_t> PlaceableHeader(int32_t width, int32_t height);

// Read help graphic: fills `bitmap` with the file's first picture. true when the file was read,
// also when its picture is of neither kind (the bitmap stays unchanged then); false, with the
// bitmap untouched, when the magic or the packing method is wrong. A metafile is drawn by
// `player` (may be null: the bitmap then only gets its size and white pixels). Errors of the
// bitmap's reader and EReadError pass through; the bitmap is unchanged then.
bool ReadHelpGraphic(
    platform::TBitmap& bitmap, std::span<const uint8_t> file, IMetafilePlayer* player);
bool ReadHelpGraphicFile(
    platform::TBitmap& bitmap, const std::filesystem::path& fileName, IMetafilePlayer* player);

} // namespace vtl::input
