#pragma once
// How every vtlc command reads pictures and finds plug-ins: the same readers vtl uses, with the
// program's own plug-ins registered when the plug-in list doesn't exist yet.

#include "codecs/photo_tags.h"
#include "document/dib.h"
#include "input/plugin_registry.h"
#include "platform/bitmap.h"
#include "platform/memory_budget.h"
#include "tools/vtlc/command_line.h"

#include <optional>
#include <string>

namespace vtl::tools {

// The plug-in list as vtl reads it at start-up.
input::PluginRegistry LoadedRegistry();

// Throws "FILE が見つかりません。" when `file` isn't a regular file.
void RequireFile(const std::string& file);

struct LoadedPicture {
    platform::TBitmap bitmap;
    std::optional<document::TDIB> dib; // BMP files keep their stored form (RLE included)
    std::string decoder; // bmp, jpeg, png, help-graphic, thumbnail-cache, plugin
};

// The memory one picture may take: --memory-budget, else the program's setting.
platform::MemoryBudget BudgetOf(const Options& options);

// Whether photos are turned upright and converted to sRGB: both unless --keep-orientation or
// --keep-colours say otherwise. The viewer's settings don't change what a script gets.
codecs::PhotoOptions PhotoOptionsOf(const Options& options);

// Any picture vtl opens: help graphics, BMP, JPEG, PNG, thumbnail caches of the current size and
// plug-in formats, kept in their own pixel format; photos turned upright and converted to sRGB as
// `photo` asks. Throws with the reader's message on failure, and with the size it would need for
// a picture over `budget`.
LoadedPicture ReadPicture(const std::string& file, const platform::MemoryBudget& budget,
    const codecs::PhotoOptions& photo);

} // namespace vtl::tools
