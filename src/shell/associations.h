#pragma once
// File associations: which extensions the desktop opens with this program, kept in the program's
// registry. An extension's key (HKEY_CLASSES_ROOT\.jpg) names the program identifier "vtl.jpg";
// the identifier's key carries the description, the icon and the open command, which starts the
// program with "-n" and hands the file over as the macro "%1" on the OpenGraphic conversation
// (what the helper vtl-open does). The extension's previous identifier is kept in the value
// "vtl.bak" and put back when the association is removed. The extensions associated last are
// listed in HKEY_LOCAL_MACHINE\SOFTWARE\Tamsol\vtl, value "shell".

#include "platform/registry.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vtl::shell {

inline constexpr const char* kProgramKey = "SOFTWARE\\Tamsol\\vtl"; // under HKEY_LOCAL_MACHINE
inline constexpr const char* kShellValue = "shell";
inline constexpr const char* kBackupValue = "vtl.bak";

// The extensions the program can read, in the order the dialog lists them, and their file type
// descriptions.
struct ExtensionList {
    struct Entry {
        std::string extension; // with its leading dot, lower case
        int description = 0; // index into descriptions
    };
    std::vector<std::string> descriptions;
    std::vector<Entry> entries;

    const std::string& DescriptionOf(size_t entry) const;
    // The entry of `extension` (compared exactly, as the list holds it), or -1.
    int IndexOf(std::string_view extension) const;
    size_t Size() const { return entries.size(); }
};

// The built-in .bmp, .jpg, .jpeg and .png, then every extension of the enabled plug-ins of the
// plug-in list (its lines as stored). An extension already listed isn't added again and keeps its
// description.
ExtensionList BuildExtensionList(const std::vector<std::string>& pluginLines);

// "vtl" followed by the extension: "vtl.jpg" for ".jpg".
std::string ProgramIdentifier(std::string_view extension);

// The program the associations start: "vtl" in the program folder, whatever the running file is
// called.
std::filesystem::path AssociatedProgram();

// The values written under a program identifier for `program`.
struct OpenCommand {
    std::string icon; // "\"/path/vtl\",0": the program's first icon
    std::string command; // "\"/path/vtl\" -n": starts the program without opening anything
    std::string ddeMacro; // "\"%1\"": the file, sent on the conversation
    std::string ddeApplication; // "vtl"
    std::string ddeTopic; // "OpenGraphic"
};
OpenCommand OpenCommandFor(const std::filesystem::path& program);

// Makes the shell open `extension` with the program. A previous owner is kept in "vtl.bak"; the
// identifier's key is created when it is missing and left alone when it exists.
void Associate(platform::Registry& registry, const std::string& extension,
    const std::string& description, const std::filesystem::path& program = AssociatedProgram());

// Takes `extension` back from the program when it is still the program's: the previous owner is
// restored, or the extension's key removed (only emptied when it has a ShellEx subkey); the
// identifier's key is deleted. An extension now owned by another program is left alone.
void Unassociate(platform::Registry& registry, const std::string& extension);

// The extensions listed in the "shell" value (empty when it is missing).
std::vector<std::string> SavedExtensions(const platform::Registry& registry);

// The state the dialog opens with: true for each entry listed in "shell". Saved extensions that
// are no longer in the list (their plug-in was removed or switched off) are unassociated here.
std::vector<bool> LoadSavedState(platform::Registry& registry, const ExtensionList& list);

// Associates the checked entries and unassociates the others, in list order, then writes the
// checked extensions, comma-separated, as "shell" (possibly empty).
void ApplyAssociations(platform::Registry& registry, const ExtensionList& list,
    const std::vector<bool>& checked, const std::filesystem::path& program = AssociatedProgram());

} // namespace vtl::shell
