#pragma once
// Setting files (*.vtl): a saved set of open pictures with their zoom and window bounds.

#include "platform/geometry.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vtl::app {

inline constexpr std::string_view kSettingFileMarker = "%vtl%";

struct SettingEntry {
    int zoomIndex = 3;
    std::string path;
    // Caption and bounds are restored only from lines of exactly seven fields.
    std::optional<std::string> caption;
    std::optional<platform::TRect> bounds; // left, top, left + width, top + height
};

// The entries of a setting file, or nullopt when its first line isn't the marker or it has fewer
// than two lines. Lines with fewer than two fields are skipped.
std::optional<std::vector<SettingEntry>> ParseSettingFile(std::string_view text);

// The file's text: the marker, then one line per entry, lines ended by CR LF.
std::string FormatSettingFile(const std::vector<SettingEntry>& entries);

} // namespace vtl::app
