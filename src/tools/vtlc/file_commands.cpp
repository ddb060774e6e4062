#include "tools/vtlc/file_commands.h"

#include "tools/vtlc/picture_reading.h"
#include "tools/vtlc/settings_access.h"
#include "tools/vtlc/std_streams.h"

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <unistd.h>

namespace vtl::tools {

namespace fs = std::filesystem;

namespace {
    std::string Replaced(std::string text, const std::string& from, const std::string& to)
    {
        for (size_t at; !from.empty() && (at = text.find(from)) != std::string::npos;)
            text.replace(at, from.size(), to);
        return text;
    }

    document::SaveKind SingleKind(const Options& o, const fs::path& out)
    {
        if (out == "-" && !o.as)
            throw UsageError { "writing to standard output (-) needs --as" };
        const auto kind = o.as ? document::SaveKindFromName(*o.as)
                               : document::SaveKindFromExtension(out);
        if (!kind)
            throw UsageError { "the kind of " + out.string()
                + " is not known: name it .bmp, .jpg, .png or use --as" };
        return *kind;
    }

    // IN OUT: failures leave as exceptions; notes go to standard error after the file is out.
    int RunSingle(const CommandLine& line, const PictureWork& work)
    {
        const std::string& in = line.operands.at(0);
        const fs::path out = line.operands.at(1);
        const document::SaveKind kind = SingleKind(line.options, out);
        if (out == "-")
            RequireStandardOutputNotTerminal();
        std::unique_ptr<TempFile> input, output;
        if (in == "-")
            input = ReadStandardInput();
        if (out == "-")
            output = std::make_unique<TempFile>(out.extension().string());
        Notes notes;
        try {
            work(input ? input->Path().string() : in, output ? output->Path() : out, kind, notes);
            if (output)
                SendToStandardOutput(output->Path());
        } catch (const std::runtime_error& e) {
            // Messages name the files as the user gave them, not the temporary ones.
            std::string message = e.what();
            if (input)
                message = Replaced(message, input->Path().string(), "-");
            if (output)
                message = Replaced(message, output->Path().string(), "-");
            throw std::runtime_error(message);
        }
        for (const std::string& note : notes) {
            const std::string shown = output ? Replaced(note, output->Path().filename().string(), "-") : note;
            std::fprintf(stderr, "%s\n", shown.c_str());
        }
        return 0;
    }

    int RunMany(const CommandLine& line, const PictureWork& work)
    {
        const Options& o = line.options;
        const std::vector<std::string> inputs = ExpandInputs(line.operands);
        if (inputs.empty())
            throw UsageError { "no input files" };
        OutputNaming naming;
        naming.folder = *o.outputFolder;
        if (o.name)
            naming.pattern = *o.name;
        if (o.as)
            naming.as = document::SaveKindFromName(*o.as);
        const std::vector<BatchJob> jobs = PlanOutputs(inputs, naming);

        std::error_code ec;
        fs::create_directories(naming.folder, ec);
        if (ec || !fs::is_directory(naming.folder))
            throw std::runtime_error("cannot make the folder " + naming.folder.string() + ": "
                + (ec ? ec.message() : "a file of that name is in the way"));

        // The program's own plug-ins are registered once, before the threads read pictures.
        LoadedRegistry();

        BatchSettings settings;
        settings.jobs = o.jobs.value_or(DefaultJobs());
        settings.verbose = o.verbose;
        settings.quiet = o.quiet;
        settings.progress = ::isatty(STDERR_FILENO) != 0;
        const bool overwrite = o.overwrite;
        return RunBatch(
            jobs,
            [&](const BatchJob& job, Notes& notes) {
                if (!overwrite && fs::exists(job.output))
                    throw std::runtime_error(
                        job.output.string() + " exists already; --overwrite replaces it");
                work(job.input, job.output, job.kind, notes);
            },
            settings, stderr);
    }
}

int RunFileCommand(const CommandLine& line, const PictureWork& work)
{
    return line.options.outputFolder ? RunMany(line, work) : RunSingle(line, work);
}

document::SaveOptions SaveOptionsOf(const Options& o)
{
    const app::Settings settings = StoredSettings();
    document::SaveOptions options;
    options.jpegQuality = o.quality.value_or(settings.jpg);
    options.pngBest = o.pngBest || settings.png;
    return options;
}

std::string UncompressedNote(const fs::path& out)
{
    return out.filename().string() + " は圧縮するとサイズが大きくなるので非圧縮で保存します。";
}

void WritePicture(const platform::TBitmap& picture, const fs::path& out, document::SaveKind kind,
    const document::SaveOptions& options, Notes& notes)
{
    switch (document::SavePicture(picture, out, kind, options)) {
    case document::SaveOutcome::NotPaletted:
        throw std::runtime_error("16色または256色のみ圧縮できます。");
    case document::SaveOutcome::SavedUncompressed:
        notes.push_back(UncompressedNote(out));
        break;
    case document::SaveOutcome::Saved:
        break;
    }
}

} // namespace vtl::tools
