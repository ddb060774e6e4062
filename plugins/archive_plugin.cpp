// Archive plug-in over libarchive: zip, lzh, 7z, tar (plain and compressed), rar, cab, iso and
// whatever else the library reads. A member's position is its number in the archive's order of
// entries, so GetFile can walk back to it.

#include "spi_common.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

using namespace vtl::plugins;

namespace {

constexpr std::array<const char*, 4> kInfo { "00AM", "vtl archive plug-in (libarchive)",
    "*.zip;*.lzh;*.lha;*.7z;*.tar;*.tgz;*.tbz;*.txz;*.rar;*.cab;*.iso", "Archives" };

struct ArchiveCloser {
    void operator()(archive* a) const { archive_read_free(a); }
};
using ArchivePtr = std::unique_ptr<archive, ArchiveCloser>;

ArchivePtr NewReader()
{
    ArchivePtr a(archive_read_new());
    if (a) {
        archive_read_support_filter_all(a.get());
        archive_read_support_format_all(a.get());
    }
    return a;
}

// Opens the call's source: a file by name or a block in memory.
ArchivePtr OpenSource(const char* source, int32_t length, uint32_t flag)
{
    if (!source)
        return nullptr;
    ArchivePtr a = NewReader();
    if (!a)
        return nullptr;
    int result = (flag & SPI_SOURCE_MASK) == SPI_SOURCE_MEMORY
        ? (length >= 0 ? archive_read_open_memory(a.get(), source, static_cast<size_t>(length))
                       : ARCHIVE_FATAL)
        : archive_read_open_filename(a.get(), source, 65536);
    if (result != ARCHIVE_OK)
        return nullptr;
    return a;
}

// Signatures of the formats whose readers need more than the head to say yes.
bool KnownSignature(const uint8_t* h, size_t n)
{
    auto at = [&](size_t offset, const char* text, size_t len) {
        return n >= offset + len && std::memcmp(h + offset, text, len) == 0;
    };
    if (at(0, "PK\x03\x04", 4) || at(0, "PK\x05\x06", 4) || at(0, "PK\x07\x08", 4))
        return true;
    if (at(0, "7z\xBC\xAF\x27\x1C", 6) || at(0, "Rar!\x1A\x07", 6) || at(0, "MSCF", 4))
        return true;
    if (at(257, "ustar", 5))
        return true;
    // LHA: "-lh?-" or "-lz?-" after the header size and checksum bytes.
    if (n >= 7 && h[2] == '-' && h[3] == 'l' && (h[4] == 'h' || h[4] == 'z') && h[6] == '-')
        return true;
    return false;
}

bool LibraryRecognises(const uint8_t* head, size_t count)
{
    ArchivePtr a = NewReader();
    if (!a || archive_read_open_memory(a.get(), head, count) != ARCHIVE_OK)
        return false;
    archive_entry* entry = nullptr;
    int r = archive_read_next_header(a.get(), &entry);
    return r == ARCHIVE_OK || r == ARCHIVE_WARN;
}

void PutText(char* field, const std::string& text)
{
    size_t n = std::min(text.size(), static_cast<size_t>(SPI_FILE_INFO_TEXT_SIZE - 1));
    std::memcpy(field, text.data(), n);
    field[n] = '\0';
}

uint32_t Clamp32(int64_t value)
{
    return value < 0 ? 0 : value > int64_t(UINT32_MAX) ? UINT32_MAX : static_cast<uint32_t>(value);
}

bool IsRegularFile(archive_entry* entry) { return archive_entry_filetype(entry) == AE_IFREG; }

} // namespace

SPI_EXPORT int32_t GetPluginInfo(int32_t infoNo, char* buffer, int32_t length)
{
    return CopyPluginInfo(kInfo, infoNo, buffer, length);
}

SPI_EXPORT int32_t IsSupported(const char* /*fileName*/, uintptr_t fdOrHead)
{
    uint8_t head[SPI_HEAD_SIZE];
    size_t count = 0;
    if (!ReadHead(fdOrHead, head, count))
        return 0;
    return KnownSignature(head, count) || LibraryRecognises(head, count) ? 1 : 0;
}

SPI_EXPORT int32_t GetArchiveInfo(const char* source, int32_t length, uint32_t flag, void** list)
{
    if (!list)
        return SPI_INTERNAL_ERROR;
    *list = nullptr;
    ArchivePtr a = OpenSource(source, length, flag);
    if (!a)
        return SPI_UNKNOWN_FORMAT;
    std::vector<SusieFileInfo> records;
    archive_entry* entry = nullptr;
    uint32_t index = 0;
    for (;; ++index) {
        int r = archive_read_next_header(a.get(), &entry);
        if (r == ARCHIVE_EOF)
            break;
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN) {
            // A damaged tail still lists what came before it.
            if (records.empty())
                return SPI_BROKEN_DATA;
            break;
        }
        if (!IsRegularFile(entry))
            continue;
        const char* utf8 = archive_entry_pathname_utf8(entry);
        const char* raw = archive_entry_pathname(entry);
        std::string name = utf8 ? utf8 : raw ? raw : "";
        SusieFileInfo record {};
        std::string format = archive_format_name(a.get()) ? archive_format_name(a.get()) : "arc";
        std::memcpy(record.method, format.data(), std::min<size_t>(format.size(), 7));
        if (record.method[0] == 0)
            record.method[0] = '?';
        record.position = index;
        record.filesize = Clamp32(archive_entry_size(entry));
        record.compsize = record.filesize;
        record.timestamp = static_cast<uint32_t>(archive_entry_mtime(entry));
        // Names that fit go whole into the file-name field; longer ones are split at the folder.
        size_t slash = name.find_last_of('/');
        if (name.size() < SPI_FILE_INFO_TEXT_SIZE || slash == std::string::npos) {
            PutText(record.filename, name);
        } else {
            PutText(record.path, name.substr(0, slash));
            PutText(record.filename, name.substr(slash + 1));
        }
        records.push_back(record);
    }
    size_t bytes = (records.size() + 1) * sizeof(SusieFileInfo);
    auto* block = static_cast<SusieFileInfo*>(std::calloc(1, bytes));
    if (!block)
        return SPI_NO_MEMORY;
    std::copy(records.begin(), records.end(), block);
    *list = block;
    return SPI_SUCCESS;
}

namespace {

// Reads the data of the entry the archive stands at; grows as it goes, since some formats don't
// know sizes beforehand.
bool ReadEntryData(archive* a, archive_entry* entry, std::vector<uint8_t>& out)
{
    int64_t expected = archive_entry_size_is_set(entry) ? archive_entry_size(entry) : 0;
    if (expected > 0 && static_cast<uint64_t>(expected) <= kMaxBytes)
        out.reserve(static_cast<size_t>(expected));
    std::array<uint8_t, 65536> chunk;
    for (;;) {
        la_ssize_t got = archive_read_data(a, chunk.data(), chunk.size());
        if (got < 0)
            return false;
        if (got == 0)
            return true;
        if (out.size() + static_cast<size_t>(got) > kMaxBytes)
            return false;
        out.insert(out.end(), chunk.begin(), chunk.begin() + got);
    }
}

} // namespace

SPI_EXPORT int32_t GetFile(const char* source, int32_t position, char* dest, uint32_t flag,
    SusieProgressCallback progress, int32_t userData)
{
    if (!dest)
        return SPI_INTERNAL_ERROR;
    bool toMemory = (flag & SPI_DEST_MASK) == SPI_DEST_MEMORY;
    if (toMemory)
        *reinterpret_cast<void**>(dest) = nullptr;
    ArchivePtr a = OpenSource(source, 0, flag & SPI_SOURCE_MASK);
    if (!a)
        return SPI_UNKNOWN_FORMAT;
    uint32_t wanted = static_cast<uint32_t>(position);
    archive_entry* entry = nullptr;
    for (uint32_t index = 0;; ++index) {
        int r = archive_read_next_header(a.get(), &entry);
        if (r != ARCHIVE_OK && r != ARCHIVE_WARN)
            return SPI_BROKEN_DATA;
        if (index == wanted)
            break;
    }
    if (!IsRegularFile(entry))
        return SPI_BROKEN_DATA;
    if (ReportProgress(progress, 0, 1, userData))
        return SPI_ABORT;
    std::vector<uint8_t> data;
    if (!ReadEntryData(a.get(), entry, data))
        return SPI_BROKEN_DATA;
    if (toMemory) {
        // malloc(0) may give null: a block of one byte stands for an empty member.
        void* block = std::malloc(std::max<size_t>(data.size(), 1));
        if (!block)
            return SPI_NO_MEMORY;
        if (!data.empty())
            std::memcpy(block, data.data(), data.size());
        *reinterpret_cast<void**>(dest) = block;
    } else {
        const char* path = archive_entry_pathname(entry);
        std::string name = path ? path : "";
        size_t slash = name.find_last_of('/');
        if (slash != std::string::npos)
            name = name.substr(slash + 1);
        if (name.empty() || name == "." || name == "..")
            return SPI_BROKEN_DATA;
        std::string target = std::string(dest) + "/" + name;
        std::FILE* file = std::fopen(target.c_str(), "wb");
        if (!file)
            return SPI_FILE_READ_ERROR;
        bool ok = data.empty() || std::fwrite(data.data(), 1, data.size(), file) == data.size();
        ok = std::fclose(file) == 0 && ok;
        if (!ok)
            return SPI_FILE_READ_ERROR;
    }
    ReportProgress(progress, 1, 1, userData);
    return SPI_SUCCESS;
}

SPI_EXPORT int32_t ConfigurationDlg(void* /*parent*/, int32_t /*function*/) { return SPI_SUCCESS; }
