#include "codecs/png_image.h"

#include "codecs/png_errors.h"
#include "codecs/png_write_stream.h"
#include "platform/byte_reader.h"
#include "platform/stream.h"

#include <algorithm>
#include <fstream>

#include <system_error>

namespace vtl::codecs {

std::optional<PngSize> PeekPngSize(std::span<const uint8_t> head)
{
    static constexpr uint8_t kStart[] = { 0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n', 0, 0, 0, 13,
        'I', 'H', 'D', 'R' };
    if (head.size() < 24 || !std::equal(std::begin(kStart), std::end(kStart), head.begin()))
        return std::nullopt;
    platform::ByteReader r(head);
    r.Seek(16);
    PngSize size;
    size.width = r.u32be();
    size.height = r.u32be();
    return size;
}

std::optional<PngSize> PeekPngFileSize(const std::filesystem::path& path)
{
    std::ifstream in(path, std::ios::binary);
    uint8_t head[24];
    if (!in.read(reinterpret_cast<char*>(head), sizeof head))
        return std::nullopt;
    return PeekPngSize(head);
}

void TPngImage::LoadFromStream(platform::TStream& stream)
{
    TPngReadStream reader(stream, ReadOptions);
    if (OnProgress)
        reader.SetOnProgress(OnProgress);
    PngDecoded decoded = reader.Load();
    m_picture = std::move(decoded.picture);
    m_alphaMask = std::move(decoded.alphaMask);
    m_info = std::move(decoded.info);
    m_header = decoded.header;
    m_hadAlpha = decoded.hadAlpha;
}

void TPngImage::LoadFromFile(const std::filesystem::path& path)
{
    platform::TFileStream file(path, platform::TFileMode::OpenRead);
    LoadFromStream(file);
}

void TPngImage::SaveToStream(platform::TStream& stream) const
{
    PngWriteOptions options;
    options.idatSize = m_idatSize;
    options.compressionLevel = m_compressionLevel;
    options.filterMode = m_filterMode;
    options.greyscale = m_greyscale;
    options.rowCallback = static_cast<bool>(OnProgress);
    options.info = m_info;
    TPngWriteStream writer(stream, options);
    if (OnProgress)
        writer.SetOnProgress(OnProgress);
    writer.Save(m_picture, m_alphaMask.Empty() ? nullptr : &m_alphaMask);
}

void TPngImage::SaveToFile(const std::filesystem::path& path) const
{
    // Written beside the target and renamed over it, so that a failure leaves the old file as
    // it was without holding the whole compressed picture in memory.
    auto temp = path;
    temp += ".vtl-partial";
    try {
        {
            platform::TFileStream file(temp, platform::TFileMode::Create);
            SaveToStream(file);
            file.Flush();
        }
        std::filesystem::rename(temp, path);
    } catch (...) {
        std::error_code ignored;
        std::filesystem::remove(temp, ignored);
        throw;
    }
}

void TPngImage::SetIdatSize(int size)
{
    if (size < kMinIdatSize || size > kMaxIdatSize)
        throw EPngError(kPngErrIdatSize);
    m_idatSize = size;
}

void TPngImage::Assign(const platform::TBitmap& source) { m_picture = source; }

void TPngImage::Draw(platform::TCanvas& canvas, const platform::TRect& rect) const
{
    canvas.StretchDraw(rect, m_picture);
}

} // namespace vtl::codecs
