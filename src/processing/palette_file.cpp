#include "processing/palette_file.h"

#include "platform/atomic_file.h"
#include "platform/byte_reader.h"
#include "platform/stream.h"

#include <algorithm>
#include <cstring>
#include <stdexcept>
#include <string_view>

namespace vtl::processing {

using platform::PaletteEntry;

namespace {

    constexpr size_t kHeaderSize = 24;
    constexpr uint16_t kPaletteVersion = 0x300;

    bool TagIs(platform::ByteReader& reader, std::string_view tag)
    {
        auto bytes = reader.Take(4);
        return std::memcmp(bytes.data(), tag.data(), 4) == 0;
    }

} // namespace

bool ParsePaletteFile(
    std::span<const uint8_t> bytes, size_t expectedCount, std::vector<PaletteEntry>& entries)
{
    try {
        platform::ByteReader reader(bytes);
        if (!TagIs(reader, "RIFF"))
            return false;
        reader.Skip(4); // the RIFF size: many writers get it wrong, so it is not checked
        if (!TagIs(reader, "PAL ") || !TagIs(reader, "data"))
            return false;
        uint32_t chunkSize = reader.u32le();
        reader.Skip(2); // version
        uint16_t count = reader.u16le();
        if (count != expectedCount || uint64_t(chunkSize) != uint64_t(4) * count + 4)
            return false;
        auto raw = reader.Take(size_t(4) * count);
        std::vector<PaletteEntry> result(count);
        for (size_t i = 0; i < count; ++i)
            result[i] = { raw[4 * i], raw[4 * i + 1], raw[4 * i + 2], raw[4 * i + 3] };
        entries = std::move(result);
        return true;
    } catch (const platform::EReadError&) {
        return false; // shorter than its own numbers say
    }
}

bool ReadPaletteFile(const std::filesystem::path& path, size_t expectedCount,
    std::vector<PaletteEntry>& entries, std::string& refusal)
{
    platform::TFileStream file(path, platform::TFileMode::OpenRead);
    // Nothing beyond the entries is needed, so a huge file is never read whole.
    size_t wanted = kHeaderSize + 4 * std::min<size_t>(expectedCount, 65535);
    std::vector<uint8_t> head(std::min<uint64_t>(file.Size(), wanted));
    head.resize(file.Read(head.data(), head.size()));
    if (!ParsePaletteFile(head, expectedCount, entries)) {
        refusal = kPaletteFileRefused;
        return false;
    }
    refusal.clear();
    return true;
}

std::vector<uint8_t> BuildPaletteFile(std::span<const PaletteEntry> entries, size_t count)
{
    if (count > entries.size() || count > 65535)
        throw std::invalid_argument("Palette file: wrong number of entries");
    std::vector<uint8_t> bytes(kHeaderSize + 4 * count);
    uint8_t* p = bytes.data();
    std::memcpy(p, "RIFF", 4);
    platform::PutU32le(p + 4, static_cast<uint32_t>(4 * count + 16));
    std::memcpy(p + 8, "PAL data", 8);
    platform::PutU32le(p + 16, static_cast<uint32_t>(4 * count + 4));
    platform::PutU16le(p + 20, kPaletteVersion);
    platform::PutU16le(p + 22, static_cast<uint16_t>(count));
    for (size_t i = 0; i < count; ++i) {
        uint8_t* e = p + kHeaderSize + 4 * i;
        e[0] = entries[i].peRed;
        e[1] = entries[i].peGreen;
        e[2] = entries[i].peBlue;
        e[3] = entries[i].peFlags;
    }
    return bytes;
}

bool WritePaletteFile(
    const std::filesystem::path& path, std::span<const PaletteEntry> entries, size_t count)
{
    auto bytes = BuildPaletteFile(entries, count);
    platform::WriteFileAtomically(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return true;
}

} // namespace vtl::processing
