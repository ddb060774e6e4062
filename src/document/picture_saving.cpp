#include "document/picture_saving.h"

#include "codecs/jpeg_encoder.h"
#include "codecs/png_image.h"
#include "document/dib.h"
#include "document/dib_errors.h"
#include "platform/atomic_file.h"
#include "platform/stream.h"

#include <algorithm>
#include <cctype>

namespace vtl::document {

std::optional<SaveKind> SaveKindFromName(std::string_view name)
{
    static constexpr std::pair<std::string_view, SaveKind> kNames[] = {
        { "bmp", SaveKind::Bmp },
        { "bmp-rle", SaveKind::BmpRle },
        { "jpeg", SaveKind::Jpeg },
        { "png", SaveKind::Png },
        { "png-interlace", SaveKind::PngInterlace },
        { "png-transparent", SaveKind::PngTransparent },
        { "png-interlace-transparent", SaveKind::PngInterlaceTransparent },
    };
    for (const auto& [word, kind] : kNames)
        if (word == name)
            return kind;
    return std::nullopt;
}

std::optional<SaveKind> SaveKindFromExtension(const std::filesystem::path& path)
{
    std::string ext = path.extension().string();
    std::transform(
        ext.begin(), ext.end(), ext.begin(), [](unsigned char c) { return char(std::tolower(c)); });
    if (ext == ".bmp")
        return SaveKind::Bmp;
    if (ext == ".jpg" || ext == ".jpeg")
        return SaveKind::Jpeg;
    if (ext == ".png")
        return SaveKind::Png;
    return std::nullopt;
}

namespace {
    // The file is written in pieces beside the old one and replaces it in one step only once it
    // is whole, so that a failed save never leaves half a file where the picture was.
    template <typename WriteTo> void Replace(const std::filesystem::path& path, WriteTo write)
    {
        platform::TAtomicFile file(path);
        write(file);
        file.Commit();
    }
}

SaveOutcome SavePicture(const platform::TBitmap& picture, const std::filesystem::path& path,
    SaveKind kind, const SaveOptions& options)
{
    switch (kind) {
    case SaveKind::Bmp: {
        Replace(path, [&](platform::TStream& file) { picture.SaveToStream(file); });
        return SaveOutcome::Saved;
    }
    case SaveKind::BmpRle: {
        const auto format = picture.PixelFormat();
        if (format != platform::TPixelFormat::pf4bit && format != platform::TPixelFormat::pf8bit)
            return SaveOutcome::NotPaletted;
        TDIB dib;
        dib.Assign(picture);
        SaveOutcome outcome = SaveOutcome::Saved;
        try {
            dib.SetPixelFormat(format == platform::TPixelFormat::pf8bit ? DibPixelFormat::Dib8BitRle
                                                                        : DibPixelFormat::Dib4BitRle);
        } catch (const EDIBCompressionFailed&) {
            outcome = SaveOutcome::SavedUncompressed;
        }
        Replace(path, [&](platform::TStream& file) { dib.SaveToStream(file); });
        return outcome;
    }
    case SaveKind::Jpeg:
        Replace(path, [&](platform::TStream& file) {
            codecs::SaveJpegToStream(picture, options.jpegQuality, file);
        });
        return SaveOutcome::Saved;
    case SaveKind::Png:
    case SaveKind::PngInterlace:
    case SaveKind::PngTransparent:
    case SaveKind::PngInterlaceTransparent: {
        codecs::TPngImage png;
        if (options.pngBest)
            png.SetCompressionLevel(9);
        png.SetInterlace(kind == SaveKind::PngInterlace || kind == SaveKind::PngInterlaceTransparent);
        if ((kind == SaveKind::PngTransparent || kind == SaveKind::PngInterlaceTransparent)
            && !picture.Empty())
            png.SetTransparentColor(picture.Pixel(0, picture.Height() - 1) & 0xFFFFFF);
        // A 1-bit picture is written as 1-bit grey.
        png.SetGreyscale(picture.PixelFormat() == platform::TPixelFormat::pf1bit);
        png.Assign(picture);
        Replace(path, [&](platform::TStream& file) { png.SaveToStream(file); });
        return SaveOutcome::Saved;
    }
    }
    return SaveOutcome::Saved;
}

} // namespace vtl::document
