#pragma once
// RGB and HSI adjustment: an offset, a gain and a gamma exponent for each of three channels (red,
// green, blue; or value, saturation, hue in a hexcone model), and the numbers the adjustment
// dialog shows: curve points, value labels and the preview thumbnail's size.

#include "platform/geometry.h"
#include "processing/processing_frame.h"

#include <array>
#include <cstdint>
#include <string>
#include <utility>

namespace vtl::processing {

// The dialog's track bars, channel 1 to 3.
struct TrackBarPositions {
    std::array<int, 3> offset { 0, 0, 0 }; // -256 .. 511
    std::array<int, 3> gain { 100, 100, 100 }; // -300 .. 300, the gain x 100
    std::array<int, 3> gamma { 100, 100, 100 }; // 30 .. 300; the exponent is 100 / position
};

inline constexpr int kOffsetMin = -256, kOffsetMax = 511, kOffsetPage = 8;
inline constexpr int kGainMin = -300, kGainMax = 300, kGainPage = 10;
inline constexpr int kGammaMin = 30, kGammaMax = 300, kGammaPage = 10;

struct AdjustParams {
    std::array<double, 3> offset { 0, 0, 0 };
    std::array<double, 3> gain { 1, 1, 1 };
    std::array<double, 3> exponent { 1, 1, 1 };
};

AdjustParams ParamsFromTrackBars(const TrackBarPositions& positions);
// All offsets 0, all gains and exponents 1: OK then closes the dialog as Cancel.
bool IsNeutral(const AdjustParams& params);

// t[i] = clamp(Trunc(255 (i/255)^e g + offset + 0.499)), or clamp(Trunc(i g + offset + 0.499))
// when e is 1; clamp to 0..255, Trunc towards zero.
std::array<uint8_t, 256> ToneTable(double offset, double gain, double exponent);

// Red through channel 1, green 2, blue 3.
bool AdjustRgb(
    TBitmap& picture, TBitmap* undo, const AdjustParams& params, const ProcessContext& context);
// Value through channel 1's tone table, saturation and hue through channels 2 and 3.
bool AdjustHsi(
    TBitmap& picture, TBitmap* undo, const AdjustParams& params, const ProcessContext& context);

// One pixel through the HSI adjustment, for callers that want a single colour; b, g, r in and out.
void AdjustHsiPixel(const AdjustParams& params, uint8_t& b, uint8_t& g, uint8_t& r);

// ---- What the dialog shows ----

// The curve of a channel in the 101 x 101 graph: the pen starts at point 0 and draws to points
// 1..100.
std::array<platform::TPoint, 101> CurvePoints(double offset, double gain, double exponent);
// The value labels: the offset as an integer; gain and gamma as position / 100 in "%5.2f".
std::string OffsetLabel(int position);
std::string RatioLabel(int position);
// The preview thumbnail's size for a picture: at most 100 on its longer side.
std::pair<int32_t, int32_t> ThumbnailSize(int32_t width, int32_t height);

} // namespace vtl::processing
