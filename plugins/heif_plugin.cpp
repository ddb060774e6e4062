// Picture plug-in for HEIF/HEIC and AVIF files over libheif: the primary image as a 24-bit
// picture, in the raster the file stores. The file's rotation and mirror (irot, imir) and its
// colour profile are left to the host, which reads them from the boxes itself and applies them as
// the user's settings say; so libheif is asked not to apply its transformations here. Alpha is
// dropped, as the WebP plug-in does.

#include "spi_common.h"

#include <libheif/heif.h>

#include <algorithm>
#include <array>
#include <memory>
#include <thread>
#include <vector>

using namespace vtl::plugins;

namespace {

constexpr std::array<const char*, 6> kInfo { "00IN", "vtl HEIF/AVIF plug-in (libheif)",
    "*.heic;*.heif", "HEIF", "*.avif", "AVIF" };

uint32_t Be32(const uint8_t* p)
{
    return uint32_t(p[0]) << 24 | uint32_t(p[1]) << 16 | uint32_t(p[2]) << 8 | uint32_t(p[3]);
}

bool IsHeifBrand(const uint8_t* brand)
{
    // Still pictures and sequences of HEVC, AV1 and the common image-file brands.
    static constexpr std::array<const char*, 12> kBrands { "heic", "heix", "hevc", "hevx", "heim",
        "heis", "hevm", "hevs", "mif1", "msf1", "avif", "avis" };
    for (const char* b : kBrands)
        if (std::memcmp(brand, b, 4) == 0)
            return true;
    return false;
}

// The file starts with an ftyp box whose major brand or one of whose compatible brands is a HEIF
// or AVIF brand. Only the bytes at hand are looked at.
bool IsHeif(const uint8_t* head, size_t count)
{
    if (count < 16 || std::memcmp(head + 4, "ftyp", 4) != 0)
        return false;
    uint32_t boxSize = Be32(head);
    if (boxSize < 16)
        return false;
    size_t end = std::min<size_t>(boxSize, count);
    if (IsHeifBrand(head + 8))
        return true;
    for (size_t at = 16; at + 4 <= end; at += 4)
        if (IsHeifBrand(head + at))
            return true;
    return false;
}

// libheif is initialised once, when a picture is first read, and released when the process
// ends. Not while the plug-in is loaded: the host loads plug-ins just to read their information,
// and library work inside the loader's lock is best kept to none. The plug-in is linked to stay
// resident once loaded (plugins/CMakeLists.txt): initialising libheif costs more than decoding a
// small picture, and the host loads the plug-in for every request.
struct LibraryInUse {
    LibraryInUse() { heif_init(nullptr); }
    ~LibraryInUse() { heif_deinit(); }
    LibraryInUse(const LibraryInUse&) = delete;
    LibraryInUse& operator=(const LibraryInUse&) = delete;
};
void UseLibrary() { static const LibraryInUse inUse; }

struct ContextFree {
    void operator()(heif_context* c) const { heif_context_free(c); }
};
struct HandleFree {
    void operator()(heif_image_handle* h) const { heif_image_handle_release(h); }
};
struct ImageFree {
    void operator()(heif_image* i) const { heif_image_release(i); }
};
struct OptionsFree {
    void operator()(heif_decoding_options* o) const { heif_decoding_options_free(o); }
};

// The parsed file (boxes only; nothing decoded) and its primary image, with the size of the
// raster libheif hands back when its transformations are off: the image's spatial extent.
struct Primary {
    std::unique_ptr<heif_context, ContextFree> context;
    std::unique_ptr<heif_image_handle, HandleFree> handle;
    int32_t width = 0;
    int32_t height = 0;
};

// Opens the file's primary image and checks its size against the plug-ins' limits; nothing of
// the pixels is allocated yet. SPI_SUCCESS or the refusal.
int32_t OpenPrimary(std::span<const uint8_t> data, Primary& primary)
{
    UseLibrary();
    if (!IsHeif(data.data(), data.size()))
        return SPI_UNKNOWN_FORMAT;
    primary.context.reset(heif_context_alloc());
    if (!primary.context)
        return SPI_NO_MEMORY;
    // libheif's own limits on sizes stay as they are; the data stays ours and outlives the context.
    heif_error error = heif_context_read_from_memory_without_copy(
        primary.context.get(), data.data(), data.size(), nullptr);
    if (error.code != heif_error_Ok)
        return SPI_BROKEN_DATA;
    heif_image_handle* handle = nullptr;
    error = heif_context_get_primary_image_handle(primary.context.get(), &handle);
    primary.handle.reset(handle);
    if (error.code != heif_error_Ok || !handle)
        return SPI_BROKEN_DATA;
    int w = heif_image_handle_get_ispe_width(handle);
    int h = heif_image_handle_get_ispe_height(handle);
    if (w <= 0 || h <= 0 || w > kMaxSide || h > kMaxSide
        || uint64_t(w) * uint64_t(h) * 3 > kMaxBytes)
        return SPI_BROKEN_DATA;
    primary.width = w;
    primary.height = h;
    return SPI_SUCCESS;
}

// libheif's progress, passed on to the host from the calling thread only (tiles of a grid may be
// decoded on libheif's own threads). libheif can't be stopped halfway, so a request to stop is
// remembered and honoured when the decoder returns.
struct Progress {
    SusieProgressCallback callback = nullptr;
    int32_t user = 0;
    std::thread::id caller = std::this_thread::get_id();
    int total = 0;
    bool stop = false;

    // The host sees 0 ... 100: 10 when decoding starts, 90 when it ends, the tiles in between.
    bool Report(int32_t done)
    {
        if (!stop && ReportProgress(callback, done, 100, user))
            stop = true;
        return stop;
    }
    static void Start(heif_progress_step, int maxProgress, void* self)
    {
        static_cast<Progress*>(self)->total = maxProgress;
    }
    static void Step(heif_progress_step, int progress, void* self)
    {
        auto* p = static_cast<Progress*>(self);
        if (std::this_thread::get_id() != p->caller || p->total <= 0 || progress < 0)
            return;
        p->Report(10 + int32_t(int64_t(std::min(progress, p->total)) * 80 / p->total));
    }
    static void End(heif_progress_step, void*) { }
};

int32_t Decode(std::span<const uint8_t> data, void** info, void** bits,
    SusieProgressCallback callback, int32_t userData)
{
    Primary primary;
    if (int32_t refused = OpenPrimary(data, primary); refused != SPI_SUCCESS)
        return refused;
    Progress progress { callback, userData };
    if (progress.Report(0))
        return SPI_ABORT;

    std::unique_ptr<heif_decoding_options, OptionsFree> options(heif_decoding_options_alloc());
    if (!options)
        return SPI_NO_MEMORY;
    // The stored raster: the host turns it upright from the irot and imir boxes.
    options->ignore_transformations = 1;
    options->convert_hdr_to_8bit = 1;
    options->start_progress = &Progress::Start;
    options->on_progress = &Progress::Step;
    options->end_progress = &Progress::End;
    options->progress_user_data = &progress;
    if (progress.Report(10))
        return SPI_ABORT;
    heif_image* decoded = nullptr;
    heif_error error = heif_decode_image(primary.handle.get(), &decoded, heif_colorspace_RGB,
        heif_chroma_interleaved_RGB, options.get());
    std::unique_ptr<heif_image, ImageFree> image(decoded);
    if (progress.stop)
        return SPI_ABORT;
    if (error.code == heif_error_Memory_allocation_error)
        return SPI_NO_MEMORY;
    if (error.code != heif_error_Ok || !image)
        return SPI_BROKEN_DATA;
    if (progress.Report(90))
        return SPI_ABORT;

    // What came out must be what the boxes promised (and what GetPictureInfo told the host).
    const heif_channel channel = heif_channel_interleaved;
    int stride = 0;
    const uint8_t* rgb = heif_image_get_plane_readonly(image.get(), channel, &stride);
    if (!rgb || heif_image_get_width(image.get(), channel) != primary.width
        || heif_image_get_height(image.get(), channel) != primary.height
        || heif_image_get_bits_per_pixel_range(image.get(), channel) != 8
        || stride < 3 * primary.width)
        return SPI_BROKEN_DATA;
    DibBlocks dib;
    if (!dib.Create(primary.width, primary.height, 24))
        return SPI_NO_MEMORY;
    PutRgbRows(dib, primary.width, primary.height, rgb, static_cast<size_t>(stride));
    if (progress.Report(100))
        return SPI_ABORT;
    dib.Release(info, bits);
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
    return ReadHead(fdOrHead, head, count) && IsHeif(head, count) ? 1 : 0;
}

SPI_EXPORT int32_t GetPictureInfo(
    const char* source, int32_t length, uint32_t flag, SusiePictureInfo* info)
{
    if (!info)
        return SPI_INTERNAL_ERROR;
    return GuardedEntry([&]() -> int32_t {
        std::vector<uint8_t> owned;
        std::span<const uint8_t> data;
        if (!ReadSource(source, length, flag, owned, data))
            return SPI_FILE_READ_ERROR;
        Primary primary;
        if (int32_t refused = OpenPrimary(data, primary); refused != SPI_SUCCESS)
            return refused;
        FillPictureInfo(info, primary.width, primary.height, 24);
        return SPI_SUCCESS;
    });
}

SPI_EXPORT int32_t GetPicture(const char* source, int32_t length, uint32_t flag, void** info,
    void** bits, SusieProgressCallback progress, int32_t userData)
{
    if (!info || !bits)
        return SPI_INTERNAL_ERROR;
    *info = nullptr;
    *bits = nullptr;
    return GuardedEntry([&]() -> int32_t {
        std::vector<uint8_t> owned;
        std::span<const uint8_t> data;
        if (!ReadSource(source, length, flag, owned, data))
            return SPI_FILE_READ_ERROR;
        return Decode(data, info, bits, progress, userData);
    });
}

SPI_EXPORT int32_t ConfigurationDlg(void* /*parent*/, int32_t /*function*/) { return SPI_SUCCESS; }
