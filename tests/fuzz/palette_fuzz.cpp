// The palette file reader on arbitrary bytes: accepted files rebuild to the same bytes' entries.
#include "processing/palette_file.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vtl;
    std::span<const uint8_t> bytes(data, size);
    for (size_t count : { size_t(16), size_t(256) }) {
        std::vector<platform::PaletteEntry> entries;
        if (!processing::ParsePaletteFile(bytes, count, entries))
            continue;
        if (entries.size() != count)
            std::abort();
        std::vector<platform::PaletteEntry> again;
        if (!processing::ParsePaletteFile(
                processing::BuildPaletteFile(entries, count), count, again)
            || again != entries)
            std::abort();
    }
    return 0;
}
