#include "tools/vtlc/thumb_commands.h"

#include "tools/vtlc/picture_reading.h"

#include "browse/folder_thumbs.h"
#include "browse/thumb_cache.h"
#include "input/picture_loader.h"
#include "input/plugin_registry.h"
#include "platform/stream.h"
#include "tools/vtlc/settings_access.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace vtl::tools {

int ThumbsCommand(const CommandLine& line)
{
    const std::filesystem::path folder = line.operands[0];
    if (!std::filesystem::is_directory(folder))
        throw std::runtime_error(folder.string() + " が見つかりません。");
    const app::Settings settings = StoredSettings();
    const int sizeIndex = line.options.size.value_or(settings.sumSize);

    input::PluginRegistry registry = LoadedRegistry();
    input::DecodeContext context = input::DecodeContext::FromEnvironment(sizeIndex);
    context.budget = BudgetOf(line.options);
    context.photo = PhotoOptionsOf(line.options);
    browse::FolderScanHooks hooks;
    hooks.findEntry = [&registry](std::string_view name) {
        return registry.PictureExtensions().FindEntry(std::string(name), 0);
    };
    hooks.decodeByPlugin = [&registry, &context](platform::TBitmap& bitmap, const std::filesystem::path& file) {
        return input::DecodeFileByPlugin(registry, bitmap, file, true, context);
    };
    hooks.budget = context.budget.ForThumbnails();
    hooks.photo = context.photo;

    browse::FolderThumbnails thumbs(browse::ThumbSizeOfIndex(sizeIndex), hooks);
    thumbs.SelectFolder(folder);
    // Leaving the folder in the browser saves (or deletes) its cache.
    thumbs.SaveCache(settings.sumSave);
    for (const std::string& name : thumbs.Names())
        std::printf("%s\n", name.c_str());
    return 0;
}

int CacheCommand(const CommandLine& line)
{
    const std::string& file = line.operands[0];
    if (!std::filesystem::is_regular_file(file))
        throw std::runtime_error(file + " が見つかりません。");
    const std::vector<uint8_t> bytes = platform::ReadWholeFile(file);
    auto sections = browse::ReadCacheSections(bytes);
    if (!sections)
        throw std::runtime_error(file + ": not a thumbnail cache");
    for (const std::string& text : browse::CacheLines(sections->text))
        std::printf("%s\n", text.c_str());
    if (line.options.strip) {
        std::ofstream out(*line.options.strip, std::ios::binary);
        out.write(reinterpret_cast<const char*>(sections->strip.data()), std::streamsize(sections->strip.size()));
        if (!out.flush())
            throw std::runtime_error(*line.options.strip + ": cannot write");
    }
    return 0;
}

} // namespace vtl::tools
