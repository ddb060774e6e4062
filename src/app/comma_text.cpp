#include "app/comma_text.h"

namespace vtl::app {

namespace {
    bool IsBlank(char c) { return c != '\0' && static_cast<unsigned char>(c) <= ' '; }
}

std::vector<std::string> SplitCommaText(std::string_view line)
{
    std::vector<std::string> fields;
    size_t i = 0;
    const size_t n = line.size();
    auto skipBlanks = [&] {
        while (i < n && IsBlank(line[i]))
            ++i;
    };
    skipBlanks();
    while (i < n && line[i] != '\0') {
        std::string field;
        if (line[i] == '"') {
            ++i;
            while (i < n) {
                if (line[i] == '"') {
                    if (i + 1 < n && line[i + 1] == '"') {
                        field += '"';
                        i += 2;
                        continue;
                    }
                    ++i;
                    break;
                }
                field += line[i++];
            }
        } else {
            size_t start = i;
            while (i<n&& static_cast<unsigned char>(line[i])> ' ' && line[i] != ',')
                ++i;
            field.assign(line.substr(start, i - start));
        }
        fields.push_back(std::move(field));
        skipBlanks();
        if (i < n && line[i] == ',') {
            // A comma followed by blanks ends the field; a second comma gives an empty one.
            do
                ++i;
            while (i < n && IsBlank(line[i]));
        }
    }
    return fields;
}

std::string JoinCommaText(const std::vector<std::string>& fields)
{
    std::string out;
    for (size_t f = 0; f < fields.size(); ++f) {
        if (f)
            out += ',';
        const std::string& field = fields[f];
        bool quote = field.empty();
        for (char c : field)
            if (IsBlank(c) || c == ',' || c == '"')
                quote = true;
        if (!quote) {
            out += field;
            continue;
        }
        out += '"';
        for (char c : field) {
            if (c == '"')
                out += '"';
            out += c;
        }
        out += '"';
    }
    return out;
}

std::vector<std::string> SplitLines(std::string_view text)
{
    std::vector<std::string> lines;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r' && text[i] != '\n')
            continue;
        lines.emplace_back(text.substr(start, i - start));
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
        start = i + 1;
    }
    if (start < text.size())
        lines.emplace_back(text.substr(start));
    return lines;
}

} // namespace vtl::app
