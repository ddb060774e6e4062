#include "input/plugin_host.h"

#include "platform/byte_reader.h"
#include "platform/progress.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include <dlfcn.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

namespace vtl::input {

// ---- PluginBlock ----

PluginBlock::PluginBlock(void* block) noexcept
    : m_block(block)
    , m_size(block ? malloc_usable_size(block) : 0)
{
}

PluginBlock::~PluginBlock() { Reset(); }

PluginBlock::PluginBlock(PluginBlock&& other) noexcept
    : m_block(other.m_block)
    , m_size(other.m_size)
{
    other.m_block = nullptr;
    other.m_size = 0;
}

PluginBlock& PluginBlock::operator=(PluginBlock&& other) noexcept
{
    if (this != &other) {
        Reset();
        m_block = other.m_block;
        m_size = other.m_size;
        other.m_block = nullptr;
        other.m_size = 0;
    }
    return *this;
}

void PluginBlock::Reset() noexcept
{
    std::free(m_block);
    m_block = nullptr;
    m_size = 0;
}

// ---- PluginLibrary ----

namespace {
    std::atomic<int> g_openLibraries { 0 };
}

std::unique_ptr<PluginLibrary> PluginLibrary::Load(const std::filesystem::path& path)
{
    if (path.empty())
        return nullptr;
    // A name without a folder would send dlopen through the system's library search; plug-ins
    // are only ever taken from the folders we name.
    std::string name = path.string();
    if (name.find('/') == std::string::npos)
        name = "./" + name;
    // Local binding keeps one plug-in's symbols from answering another's look-ups.
    void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!handle)
        return nullptr;
    return std::unique_ptr<PluginLibrary>(new PluginLibrary(handle, path));
}

PluginLibrary::PluginLibrary(void* handle, std::filesystem::path path)
    : m_handle(handle)
    , m_path(std::move(path))
{
    ++g_openLibraries;
}

PluginLibrary::~PluginLibrary()
{
    dlclose(m_handle);
    --g_openLibraries;
}

void* PluginLibrary::Symbol(const char* name) const { return dlsym(m_handle, name); }

int PluginLibrary::OpenCount() { return g_openLibraries.load(); }

// ---- SusiePlugin ----

namespace {

    // The progress handler of the call in progress. Plug-ins only get a 32-bit user value, too
    // small for a pointer, so the callback finds its handler here; calls never nest.
    thread_local const PluginProgress* t_progress = nullptr;
    // Set when the handler cancelled the call; the plug-in is told to stop by a non-zero answer.
    thread_local bool t_cancelled = false;

    int32_t ProgressThunk(int32_t done, int32_t total, int32_t /*userData*/)
    {
        if (t_progress && *t_progress) {
            try {
                (*t_progress)(done, total);
            } catch (const platform::ELoadCancelled&) {
                t_cancelled = true;
            } catch (...) {
                // A failing status display must not unwind through the plug-in's frames.
            }
        }
        return t_cancelled ? 1 : 0;
    }

    class ProgressScope {
    public:
        explicit ProgressScope(const PluginProgress* progress)
            : m_saved(t_progress)
        {
            t_progress = progress;
        }
        ~ProgressScope() { t_progress = m_saved; }
        ProgressScope(const ProgressScope&) = delete;
        ProgressScope& operator=(const ProgressScope&) = delete;

    private:
        const PluginProgress* m_saved;
    };

    template <typename Proc> Proc Lookup(const PluginLibrary& library, const char* name)
    {
        return reinterpret_cast<Proc>(library.Symbol(name));
    }

    class FileDescriptor {
    public:
        explicit FileDescriptor(const std::filesystem::path& path)
            : m_fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC))
        {
        }
        ~FileDescriptor()
        {
            if (m_fd >= 0)
                ::close(m_fd);
        }
        FileDescriptor(const FileDescriptor&) = delete;
        FileDescriptor& operator=(const FileDescriptor&) = delete;
        int Get() const { return m_fd; }

    private:
        int m_fd;
    };

} // namespace

std::optional<SusiePlugin> SusiePlugin::Load(const std::filesystem::path& path)
{
    auto library = PluginLibrary::Load(path);
    if (!library)
        return std::nullopt;
    return SusiePlugin(std::shared_ptr<PluginLibrary>(std::move(library)));
}

SusiePlugin::SusiePlugin(std::shared_ptr<PluginLibrary> library)
    : m_library(std::move(library))
{
    m_getPluginInfo = Lookup<GetPluginInfoProc>(*m_library, "GetPluginInfo");
    m_isSupported = Lookup<IsSupportedProc>(*m_library, "IsSupported");
    m_getPictureInfo = Lookup<GetPictureInfoProc>(*m_library, "GetPictureInfo");
    m_getPicture = Lookup<GetPictureProc>(*m_library, "GetPicture");
    m_getArchiveInfo = Lookup<GetArchiveInfoProc>(*m_library, "GetArchiveInfo");
    m_getFile = Lookup<GetFileProc>(*m_library, "GetFile");
    m_configurationDlg = Lookup<ConfigurationDlgProc>(*m_library, "ConfigurationDlg");
}

std::optional<std::string> SusiePlugin::GetPluginInfo(int32_t infoNo, int32_t bufferLength) const
{
    if (!m_getPluginInfo || bufferLength <= 0)
        return std::nullopt;
    // One spare zero byte past what the plug-in is told, so a text that fills the buffer still
    // ends inside it.
    std::vector<char> buffer(static_cast<size_t>(bufferLength) + 1, '\0');
    int32_t written = 0;
    try {
        written = m_getPluginInfo(infoNo, buffer.data(), bufferLength);
    } catch (...) {
        return std::nullopt;
    }
    if (written == 0)
        return std::nullopt;
    size_t limit = static_cast<size_t>(bufferLength);
    // Some plug-ins report the length with the terminator, some without, some not at all.
    if (written > 0)
        limit = std::min(limit, static_cast<size_t>(written));
    size_t length = std::find(buffer.begin(), buffer.begin() + static_cast<ptrdiff_t>(limit), '\0')
        - buffer.begin();
    return std::string(buffer.data(), length);
}

bool SusiePlugin::IsSupportedFile(const std::filesystem::path& file) const
{
    if (!m_isSupported)
        return false;
    FileDescriptor fd(file);
    // A descriptor at or above the limit would be taken for a pointer.
    if (fd.Get() < 0 || static_cast<uintptr_t>(fd.Get()) >= SPI_FD_LIMIT)
        return false;
    try {
        return m_isSupported(file.c_str(), static_cast<uintptr_t>(fd.Get())) != 0;
    } catch (...) {
        return false;
    }
}

bool SusiePlugin::IsSupportedHead(const std::string& name, std::span<const uint8_t> data) const
{
    if (!m_isSupported)
        return false;
    // The plug-in may read all 2048 bytes whatever the data's size.
    std::array<uint8_t, SPI_HEAD_SIZE> head {};
    size_t count = std::min(data.size(), head.size());
    if (count)
        std::memcpy(head.data(), data.data(), count);
    try {
        return m_isSupported(name.c_str(), reinterpret_cast<uintptr_t>(head.data())) != 0;
    } catch (...) {
        return false;
    }
}

namespace {
    // The arguments a call passes for its source: a file name, or a block in memory with its
    // length.
    struct SourceArguments {
        std::string fileName;
        const char* memory = nullptr;
        int32_t length = 0;
        uint32_t flag = 0;
        const char* Pointer() const { return memory ? memory : fileName.c_str(); }
    };

    // None when memory data is beyond what a 32-bit length can describe.
    std::optional<SourceArguments> ArgumentsFor(const PluginSource& source)
    {
        SourceArguments args;
        if (source.memory) {
            if (source.data.size() > static_cast<size_t>(INT32_MAX))
                return std::nullopt;
            args.memory = reinterpret_cast<const char*>(source.data.data());
            args.length = static_cast<int32_t>(source.data.size());
            args.flag = SPI_SOURCE_MEMORY;
        } else {
            args.fileName = source.file.string();
            args.flag = SPI_SOURCE_FILE;
        }
        return args;
    }

    // Runs a call that hands back one block it allocated: a failing or throwing call gives its
    // error code (the block, if any, is freed), success without a block counts as a memory error.
    template <typename Call>
    int32_t CallForBlock(const PluginSource& source, PluginBlock& out, Call call)
    {
        out.Reset();
        const auto args = ArgumentsFor(source);
        if (!args)
            return SPI_NO_MEMORY;
        void* block = nullptr;
        int32_t result = SPI_INTERNAL_ERROR;
        try {
            result = call(*args, &block);
        } catch (...) {
            result = SPI_INTERNAL_ERROR;
        }
        PluginBlock owned(block);
        if (result != SPI_SUCCESS)
            return result;
        if (!owned)
            return SPI_MEMORY_ERROR;
        out = std::move(owned);
        return SPI_SUCCESS;
    }
}

std::optional<SusiePlugin::PictureSize> SusiePlugin::GetPictureInfo(
    const PluginSource& source) const
{
    if (!m_getPictureInfo)
        return std::nullopt;
    const auto args = ArgumentsFor(source);
    if (!args)
        return std::nullopt;
    SusiePictureInfo record {};
    int32_t result = SPI_INTERNAL_ERROR;
    try {
        result = m_getPictureInfo(args->Pointer(), args->length, args->flag, &record);
    } catch (...) {
        return std::nullopt;
    }
    if (result != SPI_SUCCESS)
        return std::nullopt;
    // The text block in hInfo is left alone: nothing here reads it, and a plug-in that leaves
    // garbage there must not make us free a wild pointer.
    std::array<uint8_t, sizeof(SusiePictureInfo)> bytes {};
    std::memcpy(bytes.data(), &record, sizeof record);
    platform::ByteReader reader(bytes);
    reader.Skip(8);
    PictureSize size;
    size.width = reader.i32le();
    size.height = reader.i32le();
    return size;
}

int32_t SusiePlugin::GetPicture(
    const PluginSource& source, PluginPictureBlocks& out, const PluginProgress& progress) const
{
    out.info.Reset();
    out.bits.Reset();
    if (!m_getPicture)
        return SPI_NOT_IMPLEMENTED;
    const auto args = ArgumentsFor(source);
    if (!args)
        return SPI_NO_MEMORY;
    void* info = nullptr;
    void* bits = nullptr;
    int32_t result = SPI_INTERNAL_ERROR;
    t_cancelled = false;
    {
        ProgressScope scope(progress ? &progress : nullptr);
        try {
            result = m_getPicture(args->Pointer(), args->length, args->flag, &info, &bits,
                progress ? &ProgressThunk : nullptr, 0);
        } catch (...) {
            result = SPI_INTERNAL_ERROR;
        }
    }
    // Owned at once, so that whatever the result they are freed.
    PluginBlock infoBlock(info);
    PluginBlock bitsBlock(bits);
    if (std::exchange(t_cancelled, false))
        throw platform::ELoadCancelled();
    if (result != SPI_SUCCESS)
        return result;
    if (!infoBlock || !bitsBlock)
        return SPI_MEMORY_ERROR;
    out.info = std::move(infoBlock);
    out.bits = std::move(bitsBlock);
    return SPI_SUCCESS;
}

int32_t SusiePlugin::GetArchiveInfo(const PluginSource& source, PluginBlock& list) const
{
    if (!m_getArchiveInfo) {
        list.Reset();
        return SPI_NOT_IMPLEMENTED;
    }
    return CallForBlock(source, list, [this](const SourceArguments& args, void** block) {
        return m_getArchiveInfo(args.Pointer(), args.length, args.flag, block);
    });
}

int32_t SusiePlugin::GetFile(const PluginSource& source, uint32_t position, PluginBlock& data) const
{
    if (!m_getFile) {
        data.Reset();
        return SPI_NOT_IMPLEMENTED;
    }
    return CallForBlock(source, data, [this, position](const SourceArguments& args, void** block) {
        // Positions are unsigned in the member record and passed back bit for bit.
        return m_getFile(args.Pointer(), static_cast<int32_t>(position),
            reinterpret_cast<char*>(block), args.flag | SPI_DEST_MEMORY, nullptr, 0);
    });
}

bool SusiePlugin::ConfigurationDlg(void* parent) const
{
    if (!m_configurationDlg)
        return false;
    try {
        m_configurationDlg(parent, 1);
    } catch (...) {
        // The result is ignored, and so is a failure.
    }
    return true;
}

} // namespace vtl::input
