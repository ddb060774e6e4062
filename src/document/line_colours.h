#pragma once
// The sixteen colours of the free-line tool, indexed by the colour number kept in Line/Color.

#include "platform/color.h"

#include <array>

namespace vtl::document {

inline constexpr std::array<platform::TColor, 16> kLineColours = {
    platform::Rgb(0, 0, 0), platform::Rgb(128, 0, 0), platform::Rgb(0, 128, 0), platform::Rgb(128, 128, 0),
    platform::Rgb(0, 0, 128), platform::Rgb(128, 0, 128), platform::Rgb(0, 128, 128),
    platform::Rgb(192, 192, 192), platform::Rgb(128, 128, 128), platform::Rgb(255, 0, 0),
    platform::Rgb(0, 255, 0), platform::Rgb(255, 255, 0), platform::Rgb(0, 0, 255), platform::Rgb(255, 0, 255),
    platform::Rgb(0, 255, 255), platform::Rgb(255, 255, 255),
};

} // namespace vtl::document
