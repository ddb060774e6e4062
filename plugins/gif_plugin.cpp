// Picture plug-in for GIF files over giflib: the first frame, on the logical screen, as an
// 8-bit picture with the frame's colour table.

#include "spi_common.h"

#include <gif_lib.h>

#include <algorithm>
#include <array>
#include <memory>

using namespace vtl::plugins;

namespace {

constexpr std::array<const char*, 4> kInfo { "00IN", "vtl GIF plug-in (giflib)", "*.gif", "GIF" };

bool IsGif(const uint8_t* head, size_t count)
{
    return count >= 6 && std::memcmp(head, "GIF8", 4) == 0 && (head[4] == '7' || head[4] == '9')
        && head[5] == 'a';
}

struct MemoryReader {
    std::span<const uint8_t> data;
    size_t pos = 0;
};

int ReadFromMemory(GifFileType* gif, GifByteType* buffer, int count)
{
    auto* reader = static_cast<MemoryReader*>(gif->UserData);
    if (count <= 0)
        return 0;
    size_t n = std::min(static_cast<size_t>(count), reader->data.size() - reader->pos);
    std::memcpy(buffer, reader->data.data() + reader->pos, n);
    reader->pos += n;
    return static_cast<int>(n);
}

class GifFile {
public:
    explicit GifFile(MemoryReader& reader)
    {
        int error = 0;
        m_gif = DGifOpen(&reader, &ReadFromMemory, &error);
    }
    ~GifFile()
    {
        if (m_gif) {
            int error = 0;
            DGifCloseFile(m_gif, &error);
        }
    }
    GifFile(const GifFile&) = delete;
    GifFile& operator=(const GifFile&) = delete;
    GifFileType* get() const { return m_gif; }

private:
    GifFileType* m_gif = nullptr;
};

// Opens the source and reads every frame; null when it isn't a readable GIF with a frame.
int32_t OpenGif(const char* source, int32_t length, uint32_t flag, std::vector<uint8_t>& owned,
    MemoryReader& reader, std::unique_ptr<GifFile>& file)
{
    if (!ReadSource(source, length, flag, owned, reader.data))
        return SPI_FILE_READ_ERROR;
    if (!IsGif(reader.data.data(), reader.data.size()))
        return SPI_UNKNOWN_FORMAT;
    file = std::make_unique<GifFile>(reader);
    GifFileType* gif = file->get();
    if (!gif)
        return SPI_BROKEN_DATA;
    // A damaged file may still have given its first frame.
    if (DGifSlurp(gif) != GIF_OK && gif->ImageCount < 1)
        return SPI_BROKEN_DATA;
    if (gif->ImageCount < 1 || gif->SWidth <= 0 || gif->SHeight <= 0)
        return SPI_BROKEN_DATA;
    return SPI_SUCCESS;
}

} // namespace

SPI_EXPORT int32_t GetPluginInfo(int32_t infoNo, char* buffer, int32_t length)
{
    return CopyPluginInfo(kInfo, infoNo, buffer, length);
}

SPI_EXPORT int32_t IsSupported(const char* /*fileName*/, uintptr_t fdOrHead)
{
    uint8_t head[SPI_HEAD_SIZE];
    size_t count = 0;
    return ReadHead(fdOrHead, head, count) && IsGif(head, count) ? 1 : 0;
}

SPI_EXPORT int32_t GetPictureInfo(
    const char* source, int32_t length, uint32_t flag, SusiePictureInfo* info)
{
    std::vector<uint8_t> owned;
    MemoryReader reader;
    if (!ReadSource(source, length, flag, owned, reader.data))
        return SPI_FILE_READ_ERROR;
    if (!IsGif(reader.data.data(), reader.data.size()) || reader.data.size() < 10)
        return SPI_UNKNOWN_FORMAT;
    // The logical screen size sits right after the signature.
    int32_t width = reader.data[6] | (reader.data[7] << 8);
    int32_t height = reader.data[8] | (reader.data[9] << 8);
    FillPictureInfo(info, width, height, 8);
    return SPI_SUCCESS;
}

SPI_EXPORT int32_t GetPicture(const char* source, int32_t length, uint32_t flag, void** info,
    void** bits, SusieProgressCallback progress, int32_t userData)
{
    if (!info || !bits)
        return SPI_INTERNAL_ERROR;
    *info = nullptr;
    *bits = nullptr;
    std::vector<uint8_t> owned;
    MemoryReader reader;
    std::unique_ptr<GifFile> file;
    if (int32_t result = OpenGif(source, length, flag, owned, reader, file); result != SPI_SUCCESS)
        return result;
    GifFileType* gif = file->get();
    if (ReportProgress(progress, 0, 1, userData))
        return SPI_ABORT;
    const SavedImage& frame = gif->SavedImages[0];
    const ColorMapObject* map
        = frame.ImageDesc.ColorMap ? frame.ImageDesc.ColorMap : gif->SColorMap;
    DibBlocks dib;
    if (!dib.Create(gif->SWidth, gif->SHeight, 8, 256))
        return SPI_NO_MEMORY;
    if (map && map->Colors) {
        int colors = std::min(map->ColorCount, 256);
        for (int i = 0; i < colors; ++i) {
            uint8_t* entry = dib.ColorTable() + 4 * i;
            entry[0] = map->Colors[i].Blue;
            entry[1] = map->Colors[i].Green;
            entry[2] = map->Colors[i].Red;
        }
    }
    // The screen starts in the background colour; the frame is laid on it where it fits.
    uint8_t background = static_cast<uint8_t>(gif->SBackGroundColor);
    for (int32_t y = 0; y < gif->SHeight; ++y)
        std::memset(dib.Row(y), background, static_cast<size_t>(gif->SWidth));
    const GifImageDesc& desc = frame.ImageDesc;
    if (frame.RasterBits && desc.Width > 0 && desc.Height > 0) {
        for (int32_t y = 0; y < desc.Height; ++y) {
            int32_t sy = desc.Top + y;
            if (sy < 0 || sy >= gif->SHeight)
                continue;
            uint8_t* row = dib.Row(sy);
            const GifByteType* src = frame.RasterBits + static_cast<size_t>(y) * desc.Width;
            for (int32_t x = 0; x < desc.Width; ++x) {
                int32_t sx = desc.Left + x;
                if (sx >= 0 && sx < gif->SWidth)
                    row[sx] = src[x];
            }
        }
    }
    if (ReportProgress(progress, 1, 1, userData))
        return SPI_ABORT;
    dib.Release(info, bits);
    return SPI_SUCCESS;
}

SPI_EXPORT int32_t ConfigurationDlg(void* /*parent*/, int32_t /*function*/) { return SPI_SUCCESS; }
