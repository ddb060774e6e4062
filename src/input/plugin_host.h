#pragma once
// The host side of the plug-in interface: a loaded library, its entry points looked up by name,
// and calls that turn what a plug-in hands back into owned, bounded blocks. Nothing a plug-in
// returns is trusted: blocks are measured with malloc_usable_size and read only through spans
// of that size, and every block is freed on every path.

#include "input/susie_abi.h"
#include "platform/progress.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>

namespace vtl::input {

// A block of memory a plug-in returned. Owns it and frees it with free().
class PluginBlock {
public:
    PluginBlock() = default;
    // Takes ownership of a malloc'ed block (null is an empty block).
    explicit PluginBlock(void* block) noexcept;
    ~PluginBlock();
    PluginBlock(PluginBlock&& other) noexcept;
    PluginBlock& operator=(PluginBlock&& other) noexcept;
    PluginBlock(const PluginBlock&) = delete;
    PluginBlock& operator=(const PluginBlock&) = delete;

    explicit operator bool() const { return m_block != nullptr; }
    // The whole block as the allocator sized it; the only bytes we ever read.
    std::span<const uint8_t> Bytes() const
    {
        return { static_cast<const uint8_t*>(m_block), m_size };
    }
    size_t Size() const { return m_size; }
    void Reset() noexcept;

private:
    void* m_block = nullptr;
    size_t m_size = 0;
};

// A plug-in library opened with dlopen and closed when this goes away.
class PluginLibrary {
public:
    // The library at `path`, or nothing when it can't be loaded.
    static std::unique_ptr<PluginLibrary> Load(const std::filesystem::path& path);
    ~PluginLibrary();
    PluginLibrary(const PluginLibrary&) = delete;
    PluginLibrary& operator=(const PluginLibrary&) = delete;

    // The exported symbol of that name, or null.
    void* Symbol(const char* name) const;
    const std::filesystem::path& Path() const { return m_path; }

    // Tests: number of libraries open through this class right now.
    static int OpenCount();

private:
    PluginLibrary(void* handle, std::filesystem::path path);
    void* m_handle;
    std::filesystem::path m_path;
};

// Where a picture or archive request takes its data from.
struct PluginSource {
    // A file on disk (the name is passed, length 0) ...
    std::filesystem::path file;
    // ... or bytes in memory (their address and size are passed) when `memory` is set.
    std::span<const uint8_t> data;
    bool memory = false;

    static PluginSource File(std::filesystem::path path) { return { std::move(path), {}, false }; }
    static PluginSource Memory(std::span<const uint8_t> bytes) { return { {}, bytes, true }; }
};

// The two blocks of a successful GetPicture.
struct PluginPictureBlocks {
    PluginBlock info;
    PluginBlock bits;
};

// Progress in done/total, as the plug-ins report it; may be empty.
using PluginProgress = std::function<void(int32_t done, int32_t total)>;

// A Susie plug-in: its library and its entry points. Each call catches whatever escapes the
// plug-in and reports it as a failure of that call.
class SusiePlugin {
public:
    // The plug-in at `path`, or nothing when the library can't be loaded.
    static std::optional<SusiePlugin> Load(const std::filesystem::path& path);

    bool HasGetPluginInfo() const { return m_getPluginInfo != nullptr; }
    bool HasIsSupported() const { return m_isSupported != nullptr; }
    bool HasGetPictureInfo() const { return m_getPictureInfo != nullptr; }
    bool HasGetPicture() const { return m_getPicture != nullptr; }
    bool HasGetArchiveInfo() const { return m_getArchiveInfo != nullptr; }
    bool HasGetFile() const { return m_getFile != nullptr; }
    bool HasConfigurationDlg() const { return m_configurationDlg != nullptr; }
    const std::filesystem::path& Path() const { return m_library->Path(); }

    // Text of info number `infoNo` read into a buffer of `bufferLength` bytes; nothing when the
    // plug-in answers 0 or lacks the entry. The text ends at the first zero byte, at the count the
    // plug-in reported, or at the buffer's end, whichever comes first.
    std::optional<std::string> GetPluginInfo(int32_t infoNo, int32_t bufferLength) const;

    // IsSupported with an open file descriptor of the file (opened and closed here). False also
    // when the file can't be opened or the entry is missing.
    bool IsSupportedFile(const std::filesystem::path& file) const;
    // IsSupported with the first bytes of the data (at most 2048) in a zeroed 2048-byte buffer.
    bool IsSupportedHead(const std::string& name, std::span<const uint8_t> data) const;

    struct PictureSize {
        int32_t width = 0;
        int32_t height = 0;
    };
    // GetPictureInfo; nothing on a non-zero result (or a missing entry).
    std::optional<PictureSize> GetPictureInfo(const PluginSource& source) const;

    // GetPicture; the plug-in's result code (SPI_SUCCESS and both blocks, or a failure with
    // whatever blocks were returned already freed). `progress` may be empty: then no callback is
    // passed.
    int32_t GetPicture(const PluginSource& source, PluginPictureBlocks& out,
        const PluginProgress& progress = {}) const;

    // GetArchiveInfo; the member-record block on success.
    int32_t GetArchiveInfo(const PluginSource& source, PluginBlock& list) const;
    // GetFile to memory (flag 256, no progress callback).
    int32_t GetFile(const PluginSource& source, uint32_t position, PluginBlock& data) const;

    // ConfigurationDlg(parent, 1); false when the entry is missing.
    bool ConfigurationDlg(void* parent) const;

private:
    explicit SusiePlugin(std::shared_ptr<PluginLibrary> library);

    std::shared_ptr<PluginLibrary> m_library;
    GetPluginInfoProc m_getPluginInfo = nullptr;
    IsSupportedProc m_isSupported = nullptr;
    GetPictureInfoProc m_getPictureInfo = nullptr;
    GetPictureProc m_getPicture = nullptr;
    GetArchiveInfoProc m_getArchiveInfo = nullptr;
    GetFileProc m_getFile = nullptr;
    ConfigurationDlgProc m_configurationDlg = nullptr;
};

} // namespace vtl::input
