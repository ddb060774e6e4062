#include "input/plugin_registry.h"

#include "app/comma_text.h"
#include "platform/atomic_file.h"
#include "platform/environment.h"

#include <array>
#include <fstream>
#include <iterator>
#include <sstream>

namespace vtl::input {

namespace fs = std::filesystem;

std::string FormatMessage(const char* message, const std::string& argument)
{
    std::string text(message);
    size_t at = text.find("%s");
    if (at != std::string::npos)
        text.replace(at, 2, argument);
    return text;
}

// ---- folders ----

PluginFolders PluginFolders::FromEnvironment()
{
    return { platform::DataFolder(), platform::PluginFolder() };
}

fs::path PluginFolders::Resolve(const std::string& stored) const
{
    if (stored.find('/') != std::string::npos)
        return fs::path(stored);
    std::error_code ec;
    for (const fs::path& folder : { dataFolder, pluginFolder }) {
        if (folder.empty())
            continue;
        fs::path candidate = folder / stored;
        if (fs::exists(candidate, ec))
            return candidate;
    }
    // Not found anywhere: the load fails, as it would have for the stored name.
    return pluginFolder.empty() ? fs::path(stored) : pluginFolder / stored;
}

namespace {
    bool SameFolder(const fs::path& a, const fs::path& b)
    {
        if (a.empty() || b.empty())
            return false;
        std::error_code ec;
        fs::path ca = fs::weakly_canonical(a, ec);
        if (ec)
            ca = a.lexically_normal();
        fs::path cb = fs::weakly_canonical(b, ec);
        if (ec)
            cb = b.lexically_normal();
        // File names are case-sensitive here, so folders are compared as they are.
        return ca == cb;
    }
} // namespace

std::string PluginFolders::Shorten(const fs::path& library) const
{
    fs::path folder = library.parent_path();
    if (SameFolder(folder, pluginFolder) || SameFolder(folder, dataFolder))
        return library.filename().string();
    return library.string();
}

// ---- one line of the list ----

namespace {

    struct ParsedLine {
        std::string kind;
        std::vector<std::string> patterns;
        std::string description;
        std::string path;
        bool enabled = true;
    };

    // A line of at least four fields: kind, patterns ..., description, path, and "x" when disabled.
    std::optional<ParsedLine> ParseLine(const std::string& line)
    {
        auto fields = app::SplitCommaText(line);
        if (fields.size() < 4)
            return std::nullopt;
        ParsedLine parsed;
        if (fields.back() == "x") {
            parsed.enabled = false;
            fields.pop_back();
        }
        parsed.kind = fields.front();
        parsed.path = fields.back();
        parsed.description = fields[fields.size() - 2];
        for (size_t i = 1; i + 2 < fields.size(); ++i)
            parsed.patterns.push_back(fields[i]);
        return parsed;
    }

    // A quote inside is doubled, so that the line reads back as it was written.
    std::string Quoted(const std::string& text)
    {
        std::string out = "\"";
        for (char c : text) {
            if (c == '"')
                out += '"';
            out += c;
        }
        return out + "\"";
    }

    std::string LineOfRow(const PluginRow& row)
    {
        std::string line = row.kind + "," + row.extensions + "," + Quoted(row.description) + ","
            + Quoted(row.path);
        if (!row.enabled)
            line += ",x";
        return line;
    }

    std::string LowerAscii(std::string text)
    {
        for (char& c : text)
            if (c >= 'A' && c <= 'Z')
                c = static_cast<char>(c - 'A' + 'a');
        return text;
    }

    // Number of characters of a UTF-8 text (continuation bytes don't count).
    size_t CharacterCount(const std::string& text)
    {
        size_t count = 0;
        for (unsigned char c : text)
            if ((c & 0xC0) != 0x80)
                ++count;
        return count;
    }

    // "AM" or "IN" in characters 3 and 4 of info 0.
    std::optional<PluginKind> KindOfInfo(const std::optional<std::string>& info0)
    {
        if (!info0 || info0->size() < 4)
            return std::nullopt;
        std::string code = info0->substr(2, 2);
        if (code == "AM")
            return PluginKind::Archive;
        if (code == "IN")
            return PluginKind::Picture;
        return std::nullopt;
    }

} // namespace

// ---- plug-in information ----

std::vector<PluginRow> ReadPluginRows(const fs::path& library, const PluginFolders& folders)
{
    std::vector<PluginRow> rows;
    auto plugin = SusiePlugin::Load(library);
    if (!plugin)
        return rows;
    auto kind = KindOfInfo(plugin->GetPluginInfo(0, SPI_INFO0_SIZE));
    if (!kind)
        return rows;
    std::string stored = folders.Shorten(library);
    // Pairs of patterns and description; a plug-in can't make us loop past the int range.
    for (int32_t n = 2; n > 0 && n < 0x10000; n += 2) {
        auto patterns = plugin->GetPluginInfo(n, SPI_INFO_SIZE);
        if (!patterns)
            break;
        auto description = plugin->GetPluginInfo(n + 1, SPI_INFO_SIZE);
        if (!description)
            break;
        rows.push_back({ *kind == PluginKind::Archive ? "a" : "f", *description,
            FilterPatternText(*patterns), stored, true });
    }
    return rows;
}

bool ConfigurePlugin(const std::string& storedPath, const PluginFolders& folders, void* parent)
{
    auto plugin = SusiePlugin::Load(folders.Resolve(storedPath));
    if (!plugin)
        return false;
    plugin->ConfigurationDlg(parent);
    return true;
}

// ---- the registry ----

PluginRegistry::PluginRegistry(PluginFolders folders)
    : m_folders(std::move(folders))
{
    BuildLookupLists();
}

void PluginRegistry::SetLines(std::vector<std::string> lines)
{
    m_lines = std::move(lines);
    m_modified = true;
    BuildLookupLists();
}

void PluginRegistry::LoadPluginList(const fs::path& file)
{
    m_lines.clear();
    m_modified = false;
    std::ifstream in(file, std::ios::binary);
    if (in) {
        std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        m_lines = app::SplitLines(text);
    }
    UpgradeOldEntries();
    BuildLookupLists();
}

void PluginRegistry::UpgradeOldEntries()
{
    for (size_t i = m_lines.size(); i-- > 0;) {
        auto fields = app::SplitCommaText(m_lines[i]);
        if (!fields.empty() && (fields[0] == "a" || fields[0] == "f"))
            continue;
        // An entry written before the kind field existed: ask the plug-in what it is.
        m_modified = true;
        std::optional<SusiePlugin> plugin;
        if (!fields.empty())
            plugin = SusiePlugin::Load(m_folders.Resolve(fields.back()));
        if (!plugin) {
            m_lines.erase(m_lines.begin() + static_cast<ptrdiff_t>(i));
            continue;
        }
        if (!plugin->HasGetPluginInfo())
            continue;
        auto kind = KindOfInfo(plugin->GetPluginInfo(0, SPI_INFO0_SIZE));
        if (!kind)
            m_lines.erase(m_lines.begin() + static_cast<ptrdiff_t>(i));
        else
            m_lines[i] = (*kind == PluginKind::Archive ? "a," : "f,") + m_lines[i];
    }
}

void PluginRegistry::SavePluginList(const fs::path& file)
{
    if (!m_modified)
        return;
    std::string text;
    for (const auto& line : m_lines)
        text += line + "\r\n";
    platform::WriteFileAtomically(file, text);
    m_modified = false;
}

std::vector<PluginRow> PluginRegistry::Rows() const
{
    std::vector<PluginRow> rows;
    for (const auto& line : m_lines) {
        auto parsed = ParseLine(line);
        if (!parsed)
            continue;
        std::string extensions;
        for (size_t i = 0; i < parsed->patterns.size(); ++i)
            extensions += (i ? "," : "") + parsed->patterns[i];
        rows.push_back(
            { parsed->kind, parsed->description, extensions, parsed->path, parsed->enabled });
    }
    return rows;
}

void PluginRegistry::SetRows(const std::vector<PluginRow>& rows)
{
    std::vector<std::string> lines;
    for (const auto& row : rows)
        if (!row.description.empty())
            lines.push_back(LineOfRow(row));
    SetLines(std::move(lines));
}

void PluginRegistry::BuildLookupLists()
{
    m_pictureExtensions.Clear();
    m_archiveExtensions.Clear();
    m_picturePaths.clear();
    m_archivePaths.clear();
    for (const char* pattern : { "*.snx", "*.bmp", "*.jpg", "*.jpeg", "*.png" })
        m_pictureExtensions.Add(pattern);

    std::string first = "イメージ|*.bmp;*.jpg;*.jpeg;*.png";
    std::string second
        = "|ビットマップ イメージ|*.bmp|JPEG イメージ|*.jpg;*.jpeg|PNG イメージ|*.png";
    for (const auto& line : m_lines) {
        auto parsed = ParseLine(line);
        if (!parsed || !parsed->enabled)
            continue;
        bool archive = parsed->kind == "a";
        TSpiStrings& extensions = archive ? m_archiveExtensions : m_pictureExtensions;
        auto& paths = archive ? m_archivePaths : m_picturePaths;
        second += "|" + parsed->description + "|";
        for (size_t i = 0; i < parsed->patterns.size(); ++i) {
            std::string pattern = LowerAscii(parsed->patterns[i]);
            extensions.Add(pattern, static_cast<int>(paths.size()));
            first += ";" + pattern;
            second += (i ? ";" : "") + pattern;
        }
        paths.push_back({ parsed->path, false });
    }
    if (CharacterCount(first) > 265)
        first = "全ファイル|*.*";
    m_openFilter = first + second;
}

const TSpiStrings& PluginRegistry::Extensions(PluginKind kind) const
{
    return kind == PluginKind::Archive ? m_archiveExtensions : m_pictureExtensions;
}

const std::vector<PluginPath>& PluginRegistry::Paths(PluginKind kind) const
{
    return kind == PluginKind::Archive ? m_archivePaths : m_picturePaths;
}

std::vector<PluginPath>& PluginRegistry::MutablePaths(PluginKind kind)
{
    return kind == PluginKind::Archive ? m_archivePaths : m_picturePaths;
}

int PluginRegistry::LastSuccessful(PluginKind kind) const
{
    return kind == PluginKind::Archive ? m_lastArchive : m_lastPicture;
}

void PluginRegistry::SetLastSuccessful(PluginKind kind, int entry)
{
    (kind == PluginKind::Archive ? m_lastArchive : m_lastPicture) = entry;
}

void PluginRegistry::MarkFailed(PluginKind kind, int pathIndex)
{
    auto& paths = MutablePaths(kind);
    if (pathIndex >= 0 && static_cast<size_t>(pathIndex) < paths.size())
        paths[static_cast<size_t>(pathIndex)].failed = true;
}

bool PluginRegistry::Failed(PluginKind kind, int pathIndex) const
{
    const auto& paths = Paths(kind);
    return pathIndex >= 0 && static_cast<size_t>(pathIndex) < paths.size()
        && paths[static_cast<size_t>(pathIndex)].failed;
}

void PluginRegistry::ClearFailureMarks()
{
    for (auto& p : m_picturePaths)
        p.failed = false;
    for (auto& p : m_archivePaths)
        p.failed = false;
}

std::optional<ChosenPlugin> PluginRegistry::ChoosePlugin(
    PluginKind kind, const std::string& fileName)
{
    const TSpiStrings& extensions = Extensions(kind);
    const auto& paths = Paths(kind);
    const int first = kind == PluginKind::Picture ? kBuiltInCount : 0;
    const int count = extensions.Count();
    if (count <= first)
        return std::nullopt;
    int start = LastSuccessful(kind);
    // After a rebuild the last entry may lie past the end, or on a built-in entry.
    if (start < first || start >= count)
        start = first;
    std::string lower = LowerFileName(fileName);
    for (int k = 0; k < count; ++k) {
        int entry = (start + k) % count;
        if (entry < first || !PatternMatches(extensions.Strings(entry), lower))
            continue;
        int pathIndex = extensions.Objects(entry);
        if (pathIndex < 0 || static_cast<size_t>(pathIndex) >= paths.size())
            continue;
        if (Failed(kind, pathIndex))
            continue;
        const std::string& stored = paths[static_cast<size_t>(pathIndex)].path;
        auto plugin = SusiePlugin::Load(m_folders.Resolve(stored));
        if (!plugin || !plugin->HasIsSupported()) {
            MarkFailed(kind, pathIndex);
            continue;
        }
        SetLastSuccessful(kind, entry);
        return ChosenPlugin { std::move(*plugin), pathIndex, entry, stored };
    }
    return std::nullopt;
}

// ---- the program's own plug-ins ----

namespace {
    // Library names of the plug-ins built in plugins/.
    constexpr std::array kOwnPlugins { "vtlgif.spi", "vtltiff.spi", "vtlwebp.spi",
        "vtlheif.spi", "vtljxl.spi", "vtlarc.spi" };
} // namespace

std::vector<std::string> OwnPluginLines(const PluginFolders& folders)
{
    std::vector<std::string> lines;
    std::error_code ec;
    for (const char* name : kOwnPlugins) {
        fs::path library = folders.pluginFolder / name;
        if (!fs::exists(library, ec))
            continue;
        for (const auto& row : ReadPluginRows(library, folders))
            lines.push_back(LineOfRow(row));
    }
    return lines;
}

bool RegisterOwnPluginsIfMissing(const PluginFolders& folders)
{
    std::error_code ec;
    fs::path file = folders.dataFolder / "vtl.dat";
    if (fs::exists(file, ec) || ec)
        return false;
    auto lines = OwnPluginLines(folders);
    if (lines.empty())
        return false;
    std::string text;
    for (const auto& line : lines)
        text += line + "\r\n";
    try {
        platform::WriteFileAtomically(file, text);
    } catch (const std::exception&) {
        return false;
    }
    return true;
}

} // namespace vtl::input
