#pragma once
// The PNG writer: a display bitmap (and an alpha mask) in, chunks out.

#include "codecs/png_info.h"
#include "codecs/png_streams.h"
#include "platform/bitmap.h"

#include <array>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vtl::codecs {

inline constexpr const char* kPngSoftwareText = "VTLPNG ver 3.4";

struct PngWriteOptions {
    int idatSize = kDefaultIdatSize; // 256 to 100000
    int compressionLevel = -1; // zlib's level; -1 its default
    int filterMode = 1; // 1 to 5: filter type None, Sub, Up, Average, Paeth on every row
    bool greyscale = false;
    bool rowCallback = false; // recorded in the program's own chunk
    PngInfo info; // info.interlace selects Adam7
};

class TPngWriteStream : public TCustomGraphicWriteStream {
public:
    // Throws EPngError("Write PNG Param: Err IDAT Size(min:256  max:100000)") for a bad IDAT size.
    TPngWriteStream(platform::TStream& stream, const PngWriteOptions& options);

    // Writes the picture (1, 4, 8, 15, 16, 24 or 32 bits per pixel). The mask is used when it is
    // an 8-bit bitmap of the picture's size holding inverted alpha.
    void Save(const platform::TBitmap& picture, const platform::TBitmap* alphaMask);

private:
    void ChooseForm();
    void WriteChunk(uint32_t type, std::span<const uint8_t> data);
    void WriteText(std::string_view keyword, std::string_view text);
    void WriteAncillaryChunks();
    void WriteTransparency();
    void WriteBackground();
    void WriteImage();
    void BuildRow(int32_t y, uint32_t x0, uint32_t dx, uint32_t count, uint8_t* out) const;
    // The sample a colour is written as in a grey image of the chosen depth.
    bool GreySampleOf(platform::TColor color, uint16_t& sample) const;
    // The palette index holding `color` (or the index a flagged value names).
    bool PaletteIndexOf(platform::TColor color, size_t& index) const;

    PngWriteOptions m_options;
    const platform::TBitmap* m_picture = nullptr;
    const platform::TBitmap* m_mask = nullptr;
    int m_sourceBits = 0;
    uint8_t m_colorType = 0;
    uint8_t m_depth = 8;
    bool m_invertMono = false;
    bool m_greyFromPalette = false;
    std::vector<platform::PaletteEntry> m_palette; // the source palette (what PLTE gets)
    std::array<uint8_t, 256> m_greyOfIndex {}; // greyscale from 4- and 8-bit palette pictures
    std::vector<uint8_t> m_chunk;
};

} // namespace vtl::codecs
