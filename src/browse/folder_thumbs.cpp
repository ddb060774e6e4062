#include "browse/folder_thumbs.h"

#include "browse/folder_listing.h"
#include "browse/thumb_cache.h"
#include "codecs/jpeg_decoder.h"
#include "codecs/png_image.h"
#include "document/dib.h"
#include "document/picture_budget.h"

#include <algorithm>
#include <ctime>
#include <sys/stat.h>
#include <unordered_map>

namespace vtl::browse {

namespace fs = std::filesystem;

namespace {

    char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

    fs::path PlainFolderPath(const fs::path& folder)
    {
        std::string text = folder.string();
        while (text.size() > 1 && text.back() == '/')
            text.pop_back();
        return text;
    }

} // namespace

int BuiltInPictureEntry(std::string_view fileName)
{
    if (size_t slash = fileName.rfind('/'); slash != std::string_view::npos)
        fileName.remove_prefix(slash + 1);
    size_t dot = fileName.rfind('.');
    if (dot == std::string_view::npos)
        return kEntryNone;
    std::string ext;
    for (char c : fileName.substr(dot + 1))
        ext.push_back(LowerAscii(c));
    static constexpr std::string_view kBuiltIn[] = { "snx", "bmp", "jpg", "jpeg", "png" };
    for (int i = 0; i < int(std::size(kBuiltIn)); ++i) {
        if (ext == kBuiltIn[i])
            return i;
    }
    return kEntryNone;
}

uint32_t PackedStamp(int64_t unixSeconds)
{
    std::time_t t = std::time_t(unixSeconds);
    std::tm local {};
    if (!localtime_r(&t, &local) || local.tm_year < 80)
        return (1u << 5 | 1u) << 16; // 1980-01-01 00:00:00
    if (local.tm_year > 80 + 127)
        return 0xFF9FBF7Du; // 2107-12-31 23:59:58
    uint32_t date = uint32_t(local.tm_year - 80) << 9 | uint32_t(local.tm_mon + 1) << 5
        | uint32_t(local.tm_mday);
    uint32_t time = uint32_t(local.tm_hour) << 11 | uint32_t(local.tm_min) << 5
        | uint32_t(std::min(local.tm_sec, 59) / 2);
    return date << 16 | time;
}

std::optional<uint32_t> FileStamp(const fs::path& path)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return PackedStamp(int64_t(info.st_mtime));
}

FolderThumbnails::FolderThumbnails(ThumbSize size, FolderScanHooks hooks)
    : m_size(size)
    , m_hooks(std::move(hooks))
    , m_store(size)
{
    if (!m_hooks.findEntry)
        m_hooks.findEntry = BuiltInPictureEntry;
}

fs::path FolderThumbnails::FilePath(int index) const
{
    return m_folderPath / m_names.at(size_t(index));
}

void FolderThumbnails::SelectFolder(const fs::path& folder)
{
    m_store.Clear();
    m_names.clear();
    m_failures.clear();
    m_modified = false;
    m_cacheStamp = 0;
    // A folder without a path of its own keeps none, so that nothing done while it is shown
    // can reach the files of the folder shown before.
    m_folderPath.clear();
    std::error_code ec;
    if (folder.empty() || !fs::is_directory(folder, ec))
        return;

    m_editFlag = false;
    m_folderPath = PlainFolderPath(folder);
    ReadCache();
    if (m_names.size() != size_t(m_store.Count())) {
        m_names.clear();
        m_store.Clear();
        m_modified = true;
    }
    m_editMode = m_editFlag;
    if (m_editFlag)
        return; // the folder is shown exactly as cached

    const size_t cached = m_names.size();
    std::vector<bool> seen(cached, false);
    ScanFolder(seen);
    for (size_t i = cached; i-- > 0;) {
        if (!seen[i]) {
            m_names.erase(m_names.begin() + ptrdiff_t(i));
            m_store.Delete(int(i));
            m_modified = true;
        }
    }
}

void FolderThumbnails::ReadCache()
{
    const fs::path cache = m_folderPath / kFolderCacheName;
    std::error_code ec;
    if (!fs::exists(cache, ec))
        return;
    m_cacheStamp = FileStamp(cache).value_or(0);
    try {
        bool read = LoadThumbCache(cache, m_names, m_store);
        if (read && m_names.size() >= 2 && m_names[0] == kFolderMarker) {
            m_names.erase(m_names.begin());
            return;
        }
        if (read && m_names.size() >= 2 && m_names[0] == kEditMarker) {
            m_names.erase(m_names.begin());
            m_editFlag = true;
            return;
        }
    } catch (const std::exception&) {
    }
    m_names.clear();
    m_store.Clear();
}

void FolderThumbnails::ScanFolder(std::vector<bool>& seen)
{
    const std::vector<std::string> files = ListFolderFiles(m_folderPath);

    std::unordered_map<std::string, size_t> cachedIndex;
    for (size_t i = 0; i < seen.size(); ++i)
        cachedIndex.emplace(m_names[i], i);

    for (const std::string& name : files) {
        const int entry = m_hooks.findEntry(name);
        if (entry == kEntryNone || entry == kEntryCache)
            continue;
        const fs::path file = m_folderPath / name;
        if (auto found = cachedIndex.find(name); found != cachedIndex.end()) {
            std::optional<uint32_t> stamp = FileStamp(file);
            if (stamp && *stamp <= m_cacheStamp) {
                seen[found->second] = true;
                continue;
            }
        }
        try {
            if (!MakeThumbnail(file, entry))
                continue;
        } catch (const std::exception& e) {
            // One damaged picture must not hide the ones after it: it is left out (and tried
            // again on the next visit, as it never reaches the cache), and the window names it.
            m_failures.push_back({ file, e.what() });
            continue;
        }
        if (m_store.Add(m_work, false))
            m_names.push_back(name);
        m_modified = true;
    }
}

codecs::PhotoTags FolderThumbnails::PhotoTagsOf(const fs::path& file) const
{
    return m_hooks.photo.Any() ? codecs::ReadPhotoTags(file) : codecs::PhotoTags {};
}

bool FolderThumbnails::MakeThumbnail(const fs::path& file, int entry)
{
    switch (entry) {
    case kEntryBmp: {
        document::RequireBmp(m_hooks.budget, document::PeekBmpFileSize(file));
        document::TDIB dib;
        dib.LoadFromFile(file);
        FitPicture(dib, m_work, m_size);
        return true;
    }
    case kEntryJpg:
    case kEntryJpeg: {
        using codecs::JpegScale;
        const codecs::PhotoTags tags = PhotoTagsOf(file);
        // The scale is chosen for the cell as the turned picture will fill it.
        const bool turned
            = m_hooks.photo.upright && codecs::OrientationSwapsSides(tags.orientation);
        codecs::JpegSize eighth = codecs::ReadJpegFileSize(file, JpegScale::Eighth);
        codecs::JpegDecodeOptions options;
        options.scale = codecs::PickJpegScale(eighth, turned ? m_size.height : m_size.width,
            turned ? m_size.width : m_size.height, JpegScale::Eighth);
        document::RequireJpeg(m_hooks.budget, codecs::ReadJpegFileSize(file, options.scale));
        platform::TBitmap picture;
        codecs::DecodeJpegFile(file, picture, options);
        codecs::MakePhotoUpright(picture, tags, m_hooks.photo);
        FitPicture(picture, m_work, m_size);
        return true;
    }
    case kEntryPng: {
        document::RequirePng(m_hooks.budget, codecs::PeekPngFileSize(file));
        const codecs::PhotoTags tags = PhotoTagsOf(file);
        platform::TBitmap picture;
        {
            codecs::TPngImage png;
            png.LoadFromFile(file);
            if (!codecs::WouldChange(tags, m_hooks.photo)) {
                FitPicture(png.Bitmap(), m_work, m_size);
                return true;
            }
            png.AssignTo(picture);
        }
        codecs::MakePhotoUpright(picture, tags, m_hooks.photo);
        FitPicture(picture, m_work, m_size);
        return true;
    }
    default:
        break;
    }
    if (!m_hooks.decodeByPlugin)
        return false;
    platform::TBitmap picture;
    try {
        if (!m_hooks.decodeByPlugin(picture, file) || picture.Empty())
            return false;
    } catch (const std::exception&) {
        return false; // a picture a plug-in can't decode is skipped
    }
    FitPicture(picture, m_work, m_size);
    return true;
}

bool FolderThumbnails::SaveCache(bool saveSetting)
{
    if (!saveSetting || !(m_modified || m_editMode != m_editFlag))
        return false;
    m_modified = false;
    if (m_folderPath.empty())
        return false;
    const fs::path cache = m_folderPath / kFolderCacheName;
    try {
        if (m_names.empty()) {
            std::error_code ec;
            return fs::remove(cache, ec);
        }
        std::vector<std::string> lines;
        lines.reserve(m_names.size() + 1);
        lines.emplace_back(m_editMode ? kEditMarker : kFolderMarker);
        lines.insert(lines.end(), m_names.begin(), m_names.end());
        SaveThumbCache(cache, lines, m_store);
        std::error_code ec;
        fs::remove(m_folderPath / kOldIndexName, ec);
        return true;
    } catch (const std::exception&) {
        return false; // the folder change goes on; the next visit rebuilds what was lost
    }
}

void FolderThumbnails::RemoveEntry(int index)
{
    if (index < 0 || index >= Count())
        return;
    m_names.erase(m_names.begin() + index);
    m_store.Delete(index);
    m_modified = true;
}

} // namespace vtl::browse
