// Picture plug-in for JPEG XL files over libjxl: the first frame as a 24-bit picture, upright and
// in sRGB. Unlike the other formats the host reads, a JPEG XL file keeps its orientation and
// colour encoding inside the codestream, where the host doesn't look; so libjxl turns the picture
// upright itself and is asked for sRGB, which it gives for every picture stored in its own
// (XYB) colour space. A losslessly stored picture comes in the colour space it was stored in:
// with an embedded profile other than sRGB its samples are passed on unconverted. Alpha is
// dropped, as the WebP plug-in does.

#include "spi_common.h"

#include <jxl/decode.h>
#include <jxl/thread_parallel_runner.h>

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

using namespace vtl::plugins;

namespace {

constexpr std::array<const char*, 4> kInfo { "00IN", "vtl JPEG XL plug-in (libjxl)", "*.jxl",
    "JPEG XL" };

// A bare codestream, or the ISO box container that starts with the JXL signature box.
bool IsJxl(const uint8_t* head, size_t count)
{
    static constexpr uint8_t kContainer[12]
        = { 0, 0, 0, 0x0C, 'J', 'X', 'L', ' ', 0x0D, 0x0A, 0x87, 0x0A };
    return (count >= 2 && head[0] == 0xFF && head[1] == 0x0A)
        || (count >= sizeof kContainer && std::memcmp(head, kContainer, sizeof kContainer) == 0);
}

struct DecoderFree {
    void operator()(JxlDecoder* d) const { JxlDecoderDestroy(d); }
};
struct RunnerFree {
    void operator()(void* r) const { JxlThreadParallelRunnerDestroy(r); }
};

// A decoder over the whole of `data`, its input closed, with the events of `events` subscribed.
// (libjxl 0.7 takes a memory manager, but passes only its small allocations through it: its
// image planes are its own. What bounds its memory is the size checked before any pixel is
// decoded.)
std::unique_ptr<JxlDecoder, DecoderFree> OpenDecoder(std::span<const uint8_t> data, int events)
{
    std::unique_ptr<JxlDecoder, DecoderFree> decoder(JxlDecoderCreate(nullptr));
    if (!decoder || JxlDecoderSubscribeEvents(decoder.get(), events) != JXL_DEC_SUCCESS
        || JxlDecoderSetInput(decoder.get(), data.data(), data.size()) != JXL_DEC_SUCCESS)
        return nullptr;
    JxlDecoderCloseInput(decoder.get());
    return decoder;
}

// The size of the picture as it comes out (upright: orientations 5 to 8 swap the sides),
// checked against the plug-ins' limits.
bool UprightSize(const JxlBasicInfo& basic, int32_t& width, int32_t& height)
{
    uint64_t w = basic.xsize, h = basic.ysize;
    if (basic.orientation >= JXL_ORIENT_TRANSPOSE)
        std::swap(w, h);
    if (w == 0 || h == 0 || w > uint64_t(kMaxSide) || h > uint64_t(kMaxSide)
        || w * h * 3 > kMaxBytes)
        return false;
    width = static_cast<int32_t>(w);
    height = static_cast<int32_t>(h);
    return true;
}

JxlColorEncoding Srgb(bool grey)
{
    JxlColorEncoding c {};
    c.color_space = grey ? JXL_COLOR_SPACE_GRAY : JXL_COLOR_SPACE_RGB;
    c.white_point = JXL_WHITE_POINT_D65;
    c.primaries = JXL_PRIMARIES_SRGB;
    c.transfer_function = JXL_TRANSFER_FUNCTION_SRGB;
    c.rendering_intent = JXL_RENDERING_INTENT_RELATIVE;
    return c;
}

int32_t ReadInfo(std::span<const uint8_t> data, int32_t& width, int32_t& height)
{
    if (!IsJxl(data.data(), data.size()))
        return SPI_UNKNOWN_FORMAT;
    auto decoder = OpenDecoder(data, JXL_DEC_BASIC_INFO);
    if (!decoder)
        return SPI_NO_MEMORY;
    if (JxlDecoderProcessInput(decoder.get()) != JXL_DEC_BASIC_INFO)
        return SPI_BROKEN_DATA;
    JxlBasicInfo basic;
    if (JxlDecoderGetBasicInfo(decoder.get(), &basic) != JXL_DEC_SUCCESS
        || !UprightSize(basic, width, height))
        return SPI_BROKEN_DATA;
    return SPI_SUCCESS;
}

int32_t Decode(std::span<const uint8_t> data, void** info, void** bits,
    SusieProgressCallback progress, int32_t userData)
{
    if (!IsJxl(data.data(), data.size()))
        return SPI_UNKNOWN_FORMAT;
    // Steps the host sees: start, size known, colours known, pixels decoded, picture handed over.
    constexpr int32_t kSteps = 4;
    if (ReportProgress(progress, 0, kSteps, userData))
        return SPI_ABORT;
    auto decoder
        = OpenDecoder(data, JXL_DEC_BASIC_INFO | JXL_DEC_COLOR_ENCODING | JXL_DEC_FULL_IMAGE);
    if (!decoder)
        return SPI_NO_MEMORY;
    const size_t threads
        = std::clamp<size_t>(JxlThreadParallelRunnerDefaultNumWorkerThreads(), 1, 8);
    std::unique_ptr<void, RunnerFree> runner(JxlThreadParallelRunnerCreate(nullptr, threads));
    if (!runner
        || JxlDecoderSetParallelRunner(decoder.get(), JxlThreadParallelRunner, runner.get())
            != JXL_DEC_SUCCESS)
        return SPI_NO_MEMORY;

    const JxlPixelFormat format { 3, JXL_TYPE_UINT8, JXL_NATIVE_ENDIAN, 0 };
    int32_t width = 0, height = 0;
    bool grey = false;
    std::vector<uint8_t> rgb;
    for (;;) {
        JxlDecoderStatus status = JxlDecoderProcessInput(decoder.get());
        if (status == JXL_DEC_BASIC_INFO) {
            JxlBasicInfo basic;
            if (JxlDecoderGetBasicInfo(decoder.get(), &basic) != JXL_DEC_SUCCESS
                || !UprightSize(basic, width, height))
                return SPI_BROKEN_DATA;
            grey = basic.num_color_channels == 1;
            if (ReportProgress(progress, 1, kSteps, userData))
                return SPI_ABORT;
        } else if (status == JXL_DEC_COLOR_ENCODING) {
            // Taken only by pictures in libjxl's own colour space; the others keep theirs.
            const JxlColorEncoding srgb = Srgb(grey);
            JxlDecoderSetPreferredColorProfile(decoder.get(), &srgb);
            if (ReportProgress(progress, 2, kSteps, userData))
                return SPI_ABORT;
        } else if (status == JXL_DEC_NEED_IMAGE_OUT_BUFFER) {
            size_t size = 0;
            if (width <= 0
                || JxlDecoderImageOutBufferSize(decoder.get(), &format, &size) != JXL_DEC_SUCCESS
                || size != size_t(width) * size_t(height) * 3)
                return SPI_BROKEN_DATA;
            rgb.resize(size);
            if (JxlDecoderSetImageOutBuffer(decoder.get(), &format, rgb.data(), rgb.size())
                != JXL_DEC_SUCCESS)
                return SPI_BROKEN_DATA;
        } else if (status == JXL_DEC_FULL_IMAGE) {
            break; // the first frame is the picture
        } else {
            // An error, data that ends too soon (the input is closed), or the end without a frame.
            return SPI_BROKEN_DATA;
        }
    }
    if (rgb.empty())
        return SPI_BROKEN_DATA;
    if (ReportProgress(progress, 3, kSteps, userData))
        return SPI_ABORT;
    decoder.reset();
    runner.reset();
    DibBlocks dib;
    if (!dib.Create(width, height, 24))
        return SPI_NO_MEMORY;
    PutRgbRows(dib, width, height, rgb.data(), size_t(width) * 3);
    if (ReportProgress(progress, kSteps, kSteps, userData))
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
    return ReadHead(fdOrHead, head, count) && IsJxl(head, count) ? 1 : 0;
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
        int32_t width = 0, height = 0;
        if (int32_t refused = ReadInfo(data, width, height); refused != SPI_SUCCESS)
            return refused;
        FillPictureInfo(info, width, height, 24);
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
