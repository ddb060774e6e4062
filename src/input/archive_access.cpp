#include "input/archive_access.h"

#include "app/settings.h"
#include "platform/atomic_file.h"
#include "platform/byte_reader.h"

#include <algorithm>
#include <cstring>

namespace vtl::input {

namespace fs = std::filesystem;

std::string MemberDisplayName(const std::string& path, const std::string& fileName)
{
    if (path.empty())
        return fileName;
    char last = path.back();
    // Plug-ins written for the old system end folders with "\"; ours with "/".
    if (last == '\\' || last == ':' || last == '/')
        return path + fileName;
    return path + "/" + fileName;
}

namespace {
    std::string TextField(std::span<const uint8_t> bytes)
    {
        auto end = std::find(bytes.begin(), bytes.end(), uint8_t(0));
        return std::string(bytes.begin(), end);
    }
} // namespace

std::vector<ArchiveMember> ParseMemberList(std::span<const uint8_t> block)
{
    std::vector<ArchiveMember> members;
    platform::ByteReader reader(block);
    // A list without a terminator ends where the block ends.
    while (reader.Remaining() >= SPI_FILE_INFO_SIZE) {
        platform::ByteReader record(reader.Take(SPI_FILE_INFO_SIZE));
        auto method = record.Take(8);
        if (method[0] == 0)
            break;
        ArchiveMember member;
        member.position = record.u32le();
        record.Skip(4); // compressed size
        member.size = record.u32le();
        record.Skip(4); // time stamp
        std::string path = TextField(record.Take(SPI_FILE_INFO_TEXT_SIZE));
        member.fileName = TextField(record.Take(SPI_FILE_INFO_TEXT_SIZE));
        member.name = MemberDisplayName(path, member.fileName);
        members.push_back(std::move(member));
    }
    return members;
}

std::optional<ChosenPlugin> ChooseArchivePlugin(PluginRegistry& registry, const fs::path& archive)
{
    auto chosen = registry.ChoosePlugin(PluginKind::Archive, archive.string());
    if (!chosen)
        return std::nullopt;
    // The first usable plug-in decides, even when it declines.
    if (!chosen->plugin.IsSupportedFile(archive))
        return std::nullopt;
    return chosen;
}

namespace {

    // The plug-in for an operation that needs GetFile; Broken (and a failure mark) without it.
    std::optional<ChosenPlugin> ChooseForExtraction(
        PluginRegistry& registry, const fs::path& archive, ArchiveResult& result)
    {
        auto chosen = ChooseArchivePlugin(registry, archive);
        if (!chosen)
            return std::nullopt;
        if (!chosen->plugin.HasGetFile()) {
            registry.MarkFailed(PluginKind::Archive, chosen->pathIndex);
            result.outcome = ArchiveOutcome::Broken;
            result.message = FormatMessage(kPluginBrokenMessage, chosen->path);
            return std::nullopt;
        }
        return chosen;
    }

    // The first `size` bytes of a member's block, never more than the block holds.
    std::span<const uint8_t> MemberBytes(const PluginBlock& block, uint32_t size)
    {
        return block.Bytes().first(std::min<size_t>(block.Size(), size));
    }

} // namespace

ArchiveResult ListArchive(PluginRegistry& registry, const fs::path& archive,
    const DecodeContext& context, const ArchiveMemberSink& sink,
    std::vector<ArchiveMember>& members, const std::function<void()>& listing)
{
    ArchiveResult result;
    members.clear();
    auto chosen = ChooseArchivePlugin(registry, archive);
    if (!chosen)
        return result;
    const SusiePlugin& plugin = chosen->plugin;
    if (!plugin.HasGetArchiveInfo())
        return result;
    if (!plugin.HasGetFile()) {
        registry.MarkFailed(PluginKind::Archive, chosen->pathIndex);
        result.outcome = ArchiveOutcome::Broken;
        result.message = FormatMessage(kPluginBrokenMessage, chosen->path);
        return result;
    }
    const PluginSource source = PluginSource::File(archive);
    std::vector<ArchiveMember> records;
    {
        PluginBlock list;
        if (plugin.GetArchiveInfo(source, list) != SPI_SUCCESS)
            return result;
        records = ParseMemberList(list.Bytes());
    }
    if (listing)
        listing();
    for (const ArchiveMember& record : records) {
        // A cache line ends at a line break, as a folder's does: such a name is never listed.
        if (record.name.find_first_of("\r\n") != std::string::npos)
            continue;
        context.Status(record.name);
        PluginBlock data;
        if (plugin.GetFile(source, record.position, data) != SPI_SUCCESS)
            continue;
        document::TDIB picture;
        MemoryDecode decoded = DecodeFromMemory(
            registry, picture, MemberBytes(data, record.size), record.fileName, false, context);
        data.Reset();
        // Archives may hold anything; only pictures are listed.
        if (decoded != MemoryDecode::Picture)
            continue;
        if (!sink || sink(record, picture))
            members.push_back(record);
    }
    context.Status("");
    if (!members.empty())
        result.outcome = ArchiveOutcome::Done;
    return result;
}

ArchiveResult ReadArchiveMembers(
    PluginRegistry& registry, const fs::path& archive, std::vector<ArchiveMember>& members)
{
    ArchiveResult result;
    members.clear();
    auto chosen = ChooseArchivePlugin(registry, archive);
    if (!chosen || !chosen->plugin.HasGetArchiveInfo())
        return result;
    PluginBlock list;
    if (chosen->plugin.GetArchiveInfo(PluginSource::File(archive), list) != SPI_SUCCESS)
        return result;
    members = ParseMemberList(list.Bytes());
    result.outcome = ArchiveOutcome::Done;
    return result;
}

std::optional<ArchiveMember> FindMember(
    const std::vector<ArchiveMember>& members, const std::string& name)
{
    for (const auto& member : members)
        if (member.name == name)
            return member;
    return std::nullopt;
}

ArchiveResult ExtractMember(PluginRegistry& registry, const fs::path& archive, uint32_t position,
    uint32_t size, std::vector<uint8_t>& bytes)
{
    ArchiveResult result;
    auto chosen = ChooseForExtraction(registry, archive, result);
    if (!chosen)
        return result;
    PluginBlock data;
    if (chosen->plugin.GetFile(PluginSource::File(archive), position, data) != SPI_SUCCESS)
        return result;
    auto span = MemberBytes(data, size);
    bytes.assign(span.begin(), span.end());
    result.outcome = ArchiveOutcome::Done;
    return result;
}

ArchiveResult OpenMember(PluginRegistry& registry, const fs::path& archive, const std::string& name,
    uint32_t size, uint32_t position, document::TDIB& picture, const DecodeContext& context)
{
    ThrowIfLoadFailureArmed(archive);
    ArchiveResult result;
    std::error_code ec;
    if (!fs::exists(archive, ec))
        return result;
    auto chosen = ChooseForExtraction(registry, archive, result);
    if (!chosen)
        return result;
    PluginBlock data;
    if (chosen->plugin.GetFile(PluginSource::File(archive), position, data) != SPI_SUCCESS)
        return result;
    // The archive plug-in goes before the member is decoded, perhaps by a picture plug-in.
    chosen.reset();
    document::TDIB decoded;
    if (DecodeFromMemory(registry, decoded, MemberBytes(data, size), name, true, context)
        != MemoryDecode::Picture)
        return result;
    picture.Assign(decoded);
    result.outcome = ArchiveOutcome::Done;
    return result;
}

namespace {
    // The extension of the last part of a name, with its dot; empty when there is none.
    std::string MemberExtension(const std::string& name)
    {
        size_t folder = name.find_last_of("/\\:");
        size_t dot = name.find_last_of('.');
        if (dot == std::string::npos || (folder != std::string::npos && dot < folder))
            return {};
        return name.substr(dot);
    }
} // namespace

SaveMemberDialogSetup SaveMemberDialog(const std::string& memberName)
{
    std::string extension = MemberExtension(memberName);
    SaveMemberDialogSetup setup;
    if (extension.size() > 1) {
        setup.defaultExtension = extension.substr(1);
        setup.filter = "保存形式|*" + extension;
    } else {
        setup.filter = "保存形式|*.";
    }
    return setup;
}

fs::path SaveMemberTarget(const fs::path& chosen, const std::string& memberName)
{
    fs::path target = chosen;
    target.replace_extension(MemberExtension(memberName));
    return target;
}

ArchiveResult SaveMember(PluginRegistry& registry, const fs::path& archive, uint32_t position,
    uint32_t size, const fs::path& target)
{
    std::vector<uint8_t> bytes;
    ArchiveResult result = ExtractMember(registry, archive, position, size, bytes);
    if (result.outcome != ArchiveOutcome::Done)
        return result;
    platform::WriteFileAtomically(
        target, std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
    return result;
}

// ---- archive cache lines ----

std::string FormatArchiveCacheLine(const ArchiveMember& member)
{
    // Positions and sizes are written as the signed 32-bit numbers the list keeps.
    return std::to_string(static_cast<int32_t>(member.position)) + ","
        + std::to_string(static_cast<int32_t>(member.size)) + "," + member.name;
}

namespace {
    uint32_t CacheNumber(const std::string& text)
    {
        auto value = app::StrToInt(text);
        if (!value)
            throw EConvertError("'" + text + "' is not a valid integer value");
        return static_cast<uint32_t>(*value);
    }
} // namespace

std::optional<std::vector<ArchiveMember>> ParseArchiveCacheLines(
    const std::vector<std::string>& lines)
{
    if (lines.empty() || lines.front() != kArchiveCacheMarker)
        return std::nullopt;
    std::vector<ArchiveMember> members;
    for (size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        size_t first = line.find(',');
        size_t second = first == std::string::npos ? first : line.find(',', first + 1);
        if (second == std::string::npos)
            return std::vector<ArchiveMember> {};
        ArchiveMember member;
        member.position = CacheNumber(line.substr(0, first));
        member.size = CacheNumber(line.substr(first + 1, second - first - 1));
        member.name = line.substr(second + 1);
        member.fileName = member.name;
        members.push_back(std::move(member));
    }
    return members;
}

} // namespace vtl::input
