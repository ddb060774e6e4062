#pragma once
// The plug-in registry: the list of registered plug-ins (the file vtl.dat in the data folder),
// the lookup lists built from it, the failure marks and the last successful entries, and the
// walk that picks the plug-in for a file name.

#include "input/plugin_host.h"
#include "input/spi_strings.h"

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace vtl::input {

// The messages the callers show (title "vtl", error icon); %s takes a path.
inline constexpr const char* kPluginBrokenMessage = "%s がおかしい。";
inline constexpr const char* kReadFailedMessage = "読み込みに失敗しました。";
inline constexpr const char* kNotFoundMessage = "%s が見つかりません。";

// "%s" of one of the messages above replaced by `argument`.
std::string FormatMessage(const char* message, const std::string& argument);

// Where plug-ins named without a folder are looked for, in this order.
struct PluginFolders {
    std::filesystem::path dataFolder;
    std::filesystem::path pluginFolder;

    // The program's folders (platform::DataFolder() and PluginFolder()).
    static PluginFolders FromEnvironment();

    // The library a stored path names: a bare name is looked up in the data folder, then the
    // plug-in folder; anything with a folder is used as it is.
    std::filesystem::path Resolve(const std::string& stored) const;
    // The path as stored: the bare file name when the library lies in one of the two folders,
    // the full path otherwise.
    std::string Shorten(const std::filesystem::path& library) const;
};

enum class PluginKind { Picture, Archive };

// One row of the options dialog's list: one pair of patterns and description of a plug-in.
struct PluginRow {
    std::string kind; // "f" or "a"
    std::string description;
    std::string extensions; // patterns joined by ","
    std::string path; // as stored
    bool enabled = true;
    friend bool operator==(const PluginRow&, const PluginRow&) = default;
};

// The rows a plug-in library describes (GetPluginInfo), each enabled; nothing when the library
// can't be loaded or is neither a picture nor an archive plug-in.
std::vector<PluginRow> ReadPluginRows(
    const std::filesystem::path& library, const PluginFolders& folders);

// Shows the plug-in's settings dialog. False when the library can't be loaded (the caller then
// shows kNotFoundMessage with the path); a plug-in without the entry is simply not asked.
bool ConfigurePlugin(const std::string& storedPath, const PluginFolders& folders, void* parent);

// One entry of a path list.
struct PluginPath {
    std::string path; // as stored
    bool failed = false;
};

// The plug-in that a walk settled on: loaded, with IsSupported present.
struct ChosenPlugin {
    SusiePlugin plugin;
    int pathIndex = -1; // in the path list of its kind
    int entryIndex = -1; // in the extension list of its kind
    std::string path; // as stored, for messages
};

class PluginRegistry {
public:
    static constexpr int kBuiltInCount = 5;

    explicit PluginRegistry(PluginFolders folders = PluginFolders::FromEnvironment());

    const PluginFolders& Folders() const { return m_folders; }

    // The plug-in list: its lines as stored, and whether it changed since it was loaded.
    const std::vector<std::string>& Lines() const { return m_lines; }
    bool Modified() const { return m_modified; }
    void SetModified(bool modified) { m_modified = modified; }
    // Replaces the list (tests, and programs that make their own), rebuilds and sets Modified.
    void SetLines(std::vector<std::string> lines);

    // Reads the list from `file` (a missing file gives an empty list), upgrades entries of the
    // old form (which sets Modified) and builds the lookup lists.
    void LoadPluginList(const std::filesystem::path& file);
    // The list file in the data folder.
    std::filesystem::path ListFile() const { return m_folders.dataFolder / "vtl.dat"; }
    void LoadPluginList() { LoadPluginList(ListFile()); }
    // Writes the list (lines ended by CR LF) when Modified is set, replacing the file in one step;
    // clears Modified. Throws std::system_error when the file can't be written.
    void SavePluginList(const std::filesystem::path& file);
    void SavePluginList() { SavePluginList(ListFile()); }

    // The dialog's view of the list, and its way back: rows with an empty description are
    // skipped; the lookup lists are rebuilt and Modified is set.
    std::vector<PluginRow> Rows() const;
    void SetRows(const std::vector<PluginRow>& rows);

    // Rebuilds the four lookup lists and the open-dialog filter; clears every failure mark.
    void BuildLookupLists();

    const TSpiStrings& PictureExtensions() const { return m_pictureExtensions; }
    const TSpiStrings& ArchiveExtensions() const { return m_archiveExtensions; }
    const std::vector<PluginPath>& PicturePaths() const { return m_picturePaths; }
    const std::vector<PluginPath>& ArchivePaths() const { return m_archivePaths; }
    const TSpiStrings& Extensions(PluginKind kind) const;
    const std::vector<PluginPath>& Paths(PluginKind kind) const;
    // The filter of the main open dialog ("description|patterns|...").
    const std::string& OpenFilter() const { return m_openFilter; }

    // The entry where the next walk of that kind starts (5 and 0 at first).
    int LastSuccessful(PluginKind kind) const;
    void SetLastSuccessful(PluginKind kind, int entry);

    void MarkFailed(PluginKind kind, int pathIndex);
    bool Failed(PluginKind kind, int pathIndex) const;
    void ClearFailureMarks();

    // The candidate walk: the first plug-in, in circular order from the last successful entry,
    // whose pattern matches the name, that isn't marked failed, loads, and has IsSupported.
    // Plug-ins that fail to load or lack IsSupported are marked failed on the way. The entry
    // found becomes the last successful one. Nothing when no usable plug-in claims the name.
    std::optional<ChosenPlugin> ChoosePlugin(PluginKind kind, const std::string& fileName);

private:
    std::vector<PluginPath>& MutablePaths(PluginKind kind);
    void UpgradeOldEntries();

    PluginFolders m_folders;
    std::vector<std::string> m_lines;
    bool m_modified = false;
    TSpiStrings m_pictureExtensions;
    TSpiStrings m_archiveExtensions;
    std::vector<PluginPath> m_picturePaths;
    std::vector<PluginPath> m_archivePaths;
    int m_lastPicture = kBuiltInCount;
    int m_lastArchive = 0;
    std::string m_openFilter;
};

// The lines that register the program's own plug-ins found in the plug-in folder, for a user
// who has no plug-in list yet.
std::vector<std::string> OwnPluginLines(const PluginFolders& folders);

// At first start: when the list file is missing, writes one that registers the program's own
// plug-ins. True when a file was written. Failures to write are swallowed (the program runs
// without plug-ins then).
bool RegisterOwnPluginsIfMissing(const PluginFolders& folders);

} // namespace vtl::input
