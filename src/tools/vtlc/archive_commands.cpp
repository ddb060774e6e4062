#include "tools/vtlc/archive_commands.h"

#include "input/archive_access.h"
#include "input/picture_loader.h"
#include "input/plugin_registry.h"
#include "tools/vtlc/picture_reading.h"

#include <cstdio>
#include <filesystem>
#include <stdexcept>

namespace vtl::tools {

namespace {
    void Check(const input::ArchiveResult& result, const std::string& archive)
    {
        if (result.outcome == input::ArchiveOutcome::Broken)
            throw std::runtime_error(result.message);
        if (result.outcome == input::ArchiveOutcome::Nothing)
            throw std::runtime_error(archive + ": no archive plug-in reads this file");
    }
}

int ListCommand(const CommandLine& line)
{
    const std::string& archive = line.operands[0];
    RequireFile(archive);
    input::PluginRegistry registry = LoadedRegistry();
    std::vector<input::ArchiveMember> members;
    // Only members that decode as pictures are listed, as the archive window shows them.
    auto result = input::ListArchive(registry, archive, input::DecodeContext::FromEnvironment(), {}, members);
    Check(result, archive);
    for (const auto& m : members)
        std::printf("%u %u %s\n", m.position, m.size, m.name.c_str());
    return 0;
}

int ExtractCommand(const CommandLine& line)
{
    const std::string& archive = line.operands[0];
    const std::string& member = line.operands[1];
    RequireFile(archive);
    input::PluginRegistry registry = LoadedRegistry();
    std::vector<input::ArchiveMember> members;
    Check(input::ReadArchiveMembers(registry, archive, members), archive);
    auto found = input::FindMember(members, member);
    if (!found)
        throw std::runtime_error(archive + ": no member named " + member);
    Check(input::SaveMember(registry, archive, found->position, found->size, line.operands[2]), archive);
    return 0;
}

} // namespace vtl::tools
