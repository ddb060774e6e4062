#include "browse/sum_img.h"

#include "browse/pair_coder.h"
#include "document/dib_image.h"
#include "document/fixed_palettes.h"
#include "platform/checked.h"
#include "platform/stream.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

namespace vtl::browse {

using document::DibImage;
using document::DibPixelFormat;
using platform::TBitmap;
using platform::TRect;

namespace {

    // An uncompressed 8-bit picture in the halftone palette, rows bottom-up, pixels zero.
    DibImage HalftonePicture(int32_t width, int32_t height)
    {
        auto rowBytes = platform::BmpRowBytes(width, 8);
        if (width <= 0 || height <= 0 || !rowBytes
            || uint64_t(*rowBytes) * uint64_t(height) > platform::kMaxPictureBytes)
            throw std::invalid_argument("thumbnail picture size");
        DibImage image;
        image.info.biWidth = width;
        image.info.biHeight = height;
        image.info.biBitCount = 8;
        image.info.biCompression = document::kBiRgb;
        image.info.biClrUsed = document::kHalftoneColours;
        auto palette = document::HalftonePalette();
        std::copy(palette.begin(), palette.end(), image.colorTable.begin());
        image.bits = platform::MappedBlock(size_t(*rowBytes) * size_t(height));
        image.info.biSizeImage = uint32_t(image.bits.Size());
        return image;
    }

} // namespace

TSumImg::TSumImg(int32_t width, int32_t height)
    : m_width(width)
    , m_height(height)
    , m_scratch(width, height, platform::TPixelFormat::pf24bit)
{
    m_work.ReplaceImage(HalftonePicture(width, height));
    m_blockSize = m_work.PixelBlockSize();
}

bool TSumImg::Add(TBitmap& bitmap, bool writeBack)
{
    if (bitmap.Empty())
        return false;
    try {
        const TBitmap* source = &bitmap;
        if (bitmap.Width() != m_width || bitmap.Height() != m_height) {
            m_scratch.Canvas().CopyMode = platform::rop::kSrcCopy;
            m_scratch.Canvas().StretchDraw(platform::Rect(0, 0, m_width, m_height), bitmap);
            source = &m_scratch;
        }
        document::TDibEx work;
        work.Assign(*source);
        work.SetPixelFormat(DibPixelFormat::DibHalftone);
        if (work.Width() != m_width || work.Height() != m_height
            || work.PixelBlockSize() != m_blockSize)
            return false;
        std::vector<uint8_t> block(m_blockSize);
        work.ReadPixelBlock(block);
        if (work.TopDown()) {
            // Blocks are kept bottom-up whatever order the conversion gave.
            const size_t rowBytes = RowBytes();
            for (int32_t y = 0; y < m_height / 2; ++y)
                std::swap_ranges(block.begin() + ptrdiff_t(y * rowBytes),
                    block.begin() + ptrdiff_t((y + 1) * rowBytes),
                    block.begin() + ptrdiff_t((m_height - 1 - y) * rowBytes));
        }
        m_work.WritePixelBlock(block);
        TBitmap shown;
        if (writeBack)
            m_work.AssignTo(shown);
        m_blocks.push_back(std::move(block));
        if (writeBack)
            bitmap = std::move(shown);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

bool TSumImg::AddBlock(std::span<const uint8_t> block)
{
    if (block.size() != m_blockSize)
        return false;
    m_blocks.emplace_back(block.begin(), block.end());
    return true;
}

void TSumImg::Delete(int index)
{
    if (index < 0 || index >= Count())
        return;
    m_blocks.erase(m_blocks.begin() + index);
}

void TSumImg::Draw(platform::TCanvas& canvas, int32_t x, int32_t y, int index)
{
    if (index < 0 || index >= Count())
        return;
    m_work.WritePixelBlock(m_blocks[size_t(index)]);
    m_work.Draw(canvas, platform::Rect(x, y, x + m_width, y + m_height));
}

int TSumImg::AutoColumns(int n)
{
    if (n <= 5)
        return n;
    if (n <= 36)
        return 6;
    return 12;
}

void TSumImg::SaveToStream(platform::TStream& stream, int columns) const
{
    const int n = Count();
    int c = columns > 0 ? columns : AutoColumns(n);
    // An empty store still writes one blank cell: a picture can't be 0 wide.
    c = std::max(c, 1);
    const int rows = n > 0 ? (n - 1) / c + 1 : 1;
    auto stripWidth = platform::CheckedMul<int64_t>(c, m_width);
    auto stripHeight = platform::CheckedMul<int64_t>(rows, m_height);
    if (!stripWidth || !stripHeight || *stripWidth > platform::kMaxPictureSide
        || *stripHeight > INT32_MAX)
        throw std::length_error("thumbnail strip too large");
    DibImage strip = HalftonePicture(int32_t(*stripWidth), int32_t(*stripHeight));
    const size_t stripRow = *platform::BmpRowBytes(strip.info.biWidth, 8);
    const size_t rowBytes = RowBytes();
    uint8_t* bits = strip.bits.Data();
    for (int i = 0; i < n; ++i) {
        const uint8_t* block = m_blocks[size_t(i)].data();
        const size_t left = size_t(i % c) * size_t(m_width);
        // Cell row 0 is the top of the picture; both the strip and the blocks are bottom-up.
        const size_t bottomRow = size_t(*stripHeight) - size_t(i / c + 1) * size_t(m_height);
        for (int32_t y = 0; y < m_height; ++y)
            std::memcpy(bits + (bottomRow + size_t(y)) * stripRow + left,
                block + size_t(y) * rowBytes, size_t(m_width));
    }
    document::TDIB picture;
    picture.ReplaceImage(std::move(strip));
    picture.SaveToStream(stream);
}

void TSumImg::LoadFromStream(platform::TStream& stream, int n)
{
    Clear();
    if (n <= 0)
        return;
    document::TDIB strip;
    strip.LoadFromStream(stream);
    if (strip.PixelFormat() != DibPixelFormat::Dib8Bit)
        throw EThumbCacheDamaged();
    const document::TInternalDIB& internal = strip.Internal();
    CutStrip(internal.Image.bits.Bytes(), internal.Width, internal.Height, strip.TopDown(), n);
}

void TSumImg::LoadFromBytes(std::span<const uint8_t> bmpFile, int n)
{
    Clear();
    if (n <= 0)
        return;
    // The strips this program writes are read in place; anything else goes through the image
    // buffer's reader, which knows every form of BMP file.
    platform::ByteReader in(bmpFile);
    try {
        if (in.u16le() == 0x4D42) { // "BM"
            in.Seek(10);
            const uint32_t offBits = in.u32le();
            const uint32_t headerSize = in.u32le();
            const int32_t width = in.i32le();
            const int32_t height = in.i32le();
            const uint16_t planes = in.u16le();
            const uint16_t bitCount = in.u16le();
            const uint32_t compression = in.u32le();
            in.Skip(12);
            const uint32_t coloursUsed = in.u32le();
            const uint64_t tableEnd = 54 + 4 * uint64_t(coloursUsed == 0 ? 256 : coloursUsed);
            auto rowBytes = platform::BmpRowBytes(width, 8);
            const uint64_t rows = height < 0 ? uint64_t(-int64_t(height)) : uint64_t(height);
            if (headerSize == 40 && planes == 1 && bitCount == 8 && compression == document::kBiRgb
                && coloursUsed <= 256 && offBits == tableEnd && width > 0 && height != 0 && rowBytes
                && rows <= uint64_t(platform::kMaxPictureSide)
                && uint64_t(*rowBytes) * rows
                    <= bmpFile.size() - std::min<uint64_t>(offBits, bmpFile.size())) {
                CutStrip(bmpFile.subspan(offBits, size_t(*rowBytes * rows)), width, int32_t(rows),
                    height < 0, n);
                return;
            }
        }
    } catch (const platform::EReadError&) {
    }
    platform::TSpanStream stream(bmpFile);
    LoadFromStream(stream, n);
}

void TSumImg::CutStrip(
    std::span<const uint8_t> bits, int32_t width, int32_t height, bool topDown, int n)
{
    const int64_t columns = width / m_width;
    if (columns < 1)
        throw EThumbCacheDamaged();
    const int64_t rows = (int64_t(n) - 1) / columns + 1;
    if (rows * m_height > height)
        throw EThumbCacheDamaged();
    const size_t stripRow = *platform::BmpRowBytes(width, 8);
    if (bits.size() / stripRow < size_t(height))
        throw EThumbCacheDamaged();

    const size_t rowBytes = RowBytes();
    std::vector<std::vector<uint8_t>> blocks;
    blocks.reserve(size_t(n));
    for (int i = 0; i < n; ++i) {
        std::vector<uint8_t> block(m_blockSize);
        const size_t left = size_t(i % columns) * size_t(m_width);
        const int64_t top = (i / columns) * m_height;
        for (int32_t y = 0; y < m_height; ++y) {
            // y counts block rows from the bottom of the cell.
            const int64_t fromTop = top + (m_height - 1 - y);
            const int64_t memoryRow = topDown ? fromTop : height - 1 - fromTop;
            std::memcpy(block.data() + size_t(y) * rowBytes,
                bits.data() + size_t(memoryRow) * stripRow + left, size_t(m_width));
        }
        blocks.push_back(std::move(block));
    }
    m_blocks = std::move(blocks);
}

TRect FittedRect(int32_t width, int32_t height, ThumbSize size)
{
    int64_t w = width;
    int64_t h = height;
    const int64_t W = size.width;
    const int64_t H = size.height;
    if (4 * h < 3 * w) {
        if (w > W) {
            h = h * W / w;
            w = W;
        }
    } else if (h > H) {
        w = w * H / h;
        h = H;
    }
    const int32_t mx = int32_t((W - w) / 2);
    const int32_t my = int32_t((H - h) / 2);
    return platform::Rect(mx, my, size.width - mx, size.height - my);
}

namespace {

    TBitmap& WhiteGround(TBitmap& work, ThumbSize size)
    {
        work = TBitmap(size.width, size.height, platform::TPixelFormat::pf24bit);
        work.Canvas().Brush.Color = 0xFFFFFF;
        work.Canvas().Brush.Style = platform::TBrushStyle::bsSolid;
        work.Canvas().FillRect(platform::Rect(0, 0, size.width, size.height));
        return work;
    }

} // namespace

TRect FitPicture(const TBitmap& picture, TBitmap& work, ThumbSize size)
{
    TRect rect = FittedRect(picture.Width(), picture.Height(), size);
    WhiteGround(work, size).Canvas().StretchDraw(rect, picture);
    return rect;
}

TRect FitPicture(const document::TDIB& picture, TBitmap& work, ThumbSize size)
{
    TRect rect = FittedRect(picture.Width(), picture.Height(), size);
    picture.Draw(WhiteGround(work, size).Canvas(), rect);
    return rect;
}

} // namespace vtl::browse
