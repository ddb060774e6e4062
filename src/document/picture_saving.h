#pragma once
// Writing a picture in one of the program's save kinds: plain or RLE BMP, JPEG, and PNG plain,
// interlaced, with the bottom-left colour transparent, or both.

#include "platform/bitmap.h"

#include <filesystem>
#include <optional>
#include <string_view>

namespace vtl::document {

enum class SaveKind {
    Bmp,
    BmpRle,
    Jpeg,
    Png,
    PngInterlace,
    PngTransparent,
    PngInterlaceTransparent
};

// "bmp", "bmp-rle", "jpeg", "png", "png-interlace", "png-transparent",
// "png-interlace-transparent"; nullopt for other words.
std::optional<SaveKind> SaveKindFromName(std::string_view name);
// The kind a file name's extension asks for (bmp, jpg/jpeg, png), compared without case.
std::optional<SaveKind> SaveKindFromExtension(const std::filesystem::path& path);

struct SaveOptions {
    int jpegQuality = 90; // Op/jpg
    bool pngBest = false; // Op/png: compression level 9
};

enum class SaveOutcome {
    Saved,
    // RLE would have made the file larger: it was written uncompressed.
    SavedUncompressed,
    // RLE needs a 16- or 256-colour picture; nothing was written.
    NotPaletted,
};

// Writes `picture` to `path` (the caller has already given the path its extension). Throws the
// codecs' errors for anything else that goes wrong.
SaveOutcome SavePicture(const platform::TBitmap& picture, const std::filesystem::path& path,
    SaveKind kind, const SaveOptions& options);

} // namespace vtl::document
