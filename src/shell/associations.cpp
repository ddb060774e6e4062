#include "shell/associations.h"

#include "app/comma_text.h"
#include "platform/environment.h"

#include <algorithm>

namespace vtl::shell {

using platform::Registry;
using platform::RegistryRoot;

namespace {

    constexpr RegistryRoot kClasses = RegistryRoot::ClassesRoot;

    char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

    std::string LowerCase(std::string_view text)
    {
        std::string out(text);
        std::transform(out.begin(), out.end(), out.begin(), Lower);
        return out;
    }

    bool SameText(std::string_view a, std::string_view b) { return LowerCase(a) == LowerCase(b); }

    // An extension names one key directly below the root: it begins with its dot and holds no
    // key separator. A plug-in list edited by hand could offer "*.a\b", which would otherwise
    // write into the key of another extension.
    bool UsableExtension(std::string_view extension)
    {
        return !extension.empty() && extension.front() == '.'
            && extension.find('\\') == std::string_view::npos;
    }

    // The identifier without its extension part is "vtl": one of the program's identifiers.
    bool IsOwnIdentifier(std::string_view identifier)
    {
        const size_t dot = identifier.rfind('.');
        if (dot != std::string_view::npos && identifier.find('\\', dot) == std::string_view::npos)
            identifier = identifier.substr(0, dot);
        return SameText(identifier, "vtl");
    }

    struct BuiltIn {
        const char* extension;
        int description;
    };
    constexpr const char* kBuiltInDescriptions[]
        = { "ビットマップ イメージ", "JPEG イメージ", "PNG イメージ" };
    constexpr BuiltIn kBuiltIns[] = { { ".bmp", 0 }, { ".jpg", 1 }, { ".jpeg", 1 }, { ".png", 2 } };

} // namespace

const std::string& ExtensionList::DescriptionOf(size_t entry) const
{
    return descriptions.at(static_cast<size_t>(entries.at(entry).description));
}

int ExtensionList::IndexOf(std::string_view extension) const
{
    for (size_t i = 0; i < entries.size(); ++i)
        if (entries[i].extension == extension)
            return static_cast<int>(i);
    return -1;
}

ExtensionList BuildExtensionList(const std::vector<std::string>& pluginLines)
{
    ExtensionList list;
    for (const char* description : kBuiltInDescriptions)
        list.descriptions.emplace_back(description);
    for (const BuiltIn& b : kBuiltIns)
        list.entries.push_back({ b.extension, b.description });

    for (const std::string& line : pluginLines) {
        const auto fields = app::SplitCommaText(line);
        if (fields.size() <= 2 || fields.back() == "x")
            continue; // not a plug-in line, or a plug-in switched off
        const int description = static_cast<int>(list.descriptions.size());
        for (size_t i = 0; i + 2 < fields.size(); ++i) {
            const std::string& field = fields[i];
            if (field.size() < 2 || field[0] != '*' || field[1] != '.')
                continue;
            std::string extension = LowerCase(std::string_view(field).substr(1));
            if (UsableExtension(extension) && list.IndexOf(extension) < 0)
                list.entries.push_back({ std::move(extension), description });
        }
        // The description is kept even when all its extensions were listed already, so that
        // the indices stay those of the plug-ins.
        list.descriptions.push_back(fields[fields.size() - 2]);
    }
    return list;
}

std::string ProgramIdentifier(std::string_view extension) { return "vtl" + std::string(extension); }

std::filesystem::path AssociatedProgram() { return platform::ProgramFolder() / "vtl"; }

OpenCommand OpenCommandFor(const std::filesystem::path& program)
{
    const std::string quoted = "\"" + program.string() + "\"";
    return { quoted + ",0", quoted + " -n", "\"%1\"", "vtl", "OpenGraphic" };
}

void Associate(platform::Registry& registry, const std::string& extension,
    const std::string& description, const std::filesystem::path& program)
{
    if (!UsableExtension(extension))
        return;
    const std::string identifier = ProgramIdentifier(extension);
    const std::string old = registry.ReadString(kClasses, extension, "").value_or("");
    // Identifiers are key names, which compare without regard to case: "VTL.JPG" is ours already
    // and must not become the backup of itself.
    if (!SameText(old, identifier)) {
        registry.WriteString(kClasses, extension, "", identifier);
        if (!old.empty())
            registry.WriteString(kClasses, extension, kBackupValue, old);
    }

    if (registry.KeyExists(kClasses, identifier))
        return;
    const OpenCommand open = OpenCommandFor(program);
    registry.WriteString(kClasses, identifier, "", description);
    registry.WriteString(kClasses, identifier + "\\DefaultIcon", "", open.icon);
    registry.WriteString(kClasses, identifier + "\\shell\\open\\command", "", open.command);
    registry.WriteString(kClasses, identifier + "\\shell\\open\\ddeexec", "", open.ddeMacro);
    registry.WriteString(
        kClasses, identifier + "\\shell\\open\\ddeexec\\Application", "", open.ddeApplication);
    registry.WriteString(kClasses, identifier + "\\shell\\open\\ddeexec\\Topic", "", open.ddeTopic);
}

void Unassociate(platform::Registry& registry, const std::string& extension)
{
    if (!UsableExtension(extension) || !registry.KeyExists(kClasses, extension))
        return;
    const std::string current = registry.ReadString(kClasses, extension, "").value_or("");
    const auto backup = registry.ReadString(kClasses, extension, kBackupValue);
    if (!IsOwnIdentifier(current))
        return; // another program owns it now

    if (backup) {
        registry.WriteString(kClasses, extension, "", *backup);
        registry.DeleteValue(kClasses, extension, kBackupValue);
    } else if (registry.KeyExists(kClasses, extension + "\\ShellEx")) {
        registry.WriteString(kClasses, extension, "", "");
    } else {
        registry.DeleteKey(kClasses, extension);
    }
    registry.DeleteKey(kClasses, ProgramIdentifier(extension));
}

std::vector<std::string> SavedExtensions(const platform::Registry& registry)
{
    const auto saved = registry.ReadString(RegistryRoot::LocalMachine, kProgramKey, kShellValue);
    if (!saved || saved->empty())
        return {};
    return app::SplitCommaText(*saved);
}

std::vector<bool> LoadSavedState(platform::Registry& registry, const ExtensionList& list)
{
    std::vector<bool> checked(list.Size(), false);
    for (const std::string& extension : SavedExtensions(registry)) {
        const int index = list.IndexOf(extension);
        if (index >= 0)
            checked[static_cast<size_t>(index)] = true;
        else
            Unassociate(registry, extension);
    }
    return checked;
}

void ApplyAssociations(platform::Registry& registry, const ExtensionList& list,
    const std::vector<bool>& checked, const std::filesystem::path& program)
{
    std::vector<std::string> associated;
    for (size_t i = 0; i < list.Size(); ++i) {
        const std::string& extension = list.entries[i].extension;
        if (i < checked.size() && checked[i]) {
            associated.push_back(extension);
            Associate(registry, extension, list.DescriptionOf(i), program);
        } else {
            Unassociate(registry, extension);
        }
    }
    registry.WriteString(
        RegistryRoot::LocalMachine, kProgramKey, kShellValue, app::JoinCommaText(associated));
}

} // namespace vtl::shell
