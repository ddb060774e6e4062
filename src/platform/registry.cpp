#include "platform/registry.h"

#include "platform/atomic_file.h"
#include "platform/environment.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>

namespace vtl::platform {

namespace {
    constexpr size_t kMaxRegistryFile = 64 << 20; // a settings file is never this large

    char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

    bool SameText(std::string_view a, std::string_view b)
    {
        return a.size() == b.size()
            && std::equal(
                a.begin(), a.end(), b.begin(), [](char x, char y) { return Lower(x) == Lower(y); });
    }

    std::string_view TrimSlashes(std::string_view key)
    {
        while (!key.empty() && key.front() == '\\')
            key.remove_prefix(1);
        while (!key.empty() && key.back() == '\\')
            key.remove_suffix(1);
        return key;
    }

    // `child` lies below `parent` (or is it, when `orSelf`).
    bool IsBelow(std::string_view child, std::string_view parent, bool orSelf)
    {
        if (parent.empty())
            return orSelf || !child.empty();
        if (child.size() < parent.size() || !SameText(child.substr(0, parent.size()), parent))
            return false;
        if (child.size() == parent.size())
            return orSelf;
        return child[parent.size()] == '\\';
    }

    std::string Quote(std::string_view text)
    {
        std::string out = "\"";
        for (char c : text) {
            if (c == '\\' || c == '"')
                out += '\\';
            if (c == '\n') {
                out += "\\n";
                continue;
            }
            out += c;
        }
        out += '"';
        return out;
    }

    // Reads a quoted string at the start of `line`; advances past it. nullopt when malformed.
    std::optional<std::string> Unquote(std::string_view& line)
    {
        if (line.empty() || line.front() != '"')
            return std::nullopt;
        std::string out;
        for (size_t i = 1; i < line.size(); ++i) {
            char c = line[i];
            if (c == '"') {
                line.remove_prefix(i + 1);
                return out;
            }
            if (c == '\\' && i + 1 < line.size()) {
                char next = line[++i];
                out += next == 'n' ? '\n' : next;
                continue;
            }
            out += c;
        }
        return std::nullopt;
    }
}

std::string_view RootName(RegistryRoot root)
{
    switch (root) {
    case RegistryRoot::CurrentUser:
        return "HKEY_CURRENT_USER";
    case RegistryRoot::ClassesRoot:
        return "HKEY_CLASSES_ROOT";
    case RegistryRoot::LocalMachine:
        return "HKEY_LOCAL_MACHINE";
    }
    return "";
}

Registry::Registry(std::filesystem::path folder)
    : m_folder(std::move(folder))
{
    for (auto root :
        { RegistryRoot::CurrentUser, RegistryRoot::ClassesRoot, RegistryRoot::LocalMachine })
        Load(root);
}

std::filesystem::path Registry::DefaultFolder()
{
    if (const char* dir = std::getenv("VTL_REGISTRY_DIR"); dir && *dir)
        return dir;
    return DataFolder();
}

std::filesystem::path Registry::FilePath(RegistryRoot root) const
{
    return m_folder / (std::string(RootName(root)) + ".reg");
}

void Registry::Load(RegistryRoot root)
{
    std::ifstream in(FilePath(root), std::ios::binary);
    if (!in)
        return;
    std::string text;
    char buffer[65536];
    while (in.read(buffer, sizeof buffer) || in.gcount() > 0) {
        text.append(buffer, static_cast<size_t>(in.gcount()));
        if (text.size() > kMaxRegistryFile)
            return; // not a file this program wrote: read as empty
    }
    Parse(root, text);
}

void Registry::Parse(RegistryRoot root, std::string_view text)
{
    // Anything that isn't a key line or a string value line is skipped, so a damaged file
    // yields what can still be read and defaults for the rest.
    const std::string_view rootName = RootName(root);
    Key* current = nullptr;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.empty())
            continue;
        if (line.front() == '[') {
            current = nullptr;
            if (line.back() != ']' || line.size() < 2 || line[1] == '-')
                continue;
            std::string_view full = line.substr(1, line.size() - 2);
            if (!IsBelow(full, rootName, true))
                continue;
            current = &MakeKey(root, full.substr(rootName.size()));
            continue;
        }
        if (!current)
            continue;
        std::string name;
        if (line.front() == '@') {
            line.remove_prefix(1);
        } else {
            auto quoted = Unquote(line);
            if (!quoted || quoted->empty())
                continue;
            name = std::move(*quoted);
        }
        if (line.empty() || line.front() != '=')
            continue;
        line.remove_prefix(1);
        auto data = Unquote(line); // dword:, hex: and other kinds are not strings: skipped
        if (!data || !line.empty())
            continue;
        auto it = std::find_if(current->values.begin(), current->values.end(),
            [&](const Value& v) { return SameText(v.name, name); });
        if (it != current->values.end())
            it->data = std::move(*data);
        else
            current->values.push_back({ std::move(name), std::move(*data) });
    }
    HiveOf(root).dirty = false;
}

const Registry::Key* Registry::FindKey(RegistryRoot root, std::string_view key) const
{
    key = TrimSlashes(key);
    for (const Key& k : HiveOf(root).keys)
        if (SameText(k.path, key))
            return &k;
    return nullptr;
}

Registry::Key& Registry::MakeKey(RegistryRoot root, std::string_view key)
{
    key = TrimSlashes(key);
    if (Key* k = FindKey(root, key))
        return *k;
    Hive& hive = HiveOf(root);
    hive.keys.push_back({ std::string(key), {} });
    hive.dirty = true;
    return hive.keys.back();
}

std::optional<std::string> Registry::ReadString(
    RegistryRoot root, std::string_view key, std::string_view name) const
{
    if (const Key* k = FindKey(root, key))
        for (const Value& v : k->values)
            if (SameText(v.name, name))
                return v.data;
    return std::nullopt;
}

bool Registry::ValueExists(RegistryRoot root, std::string_view key, std::string_view name) const
{
    return ReadString(root, key, name).has_value();
}

void Registry::WriteString(
    RegistryRoot root, std::string_view key, std::string_view name, std::string_view value)
{
    Key& k = MakeKey(root, key);
    HiveOf(root).dirty = true;
    for (Value& v : k.values)
        if (SameText(v.name, name)) {
            v.data = value;
            return;
        }
    k.values.push_back({ std::string(name), std::string(value) });
}

bool Registry::DeleteValue(RegistryRoot root, std::string_view key, std::string_view name)
{
    Key* found = FindKey(root, key);
    if (!found)
        return false;
    auto& values = found->values;
    auto it = std::find_if(
        values.begin(), values.end(), [&](const Value& v) { return SameText(v.name, name); });
    if (it == values.end())
        return false;
    values.erase(it);
    HiveOf(root).dirty = true;
    return true;
}

bool Registry::KeyExists(RegistryRoot root, std::string_view key) const
{
    key = TrimSlashes(key);
    const auto& keys = HiveOf(root).keys;
    return std::any_of(
        keys.begin(), keys.end(), [&](const Key& k) { return IsBelow(k.path, key, true); });
}

void Registry::CreateKey(RegistryRoot root, std::string_view key) { MakeKey(root, key); }

bool Registry::DeleteKey(RegistryRoot root, std::string_view key)
{
    key = TrimSlashes(key);
    if (key.empty())
        return false;
    auto& keys = HiveOf(root).keys;
    auto removed = std::erase_if(keys, [&](const Key& k) { return IsBelow(k.path, key, true); });
    if (removed)
        HiveOf(root).dirty = true;
    return removed > 0;
}

std::vector<std::string> Registry::SubKeyNames(RegistryRoot root, std::string_view key) const
{
    key = TrimSlashes(key);
    std::vector<std::string> names;
    for (const Key& k : HiveOf(root).keys) {
        if (!IsBelow(k.path, key, false))
            continue;
        std::string_view rest = std::string_view(k.path).substr(key.empty() ? 0 : key.size() + 1);
        std::string_view first = rest.substr(0, rest.find('\\'));
        if (std::none_of(names.begin(), names.end(),
                [&](const std::string& n) { return SameText(n, first); }))
            names.emplace_back(first);
    }
    return names;
}

std::vector<std::string> Registry::ValueNames(RegistryRoot root, std::string_view key) const
{
    std::vector<std::string> names;
    if (const Key* k = FindKey(root, key))
        for (const Value& v : k->values)
            names.push_back(v.name);
    return names;
}

std::string Registry::Serialise(RegistryRoot root) const
{
    std::string out = "REGEDIT4\n";
    for (const Key& k : HiveOf(root).keys) {
        out += "\n[";
        out += RootName(root);
        if (!k.path.empty())
            out += "\\" + k.path;
        out += "]\n";
        for (const Value& v : k.values)
            out += (v.name.empty() ? std::string("@") : Quote(v.name)) + "=" + Quote(v.data) + "\n";
    }
    return out;
}

bool Registry::Dirty() const
{
    return std::any_of(
        std::begin(m_hives), std::end(m_hives), [](const Hive& h) { return h.dirty; });
}

void Registry::Flush()
{
    for (auto root :
        { RegistryRoot::CurrentUser, RegistryRoot::ClassesRoot, RegistryRoot::LocalMachine }) {
        Hive& hive = HiveOf(root);
        if (!hive.dirty)
            continue;
        std::error_code ec;
        std::filesystem::create_directories(m_folder, ec);
        WriteFileAtomically(FilePath(root), Serialise(root));
        hive.dirty = false;
    }
}

} // namespace vtl::platform
