// Picture plug-in for TIFF files over libtiff: the first page, read through libtiff's RGBA
// interface (so every photometric interpretation it knows), as a 24-bit picture. The rows come
// as the file stores them, the first stored row on top, whatever the orientation tag says: the
// host reads the tag and turns the picture upright as the user's setting says.

#include "spi_common.h"

#include <tiffio.h>

#include <algorithm>
#include <array>
#include <memory>

using namespace vtl::plugins;

namespace {

constexpr std::array<const char*, 4> kInfo { "00IN", "vtl TIFF plug-in (libtiff)", "*.tif;*.tiff",
    "TIFF" };

bool IsTiff(const uint8_t* head, size_t count)
{
    if (count < 4)
        return false;
    bool little = head[0] == 'I' && head[1] == 'I';
    bool big = head[0] == 'M' && head[1] == 'M';
    if (!little && !big)
        return false;
    uint16_t magic = little ? uint16_t(head[2] | head[3] << 8) : uint16_t(head[2] << 8 | head[3]);
    return magic == 42 || magic == 43; // classic or BigTIFF
}

struct MemoryFile {
    std::span<const uint8_t> data;
    toff_t pos = 0;
};

tmsize_t ReadProc(thandle_t handle, void* buffer, tmsize_t size)
{
    auto* file = static_cast<MemoryFile*>(handle);
    if (size <= 0 || file->pos >= file->data.size())
        return 0;
    size_t n
        = std::min(static_cast<size_t>(size), static_cast<size_t>(file->data.size() - file->pos));
    std::memcpy(buffer, file->data.data() + file->pos, n);
    file->pos += n;
    return static_cast<tmsize_t>(n);
}
tmsize_t WriteProc(thandle_t, void*, tmsize_t) { return 0; }
toff_t SeekProc(thandle_t handle, toff_t offset, int whence)
{
    auto* file = static_cast<MemoryFile*>(handle);
    toff_t base = whence == SEEK_CUR ? file->pos : whence == SEEK_END ? file->data.size() : 0;
    file->pos = base + offset;
    return file->pos;
}
int CloseProc(thandle_t) { return 0; }
toff_t SizeProc(thandle_t handle) { return static_cast<MemoryFile*>(handle)->data.size(); }
int MapProc(thandle_t, void**, toff_t*) { return 0; }
void UnmapProc(thandle_t, void*, toff_t) { }

struct TiffCloser {
    void operator()(TIFF* tif) const { TIFFClose(tif); }
};
using TiffPtr = std::unique_ptr<TIFF, TiffCloser>;

// libtiff prints its complaints to standard error unless told otherwise. Its handlers are
// process-wide, so they are set once, not by every thread that opens a picture.
void Silence()
{
    static const bool silenced = [] {
        TIFFSetErrorHandler(nullptr);
        TIFFSetWarningHandler(nullptr);
        return true;
    }();
    (void)silenced;
}

TiffPtr OpenTiff(MemoryFile& file)
{
    Silence();
    return TiffPtr(TIFFClientOpen("spi", "rm", &file, ReadProc, WriteProc, SeekProc, CloseProc,
        SizeProc, MapProc, UnmapProc));
}

bool PageSize(TIFF* tif, int32_t& width, int32_t& height)
{
    uint32_t w = 0, h = 0;
    if (!TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &w) || !TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &h))
        return false;
    if (w == 0 || h == 0 || w > kMaxSide || h > kMaxSide)
        return false;
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);
    return true;
}

// The orientation tag, 1 to 8 (a missing or unknown value is the default, top-left).
int StoredOrientation(TIFF* tif)
{
    uint16_t orientation = ORIENTATION_TOPLEFT;
    if (!TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation) || orientation < ORIENTATION_TOPLEFT
        || orientation > ORIENTATION_LEFTBOT)
        return ORIENTATION_TOPLEFT;
    return orientation;
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
    return ReadHead(fdOrHead, head, count) && IsTiff(head, count) ? 1 : 0;
}

SPI_EXPORT int32_t GetPictureInfo(
    const char* source, int32_t length, uint32_t flag, SusiePictureInfo* info)
{
    std::vector<uint8_t> owned;
    MemoryFile file;
    if (!ReadSource(source, length, flag, owned, file.data))
        return SPI_FILE_READ_ERROR;
    if (!IsTiff(file.data.data(), file.data.size()))
        return SPI_UNKNOWN_FORMAT;
    TiffPtr tif = OpenTiff(file);
    int32_t width = 0, height = 0;
    if (!tif || !PageSize(tif.get(), width, height))
        return SPI_BROKEN_DATA;
    FillPictureInfo(info, width, height, 24);
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
    MemoryFile file;
    if (!ReadSource(source, length, flag, owned, file.data))
        return SPI_FILE_READ_ERROR;
    if (!IsTiff(file.data.data(), file.data.size()))
        return SPI_UNKNOWN_FORMAT;
    TiffPtr tif = OpenTiff(file);
    int32_t width = 0, height = 0;
    if (!tif || !PageSize(tif.get(), width, height))
        return SPI_BROKEN_DATA;
    if (ReportProgress(progress, 0, height, userData))
        return SPI_ABORT;
    size_t pixels = static_cast<size_t>(width) * static_cast<size_t>(height);
    if (pixels * 4 > kMaxBytes)
        return SPI_NO_MEMORY;
    std::vector<uint32_t> raster;
    try {
        raster.resize(pixels);
    } catch (const std::bad_alloc&) {
        return SPI_NO_MEMORY;
    }
    // Asking for the orientation the file has means libtiff flips nothing: raster row 0 is the
    // first stored row.
    if (!TIFFReadRGBAImageOriented(tif.get(), static_cast<uint32_t>(width),
            static_cast<uint32_t>(height), raster.data(), StoredOrientation(tif.get()), 0))
        return SPI_BROKEN_DATA;
    DibBlocks dib;
    if (!dib.Create(width, height, 24))
        return SPI_NO_MEMORY;
    for (int32_t y = 0; y < height; ++y) {
        uint8_t* row = dib.Row(y);
        const uint32_t* src = raster.data() + static_cast<size_t>(y) * static_cast<size_t>(width);
        for (int32_t x = 0; x < width; ++x) {
            uint32_t p = src[x];
            row[3 * x] = static_cast<uint8_t>(TIFFGetB(p));
            row[3 * x + 1] = static_cast<uint8_t>(TIFFGetG(p));
            row[3 * x + 2] = static_cast<uint8_t>(TIFFGetR(p));
        }
    }
    if (ReportProgress(progress, height, height, userData))
        return SPI_ABORT;
    dib.Release(info, bits);
    return SPI_SUCCESS;
}

SPI_EXPORT int32_t ConfigurationDlg(void* /*parent*/, int32_t /*function*/) { return SPI_SUCCESS; }
