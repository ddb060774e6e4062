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
    // Threads for the image data: 1 does everything on the calling thread; 2 or more let a
    // second thread unfilter and convert rows while the calling thread inflates; 0 takes the
    // process-wide setting (VTL_THREADS, else the machine's cores). Small and interlaced
    // pictures always stay on the calling thread.
    int threads = 0;
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

    // Rows of `rowBytes` bytes (a filter byte and the samples) that are inflated at once, and
    // how many are held in flight between the inflate and the conversion: a few, whatever the
    // picture's height.
    static uint32_t RowBatch(uint64_t rowBytes);
    static uint32_t RingRows(uint64_t rowBytes) { return 4 * RowBatch(rowBytes); }

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
    void ReadInterlacedImage(uint64_t& left);
    // Rows of a picture without interlace, on the calling thread or beside a second one.
    void ReadRows(uint64_t& left);
    bool UseSecondThread() const;
    void InflateInto(std::span<uint8_t> out, uint64_t& left);
    // Undoes the filter of one raw row (filter byte first; its type already checked) against the
    // previous raw row, and converts it into row y of the picture and the mask. Touches nothing
    // else of the reader, so that a second thread may run it.
    void FinishRow(uint8_t* raw, const uint8_t* prevRaw, uint32_t y) const;
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
    std::array<uint8_t, 256> m_maskTable {}; // 255 - alpha, by palette index
    int m_outBits = 0;
    // Fixed for the image data once the bitmap is set up.
    size_t m_unit = 1; // bytes of a complete pixel, at least 1
    size_t m_rowBytes = 0; // samples of a full row, without the filter byte
    uint8_t* m_pictureRows = nullptr;
    size_t m_pictureStride = 0;
    uint8_t* m_maskRows = nullptr;
    size_t m_maskStride = 0;
    ::z_stream_s* m_z = nullptr;
};

} // namespace vtl::codecs
