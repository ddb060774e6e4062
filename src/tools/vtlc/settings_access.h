#pragma once
// The settings vtl would use, read by vtlc's commands.

#include "app/settings.h"

namespace vtl::tools {

app::Settings StoredSettings();

} // namespace vtl::tools
