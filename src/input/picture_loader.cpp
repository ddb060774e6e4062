#include "input/picture_loader.h"

#include "codecs/jpeg_decoder.h"
#include "codecs/png_image.h"
#include "document/picture_budget.h"
#include "input/plugin_picture.h"
#include "platform/environment.h"
#include "platform/stream.h"

#include <array>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <system_error>

namespace vtl::input {

namespace {

    constexpr std::array<ThumbCell, 5> kThumbCells { { { 64, 48 }, { 80, 60 }, { 96, 72 },
        { 112, 84 }, { 128, 96 } } };

    // Clears the status panel on every way out of a decode.
    class StatusGuard {
    public:
        explicit StatusGuard(const DecodeContext& context)
            : m_context(context)
        {
        }
        ~StatusGuard()
        {
            try {
                m_context.Status("");
            } catch (...) {
            }
        }
        StatusGuard(const StatusGuard&) = delete;
        StatusGuard& operator=(const StatusGuard&) = delete;

    private:
        const DecodeContext& m_context;
    };

    // The codecs' stage reports as status texts: the percentage while running, nothing otherwise.
    platform::ProgressHandler StageProgress(const DecodeContext& context)
    {
        return [&context](const platform::ProgressReport& report) {
            if (report.stage == platform::ProgressStage::Running) {
                context.Status(ReadProgressText(report.percent, 100));
                context.ThrowIfCancelled();
            } else {
                context.Status("");
            }
        };
    }

    PluginProgress PluginStatusProgress(const DecodeContext& context)
    {
        return [&context](int32_t done, int32_t total) {
            if (total != 0)
                context.Status(ReadProgressText(done, total));
            context.ThrowIfCancelled();
        };
    }

    bool TooLarge(const SusiePlugin::PictureSize& size)
    {
        return int64_t(size.width) + int64_t(size.height) > kMaxPluginPictureSides;
    }

    bool IsPictureEntry(int entry) { return entry >= 0 && entry < PluginRegistry::kBuiltInCount; }

    // A photo's tags, read only when the settings want them applied.
    codecs::PhotoTags TagsOf(const std::filesystem::path& file, const DecodeContext& context)
    {
        return context.photo.Any() ? codecs::ReadPhotoTags(file) : codecs::PhotoTags {};
    }
    codecs::PhotoTags TagsOf(std::span<const uint8_t> data, const DecodeContext& context)
    {
        return context.photo.Any() ? codecs::ReadPhotoTags(data) : codecs::PhotoTags {};
    }
    codecs::PhotoTags TagsOf(const PluginSource& source, const DecodeContext& context)
    {
        return source.memory ? TagsOf(source.data, context) : TagsOf(source.file, context);
    }

    // A picture held as an image buffer is turned through a display bitmap. The buffer lets go of
    // its pixels first, so that a quarter turn has only its own copy beside the picture.
    void MakeUpright(
        document::TDIB& dib, const codecs::PhotoTags& tags, const codecs::PhotoOptions& options)
    {
        if (!codecs::WouldChange(tags, options))
            return;
        platform::TBitmap bitmap;
        dib.AssignTo(bitmap);
        dib.AssignNone();
        codecs::MakePhotoUpright(bitmap, tags, options);
        dib.Assign(bitmap);
    }

} // namespace

DecodeContext DecodeContext::FromEnvironment(int sizeIndex)
{
    DecodeContext context;
    context.paletteDisplay = platform::PaletteDisplay();
    ThumbCell cell = ThumbCellOfSize(sizeIndex);
    context.thumbWidth = cell.width;
    context.thumbHeight = cell.height;
    return context;
}

ThumbCell ThumbCellOfSize(int sizeIndex)
{
    if (sizeIndex < 0 || sizeIndex >= static_cast<int>(kThumbCells.size()))
        sizeIndex = 0;
    return kThumbCells[static_cast<size_t>(sizeIndex)];
}

DecoderChoice ChooseDecoder(const PluginRegistry& registry, const std::string& name)
{
    switch (registry.PictureExtensions().FindEntry(name, 0)) {
    case 0:
        return DecoderChoice::ThumbCache;
    case 1:
        return DecoderChoice::Bmp;
    case 2:
    case 3:
        return DecoderChoice::Jpeg;
    case 4:
        return DecoderChoice::Png;
    default:
        return DecoderChoice::Plugin;
    }
}

std::string ReadProgressText(int32_t done, int32_t total)
{
    if (total == 0)
        return {};
    int64_t percent = int64_t(done) * 100 / total;
    char text[32];
    std::snprintf(text, sizeof text, kReadProgressText, static_cast<int>(percent));
    return text;
}

bool ReduceForPaletteDisplay(document::TDIB& dib, const DecodeContext& context, bool showStatus)
{
    if (!context.paletteDisplay || dib.BitCount() <= 8)
        return false;
    if (showStatus) {
        context.Status(kReducingText);
        StatusGuard guard(context);
        dib.SetPixelFormat(document::DibPixelFormat::Dib8Bit);
    } else {
        dib.SetPixelFormat(document::DibPixelFormat::Dib8Bit);
    }
    return true;
}

bool ReduceForPaletteDisplay(
    platform::TBitmap& bitmap, const DecodeContext& context, bool showStatus)
{
    if (!context.paletteDisplay || bitmap.BitsPerPixel() <= 8)
        return false;
    document::TDIB dib;
    dib.Assign(bitmap);
    if (!ReduceForPaletteDisplay(dib, context, showStatus))
        return false;
    dib.AssignTo(bitmap);
    return true;
}

// ---- plug-in decoding ----

namespace {

    enum class PluginStep {
        NoPlugin,
        Declined,
        Refused,
        NoGetPicture,
        PictureFailed,
        BadOutput,
        OverBudget,
        Picture
    };

    struct PluginDecode {
        PluginStep step = PluginStep::NoPlugin;
        std::string pluginPath;
        std::string error; // the converter's text for BadOutput, the budget's for OverBudget
    };

    // The plug-in walk and calls shared by every plug-in decode. `head` set: a memory request.
    PluginDecode DecodeByPlugin(PluginRegistry& registry, const std::string& name,
        const PluginSource& source, bool withProgress, const platform::MemoryBudget& budget,
        document::TDIB& picture, const DecodeContext& context)
    {
        PluginDecode result;
        auto chosen = registry.ChoosePlugin(PluginKind::Picture, name);
        if (!chosen)
            return result;
        result.pluginPath = chosen->path;
        const SusiePlugin& plugin = chosen->plugin;
        bool supported = source.memory ? plugin.IsSupportedHead(name, source.data)
                                       : plugin.IsSupportedFile(source.file);
        if (!supported) {
            result.step = PluginStep::Declined;
            return result;
        }
        if (plugin.HasGetPictureInfo()) {
            auto size = plugin.GetPictureInfo(source);
            if (!size || TooLarge(*size)) {
                result.step = PluginStep::Refused;
                return result;
            }
            // Plug-in pictures are taken as 24 bits, the most a plug-in's picture becomes here.
            try {
                budget.Require(platform::OpeningCost(size->width, size->height, 24));
            } catch (const platform::EPictureTooLarge& e) {
                result.step = PluginStep::OverBudget;
                result.error = e.what();
                return result;
            }
        }
        if (!plugin.HasGetPicture()) {
            registry.MarkFailed(PluginKind::Picture, chosen->pathIndex);
            result.step = PluginStep::NoGetPicture;
            return result;
        }
        PluginPictureBlocks blocks;
        PluginProgress progress = withProgress ? PluginStatusProgress(context) : PluginProgress {};
        if (plugin.GetPicture(source, blocks, progress) != SPI_SUCCESS) {
            result.step = PluginStep::PictureFailed;
            return result;
        }
        try {
            document::TDIB decoded;
            PictureFromPluginBlocks(blocks.info.Bytes(), blocks.bits.Bytes(), decoded);
            // The blocks go back before the slow part.
            blocks.info.Reset();
            blocks.bits.Reset();
            // Plug-ins hand over the rows as stored; the host turns them by the file's tags.
            MakeUpright(decoded, TagsOf(source, context), context.photo);
            picture.Assign(decoded);
        } catch (const std::exception& e) {
            result.step = PluginStep::BadOutput;
            result.error = e.what();
            return result;
        }
        result.step = PluginStep::Picture;
        return result;
    }

} // namespace

PluginOpenResult OpenFileByPlugin(PluginRegistry& registry, const std::filesystem::path& file,
    document::TDIB& picture, const DecodeContext& context)
{
    StatusGuard guard(context);
    document::TDIB decoded;
    PluginDecode decode = DecodeByPlugin(registry, file.string(), PluginSource::File(file), true,
        context.budget, decoded, context);
    PluginOpenResult result;
    switch (decode.step) {
    case PluginStep::NoPlugin:
        result.outcome = PluginOpenOutcome::NoPlugin;
        return result;
    case PluginStep::Declined:
    case PluginStep::Refused:
        result.outcome = PluginOpenOutcome::Stopped;
        return result;
    case PluginStep::NoGetPicture:
        result.outcome = PluginOpenOutcome::Failed;
        result.message = FormatMessage(kPluginBrokenMessage, decode.pluginPath);
        return result;
    case PluginStep::PictureFailed:
        result.outcome = PluginOpenOutcome::Failed;
        result.message = kReadFailedMessage;
        return result;
    case PluginStep::BadOutput:
    case PluginStep::OverBudget:
        result.outcome = PluginOpenOutcome::Failed;
        result.message = decode.error;
        return result;
    case PluginStep::Picture:
        break;
    }
    ReduceForPaletteDisplay(decoded, context, true);
    picture.Assign(decoded);
    result.outcome = PluginOpenOutcome::Picture;
    return result;
}

MemoryDecode DecodeFromMemory(PluginRegistry& registry, document::TDIB& picture,
    std::span<const uint8_t> data, const std::string& name, bool full, const DecodeContext& context)
{
    int entry = registry.PictureExtensions().FindEntry(name, 0);
    if (entry < 0 || entry == 0)
        return MemoryDecode::Failed;
    if (IsPictureEntry(entry)) {
        try {
            const platform::MemoryBudget budget
                = full ? context.budget : context.budget.ForThumbnails();
            document::TDIB decoded;
            platform::ProgressHandler progress = StageProgress(context);
            if (entry == 2 || entry == 3) {
                const codecs::PhotoTags tags = TagsOf(data, context);
                codecs::JpegDecodeOptions options;
                options.progress = full ? &progress : nullptr;
                if (!full) {
                    // Thumbnails: judge the size at 1/8 and decode at the smallest scale that
                    // still fills the cell, the cell turned as the picture will be.
                    auto eighth = codecs::ReadJpegSize(data, codecs::JpegScale::Eighth);
                    const bool turned
                        = context.photo.upright && codecs::OrientationSwapsSides(tags.orientation);
                    options.scale = codecs::PickJpegScale(eighth,
                        turned ? context.thumbHeight : context.thumbWidth,
                        turned ? context.thumbWidth : context.thumbHeight,
                        codecs::JpegScale::Eighth);
                }
                document::RequireJpeg(budget, codecs::ReadJpegSize(data, options.scale));
                platform::TBitmap bitmap;
                codecs::DecodeJpeg(data, bitmap, options);
                codecs::MakePhotoUpright(bitmap, tags, context.photo);
                decoded.Assign(bitmap);
            } else if (entry == 4) {
                document::RequirePng(budget, codecs::PeekPngSize(data));
                const codecs::PhotoTags tags = TagsOf(data, context);
                {
                    codecs::TPngImage png;
                    if (full)
                        png.OnProgress = progress;
                    platform::TSpanStream stream(data);
                    png.LoadFromStream(stream);
                    png.AssignTo(decoded);
                }
                MakeUpright(decoded, tags, context.photo);
            } else {
                document::RequireBmp(budget, document::PeekBmpSize(data));
                decoded.LoadFromBytes(data);
            }
            ReduceForPaletteDisplay(decoded, context, full);
            picture.Assign(decoded);
        } catch (const std::exception&) {
            // Archive members that fail to decode are simply left out.
            if (full)
                context.Status("");
            return MemoryDecode::Failed;
        }
        return MemoryDecode::Picture;
    }

    document::TDIB decoded;
    PluginDecode decode = DecodeByPlugin(registry, name, PluginSource::Memory(data), full,
        full ? context.budget : context.budget.ForThumbnails(), decoded, context);
    if (full)
        context.Status("");
    if (decode.step == PluginStep::NoPlugin)
        return MemoryDecode::Unclaimed;
    if (decode.step != PluginStep::Picture)
        return MemoryDecode::Failed;
    try {
        ReduceForPaletteDisplay(decoded, context, full);
    } catch (const std::exception&) {
        return MemoryDecode::Failed;
    }
    picture.Assign(decoded);
    return MemoryDecode::Picture;
}

bool DecodeFileByPlugin(PluginRegistry& registry, platform::TBitmap& bitmap,
    const std::filesystem::path& file, bool noReduction, const DecodeContext& context)
{
    StatusGuard guard(context);
    document::TDIB decoded;
    // The browser's thumbnails: the thumbnail budget.
    PluginDecode decode = DecodeByPlugin(registry, file.string(), PluginSource::File(file), true,
        context.budget.ForThumbnails(), decoded, context);
    if (decode.step == PluginStep::NoPlugin)
        return true;
    if (decode.step != PluginStep::Picture)
        return false;
    try {
        if (!noReduction)
            ReduceForPaletteDisplay(decoded, context, false);
        platform::TBitmap result;
        decoded.AssignTo(result);
        bitmap = std::move(result);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

namespace {
    std::atomic<int> g_failNextLoads { 0 };
}

void FailNextLoadsForTesting(int count) { g_failNextLoads = count; }

void ThrowIfLoadFailureArmed(const std::filesystem::path& file)
{
    if (g_failNextLoads > 0) {
        --g_failNextLoads;
        throw std::system_error(EIO, std::generic_category(), "cannot read " + file.string());
    }
}

FileOpenResult OpenPictureFile(PluginRegistry& registry, const std::filesystem::path& file,
    platform::TBitmap& bitmap, const DecodeContext& context)
{
    ThrowIfLoadFailureArmed(file);
    FileOpenResult result;
    DecoderChoice choice = ChooseDecoder(registry, file.string());
    platform::TBitmap decoded;
    switch (choice) {
    case DecoderChoice::ThumbCache:
        result.outcome = FileOpenOutcome::ThumbCache;
        return result;
    case DecoderChoice::Jpeg: {
        StatusGuard guard(context);
        platform::ProgressHandler progress = StageProgress(context);
        codecs::JpegDecodeOptions options;
        options.progress = &progress;
        document::RequireJpeg(context.budget, codecs::ReadJpegFileSize(file));
        codecs::DecodeJpegFile(file, decoded, options);
        codecs::MakePhotoUpright(decoded, TagsOf(file, context), context.photo);
        break;
    }
    case DecoderChoice::Png: {
        StatusGuard guard(context);
        document::RequirePng(context.budget, codecs::PeekPngFileSize(file));
        {
            codecs::TPngImage png;
            png.OnProgress = StageProgress(context);
            png.LoadFromFile(file);
            png.AssignTo(decoded);
        }
        codecs::MakePhotoUpright(decoded, TagsOf(file, context), context.photo);
        break;
    }
    case DecoderChoice::Bmp: {
        document::RequireBmp(context.budget, document::PeekBmpFileSize(file));
        document::TDIB dib;
        dib.LoadFromFile(file);
        if (context.paletteDisplay && dib.BitCount() > 8) {
            ReduceForPaletteDisplay(dib, context, true);
        }
        dib.MoveTo(decoded);
        bitmap = std::move(decoded);
        result.outcome = FileOpenOutcome::Picture;
        return result;
    }
    case DecoderChoice::Plugin: {
        document::TDIB dib;
        PluginOpenResult plugin = OpenFileByPlugin(registry, file, dib, context);
        switch (plugin.outcome) {
        case PluginOpenOutcome::NoPlugin:
            result.outcome = FileOpenOutcome::NoPlugin;
            return result;
        case PluginOpenOutcome::Stopped:
            result.outcome = FileOpenOutcome::Stopped;
            return result;
        case PluginOpenOutcome::Failed:
            result.outcome = FileOpenOutcome::Failed;
            result.message = plugin.message;
            return result;
        case PluginOpenOutcome::Picture:
            break;
        }
        dib.MoveTo(decoded);
        bitmap = std::move(decoded);
        result.outcome = FileOpenOutcome::Picture;
        return result;
    }
    }
    // JPEG and PNG, turned upright and in sRGB: reduced when 24-bit on a palette display.
    if (decoded.PixelFormat() == platform::TPixelFormat::pf24bit)
        ReduceForPaletteDisplay(decoded, context, true);
    bitmap = std::move(decoded);
    result.outcome = FileOpenOutcome::Picture;
    return result;
}

} // namespace vtl::input
