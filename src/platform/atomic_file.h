#pragma once
// Writing a file so that a crash or a failed write never loses its previous contents: the bytes go
// to a temporary file beside it, which is then renamed over the old one.

#include <filesystem>
#include <functional>
#include <string_view>

namespace vtl::platform {

// Throws std::system_error, naming `path`, when any step fails; the previous file is then
// untouched and the temporary file removed. A file that existed keeps its permissions.
void WriteFileAtomically(const std::filesystem::path& path, std::string_view bytes);

// Tests: replace the rename step (return 0 for success, -1 with errno set for failure).
// An empty function restores the real one.
void SetRenameFunctionForTesting(std::function<int(const char* from, const char* to)> rename);
// Tests: the next `count` writes fail with `error` (a full disk by default) before anything is
// created.
void FailNextWritesForTesting(int count, int error = 28 /* ENOSPC */);

} // namespace vtl::platform
