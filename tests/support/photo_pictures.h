#pragma once
// Photos with orientation tags and colour profiles, made by the tests with exiftool, ImageMagick
// and Little CMS; and what a viewer must show for them, worked out apart from the code under test.

#include "platform/bitmap.h"
#include "support/temp_dir.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <lcms2.h>
#include <string>
#include <unistd.h>
#include <utility>
#include <vector>

namespace vtl::testing {

// ImageMagick is /usr/bin/convert: another convert may stand first on PATH.
inline constexpr const char* kMagick = "/usr/bin/convert";

inline bool HavePhotoTools()
{
    return ::access(kMagick, X_OK) == 0 && std::system("command -v exiftool >/dev/null 2>&1") == 0;
}

// Runs a shell command quietly; true when it succeeded.
inline bool Shell(const std::string& command)
{
    return std::system((command + " >/dev/null 2>&1").c_str()) == 0;
}

inline std::string Quoted(const std::filesystem::path& path) { return "'" + path.string() + "'"; }

// Flat 8x8 blocks, every block its own colour and no symmetry, so that each orientation moves
// every block somewhere else, and JPEG at quality 100 without subsampling keeps each colour
// within a step or two.
inline platform::TBitmap BlockPicture(int across = 4, int down = 3)
{
    platform::TBitmap b(across * 8, down * 8, platform::TPixelFormat::pf24bit);
    for (int y = 0; y < b.Height(); ++y)
        for (int x = 0; x < b.Width(); ++x) {
            const int block = (y / 8) * across + x / 8;
            b.SetPixel(x, y,
                platform::Rgb(uint8_t(20 + block * 19 % 220), uint8_t(240 - block * 37 % 200),
                    uint8_t(block % 2 ? 200 : 40 + block * 11 % 100)));
        }
    return b;
}

// The stored pixel that a viewer shows at (x, y) for a stored picture of w x h, from the Exif
// definition of the eight values (where the stored first row and first column belong).
inline std::pair<int, int> StoredPixel(int orientation, int x, int y, int w, int h)
{
    switch (orientation) {
    case 2: // first row on top, first column on the right
        return { w - 1 - x, y };
    case 3: // first row at the bottom, first column on the right
        return { w - 1 - x, h - 1 - y };
    case 4: // first row at the bottom, first column on the left
        return { x, h - 1 - y };
    case 5: // first row on the left, first column on top
        return { y, x };
    case 6: // first row on the right, first column on top
        return { y, h - 1 - x };
    case 7: // first row on the right, first column at the bottom
        return { w - 1 - y, h - 1 - x };
    case 8: // first row on the left, first column at the bottom
        return { w - 1 - y, x };
    default:
        return { x, y };
    }
}

// `stored` as a viewer must show it under `orientation`, in 24 bits.
inline platform::TBitmap Oriented(const platform::TBitmap& stored, int orientation)
{
    const int w = stored.Width(), h = stored.Height();
    const bool swapped = orientation >= 5 && orientation <= 8;
    platform::TBitmap shown(swapped ? h : w, swapped ? w : h, platform::TPixelFormat::pf24bit);
    for (int y = 0; y < shown.Height(); ++y)
        for (int x = 0; x < shown.Width(); ++x) {
            const auto [sx, sy] = StoredPixel(orientation, x, y, w, h);
            shown.SetPixel(x, y, stored.Pixel(sx, sy));
        }
    return shown;
}

// The largest difference of one channel between two colours.
inline int ColourDifference(platform::TColor p, platform::TColor q)
{
    int most = 0;
    for (int shift = 0; shift < 24; shift += 8)
        most = std::max(most, std::abs(int((p >> shift) & 0xFF) - int((q >> shift) & 0xFF)));
    return most;
}

// The largest difference of one channel between two pictures; 999 when their sizes differ.
inline int MaxDifference(const platform::TBitmap& a, const platform::TBitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return 999;
    int most = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int x = 0; x < a.Width(); ++x)
            most = std::max(most, ColourDifference(a.Pixel(x, y), b.Pixel(x, y)));
    return most;
}

// The same at the centre of each 8x8 block only, for pictures saved with chroma subsampling,
// which blurs the colours across the edges of the blocks.
inline int MaxBlockCentreDifference(const platform::TBitmap& a, const platform::TBitmap& b)
{
    if (a.Width() != b.Width() || a.Height() != b.Height())
        return 999;
    int most = 0;
    for (int y = 4; y < a.Height(); y += 8)
        for (int x = 4; x < a.Width(); x += 8)
            most = std::max(most, ColourDifference(a.Pixel(x, y), b.Pixel(x, y)));
    return most;
}

// `picture` as a JPEG of quality 100 without chroma subsampling, its orientation tag set to
// `orientation` (none at all for 0).
inline bool WriteOrientedJpeg(
    const platform::TBitmap& picture, const std::filesystem::path& jpeg, int orientation)
{
    const std::filesystem::path bmp = jpeg.string() + ".src.bmp";
    picture.SaveToFile(bmp);
    bool made = Shell(std::string(kMagick) + " " + Quoted(bmp)
        + " -quality 100 -sampling-factor 1x1 " + Quoted(jpeg));
    std::filesystem::remove(bmp);
    if (made && orientation != 0)
        made = Shell("exiftool -q -q -overwrite_original -n -Orientation#="
            + std::to_string(orientation) + " " + Quoted(jpeg));
    return made;
}

// The same as a PNG whose eXIf chunk holds the orientation.
inline bool WriteOrientedPng(
    const platform::TBitmap& picture, const std::filesystem::path& png, int orientation)
{
    const std::filesystem::path bmp = png.string() + ".src.bmp";
    picture.SaveToFile(bmp);
    bool made = Shell(std::string(kMagick) + " " + Quoted(bmp) + " PNG24:" + Quoted(png));
    std::filesystem::remove(bmp);
    return made
        && Shell("exiftool -q -q -overwrite_original -n -Orientation#="
            + std::to_string(orientation) + " " + Quoted(png));
}

// A wide-gamut profile (the Adobe RGB (1998) primaries, gamma 2.2, D65 white), padded with a long
// description to about `atLeast` bytes, so that a JPEG must split it over several markers.
inline std::vector<uint8_t> WideGamutProfile(size_t atLeast = 0)
{
    cmsCIExyY white { 0.3127, 0.3290, 1.0 };
    cmsCIExyYTRIPLE primaries { { 0.64, 0.33, 1.0 }, { 0.21, 0.71, 1.0 }, { 0.15, 0.06, 1.0 } };
    cmsToneCurve* gamma = cmsBuildGamma(nullptr, 2.19921875);
    cmsToneCurve* curves[3] = { gamma, gamma, gamma };
    cmsHPROFILE profile = cmsCreateRGBProfile(&white, &primaries, curves);
    cmsFreeToneCurve(gamma);
    std::string description = "Test wide gamut";
    if (atLeast > description.size())
        description.append(atLeast, 'x');
    cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
    cmsMLUsetASCII(mlu, "en", "US", description.c_str());
    cmsWriteTag(profile, cmsSigProfileDescriptionTag, mlu);
    cmsMLUfree(mlu);
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

inline std::vector<uint8_t> SrgbProfile()
{
    cmsHPROFILE profile = cmsCreate_sRGBProfile();
    cmsUInt32Number size = 0;
    cmsSaveProfileToMem(profile, nullptr, &size);
    std::vector<uint8_t> bytes(size);
    cmsSaveProfileToMem(profile, bytes.data(), &size);
    cmsCloseProfile(profile);
    return bytes;
}

inline void WriteBytes(const std::filesystem::path& path, const std::vector<uint8_t>& bytes)
{
    WriteFile(path, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& path)
{
    const std::string text = ReadFile(path);
    return { text.begin(), text.end() };
}

// APP2 ICC_PROFILE markers of `profile` in pieces of at most `piece` bytes, numbered in
// `order` (1-based piece numbers; empty: 1, 2, 3, ... in turn), with `count` as the total they
// claim (0: the real number of pieces).
inline std::vector<uint8_t> IccMarkers(
    const std::vector<uint8_t>& profile, size_t piece, std::vector<int> order = {}, int count = 0)
{
    std::vector<std::vector<uint8_t>> pieces;
    for (size_t at = 0; at < profile.size(); at += piece)
        pieces.emplace_back(profile.begin() + std::ptrdiff_t(at),
            profile.begin() + std::ptrdiff_t(std::min(profile.size(), at + piece)));
    if (order.empty())
        for (size_t i = 0; i < pieces.size(); ++i)
            order.push_back(int(i) + 1);
    if (count == 0)
        count = int(pieces.size());
    std::vector<uint8_t> out;
    for (int number : order) {
        const std::vector<uint8_t>& bytes = pieces.at(size_t(number - 1));
        const size_t length = bytes.size() + 16;
        const uint8_t head[] = { 0xFF, 0xE2, uint8_t(length >> 8), uint8_t(length) };
        out.insert(out.end(), std::begin(head), std::end(head));
        const char tag[] = "ICC_PROFILE";
        out.insert(out.end(), tag, tag + sizeof tag); // with its zero
        out.push_back(uint8_t(number));
        out.push_back(uint8_t(count));
        out.insert(out.end(), bytes.begin(), bytes.end());
    }
    return out;
}

// A JPEG's bytes with `segments` put right after its start-of-image marker.
inline std::vector<uint8_t> WithSegments(
    std::vector<uint8_t> jpeg, const std::vector<uint8_t>& segments)
{
    jpeg.insert(jpeg.begin() + 2, segments.begin(), segments.end());
    return jpeg;
}

} // namespace vtl::testing
