#include "document/fixed_palettes.h"

namespace vtl::document {

using platform::RGBQuad;

namespace {

    constexpr RGBQuad Quad(uint8_t r, uint8_t g, uint8_t b) { return RGBQuad { b, g, r, 0 }; }

    constexpr std::array<RGBQuad, kHalftoneColours> MakeHalftone()
    {
        std::array<RGBQuad, kHalftoneColours> table {};
        for (size_t r = 0; r < kHalftoneRed.size(); ++r)
            for (size_t g = 0; g < kHalftoneGreen.size(); ++g)
                for (size_t b = 0; b < kHalftoneBlue.size(); ++b)
                    table[35 * r + 5 * g + b]
                        = Quad(kHalftoneRed[r], kHalftoneGreen[g], kHalftoneBlue[b]);
        // Five system-like greys and dark colours fill the rest of the table.
        table[210] = Quad(128, 0, 0);
        table[211] = Quad(128, 128, 0);
        table[212] = Quad(128, 0, 128);
        table[213] = Quad(192, 192, 192);
        table[214] = Quad(128, 128, 128);
        return table;
    }

    constexpr std::array<RGBQuad, kHalftoneColours> kHalftone = MakeHalftone();
    constexpr std::array<RGBQuad, 2> kBlackWhite { Quad(0, 0, 0), Quad(255, 255, 255) };

} // namespace

std::span<const RGBQuad, kHalftoneColours> HalftonePalette() { return kHalftone; }
std::span<const RGBQuad, 2> BlackWhitePalette() { return kBlackWhite; }

} // namespace vtl::document
