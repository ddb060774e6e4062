#pragma once
// Thumbnail cache files: "vtl.snx" in a folder, or an archive's path with ".snx" appended. A file
// holds text lines (a marker, then one line per thumbnail) and the strip picture of a store, each
// section packed with the byte-pair coder. The current layout starts "WTL0" and records the
// thumbnail size; the older "VTL0" layout records none and is only read for 64 x 48.

#include "browse/sum_img.h"
#include "browse/thumb_size.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace vtl::document {
class TDIB;
}

namespace vtl::browse {

inline constexpr const char* kFolderCacheName = "vtl.snx";
inline constexpr const char* kCacheExtension = ".snx";
// A file an older version kept beside the cache; writing a folder cache removes it.
inline constexpr const char* kOldIndexName = "vtl.idx";

inline constexpr const char* kFolderMarker = "%vtl%";
inline constexpr const char* kEditMarker = "%vtl_e%";
inline constexpr const char* kArchiveMarker = "%vtl_a%";

enum class CacheLayout { WTL0, VTL0 };

// The header of a cache file: its layout, and the thumbnail size it was made for (none for VTL0).
struct CacheHeader {
    CacheLayout layout = CacheLayout::WTL0;
    std::optional<ThumbSize> size;

    // True when a store of `current` size may read the file.
    bool Fits(ThumbSize current) const;
};

// The two unpacked sections of a cache file.
struct CacheSections {
    CacheHeader header;
    std::vector<uint8_t> text; // lines, each ended by CR LF
    std::vector<uint8_t> strip; // a BMP file
};

// The header of a cache file's bytes; nothing for another magic or too few bytes.
std::optional<CacheHeader> ReadCacheHeader(std::span<const uint8_t> file);

// Unpacks the sections of a cache file's bytes (only the strip unless `withText`). Nothing for an
// unknown magic; EThumbCacheDamaged when a directory entry points outside the file or a section
// does not unpack to its recorded length. Never reads outside `file`.
std::optional<CacheSections> ReadCacheSections(std::span<const uint8_t> file, bool withText = true);

// The cache file's bytes for these lines and this store (strip columns by the automatic rule).
std::vector<uint8_t> BuildThumbCache(const std::vector<std::string>& lines, const TSumImg& store);

// Writes a complete current-layout file. The bytes go to a temporary file that is renamed over
// the old one, so a failure leaves the old cache as it was. Throws std::system_error (and
// std::length_error for a store too large to record) on failure.
void SaveThumbCache(
    const std::filesystem::path& path, const std::vector<std::string>& lines, const TSumImg& store);

// Clears both lists, then reads the file: every line of the text section including the marker,
// and (number of lines - 1) thumbnails from the strip. False, with both lists empty, when the
// file can't be read, has another magic, was made for another thumbnail size than the store's,
// holds no lines, or is damaged in any way.
bool LoadThumbCache(
    const std::filesystem::path& path, std::vector<std::string>& lines, TSumImg& store);
// The same over a cache file's bytes.
bool LoadThumbCache(std::span<const uint8_t> file, std::vector<std::string>& lines, TSumImg& store);

// Opening a cache file as a picture: its strip, when the file was made for thumbnails of
// `current` size. False, with `picture` untouched, for a file of another size or magic. Throws
// EThumbCacheDamaged for a damaged file, and the file's and the image buffer's errors.
bool LoadCacheImage(const std::filesystem::path& path, document::TDIB& picture, ThumbSize current);
bool LoadCacheImage(std::span<const uint8_t> file, document::TDIB& picture, ThumbSize current);

// The lines of a text section as the cache reads them (split at CR LF, CR or LF).
std::vector<std::string> CacheLines(std::span<const uint8_t> text);

} // namespace vtl::browse
