#include "input/help_graphic.h"

#include "platform/checked.h"
#include "platform/stream.h"

#include <algorithm>
#include <limits>

namespace vtl::input {

using platform::ByteReader;
using platform::EReadError;
using platform::TBitmap;

namespace {

    constexpr uint16_t kMagicLp = 0x706C;
    constexpr uint16_t kMagicLP = 0x506C;
    constexpr uint8_t kStored = 0;
    constexpr uint8_t kRunLength = 1;
    constexpr uint32_t kBmpHeadersSize = 14 + 40;
    constexpr int32_t kScreenDpi = 96;
    constexpr int32_t kHundredthsMmPerInch = 2540;

    // The platform's multiply-divide: a * b / c rounded half away from zero.
    int32_t MulDiv(int32_t a, int32_t b, int32_t c)
    {
        const int64_t product = int64_t(a) * b;
        const int64_t half = c / 2;
        return static_cast<int32_t>(product >= 0 ? (product + half) / c : (product - half) / c);
    }

    // The picture's data: stored or run-length packed, `packedSize` bytes at `offset` from the
    // picture's start, cut short where the file ends. `limit` caps what unpacking may produce.
    std::vector<uint8_t> PictureData(std::span<const uint8_t> file, size_t pictureStart,
        uint32_t offset, uint32_t packedSize, uint8_t packing, size_t limit)
    {
        const uint64_t at = uint64_t(pictureStart) + offset;
        if (at >= file.size())
            return {};
        const size_t available = file.size() - static_cast<size_t>(at);
        auto packed
            = file.subspan(static_cast<size_t>(at), std::min<size_t>(packedSize, available));
        if (packing == kRunLength)
            return UnpackRunLength(packed, limit);
        return { packed.begin(), packed.end() };
    }

    void PutU16(std::vector<uint8_t>& out, uint16_t v)
    {
        out.push_back(static_cast<uint8_t>(v));
        out.push_back(static_cast<uint8_t>(v >> 8));
    }
    void PutU32(std::vector<uint8_t>& out, uint32_t v)
    {
        PutU16(out, static_cast<uint16_t>(v));
        PutU16(out, static_cast<uint16_t>(v >> 16));
    }

    void ReadBitmapPicture(ByteReader& r, std::span<const uint8_t> file, size_t pictureStart,
        uint8_t packing, HelpGraphicPicture& picture)
    {
        ReadCompressedDWord(r); // x resolution
        ReadCompressedDWord(r); // y resolution
        const uint16_t planes = ReadCompressedWord(r);
        const uint16_t bitCount = ReadCompressedWord(r);
        const uint32_t width = ReadCompressedDWord(r);
        const uint32_t height = ReadCompressedDWord(r);
        const uint32_t colorsUsed = ReadCompressedDWord(r);
        const uint32_t colorsImportant = ReadCompressedDWord(r);
        const uint32_t packedSize = ReadCompressedDWord(r);
        ReadCompressedDWord(r); // hotspot size
        const uint32_t packedOffset = r.u32le();
        r.u32le(); // hotspot offset
        // The colour table stands before the pixels, so a file cut inside it has no picture:
        // Take throws rather than building a stream whose table runs into nothing.
        auto colorTable = r.Take(size_t(colorsUsed) * 4);
        const uint32_t tableBytes = static_cast<uint32_t>(colorTable.size());

        // Unpacking never needs to give more than the picture's rows.
        size_t limit = static_cast<size_t>(platform::kMaxPictureBytes);
        if (auto row = platform::BmpRowBytes(width, bitCount))
            if (auto all = platform::CheckedMul<uint64_t>(*row, height))
                limit = static_cast<size_t>(std::min<uint64_t>(*all, limit));
        std::vector<uint8_t> pixels
            = PictureData(file, pictureStart, packedOffset, packedSize, packing, limit);

        const uint64_t fileSize = uint64_t(kBmpHeadersSize) + tableBytes + pixels.size();
        if (fileSize > std::numeric_limits<uint32_t>::max())
            throw EReadError();
        std::vector<uint8_t>& bmp = picture.bmpStream;
        bmp.reserve(static_cast<size_t>(fileSize));
        bmp.push_back('B');
        bmp.push_back('M');
        PutU32(bmp, static_cast<uint32_t>(fileSize));
        PutU32(bmp, 0); // two reserved words
        PutU32(bmp, kBmpHeadersSize + tableBytes);
        PutU32(bmp, 40);
        PutU32(bmp, width);
        PutU32(bmp, height);
        PutU16(bmp, planes);
        PutU16(bmp, bitCount);
        PutU32(bmp, 0); // no compression
        PutU32(bmp, 0); // image size
        PutU32(bmp, 0); // x pixels per metre
        PutU32(bmp, 0); // y pixels per metre
        PutU32(bmp, colorsUsed);
        PutU32(bmp, colorsImportant);
        bmp.insert(bmp.end(), colorTable.begin(), colorTable.end());
        bmp.insert(bmp.end(), pixels.begin(), pixels.end());
    }

    void ReadMetafilePicture(ByteReader& r, std::span<const uint8_t> file, size_t pictureStart,
        uint8_t packing, HelpGraphicPicture& picture)
    {
        ReadCompressedWord(r); // mapping mode
        const uint16_t width = r.u16le();
        const uint16_t height = r.u16le();
        ReadCompressedDWord(r); // unpacked size
        const uint32_t packedSize = ReadCompressedDWord(r);
        ReadCompressedDWord(r); // hotspot size
        const uint32_t packedOffset = r.u32le();
        r.u32le(); // hotspot offset
        picture.pixelWidth = MulDiv(width, kScreenDpi, kHundredthsMmPerInch);
        picture.pixelHeight = MulDiv(height, kScreenDpi, kHundredthsMmPerInch);

        std::vector<uint8_t> data = PictureData(file, pictureStart, packedOffset, packedSize,
            packing, static_cast<size_t>(platform::kMaxPictureBytes));
        picture.placeableMetafile = PlaceableHeader(picture.pixelWidth, picture.pixelHeight);
        picture.placeableMetafile.insert(picture.placeableMetafile.end(), data.begin(), data.end());
    }

} // namespace

uint16_t ReadCompressedWord(ByteReader& reader)
{
    const uint8_t b = reader.u8();
    if ((b & 1) == 0)
        return b >> 1;
    const uint8_t c = reader.u8();
    return static_cast<uint16_t>((b >> 1) + c * 128);
}

uint32_t ReadCompressedDWord(ByteReader& reader)
{
    const uint16_t w = reader.u16le();
    if ((w & 1) == 0)
        return w >> 1;
    const uint16_t v = reader.u16le();
    return (uint32_t(w) >> 1) + uint32_t(v) * 32768;
}

std::vector<uint8_t> UnpackRunLength(std::span<const uint8_t> packed, size_t limit)
{
    std::vector<uint8_t> out;
    size_t i = 0;
    while (i < packed.size() && out.size() < limit) {
        const uint8_t n = packed[i++];
        if (n & 0x80) {
            const size_t count = std::min<size_t>(n & 0x7F, packed.size() - i);
            out.insert(out.end(), packed.begin() + static_cast<ptrdiff_t>(i),
                packed.begin() + static_cast<ptrdiff_t>(i + count));
            i += count;
        } else {
            if (i == packed.size())
                break;
            out.insert(out.end(), n, packed[i++]);
        }
    }
    if (out.size() > limit)
        out.resize(limit);
    return out;
}

std::vector<uint8_t> PlaceableHeader(int32_t width, int32_t height)
{
    std::vector<uint8_t> header;
    header.reserve(22);
    PutU32(header, kPlaceableKey);
    PutU16(header, 0); // handle
    PutU16(header, 0); // bounding box: left, top, right, bottom
    PutU16(header, 0);
    PutU16(header, static_cast<uint16_t>(width));
    PutU16(header, static_cast<uint16_t>(height));
    PutU16(header, kScreenDpi);
    PutU32(header, 0); // reserved
    uint16_t checksum = 0;
    for (size_t i = 0; i < 20; i += 2)
        checksum ^= static_cast<uint16_t>(header[i] | (header[i + 1] << 8));
    PutU16(header, checksum);
    return header;
}

std::optional<HelpGraphicPicture> ParseHelpGraphic(std::span<const uint8_t> file)
{
    if (file.size() < 2)
        return std::nullopt;
    ByteReader r(file);
    const uint16_t magic = r.u16le();
    if (magic != kMagicLp && magic != kMagicLP)
        return std::nullopt;
    r.u16le(); // number of pictures: only the first is read
    const uint32_t firstOffset = r.u32le();
    r.Seek(firstOffset);

    HelpGraphicPicture picture;
    const size_t pictureStart = r.Position();
    picture.type = r.u8();
    picture.packing = r.u8();
    if (picture.packing > kRunLength)
        return std::nullopt;
    if (picture.type == static_cast<uint8_t>(HelpGraphicType::Bitmap))
        ReadBitmapPicture(r, file, pictureStart, picture.packing, picture);
    else if (picture.type == static_cast<uint8_t>(HelpGraphicType::Metafile))
        ReadMetafilePicture(r, file, pictureStart, picture.packing, picture);
    return picture;
}

bool ReadHelpGraphic(TBitmap& bitmap, std::span<const uint8_t> file, IMetafilePlayer* player)
{
    std::optional<HelpGraphicPicture> picture = ParseHelpGraphic(file);
    if (!picture)
        return false;
    if (picture->type == static_cast<uint8_t>(HelpGraphicType::Bitmap)) {
        platform::TMemoryStream stream(std::move(picture->bmpStream));
        TBitmap loaded;
        loaded.LoadFromStream(stream);
        bitmap = std::move(loaded);
    } else if (picture->type == static_cast<uint8_t>(HelpGraphicType::Metafile)) {
        WmfPicture metafile = ParseMetafile(picture->placeableMetafile);
        TBitmap canvas;
        canvas.SetPixelFormat(platform::TPixelFormat::pf24bit);
        canvas.SetSize(picture->pixelWidth, picture->pixelHeight);
        if (player != nullptr && !canvas.Empty())
            player->Play(metafile, canvas);
        bitmap = std::move(canvas);
    }
    return true;
}

bool ReadHelpGraphicFile(
    TBitmap& bitmap, const std::filesystem::path& fileName, IMetafilePlayer* player)
{
    std::vector<uint8_t> file = platform::ReadWholeFile(fileName);
    return ReadHelpGraphic(bitmap, file, player);
}

} // namespace vtl::input
