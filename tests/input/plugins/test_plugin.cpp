// A plug-in whose behaviour the tests control: compile-time switches leave entry points out or
// make it decline, and the data it is given says what its calls return.
//
// Picture data: "TPIC", u32 flags, i32 width and height for GetPictureInfo, then the header
// block and the pixel block GetPicture hands back verbatim (each as u32 length and bytes).
// Archive data: "TARC", u32 flags, u32 count, then per member a u8-length path, a u8-length
// name and a u32-length body. Positions are the offsets of the bodies.
// Every call is appended as "name:Call" to the file named by VTL_TEST_PLUGIN_LOG.

#include "input/susie_abi.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <string>
#include <vector>

#include <unistd.h>

#define EXPORT extern "C" __attribute__((visibility("default")))

#ifndef TP_NAME
#define TP_NAME "tpic"
#endif
#ifndef TP_PATTERNS
#define TP_PATTERNS "*.tp1"
#endif
#ifndef TP_DESCRIPTION
#define TP_DESCRIPTION "Test picture"
#endif

namespace {

enum PictureFlags : uint32_t {
    kInfoFails = 1,
    kPictureFails = 2,
    kProgress = 4,
    kFailWithBlocks = 8,
    kThrows = 16,
};
enum ArchiveFlags : uint32_t {
    kListFails = 1,
    kFileFails = 2,
    kNoTerminator = 4,
    kSizesTooLarge = 8,
};

void Log(const char* call)
{
    const char* path = std::getenv("VTL_TEST_PLUGIN_LOG");
    if (!path || !*path)
        return;
    if (std::FILE* f = std::fopen(path, "a")) {
        std::fprintf(f, "%s:%s\n", TP_NAME, call);
        std::fclose(f);
    }
}

#ifdef TP_ARCHIVE
constexpr const char* kMagic = "TARC";
#else
constexpr const char* kMagic = "TPIC";
#endif

bool Load(const char* source, int32_t length, uint32_t flag, std::vector<uint8_t>& data)
{
    if ((flag & SPI_SOURCE_MASK) == SPI_SOURCE_MEMORY) {
        data.assign(source, source + length);
        return true;
    }
    std::FILE* f = std::fopen(source, "rb");
    if (!f)
        return false;
    int c;
    while ((c = std::fgetc(f)) != EOF)
        data.push_back(static_cast<uint8_t>(c));
    std::fclose(f);
    return true;
}

struct Reader {
    const std::vector<uint8_t>& data;
    size_t pos = 0;
    bool ok = true;
    uint32_t U32()
    {
        if (data.size() - pos < 4 || pos > data.size()) {
            ok = false;
            return 0;
        }
        uint32_t v
            = data[pos] | data[pos + 1] << 8 | data[pos + 2] << 16 | uint32_t(data[pos + 3]) << 24;
        pos += 4;
        return v;
    }
    uint8_t U8()
    {
        if (pos >= data.size()) {
            ok = false;
            return 0;
        }
        return data[pos++];
    }
    std::string Text(size_t n)
    {
        if (data.size() - pos < n) {
            ok = false;
            return {};
        }
        std::string s(
            data.begin() + static_cast<long>(pos), data.begin() + static_cast<long>(pos + n));
        pos += n;
        return s;
    }
    void* Block()
    {
        uint32_t n = U32();
        if (!ok || data.size() - pos < n) {
            ok = false;
            return nullptr;
        }
        void* block = std::malloc(n ? n : 1);
        if (n)
            std::memcpy(block, data.data() + pos, n);
        pos += n;
        return block;
    }
};

bool HasMagic(const std::vector<uint8_t>& data)
{
    return data.size() >= 8 && std::memcmp(data.data(), kMagic, 4) == 0;
}

} // namespace

#ifndef TP_NO_PLUGININFO
EXPORT int32_t GetPluginInfo(int32_t infoNo, char* buffer, int32_t length)
{
    Log("GetPluginInfo");
#ifdef TP_ARCHIVE
    const char* kind = "00AM";
#elif defined(TP_WEIRD)
    const char* kind = "00XX";
#else
    const char* kind = "00IN";
#endif
    const char* texts[] = { kind, TP_NAME " test plug-in", TP_PATTERNS, TP_DESCRIPTION
#ifdef TP_PATTERNS2
        ,
        TP_PATTERNS2, TP_DESCRIPTION2
#endif
    };
    if (infoNo < 0 || infoNo >= static_cast<int32_t>(sizeof texts / sizeof texts[0]))
        return 0;
    std::snprintf(buffer, static_cast<size_t>(length), "%s", texts[infoNo]);
    // Build files can't pass ";" in a definition, so patterns are written with "|".
    for (char* c = buffer; *c; ++c)
        if (*c == '|')
            *c = ';';
    return static_cast<int32_t>(std::strlen(buffer));
}
#endif

#ifndef TP_NO_ISSUPPORTED
EXPORT int32_t IsSupported(const char* /*name*/, uintptr_t fdOrHead)
{
    Log("IsSupported");
    char head[SPI_HEAD_SIZE] = {};
    if (fdOrHead < SPI_FD_LIMIT) {
        if (::pread(static_cast<int>(fdOrHead), head, 4, 0) != 4)
            return 0;
    } else {
        // The host promises 2048 bytes: touch the last one to prove it.
        std::memcpy(head, reinterpret_cast<const char*>(fdOrHead), SPI_HEAD_SIZE);
    }
#ifdef TP_DECLINE
    return 0;
#else
    return std::memcmp(head, kMagic, 4) == 0 ? 1 : 0;
#endif
}
#endif

#ifndef TP_ARCHIVE
#ifndef TP_NO_GETPICTUREINFO
EXPORT int32_t GetPictureInfo(
    const char* source, int32_t length, uint32_t flag, SusiePictureInfo* info)
{
    Log((flag & SPI_SOURCE_MASK) == SPI_SOURCE_MEMORY ? "GetPictureInfo(memory)"
                                                      : "GetPictureInfo(file)");
    std::vector<uint8_t> data;
    if (!Load(source, length, flag, data) || !HasMagic(data))
        return SPI_UNKNOWN_FORMAT;
    Reader r { data, 4 };
    uint32_t flags = r.U32();
    if (flags & kInfoFails)
        return SPI_BROKEN_DATA;
    std::memset(info, 0, sizeof *info);
    info->width = static_cast<int32_t>(r.U32());
    info->height = static_cast<int32_t>(r.U32());
    return r.ok ? SPI_SUCCESS : SPI_BROKEN_DATA;
}
#endif

#ifndef TP_NO_GETPICTURE
EXPORT int32_t GetPicture(const char* source, int32_t length, uint32_t flag, void** info,
    void** bits, SusieProgressCallback progress, int32_t userData)
{
    Log(progress ? "GetPicture(progress)" : "GetPicture");
    std::vector<uint8_t> data;
    if (!Load(source, length, flag, data) || !HasMagic(data))
        return SPI_UNKNOWN_FORMAT;
    Reader r { data, 4 };
    uint32_t flags = r.U32();
    r.U32();
    r.U32();
    if (flags & kThrows)
        throw std::runtime_error("plug-in trouble");
    if (flags & kPictureFails)
        return SPI_BROKEN_DATA;
    if ((flags & kProgress) && progress)
        for (int32_t i = 0; i <= 4; ++i)
            progress(i, 4, userData);
    *info = r.Block();
    *bits = r.Block();
    if (flags & kFailWithBlocks)
        return SPI_BROKEN_DATA;
    return r.ok ? SPI_SUCCESS : SPI_BROKEN_DATA;
}
#endif
#endif

#ifdef TP_ARCHIVE
#ifndef TP_NO_GETARCHIVEINFO
EXPORT int32_t GetArchiveInfo(const char* source, int32_t length, uint32_t flag, void** list)
{
    Log("GetArchiveInfo");
    std::vector<uint8_t> data;
    if (!Load(source, length, flag, data) || !HasMagic(data))
        return SPI_UNKNOWN_FORMAT;
    Reader r { data, 4 };
    uint32_t flags = r.U32();
    if (flags & kListFails)
        return SPI_BROKEN_DATA;
    uint32_t count = r.U32();
    std::vector<SusieFileInfo> records;
    for (uint32_t i = 0; i < count && r.ok; ++i) {
        SusieFileInfo rec {};
        std::memcpy(rec.method, "test", 4);
        std::string path = r.Text(r.U8());
        std::string name = r.Text(r.U8());
        uint32_t size = r.U32();
        rec.position = static_cast<uint32_t>(r.pos);
        rec.filesize = size + ((flags & kSizesTooLarge) ? 1000 : 0);
        std::snprintf(rec.path, sizeof rec.path, "%s", path.c_str());
        std::snprintf(rec.filename, sizeof rec.filename, "%s", name.c_str());
        r.Text(size);
        records.push_back(rec);
    }
    if (!r.ok)
        return SPI_BROKEN_DATA;
    if (!(flags & kNoTerminator))
        records.push_back(SusieFileInfo {});
    size_t bytes = records.size() * sizeof(SusieFileInfo);
    void* block = std::malloc(bytes ? bytes : 1);
    if (bytes)
        std::memcpy(block, records.data(), bytes);
    *list = block;
    return SPI_SUCCESS;
}
#endif

#ifndef TP_NO_GETFILE
EXPORT int32_t GetFile(const char* source, int32_t position, char* dest, uint32_t flag,
    SusieProgressCallback /*progress*/, int32_t /*userData*/)
{
    Log("GetFile");
    if ((flag & SPI_DEST_MASK) != SPI_DEST_MEMORY)
        return SPI_NOT_IMPLEMENTED;
    std::vector<uint8_t> data;
    if (!Load(source, 0, flag, data) || !HasMagic(data))
        return SPI_UNKNOWN_FORMAT;
    Reader head { data, 4 };
    if (head.U32() & kFileFails)
        return SPI_BROKEN_DATA;
    size_t at = static_cast<uint32_t>(position);
    if (at < 4 || at > data.size())
        return SPI_BROKEN_DATA;
    Reader r { data, at - 4 };
    *reinterpret_cast<void**>(dest) = r.Block();
    return r.ok ? SPI_SUCCESS : SPI_BROKEN_DATA;
}
#endif
#endif

EXPORT int32_t ConfigurationDlg(void* /*parent*/, int32_t function)
{
    Log(function == 1 ? "ConfigurationDlg(1)" : "ConfigurationDlg");
    return 0;
}
