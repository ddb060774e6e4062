#include "tools/vtlc/picture_reading.h"

#include "browse/thumb_cache.h"
#include "browse/thumb_size.h"
#include "document/picture_budget.h"
#include "input/help_graphic.h"
#include "input/picture_loader.h"
#include "render/help_graphic_render.h"
#include "tools/vtlc/settings_access.h"

#include <cctype>
#include <filesystem>
#include <stdexcept>

namespace vtl::tools {

input::PluginRegistry LoadedRegistry()
{
    input::PluginRegistry registry;
    input::RegisterOwnPluginsIfMissing(registry.Folders());
    registry.LoadPluginList();
    return registry;
}

void RequireFile(const std::string& file)
{
    if (!std::filesystem::is_regular_file(file))
        throw std::runtime_error(file + " が見つかりません。");
}

platform::MemoryBudget BudgetOf(const Options& options)
{
    return platform::MemoryBudget::FromMegabytes(
        options.memoryBudget.value_or(StoredSettings().memoryBudgetMB));
}

codecs::PhotoOptions PhotoOptionsOf(const Options& options)
{
    return { !options.keepOrientation, !options.keepColours };
}

LoadedPicture ReadPicture(const std::string& file, const platform::MemoryBudget& budget,
    const codecs::PhotoOptions& photo)
{
    namespace fs = std::filesystem;
    RequireFile(file);
    LoadedPicture loaded;
    std::string lower = fs::path(file).extension().string();
    for (char& c : lower)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    if (lower == ".shg") {
        render::TMetafilePlayer player;
        if (!input::ReadHelpGraphicFile(loaded.bitmap, file, &player))
            throw std::runtime_error(file + ": not a help graphic");
        loaded.decoder = "help-graphic";
        return loaded;
    }
    input::PluginRegistry registry = LoadedRegistry();
    auto context = input::DecodeContext::FromEnvironment();
    context.paletteDisplay = false; // a tool keeps every picture as it is
    context.budget = budget;
    context.photo = photo;
    switch (input::ChooseDecoder(registry, file)) {
    case input::DecoderChoice::Bmp:
        document::RequireBmp(budget, document::PeekBmpFileSize(file));
        loaded.dib.emplace();
        loaded.dib->LoadFromFile(file);
        loaded.dib->AssignTo(loaded.bitmap);
        loaded.decoder = "bmp";
        return loaded;
    case input::DecoderChoice::Jpeg:
        loaded.decoder = "jpeg";
        break;
    case input::DecoderChoice::Png:
        loaded.decoder = "png";
        break;
    case input::DecoderChoice::ThumbCache: {
        // A cache made for the current thumbnail size opens as its strip of thumbnails.
        loaded.dib.emplace();
        if (!browse::LoadCacheImage(file, *loaded.dib, browse::ThumbSizeOfIndex(StoredSettings().sumSize)))
            throw std::runtime_error(file + ": not a thumbnail cache of the current size");
        loaded.dib->AssignTo(loaded.bitmap);
        loaded.decoder = "thumbnail-cache";
        return loaded;
    }
    case input::DecoderChoice::Plugin:
        loaded.decoder = "plugin";
        break;
    }
    auto result = input::OpenPictureFile(registry, file, loaded.bitmap, context);
    switch (result.outcome) {
    case input::FileOpenOutcome::Picture:
        return loaded;
    case input::FileOpenOutcome::Failed:
        throw std::runtime_error(result.message);
    default:
        throw std::runtime_error(file + ": no decoder reads this file");
    }
}

} // namespace vtl::tools
