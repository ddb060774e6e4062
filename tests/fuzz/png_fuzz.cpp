// The PNG reader on arbitrary bytes: it either loads or refuses with its own error; a picture it
// loads can be written and read back.
#include "codecs/png_errors.h"
#include "codecs/png_image.h"
#include "platform/stream.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vtl;
    codecs::TPngImage png;
    png.ReadOptions.keepHighColor = (size & 1) != 0;
    png.ReadOptions.keepChromaticities = true;
    png.ReadOptions.keepTime = true;
    // Rows unfiltered on a second thread as well as on the reading one.
    png.ReadOptions.threads = (size & 8) != 0 ? 2 : 1;
    try {
        platform::TSpanStream in(std::span(data, size));
        png.LoadFromStream(in);
    } catch (const codecs::EPngError&) {
        return 0;
    }
    // Whatever was read is written again with the properties the file gave.
    png.SetInterlace((size & 2) != 0);
    png.SetGreyscale((size & 4) != 0);
    platform::TMemoryStream out;
    png.SaveToStream(out);
    codecs::TPngImage back;
    platform::TSpanStream again(out.Bytes());
    back.LoadFromStream(again);
    if (back.Width() != png.Width() || back.Height() != png.Height())
        std::abort();
    return 0;
}
