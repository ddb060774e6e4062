#pragma once
// The PNG codec's exception and the texts it carries; the caller shows them as they are.

#include <stdexcept>

namespace vtl::codecs {

class EPngError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

inline constexpr const char* kPngNotPngFormat = "PNG LoadStream: Not PNG Format";
inline constexpr const char* kPngErrorColorType = "Read Header(PNG): Error ColorType";
inline constexpr const char* kPngNotSupportCompression
    = "Read Header(PNG): not support Compression";
inline constexpr const char* kPngNotSupportFilter = "Read Header(PNG): not supprt Filter";
inline constexpr const char* kPngNotInterlaceType = "Read Header(PNG): not interlace type";
inline constexpr const char* kPngTwoIhdr = "Read Header(PNG): appear two IHDR";
inline constexpr const char* kPngErrorGreyBitdepth = "Read Header(PNG): Error Bitdepth";
inline constexpr const char* kPngNotUseAlphaChannel = "Read Header(PNG): not Use AlphaChannel";
inline constexpr const char* kPngErrorBitDepth = "Read Header(PNG): Error BitDepth";
inline constexpr const char* kPngErrorZlib = "PNG LoadStream: Error ZLIB";
inline constexpr const char* kPngReadError = "Read Image (PNG): Read Error";
inline constexpr const char* kPngErrIdatSize
    = "Write PNG Param: Err IDAT Size(min:256  max:100000)";
inline constexpr const char* kPngWriteError = "Write Image (PNG): Write Error";
// Not one of the historical texts: pictures beyond the program's size limits are refused
// before anything is allocated for them.
inline constexpr const char* kPngTooLarge = "Read Header(PNG): Image too large";

} // namespace vtl::codecs
