#include "tools/vtlc/picture_commands.h"

#include "document/dib.h"
#include "document/dib_errors.h"
#include "document/picture_saving.h"
#include "platform/registry.h"
#include "tools/vtlc/picture_reading.h"
#include "tools/vtlc/settings_access.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace vtl::tools {

namespace {
    using document::DibPixelFormat;

    const char* PixelFormatWord(platform::TPixelFormat format)
    {
        switch (format) {
        case platform::TPixelFormat::pf1bit:
            return "1bit";
        case platform::TPixelFormat::pf4bit:
            return "4bit";
        case platform::TPixelFormat::pf8bit:
            return "8bit";
        case platform::TPixelFormat::pf15bit:
            return "15bit";
        case platform::TPixelFormat::pf16bit:
            return "16bit";
        case platform::TPixelFormat::pf24bit:
            return "24bit";
        case platform::TPixelFormat::pf32bit:
            return "32bit";
        default:
            return "device";
        }
    }

    const std::pair<const char*, DibPixelFormat> kFormatWords[] = {
        { "1bit", DibPixelFormat::Dib1Bit },
        { "4bit", DibPixelFormat::Dib4Bit },
        { "4bit-rle", DibPixelFormat::Dib4BitRle },
        { "8bit", DibPixelFormat::Dib8Bit },
        { "8bit-rle", DibPixelFormat::Dib8BitRle },
        { "24bit", DibPixelFormat::Dib24Bit },
        { "halftone", DibPixelFormat::DibHalftone },
        { "halftone-mono", DibPixelFormat::DibHalftoneMono },
    };

    const char* DibFormatWord(DibPixelFormat format)
    {
        for (const auto& [w, f] : kFormatWords)
            if (f == format)
                return w;
        return "";
    }

    DibPixelFormat FormatFromWord(const std::string& word)
    {
        for (const auto& [w, f] : kFormatWords)
            if (word == w)
                return f;
        throw UsageError { "unknown format " + word };
    }
}

app::Settings StoredSettings()
{
    platform::Registry registry(platform::Registry::DefaultFolder());
    return app::ReadSettings(registry, { 0, 0, 1 << 20, 1 << 20 }, {});
}

int InfoCommand(const CommandLine& line)
{
    int status = 0;
    for (const std::string& file : line.operands) {
        try {
            LoadedPicture p = ReadPicture(file);
            std::printf("file: %s\n", file.c_str());
            std::printf("decoder: %s\n", p.decoder.c_str());
            std::printf("width: %d\nheight: %d\n", p.bitmap.Width(), p.bitmap.Height());
            std::printf("bits: %d\n", p.bitmap.BitsPerPixel());
            std::printf("format: %s\n",
                p.dib ? DibFormatWord(p.dib->PixelFormat())
                      : PixelFormatWord(p.bitmap.PixelFormat()));
            std::printf("palette: %zu\n", p.bitmap.PaletteEntries().size());
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            status = 1;
        }
        if (line.operands.size() > 1)
            std::printf("\n");
    }
    return status;
}

int ConvertCommand(const CommandLine& line)
{
    const std::string& in = line.operands[0];
    const std::filesystem::path out = line.operands[1];
    std::optional<document::SaveKind> kind = line.options.as
        ? document::SaveKindFromName(*line.options.as)
        : document::SaveKindFromExtension(out);
    if (!kind)
        throw UsageError { "the kind of " + out.string()
            + " is not known: name it .bmp, .jpg, .png or use --as" };

    LoadedPicture p = ReadPicture(in);
    if (line.options.format) {
        if (!p.dib) {
            p.dib.emplace();
            p.dib->Assign(p.bitmap);
        }
        p.dib->QuantiseMode = line.options.quantise == std::optional<std::string>("high") ? 1 : 0;
        if (line.options.oneBitColour) {
            unsigned rgb = *line.options.oneBitColour;
            p.dib->OneBitColour
                = platform::Rgb(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
        }
        const DibPixelFormat target = FormatFromWord(*line.options.format);
        try {
            p.dib->SetPixelFormat(target);
        } catch (const document::EDIBCompressionFailed&) {
            // As the program saves: a picture that RLE would make larger is written uncompressed.
            std::fprintf(stderr, "%s は圧縮するとサイズが大きくなるので非圧縮で保存します。\n",
                out.filename().c_str());
            p.dib->SetPixelFormat(target == DibPixelFormat::Dib8BitRle ? DibPixelFormat::Dib8Bit
                                                                       : DibPixelFormat::Dib4Bit);
        }
        // A BMP written in the buffer's own form keeps RLE compression as it was asked for.
        if (*kind == document::SaveKind::Bmp) {
            p.dib->SaveToFile(out);
            return 0;
        }
        p.dib->AssignTo(p.bitmap);
    }

    const app::Settings settings = StoredSettings();
    document::SaveOptions options;
    options.jpegQuality = line.options.quality.value_or(settings.jpg);
    options.pngBest = line.options.pngBest || settings.png;
    switch (document::SavePicture(p.bitmap, out, *kind, options)) {
    case document::SaveOutcome::NotPaletted:
        throw std::runtime_error("16色または256色のみ圧縮できます。");
    case document::SaveOutcome::SavedUncompressed:
        std::fprintf(stderr, "%s は圧縮するとサイズが大きくなるので非圧縮で保存します。\n",
            out.filename().c_str());
        return 0;
    case document::SaveOutcome::Saved:
        return 0;
    }
    return 0;
}

} // namespace vtl::tools
