#pragma once
// The PNG reader: chunks in, a display bitmap (and an alpha mask) out.

#include "codecs/png_info.h"
#include "codecs/png_streams.h"
#include "platform/bitmap.h"

#include <array>
#include <cstdint>
#include <vector>

struct z_stream_s; // zlib's state

namespace vtl::codecs {

struct PngReadOptions {
    // Truecolour files whose sBIT says 5-5-5 or 5-6-5 become pf15bit or pf16bit bitmaps.
    bool keepHighColor = false;
    bool keepChromaticities = false;
    bool keepTime = false;
};

struct PngDecoded {
    PngHeader header;
    PngInfo info;
    bool hadAlpha = false; // an alpha channel or a palette transparency that built the mask
    platform::TBitmap picture;
    platform::TBitmap alphaMask; // 8 bits, inverted alpha (0 opaque); empty without alpha
};

class TPngReadStream : public TCustomGraphicReadStream {
public:
    TPngReadStream(platform::TStream& stream, const PngReadOptions& options);

    // Reads the whole file. Throws EPngError with the codec's messages; nothing is kept then.
    PngDecoded Load();

private:
    void ReadSignature();
    // Reads up to `wanted` bytes of the current chunk (fewer when the chunk is shorter).
    std::vector<uint8_t> ChunkData(uint64_t& left, uint64_t wanted);
    void ReadHeader(uint64_t& left);
    void ReadPalette(uint64_t& left);
    void ReadTransparency(uint64_t& left);
    void ReadBackground(uint64_t& left);
    void ReadText(uint64_t& left);
    void ReadOther(uint32_t type, uint64_t& left);
    platform::TColor GreySampleColor(uint16_t sample) const;

    void SetUpBitmap();
    void ReadImage(uint64_t& left);
    void InflateInto(std::span<uint8_t> out, uint64_t& left);
    void ConvertRow(const uint8_t* raw, uint32_t count, uint8_t* out, uint8_t* mask) const;

    PngReadOptions m_options;
    PngDecoded m_result;
    bool m_haveHeader = false;
    bool m_imageDone = false;
    bool m_havePalette = false;
    bool m_greyFromPalette = false; // the program's own chunk says: grey + alpha from a palette
    std::vector<platform::PaletteEntry> m_palette;
    bool m_haveAlphaTable = false;
    std::array<uint8_t, 256> m_alphaTable {};
    int m_outBits = 0;
    ::z_stream_s* m_z = nullptr;
};

} // namespace vtl::codecs
