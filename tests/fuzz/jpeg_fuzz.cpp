// The JPEG wrapper on arbitrary bytes: the header read, a decode at the scale the bytes pick, and
// a picture it decodes encoded and decoded again. libjpeg may refuse; it must never read or
// write outside its buffers or leave our state behind.
#include "codecs/jpeg_decoder.h"
#include "codecs/jpeg_encoder.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vtl;
    using codecs::JpegScale;
    const std::span<const uint8_t> bytes(data, size);
    const JpegScale scales[]
        = { JpegScale::Full, JpegScale::Half, JpegScale::Quarter, JpegScale::Eighth };
    const JpegScale scale = scales[size % 4];
    codecs::JpegSize full;
    try {
        full = codecs::ReadJpegSize(bytes);
    } catch (const codecs::EJpegError&) {
        return 0;
    }
    // Huge frames are refused by the limits; those within them but large only cost time here.
    if (uint64_t(full.width) * uint64_t(full.height) > (uint64_t(1) << 22))
        return 0;

    platform::TBitmap bitmap;
    int reports = 0;
    platform::ProgressHandler progress = [&](const platform::ProgressReport&) { ++reports; };
    try {
        codecs::DecodeJpeg(bytes, bitmap, { scale, &progress });
    } catch (const codecs::EJpegError&) {
        if (!bitmap.Empty())
            std::abort(); // a failed decode leaves the bitmap alone
        return 0;
    }
    const codecs::JpegSize scaled = codecs::ReadJpegSize(bytes, scale);
    if (bitmap.Width() != scaled.width || bitmap.Height() != scaled.height)
        std::abort();

    const std::vector<uint8_t> encoded = codecs::EncodeJpeg(bitmap, int(size % 100) + 1);
    platform::TBitmap back;
    codecs::DecodeJpeg(encoded, back);
    if (back.Width() != bitmap.Width() || back.Height() != bitmap.Height())
        std::abort();
    return 0;
}
