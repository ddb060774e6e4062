#include "tools/vtlc/apply_command.h"

#include "tools/vtlc/file_commands.h"
#include "tools/vtlc/picture_reading.h"

#include "app/settings.h"
#include "document/picture_saving.h"
#include "input/picture_loader.h"
#include "input/plugin_registry.h"
#include "processing/block_filters.h"
#include "processing/colour_adjustment.h"
#include "processing/geometry.h"
#include "processing/neighbourhood_filters.h"
#include "processing/palette_file.h"
#include "processing/point_operations.h"
#include "processing/reduce16.h"
#include "processing/reduce256.h"
#include "processing/rotate.h"
#include "processing/user_filters.h"
#include "processing/value_input.h"
#include "tools/vtlc/settings_access.h"

#include <algorithm>
#include <cstdlib>
#include <memory>
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

    // The memory budget of the file this thread works on, for operations that read another
    // picture (join); set for each file before its operations run.
    thread_local platform::MemoryBudget t_readBudget = platform::MemoryBudget::Automatic();
    thread_local codecs::PhotoOptions t_readPhoto;

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


    constexpr std::pair<const char*, processing::JoinDirection> kJoinDirections[]
        = { { "side", processing::JoinDirection::Side }, { "below", processing::JoinDirection::Below } };
    constexpr std::pair<const char*, processing::MarginColour> kMarginColours[]
        = { { "white", processing::MarginColour::White }, { "black", processing::MarginColour::Black } };

    bool Dithered(const Args& a) { return !a.empty() && a.back() == "dither"; }

    // The palette method words; "palette" takes a FILE after it.
    constexpr std::pair<const char*, processing::D256Palette> k256Methods[]
        = { { "dynamic", processing::D256Palette::Dynamic }, { "halftone", processing::D256Palette::Halftone },
              { "palette", processing::D256Palette::Specified } };
    constexpr std::pair<const char*, processing::D16Method> k16Methods[]
        = { { "dynamic1", processing::D16Method::Dynamic1 }, { "dynamic2", processing::D16Method::Dynamic2 },
              { "dynamic3", processing::D16Method::Dynamic3 }, { "system", processing::D16Method::System },
              { "grey", processing::D16Method::Grey }, { "palette", processing::D16Method::Specified } };

    // The entries of the palette file after "palette", or none for the other methods. A refused
    // file is an error, as the program shows it.
    std::unique_ptr<std::vector<platform::PaletteEntry>> Palette(const std::string& operation, const Args& a, size_t count)
    {
        if (a[0] != "palette")
            return nullptr;
        if (a.size() < 2 || a[1] == "dither")
            throw UsageError { operation + ": palette needs a FILE" };
        auto entries = std::make_unique<std::vector<platform::PaletteEntry>>();
        std::string refusal;
        if (!processing::ReadPaletteFile(a[1], count, *entries, refusal))
            throw std::runtime_error(refusal);
        return entries;
    }

    bool Rotate(TBitmap& p, const Args& a)
    {
        using namespace processing;
        if (a[0] == "left")
            return RotateLeft(p, nullptr, kContext);
        if (a[0] == "right")
            return RotateRight(p, nullptr, kContext);
        if (a[0] == "180")
            return Rotate180(p, nullptr, kContext);
        if (a[0] == "flip") {
            std::string refusal;
            const bool done = FlipVertical(p, nullptr, kContext, &refusal);
            if (!refusal.empty())
                throw std::runtime_error(refusal);
            return done;
        }
        char* end = nullptr;
        const double angle = std::strtod(a[0].c_str(), &end);
        if (a[0].empty() || *end != '\0' || !(angle >= -180 && angle <= 180))
            throw UsageError { "rotate: " + a[0] + " is not left, right, 180, flip or an angle from -180 to 180" };
        return RotateByAngle(p, nullptr, angle, kContext);
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
            { "reduce256", "dynamic|halftone|palette FILE [dither]", 1, 3,
                [](TBitmap& p, const Args& a) {
                    return Reduce256(p, nullptr, Choice("reduce256", a[0], k256Methods),
                        Dithered(a), Palette("reduce256", a, 256).get(), kContext);
                } },
            { "sys240", "", 0, 0, [](TBitmap& p, const Args&) { return ReduceSys240(p, nullptr, kContext); } },
            { "mono", "", 0, 0, [](TBitmap& p, const Args&) { return ReduceMonochrome(p, nullptr, kContext); } },
            { "reduce16", "dynamic1|dynamic2|dynamic3|system|grey|palette FILE [dither]", 1, 3,
                [](TBitmap& p, const Args& a) {
                    return Reduce16(p, nullptr, Choice("reduce16", a[0], k16Methods),
                        Dithered(a), Palette("reduce16", a, 16).get(), kContext);
                } },
            { "rotate", "left|right|180|flip|ANGLE", 1, 1, Rotate },
            { "resize", "WIDTH HEIGHT", 2, 2,
                [](TBitmap& p, const Args& a) {
                    return Resize(p, nullptr, Number("resize", a[0], 1, 65535), Number("resize", a[1], 1, 65535),
                        kContext);
                } },
            { "clip", "LEFT TOP WIDTH HEIGHT", 4, 4,
                [](TBitmap& p, const Args& a) {
                    ClipArea area { Number("clip", a[0], 0, 65535), Number("clip", a[1], 0, 65535),
                        Number("clip", a[2], 1, 65535), Number("clip", a[3], 1, 65535) };
                    return Clip(p, nullptr, area, kContext);
                } },
            { "join", "OTHERFILE side|below MARGIN white|black", 4, 4,
                [](TBitmap& p, const Args& a) {
                    JoinSettings settings;
                    settings.direction = Choice("join", a[1], kJoinDirections);
                    settings.margin = Number("join", a[2], 0, 512);
                    settings.colour = Choice("join", a[3], kMarginColours);
                    const TBitmap other = ReadPicture(a[0], t_readBudget, t_readPhoto).bitmap;
                    p = JoinPictures(p, other, settings, kContext);
                    return true;
                } },
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
    CheckOperations(line.operations);
    const document::SaveOptions options = SaveOptionsOf(line.options);
    const platform::MemoryBudget budget = BudgetOf(line.options);
    const codecs::PhotoOptions photo = PhotoOptionsOf(line.options);
    return RunFileCommand(line,
        [&](const std::string& in, const std::filesystem::path& out, document::SaveKind kind,
            Notes& notes) {
            t_readBudget = budget;
            t_readPhoto = photo;
            TBitmap picture = ReadPicture(in, budget, photo).bitmap;
            for (const Operation& operation : line.operations) {
                // The program's commands do nothing when an operation declines; so does the
                // tool, and says so, so that a batch never mistakes an unchanged picture for a
                // processed one.
                if (!Find(operation).run(picture, operation.arguments))
                    notes.push_back("vtlc: " + operation.name + " left the picture unchanged");
            }
            WritePicture(picture, out, kind, options, notes);
        });
}

} // namespace vtl::tools
