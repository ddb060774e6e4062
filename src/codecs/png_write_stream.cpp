#include "codecs/png_write_stream.h"

#include "codecs/png_errors.h"
#include "codecs/png_format.h"
#include "platform/byte_reader.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <ctime>

namespace vtl::codecs {

using platform::PaletteEntry;
using platform::TBitmap;
using platform::TColor;
using platform::TPixelFormat;

namespace {

    constexpr size_t kMaxKeyword = 79;
    constexpr uint32_t kMaxPngNumber = 0x7FFFFFFF;

    uint8_t GreyOf(uint8_t r, uint8_t g, uint8_t b)
    {
        return static_cast<uint8_t>((77 * r + 150 * g + 29 * b) / 256);
    }
    uint8_t GreyOf(const PaletteEntry& e) { return GreyOf(e.peRed, e.peGreen, e.peBlue); }
    uint8_t GreyOf(TColor c)
    {
        return GreyOf(platform::GetRValue(c), platform::GetGValue(c), platform::GetBValue(c));
    }

    // Puts `value` (depth bits) as pixel i of a packed row.
    void PackSample(uint8_t* row, uint32_t i, int depth, unsigned value)
    {
        switch (depth) {
        case 1:
            if (value & 1)
                row[i >> 3] |= static_cast<uint8_t>(0x80 >> (i & 7));
            break;
        case 4:
            row[i >> 1] |= static_cast<uint8_t>((value & 15) << ((i & 1) ? 0 : 4));
            break;
        default:
            row[i] = static_cast<uint8_t>(value);
            break;
        }
    }

    unsigned IndexAt(const uint8_t* row, int32_t x, int bits)
    {
        switch (bits) {
        case 1:
            return (row[x >> 3] >> (7 - (x & 7))) & 1;
        case 4:
            return (row[x >> 1] >> ((x & 1) ? 0 : 4)) & 15;
        default:
            return row[x];
        }
    }

    void PutWord(std::vector<uint8_t>& out, uint16_t v)
    {
        out.push_back(static_cast<uint8_t>(v >> 8));
        out.push_back(static_cast<uint8_t>(v));
    }
    void PutDWord(std::vector<uint8_t>& out, uint32_t v)
    {
        PutWord(out, static_cast<uint16_t>(v >> 16));
        PutWord(out, static_cast<uint16_t>(v));
    }

} // namespace

TPngWriteStream::TPngWriteStream(platform::TStream& stream, const PngWriteOptions& options)
    : TCustomGraphicWriteStream(stream)
    , m_options(options)
{
    if (options.idatSize < kMinIdatSize || options.idatSize > kMaxIdatSize)
        throw EPngError(kPngErrIdatSize);
    if (m_options.compressionLevel < 0 || m_options.compressionLevel > 9)
        m_options.compressionLevel = Z_DEFAULT_COMPRESSION;
    if (m_options.filterMode < 1 || m_options.filterMode > 5)
        m_options.filterMode = 1;
}

void TPngWriteStream::ChooseForm()
{
    const TBitmap& pic = *m_picture;
    m_sourceBits = pic.BitsPerPixel();
    if (m_sourceBits <= 8) {
        m_palette = pic.PaletteEntries();
        if (m_palette.empty())
            m_palette = platform::DefaultPalette(m_sourceBits);
        m_palette.resize(std::min<size_t>(m_palette.size(), size_t(1) << m_sourceBits));
    }
    auto entry = [&](size_t i) { return i < m_palette.size() ? m_palette[i] : PaletteEntry {}; };
    if (m_options.greyscale) {
        m_colorType = 0;
        m_depth = static_cast<uint8_t>(m_sourceBits <= 8 ? m_sourceBits : 8);
        if (m_mask && m_depth == 8) {
            m_colorType = 4;
            m_greyFromPalette = m_sourceBits == 8;
        } else {
            m_mask = nullptr;
        }
        // Black is 0 in a grey file, so a picture whose index 0 is the lighter colour is inverted.
        if (m_sourceBits == 1)
            m_invertMono = GreyOf(entry(0)) > GreyOf(entry(1));
        for (size_t i = 0; i < 256; ++i) {
            uint8_t grey = GreyOf(entry(i));
            m_greyOfIndex[i]
                = m_sourceBits == 4 ? static_cast<uint8_t>((grey * 15 + 127) / 255) : grey;
        }
    } else if (m_sourceBits <= 8) {
        m_colorType = 3;
        m_depth = static_cast<uint8_t>(m_sourceBits);
        m_mask = nullptr;
    } else {
        m_colorType = m_mask ? 6 : 2;
        m_depth = 8;
        TPixelFormat f = pic.PixelFormat();
        if (f == TPixelFormat::pf15bit || f == TPixelFormat::pf16bit) {
            PngSignificantBits bits;
            bits.bits = { 5, static_cast<uint8_t>(f == TPixelFormat::pf16bit ? 6 : 5), 5, 8 };
            bits.count = m_mask ? 4 : 3;
            m_options.info.significantBits = bits;
        }
    }
}

void TPngWriteStream::WriteChunk(uint32_t type, std::span<const uint8_t> data)
{
    uint8_t name[4];
    platform::PutU32be(name, type);
    WriteDWord(static_cast<uint32_t>(data.size()));
    Write(name);
    Write(data);
    WriteDWord(png::Crc(png::Crc(0, name), data));
}

void TPngWriteStream::WriteText(std::string_view keyword, std::string_view text)
{
    if (keyword.empty() || keyword.size() > kMaxKeyword)
        return;
    // A text chunk holds no zero byte after its keyword's.
    text = text.substr(0, text.find('\0'));
    m_chunk.assign(keyword.begin(), keyword.end());
    m_chunk.push_back(0);
    m_chunk.insert(m_chunk.end(), text.begin(), text.end());
    WriteChunk(png::kTEXT, m_chunk);
}

bool TPngWriteStream::PaletteIndexOf(TColor color, size_t& index) const
{
    if (color & kPaletteIndexFlag) {
        index = color & 0xFFFF;
        return index < m_palette.size();
    }
    for (size_t i = 0; i < m_palette.size(); ++i) {
        if (platform::ToColor(m_palette[i]) == (color & 0xFFFFFF)) {
            index = i;
            return true;
        }
    }
    return false;
}

bool TPngWriteStream::GreySampleOf(TColor color, uint16_t& sample) const
{
    if (m_sourceBits <= 8) {
        size_t index = 0;
        if (!PaletteIndexOf(color, index))
            return false;
        sample = m_sourceBits == 1 ? static_cast<uint16_t>(index ^ (m_invertMono ? 1 : 0))
                                   : m_greyOfIndex[index];
        return true;
    }
    if (color & kPaletteIndexFlag)
        return false;
    sample = GreyOf(color);
    return true;
}

void TPngWriteStream::WriteBackground()
{
    const auto& background = m_options.info.background;
    if (!background)
        return;
    m_chunk.clear();
    if (m_colorType == 3) {
        size_t index = 0;
        if (!PaletteIndexOf(*background, index))
            return;
        m_chunk.push_back(static_cast<uint8_t>(index));
    } else if ((m_colorType & 2) == 0) {
        uint16_t sample = 0;
        if (!GreySampleOf(*background, sample))
            return;
        PutWord(m_chunk, sample);
    } else {
        if (*background & kPaletteIndexFlag)
            return;
        PutWord(m_chunk, platform::GetRValue(*background));
        PutWord(m_chunk, platform::GetGValue(*background));
        PutWord(m_chunk, platform::GetBValue(*background));
    }
    WriteChunk(png::kBKGD, m_chunk);
}

void TPngWriteStream::WriteTransparency()
{
    const auto& transparent = m_options.info.transparent;
    if (!transparent || (m_colorType & png::kColorAlpha))
        return;
    m_chunk.clear();
    if (m_colorType == 3) {
        size_t index = 0;
        if (!PaletteIndexOf(*transparent, index))
            return; // a colour the palette doesn't hold: nothing is transparent
        m_chunk.assign(index + 1, 255);
        m_chunk[index] = 0;
    } else if (m_colorType == 0) {
        uint16_t sample = 0;
        if (!GreySampleOf(*transparent, sample))
            return;
        PutWord(m_chunk, sample);
    } else {
        if (*transparent & kPaletteIndexFlag)
            return;
        PutWord(m_chunk, platform::GetRValue(*transparent));
        PutWord(m_chunk, platform::GetGValue(*transparent));
        PutWord(m_chunk, platform::GetBValue(*transparent));
    }
    WriteChunk(png::kTRNS, m_chunk);
}

void TPngWriteStream::WriteAncillaryChunks()
{
    const PngInfo& info = m_options.info;
    PngTime time;
    if (info.time) {
        time = *info.time;
    } else {
        std::time_t now = std::time(nullptr);
        std::tm utc {};
        gmtime_r(&now, &utc);
        time = { static_cast<uint16_t>(utc.tm_year + 1900), static_cast<uint8_t>(utc.tm_mon + 1),
            static_cast<uint8_t>(utc.tm_mday), static_cast<uint8_t>(utc.tm_hour),
            static_cast<uint8_t>(utc.tm_min), static_cast<uint8_t>(utc.tm_sec) };
    }
    if (time.Valid()) {
        m_chunk.clear();
        PutWord(m_chunk, time.year);
        for (uint8_t v : { time.month, time.day, time.hour, time.minute, time.second })
            m_chunk.push_back(v);
        WriteChunk(png::kTIME, m_chunk);
    }
    if (!info.comment.empty())
        WriteText("Comment", info.comment);
    WriteText("Software", kPngSoftwareText);

    m_chunk.assign({ 'V', 'T', 'L', '3' });
    m_chunk.push_back(m_options.rowCallback ? 1 : 0);
    m_chunk.push_back(m_greyFromPalette ? 1 : 0);
    m_chunk.push_back(0);
    m_chunk.push_back(0);
    WriteChunk(png::kTPNG, m_chunk);

    if (info.gifExtension) {
        m_chunk.assign({ info.gifExtension->disposal, info.gifExtension->userInput });
        PutWord(m_chunk, info.gifExtension->delay);
        WriteChunk(png::kGIFG, m_chunk);
    }
    double gamma = std::round(info.gamma * 100000);
    if (gamma > 0) {
        m_chunk.clear();
        PutDWord(m_chunk, static_cast<uint32_t>(std::min<double>(gamma, kMaxPngNumber)));
        WriteChunk(png::kGAMA, m_chunk);
    }
    if (info.chromaticities) {
        m_chunk.clear();
        for (uint32_t v : *info.chromaticities)
            PutDWord(m_chunk, std::min(v, kMaxPngNumber));
        WriteChunk(png::kCHRM, m_chunk);
    }
    if (info.significantBits && (m_colorType & png::kColorColor)) {
        // Colour images take red, green and blue, and alpha when they have it.
        size_t count = (m_colorType & png::kColorAlpha) ? 4 : 3;
        const auto& bits = info.significantBits->bits;
        bool valid = std::all_of(
            bits.begin(), bits.begin() + count, [](uint8_t b) { return b >= 1 && b <= 8; });
        if (valid) {
            m_chunk.assign(bits.begin(), bits.begin() + count);
            WriteChunk(png::kSBIT, m_chunk);
        }
    }
    if (m_colorType == 3) {
        m_chunk.clear();
        for (const auto& e : m_palette)
            m_chunk.insert(m_chunk.end(), { e.peRed, e.peGreen, e.peBlue });
        WriteChunk(png::kPLTE, m_chunk);
    }
    WriteBackground();
    WriteTransparency();
    if (info.physicalSize) {
        const auto& size = *info.physicalSize;
        uint64_t x = size.x;
        uint64_t y = size.y;
        uint8_t unit = size.unit == PngUnit::Unknown ? 0 : 1;
        if (size.unit == PngUnit::Inch) {
            x = (x * 10000 + 127) / 254;
            y = (y * 10000 + 127) / 254;
        }
        m_chunk.clear();
        PutDWord(m_chunk, static_cast<uint32_t>(std::min<uint64_t>(x, kMaxPngNumber)));
        PutDWord(m_chunk, static_cast<uint32_t>(std::min<uint64_t>(y, kMaxPngNumber)));
        m_chunk.push_back(unit);
        WriteChunk(png::kPHYS, m_chunk);
    }
}

void TPngWriteStream::BuildRow(
    int32_t y, uint32_t x0, uint32_t dx, uint32_t count, uint8_t* out) const
{
    const uint8_t* src = m_picture->ScanLine(y);
    const uint8_t* mask = m_mask ? m_mask->ScanLine(y) : nullptr;
    const int bits = m_sourceBits;
    auto xAt = [&](uint32_t i) { return static_cast<int32_t>(x0 + i * dx); };
    if (bits <= 8) {
        const size_t bytes = png::PackedRowBytes(count, m_depth);
        if (m_colorType == 3 || bits == 1) {
            const uint8_t flip = m_colorType == 0 && m_invertMono ? 0xFF : 0;
            if (dx == 1) {
                for (size_t i = 0; i < bytes; ++i)
                    out[i] = src[i] ^ flip;
            } else {
                std::memset(out, 0, bytes);
                for (uint32_t i = 0; i < count; ++i)
                    PackSample(out, i, m_depth, IndexAt(src, xAt(i), bits) ^ (flip & 1));
            }
            // Bits beyond the last pixel are left clear.
            unsigned tail = (count * m_depth) & 7;
            if (tail)
                out[bytes - 1] &= static_cast<uint8_t>(0xFF << (8 - tail));
            return;
        }
        if (m_colorType == 4) {
            for (uint32_t i = 0; i < count; ++i) {
                int32_t x = xAt(i);
                out[2 * i] = m_greyOfIndex[src[x]];
                out[2 * i + 1] = static_cast<uint8_t>(255 - mask[x]);
            }
            return;
        }
        std::memset(out, 0, bytes);
        for (uint32_t i = 0; i < count; ++i)
            PackSample(out, i, m_depth, m_greyOfIndex[IndexAt(src, xAt(i), bits)]);
        return;
    }
    const TPixelFormat format = m_picture->PixelFormat();
    const size_t stride = static_cast<size_t>(bits / 8);
    const size_t outStride = m_colorType == 6 ? 4 : m_colorType == 4 ? 2 : m_colorType == 2 ? 3 : 1;
    for (uint32_t i = 0; i < count; ++i, out += outStride) {
        int32_t x = xAt(i);
        const uint8_t* p = src + size_t(x) * stride;
        uint8_t r, g, b;
        if (bits == 16) {
            unsigned v = p[0] | (unsigned(p[1]) << 8);
            unsigned r5 = format == TPixelFormat::pf16bit ? (v >> 11) & 31 : (v >> 10) & 31;
            unsigned b5 = v & 31;
            r = static_cast<uint8_t>((r5 << 3) | (r5 >> 2));
            b = static_cast<uint8_t>((b5 << 3) | (b5 >> 2));
            if (format == TPixelFormat::pf16bit) {
                unsigned g6 = (v >> 5) & 63;
                g = static_cast<uint8_t>((g6 << 2) | (g6 >> 4));
            } else {
                unsigned g5 = (v >> 5) & 31;
                g = static_cast<uint8_t>((g5 << 3) | (g5 >> 2));
            }
        } else {
            b = p[0];
            g = p[1];
            r = p[2];
        }
        if (m_colorType & png::kColorColor) {
            out[0] = r;
            out[1] = g;
            out[2] = b;
            if (mask)
                out[3] = static_cast<uint8_t>(255 - mask[x]);
        } else {
            out[0] = GreyOf(r, g, b);
            if (mask)
                out[1] = static_cast<uint8_t>(255 - mask[x]);
        }
    }
}

void TPngWriteStream::WriteImage()
{
    const uint32_t width = static_cast<uint32_t>(m_picture->Width());
    const uint32_t height = static_cast<uint32_t>(m_picture->Height());
    const int channels = m_colorType == 6 ? 4 : m_colorType == 2 ? 3 : m_colorType == 4 ? 2 : 1;
    const int bitsPerPixel = channels * m_depth;
    const size_t unit = std::max(1, bitsPerPixel / 8);
    const auto filter = static_cast<png::FilterType>(m_options.filterMode - 1);
    const bool interlaced = m_options.info.interlace;
    const size_t fullRowBytes = png::PackedRowBytes(width, bitsPerPixel);

    std::vector<uint8_t> raw(fullRowBytes + 1);
    std::vector<uint8_t> prev;
    std::vector<uint8_t> filtered;
    if (filter != png::FilterType::None) {
        prev.resize(fullRowBytes + 1);
        filtered.resize(fullRowBytes + 1);
    }
    std::vector<uint8_t> idat(static_cast<size_t>(m_options.idatSize));
    png::Deflater deflater(m_options.compressionLevel);
    z_stream& z = deflater.Z();
    z.next_out = idat.data();
    z.avail_out = static_cast<uInt>(idat.size());

    auto pump = [&](int flush) {
        for (;;) {
            int rc = deflate(&z, flush);
            if (rc == Z_STREAM_ERROR)
                throw EPngError(kPngWriteError);
            if (z.avail_out == 0) {
                WriteChunk(png::kIDAT, idat);
                z.next_out = idat.data();
                z.avail_out = static_cast<uInt>(idat.size());
                continue;
            }
            if (flush == Z_FINISH ? rc == Z_STREAM_END : z.avail_in == 0)
                return;
            if (rc != Z_OK)
                throw EPngError(kPngWriteError);
        }
    };

    uint64_t rowsTotal = 0;
    for (int pass = 0; pass < (interlaced ? 7 : 1); ++pass) {
        const auto& g = interlaced ? png::kAdam7[pass] : png::PassGeometry { 0, 0, 1, 1 };
        if (png::PassExtent(width, g.x0, g.dx) > 0)
            rowsTotal += png::PassExtent(height, g.y0, g.dy);
    }
    uint64_t rowsDone = 0;
    for (int pass = 0; pass < (interlaced ? 7 : 1); ++pass) {
        const auto& g = interlaced ? png::kAdam7[pass] : png::PassGeometry { 0, 0, 1, 1 };
        const uint32_t w = png::PassExtent(width, g.x0, g.dx);
        const uint32_t rows = png::PassExtent(height, g.y0, g.dy);
        if (w == 0 || rows == 0)
            continue;
        const size_t rowBytes = png::PackedRowBytes(w, bitsPerPixel);
        std::fill(prev.begin(), prev.end(), uint8_t(0));
        for (uint32_t r = 0; r < rows; ++r) {
            BuildRow(static_cast<int32_t>(g.y0 + r * g.dy), g.x0, g.dx, w, raw.data() + 1);
            raw[0] = static_cast<uint8_t>(filter);
            const uint8_t* feed = raw.data();
            if (filter != png::FilterType::None) {
                filtered[0] = raw[0];
                png::FilterRow(filter, std::span(raw).subspan(1, rowBytes),
                    std::span(prev).subspan(1, rowBytes), unit,
                    std::span(filtered).subspan(1, rowBytes));
                std::copy_n(raw.begin(), rowBytes + 1, prev.begin());
                feed = filtered.data();
            }
            z.next_in = const_cast<Bytef*>(feed);
            z.avail_in = static_cast<uInt>(rowBytes + 1);
            pump(Z_NO_FLUSH);
            if ((++rowsDone & 15) == 0)
                Progress().Step(rowsDone, rowsTotal);
        }
    }
    pump(Z_FINISH);
    size_t rest = idat.size() - z.avail_out;
    if (rest > 0)
        WriteChunk(png::kIDAT, std::span(idat).first(rest));
}

void TPngWriteStream::Save(const TBitmap& picture, const TBitmap* alphaMask)
{
    if (picture.Empty())
        throw EPngError(kPngWriteError);
    m_picture = &picture;
    m_mask = alphaMask && alphaMask->PixelFormat() == TPixelFormat::pf8bit
            && alphaMask->Width() == picture.Width() && alphaMask->Height() == picture.Height()
        ? alphaMask
        : nullptr;
    ChooseForm();
    Progress().Start();
    Write(png::kSignature);
    m_chunk.clear();
    PutDWord(m_chunk, static_cast<uint32_t>(picture.Width()));
    PutDWord(m_chunk, static_cast<uint32_t>(picture.Height()));
    m_chunk.insert(m_chunk.end(),
        { m_depth, m_colorType, 0, 0, static_cast<uint8_t>(m_options.info.interlace ? 1 : 0) });
    WriteChunk(png::kIHDR, m_chunk);
    WriteAncillaryChunks();
    WriteImage();
    WriteChunk(png::kIEND, {});
    Flush();
    Progress().Finish();
}

} // namespace vtl::codecs
