#pragma once
// The extension lists of the plug-in registry and the rule by which a file name matches one of
// their patterns.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vtl::input {

// A list of extension patterns, each carrying the index of its plug-in in a path list (-1 for the
// built-in entries, which have none).
class TSpiStrings {
public:
    struct Entry {
        std::string pattern;
        int plugin = -1;
    };

    void Clear() { m_entries.clear(); }
    void Add(std::string pattern, int plugin = -1)
    {
        m_entries.push_back({ std::move(pattern), plugin });
    }
    int Count() const { return static_cast<int>(m_entries.size()); }
    const std::string& Strings(int index) const
    {
        return m_entries.at(static_cast<size_t>(index)).pattern;
    }
    int Objects(int index) const { return m_entries.at(static_cast<size_t>(index)).plugin; }
    const std::vector<Entry>& Entries() const { return m_entries; }

    // Index of the first entry, in circular order from `start`, whose pattern matches the file
    // name; -1 when none does. A start outside the list begins at 0.
    int FindEntry(std::string_view fileName, int start = 0) const;

private:
    std::vector<Entry> m_entries;
};

// The name without its folder, with ASCII letters lowered. Bytes of multi-byte characters are
// left as they are, so a character is never split.
std::string LowerFileName(std::string_view path);

// What follows the last "." of a lower-cased name, or nothing for a name without a dot.
std::optional<std::string> NameExtension(std::string_view name);

// A pattern "*.ext" matches a name whose extension is exactly "ext"; any other pattern matches
// only a name equal to it. `lowerName` comes from LowerFileName.
bool PatternMatches(std::string_view pattern, std::string_view lowerName);

// A registered extension pattern as the list keeps it: ";" becomes ",", letters are lowered, and
// only "*", ".", digits and letters survive.
std::string FilterPatternText(std::string_view text);

} // namespace vtl::input
