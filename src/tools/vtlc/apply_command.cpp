#include "tools/vtlc/apply_command.h"

#include "app/settings.h"
#include "document/picture_saving.h"
#include "input/picture_loader.h"
#include "input/plugin_registry.h"
#include "platform/registry.h"
#include "processing/block_filters.h"
#include "processing/colour_adjustment.h"
#include "processing/neighbourhood_filters.h"
#include "processing/point_operations.h"
#include "processing/user_filters.h"
#include "processing/value_input.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace vtl::tools {

namespace {
    using platform::TBitmap;
    using processing::ProcessContext;
    using Args = std::vector<std::string>;

    // The tool keeps full colour: no screen palette to reduce for, and nobody to show status to.
    const ProcessContext kContext {};

    int Number(const std::string& operation, const std::string& text, int low, int high)
    {
        auto n = app::StrToInt(text);
        if (!n || *n < low || *n > high)
            throw UsageError { operation + ": " + text + " is not a number from "
                + std::to_string(low) + " to " + std::to_string(high) };
        return *n;
    }

    template <typename T, size_t N>
    T Choice(const std::string& operation, const std::string& word,
        const std::pair<const char*, T> (&choices)[N])
    {
        for (const auto& [w, value] : choices)
            if (word == w)
                return value;
        throw UsageError { operation + ": unknown choice " + word };
    }

    // The nine track-bar positions of the adjustment dialog, channel by channel: offset,
    // gain x 100, gamma position.
    processing::AdjustParams TrackBarArguments(const std::string& operation, const Args& a)
    {
        processing::TrackBarPositions p;
        for (size_t k = 0; k < 3; ++k) {
            p.offset[k]
                = Number(operation, a[3 * k], processing::kOffsetMin, processing::kOffsetMax);
            p.gain[k] = Number(operation, a[3 * k + 1], processing::kGainMin, processing::kGainMax);
            p.gamma[k]
                = Number(operation, a[3 * k + 2], processing::kGammaMin, processing::kGammaMax);
        }
        return processing::ParamsFromTrackBars(p);
    }

    bool UserFilter(TBitmap& picture, const Args& a)
    {
        processing::TFilter filters;
        if (!filters.Load(a[0]))
            throw std::runtime_error(a[0] + " が見つかりません。");
        const auto& names = filters.Names();
        const auto it = std::find(names.begin(), names.end(), a[1]);
        if (it == names.end())
            throw std::runtime_error(a[0] + ": no filter named " + a[1]);
        return filters.Apply(picture, nullptr, size_t(it - names.begin()), kContext);
    }

    std::vector<ApplyOperation> MakeOperations()
    {
        using namespace processing;
        return {
            { "gray", "", 0, 0,
                [](TBitmap& p, const Args&) { return GrayScale(p, nullptr, kContext); } },
            { "sepia", "100|75|50", 1, 1,
                [](TBitmap& p, const Args& a) {
                    static const std::pair<const char*, SepiaStrength> kChoices[]
                        = { { "100", SepiaStrength::Full }, { "75", SepiaStrength::ThreeQuarters },
                              { "50", SepiaStrength::Half } };
                    return Sepia(p, nullptr, Choice("sepia", a[0], kChoices), kContext);
                } },
            { "invert", "", 0, 0,
                [](TBitmap& p, const Args&) { return InvertColours(p, nullptr, kContext); } },
            { "binarise", "LEVEL", 1, 1,
                [](TBitmap& p, const Args& a) {
                    return Binarise(p, nullptr,
                        Number("binarise", a[0], kThresholdMin, kThresholdMax), kContext);
                } },
            { "blur", "small|large", 1, 1,
                [](TBitmap& p, const Args& a) {
                    static const std::pair<const char*, BlurSize> kChoices[]
                        = { { "small", BlurSize::Small }, { "large", BlurSize::Large } };
                    return Blur(p, nullptr, Choice("blur", a[0], kChoices), kContext);
                } },
            { "sharpen", "", 0, 0,
                [](TBitmap& p, const Args&) { return Sharpen(p, nullptr, kContext); } },
            { "emboss", "tl|bl|tr|br [strong]", 1, 2,
                [](TBitmap& p, const Args& a) {
                    static const std::pair<const char*, int> kChoices[]
                        = { { "tl", 0 }, { "bl", 1 }, { "tr", 2 }, { "br", 3 } };
                    EmbossSettings settings;
                    settings.lightPosition = Choice("emboss", a[0], kChoices);
                    if (a.size() == 2) {
                        if (a[1] != "strong")
                            throw UsageError { "emboss: unknown choice " + a[1] };
                        settings.strong = true;
                    }
                    return Emboss(p, nullptr, settings, kContext);
                } },
            { "edge", "", 0, 0,
                [](TBitmap& p, const Args&) { return Edge(p, nullptr, kContext); } },
            { "contour", "", 0, 0,
                [](TBitmap& p, const Args&) { return ContourLines(p, nullptr, kContext); } },
            { "median", "", 0, 0,
                [](TBitmap& p, const Args&) { return Median(p, nullptr, kContext); } },
            { "oil", "small|large", 1, 1,
                [](TBitmap& p, const Args& a) {
                    static const std::pair<const char*, OilSize> kChoices[]
                        = { { "small", OilSize::Small }, { "large", OilSize::Large } };
                    return OilPaint(p, nullptr, Choice("oil", a[0], kChoices), kContext);
                } },
            { "mosaic", "SIZE [LEFT TOP RIGHT BOTTOM]", 1, 5,
                [](TBitmap& p, const Args& a) {
                    if (a.size() != 1 && a.size() != 5)
                        throw UsageError { "mosaic: give SIZE, or SIZE LEFT TOP RIGHT BOTTOM" };
                    const int size = Number("mosaic", a[0], 1, 256);
                    std::optional<TRect> area;
                    if (a.size() == 5) {
                        int edges[4];
                        for (size_t i = 0; i < 4; ++i)
                            edges[i] = Number("mosaic", a[i + 1], -(1 << 30), 1 << 30);
                        // The area is given in picture pixels, both ends included.
                        area = ClipMosaicArea(
                            edges[0], edges[1], edges[2], edges[3], p.Width(), p.Height());
                        if (!area)
                            throw std::runtime_error("mosaic: the area lies outside the picture");
                    }
                    return Mosaic(p, nullptr, size, area, kContext);
                } },
            { "rgb", "O1 G1 M1 O2 G2 M2 O3 G3 M3", 9, 9,
                [](TBitmap& p, const Args& a) {
                    return AdjustRgb(p, nullptr, TrackBarArguments("rgb", a), kContext);
                } },
            { "hsi", "O1 G1 M1 O2 G2 M2 O3 G3 M3", 9, 9,
                [](TBitmap& p, const Args& a) {
                    return AdjustHsi(p, nullptr, TrackBarArguments("hsi", a), kContext);
                } },
            { "userfilter", "FILE NAME", 2, 2, UserFilter },
        };
    }

    const ApplyOperation& Find(const Operation& operation)
    {
        const auto& all = ApplyOperations();
        auto it = std::find_if(all.begin(), all.end(),
            [&](const ApplyOperation& o) { return operation.name == o.name; });
        if (it == all.end())
            throw UsageError { "apply: unknown operation " + operation.name };
        const size_t count = operation.arguments.size();
        if (count < it->minArguments || count > it->maxArguments)
            throw UsageError { "apply: " + operation.name
                + (*it->arguments ? std::string(" takes ") + it->arguments
                                  : std::string(" takes no arguments")) };
        return *it;
    }

    TBitmap Read(const std::string& file)
    {
        if (!std::filesystem::is_regular_file(file))
            throw std::runtime_error(file + " が見つかりません。");
        input::PluginRegistry registry;
        registry.LoadPluginList();
        auto context = input::DecodeContext::FromEnvironment();
        context.paletteDisplay = false;
        TBitmap picture;
        auto result = input::OpenPictureFile(registry, file, picture, context);
        switch (result.outcome) {
        case input::FileOpenOutcome::Picture:
            return picture;
        case input::FileOpenOutcome::Failed:
            throw std::runtime_error(result.message);
        default:
            throw std::runtime_error(file + ": no decoder reads this file");
        }
    }
}

const std::vector<ApplyOperation>& ApplyOperations()
{
    static const std::vector<ApplyOperation> operations = MakeOperations();
    return operations;
}

void CheckOperations(const std::vector<Operation>& operations)
{
    for (const Operation& operation : operations)
        Find(operation);
}

int ApplyCommand(const CommandLine& line)
{
    if (line.options.format || line.options.quantise || line.options.oneBitColour)
        throw UsageError { "apply: --format, --quantise and --one-bit-colour belong to convert" };
    const std::string& in = line.operands.at(0);
    const std::filesystem::path out = line.operands.at(1);
    CheckOperations(line.operations);
    const std::optional<document::SaveKind> kind = line.options.as
        ? document::SaveKindFromName(*line.options.as)
        : document::SaveKindFromExtension(out);
    if (!kind)
        throw UsageError { "the kind of " + out.string()
            + " is not known: name it .bmp, .jpg, .png or use --as" };

    TBitmap picture = Read(in);
    for (const Operation& operation : line.operations) {
        // The program's commands do nothing when an operation declines; so does the tool, and
        // says so, so that a batch never mistakes an unchanged picture for a processed one.
        if (!Find(operation).run(picture, operation.arguments))
            std::fprintf(stderr, "vtlc: %s left the picture unchanged\n", operation.name.c_str());
    }

    platform::Registry registry(platform::Registry::DefaultFolder());
    const app::Settings settings = app::ReadSettings(registry, { 0, 0, 1 << 20, 1 << 20 }, {});
    document::SaveOptions options;
    options.jpegQuality = line.options.quality.value_or(settings.jpg);
    options.pngBest = line.options.pngBest || settings.png;
    switch (document::SavePicture(picture, out, *kind, options)) {
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
