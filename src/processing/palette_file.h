#pragma once
// Palette files (*.pal): the RIFF palette form, little-endian throughout.
//
//   0  "RIFF"   4  4n + 16 (not checked on reading)   8  "PAL "   12  "data"   16  4n + 4
//   20 version 0x300   22 n   24 n entries of red, green, blue, flags

#include "platform/color.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace vtl::processing {

// What the user is told, titled "vtl", when a palette file is refused.
inline constexpr const char* kPaletteFileRefused = "パレットがおかしいまたは数が合いません。";

// The entries of a palette file, accepted only when the three tags match, the entry count is
// `expectedCount` and the data chunk is 4 x count + 4 bytes long. Returns false (and leaves
// `entries` alone) when the bytes are refused.
bool ParsePaletteFile(std::span<const uint8_t> bytes, size_t expectedCount,
    std::vector<platform::PaletteEntry>& entries);

// Reads a palette file with `expectedCount` entries into `entries`. On refusal returns false,
// leaves `entries` unchanged and puts the message to show into `refusal`. A file that cannot be
// opened throws the stream's EFOpenError, as any other open does.
bool ReadPaletteFile(const std::filesystem::path& path, size_t expectedCount,
    std::vector<platform::PaletteEntry>& entries, std::string& refusal);

// The bytes of a palette file holding the first `count` entries (count at most the entries given
// and at most 65535).
std::vector<uint8_t> BuildPaletteFile(
    std::span<const platform::PaletteEntry> entries, size_t count);

// Creates or overwrites `path` with the first `count` entries. The old file survives a failed
// write; failures throw (std::system_error, std::invalid_argument for a bad count).
bool WritePaletteFile(const std::filesystem::path& path,
    std::span<const platform::PaletteEntry> entries, size_t count);

} // namespace vtl::processing
