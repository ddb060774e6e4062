#include "codecs/colour_profile.h"

#include "platform/byte_reader.h"

#include <lcms2.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <memory>
#include <type_traits>
#include <utility>
#include <vector>

namespace vtl::codecs {

using platform::PaletteEntry;
using platform::TBitmap;
using platform::TPixelFormat;

namespace {

    constexpr size_t kHeaderBytes = 128;
    // The header and the tag count: the least a profile can be.
    constexpr size_t kMinProfileBytes = kHeaderBytes + 4;
    // The largest profiles cameras and editors embed are a few hundred KB (a 16-bit CLUT of
    // 33 points is about 430 KB); anything beyond this is not a profile we want to parse.
    constexpr size_t kMaxProfileBytes = size_t(16) << 20;
    constexpr cmsUInt32Number kIntent = INTENT_PERCEPTUAL;

    struct ContextDeleter {
        void operator()(cmsContext context) const { cmsDeleteContext(context); }
    };
    struct ProfileDeleter {
        void operator()(void* profile) const { cmsCloseProfile(profile); }
    };
    struct TransformDeleter {
        void operator()(void* transform) const { cmsDeleteTransform(transform); }
    };
    using Context = std::unique_ptr<std::remove_pointer_t<cmsContext>, ContextDeleter>;
    using Profile = std::unique_ptr<void, ProfileDeleter>;
    using Transform = std::unique_ptr<void, TransformDeleter>;

    // Little CMS reports damaged tags and failed transforms through the context's handler. The
    // count lives in the context's user data, so that pictures read on other threads keep their
    // own; nothing is printed.
    void RecordError(cmsContext context, cmsUInt32Number, const char*)
    {
        if (auto* errors = static_cast<int*>(cmsGetContextUserData(context)))
            ++*errors;
    }

    // The profile's own structure, checked before Little CMS sees it: the size the header
    // declares must be there, and every tag must lie inside it. Little CMS quietly drops a tag
    // that points past the end and clamps a header that claims more than there is; either way
    // the profile is not the one its writer meant, so it is refused as damaged. Bytes after the
    // declared size are ignored (some writers pad the last APP2 piece). Returns the profile's
    // bytes, or an empty span.
    std::span<const uint8_t> CheckedProfile(std::span<const uint8_t> data)
    {
        if (data.size() < kMinProfileBytes || data.size() > kMaxProfileBytes)
            return {};
        try {
            platform::ByteReader header(data);
            const uint32_t declared = header.u32be();
            if (declared < kMinProfileBytes || declared > data.size())
                return {};
            const auto profile = data.first(declared);
            platform::ByteReader reader(profile);
            reader.Seek(36);
            if (reader.u32be() != 0x61637370) // 'acsp'
                return {};
            reader.Seek(kHeaderBytes);
            const uint32_t tagCount = reader.u32be();
            if (tagCount > reader.Remaining() / 12)
                return {};
            for (uint32_t i = 0; i < tagCount; ++i) {
                reader.Skip(4);
                const uint64_t offset = reader.u32be();
                const uint64_t size = reader.u32be();
                if (offset < kMinProfileBytes || offset + size > declared)
                    return {};
            }
            return profile;
        } catch (const platform::EReadError&) {
            return {};
        }
    }

    bool SameXyz(const cmsCIEXYZ* a, const cmsCIEXYZ* b)
    {
        // About a tenth of a step of 8-bit output on the brightest primary.
        constexpr double kTolerance = 0.002;
        return a && b && std::abs(a->X - b->X) < kTolerance && std::abs(a->Y - b->Y) < kTolerance
            && std::abs(a->Z - b->Z) < kTolerance;
    }

    bool SameCurve(const cmsToneCurve* a, const cmsToneCurve* b)
    {
        if (!a || !b)
            return false;
        for (int i = 0; i < 256; ++i) {
            const float v = float(i) / 255.0f;
            if (std::abs(cmsEvalToneCurveFloat(a, v) - cmsEvalToneCurveFloat(b, v)) > 0.4f / 255.0f)
                return false;
        }
        return true;
    }

    // An RGB profile that is sRGB under another name: a matrix and curves equal to sRGB's, and no
    // tables that would take their place. Most phone photos and many camera ones carry such a
    // profile (each vendor writes its own copy, with its own description and ID), and
    // converting them would cost a pass over the picture to change nothing.
    bool IsSrgb(cmsHPROFILE profile, cmsHPROFILE srgb)
    {
        if (!cmsIsMatrixShaper(profile))
            return false;
        for (cmsTagSignature table : { cmsSigAToB0Tag, cmsSigAToB1Tag, cmsSigAToB2Tag,
                 cmsSigDToB0Tag, cmsSigDToB1Tag, cmsSigDToB2Tag })
            if (cmsIsTag(profile, table))
                return false;
        for (cmsTagSignature colorant :
            { cmsSigRedColorantTag, cmsSigGreenColorantTag, cmsSigBlueColorantTag })
            if (!SameXyz(static_cast<const cmsCIEXYZ*>(cmsReadTag(profile, colorant)),
                    static_cast<const cmsCIEXYZ*>(cmsReadTag(srgb, colorant))))
                return false;
        for (cmsTagSignature curve : { cmsSigRedTRCTag, cmsSigGreenTRCTag, cmsSigBlueTRCTag })
            if (!SameCurve(static_cast<const cmsToneCurve*>(cmsReadTag(profile, curve)),
                    static_cast<const cmsToneCurve*>(cmsReadTag(srgb, curve))))
                return false;
        return true;
    }

    bool IsGrey(const PaletteEntry& e) { return e.peRed == e.peGreen && e.peGreen == e.peBlue; }

    // True when every pixel of a 24- or 32-bit picture is grey.
    bool AllPixelsGrey(const TBitmap& bitmap)
    {
        const size_t step = size_t(bitmap.BitsPerPixel() / 8);
        const size_t width = size_t(bitmap.Width());
        for (int32_t y = 0; y < bitmap.Height(); ++y) {
            const uint8_t* p = bitmap.ScanLine(y);
            for (size_t x = 0; x < width; ++x, p += step)
                if (p[0] != p[1] || p[1] != p[2])
                    return false;
        }
        return true;
    }

    // The colours a picture of a grey profile may have: all of them grey. Palette pictures are
    // judged by their table (a greyscale JPEG is read as 8 bits with a grey ramp).
    bool AllColoursGrey(const TBitmap& bitmap)
    {
        if (bitmap.BitsPerPixel() <= 8) {
            const auto palette = bitmap.EffectivePalette();
            return std::all_of(palette.begin(), palette.end(), IsGrey);
        }
        return AllPixelsGrey(bitmap);
    }

    // The rows of a 24- or 32-bit picture through the transform, in place: each pixel is read
    // before it is written and keeps its size, which Little CMS allows.
    void TransformRows(cmsHTRANSFORM transform, TBitmap& bitmap)
    {
        const auto stride = static_cast<cmsUInt32Number>(bitmap.RowBytes());
        uint8_t* bits = bitmap.Bits().data();
        cmsDoTransformLineStride(transform, bits, bits, cmsUInt32Number(bitmap.Width()),
            cmsUInt32Number(bitmap.Height()), stride, stride, 0, 0);
    }

    bool ConvertRgb(TBitmap& bitmap, cmsHPROFILE profile, cmsHPROFILE srgb, const int& errors)
    {
        const int bits = bitmap.BitsPerPixel();
        // The colour table of a palette picture is converted as RGBA entries, the flags kept.
        const cmsUInt32Number format = bits <= 8 ? TYPE_RGBA_8
            : bits == 32                         ? TYPE_BGRA_8
                                                 : TYPE_BGR_8;
        Transform transform(cmsCreateTransformTHR(cmsGetProfileContextID(profile), profile, format,
            srgb, format, kIntent, cmsFLAGS_COPY_ALPHA));
        if (!transform || errors != 0)
            return false;

        if (bits <= 8) {
            const auto own = bitmap.EffectivePalette();
            std::vector<PaletteEntry> palette(own.begin(), own.end());
            cmsDoTransform(
                transform.get(), palette.data(), palette.data(), cmsUInt32Number(palette.size()));
            bitmap.SetPalette(palette);
        } else if (bits == 16) {
            // 15- and 16-bit pixels have no Little CMS layout; they are widened first, as the
            // display bitmap widens them, and the picture stays 24-bit.
            TBitmap wide(bitmap);
            wide.SetPixelFormat(TPixelFormat::pf24bit);
            TransformRows(transform.get(), wide);
            bitmap = std::move(wide);
        } else {
            TransformRows(transform.get(), bitmap);
        }
        return true;
    }

    // A grey profile maps each grey level to one sRGB colour, so the 256 levels are converted
    // once and looked up.
    bool ConvertGrey(TBitmap& bitmap, cmsHPROFILE profile, cmsHPROFILE srgb, const int& errors)
    {
        TBitmap wide;
        TBitmap* target = &bitmap;
        if (bitmap.BitsPerPixel() == 16) {
            wide = bitmap;
            wide.SetPixelFormat(TPixelFormat::pf24bit);
            target = &wide;
        }
        if (!AllColoursGrey(*target))
            return false;
        Transform transform(cmsCreateTransformTHR(
            cmsGetProfileContextID(profile), profile, TYPE_GRAY_8, srgb, TYPE_RGB_8, kIntent, 0));
        if (!transform || errors != 0)
            return false;
        std::array<uint8_t, 256> levels {};
        for (size_t i = 0; i < levels.size(); ++i)
            levels[i] = uint8_t(i);
        std::array<uint8_t, 3 * 256> rgb {};
        cmsDoTransform(transform.get(), levels.data(), rgb.data(), 256);

        if (target->BitsPerPixel() <= 8) {
            const auto own = target->EffectivePalette();
            std::vector<PaletteEntry> palette(own.begin(), own.end());
            for (PaletteEntry& e : palette) {
                const uint8_t* c = &rgb[3 * size_t(e.peRed)];
                e.peRed = c[0];
                e.peGreen = c[1];
                e.peBlue = c[2];
            }
            target->SetPalette(palette);
        } else {
            const size_t step = size_t(target->BitsPerPixel() / 8);
            const size_t width = size_t(target->Width());
            for (int32_t y = 0; y < target->Height(); ++y) {
                uint8_t* p = target->ScanLine(y);
                for (size_t x = 0; x < width; ++x, p += step) {
                    const uint8_t* c = &rgb[3 * size_t(p[0])];
                    p[0] = c[2];
                    p[1] = c[1];
                    p[2] = c[0];
                }
            }
        }
        if (target != &bitmap)
            bitmap = std::move(wide);
        return true;
    }

} // namespace

bool ConvertToSrgb(TBitmap& bitmap, std::span<const uint8_t> profileBytes)
{
    if (bitmap.Empty())
        return false;
    const auto checked = CheckedProfile(profileBytes);
    if (checked.empty())
        return false;

    int errors = 0;
    Context context(cmsCreateContext(nullptr, &errors));
    if (!context)
        return false;
    cmsSetLogErrorHandlerTHR(context.get(), RecordError);
    Profile profile(cmsOpenProfileFromMemTHR(
        context.get(), checked.data(), static_cast<cmsUInt32Number>(checked.size())));
    Profile srgb(cmsCreate_sRGBProfileTHR(context.get()));
    if (!profile || !srgb || errors != 0)
        return false;

    switch (cmsGetDeviceClass(profile.get())) {
    case cmsSigInputClass:
    case cmsSigDisplayClass:
    case cmsSigColorSpaceClass:
        break;
    default:
        return false;
    }
    switch (cmsGetColorSpace(profile.get())) {
    case cmsSigRgbData:
        if (IsSrgb(profile.get(), srgb.get()) || errors != 0)
            return false;
        return ConvertRgb(bitmap, profile.get(), srgb.get(), errors);
    case cmsSigGrayData:
        return ConvertGrey(bitmap, profile.get(), srgb.get(), errors);
    default:
        return false;
    }
}

} // namespace vtl::codecs
