#pragma once
// Acquiring pictures from a scanner through a data source manager library: loading the library,
// choosing the source, and the acquisition run that hands the pictures to documents or writes
// them to numbered files. No windows here: the caller shows the messages and drives its own event
// loop through the pump it passes in.

#include "input/twain_abi.h"
#include "platform/bitmap.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace vtl::input {

inline constexpr const char* kTwainNotInstalledText = "TWAIN はインストールされていません。";
inline constexpr const char* kTwainCannotOpenText = "TWAIN データソースを開くことができません。";
inline constexpr size_t kTwainMaxPictures = 999;

// Where the manager library lies: $VTL_TWAIN_DSM, else vtltwain.so in the plug-in folder.
std::filesystem::path TwainManagerPath();

// The manager library, open while this lives.
class TwainLibrary {
public:
    enum class State { Loaded, NotInstalled, NoEntry };
    explicit TwainLibrary(const std::filesystem::path& path);
    ~TwainLibrary();
    TwainLibrary(const TwainLibrary&) = delete;
    TwainLibrary& operator=(const TwainLibrary&) = delete;

    State Status() const { return m_state; }
    DSMENTRYPROC Entry() const { return m_entry; }

private:
    void* m_handle = nullptr;
    DSMENTRYPROC m_entry = nullptr;
    State m_state = State::NotInstalled;
};

// The program's identity, passed as origin of every call.
TW_IDENTITY TwainAppIdentity();

// The formats of files written by acquisition, in the order of the save dialog's list.
enum class TwainFileFormat { Bmp = 0, Bmp256 = 1, BmpGrey16 = 2, Jpeg = 3, Png = 4 };
const char* TwainFileExtension(TwainFileFormat format);

enum class TwainOutcome {
    Done, // ran; it may still have produced nothing
    CannotOpen, // manager, source or enabling failed: the caller warns kTwainCannotOpenText
};

// A picture block from the manager, released with free.
struct FreeBlock {
    void operator()(void* block) const { std::free(block); }
};
using TwainBlock = std::unique_ptr<void, FreeBlock>;

// One command's conversation with the manager: `entry` is the manager's DSM_Entry (a test's own
// function, or the library's), `parent` the window handle handed to the manager and source,
// `pump` runs the caller's pending events while the source is enabled and returns false when the
// program is quitting.
class TwainSession {
public:
    TwainSession(DSMENTRYPROC entry, TW_HANDLE parent, std::function<bool()> pump);
    ~TwainSession();
    TwainSession(const TwainSession&) = delete;
    TwainSession& operator=(const TwainSession&) = delete;

    // The manager's selection dialog, started at its default source. The manager remembers the
    // choice; a cancelled selection changes nothing.
    TwainOutcome SelectSource();

    // An acquisition run keeping the pictures; they are then taken one by one with NextAcquired.
    TwainOutcome AcquireForDocuments();
    // The next picture received, converted from its packed DIB, or false when none is left. A
    // block that is not a valid picture is skipped.
    bool NextAcquired(platform::TBitmap& picture);
    // Frees the blocks not taken yet.
    void ReleaseAcquired();
    size_t PicturesReceived() const { return m_blocks.size(); }

    // An acquisition run writing each picture to basePath + "_" + n + extension. `pngBest` asks
    // the PNG writer for its best compression. Files written are listed in Written().
    TwainOutcome AcquireToFiles(const std::filesystem::path& basePath, TwainFileFormat format,
        bool pngBest = false);
    const std::vector<std::filesystem::path>& Written() const { return m_written; }

    // The last run ended with a transfer that failed (the device reported an error or stopped
    // sending); the pictures received before it are kept.
    bool TransferFailed() const { return m_transferFailed; }

    // The source chosen in the last selection (zeros before).
    const TW_IDENTITY& SelectedSource() const { return m_selected; }

private:
    enum class Mode { Documents, Files };
    TwainOutcome Run();
    // Takes the transfers pending after MSG_XFERREADY; true when the loop should end.
    bool Transfer();
    void Received(TwainBlock block);
    TW_UINT16 Call(TW_IDENTITY* dest, TW_UINT32 group, TW_UINT16 dat, TW_UINT16 msg, void* data);

    DSMENTRYPROC m_entry;
    TW_HANDLE m_parent;
    std::function<bool()> m_pump;
    TW_IDENTITY m_app;
    TW_IDENTITY m_selected {};
    TW_IDENTITY m_scanSource {};
    Mode m_mode = Mode::Documents;
    std::filesystem::path m_basePath;
    TwainFileFormat m_format = TwainFileFormat::Bmp;
    bool m_pngBest = false;
    bool m_sourceEnabled = false;
    bool m_transferFailed = false;
    size_t m_count = 0; // pictures received in this run
    std::vector<TwainBlock> m_blocks;
    size_t m_next = 0;
    std::vector<std::filesystem::path> m_written;
};

// Writes one packed DIB as the file format asks (the extension already on `path`).
void WriteAcquiredPicture(const void* packedDib, size_t size, const std::filesystem::path& path,
    TwainFileFormat format, bool pngBest);

} // namespace vtl::input
