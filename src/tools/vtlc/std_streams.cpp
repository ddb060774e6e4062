#include "tools/vtlc/std_streams.h"

#include "tools/vtlc/command_line.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdexcept>
#include <fcntl.h>
#include <unistd.h>

namespace vtl::tools {

namespace fs = std::filesystem;

namespace {
    [[noreturn]] void Fail(const std::string& what)
    {
        throw std::runtime_error(what + ": " + std::strerror(errno));
    }

    // Writes all of `size` bytes, through short writes and interruptions.
    void WriteAll(int fd, const char* data, size_t size, const std::string& what)
    {
        while (size > 0) {
            const ssize_t n = ::write(fd, data, size);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                Fail(what);
            data += n;
            size -= size_t(n);
        }
    }

    std::string ExtensionOf(const unsigned char* head, size_t size)
    {
        if (size >= 2 && head[0] == 'B' && head[1] == 'M')
            return ".bmp";
        if (size >= 3 && head[0] == 0xFF && head[1] == 0xD8 && head[2] == 0xFF)
            return ".jpg";
        if (size >= 8 && std::memcmp(head, "\x89PNG\r\n\x1a\n", 8) == 0)
            return ".png";
        return "";
    }
}

TempFile::TempFile(const std::string& extension)
{
    std::error_code ec;
    fs::path folder = fs::temp_directory_path(ec);
    if (ec)
        folder = "/tmp";
    std::string name = (folder / ("vtlc-XXXXXX" + extension)).string();
    const int fd = ::mkstemps(name.data(), int(extension.size()));
    if (fd < 0)
        Fail("cannot make a temporary file in " + folder.string());
    ::close(fd);
    m_path = name;
}

TempFile::~TempFile()
{
    std::error_code ec;
    fs::remove(m_path, ec);
}

std::unique_ptr<TempFile> ReadStandardInput()
{
    // The first bytes decide the name, so they are read before the file is made.
    std::string bytes(1 << 16, '\0');
    size_t have = 0;
    while (have < 8) {
        const ssize_t n = ::read(STDIN_FILENO, bytes.data() + have, bytes.size() - have);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            Fail("cannot read standard input");
        if (n == 0)
            break;
        have += size_t(n);
    }
    auto file = std::make_unique<TempFile>(
        ExtensionOf(reinterpret_cast<const unsigned char*>(bytes.data()), have));
    const int fd = ::open(file->Path().c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    if (fd < 0)
        Fail("cannot write " + file->Path().string());
    try {
        while (have > 0) {
            WriteAll(fd, bytes.data(), have, "cannot write " + file->Path().string());
            ssize_t n;
            do
                n = ::read(STDIN_FILENO, bytes.data(), bytes.size());
            while (n < 0 && errno == EINTR);
            if (n < 0)
                Fail("cannot read standard input");
            have = size_t(n);
        }
        if (::close(fd) != 0)
            Fail("cannot write " + file->Path().string());
    } catch (...) {
        ::close(fd);
        throw;
    }
    return file;
}

void SendToStandardOutput(const fs::path& file)
{
    std::FILE* in = std::fopen(file.c_str(), "rb");
    if (!in)
        Fail("cannot read " + file.string());
    std::fflush(stdout);
    std::string buffer(1 << 16, '\0');
    try {
        size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0)
            WriteAll(STDOUT_FILENO, buffer.data(), n, "cannot write standard output");
        if (std::ferror(in))
            Fail("cannot read " + file.string());
    } catch (...) {
        std::fclose(in);
        throw;
    }
    std::fclose(in);
}

void RequireStandardOutputNotTerminal()
{
    if (::isatty(STDOUT_FILENO))
        throw UsageError { "will not write a picture onto a terminal: redirect standard output" };
}

} // namespace vtl::tools
