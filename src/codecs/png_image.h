#pragma once
// The PNG graphic: a decoded picture (a display bitmap and an optional alpha mask) with the
// properties a PNG file carries. Each load or save makes a reader or writer for that one job.

#include "codecs/png_info.h"
#include "codecs/png_read_stream.h"
#include "platform/bitmap.h"
#include "platform/progress.h"

#include <filesystem>
#include <cstdint>
#include <optional>
#include <span>
#include <string>

namespace vtl::document {
class TDIB;
}

namespace vtl::codecs {

// The size a PNG's header claims, read from its first 24 bytes without decoding anything;
// nothing when the bytes don't start as a PNG file does.
struct PngSize {
    uint32_t width = 0;
    uint32_t height = 0;
};
std::optional<PngSize> PeekPngSize(std::span<const uint8_t> head);
std::optional<PngSize> PeekPngFileSize(const std::filesystem::path& path);

class TPngImage {
public:
    TPngImage() = default;

    // Loading replaces the picture and the properties only when it succeeds. Throws EPngError
    // with the codec's messages.
    void LoadFromStream(platform::TStream& stream);
    void LoadFromFile(const std::filesystem::path& path);
    // Writes the picture with the current properties; throws EPngError (and the stream's
    // EWriteError when the bytes can't be written).
    void SaveToStream(platform::TStream& stream) const;
    // The file is replaced only when the whole picture could be written.
    void SaveToFile(const std::filesystem::path& path) const;

    // The bitmap to be written (a copy).
    void Assign(const platform::TBitmap& source);
    void Assign(const document::TDIB& source);
    void AssignTo(platform::TBitmap& dest) const { dest = m_picture; }
    void AssignTo(document::TDIB& dest) const;
    void Draw(platform::TCanvas& canvas, const platform::TRect& rect) const;

    int32_t Width() const { return m_picture.Width(); }
    int32_t Height() const { return m_picture.Height(); }
    bool Empty() const { return m_picture.Empty(); }
    platform::HPalette Palette() const { return m_picture.Palette(); }
    // True when a transparent colour is set.
    bool Transparent() const { return m_info.transparent.has_value(); }
    const platform::TBitmap& Bitmap() const { return m_picture; }

    // Writing options.
    int IdatSize() const { return m_idatSize; }
    // Throws EPngError("Write PNG Param: Err IDAT Size(min:256  max:100000)") outside 256 to
    // 100000 and keeps the old size.
    void SetIdatSize(int size);
    int CompressionLevel() const { return m_compressionLevel; }
    void SetCompressionLevel(int level)
    {
        m_compressionLevel = level >= 0 && level <= 9 ? level : -1;
    }
    int FilterMode() const { return m_filterMode; }
    void SetFilterMode(int mode) { m_filterMode = mode >= 1 && mode <= 5 ? mode : 1; }
    bool Greyscale() const { return m_greyscale; }
    void SetGreyscale(bool on) { m_greyscale = on; }

    // Descriptive properties; after a load they hold what the file said.
    bool Interlace() const { return m_info.interlace; }
    void SetInterlace(bool on) { m_info.interlace = on; }
    const std::string& Comment() const { return m_info.comment; }
    void SetComment(std::string text) { m_info.comment = std::move(text); }
    std::optional<platform::TColor> BackgroundColor() const { return m_info.background; }
    void SetBackgroundColor(std::optional<platform::TColor> c) { m_info.background = c; }
    // A value with kPaletteIndexFlag is a palette index.
    std::optional<platform::TColor> TransparentColor() const { return m_info.transparent; }
    void SetTransparentColor(std::optional<platform::TColor> c) { m_info.transparent = c; }
    double Gamma() const { return m_info.gamma; }
    void SetGamma(double gamma) { m_info.gamma = gamma; }
    std::optional<PngPhysicalSize> PhysicalSize() const { return m_info.physicalSize; }
    void SetPhysicalSize(std::optional<PngPhysicalSize> size) { m_info.physicalSize = size; }
    std::optional<PngSignificantBits> SignificantBits() const { return m_info.significantBits; }
    void SetSignificantBits(std::optional<PngSignificantBits> bits)
    {
        m_info.significantBits = bits;
    }
    // Unset: the time of writing, in UTC.
    std::optional<PngTime> WriteTime() const { return m_info.time; }
    void SetWriteTime(std::optional<PngTime> time) { m_info.time = time; }
    std::optional<PngChromaticities> Chromaticities() const { return m_info.chromaticities; }
    void SetChromaticities(std::optional<PngChromaticities> c) { m_info.chromaticities = c; }
    std::optional<PngGifExtension> GifExtension() const { return m_info.gifExtension; }
    void SetGifExtension(std::optional<PngGifExtension> g) { m_info.gifExtension = g; }
    // An 8-bit bitmap of the picture's size holding inverted alpha (0 opaque); empty for none.
    const platform::TBitmap& AlphaMask() const { return m_alphaMask; }
    void SetAlphaMask(const platform::TBitmap& mask) { m_alphaMask = mask; }

    // What the last load found.
    int BitDepth() const { return m_header.bitDepth; }
    int ColorType() const { return m_header.colorType; }
    bool HadAlpha() const { return m_hadAlpha; }
    bool FileGreyscale() const { return m_header.Greyscale(); }

    // Reading options: the optional chunks and formats the caller asks for.
    PngReadOptions ReadOptions;
    // Progress of loading and saving, in percent.
    platform::ProgressHandler OnProgress;

private:
    platform::TBitmap m_picture;
    platform::TBitmap m_alphaMask;
    PngInfo m_info;
    PngHeader m_header;
    bool m_hadAlpha = false;
    int m_idatSize = kDefaultIdatSize;
    int m_compressionLevel = -1;
    int m_filterMode = 1;
    bool m_greyscale = false;
};

} // namespace vtl::codecs
