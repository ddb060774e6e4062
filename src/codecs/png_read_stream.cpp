#include "codecs/png_read_stream.h"

#include "codecs/png_errors.h"
#include "codecs/png_format.h"
#include "platform/checked.h"

#include <algorithm>
#include <bit>
#include <cstring>

namespace vtl::codecs {

using platform::PaletteEntry;
using platform::Rgb;
using platform::TBitmap;
using platform::TPixelFormat;

namespace {

    // Deflate never expands data by more than about 1032 to 1, so image data larger than that
    // multiple of what is left in the file cannot be there.
    constexpr uint64_t kMaxInflateRatio = 1032;
    constexpr uint64_t kMaxChunkLength = 0x7FFFFFFF;

    std::vector<PaletteEntry> GreyPalette(int levels)
    {
        std::vector<PaletteEntry> palette(levels);
        for (int i = 0; i < levels; ++i) {
            auto v = static_cast<uint8_t>(i * 255 / (levels - 1));
            palette[i] = { v, v, v, 0 };
        }
        return palette;
    }

    int SampleChannels(uint8_t colorType)
    {
        switch (colorType & 7) {
        case 0:
            return 1;
        case 2:
            return 3;
        case 3:
            return 1;
        case 4:
            return 2;
        default:
            return 4; // 6
        }
    }

    // The two bytes of 4-bit pixels that a byte of four 2-bit pixels becomes, high byte first.
    constexpr std::array<uint16_t, 256> kTwoBitPairs = [] {
        std::array<uint16_t, 256> table {};
        for (unsigned b = 0; b < 256; ++b)
            table[b] = static_cast<uint16_t>(
                ((b >> 6) & 3) << 12 | ((b >> 4) & 3) << 8 | ((b >> 2) & 3) << 4 | (b & 3));
        return table;
    }();

    // R, G, B samples to the bitmap's B, G, R, four pixels (three words) at a time.
    void SwapRedBlue(const uint8_t* raw, uint32_t count, uint8_t* out)
    {
        uint32_t i = 0;
        if constexpr (std::endian::native == std::endian::little) {
            for (; i + 4 <= count; i += 4, raw += 12, out += 12) {
                // In: r0 g0 b0 r1 | g1 b1 r2 g2 | b2 r3 g3 b3, each word's low byte first.
                uint32_t w0, w1, w2;
                std::memcpy(&w0, raw, 4);
                std::memcpy(&w1, raw + 4, 4);
                std::memcpy(&w2, raw + 8, 4);
                // Out: b0 g0 r0 b1 | g1 r1 b2 g2 | r2 b3 g3 r3.
                const uint32_t o0 = ((w0 >> 16) & 0xFF) | (w0 & 0xFF00) | ((w0 & 0xFF) << 16)
                    | ((w1 & 0xFF00) << 16);
                const uint32_t o1
                    = (w1 & 0xFF) | ((w0 >> 16) & 0xFF00) | ((w2 & 0xFF) << 16) | (w1 & 0xFF000000);
                const uint32_t o2 = ((w1 >> 16) & 0xFF) | ((w2 >> 16) & 0xFF00) | (w2 & 0xFF0000)
                    | ((w2 << 16) & 0xFF000000);
                std::memcpy(out, &o0, 4);
                std::memcpy(out + 4, &o1, 4);
                std::memcpy(out + 8, &o2, 4);
            }
        }
        for (; i < count; ++i, raw += 3, out += 3) {
            out[0] = raw[2];
            out[1] = raw[1];
            out[2] = raw[0];
        }
    }

    // Writes pixel i of a packed row of consecutive pixels to column x of a bitmap row.
    void PlacePixel(int bits, const uint8_t* from, uint32_t i, uint8_t* to, uint32_t x)
    {
        switch (bits) {
        case 1: {
            int v = (from[i >> 3] >> (7 - (i & 7))) & 1;
            uint8_t bit = static_cast<uint8_t>(0x80 >> (x & 7));
            to[x >> 3] = static_cast<uint8_t>(v ? to[x >> 3] | bit : to[x >> 3] & ~bit);
            break;
        }
        case 4: {
            int v = (from[i >> 1] >> ((i & 1) ? 0 : 4)) & 15;
            uint8_t& b = to[x >> 1];
            b = static_cast<uint8_t>((x & 1) ? (b & 0xF0) | v : (b & 0x0F) | (v << 4));
            break;
        }
        case 8:
            to[x] = from[i];
            break;
        case 16:
            std::memcpy(to + 2 * size_t(x), from + 2 * size_t(i), 2);
            break;
        default:
            std::memcpy(to + 3 * size_t(x), from + 3 * size_t(i), 3);
            break;
        }
    }

} // namespace

TPngReadStream::TPngReadStream(platform::TStream& stream, const PngReadOptions& options)
    : TCustomGraphicReadStream(stream)
    , m_options(options)
{
}

PngDecoded TPngReadStream::Load()
{
    ReadSignature();
    m_result.info.gamma = 0;
    Progress().Start();
    try {
        for (;;) {
            if (AtEnd())
                break;
            uint64_t left = ReadDWord();
            uint32_t type = ReadDWord();
            if (type == png::kIEND || (left > kMaxChunkLength && m_imageDone))
                break; // what follows a complete image can't spoil it
            if (left > kMaxChunkLength)
                throw EPngError(kPngReadError);
            switch (type) {
            case png::kIHDR:
                ReadHeader(left);
                break;
            case png::kIDAT:
                if (!m_haveHeader)
                    throw EPngError(kPngReadError);
                if (!m_imageDone)
                    ReadImage(left);
                break;
            case png::kTEXT:
                ReadText(left);
                break;
            default:
                ReadOther(type, left);
                break;
            }
            Skip(left);
            ReadDWord(); // CRCs are not checked
        }
    } catch (const platform::EReadError&) {
        // The end of the data ends the chunk loop; only an image cut short is an error.
        if (!m_imageDone)
            throw EPngError(kPngReadError);
    }
    if (!m_imageDone)
        throw EPngError(kPngReadError); // no image data at all
    Progress().Finish();
    return std::move(m_result);
}

void TPngReadStream::ReadSignature()
{
    std::array<uint8_t, 8> head {};
    try {
        Read(head);
    } catch (const platform::EReadError&) {
        throw EPngError(kPngNotPngFormat);
    }
    if (head != png::kSignature)
        throw EPngError(kPngNotPngFormat);
}

std::vector<uint8_t> TPngReadStream::ChunkData(uint64_t& left, uint64_t wanted)
{
    // Read in pieces so that a length the file can't back never becomes one big allocation.
    uint64_t count = std::min(left, wanted);
    std::vector<uint8_t> data;
    while (data.size() < count) {
        size_t piece = static_cast<size_t>(std::min<uint64_t>(count - data.size(), 1 << 16));
        size_t at = data.size();
        data.resize(at + piece);
        Read(std::span(data).subspan(at));
    }
    left -= count;
    return data;
}

void TPngReadStream::ReadHeader(uint64_t& left)
{
    if (m_haveHeader)
        throw EPngError(kPngTwoIhdr);
    auto data = ChunkData(left, 13);
    if (data.size() < 13)
        throw EPngError(kPngReadError);
    platform::ByteReader r(data);
    PngHeader& h = m_result.header;
    h.width = r.u32be();
    h.height = r.u32be();
    h.bitDepth = r.u8();
    h.colorType = r.u8();
    h.compression = r.u8();
    h.filter = r.u8();
    h.interlace = r.u8();

    uint8_t kind = h.colorType & 7;
    if (kind == 1 || kind == 5 || kind == 7)
        throw EPngError(kPngErrorColorType);
    if (h.compression >= 2)
        throw EPngError(kPngNotSupportCompression);
    if (h.filter >= 2)
        throw EPngError(kPngNotSupportFilter);
    if (h.interlace >= 2)
        throw EPngError(kPngNotInterlaceType);
    uint8_t d = h.bitDepth;
    if ((kind & 3) == 0) {
        if (h.HasAlpha() && d < 8)
            throw EPngError(kPngNotUseAlphaChannel);
        if (d != 1 && d != 2 && d != 4 && d != 8 && d != 16)
            throw EPngError(kPngErrorGreyBitdepth);
    } else if (kind & png::kColorPalette) {
        if (d != 1 && d != 2 && d != 4 && d != 8)
            throw EPngError(kPngErrorBitDepth);
    } else if (d != 8 && d != 16) {
        throw EPngError(kPngErrorBitDepth);
    }
    if (h.width == 0 || h.height == 0)
        throw EPngError(kPngReadError);
    if (h.width > platform::kMaxPictureSide || h.height > platform::kMaxPictureSide)
        throw EPngError(kPngTooLarge);
    // The bitmap and the mask together: at most 4 bytes a pixel.
    if (uint64_t(h.width) * h.height * 4 > platform::kMaxPictureBytes)
        throw EPngError(kPngTooLarge);
    m_result.info.interlace = h.interlace == 1;
    m_haveHeader = true;
}

void TPngReadStream::ReadPalette(uint64_t& left)
{
    const PngHeader& h = m_result.header;
    bool wanted = (h.colorType & png::kColorColor) != 0
        || ((h.colorType & 7) == 4 && h.bitDepth == 8 && m_greyFromPalette);
    if (!wanted || m_havePalette)
        return;
    auto data = ChunkData(left, 256 * 3);
    m_palette.resize(data.size() / 3);
    for (size_t i = 0; i < m_palette.size(); ++i)
        m_palette[i] = { data[3 * i], data[3 * i + 1], data[3 * i + 2], 0 };
    m_havePalette = true;
}

platform::TColor TPngReadStream::GreySampleColor(uint16_t sample) const
{
    // The colour that the bitmap's grey palette shows for this sample.
    int depth = m_result.header.bitDepth;
    uint8_t v = 0;
    if (depth == 16) {
        v = static_cast<uint8_t>(sample >> 8);
    } else {
        int max = (1 << depth) - 1;
        v = static_cast<uint8_t>((sample & max) * 255 / max);
    }
    return Rgb(v, v, v);
}

void TPngReadStream::ReadTransparency(uint64_t& left)
{
    const PngHeader& h = m_result.header;
    if (h.HasAlpha())
        return;
    if (h.colorType & png::kColorPalette) {
        auto data = ChunkData(left, m_palette.size());
        size_t zeros = 0;
        size_t opaque = 0;
        size_t zeroAt = 0;
        for (size_t i = 0; i < data.size(); ++i) {
            if (data[i] == 0) {
                ++zeros;
                zeroAt = i;
            } else if (data[i] == 255) {
                ++opaque;
            }
        }
        if (zeros == 1 && zeros + opaque == data.size()) {
            m_result.info.transparent = kPaletteIndexFlag | static_cast<uint32_t>(zeroAt);
            m_haveAlphaTable = false;
        } else {
            m_alphaTable.fill(255);
            std::copy(data.begin(), data.end(), m_alphaTable.begin());
            m_haveAlphaTable = true;
            m_result.info.transparent.reset();
        }
        return;
    }
    bool wide = h.bitDepth == 16;
    if (h.colorType & png::kColorColor) {
        auto data = ChunkData(left, 6);
        if (data.size() < 6)
            return;
        size_t at = wide ? 0 : 1;
        m_result.info.transparent = Rgb(data[at], data[at + 2], data[at + 4]);
    } else {
        auto data = ChunkData(left, 2);
        if (data.size() < 2)
            return;
        uint16_t sample = static_cast<uint16_t>((data[0] << 8) | data[1]);
        if (!wide && sample >= (1u << h.bitDepth))
            return; // a grey no pixel can have
        m_result.info.transparent = GreySampleColor(sample);
    }
}

void TPngReadStream::ReadBackground(uint64_t& left)
{
    const PngHeader& h = m_result.header;
    if (h.colorType & png::kColorPalette) {
        auto data = ChunkData(left, 1);
        if (!data.empty())
            m_result.info.background = kPaletteIndexFlag | data[0];
        return;
    }
    bool wide = h.bitDepth == 16;
    if (h.colorType & png::kColorColor) {
        auto data = ChunkData(left, 6);
        if (data.size() == 6) {
            size_t at = wide ? 0 : 1;
            m_result.info.background = Rgb(data[at], data[at + 2], data[at + 4]);
        }
        return;
    }
    auto data = ChunkData(left, 2);
    if (data.size() == 2)
        m_result.info.background = GreySampleColor(static_cast<uint16_t>((data[0] << 8) | data[1]));
}

void TPngReadStream::ReadText(uint64_t& left)
{
    auto data = ChunkData(left, left);
    auto zero = std::find(data.begin(), data.end(), uint8_t(0));
    if (zero == data.end())
        return;
    std::string keyword(data.begin(), zero);
    if (keyword != "Comment")
        return;
    m_result.info.comment.append(zero + 1, data.end());
    m_result.info.comment += "\r\n";
}

void TPngReadStream::ReadOther(uint32_t type, uint64_t& left)
{
    if (type == png::kTIME) {
        if (left == 7 && m_options.keepTime) {
            auto d = ChunkData(left, 7);
            m_result.info.time = PngTime { static_cast<uint16_t>((d[0] << 8) | d[1]), d[2], d[3],
                d[4], d[5], d[6] };
        }
        return;
    }
    if (type == png::kTPNG) {
        auto d = ChunkData(left, 8);
        if (d.size() >= 6 && std::memcmp(d.data(), "VTL3", 4) == 0)
            m_greyFromPalette = d[5] == 1;
        return;
    }
    // The rest describe the image and only count between the header and the image data.
    if (!m_haveHeader || m_imageDone)
        return;
    PngInfo& info = m_result.info;
    switch (type) {
    case png::kPLTE:
        ReadPalette(left);
        break;
    case png::kTRNS:
        ReadTransparency(left);
        break;
    case png::kBKGD:
        ReadBackground(left);
        break;
    case png::kGAMA: {
        auto d = ChunkData(left, 4);
        if (d.size() == 4)
            info.gamma = platform::ByteReader(d).u32be() / 100000.0;
        break;
    }
    case png::kPHYS: {
        auto d = ChunkData(left, 9);
        if (d.size() == 9) {
            platform::ByteReader r(d);
            PngPhysicalSize size;
            size.x = r.u32be();
            size.y = r.u32be();
            size.unit = r.u8() == 1 ? PngUnit::Metre : PngUnit::Unknown;
            info.physicalSize = size;
        }
        break;
    }
    case png::kSBIT: {
        auto d = ChunkData(left, m_result.header.HasAlpha() ? 4 : 3);
        PngSignificantBits bits;
        bits.count = static_cast<int>(d.size());
        std::copy(d.begin(), d.end(), bits.bits.begin());
        info.significantBits = bits;
        break;
    }
    case png::kCHRM:
        if (left == 32 && m_options.keepChromaticities) {
            auto d = ChunkData(left, 32);
            platform::ByteReader r(d);
            PngChromaticities c {};
            for (auto& v : c)
                v = r.u32be();
            info.chromaticities = c;
        }
        break;
    case png::kGIFG: {
        auto d = ChunkData(left, 4);
        if (d.size() == 4)
            info.gifExtension
                = PngGifExtension { d[0], d[1], static_cast<uint16_t>((d[2] << 8) | d[3]) };
        break;
    }
    default:
        break; // unknown chunks are skipped
    }
}

void TPngReadStream::SetUpBitmap()
{
    const PngHeader& h = m_result.header;
    const int d = h.bitDepth;
    TPixelFormat format = TPixelFormat::pf24bit;
    std::vector<PaletteEntry> palette;
    if (h.colorType & png::kColorPalette) {
        format = d == 1 ? TPixelFormat::pf1bit
            : d == 8    ? TPixelFormat::pf8bit
                        : TPixelFormat::pf4bit;
        palette = m_palette;
    } else if (h.Greyscale()) {
        if (d == 1) {
            format = TPixelFormat::pf1bit;
            palette = GreyPalette(2);
        } else if (d == 2 || d == 4) {
            format = TPixelFormat::pf4bit;
            palette = GreyPalette(d == 2 ? 4 : 16);
        } else {
            format = TPixelFormat::pf8bit;
            palette = GreyPalette(256);
        }
        if (h.HasAlpha() && m_havePalette)
            palette = m_palette; // written by this program from a palette picture
    } else if (m_options.keepHighColor && m_result.info.significantBits
        && m_result.info.significantBits->count >= 3) {
        const auto& b = m_result.info.significantBits->bits;
        if (b[0] == 5 && b[1] == 5 && b[2] == 5)
            format = TPixelFormat::pf15bit;
        else if (b[0] == 5 && b[1] == 6 && b[2] == 5)
            format = TPixelFormat::pf16bit;
    }
    // Every pixel is written below, so the bitmap is not first filled with white.
    TBitmap picture = TBitmap::ForWriting(
        static_cast<int32_t>(h.width), static_cast<int32_t>(h.height), format);
    if (!palette.empty())
        picture.SetPalette(palette);
    else if ((h.colorType & png::kColorColor) && m_havePalette
        && !(h.colorType & png::kColorPalette))
        picture.SetPalette(m_palette); // a suggested palette for palette displays
    m_outBits = platform::BitsPerPixel(format);
    m_result.picture = std::move(picture);
    m_result.hadAlpha = h.HasAlpha() || m_haveAlphaTable;
    for (size_t i = 0; i < m_maskTable.size(); ++i)
        m_maskTable[i] = static_cast<uint8_t>(255 - m_alphaTable[i]);
    if (m_result.hadAlpha) {
        TBitmap mask = TBitmap::ForWriting(
            static_cast<int32_t>(h.width), static_cast<int32_t>(h.height), TPixelFormat::pf8bit);
        mask.SetPalette(GreyPalette(256));
        m_result.alphaMask = std::move(mask);
        m_result.info.transparent.reset();
    }
}

void TPngReadStream::ConvertRow(
    const uint8_t* raw, uint32_t count, uint8_t* out, uint8_t* mask) const
{
    const PngHeader& h = m_result.header;
    const int d = h.bitDepth;
    if ((h.colorType & png::kColorPalette) || ((h.colorType & 7) == 0 && d <= 8)) {
        if (d == 2) {
            // Four 2-bit pixels become two bytes of 4-bit pixels of the same values.
            const uint32_t whole = count / 4;
            for (uint32_t i = 0; i < whole; ++i) {
                const unsigned v = kTwoBitPairs[raw[i]];
                out[2 * i] = static_cast<uint8_t>(v >> 8);
                out[2 * i + 1] = static_cast<uint8_t>(v);
            }
            for (uint32_t i = 4 * whole; i < count; i += 2) {
                int b = raw[i >> 2] >> ((i & 2) ? 0 : 4);
                out[i >> 1] = static_cast<uint8_t>(((b >> 2) & 3) << 4 | (b & 3));
            }
        } else {
            std::memcpy(out, raw, png::PackedRowBytes(count, d));
        }
        if (mask && d == 8) {
            for (uint32_t i = 0; i < count; ++i)
                mask[i] = m_maskTable[raw[i]];
        } else if (mask) {
            for (uint32_t i = 0; i < count; ++i) {
                int shift = 8 - d - static_cast<int>((i * d) & 7);
                int index = (raw[(i * d) >> 3] >> shift) & ((1 << d) - 1);
                mask[i] = m_maskTable[index];
            }
        }
        return;
    }
    const size_t step = d / 8; // bytes per sample; the high byte comes first
    if (h.Greyscale()) {
        const size_t stride = step * (h.HasAlpha() ? 2 : 1);
        for (uint32_t i = 0; i < count; ++i) {
            out[i] = raw[i * stride];
            if (mask)
                mask[i] = static_cast<uint8_t>(255 - raw[i * stride + step]);
        }
        return;
    }
    const size_t stride = step * (h.HasAlpha() ? 4 : 3);
    if (m_outBits == 24) {
        if (stride == 3) {
            SwapRedBlue(raw, count, out);
            return;
        }
        for (uint32_t i = 0; i < count; ++i, raw += stride, out += 3) {
            out[0] = raw[2 * step];
            out[1] = raw[step];
            out[2] = raw[0];
            if (mask)
                mask[i] = static_cast<uint8_t>(255 - raw[3 * step]);
        }
        return;
    }
    const bool sixGreen
        = m_outBits == 16 && m_result.picture.PixelFormat() == TPixelFormat::pf16bit;
    for (uint32_t i = 0; i < count; ++i, raw += stride) {
        unsigned r = raw[0] >> 3;
        unsigned b = raw[2 * step] >> 3;
        unsigned v = sixGreen ? (r << 11) | (unsigned(raw[step] >> 2) << 5) | b
                              : (r << 10) | (unsigned(raw[step] >> 3) << 5) | b;
        out[2 * i] = static_cast<uint8_t>(v);
        out[2 * i + 1] = static_cast<uint8_t>(v >> 8);
        if (mask)
            mask[i] = static_cast<uint8_t>(255 - raw[3 * step]);
    }
}

void TPngReadStream::InflateInto(std::span<uint8_t> out, uint64_t& left)
{
    z_stream& z = *m_z;
    z.next_out = out.data();
    z.avail_out = static_cast<uInt>(out.size());
    while (z.avail_out > 0) {
        while (left == 0) {
            // The image data goes on in the next chunk, which must be another IDAT.
            ReadDWord(); // CRC
            left = ReadDWord();
            uint32_t type = ReadDWord();
            if (type != png::kIDAT || left > kMaxChunkLength)
                throw EPngError(kPngReadError);
        }
        auto input = Peek(static_cast<size_t>(std::min<uint64_t>(left, 1u << 20)));
        if (input.empty())
            throw EPngError(kPngReadError);
        z.next_in = const_cast<Bytef*>(input.data());
        z.avail_in = static_cast<uInt>(input.size());
        int rc = inflate(&z, Z_NO_FLUSH);
        size_t used = input.size() - z.avail_in;
        Consume(used);
        left -= used;
        z.next_in = nullptr;
        z.avail_in = 0;
        if (rc == Z_STREAM_END && z.avail_out > 0)
            throw EPngError(kPngReadError);
        if (rc != Z_OK && rc != Z_STREAM_END)
            throw EPngError(kPngReadError);
    }
}

void TPngReadStream::ReadImage(uint64_t& left)
{
    const PngHeader& h = m_result.header;
    const int bitsPerPixel = SampleChannels(h.colorType) * h.bitDepth;
    const bool interlaced = h.interlace == 1;

    // Everything the image data must hold, against what the file has left.
    uint64_t rawTotal = 0;
    for (int pass = 0; pass < (interlaced ? 7 : 1); ++pass) {
        const auto& g = interlaced ? png::kAdam7[pass] : png::PassGeometry { 0, 0, 1, 1 };
        uint64_t w = png::PassExtent(h.width, g.x0, g.dx);
        uint64_t rows = png::PassExtent(h.height, g.y0, g.dy);
        if (w > 0)
            rawTotal += rows * (png::PackedRowBytes(w, bitsPerPixel) + 1);
    }
    uint64_t available = StreamSize() > Position() ? StreamSize() - Position() : 0;
    if (rawTotal > available * kMaxInflateRatio + 1024)
        throw EPngError(kPngReadError);

    SetUpBitmap();
    m_unit = static_cast<size_t>(std::max(1, bitsPerPixel / 8));
    m_rowBytes = static_cast<size_t>(png::PackedRowBytes(h.width, bitsPerPixel));
    m_pictureRows = m_result.picture.ScanLine(0);
    m_pictureStride = m_result.picture.RowBytes();
    if (!m_result.alphaMask.Empty()) {
        m_maskRows = m_result.alphaMask.ScanLine(0);
        m_maskStride = m_result.alphaMask.RowBytes();
    }
    png::Inflater inflater;
    m_z = &inflater.Z();
    struct Reset {
        ::z_stream_s*& z;
        ~Reset() { z = nullptr; }
    } reset { m_z };
    if (interlaced)
        ReadInterlacedImage(left);
    else
        ReadRows(left);
    m_imageDone = true;
}

void TPngReadStream::FinishRow(uint8_t* raw, const uint8_t* prevRaw, uint32_t y) const
{
    png::UnfilterRow(
        raw[0], std::span(raw + 1, m_rowBytes), std::span(prevRaw + 1, m_rowBytes), m_unit);
    ConvertRow(raw + 1, m_result.header.width, m_pictureRows + y * m_pictureStride,
        m_maskRows ? m_maskRows + y * m_maskStride : nullptr);
}

void TPngReadStream::ReadInterlacedImage(uint64_t& left)
{
    // Interlaced pictures are rare and small enough to stay on the calling thread: each pass is
    // unfiltered into a pass row and its pixels placed at their final columns.
    const PngHeader& h = m_result.header;
    const int bitsPerPixel = SampleChannels(h.colorType) * h.bitDepth;
    uint64_t rowsTotal = 0;
    for (const auto& g : png::kAdam7)
        if (png::PassExtent(h.width, g.x0, g.dx) > 0)
            rowsTotal += png::PassExtent(h.height, g.y0, g.dy);

    std::vector<uint8_t> cur(m_rowBytes + 1);
    std::vector<uint8_t> prev(m_rowBytes + 1);
    std::vector<uint8_t> passPixels(png::PackedRowBytes(h.width, m_outBits) + 1);
    std::vector<uint8_t> passMask(m_maskRows ? h.width : 0);
    uint64_t rowsDone = 0;
    for (const auto& g : png::kAdam7) {
        const auto w = png::PassExtent(h.width, g.x0, g.dx);
        const auto rows = png::PassExtent(h.height, g.y0, g.dy);
        if (w == 0 || rows == 0)
            continue;
        const size_t rowBytes = png::PackedRowBytes(w, bitsPerPixel);
        std::fill(prev.begin(), prev.end(), uint8_t(0));
        for (uint32_t r = 0; r < rows; ++r) {
            auto row = std::span(cur).first(rowBytes + 1);
            InflateInto(row, left);
            if (!png::UnfilterRow(row[0], row.subspan(1), std::span(prev).subspan(1), m_unit))
                throw EPngError(kPngReadError);
            const auto y = g.y0 + r * g.dy;
            uint8_t* out = m_pictureRows + y * m_pictureStride;
            uint8_t* mask = m_maskRows ? m_maskRows + y * m_maskStride : nullptr;
            ConvertRow(row.data() + 1, w, passPixels.data(), mask ? passMask.data() : nullptr);
            for (uint32_t i = 0; i < w; ++i) {
                uint32_t x = g.x0 + i * g.dx;
                PlacePixel(m_outBits, passPixels.data(), i, out, x);
                if (mask)
                    mask[x] = passMask[i];
            }
            std::swap(cur, prev);
            if ((++rowsDone & 15) == 0)
                Progress().Step(rowsDone, rowsTotal);
        }
    }
}

} // namespace vtl::codecs
