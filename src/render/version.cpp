#include "render/version.h"

namespace vtl::render {
const char* ProductVersion() { return VTL_VERSION; }
}
