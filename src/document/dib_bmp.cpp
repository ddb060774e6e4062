// BMP files and packed DIBs: the image buffer's reading and writing.

#include "document/dib_bmp.h"

#include "document/dib.h"
#include "document/dib_errors.h"
#include "platform/byte_reader.h"
#include "platform/checked.h"
#include "platform/stream.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>

namespace vtl::document {

using platform::ByteReader;
using platform::EReadError;

MaskChannel MakeMaskChannel(uint32_t mask)
{
    if (mask == 0)
        throw EDIBInvalidDIB("TInternalDIB.LoadFromStream: Invalid Masks");
    MaskChannel c;
    c.mask = mask;
    int highest = 31 - __builtin_clz(mask);
    c.shift = highest - 7;
    c.scaled = c.shift >= 0 ? mask >> c.shift : mask << -c.shift;
    return c;
}

namespace {

    constexpr uint32_t kFileHeaderBytes = 14;
    // What follows a packed DIB's info header before its pixels: three masks and 256 entries.
    constexpr uint64_t kMaxPackedTableBytes = 12 + 256 * 4;

    // The messages of one reader; the file reader and the two packed-DIB readers word them
    // differently.
    struct Messages {
        const char* headerSize;
        const char* widthHeight;
        const char* bitCount40;
        const char* bitCount12;
    };

    constexpr Messages kFileMessages { "TInternalDIB.LoadFromStream: Invalid Bitmap Header Size",
        "TInternalDIB.LoadFromStream: Invalid Width or Height",
        "TInternalDIB.LoadFromStream: Invalid BitCout",
        "TInternalDIB.LoadFromStream: Invalid BitCount" };
    constexpr Messages kClipboardMessages { "TDIB.LoadFromClipboardFormat: Invalid Clipboard Data",
        "TInternalDIB.LoadFromStream: Invalid Width or Height",
        "TInternalDIB.LoadFromClipboardFormat: Invalid biBitCount",
        "TInternalDIB.LoadFromClipboardFormat: Invalid biBitCount" };
    constexpr Messages kScannerMessages { "TInternalDIB.LoadFromDIB: Invalid Bitmap Header Size",
        "TInternalDIB.LoadFromDIB: Invalid Width or Height",
        "TInternalDIB.LoadFromDIB: Invalid BitCout", "TInternalDIB.LoadFromDIB: Invalid BitCount" };

    bool IsInfoHeaderSize(uint32_t size)
    {
        // Version 4 and 5 headers begin with the 40-byte header and carry the masks inside
        // themselves; the rest (colour space, gamma, profile) is not used.
        return size == 40 || size == 108 || size == 124;
    }

    struct Header {
        BitmapInfoHeader info;
        uint32_t headerSize = 40;
        uint32_t colorsUsed = 0; // as the file says, after the 0 rule
        bool core = false;
        std::array<uint32_t, 3> masks {};
        bool masksInHeader = false;
    };

    // Parses the header that follows the 4-byte size (`rest` holds size - 4 bytes).
    Header ParseHeader(uint32_t headerSize, std::span<const uint8_t> rest, const Messages& messages)
    {
        Header h;
        h.headerSize = headerSize;
        ByteReader r(rest);
        BitmapInfoHeader& info = h.info;
        if (headerSize == 12) {
            h.core = true;
            info.biWidth = r.u16le();
            info.biHeight = r.u16le();
            r.u16le(); // planes
            info.biBitCount = r.u16le();
            uint16_t bits = info.biBitCount;
            if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
                throw EDIBInvalidDIB(messages.bitCount12);
            h.colorsUsed = bits == 24 ? 0 : 1u << bits;
            info.biSize = 40;
            info.biPlanes = 1;
            info.biCompression = kBiRgb;
            info.biSizeImage = 0;
            info.biXPelsPerMeter = kDefaultPelsPerMeter;
            info.biYPelsPerMeter = kDefaultPelsPerMeter;
            info.biClrUsed = h.colorsUsed;
            info.biClrImportant = 0;
            return h;
        }
        if (!IsInfoHeaderSize(headerSize))
            throw EDIBInvalidDIB(messages.headerSize);
        info.biSize = 40;
        info.biWidth = r.i32le();
        info.biHeight = r.i32le();
        info.biPlanes = r.u16le();
        info.biBitCount = r.u16le();
        info.biCompression = r.u32le();
        info.biSizeImage = r.u32le();
        info.biXPelsPerMeter = r.i32le();
        info.biYPelsPerMeter = r.i32le();
        info.biClrUsed = r.u32le();
        info.biClrImportant = r.u32le();
        if (info.biXPelsPerMeter == 0)
            info.biXPelsPerMeter = kDefaultPelsPerMeter;
        if (info.biYPelsPerMeter == 0)
            info.biYPelsPerMeter = kDefaultPelsPerMeter;
        uint16_t bits = info.biBitCount;
        if (bits != 1 && bits != 4 && bits != 8 && bits != 16 && bits != 24 && bits != 32)
            throw EDIBInvalidDIB(messages.bitCount40);
        if (info.biClrUsed == 0 && bits <= 8)
            info.biClrUsed = 1u << bits;
        h.colorsUsed = info.biClrUsed;
        if (headerSize > 40) {
            for (uint32_t& m : h.masks)
                m = r.u32le();
            h.masksInHeader = true;
        }
        return h;
    }

    // Refuses combinations of bit count and compression that no later operation could use.
    // 16 and 32 bits take masks only with bit fields; nothing else takes bit fields.
    void CheckCompression(const Header& h)
    {
        const BitmapInfoHeader& info = h.info;
        if (info.biBitCount == 16 || info.biBitCount == 32) {
            if (info.biCompression != kBiRgb && info.biCompression != kBiBitfields)
                throw EDIBInvalidDIB("TInternalDIB.LoadFromStream: Invalid Masks");
            return;
        }
        PixelFormatOf(info); // throws "TInternalDIB.GetPixelFormat: Invalid DIB(...)"
    }

    void CheckSize(const Header& h, const Messages& messages)
    {
        const BitmapInfoHeader& info = h.info;
        if (info.biWidth <= 0 || info.biHeight == 0 || info.biHeight == INT32_MIN)
            throw EDIBInvalidDIB(messages.widthHeight);
        // Run-length data is decoded bottom-up only.
        bool rle = info.biCompression == kBiRle4 || info.biCompression == kBiRle8;
        if (rle && info.biHeight < 0)
            throw EDIBInvalidDIB(messages.widthHeight);
        int64_t height = info.biHeight < 0 ? -int64_t(info.biHeight) : info.biHeight;
        if (info.biWidth > platform::kMaxPictureSide || height > platform::kMaxPictureSide)
            throw EDIBInvalidDIB(messages.widthHeight);
        auto rowBytes = platform::BmpRowBytes(info.biWidth, info.biBitCount);
        if (!rowBytes || uint64_t(*rowBytes) * uint64_t(height) > platform::kMaxPictureBytes)
            throw EDIBInvalidDIB(messages.widthHeight);
    }

    uint32_t AbsoluteHeight(const BitmapInfoHeader& info)
    {
        return info.biHeight < 0 ? uint32_t(-int64_t(info.biHeight)) : uint32_t(info.biHeight);
    }

    // Colour table entries from raw bytes of 3 (core) or 4 bytes each.
    void StoreTable(DibImage& image, std::span<const uint8_t> raw, size_t count, size_t entryBytes)
    {
        for (size_t i = 0; i < count && i < 256; ++i)
            image.colorTable[i]
                = { raw[i * entryBytes], raw[i * entryBytes + 1], raw[i * entryBytes + 2], 0 };
    }

    using RowSource = std::function<void(uint8_t* destination, size_t bytes)>;

    // Builds the pixel block: 1, 4, 8 and 24 bits as they are (RLE data of `rleBytes`), 16 and
    // 32 bits turned into 24.
    void ReadPixels(DibImage& image, const Header& h, const RowSource& read, uint64_t available,
        uint64_t rleBytes)
    {
        BitmapInfoHeader& info = image.info;
        const uint32_t height = AbsoluteHeight(info);
        if (info.biCompression == kBiRle4 || info.biCompression == kBiRle8) {
            if (rleBytes == 0 || rleBytes > available)
                throw EReadError();
            platform::MappedBlock block = GetMemory(static_cast<size_t>(rleBytes));
            read(block.Data(), block.Size());
            image.bits = std::move(block);
            return;
        }
        const uint32_t sourceRow = *platform::BmpRowBytes(info.biWidth, info.biBitCount);
        const uint64_t need = uint64_t(sourceRow) * height;
        if (need > available)
            throw EReadError();
        if (info.biBitCount != 16 && info.biBitCount != 32) {
            platform::MappedBlock block = GetMemory(static_cast<size_t>(need));
            read(block.Data(), block.Size());
            image.bits = std::move(block);
            return;
        }
        std::array<uint32_t, 3> masks = info.biBitCount == 16
            ? std::array<uint32_t, 3> { 0x7C00, 0x03E0, 0x001F }
            : std::array<uint32_t, 3> { 0xFF0000, 0x00FF00, 0x0000FF };
        if (info.biCompression != kBiRgb)
            masks = h.masks;
        const MaskChannel red = MakeMaskChannel(masks[0]);
        const MaskChannel green = MakeMaskChannel(masks[1]);
        const MaskChannel blue = MakeMaskChannel(masks[2]);
        const uint32_t targetRow = *platform::BmpRowBytes(info.biWidth, 24);
        platform::MappedBlock block = GetMemory(size_t(targetRow) * height);
        std::vector<uint8_t> row(sourceRow);
        const int32_t width = info.biWidth;
        for (uint32_t y = 0; y < height; ++y) {
            read(row.data(), row.size());
            uint8_t* out = block.Data() + size_t(y) * targetRow;
            for (int32_t x = 0; x < width; ++x) {
                uint32_t p = info.biBitCount == 16
                    ? uint32_t(row[2 * x] | (row[2 * x + 1] << 8))
                    : uint32_t(row[4 * x]) | (uint32_t(row[4 * x + 1]) << 8)
                        | (uint32_t(row[4 * x + 2]) << 16) | (uint32_t(row[4 * x + 3]) << 24);
                out[3 * x] = blue.Extract(p);
                out[3 * x + 1] = green.Extract(p);
                out[3 * x + 2] = red.Extract(p);
            }
        }
        info.biBitCount = 24;
        info.biCompression = kBiRgb;
        info.biSizeImage = 0;
        image.bits = std::move(block);
    }

} // namespace

std::optional<BmpSize> PeekBmpSize(std::span<const uint8_t> head)
{
    if (head.size() < kFileHeaderBytes + 16 || head[0] != 'B' || head[1] != 'M')
        return std::nullopt;
    ByteReader r(head);
    r.Seek(kFileHeaderBytes);
    const uint32_t headerSize = r.u32le();
    BmpSize size;
    if (headerSize == 12) {
        size.width = r.u16le();
        size.height = r.u16le();
        r.u16le(); // planes
    } else if (IsInfoHeaderSize(headerSize)) {
        size.width = r.i32le();
        const int64_t height = r.i32le();
        size.height = height < 0 ? -height : height;
        r.u16le(); // planes
    } else {
        return std::nullopt;
    }
    const uint16_t bits = r.u16le();
    size.bitsPerPixel = bits == 16 || bits == 32 ? 24 : bits;
    return size;
}

std::optional<BmpSize> PeekBmpFileSize(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    uint8_t head[kFileHeaderBytes + 16];
    if (!in.read(reinterpret_cast<char*>(head), sizeof head))
        return std::nullopt;
    return PeekBmpSize(head);
}

DibImage ReadBmpFile(platform::TStream& stream)
{
    const uint64_t base = stream.Position();
    uint8_t fileHeader[kFileHeaderBytes + 4];
    stream.ReadBuffer(fileHeader, kFileHeaderBytes);
    ByteReader fh(std::span<const uint8_t>(fileHeader, kFileHeaderBytes));
    if (fh.u16le() != 0x4D42)
        throw EDIBInvalidDIBFile("TInternalDIB.LoadFromFile: File type is invalid");
    const uint32_t bfSize = fh.u32le();
    fh.Skip(4);
    const uint32_t bfOffBits = fh.u32le();
    stream.ReadBuffer(fileHeader + kFileHeaderBytes, 4);
    const uint32_t headerSize
        = ByteReader(std::span<const uint8_t>(fileHeader + kFileHeaderBytes, 4)).u32le();
    if (headerSize != 12 && !IsInfoHeaderSize(headerSize))
        throw EDIBInvalidDIB(kFileMessages.headerSize);

    std::vector<uint8_t> rest = stream.ReadBytes(headerSize - 4);
    Header h = ParseHeader(headerSize, rest, kFileMessages);
    DibImage image;
    image.info = h.info;

    uint64_t minimumOffset;
    if (h.core) {
        std::vector<uint8_t> table = stream.ReadBytes(size_t(h.colorsUsed) * 3);
        StoreTable(image, table, h.colorsUsed, 3);
        minimumOffset = kFileHeaderBytes + 12 + 3 * uint64_t(h.colorsUsed);
    } else {
        const bool bitFields = image.info.biCompression == kBiBitfields;
        const bool masksFollow = bitFields && !h.masksInHeader;
        const size_t entries = std::min<uint32_t>(h.colorsUsed, 256);
        std::vector<uint8_t> table = stream.ReadBytes((masksFollow ? 12 : 0) + entries * 4);
        if (masksFollow) {
            ByteReader mr(table);
            for (uint32_t& m : h.masks)
                m = mr.u32le();
        }
        StoreTable(
            image, std::span<const uint8_t>(table).subspan(masksFollow ? 12 : 0), entries, 4);
        minimumOffset = kFileHeaderBytes + uint64_t(headerSize) + 4 * uint64_t(h.colorsUsed)
            + (masksFollow ? 12 : 0);
    }
    if (bfOffBits < minimumOffset)
        throw EDIBInvalidDIB("TInternalDIB.LoadFromFile: bfOffBits is too small");
    if (image.info.biClrUsed > 256)
        image.info.biClrUsed = 256;
    CheckSize(h, kFileMessages);
    CheckCompression(h);
    stream.Seek(base + bfOffBits);

    // Run-length data runs to the end the file header gives; writers that leave bfSize at 0 are
    // served by the image size, else by the rest of the stream.
    const uint64_t available = stream.Remaining();
    uint64_t rleBytes = bfSize > bfOffBits ? bfSize - bfOffBits : 0;
    if (rleBytes == 0)
        rleBytes = image.info.biSizeImage != 0 ? image.info.biSizeImage : available;
    ReadPixels(
        image, h, [&](uint8_t* d, size_t n) { stream.ReadBuffer(d, n); }, available, rleBytes);
    return image;
}

DibImage ReadPackedDib(std::span<const uint8_t> block, PackedDibOrigin origin)
{
    const Messages& messages
        = origin == PackedDibOrigin::Clipboard ? kClipboardMessages : kScannerMessages;
    ByteReader r(block);
    const uint32_t headerSize = r.u32le();
    if (headerSize != 12 && !IsInfoHeaderSize(headerSize))
        throw EDIBInvalidDIB(messages.headerSize);
    Header h = ParseHeader(headerSize, r.Take(headerSize - 4), messages);
    DibImage image;
    image.info = h.info;
    if (h.core) {
        StoreTable(image, r.Take(size_t(h.colorsUsed) * 3), h.colorsUsed, 3);
    } else {
        const bool masksFollow = image.info.biCompression == kBiBitfields && !h.masksInHeader;
        const uint64_t maskBytes = masksFollow ? 12 : 0;
        // The 40-byte header with its masks and table takes at most 1076 bytes (three masks and
        // 256 entries), whatever colours-used announces; the rest of the block is pixels.
        const uint64_t tableBytes
            = std::min<uint64_t>(maskBytes + 4 * uint64_t(h.colorsUsed), kMaxPackedTableBytes);
        if (tableBytes > r.Remaining())
            throw EReadError();
        ByteReader table(r.Take(size_t(tableBytes)));
        if (masksFollow)
            for (uint32_t& m : h.masks)
                m = table.u32le();
        const size_t entries = std::min<size_t>(h.colorsUsed, table.Remaining() / 4);
        StoreTable(image, table.Take(4 * entries), entries, 4);
        if (image.info.biClrUsed > 256)
            image.info.biClrUsed = 256;
    }
    CheckSize(h, messages);
    CheckCompression(h);
    const uint64_t available = r.Remaining();
    ReadPixels(
        image, h,
        [&](uint8_t* d, size_t n) {
            auto bytes = r.Take(n);
            std::memcpy(d, bytes.data(), n);
        },
        available, available);
    return image;
}

namespace {
    void PutInfoHeader(uint8_t* p, const BitmapInfoHeader& info)
    {
        using platform::PutU16le;
        using platform::PutU32le;
        PutU32le(p, 40);
        PutU32le(p + 4, uint32_t(info.biWidth));
        PutU32le(p + 8, uint32_t(info.biHeight));
        PutU16le(p + 12, info.biPlanes);
        PutU16le(p + 14, info.biBitCount);
        PutU32le(p + 16, info.biCompression);
        PutU32le(p + 20, info.biSizeImage);
        PutU32le(p + 24, uint32_t(info.biXPelsPerMeter));
        PutU32le(p + 28, uint32_t(info.biYPelsPerMeter));
        PutU32le(p + 32, info.biClrUsed);
        PutU32le(p + 36, info.biClrImportant);
    }

    size_t TableEntries(const TInternalDIB& dib)
    {
        return std::min<uint32_t>(dib.Image.info.biClrUsed, 256);
    }

    void PutTable(uint8_t* p, const TInternalDIB& dib)
    {
        for (size_t i = 0; i < TableEntries(dib); ++i) {
            const RGBQuad& q = dib.Image.colorTable[i];
            p[4 * i] = q.rgbBlue;
            p[4 * i + 1] = q.rgbGreen;
            p[4 * i + 2] = q.rgbRed;
            p[4 * i + 3] = q.rgbReserved;
        }
    }
}

void WriteBmpFile(const TInternalDIB& dib, platform::TStream& stream)
{
    const uint32_t offBits = 54 + 4 * uint32_t(TableEntries(dib));
    std::vector<uint8_t> head(offBits, 0);
    head[0] = 'B';
    head[1] = 'M';
    platform::PutU32le(head.data() + 2, offBits + dib.PixelBlockSize);
    platform::PutU32le(head.data() + 10, offBits);
    PutInfoHeader(head.data() + 14, dib.Image.info);
    PutTable(head.data() + 54, dib);
    stream.WriteBuffer(head);
    stream.WriteBuffer(dib.Image.bits.Data(), dib.PixelBlockSize);
}

std::vector<uint8_t> PackDib(const TInternalDIB& dib)
{
    const size_t tableBytes = 4 * TableEntries(dib);
    std::vector<uint8_t> block(40 + tableBytes + dib.PixelBlockSize, 0);
    PutInfoHeader(block.data(), dib.Image.info);
    PutTable(block.data() + 40, dib);
    if (dib.PixelBlockSize != 0)
        std::memcpy(block.data() + 40 + tableBytes, dib.Image.bits.Data(), dib.PixelBlockSize);
    return block;
}

} // namespace vtl::document
