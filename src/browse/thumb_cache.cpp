#include "browse/thumb_cache.h"

#include "app/comma_text.h"
#include "browse/pair_coder.h"
#include "document/dib.h"
#include "platform/atomic_file.h"
#include "platform/byte_reader.h"
#include "platform/checked.h"
#include "platform/stream.h"

#include <cstring>
#include <stdexcept>
#include <string_view>

namespace vtl::browse {

namespace {

    constexpr size_t kHeaderSize = 32; // magic, W, H and two directory entries

    struct DirectoryEntry {
        uint32_t offset = 0;
        uint32_t packed = 0;
        uint32_t unpacked = 0;
    };

    std::vector<uint8_t> UnpackSection(std::span<const uint8_t> file, const DirectoryEntry& entry)
    {
        auto end = platform::CheckedAdd<uint64_t>(entry.offset, entry.packed);
        if (!end || *end > file.size())
            throw EThumbCacheDamaged();
        return UnpackPairs(file.subspan(entry.offset, entry.packed), entry.unpacked);
    }

    void PutEntry(
        std::vector<uint8_t>& file, size_t at, size_t offset, size_t packed, size_t unpacked)
    {
        if (offset > UINT32_MAX || packed > UINT32_MAX || unpacked > UINT32_MAX)
            throw std::length_error("thumbnail cache section too large");
        platform::PutU32le(file.data() + at, uint32_t(offset));
        platform::PutU32le(file.data() + at + 4, uint32_t(packed));
        platform::PutU32le(file.data() + at + 8, uint32_t(unpacked));
    }

    // Appends a packed section and records it in the directory entry at `entryAt`.
    void AppendSection(std::vector<uint8_t>& file, size_t entryAt, std::span<const uint8_t> data)
    {
        std::vector<uint8_t> packed = PackPairs(data);
        file.insert(file.end(), packed.begin(), packed.end());
        PutEntry(file, entryAt, file.size() - packed.size(), packed.size(), data.size());
    }

} // namespace

bool CacheHeader::Fits(ThumbSize current) const
{
    if (layout == CacheLayout::VTL0)
        return current == kThumbSizes[0];
    return size && *size == current;
}

std::optional<CacheHeader> ReadCacheHeader(std::span<const uint8_t> file)
{
    if (file.size() < 4)
        return std::nullopt;
    CacheHeader header;
    if (std::memcmp(file.data(), "WTL0", 4) == 0) {
        if (file.size() < 8)
            return std::nullopt;
        platform::ByteReader in(file.subspan(4, 4));
        int32_t width = in.u16le();
        int32_t height = in.u16le();
        header.size = ThumbSize { width, height };
    } else if (std::memcmp(file.data(), "VTL0", 4) == 0) {
        header.layout = CacheLayout::VTL0;
    } else {
        return std::nullopt;
    }
    return header;
}

std::optional<CacheSections> ReadCacheSections(std::span<const uint8_t> file, bool withText)
{
    std::optional<CacheHeader> header = ReadCacheHeader(file);
    if (!header)
        return std::nullopt;
    platform::ByteReader in(file);
    DirectoryEntry entries[2];
    try {
        in.Seek(header->layout == CacheLayout::WTL0 ? 8 : 4);
        for (DirectoryEntry& e : entries) {
            e.offset = in.u32le();
            e.packed = in.u32le();
            e.unpacked = in.u32le();
        }
    } catch (const platform::EReadError&) {
        throw EThumbCacheDamaged();
    }
    CacheSections sections;
    sections.header = *header;
    if (withText)
        sections.text = UnpackSection(file, entries[0]);
    sections.strip = UnpackSection(file, entries[1]);
    return sections;
}

std::vector<std::string> CacheLines(std::span<const uint8_t> text)
{
    return app::SplitLines(
        std::string_view(reinterpret_cast<const char*>(text.data()), text.size()));
}

std::vector<uint8_t> BuildThumbCache(const std::vector<std::string>& lines, const TSumImg& store)
{
    if (store.Width() > UINT16_MAX || store.Height() > UINT16_MAX)
        throw std::length_error("thumbnail size too large for a cache file");
    std::vector<uint8_t> text;
    for (const std::string& line : lines) {
        text.insert(text.end(), line.begin(), line.end());
        text.push_back('\r');
        text.push_back('\n');
    }
    platform::TMemoryStream strip;
    store.SaveToStream(strip, 0);

    std::vector<uint8_t> file(kHeaderSize, 0);
    std::memcpy(file.data(), "WTL0", 4);
    platform::PutU16le(file.data() + 4, uint16_t(store.Width()));
    platform::PutU16le(file.data() + 6, uint16_t(store.Height()));
    AppendSection(file, 8, text);
    AppendSection(file, 20, strip.Bytes());
    return file;
}

void SaveThumbCache(
    const std::filesystem::path& path, const std::vector<std::string>& lines, const TSumImg& store)
{
    std::vector<uint8_t> bytes = BuildThumbCache(lines, store);
    platform::WriteFileAtomically(
        path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

bool LoadThumbCache(std::span<const uint8_t> file, std::vector<std::string>& lines, TSumImg& store)
{
    lines.clear();
    store.Clear();
    try {
        std::optional<CacheHeader> header = ReadCacheHeader(file);
        if (!header || !header->Fits(store.Size()))
            return false;
        std::optional<CacheSections> sections = ReadCacheSections(file);
        if (!sections)
            return false;
        std::vector<std::string> read = CacheLines(sections->text);
        if (read.empty())
            return false;
        store.LoadFromBytes(sections->strip, int(std::min<size_t>(read.size() - 1, INT32_MAX)));
        lines = std::move(read);
        return true;
    } catch (const std::exception&) {
        // A damaged cache is no cache; the folder is built afresh.
        lines.clear();
        store.Clear();
        return false;
    }
}

bool LoadThumbCache(
    const std::filesystem::path& path, std::vector<std::string>& lines, TSumImg& store)
{
    lines.clear();
    store.Clear();
    std::vector<uint8_t> file;
    try {
        file = platform::ReadWholeFile(path);
    } catch (const std::exception&) {
        return false;
    }
    return LoadThumbCache(file, lines, store);
}

bool LoadCacheImage(std::span<const uint8_t> file, document::TDIB& picture, ThumbSize current)
{
    std::optional<CacheHeader> header = ReadCacheHeader(file);
    if (!header || !header->Fits(current))
        return false;
    std::optional<CacheSections> sections = ReadCacheSections(file, false);
    if (!sections)
        return false;
    picture.LoadFromBytes(sections->strip);
    return true;
}

bool LoadCacheImage(const std::filesystem::path& path, document::TDIB& picture, ThumbSize current)
{
    return LoadCacheImage(platform::ReadWholeFile(path), picture, current);
}

} // namespace vtl::browse
