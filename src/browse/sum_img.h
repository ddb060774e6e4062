#pragma once
// The thumbnail store: an ordered list of thumbnails of one size, each kept as the raw 8-bit
// pixel block of a halftoned W x H picture. The shared halftone palette is never stored per
// thumbnail, so drawing a cell is one copy and one unscaled draw.

#include "browse/thumb_size.h"
#include "document/dib.h"
#include "platform/bitmap.h"
#include "platform/geometry.h"

#include <cstdint>
#include <span>
#include <vector>

namespace vtl::platform {
class TStream;
}

namespace vtl::browse {

class TSumImg {
public:
    // A store for thumbnails of width x height (both positive).
    TSumImg(int32_t width, int32_t height);
    explicit TSumImg(ThumbSize size)
        : TSumImg(size.width, size.height)
    {
    }

    int32_t Width() const { return m_width; }
    int32_t Height() const { return m_height; }
    ThumbSize Size() const { return { m_width, m_height }; }
    // Bytes of one thumbnail: the rows of the halftoned working buffer.
    uint32_t BlockSize() const { return m_blockSize; }

    // Halftones the picture (stretched to W x H first when it has another size) and appends its
    // pixels. With writeBack the bitmap becomes the halftoned picture, so that the caller shows
    // exactly what was stored. Any failure gives false and appends nothing.
    bool Add(platform::TBitmap& bitmap, bool writeBack);
    // Frees the thumbnail at `index`; an index outside the list is ignored.
    void Delete(int index);
    int Count() const { return int(m_blocks.size()); }
    void Clear() { m_blocks.clear(); }

    // Thumbnail `index` with its top-left corner at (x, y), unscaled. An index outside the list
    // draws nothing.
    void Draw(platform::TCanvas& canvas, int32_t x, int32_t y, int index);

    // The strip picture of the cache file: an 8-bit BMP in the halftone palette with the
    // thumbnails in a grid of `columns` columns, or, for 0 or less, 5 or fewer in one row, up to
    // 36 in rows of 6, more in rows of 12. Cells after the last thumbnail are black.
    void SaveToStream(platform::TStream& stream, int columns) const;
    // Clears the store, then for n > 0 reads a strip picture and cuts thumbnails 0 to n - 1 from
    // it, picture width div W to a row. A strip that is not an uncompressed 8-bit picture, or too
    // small for n cells, throws EThumbCacheDamaged with the store left empty; the stream's and the
    // image buffer's own errors leave it empty too.
    void LoadFromStream(platform::TStream& stream, int n);
    // The same from a strip's bytes in memory. A strip as this program writes it (40-byte header,
    // 8 bits, uncompressed, pixels right after the colour table) is cut where it lies; any other
    // goes through LoadFromStream.
    void LoadFromBytes(std::span<const uint8_t> bmpFile, int n);

    // Columns of the strip for n thumbnails by the automatic rule.
    static int AutoColumns(int n);

    // Thumbnail `index`'s pixels: rows bottom-up, as in a BMP file, W bytes each (plus padding
    // when W is not a multiple of 4). Throws std::out_of_range for an index outside the list.
    std::span<const uint8_t> Block(int index) const { return m_blocks.at(size_t(index)); }
    // Appends a block as it is; false when it is not BlockSize bytes.
    bool AddBlock(std::span<const uint8_t> block);

private:
    size_t RowBytes() const { return m_blockSize / size_t(m_height); }
    // Cuts thumbnails 0 to n - 1 from 8-bit strip rows (bottom-up unless topDown).
    void CutStrip(
        std::span<const uint8_t> bits, int32_t width, int32_t height, bool topDown, int n);

    int32_t m_width;
    int32_t m_height;
    std::vector<std::vector<uint8_t>> m_blocks;
    document::TDibEx m_work; // W x H, 8 bits in the halftone palette, rows bottom-up
    platform::TBitmap m_scratch; // W x H, for pictures of another size
    uint32_t m_blockSize = 0;
};

// Fits a decoded picture into a thumbnail: `work` becomes a white 24-bit W x H bitmap with the
// picture stretched into its middle, never enlarged, keeping its shape. Returns the rectangle it
// was drawn into. When W - w is odd the drawn rectangle is one pixel wider than the fitted width,
// and likewise for the height: the margins are both rounded down, and that is the rule.
platform::TRect FitPicture(
    const platform::TBitmap& picture, platform::TBitmap& work, ThumbSize size);
platform::TRect FitPicture(const document::TDIB& picture, platform::TBitmap& work, ThumbSize size);
// The rectangle alone, for a picture of width x height.
platform::TRect FittedRect(int32_t width, int32_t height, ThumbSize size);

} // namespace vtl::browse
