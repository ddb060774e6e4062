// What a plug-in hands back, as arbitrary bytes: the two blocks of GetPicture turned into a
// picture, and the member list of GetArchiveInfo read into members and cache lines. The blocks
// are real malloc'ed blocks of exactly the given size, as a plug-in would return them, so that a
// read past their end is caught.
//
// Input: one byte of mode; picture mode (even): u16 length of the header block, the header
// block, the rest is the pixel block. List mode (odd): the rest is the member list.
#include "document/dib.h"
#include "input/archive_access.h"
#include "input/plugin_host.h"
#include "input/plugin_picture.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <exception>

namespace {

vtl::input::PluginBlock BlockOf(const uint8_t* data, size_t size)
{
    void* block = std::malloc(size ? size : 1);
    if (!block)
        std::abort();
    if (size)
        std::memcpy(block, data, size);
    return vtl::input::PluginBlock(block);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    using namespace vtl;
    if (size < 1)
        return 0;
    const uint8_t mode = data[0];
    ++data;
    --size;
    if ((mode & 1) == 0) {
        if (size < 2)
            return 0;
        size_t infoSize = std::min<size_t>(size - 2, size_t(data[0] | data[1] << 8));
        auto info = BlockOf(data + 2, infoSize);
        auto bits = BlockOf(data + 2 + infoSize, size - 2 - infoSize);
        document::TDIB dib;
        try {
            input::PictureFromPluginBlocks(info.Bytes(), bits.Bytes(), dib);
        } catch (const std::exception&) {
            return 0;
        }
        // A picture that loaded is whole: every row can be read (run-length pictures have no
        // rows until expanded) and it saves as a BMP.
        if (dib.Info().biCompression == document::kBiRgb)
            for (int32_t y = 0; y < dib.Height(); ++y)
                if (!dib.ScanLine(y))
                    std::abort();
        if (dib.SaveToBytes().size() < 54)
            std::abort();
        return 0;
    }
    auto list = BlockOf(data, size);
    auto members = input::ParseMemberList(list.Bytes());
    if (members.size() > size / SPI_FILE_INFO_SIZE)
        std::abort();
    std::vector<std::string> lines { input::kArchiveCacheMarker };
    for (const auto& member : members) {
        if (member.name.size() > 401)
            std::abort();
        lines.push_back(input::FormatArchiveCacheLine(member));
    }
    try {
        auto back = input::ParseArchiveCacheLines(lines);
        if (!back)
            std::abort();
        for (size_t i = 0; i < back->size() && i < members.size(); ++i)
            if ((*back)[i].position != members[i].position || (*back)[i].size != members[i].size)
                std::abort();
    } catch (const input::EConvertError&) {
        std::abort();
    }
    return 0;
}
