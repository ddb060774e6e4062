#include "app/open_requests.h"

#include "platform/named_mutex.h"

#include <unistd.h>

namespace vtl::app {

std::string OpenGraphicServerName()
{
    return platform::NamedMutex::LockFolder() + "vtl-OpenGraphic-" + std::to_string(getuid());
}

std::vector<std::string> MacroFileNames(std::string_view macro)
{
    std::vector<std::string> names;
    while (!macro.empty()) {
        const size_t end = macro.find('\n');
        std::string_view line = macro.substr(0, end);
        macro.remove_prefix(end == std::string_view::npos ? macro.size() : end + 1);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (!line.empty() && line.front() == '"')
            line = line.size() >= 2 ? line.substr(1, line.size() - 2) : std::string_view {};
        if (!line.empty())
            names.emplace_back(line);
    }
    return names;
}

std::string MakeOpenMacro(const std::vector<std::string>& names)
{
    std::string macro;
    for (const std::string& name : names)
        macro += '"' + name + "\"\n";
    return macro;
}

} // namespace vtl::app
