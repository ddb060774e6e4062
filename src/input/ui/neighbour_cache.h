#pragma once
// Pictures decoded ahead on worker threads: the pictures a document is likely to step to next,
// decoded while the user looks at the current one, so that the step finds them ready.
//
// Only the built-in formats (BMP, JPEG, PNG) are decoded here. Their readers keep no state between
// calls, and a worker decodes against a plug-in registry of its own that holds the built-in
// entries alone: the frame's registry (its last successful entries, its failure marks, the lists
// the options dialog replaces) is used on the window thread only. A picture in a plug-in format
// is decoded when the step asks for it, as before.

#include "input/picture_loader.h"
#include "platform/bitmap.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

namespace vtl::input::ui {

class NeighbourCache {
public:
    NeighbourCache() = default;
    // Abandons the decodes still running; they end on their own and nothing of them reaches
    // anything after that.
    ~NeighbourCache();
    NeighbourCache(const NeighbourCache&) = delete;
    NeighbourCache& operator=(const NeighbourCache&) = delete;

    // Holds the pictures of `files` and nothing else: pictures of other files are released and
    // their decodes abandoned; each file not held yet is decoded in the background with
    // `context`, whose status panel is left alone there and whose cancel hook becomes the
    // abandonment.
    void Keep(const std::vector<std::filesystem::path>& files, const input::DecodeContext& context);
    // The picture decoded for `file`, when the decode gave one and the file is still the one that
    // was decoded (the same size and modification time); waits for a decode that is still
    // running. Whatever the answer, the cache no longer holds the file.
    std::optional<platform::TBitmap> Take(const std::filesystem::path& file);
    // Releases every picture and abandons every decode.
    void Clear();

    // The files held or being decoded.
    std::vector<std::filesystem::path> Files() const;
    // Whether the decode of `file` has finished with a picture.
    bool Ready(const std::filesystem::path& file) const;
    // Decodes of the whole program that have not finished yet, abandoned ones included.
    static int RunningDecodes();
    // Decodes of the whole program that finished with a picture.
    static int FinishedDecodes();

private:
    struct Job;
    std::vector<std::shared_ptr<Job>> m_jobs;
};

} // namespace vtl::input::ui
