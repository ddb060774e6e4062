#pragma once
// Archives through archive plug-ins, without windows: choosing the plug-in, listing the members
// that decode as pictures, extracting one member to memory, opening it as a picture, saving its
// bytes, and the member lines of an archive cache.

#include "document/dib.h"
#include "input/picture_loader.h"
#include "input/plugin_registry.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

namespace vtl::input {

// One member as the program keeps it: display name, the position GetFile takes back, and the
// unpacked size.
struct ArchiveMember {
    std::string name;
    uint32_t position = 0;
    uint32_t size = 0;
    std::string fileName; // the record's file-name field, by which the member is decoded
    friend bool operator==(const ArchiveMember&, const ArchiveMember&) = default;
};

// The display name of a member record: the file name alone when the path is empty; path, "/"
// and file name when the path ends with a name part; else path and file name.
std::string MemberDisplayName(const std::string& path, const std::string& fileName);

// The member records of a GetArchiveInfo block, up to the terminating record or the end of the
// block, whichever comes first; a partial record at the end is ignored. Text fields end at their
// first zero byte or after 200 bytes.
std::vector<ArchiveMember> ParseMemberList(std::span<const uint8_t> block);

enum class ArchiveOutcome {
    Nothing, // no plug-in, a declining plug-in, a failing call: silently nothing
    Broken, // show `message` ("%s がおかしい。"); the plug-in has been marked failed
    Done,
};

struct ArchiveResult {
    ArchiveOutcome outcome = ArchiveOutcome::Nothing;
    std::string message;
};

// The archive plug-in for the file: the candidate walk on the archive lists, then IsSupported
// with the opened archive. Nothing when none is usable or the one chosen declines.
std::optional<ChosenPlugin> ChooseArchivePlugin(
    PluginRegistry& registry, const std::filesystem::path& archive);

// Called for each member that decoded as a picture: add it to the window's store and return
// whether the store took it (only those are listed). The window also lets pending events run here.
using ArchiveMemberSink = std::function<bool(const ArchiveMember& member, document::TDIB& picture)>;

// Lists the archive: every member is extracted and decoded as a thumbnail picture (full
// cleared); the ones the sink accepts end up in `members`. A member whose name holds a line
// break is left out: its name could not be a line of the archive's cache. The status panel shows
// each display name. `listing` runs once a plug-in has taken the archive and listed its members,
// before the first is extracted (the window shows its extraction dialog then). Done when at
// least one member was listed.
ArchiveResult ListArchive(PluginRegistry& registry, const std::filesystem::path& archive,
    const DecodeContext& context, const ArchiveMemberSink& sink,
    std::vector<ArchiveMember>& members, const std::function<void()>& listing = {});

// Every member of the archive as the plug-in lists it, pictures or not, without extracting
// anything (for tools that pick a member by name).
ArchiveResult ReadArchiveMembers(PluginRegistry& registry, const std::filesystem::path& archive,
    std::vector<ArchiveMember>& members);

// The first member whose display name is `name`, or nothing.
std::optional<ArchiveMember> FindMember(
    const std::vector<ArchiveMember>& members, const std::string& name);

// The bytes of the member at `position`: at most `size` bytes, and never more than the plug-in's
// block holds.
ArchiveResult ExtractMember(PluginRegistry& registry, const std::filesystem::path& archive,
    uint32_t position, uint32_t size, std::vector<uint8_t>& bytes);

// Extracts the member and decodes it (full set) by `name`. Done only when a picture was made.
ArchiveResult OpenMember(PluginRegistry& registry, const std::filesystem::path& archive,
    const std::string& name, uint32_t size, uint32_t position, document::TDIB& picture,
    const DecodeContext& context);

// The save dialog's setup for a member: default extension and filter ("保存形式|*.ext", or
// "保存形式|*." for a name without extension).
struct SaveMemberDialogSetup {
    std::string defaultExtension;
    std::string filter;
};
SaveMemberDialogSetup SaveMemberDialog(const std::string& memberName);

// The file a member is saved as: the chosen name with its extension replaced by the member's.
std::filesystem::path SaveMemberTarget(
    const std::filesystem::path& chosen, const std::string& memberName);

// Extracts the member and writes its bytes, unchanged, to `target` (replaced in one step).
// Throws std::system_error when the file can't be written.
ArchiveResult SaveMember(PluginRegistry& registry, const std::filesystem::path& archive,
    uint32_t position, uint32_t size, const std::filesystem::path& target);

// ---- archive cache lines ----

inline constexpr const char* kArchiveCacheMarker = "%vtl_a%";

// The framework's conversion error for a text that isn't an integer.
class EConvertError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// "position,size,name" (the name may hold commas).
std::string FormatArchiveCacheLine(const ArchiveMember& member);

// The members of an archive cache's lines: nothing when the first line isn't the marker; an
// empty list when a line lacks two commas (parsing stops there). Throws EConvertError when a
// position or size isn't a number.
std::optional<std::vector<ArchiveMember>> ParseArchiveCacheLines(
    const std::vector<std::string>& lines);

} // namespace vtl::input
