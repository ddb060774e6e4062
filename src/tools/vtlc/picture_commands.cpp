#include "tools/vtlc/picture_commands.h"

#include "document/dib.h"
#include "document/dib_errors.h"
#include "document/picture_saving.h"
#include "platform/registry.h"
#include "tools/vtlc/file_commands.h"
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
    const platform::MemoryBudget budget = BudgetOf(line.options);
    const codecs::PhotoOptions photo = PhotoOptionsOf(line.options);
    for (const std::string& file : line.operands) {
        try {
            LoadedPicture p = ReadPicture(file, budget, photo);
            std::printf("file: %s\n", file.c_str());
            std::printf("decoder: %s\n", p.decoder.c_str());
            std::printf("width: %d\nheight: %d\n", p.bitmap.Width(), p.bitmap.Height());
            std::printf("bits: %d\n", p.bitmap.BitsPerPixel());
            std::printf("format: %s\n",
                p.dib ? DibFormatWord(p.dib->PixelFormat())
                      : PixelFormatWord(p.bitmap.PixelFormat()));
            std::printf("palette: %zu\n", p.bitmap.PaletteEntries().size());
            // The tags as stored; width and height above are the picture as it was read.
            const codecs::PhotoTags tags = codecs::ReadPhotoTags(file);
            std::printf("orientation: %d\n", tags.orientation);
            std::printf("colour-profile: %s\n", tags.iccProfile.empty() ? "none" : "embedded");
        } catch (const std::exception& e) {
            std::fprintf(stderr, "%s\n", e.what());
            status = 1;
        }
        if (line.operands.size() > 1)
            std::printf("\n");
    }
    return status;
}

namespace {
    // One convert: read IN, set the pixel format asked for, write OUT.
    void ConvertFile(const std::string& in, const std::filesystem::path& out,
        document::SaveKind kind, const Options& o, const document::SaveOptions& options,
        const platform::MemoryBudget& budget, Notes& notes)
    {
        LoadedPicture p = ReadPicture(in, budget, PhotoOptionsOf(o));
        if (o.format) {
            if (!p.dib) {
                p.dib.emplace();
                p.dib->Assign(p.bitmap);
            }
            p.dib->QuantiseMode = o.quantise == std::optional<std::string>("high") ? 1 : 0;
            if (o.oneBitColour) {
                unsigned rgb = *o.oneBitColour;
                p.dib->OneBitColour
                    = platform::Rgb(uint8_t(rgb >> 16), uint8_t(rgb >> 8), uint8_t(rgb));
            }
            const DibPixelFormat target = FormatFromWord(*o.format);
            try {
                p.dib->SetPixelFormat(target);
            } catch (const document::EDIBCompressionFailed&) {
                // As the program saves: a picture that RLE would make larger is written
                // uncompressed.
                notes.push_back(UncompressedNote(out));
                p.dib->SetPixelFormat(target == DibPixelFormat::Dib8BitRle
                        ? DibPixelFormat::Dib8Bit
                        : DibPixelFormat::Dib4Bit);
            }
            // A BMP written in the buffer's own form keeps RLE compression as it was asked for.
            if (kind == document::SaveKind::Bmp) {
                p.dib->SaveToFile(out);
                return;
            }
            p.dib->AssignTo(p.bitmap);
        }
        WritePicture(p.bitmap, out, kind, options, notes);
    }
}

int ConvertCommand(const CommandLine& line)
{
    const document::SaveOptions options = SaveOptionsOf(line.options);
    const platform::MemoryBudget budget = BudgetOf(line.options);
    return RunFileCommand(line,
        [&](const std::string& in, const std::filesystem::path& out, document::SaveKind kind,
            Notes& notes) { ConvertFile(in, out, kind, line.options, options, budget, notes); });
}

} // namespace vtl::tools
