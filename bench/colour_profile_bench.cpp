// A 6000 x 4000 24-bit photo from an Adobe RGB (1998) profile to sRGB, as a camera's picture is
// converted when it is read; beside it the same picture with an sRGB profile (found to be sRGB
// and left alone: the cost of the check on most phone photos), and ImageMagick's
// `convert in.ppm -profile adobe.icc -profile srgb.icc out.ppm` as the peer.
//
// The conversion runs on one thread. The last two rows time Little CMS's own row transform on
// one thread and split over two bands, the measurement behind that choice: pictures are already
// read in parallel (thumbnails, vtlc's jobs, the neighbours decoded ahead), so bands pay only
// where a single picture is read on an otherwise idle machine. Compare the two rows on yours.

#include "codecs/colour_profile.h"
#include "imagemagick_peer.h"

#include <lcms2.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

namespace {

using vtl::platform::TBitmap;
using Bytes = std::vector<uint8_t>;

constexpr int kWidth = 6000;
constexpr int kHeight = 4000;
constexpr double kMegapixels = kWidth * double(kHeight) / 1e6;

Bytes Save(cmsHPROFILE profile)
{
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    Bytes bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

Bytes AdobeRgb()
{
    const cmsCIExyY d65 { 0.3127, 0.3290, 1.0 };
    const cmsCIExyYTRIPLE primaries { { 0.64, 0.33, 1.0 }, { 0.21, 0.71, 1.0 },
        { 0.15, 0.06, 1.0 } };
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 563.0 / 256.0);
    cmsToneCurve* curves[3] = { gamma, gamma, gamma };
    cmsHPROFILE profile = cmsCreateRGBProfile(&d65, &primaries, curves);
    cmsFreeToneCurve(gamma);
    return Save(profile);
}

const Bytes& AdobeProfile()
{
    static const Bytes bytes = AdobeRgb();
    return bytes;
}
const Bytes& SrgbProfile()
{
    static const Bytes bytes = Save(cmsCreate_sRGBProfile());
    return bytes;
}

void Write(const std::filesystem::path& path, const Bytes& bytes)
{
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
}

// Little CMS's transform over the picture's rows, split into `threads` bands.
bool LibraryRows(TBitmap& picture, unsigned threads)
{
    cmsHPROFILE adobe
        = cmsOpenProfileFromMem(AdobeProfile().data(), cmsUInt32Number(AdobeProfile().size()));
    cmsHPROFILE srgb = cmsCreate_sRGBProfile();
    cmsHTRANSFORM transform
        = cmsCreateTransform(adobe, TYPE_BGR_8, srgb, TYPE_BGR_8, INTENT_PERCEPTUAL, 0);
    cmsCloseProfile(adobe);
    cmsCloseProfile(srgb);
    if (!transform)
        return false;
    const auto stride = cmsUInt32Number(picture.RowBytes());
    auto band = [&](unsigned i) {
        const int32_t first = int32_t(int64_t(picture.Height()) * i / threads);
        const int32_t last = int32_t(int64_t(picture.Height()) * (i + 1) / threads);
        uint8_t* rows = picture.Bits().data() + size_t(first) * stride;
        cmsDoTransformLineStride(transform, rows, rows, cmsUInt32Number(picture.Width()),
            cmsUInt32Number(last - first), stride, stride, 0, 0);
    };
    std::vector<std::thread> others;
    for (unsigned i = 1; i < threads; ++i)
        others.emplace_back(band, i);
    band(0);
    for (std::thread& t : others)
        t.join();
    cmsDeleteTransform(transform);
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    namespace fs = std::filesystem;
    const fs::path profiles = fs::temp_directory_path() / "vtl-colour-profile-bench";
    fs::create_directories(profiles);
    Write(profiles / "adobe.icc", AdobeProfile());
    Write(profiles / "srgb.icc", SrgbProfile());

    using vtl::bench::PeerEntry;
    const std::vector<PeerEntry> entries {
        { "adobe-rgb to srgb",
            [](TBitmap& p, TBitmap*) { return vtl::codecs::ConvertToSrgb(p, AdobeProfile()); },
            { "-profile", (profiles / "adobe.icc").string(), "-profile",
                (profiles / "srgb.icc").string() },
            "perceptual in both; convert reads and writes the files" },
        { "srgb profile (left alone)",
            [](TBitmap& p, TBitmap*) { return !vtl::codecs::ConvertToSrgb(p, SrgbProfile()); }, {},
            "" },
        { "lcms2 rows, 1 thread", [](TBitmap& p, TBitmap*) { return LibraryRows(p, 1); }, {}, "" },
        { "lcms2 rows, 2 threads", [](TBitmap& p, TBitmap*) { return LibraryRows(p, 2); }, {}, "" },
    };
    const TBitmap picture = vtl::bench::MakeTestPicture(kWidth, kHeight);
    const int status = vtl::bench::RunAgainstImageMagick(
        argc, argv, entries, picture, kMegapixels, "/tmp/vtl-colour-bench-XXXXXX", 28);
    std::error_code ec;
    fs::remove_all(profiles, ec);
    return status;
}
