#pragma once
// What convert and apply share: one IN OUT pair or a batch into -o DIR, "-" for the standard
// streams, and the save at the end with the program's settings.

#include "document/picture_saving.h"
#include "platform/bitmap.h"
#include "tools/vtlc/batch.h"
#include "tools/vtlc/command_line.h"

#include <filesystem>
#include <functional>
#include <string>

namespace vtl::tools {

// Produces one output file from one input file.
using PictureWork = std::function<void(const std::string& in, const std::filesystem::path& out,
    document::SaveKind kind, Notes& notes)>;

// Runs `work` for the command line's files and returns the exit status. A single IN OUT pair
// throws its failure as before; a batch reports each file and goes on.
int RunFileCommand(const CommandLine& line, const PictureWork& work);

// The save options from the command line, else the program's settings.
document::SaveOptions SaveOptionsOf(const Options& options);

// Writes `picture` as `kind`; a picture that RLE would make larger is written uncompressed with
// a note, as the program saves.
void WritePicture(const platform::TBitmap& picture, const std::filesystem::path& out,
    document::SaveKind kind, const document::SaveOptions& options, Notes& notes);

// The note for a picture written uncompressed because RLE would have made it larger.
std::string UncompressedNote(const std::filesystem::path& out);

} // namespace vtl::tools
