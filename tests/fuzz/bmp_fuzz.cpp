// BMP files, packed DIBs (clipboard and scanner forms) and the display bitmap's reader on any
// bytes: each must load or refuse with its own errors, and whatever loads must survive being
// saved, drawn and converted.

#include "document/dib.h"
#include "platform/bitmap.h"
#include "platform/byte_reader.h"
#include "platform/stream.h"

#include <cstddef>
#include <cstdint>
#include <span>

using namespace vtl;

namespace {

// Pictures above this many pixels are only loaded and saved: drawing them would spend the
// fuzzer's time and memory on allocation rather than on parsing.
constexpr uint64_t kMaxDrawnPixels = 1 << 16;

template <typename F> bool Refused(F&& load)
{
    try {
        load();
        return false;
    } catch (const document::EDIBError&) {
    } catch (const document::EInvalidGraphic&) {
    } catch (const platform::EReadError&) {
    }
    return true;
}

void Exercise(document::TDIB& dib)
{
    (void)dib.SaveToBytes();
    (void)dib.SaveToClipboardFormat();
    if (uint64_t(dib.Width()) * uint64_t(dib.Height()) > kMaxDrawnPixels)
        return;
    platform::TBitmap bitmap;
    dib.AssignTo(bitmap);
    platform::TBitmap stretched(7, 5, platform::TPixelFormat::pf24bit);
    dib.Draw(stretched.Canvas(), platform::Rect(6, 0, -1, 5));
    document::TDIB copy;
    copy.Assign(bitmap);
    try {
        document::TDIB expanded(dib);
        expanded.SetPixelFormat(document::DibPixelFormat::Dib24Bit);
    } catch (const document::EDIBError&) {
        // Run-length data the conversion finds bad is refused there.
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    std::span<const uint8_t> bytes(data, size);
    document::TDIB file;
    if (!Refused([&] { file.LoadFromBytes(bytes); }))
        Exercise(file);

    // The same bytes as a packed DIB, without the file header when there is one.
    std::span<const uint8_t> packed
        = size > 14 && data[0] == 'B' && data[1] == 'M' ? bytes.subspan(14) : bytes;
    document::TDIB clip;
    if (!Refused([&] { clip.LoadFromClipboardFormat(document::CF_DIB, packed, nullptr); }))
        Exercise(clip);
    document::TDIB scanned;
    if (!Refused([&] { scanned.LoadFromDIB(packed); }))
        Exercise(scanned);

    platform::TBitmap bitmap;
    platform::TSpanStream stream(bytes);
    try {
        bitmap.LoadFromStream(stream);
        // Writing out a picture the runs ended at once only copies zeros: the time goes to
        // allocation rather than to the writer's logic, which small pictures reach as well.
        if (uint64_t(bitmap.Width()) * uint64_t(bitmap.Height()) <= kMaxDrawnPixels) {
            platform::TMemoryStream out;
            bitmap.SaveToStream(out);
        }
    } catch (const platform::EInvalidGraphicFormat&) {
    } catch (const platform::EReadError&) {
    }
    return 0;
}
