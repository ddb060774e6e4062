// Thumbnail cache files and the pair unpacker on arbitrary bytes: a file either loads or is
// refused as no cache, never read outside its bytes; what loads can be saved and read again with
// the same lines. The input is also unpacked as one bare section, and packed and unpacked again.
#include "browse/pair_coder.h"
#include "browse/thumb_cache.h"
#include "document/dib.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vtl;
    const std::span<const uint8_t> bytes(data, size);

    // A bare section whose recorded length is the first three bytes.
    if (size >= 4) {
        size_t claimed = size_t(data[0]) | size_t(data[1]) << 8 | size_t(data[2]) << 16;
        try {
            browse::UnpackPairs(bytes.subspan(4), claimed);
        } catch (const browse::EThumbCacheDamaged&) {
        }
    }
    std::vector<uint8_t> packed = browse::PackPairs(bytes);
    if (browse::UnpackPairs(packed, size) != std::vector<uint8_t>(bytes.begin(), bytes.end()))
        std::abort();

    // The whole input as a cache file, read at the size its header names when that is one of
    // ours, else at the smallest.
    browse::ThumbSize thumbSize = browse::kThumbSizes[0];
    if (auto header = browse::ReadCacheHeader(bytes); header && header->size) {
        for (browse::ThumbSize s : browse::kThumbSizes) {
            if (s == *header->size)
                thumbSize = s;
        }
    }
    std::vector<std::string> lines;
    browse::TSumImg store(thumbSize);
    if (browse::LoadThumbCache(bytes, lines, store)) {
        if (lines.empty() || store.Count() != int(lines.size()) - 1)
            std::abort();
        std::vector<uint8_t> again = browse::BuildThumbCache(lines, store);
        std::vector<std::string> linesBack;
        browse::TSumImg storeBack(thumbSize);
        if (!browse::LoadThumbCache(again, linesBack, storeBack) || linesBack != lines
            || storeBack.Count() != store.Count())
            std::abort();
    }
    try {
        document::TDIB picture;
        browse::LoadCacheImage(bytes, picture, thumbSize);
    } catch (const std::exception&) {
    }
    return 0;
}
