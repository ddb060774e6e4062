#pragma once
// Writing a file so that a crash or a failed write never loses its previous contents: the bytes go
// to a temporary file beside it, which is then renamed over the old one.

#include "platform/stream.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

namespace vtl::platform {

// A file written as a stream, in pieces, that replaces `path` only when committed: the bytes go
// to a temporary file beside it (through a buffer of its own; large pieces go straight to the
// file), and Commit() flushes, syncs and renames it over the old one. Destroyed uncommitted, it
// removes the temporary file and leaves the old one untouched. Every failure throws
// std::system_error naming `path`.
class TAtomicFile : public TStream {
public:
    explicit TAtomicFile(const std::filesystem::path& path);
    ~TAtomicFile() override;
    TAtomicFile(const TAtomicFile&) = delete;
    TAtomicFile& operator=(const TAtomicFile&) = delete;

    // Not a reading stream: nothing is read.
    size_t Read(void* buffer, size_t count) override;
    void Write(const void* buffer, size_t count) override;
    uint64_t Position() const override;
    // Seeking back patches bytes already written (a header filled in at the end).
    void Seek(uint64_t position) override;
    uint64_t Size() const override;

    void Commit();

private:
    void FlushBuffer();
    [[noreturn]] void Fail(int error) const;

    std::filesystem::path m_path;
    std::string m_tempPath;
    int m_fd = -1;
    bool m_committed = false;
    std::unique_ptr<uint8_t[]> m_buffer;
    size_t m_buffered = 0;
    uint64_t m_filePosition = 0; // where the buffer's bytes go
    uint64_t m_size = 0;
};

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
