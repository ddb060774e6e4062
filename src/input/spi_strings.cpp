#include "input/spi_strings.h"

namespace vtl::input {

namespace {
    char LowerAscii(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }
}

std::string LowerFileName(std::string_view path)
{
    size_t slash = path.find_last_of('/');
    std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
    std::string lower(name);
    for (char& c : lower)
        c = LowerAscii(c);
    return lower;
}

std::optional<std::string> NameExtension(std::string_view name)
{
    // In UTF-8 no byte of a multi-byte character is a ".", so a plain scan steps over them.
    size_t dot = name.find_last_of('.');
    if (dot == std::string_view::npos)
        return std::nullopt;
    return std::string(name.substr(dot + 1));
}

bool PatternMatches(std::string_view pattern, std::string_view lowerName)
{
    if (!pattern.empty() && pattern[0] == '*') {
        if (pattern.size() < 2 || pattern[1] != '.')
            return false;
        auto extension = NameExtension(lowerName);
        return extension && *extension == pattern.substr(2);
    }
    return pattern == lowerName;
}

int TSpiStrings::FindEntry(std::string_view fileName, int start) const
{
    const int count = Count();
    if (count == 0)
        return -1;
    if (start < 0 || start >= count)
        start = 0;
    std::string lower = LowerFileName(fileName);
    for (int k = 0; k < count; ++k) {
        int index = (start + k) % count;
        if (PatternMatches(m_entries[static_cast<size_t>(index)].pattern, lower))
            return index;
    }
    return -1;
}

std::string FilterPatternText(std::string_view text)
{
    std::string out;
    for (char c : text) {
        if (c == ';')
            out += ',';
        else if ((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '*' || c == '.')
            out += c;
        else if (c >= 'A' && c <= 'Z')
            out += LowerAscii(c);
    }
    return out;
}

} // namespace vtl::input
