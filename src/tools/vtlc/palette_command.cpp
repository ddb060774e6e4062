#include "tools/vtlc/palette_command.h"

#include "platform/byte_reader.h"
#include "platform/stream.h"
#include "processing/palette_file.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace vtl::tools {

int PaletteCommand(const CommandLine& line)
{
    const std::string& file = line.operands[0];
    if (!std::filesystem::is_regular_file(file))
        throw std::runtime_error(file + " が見つかりません。");
    const std::vector<uint8_t> bytes = platform::ReadWholeFile(file);
    // The file says how many entries it holds; the reader then checks that it really does.
    size_t count = 0;
    try {
        platform::ByteReader reader(bytes);
        reader.Seek(22);
        count = reader.u16le();
    } catch (const platform::EReadError&) {
        throw std::runtime_error(processing::kPaletteFileRefused);
    }
    std::vector<platform::PaletteEntry> entries;
    if (!processing::ParsePaletteFile(bytes, count, entries))
        throw std::runtime_error(processing::kPaletteFileRefused);
    std::printf("entries: %zu\n", entries.size());
    for (size_t i = 0; i < entries.size(); ++i) {
        const auto& e = entries[i];
        std::printf("%zu: %u %u %u\n", i, e.peRed, e.peGreen, e.peBlue);
    }
    return 0;
}

} // namespace vtl::tools
