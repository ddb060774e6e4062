#include "input/twain_acquisition.h"

#include "document/dib.h"
#include "document/picture_saving.h"
#include "platform/environment.h"
#include "processing/reduce16.h"

#include <cstdlib>
#include <cstring>
#include <dlfcn.h>
#include <span>

namespace vtl::input {

using namespace twain;

std::filesystem::path TwainManagerPath()
{
    if (const char* path = std::getenv("VTL_TWAIN_DSM"); path && *path)
        return path;
    return platform::PluginFolder() / "vtltwain.so";
}

TwainLibrary::TwainLibrary(const std::filesystem::path& path)
{
    m_handle = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!m_handle)
        return;
    void* entry = dlsym(m_handle, "DSM_Entry");
    if (!entry) {
        dlclose(m_handle);
        m_handle = nullptr;
        m_state = State::NoEntry;
        return;
    }
    m_entry = reinterpret_cast<DSMENTRYPROC>(entry);
    m_state = State::Loaded;
}

TwainLibrary::~TwainLibrary()
{
    if (m_handle)
        dlclose(m_handle);
}

TW_IDENTITY TwainAppIdentity()
{
    TW_IDENTITY id {};
    id.Id = 0;
    id.Version.MajorNum = 1;
    id.Version.MinorNum = 0;
    id.Version.Language = 68;
    id.Version.Country = 81;
    CopyText(id.Version.Info, " ");
    id.ProtocolMajor = 1;
    id.ProtocolMinor = 8;
    id.SupportedGroups = DG_SUPPORTED;
    CopyText(id.Manufacturer, " ");
    CopyText(id.ProductFamily, " ");
    CopyText(id.ProductName, "vtl");
    return id;
}

const char* TwainFileExtension(TwainFileFormat format)
{
    switch (format) {
    case TwainFileFormat::Jpeg:
        return ".jpg";
    case TwainFileFormat::Png:
        return ".png";
    default:
        return ".bmp";
    }
}

void WriteAcquiredPicture(const void* packedDib, size_t size, const std::filesystem::path& path,
    TwainFileFormat format, bool pngBest)
{
    document::TDIB buffer;
    buffer.LoadFromDIB(std::span<const uint8_t>(static_cast<const uint8_t*>(packedDib), size));
    document::SaveOptions options;
    options.jpegQuality = 90;
    options.pngBest = pngBest;
    platform::TBitmap picture;
    switch (format) {
    case TwainFileFormat::Bmp:
        buffer.SaveToFile(path);
        return;
    case TwainFileFormat::Bmp256:
        if (buffer.PixelFormat() == document::DibPixelFormat::Dib24Bit)
            buffer.SetPixelFormat(document::DibPixelFormat::Dib8Bit);
        buffer.SaveToFile(path);
        return;
    case TwainFileFormat::BmpGrey16:
        if (buffer.PixelFormat() != document::DibPixelFormat::Dib8Bit)
            buffer.SetPixelFormat(document::DibPixelFormat::Dib8Bit);
        buffer.AssignTo(picture);
        processing::Reduce16(picture, nullptr, processing::D16Method::Grey, false, nullptr,
            processing::ProcessContext {});
        document::SavePicture(picture, path, document::SaveKind::Bmp, options);
        return;
    case TwainFileFormat::Jpeg:
        buffer.AssignTo(picture);
        document::SavePicture(picture, path, document::SaveKind::Jpeg, options);
        return;
    case TwainFileFormat::Png:
        buffer.AssignTo(picture);
        document::SavePicture(picture, path, document::SaveKind::Png, options);
        return;
    }
}

TwainSession::TwainSession(DSMENTRYPROC entry, TW_HANDLE parent, std::function<bool()> pump)
    : m_entry(entry)
    , m_parent(parent)
    , m_pump(std::move(pump))
    , m_app(TwainAppIdentity())
{
}

TwainSession::~TwainSession() = default;

TW_UINT16 TwainSession::Call(
    TW_IDENTITY* dest, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, void* data)
{
    return m_entry(&m_app, dest, group, dat, msg, data);
}

TwainOutcome TwainSession::SelectSource()
{
    if (Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &m_parent) != TWRC_SUCCESS)
        return TwainOutcome::CannotOpen;
    Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &m_selected);
    Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_USERSELECT, &m_selected);
    Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &m_parent);
    return TwainOutcome::Done;
}

TwainOutcome TwainSession::AcquireForDocuments()
{
    m_mode = Mode::Documents;
    return Run();
}

TwainOutcome TwainSession::AcquireToFiles(
    const std::filesystem::path& basePath, TwainFileFormat format, bool pngBest)
{
    m_mode = Mode::Files;
    m_basePath = basePath;
    m_format = format;
    m_pngBest = pngBest;
    return Run();
}

bool TwainSession::NextAcquired(platform::TBitmap& picture)
{
    while (m_next < m_blocks.size()) {
        TwainBlock block = std::move(m_blocks[m_next++]);
        try {
            document::TDIB buffer;
            buffer.LoadFromDIB(std::span<const uint8_t>(
                DibBlockBytes(block.get()), static_cast<size_t>(DibBlockSize(block.get()))));
            buffer.AssignTo(picture);
            return true;
        } catch (const std::exception&) {
            // A block that holds no picture the buffer accepts is passed over.
        }
    }
    return false;
}

void TwainSession::ReleaseAcquired()
{
    m_blocks.clear();
    m_next = 0;
}

TwainOutcome TwainSession::Run()
{
    ReleaseAcquired();
    m_written.clear();
    m_count = 0;
    m_sourceEnabled = false;
    m_transferFailed = false;

    if (Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_OPENDSM, &m_parent) != TWRC_SUCCESS)
        return TwainOutcome::CannotOpen;
    m_scanSource = {};
    Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_GETDEFAULT, &m_scanSource);
    if (Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_OPENDS, &m_scanSource) == TWRC_FAILURE) {
        Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &m_parent);
        return TwainOutcome::CannotOpen;
    }

    TW_USERINTERFACE ui {};
    ui.ShowUI = 0xFFFF;
    ui.ModalUI = 0xFFFF;
    ui.hParent = m_parent;
    // Disabling and closing run on every way out, an exception from writing a file included.
    struct Closer {
        TwainSession& s;
        TW_USERINTERFACE& ui;
        ~Closer()
        {
            s.m_sourceEnabled = false;
            s.Call(&s.m_scanSource, DG_CONTROL, DAT_USERINTERFACE, MSG_DISABLEDS, &ui);
            s.Call(nullptr, DG_CONTROL, DAT_IDENTITY, MSG_CLOSEDS, &s.m_scanSource);
            s.Call(nullptr, DG_CONTROL, DAT_PARENT, MSG_CLOSEDSM, &s.m_parent);
        }
    } closer { *this, ui };

    if (Call(&m_scanSource, DG_CONTROL, DAT_USERINTERFACE, MSG_ENABLEDS, &ui) != TWRC_SUCCESS)
        return TwainOutcome::CannotOpen;
    m_sourceEnabled = true;
    while (m_sourceEnabled) {
        if (m_pump && !m_pump())
            break;
        TW_EVENT event { nullptr, MSG_NULL };
        Call(&m_scanSource, DG_CONTROL, DAT_EVENT, MSG_PROCESSEVENT, &event);
        if (event.TWMessage == MSG_CLOSEDSREQ)
            m_sourceEnabled = false;
        else if (event.TWMessage == MSG_XFERREADY && Transfer())
            break;
    }
    return TwainOutcome::Done;
}

bool TwainSession::Transfer()
{
    auto resetPending = [this] {
        TW_PENDINGXFERS pending {};
        Call(&m_scanSource, DG_CONTROL, DAT_PENDINGXFERS, MSG_RESET, &pending);
    };
    const size_t before = m_count;
    for (;;) {
        TW_HANDLE handle = nullptr;
        const TW_UINT16 rc = Call(&m_scanSource, DG_IMAGE, DAT_IMAGENATIVEXFER, MSG_GET, &handle);
        TwainBlock block;
        // Only a finished transfer hands over memory; after a cancel or a failure the handle
        // means nothing and is forgotten.
        if (rc == TWRC_XFERDONE)
            block.reset(handle);
        TW_PENDINGXFERS pending {};
        const TW_UINT16 ended
            = Call(&m_scanSource, DG_CONTROL, DAT_PENDINGXFERS, MSG_ENDXFER, &pending);
        if (rc != TWRC_XFERDONE && rc != TWRC_CANCEL) {
            // A failed transfer ends the run: asking again would most likely fail the same way.
            // The pictures received before it are kept.
            m_transferFailed = true;
            if (ended == TWRC_SUCCESS && pending.Count != 0)
                resetPending();
            return true;
        }
        if (block) {
            try {
                Received(std::move(block));
            } catch (...) {
                if (ended == TWRC_SUCCESS && pending.Count != 0)
                    resetPending();
                throw;
            }
        }
        if (ended != TWRC_SUCCESS || pending.Count == 0)
            break;
        if (m_count >= kTwainMaxPictures) {
            resetPending();
            break;
        }
    }
    return m_count > before;
}

void TwainSession::Received(TwainBlock block)
{
    ++m_count;
    if (m_mode == Mode::Documents) {
        m_blocks.push_back(std::move(block));
        return;
    }
    std::filesystem::path path = m_basePath;
    path += "_" + std::to_string(m_count) + TwainFileExtension(m_format);
    WriteAcquiredPicture(DibBlockBytes(block.get()), static_cast<size_t>(DibBlockSize(block.get())),
        path, m_format, m_pngBest);
    m_written.push_back(path);
}

} // namespace vtl::input
