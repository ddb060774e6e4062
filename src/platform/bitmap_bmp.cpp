// BMP files as the display bitmap reads and writes them.

#include "platform/bitmap.h"

#include "platform/atomic_file.h"
#include "platform/checked.h"
#include "platform/stream.h"

#include <cstring>

namespace vtl::platform {

namespace {
    constexpr const char* kNotABitmap = "Bitmap image is not valid";

    [[noreturn]] void Invalid() { throw EInvalidGraphicFormat(kNotABitmap); }

    TPixelFormat FormatFor(const DibView& view)
    {
        switch (view.bitCount) {
        case 1:
            return TPixelFormat::pf1bit;
        case 4:
            return TPixelFormat::pf4bit;
        case 8:
            return TPixelFormat::pf8bit;
        case 16: {
            if (view.compression != kBiBitfieldsCompression)
                return TPixelFormat::pf15bit;
            if (view.masks == std::array<uint32_t, 3> { 0x7C00, 0x03E0, 0x001F })
                return TPixelFormat::pf15bit;
            if (view.masks == std::array<uint32_t, 3> { 0xF800, 0x07E0, 0x001F })
                return TPixelFormat::pf16bit;
            return TPixelFormat::pf24bit;
        }
        case 32:
            return TPixelFormat::pf32bit;
        default:
            return TPixelFormat::pf24bit;
        }
    }
}

void TBitmap::LoadFromStream(TStream& stream)
{
    const uint64_t base = stream.Position();
    uint8_t fileHeader[18];
    stream.ReadBuffer(fileHeader, sizeof fileHeader);
    ByteReader fh(fileHeader);
    if (fh.u16le() != 0x4D42)
        Invalid();
    fh.Skip(8); // file size and reserved words: often wrong, never needed
    const uint32_t offBits = fh.u32le();
    const uint32_t headerSize = fh.u32le();

    DibView view;
    uint32_t colorsUsed = 0;
    uint32_t sizeImage = 0;
    size_t entryBytes = 4;
    if (headerSize == 12) {
        uint8_t core[8];
        stream.ReadBuffer(core, sizeof core);
        ByteReader r(core);
        view.width = r.u16le();
        view.height = r.u16le();
        r.u16le();
        view.bitCount = r.u16le();
        entryBytes = 3;
    } else if (headerSize == 40 || headerSize == 52 || headerSize == 56 || headerSize == 108
        || headerSize == 124) {
        std::vector<uint8_t> rest = stream.ReadBytes(headerSize - 4);
        ByteReader r(rest);
        view.width = r.i32le();
        view.height = r.i32le();
        r.u16le();
        view.bitCount = r.u16le();
        view.compression = r.u32le();
        sizeImage = r.u32le();
        r.Skip(8);
        colorsUsed = r.u32le();
        r.u32le();
        if (view.compression == 6) // alpha bit fields: the alpha mask is not drawn
            view.compression = kBiBitfieldsCompression;
        if (view.compression == kBiBitfieldsCompression) {
            if (headerSize >= 52) {
                for (uint32_t& m : view.masks)
                    m = r.u32le();
            } else {
                uint8_t masks[12];
                stream.ReadBuffer(masks, sizeof masks);
                ByteReader mr(masks);
                for (uint32_t& m : view.masks)
                    m = mr.u32le();
            }
        }
    } else {
        Invalid();
    }
    if (view.width <= 0 || view.height == 0 || view.height == INT32_MIN)
        Invalid();
    int64_t height = view.height < 0 ? -int64_t(view.height) : view.height;
    if (view.width > kMaxPictureSide || height > kMaxPictureSide)
        Invalid();

    std::vector<RGBQuad> table;
    if (view.bitCount <= 8 && view.bitCount != 0) {
        size_t count = colorsUsed == 0 || colorsUsed > (1u << view.bitCount) ? (1u << view.bitCount)
                                                                             : colorsUsed;
        std::vector<uint8_t> raw = stream.ReadBytes(count * entryBytes);
        for (size_t i = 0; i < count; ++i)
            table.push_back(
                { raw[i * entryBytes], raw[i * entryBytes + 1], raw[i * entryBytes + 2], 0 });
        view.colors = table;
    }

    stream.Seek(base + offBits);
    auto rowBytes = BmpRowBytes(view.width, view.bitCount);
    if (!rowBytes)
        Invalid();
    uint64_t need = uint64_t(*rowBytes) * uint64_t(height);
    std::vector<uint8_t> pixels;
    if (view.compression == kBiRle4Compression || view.compression == kBiRle8Compression) {
        uint64_t available = stream.Remaining();
        pixels = stream.ReadBytes(sizeImage != 0 && sizeImage < available ? sizeImage : available);
    } else {
        if (need > stream.Remaining())
            throw EReadError();
        pixels = stream.ReadBytes(need);
    }
    view.bits = pixels;

    TBitmap result;
    result.Allocate(view.width, int32_t(height), FormatFor(view));
    if (view.bitCount <= 8)
        result.SetPalette(std::span<const RGBQuad>(table));
    if (need > kMaxPictureBytes)
        Invalid();
    if (!ExpandRleInto(result, view)
        && StretchDIBits(result, Rect(0, 0, view.width, int32_t(height)),
               Rect(0, 0, view.width, int32_t(height)), view)
            == 0)
        Invalid();
    *this = std::move(result);
}

void TBitmap::LoadFromFile(const std::filesystem::path& path)
{
    TFileStream file(path, TFileMode::OpenRead);
    LoadFromStream(file);
}

void TBitmap::SaveToStream(TStream& stream) const
{
    const int bits = BitsPerPixel();
    const bool bitFields = m_format == TPixelFormat::pf16bit;
    std::vector<PaletteEntry> palette;
    if (bits <= 8) {
        auto p = EffectivePalette();
        palette.assign(p.begin(), p.end());
    }
    const uint32_t headerBytes = 14 + 40 + (bitFields ? 12 : 0) + uint32_t(palette.size()) * 4;
    const uint64_t imageBytes = uint64_t(m_rowBytes) * uint64_t(m_height);
    std::vector<uint8_t> header(headerBytes, 0);
    uint8_t* p = header.data();
    p[0] = 'B';
    p[1] = 'M';
    PutU32le(
        p + 2, static_cast<uint32_t>(std::min<uint64_t>(headerBytes + imageBytes, UINT32_MAX)));
    PutU32le(p + 10, headerBytes);
    PutU32le(p + 14, 40);
    PutU32le(p + 18, uint32_t(m_width));
    PutU32le(p + 22, uint32_t(m_height));
    PutU16le(p + 26, 1);
    PutU16le(p + 28, uint16_t(bits));
    PutU32le(p + 30, bitFields ? 3 : 0);
    PutU32le(p + 34, static_cast<uint32_t>(std::min<uint64_t>(imageBytes, UINT32_MAX)));
    PutU32le(p + 38, 3780);
    PutU32le(p + 42, 3780);
    PutU32le(p + 46, uint32_t(palette.size()));
    uint8_t* q = p + 54;
    if (bitFields) {
        PutU32le(q, 0xF800);
        PutU32le(q + 4, 0x07E0);
        PutU32le(q + 8, 0x001F);
        q += 12;
    }
    for (const PaletteEntry& e : palette) {
        RGBQuad c = ToRGBQuad(e);
        std::memcpy(q, &c, 4);
        q += 4;
    }
    stream.WriteBuffer(header);
    // Rows go out bottom-up, as BMP files keep them.
    for (int32_t y = m_height - 1; y >= 0; --y)
        stream.WriteBuffer(ScanLine(y), m_rowBytes);
}

void TBitmap::SaveToFile(const std::filesystem::path& path) const
{
    // Written beside the old file and put in its place only once whole.
    TAtomicFile file(path);
    SaveToStream(file);
    file.Commit();
}

} // namespace vtl::platform
