#pragma once
// vtlc thumbs and cache: a folder's thumbnail cache refreshed as the browser does, and a cache
// file's contents.

#include "tools/vtlc/command_line.h"

namespace vtl::tools {

int ThumbsCommand(const CommandLine& line);
int CacheCommand(const CommandLine& line);

} // namespace vtl::tools
