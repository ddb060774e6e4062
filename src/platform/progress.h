#pragma once
// Progress reports of long operations (decoding, conversion, saving), as the graphic classes give
// them to whoever shows " Read %d%%" or a gauge.

#include "platform/geometry.h"

#include <exception>
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

// Thrown by a progress handler to stop the work it reports on (the user pressed Esc during a
// long load). Readers let it pass, freeing what they hold; it is not an error to show.
class ELoadCancelled : public std::exception {
public:
    const char* what() const noexcept override { return "cancelled"; }
};

} // namespace vtl::platform
