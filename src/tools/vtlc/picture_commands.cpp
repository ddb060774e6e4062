#include "tools/vtlc/picture_commands.h"

#include "app/settings.h"
#include "browse/thumb_cache.h"
#include "tools/vtlc/settings_access.h"
#include "document/dib.h"
#include "document/dib_errors.h"
#include "document/picture_saving.h"
#include "input/help_graphic.h"
#include "input/picture_loader.h"
#include "render/help_graphic_render.h"
#include "input/plugin_registry.h"
#include "platform/registry.h"

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace vtl::tools {

namespace {
    using document::DibPixelFormat;

    struct LoadedPicture {
        platform::TBitmap bitmap;
        std::optional<document::TDIB> dib; // BMP files keep their stored form (RLE included)
        std::string decoder;
    };

    LoadedPicture Load(const std::string& file)
    {
        namespace fs = std::filesystem;
        if (!fs::is_regular_file(file))
            throw std::runtime_error(file + " が見つかりません。");
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
        input::PluginRegistry registry;
        registry.LoadPluginList();
        auto context = input::DecodeContext::FromEnvironment();
        context.paletteDisplay = false; // a tool keeps every picture as it is
        switch (input::ChooseDecoder(registry, file)) {
        case input::DecoderChoice::Bmp:
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
            LoadedPicture p = Load(file);
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

    LoadedPicture p = Load(in);
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
