#pragma once
// The desktop's side of the file associations: what a Linux desktop reads instead of
// HKEY_CLASSES_ROOT. An associated extension makes vtl's desktop entry ("vtl.desktop") the default
// application of the extension's MIME type in the user's mimeapps.list; taking the extension back
// puts back the default that was there before. That previous default is kept in the registry beside
// the association's own backup, as the value "vtl.mimeapps.bak" of the extension's key (empty when
// the type had no default of the user's). Nothing is written outside the user's XDG folders.

#include "platform/registry.h"

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vtl::shell {

inline constexpr const char* kDesktopId = "vtl.desktop";
inline constexpr const char* kMimeBackupValue = "vtl.mimeapps.bak";
inline constexpr const char* kDefaultsSection = "[Default Applications]";

// The user's XDG base folders.
struct XdgFolders {
    std::filesystem::path configHome; // $XDG_CONFIG_HOME, else ~/.config
    std::filesystem::path dataHome; // $XDG_DATA_HOME, else ~/.local/share
    std::vector<std::filesystem::path>
        dataDirs; // $XDG_DATA_DIRS, else /usr/local/share, /usr/share

    static XdgFolders FromEnvironment();
    std::filesystem::path MimeAppsFile() const { return configHome / "mimeapps.list"; }
    std::filesystem::path ApplicationsFolder() const { return dataHome / "applications"; }
    std::filesystem::path MimeFolder() const { return dataHome / "mime"; }
};

// mimeapps.list as the lines it was read with. Only lines of "[Default Applications]" are ever
// changed; every other line, section, comment or damaged line is written back as it came.
class MimeAppsList {
public:
    static MimeAppsList Parse(std::string_view text);
    std::string Text() const;

    // The value of "type=" in the defaults section ("a.desktop;b.desktop;"), or nullopt.
    std::optional<std::string> Default(std::string_view type) const;
    // Replaces the type's line in the defaults section, or adds one (and the section) when missing.
    void SetDefault(std::string_view type, std::string_view value);
    // Removes the type's lines from the defaults section.
    void RemoveDefault(std::string_view type);

private:
    // The lines of the defaults section whose key is `type` (indices into m_lines).
    std::vector<size_t> LinesOf(std::string_view type) const;

    std::vector<std::string> m_lines;
    bool m_finalNewline = true;
};

// The first desktop id of a mimeapps.list value is vtl's.
bool IsOwnDefault(std::string_view value);

// The MIME type the program gives an extension: `known` (what the shared MIME database says) when
// it isn't empty, else the program's own table for its built-in formats, else a type of its own,
// "image/x-vtl-<ext>" for pictures or "application/x-vtl-<ext>" for archives, which a package of
// ours declares. Empty for an extension that can't name a type.
struct ExtensionType {
    std::string type;
    bool own = false; // a type of ours, unknown to the database until our package declares it
};
ExtensionType TypeOfExtension(std::string_view extension, std::string_view known, bool archive);

// The extensions of the plug-in list's archive plug-ins (lines whose kind is "a").
std::vector<std::string> ArchiveExtensions(const std::vector<std::string>& pluginLines);

// What the association step wants for the type of one extension.
enum class DesktopWish {
    Default, // ticked: vtl becomes the type's default
    Keep, // still associated, not changed in this step: the type stays vtl's if it is
    Release, // unticked or vanished: the previous default comes back
};
struct DesktopExtension {
    std::string extension; // ".jpg"
    std::string type; // "image/jpeg"; empty: nothing to do on the desktop
    bool ownType = false;
    std::string description; // the file type description, for a type of our own
    DesktopWish wish = DesktopWish::Keep;
};

// The previous defaults recorded for the types of `entries`: type -> value. Read before the
// association step, which may delete the keys that hold them.
std::map<std::string, std::string> ReadMimeBackups(
    const platform::Registry& registry, const std::vector<DesktopExtension>& entries);

struct DesktopResult {
    // mimeapps.list could not be read or written (or vtl's entry not installed): the file is as
    // it was, and the association step should not go ahead, so that registry and desktop agree.
    bool failed = false;
    bool mimeAppsWritten = false;
    bool entryInstalled = false;
    bool databaseRefreshed = false;
    std::vector<std::string> problems; // messages for the user; empty when all went well
    // The previous defaults to record once the association step has run: type -> value.
    std::map<std::string, std::string> records;
};

// Makes mimeapps.list follow `entries`: a type with a ticked extension gets vtl's entry as default
// (its previous default recorded), a type none of whose extensions is still associated gets its
// previous default back (or loses vtl's line when there was none), and a type that another program
// took over meanwhile is left alone. vtl's desktop entry is installed into the user's applications
// folder when no data folder has one, and types of our own get a package and a refreshed MIME
// database. `opener` is the program the entry runs (vtl-open). The registry is not touched: the
// caller runs the association step and then RecordMimeBackups with the result's records.
DesktopResult ApplyDesktopDefaults(const XdgFolders& xdg,
    const std::vector<DesktopExtension>& entries, const std::map<std::string, std::string>& backups,
    const std::filesystem::path& opener);

// Puts each record on the first extension of its type whose key exists (an associated one
// first) and removes the value from the other extensions of `entries`.
void RecordMimeBackups(platform::Registry& registry, const std::vector<DesktopExtension>& entries,
    const std::map<std::string, std::string>& records);

// The desktop entry that the user's applications folder receives: runs `opener` with the files,
// declares `types`.
std::string DesktopEntryText(
    const std::filesystem::path& opener, const std::vector<std::string>& types);

// The shared MIME database package that declares one type of our own.
std::string MimePackageText(
    std::string_view type, std::string_view extension, std::string_view description);

// The helper the desktop runs: vtl-open beside the program, or in a build tree the one the build
// made.
std::filesystem::path OpenerProgram();

} // namespace vtl::shell
