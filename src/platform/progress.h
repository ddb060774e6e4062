#pragma once
// Progress reports of long operations (decoding, conversion, saving), as the graphic classes give
// them to whoever shows " Read %d%%" or a gauge.

#include "platform/geometry.h"

#include <functional>
#include <string>

namespace vtl::platform {

enum class ProgressStage { Starting, Running, Ending };

struct ProgressReport {
    ProgressStage stage = ProgressStage::Starting;
    int percent = 0;
    bool redrawNow = false;
    TRect rect;
    std::string text;
};

using ProgressHandler = std::function<void(const ProgressReport&)>;

} // namespace vtl::platform
