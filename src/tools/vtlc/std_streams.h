#pragma once
// "-" on vtlc's command line: a picture read from standard input or written to standard output.
// The readers and writers work on files, so each passes through a temporary file of its own,
// removed again when the command ends.

#include <filesystem>
#include <memory>
#include <string>

namespace vtl::tools {

class TempFile {
public:
    // A new empty file in the temporary folder whose name ends in `extension` (".png" or "").
    explicit TempFile(const std::string& extension);
    ~TempFile();
    TempFile(const TempFile&) = delete;
    TempFile& operator=(const TempFile&) = delete;

    const std::filesystem::path& Path() const { return m_path; }

private:
    std::filesystem::path m_path;
};

// Copies standard input into a temporary file named with the extension its first bytes show
// (BMP, JPEG, PNG; none for the rest, which the plug-ins then recognise).
std::unique_ptr<TempFile> ReadStandardInput();

// Copies a finished file to standard output; throws when the output can't take it.
void SendToStandardOutput(const std::filesystem::path& file);

// Refuses to write a picture onto a terminal.
void RequireStandardOutputNotTerminal();

} // namespace vtl::tools
