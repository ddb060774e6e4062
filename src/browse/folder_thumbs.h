#pragma once
// The thumbnail browser's folder logic without the window: selecting a folder reads its cache,
// scans the files and brings the list up to date; leaving it saves or deletes the cache. The
// window shows the status texts and the wait cursor around these calls and draws from Names()
// and Store().

#include "browse/sum_img.h"
#include "browse/thumb_size.h"
#include "codecs/photo_tags.h"
#include "platform/bitmap.h"
#include "platform/memory_budget.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vtl::browse {

// Entries of the picture extension list that the scan knows; 5 and above are plug-in patterns.
enum PictureEntry : int {
    kEntryNone = -1,
    kEntryCache = 0, // "*.snx"
    kEntryBmp = 1,
    kEntryJpg = 2,
    kEntryJpeg = 3,
    kEntryPng = 4,
    kFirstPluginEntry = 5,
};

// The built-in part of the extension list: the entry of "*.snx", "*.bmp", "*.jpg", "*.jpeg" or
// "*.png" whose extension equals the name's, compared in lower case; kEntryNone otherwise.
int BuiltInPictureEntry(std::string_view fileName);

// What the folder scan needs from the rest of the program.
struct FolderScanHooks {
    // The entry of the picture extension list that matches the file name (Find entry from 0),
    // or kEntryNone. Empty: BuiltInPictureEntry.
    std::function<int(std::string_view fileName)> findEntry;
    // Decodes a file of a plug-in format into the bitmap without reduction to 8 bits. False when
    // the plug-in declined or failed the file; true when it read the picture, and also when no
    // usable plug-in claims the file (the bitmap is then left empty). Empty: such files are
    // skipped.
    std::function<bool(platform::TBitmap& bitmap, const std::filesystem::path& file)>
        decodeByPlugin;
    // What one picture may cost while its thumbnail is made; a picture over it is a failure.
    platform::MemoryBudget budget = platform::MemoryBudget::Automatic().ForThumbnails();
    // Whether thumbnails of photos are made upright and in sRGB.
    codecs::PhotoOptions photo = {};
};

// A time stamp as the cache compares them: the local date and time packed as a FAT directory
// entry keeps it (date in the high 16 bits, time in 2-second steps in the low 16). Times before
// 1980 are taken as 1980-01-01 00:00:00, those after 2107 as the last representable moment.
uint32_t PackedStamp(int64_t unixSeconds);
// The stamp of a file's modification time; nothing when the file can't be examined.
std::optional<uint32_t> FileStamp(const std::filesystem::path& path);

class FolderThumbnails {
public:
    explicit FolderThumbnails(ThumbSize size, FolderScanHooks hooks = {});

    // Selecting a folder. An empty path, or one that is not an existing directory (a virtual
    // folder), leaves an empty list and touches no file. Otherwise the folder's cache is read and,
    // unless it was saved in edit mode, the folder is scanned: unchanged files keep their cached
    // thumbnails, new and changed ones are decoded and appended, and entries whose files were not
    // found are dropped. A BMP, JPEG or PNG file that can't be read is left out and noted in
    // Failures(); the scan goes on with the files after it.
    void SelectFolder(const std::filesystem::path& folder);

    // The files of the last selection that could not be read, in scan order, with the reader's
    // error text. A picture that a plug-in can't decode is skipped silently and is not listed.
    struct ReadFailure {
        std::filesystem::path file;
        std::string message;
    };
    const std::vector<ReadFailure>& Failures() const { return m_failures; }

    // Saving the cache when the folder is left: only if `saveSetting` (Sum/Save) is on and the
    // list was modified or the edit mode was toggled. An empty list deletes the cache; otherwise
    // the cache is written with the marker of the edit mode, and an old "vtl.idx" beside it is
    // deleted. Failures are swallowed. True when the cache was written or deleted.
    bool SaveCache(bool saveSetting);

    // Removes an entry (the window's deletion of a thumbnail); an index outside the list is
    // ignored.
    void RemoveEntry(int index);

    const std::vector<std::string>& Names() const { return m_names; }
    TSumImg& Store() { return m_store; }
    const TSumImg& Store() const { return m_store; }
    int Count() const { return int(m_names.size()); }
    // The folder shown, without a trailing separator; empty for a virtual folder.
    const std::filesystem::path& FolderPath() const { return m_folderPath; }
    // FolderPath / name of an entry.
    std::filesystem::path FilePath(int index) const;

    // Set whenever an entry is added or removed or the cache was inconsistent.
    bool Modified() const { return m_modified; }
    // The edit mode with which the folder's cache was read (its marker was "%vtl_e%").
    bool EditFlag() const { return m_editFlag; }
    // The check of the edit-mode command: set to EditFlag by each selection, toggled by the user.
    bool EditMode() const { return m_editMode; }
    void SetEditMode(bool on) { m_editMode = on; }
    // The cache file's stamp when the folder was selected; 0 when it had no cache.
    uint32_t CacheStamp() const { return m_cacheStamp; }

private:
    void ReadCache();
    void ScanFolder(std::vector<bool>& seen);
    // The picture of one file fitted into m_work; false when the file is to be skipped.
    bool MakeThumbnail(const std::filesystem::path& file, int entry);
    // The tags of a photo, read only when the hooks ask for them to be applied.
    codecs::PhotoTags PhotoTagsOf(const std::filesystem::path& file) const;

    ThumbSize m_size;
    FolderScanHooks m_hooks;
    TSumImg m_store;
    std::vector<std::string> m_names;
    std::vector<ReadFailure> m_failures;
    platform::TBitmap m_work;
    std::filesystem::path m_folderPath;
    bool m_editFlag = false;
    bool m_editMode = false;
    bool m_modified = false;
    uint32_t m_cacheStamp = 0;
};

} // namespace vtl::browse
