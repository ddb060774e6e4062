// The HEIF/HEIC and AVIF plug-in's entry points over arbitrary bytes (see picture_plugin_fuzz.h).
#include "picture_plugin_fuzz.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    return vtl::fuzz::OfferToPicturePlugin(data, size);
}
