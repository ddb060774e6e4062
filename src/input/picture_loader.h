#pragma once
// The decoding side of the loading pipeline, without windows: which decoder reads a name, reading
// a file through a picture plug-in, decoding bytes held in memory (archive members), decoding for
// thumbnails, and the reduction to 8 bits for palette displays. The windows show the messages
// and status texts these functions hand back.

#include "codecs/photo_tags.h"
#include "document/dib.h"
#include "input/plugin_registry.h"
#include "platform/bitmap.h"
#include "platform/memory_budget.h"
#include "platform/progress.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <string>

namespace vtl::input {

inline constexpr const char* kReadProgressText = " Read %d%%";
inline constexpr const char* kReducingText = "減色中...";

// What a decoding step needs to know about the program's state.
struct DecodeContext {
    bool paletteDisplay = false;
    // The thumbnail cell of the current thumbnail size (Sum/Size), for the JPEG scale rule.
    int32_t thumbWidth = 64;
    int32_t thumbHeight = 48;
    // The first status panel: a text to show at once, or "" to clear it. May be empty.
    std::function<void(const std::string&)> status;
    // What one picture may cost when it opens (thumbnails use budget.ForThumbnails()).
    platform::MemoryBudget budget = platform::MemoryBudget::Automatic();
    // Asked whenever a long load reports progress; true stops the load, which then throws
    // platform::ELoadCancelled and leaves nothing behind. May be empty.
    std::function<bool()> cancelled;
    // Whether photos are turned upright and converted to sRGB as they are read.
    codecs::PhotoOptions photo = {};

    // The palette display flag from the environment and the cell of thumbnail size `sizeIndex`.
    static DecodeContext FromEnvironment(int sizeIndex = 0);
    void Status(const std::string& text) const
    {
        if (status)
            status(text);
    }
    void ThrowIfCancelled() const
    {
        if (cancelled && cancelled())
            throw platform::ELoadCancelled();
    }
};

// The thumbnail cell of size index 0 to 4 (others are taken as 0).
struct ThumbCell {
    int32_t width;
    int32_t height;
};
ThumbCell ThumbCellOfSize(int sizeIndex);

enum class DecoderChoice { ThumbCache, Bmp, Jpeg, Png, Plugin };

// Find entry from 0 on the picture extension list: a built-in entry picks its reader; plug-in
// entries and names that match nothing go to the plug-ins.
DecoderChoice ChooseDecoder(const PluginRegistry& registry, const std::string& name);

// The reduction for palette displays: with the flag set and more than 8 bits per pixel, the
// picture becomes Dib8Bit, with "減色中..." in the status panel while it runs (when
// `showStatus`). True when it was reduced.
bool ReduceForPaletteDisplay(document::TDIB& dib, const DecodeContext& context, bool showStatus);
bool ReduceForPaletteDisplay(
    platform::TBitmap& bitmap, const DecodeContext& context, bool showStatus);

// " Read %d%%" for done out of total; nothing for a total of 0.
std::string ReadProgressText(int32_t done, int32_t total);

enum class PluginOpenOutcome {
    NoPlugin, // no usable picture plug-in claims the name: try the archive plug-ins
    Stopped, // the plug-in declined, its GetPictureInfo failed, or the picture is too large
    Failed, // show `message` ("%s がおかしい。", "読み込みに失敗しました。", a decoder's text, or
            // the size a picture over the memory budget would need)
    Picture, // `picture` holds the decoded picture
};

struct PluginOpenResult {
    PluginOpenOutcome outcome = PluginOpenOutcome::NoPlugin;
    std::string message;
};

// Reads a file on disk through the first usable picture plug-in (the plug-in branch of opening
// a file). The picture is reduced for palette displays. `picture` is changed only on success.
PluginOpenResult OpenFileByPlugin(PluginRegistry& registry, const std::filesystem::path& file,
    document::TDIB& picture, const DecodeContext& context);

enum class MemoryDecode {
    Failed, // no entry matches the name, or a decoder claimed the data and failed
    Picture, // `picture` holds the decoded picture
    Unclaimed, // every matching plug-in was unusable; `picture` is untouched
};

// Decodes bytes held in memory (an archive member) by its name. With `full` cleared the picture
// is meant for a thumbnail: JPEG pictures are decoded at the smallest scale that still fills the
// cell, and no progress is reported.
MemoryDecode DecodeFromMemory(PluginRegistry& registry, document::TDIB& picture,
    std::span<const uint8_t> data, const std::string& name, bool full,
    const DecodeContext& context);

// The thumbnail browser's reading of a file in a plug-in format: false when the chosen plug-in
// declined or failed the file; true when the picture was read, and also when no usable plug-in
// claims it (the bitmap is then untouched). No messages; the status panel is cleared at the end.
// Pictures are held to the thumbnail budget.
bool DecodeFileByPlugin(PluginRegistry& registry, platform::TBitmap& bitmap,
    const std::filesystem::path& file, bool noReduction, const DecodeContext& context);

enum class FileOpenOutcome {
    Picture, // `bitmap` holds the picture
    ThumbCache, // a ".snx" name: the thumbnail-cache reader's turn
    NoPlugin, // no picture decoder claims the file: the archive plug-ins' turn
    Stopped, // silently nothing
    Failed, // show `message`
};

struct FileOpenResult {
    FileOpenOutcome outcome = FileOpenOutcome::Stopped;
    std::string message;
};

// The decoder dispatch of opening a file, without the window: BMP, JPEG and PNG by the built-in
// readers (their errors are thrown, for the general error report), other names by the picture
// plug-ins; the result reduced for palette displays. `bitmap` changes only with Picture.
FileOpenResult OpenPictureFile(PluginRegistry& registry, const std::filesystem::path& file,
    platform::TBitmap& bitmap, const DecodeContext& context);

// Tests: the next `count` opens of a picture file or archive member throw as an unreadable file
// would.
void FailNextLoadsForTesting(int count);
// Throws the read error when a failure was asked for; the readers call it before they start.
void ThrowIfLoadFailureArmed(const std::filesystem::path& file);

} // namespace vtl::input
