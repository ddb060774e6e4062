#include "shell/desktop_defaults.h"

#include "app/comma_text.h"
#include "platform/atomic_file.h"
#include "platform/environment.h"

#include <algorithm>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <pwd.h>
#include <set>
#include <spawn.h>
#include <sstream>
#include <sys/wait.h>
#include <system_error>
#include <unistd.h>

extern char** environ;

namespace vtl::shell {

using platform::Registry;
using platform::RegistryRoot;
namespace fs = std::filesystem;

namespace {

    constexpr RegistryRoot kClasses = RegistryRoot::ClassesRoot;

    // The program's own formats, for a MIME database that lacks them.
    struct BuiltInType {
        const char* extension;
        const char* type;
    };
    constexpr BuiltInType kBuiltInTypes[] = { { ".bmp", "image/bmp" }, { ".jpg", "image/jpeg" },
        { ".jpeg", "image/jpeg" }, { ".png", "image/png" } };

    std::string_view Trim(std::string_view s)
    {
        while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
            s.remove_prefix(1);
        while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
            s.remove_suffix(1);
        return s;
    }

    char Lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

    std::string Env(const char* name)
    {
        const char* value = std::getenv(name);
        return value ? value : "";
    }

    // XDG folders must be absolute; a relative one is ignored, as the base directory rules say.
    fs::path XdgFolder(const char* variable, const fs::path& fallback)
    {
        const fs::path value = Env(variable);
        return value.is_absolute() ? value : fallback;
    }

    fs::path HomeFolder()
    {
        std::string home = Env("HOME");
        if (home.empty())
            if (const passwd* pw = getpwuid(getuid()); pw && pw->pw_dir)
                home = pw->pw_dir;
        return home;
    }

    std::string Reason(const std::exception& e)
    {
        if (const auto* error = dynamic_cast<const std::system_error*>(&e))
            return error->code().message();
        return e.what();
    }

    // The file's bytes; nullopt when it is missing. Throws when it exists but can't be read.
    std::optional<std::string> ReadIfPresent(const fs::path& path)
    {
        std::error_code ec;
        if (!fs::exists(path, ec))
            return std::nullopt;
        std::ifstream in(path, std::ios::binary);
        if (!in)
            throw std::system_error(
                std::make_error_code(std::errc::permission_denied), "cannot read " + path.string());
        std::ostringstream bytes;
        bytes << in.rdbuf();
        if (in.bad())
            throw std::system_error(
                std::make_error_code(std::errc::io_error), "cannot read " + path.string());
        return std::move(bytes).str();
    }

    // Writes `text` unless the file holds it already. True when something was written.
    bool WriteIfChanged(const fs::path& path, const std::string& text)
    {
        if (auto old = ReadIfPresent(path); old && *old == text)
            return false;
        fs::create_directories(path.parent_path());
        platform::WriteFileAtomically(path, text);
        return true;
    }

    // A value of a desktop entry's Exec key: the program quoted when it holds anything the
    // entry's rules reserve.
    std::string ExecArgument(const std::string& program)
    {
        const bool plain = std::all_of(program.begin(), program.end(), [](char c) {
            return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')
                || c == '/' || c == '.' || c == '_' || c == '-' || c == '+';
        });
        if (plain)
            return program;
        std::string quoted = "\"";
        for (char c : program) {
            // Inside quotes ", `, $ and \ are escaped; the entry's own string rules then double
            // every backslash.
            if (c == '"' || c == '`' || c == '$')
                quoted += "\\\\";
            else if (c == '\\')
                quoted += "\\\\\\";
            quoted += c;
        }
        return quoted + "\"";
    }

    std::string XmlEscaped(std::string_view text)
    {
        std::string out;
        for (char c : text) {
            switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '"':
                out += "&quot;";
                break;
            default:
                out += c;
            }
        }
        return out;
    }

    // Runs update-mime-database over the user's MIME folder. Empty when it worked, else why not.
    std::string RefreshMimeDatabase(const fs::path& folder)
    {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
        std::string program = "update-mime-database";
        std::string argument = folder.string();
        char* argv[] = { program.data(), argument.data(), nullptr };
        pid_t pid = 0;
        const int error = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv, environ);
        posix_spawn_file_actions_destroy(&actions);
        if (error != 0)
            return program + ": " + std::generic_category().message(error);
        int status = 0;
        while (waitpid(pid, &status, 0) < 0)
            if (errno != EINTR)
                return program + ": " + std::generic_category().message(errno);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
            return program + " failed";
        return {};
    }

    // The database already maps the extension to the type (a refresh ran after our package).
    bool DatabaseKnows(const XdgFolders& xdg, std::string_view type, std::string_view extension)
    {
        std::ifstream globs(xdg.MimeFolder() / "globs2");
        const std::string wanted = ":" + std::string(type) + ":*" + std::string(extension);
        for (std::string line; std::getline(globs, line);)
            if (line.size() >= wanted.size()
                && line.compare(line.size() - wanted.size(), wanted.size(), wanted) == 0)
                return true;
        return false;
    }

    std::string NotChanged(const fs::path& path, const std::string& verb, const std::string& why)
    {
        return path.string() + verb + "（" + why + "）。デスクトップの関連付けは変更していません。";
    }

    // vtl's entry where the desktop looks for it: the user's applications folder receives one when
    // no data folder has it, declaring only the types that are vtl's now (a desktop that falls
    // back on the entries declaring a type would otherwise pick vtl for types never ticked). One
    // we wrote before is brought up to date, and removed once no type is vtl's. True when the
    // file was written or removed.
    bool EnsureDesktopEntry(
        const XdgFolders& xdg, const fs::path& opener, const std::vector<std::string>& types)
    {
        const fs::path own = xdg.ApplicationsFolder() / kDesktopId;
        if (auto existing = ReadIfPresent(own)) {
            if (existing->find("\nX-Vtl-Generated=true") == std::string::npos)
                return false; // the user's own entry
            if (types.empty()) {
                fs::remove(own);
                return true;
            }
            return WriteIfChanged(own, DesktopEntryText(opener, types));
        }
        if (types.empty())
            return false;
        std::error_code ec;
        for (const fs::path& dir : xdg.dataDirs)
            if (fs::exists(dir / "applications" / kDesktopId, ec))
                return false; // installed with the program
        return WriteIfChanged(own, DesktopEntryText(opener, types));
    }

} // namespace

XdgFolders XdgFolders::FromEnvironment()
{
    XdgFolders xdg;
    const fs::path home = HomeFolder();
    xdg.configHome = XdgFolder("XDG_CONFIG_HOME", home / ".config");
    xdg.dataHome = XdgFolder("XDG_DATA_HOME", home / ".local" / "share");
    std::string dirs = Env("XDG_DATA_DIRS");
    if (dirs.empty())
        dirs = "/usr/local/share:/usr/share";
    std::string_view rest = dirs;
    while (!rest.empty()) {
        const size_t colon = rest.find(':');
        const fs::path dir = rest.substr(0, colon);
        if (dir.is_absolute())
            xdg.dataDirs.push_back(dir);
        rest.remove_prefix(colon == std::string_view::npos ? rest.size() : colon + 1);
    }
    return xdg;
}

// ---- mimeapps.list ----

MimeAppsList MimeAppsList::Parse(std::string_view text)
{
    MimeAppsList list;
    list.m_finalNewline = text.empty() || text.back() == '\n';
    while (!text.empty()) {
        const size_t end = text.find('\n');
        list.m_lines.emplace_back(text.substr(0, end));
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
    }
    return list;
}

std::string MimeAppsList::Text() const
{
    std::string text;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        text += m_lines[i];
        if (i + 1 < m_lines.size() || m_finalNewline)
            text += '\n';
    }
    return text;
}

std::vector<size_t> MimeAppsList::LinesOf(std::string_view type) const
{
    std::vector<size_t> found;
    bool inDefaults = false;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const std::string_view line = Trim(m_lines[i]);
        if (!line.empty() && line.front() == '[') {
            inDefaults = line == kDefaultsSection;
            continue;
        }
        // Comments, blank lines and lines without a key are kept as they are, never matched.
        const size_t equals = line.find('=');
        if (!inDefaults || line.empty() || line.front() == '#' || equals == std::string_view::npos)
            continue;
        if (Trim(line.substr(0, equals)) == type)
            found.push_back(i);
    }
    return found;
}

std::optional<std::string> MimeAppsList::Default(std::string_view type) const
{
    const auto lines = LinesOf(type);
    if (lines.empty())
        return std::nullopt;
    const std::string_view line = Trim(m_lines[lines.front()]);
    return std::string(Trim(line.substr(line.find('=') + 1)));
}

void MimeAppsList::SetDefault(std::string_view type, std::string_view value)
{
    const std::string entry = std::string(type) + "=" + std::string(value);
    const auto lines = LinesOf(type);
    if (!lines.empty()) {
        // A file in CR LF keeps its line ends.
        const bool crlf = !m_lines[lines.front()].empty() && m_lines[lines.front()].back() == '\r';
        m_lines[lines.front()] = crlf ? entry + '\r' : entry;
        // Later lines of the same type would only confuse the next reader.
        for (size_t i = lines.size(); i-- > 1;)
            m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(lines[i]));
        return;
    }
    // After the last keyed line of the first defaults section.
    std::optional<size_t> insertAt;
    bool inDefaults = false;
    for (size_t i = 0; i < m_lines.size(); ++i) {
        const std::string_view line = Trim(m_lines[i]);
        if (!line.empty() && line.front() == '[') {
            if (insertAt)
                break;
            inDefaults = line == kDefaultsSection;
            if (inDefaults)
                insertAt = i + 1;
            continue;
        }
        if (inDefaults && !line.empty())
            insertAt = i + 1;
    }
    if (insertAt) {
        m_lines.insert(m_lines.begin() + static_cast<std::ptrdiff_t>(*insertAt), entry);
        return;
    }
    if (!m_lines.empty() && !Trim(m_lines.back()).empty())
        m_lines.emplace_back();
    m_lines.emplace_back(kDefaultsSection);
    m_lines.push_back(entry);
    m_finalNewline = true;
}

void MimeAppsList::RemoveDefault(std::string_view type)
{
    const auto lines = LinesOf(type);
    for (size_t i = lines.size(); i-- > 0;)
        m_lines.erase(m_lines.begin() + static_cast<std::ptrdiff_t>(lines[i]));
}

bool IsOwnDefault(std::string_view value)
{
    return Trim(value.substr(0, value.find(';'))) == kDesktopId;
}

// ---- types ----

ExtensionType TypeOfExtension(std::string_view extension, std::string_view known, bool archive)
{
    if (!known.empty())
        return { std::string(known), false };
    for (const BuiltInType& b : kBuiltInTypes)
        if (extension == b.extension)
            return { b.type, false };
    // Our own type names only letters and digits: the extension becomes part of a type name and
    // of a file name.
    if (extension.size() < 2 || extension.front() != '.'
        || !std::all_of(extension.begin() + 1, extension.end(),
            [](char c) { return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9'); }))
        return {};
    return { (archive ? "application/x-vtl-" : "image/x-vtl-") + std::string(extension.substr(1)),
        true };
}

std::vector<std::string> ArchiveExtensions(const std::vector<std::string>& pluginLines)
{
    std::vector<std::string> extensions;
    for (const std::string& line : pluginLines) {
        const auto fields = app::SplitCommaText(line);
        if (fields.size() < 4 || fields.front() != "a")
            continue;
        for (size_t i = 1; i + 2 < fields.size(); ++i) {
            const std::string& field = fields[i];
            if (field.size() < 2 || field[0] != '*' || field[1] != '.')
                continue;
            std::string extension = field.substr(1);
            std::transform(extension.begin(), extension.end(), extension.begin(), Lower);
            extensions.push_back(std::move(extension));
        }
    }
    return extensions;
}

// ---- applying ----

std::map<std::string, std::string> ReadMimeBackups(
    const Registry& registry, const std::vector<DesktopExtension>& entries)
{
    std::map<std::string, std::string> backups;
    for (const DesktopExtension& e : entries) {
        if (e.type.empty() || backups.count(e.type))
            continue;
        if (auto value = registry.ReadString(kClasses, e.extension, kMimeBackupValue))
            backups[e.type] = *value;
    }
    return backups;
}

void RecordMimeBackups(Registry& registry, const std::vector<DesktopExtension>& entries,
    const std::map<std::string, std::string>& records)
{
    for (const DesktopExtension& e : entries)
        if (!e.type.empty() && registry.KeyExists(kClasses, e.extension))
            registry.DeleteValue(kClasses, e.extension, kMimeBackupValue);
    for (const auto& [type, value] : records) {
        const DesktopExtension* holder = nullptr;
        for (const bool associatedOnly : { true, false }) {
            for (const DesktopExtension& e : entries) {
                if (e.type != type || !registry.KeyExists(kClasses, e.extension))
                    continue;
                if (associatedOnly && e.wish == DesktopWish::Release)
                    continue;
                holder = &e;
                break;
            }
            if (holder)
                break;
        }
        if (holder)
            registry.WriteString(kClasses, holder->extension, kMimeBackupValue, value);
    }
}

DesktopResult ApplyDesktopDefaults(const XdgFolders& xdg,
    const std::vector<DesktopExtension>& entries, const std::map<std::string, std::string>& backups,
    const fs::path& opener)
{
    DesktopResult result;
    result.records = backups;
    struct TypeState {
        bool set = false;
        bool wanted = false;
        bool release = false;
    };
    std::map<std::string, TypeState> types;
    for (const DesktopExtension& e : entries) {
        if (e.type.empty())
            continue;
        TypeState& t = types[e.type];
        t.set |= e.wish == DesktopWish::Default;
        t.wanted |= e.wish != DesktopWish::Release;
        t.release |= e.wish == DesktopWish::Release;
    }
    if (types.empty())
        return result;

    fs::path file = xdg.MimeAppsFile();
    std::error_code ec;
    // A mimeapps.list that links to a file elsewhere (kept with the user's dotfiles) is written
    // where it points, so that the link stays.
    if (fs::is_symlink(file, ec))
        if (fs::path target = fs::weakly_canonical(file, ec); !ec)
            file = target;
    std::optional<std::string> before;
    try {
        before = ReadIfPresent(file);
    } catch (const std::exception& e) {
        result.problems.push_back(NotChanged(file, " を読めません", Reason(e)));
        result.failed = true;
        return result;
    }
    MimeAppsList list = MimeAppsList::Parse(before.value_or(""));

    std::map<std::string, std::string> recorded = backups;
    std::vector<std::string> declared;
    for (const auto& [type, t] : types) {
        const auto current = list.Default(type);
        const bool ours = current && IsOwnDefault(*current);
        if (t.set) {
            if (!ours) {
                // A default of another program (or none) is what unticking will bring back.
                recorded[type] = current.value_or("");
                list.SetDefault(type, std::string(kDesktopId) + ";");
            }
        } else if (!t.wanted) {
            if (ours) {
                const auto backup = backups.find(type);
                if (backup != backups.end() && !backup->second.empty())
                    list.SetDefault(type, backup->second);
                else
                    list.RemoveDefault(type);
            }
            // Another program that took the type over meanwhile keeps it.
            recorded.erase(type);
        }
        if (t.wanted)
            declared.push_back(type);
    }

    const fs::path entry = xdg.ApplicationsFolder() / kDesktopId;
    std::optional<std::string> entryBefore;
    try {
        entryBefore = ReadIfPresent(entry);
        result.entryInstalled = EnsureDesktopEntry(xdg, opener, declared);
    } catch (const std::exception& e) {
        result.problems.push_back(
            NotChanged(xdg.ApplicationsFolder() / kDesktopId, " に書き込めません", Reason(e)));
        result.failed = true;
        return result;
    }
    if (!declared.empty()) {
        // Types of our own reach the desktop through a package of ours; the database is
        // refreshed only when it doesn't know them yet.
        bool refresh = false;
        std::set<std::string> packaged;
        for (const DesktopExtension& e : entries) {
            if (!e.ownType || e.wish != DesktopWish::Default || !packaged.insert(e.type).second)
                continue;
            const fs::path package = xdg.MimeFolder() / "packages"
                / ("vtl-" + e.type.substr(e.type.find('/') + 1) + ".xml");
            try {
                const bool written
                    = WriteIfChanged(package, MimePackageText(e.type, e.extension, e.description));
                refresh |= written || !DatabaseKnows(xdg, e.type, e.extension);
            } catch (const std::exception& error) {
                result.problems.push_back(package.string() + " に書き込めません（" + Reason(error)
                    + "）。" + e.extension + " の形式はデスクトップに登録されていません。");
            }
        }
        if (refresh) {
            const std::string failure = RefreshMimeDatabase(xdg.MimeFolder());
            if (failure.empty())
                result.databaseRefreshed = true;
            else
                result.problems.push_back("MIME データベースを更新できません（" + failure + "）。");
        }
    }

    const std::string after = list.Text();
    if (after != before.value_or("") || (!before && !after.empty())) {
        try {
            fs::create_directories(file.parent_path());
            platform::WriteFileAtomically(file, after);
            result.mimeAppsWritten = true;
        } catch (const std::exception& e) {
            result.problems.push_back(NotChanged(file, " に書き込めません", Reason(e)));
            result.failed = true;
            // The entry goes back to what it was, so that the desktop is left as it stood.
            if (result.entryInstalled) {
                try {
                    if (entryBefore)
                        platform::WriteFileAtomically(entry, *entryBefore);
                    else
                        fs::remove(entry);
                } catch (const std::exception&) {
                    // An entry no default names changes nothing the user sees.
                }
                result.entryInstalled = false;
            }
            return result;
        }
    }
    result.records = std::move(recorded);
    return result;
}

std::string DesktopEntryText(const fs::path& opener, const std::vector<std::string>& types)
{
    std::string mime;
    for (const std::string& type : types)
        mime += type + ";";
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Vistrel\n"
           "GenericName=Image Viewer\n"
           "GenericName[ja]=画像ビューア\n"
           "Comment=View and edit pictures\n"
           "Comment[ja]=画像の表示と編集\n"
           "Exec="
        + ExecArgument(opener.string())
        + " %F\n"
          "Icon=image-x-generic\n"
          "Terminal=false\n"
          "Categories=Graphics;Viewer;RasterGraphics;\n"
          "MimeType="
        + mime
        + "\n"
          // Marks the entry as the one the association dialog writes and may rewrite.
          "X-Vtl-Generated=true\n";
}

std::string MimePackageText(
    std::string_view type, std::string_view extension, std::string_view description)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
           "<mime-info xmlns=\"http://www.freedesktop.org/standards/shared-mime-info\">\n"
           "  <mime-type type=\""
        + XmlEscaped(type) + "\">\n    <comment>" + XmlEscaped(description)
        + "</comment>\n    <glob pattern=\"*" + XmlEscaped(extension)
        + "\"/>\n  </mime-type>\n</mime-info>\n";
}

fs::path OpenerProgram()
{
    std::error_code ec;
    const fs::path program = platform::ProgramFolder();
    if (fs::exists(program / "vtl-open", ec))
        return program / "vtl-open";
    // Tests run from elsewhere in the build tree, whose programs lie in build/src.
    for (fs::path dir = program; !dir.empty() && dir != dir.root_path(); dir = dir.parent_path())
        if (fs::exists(dir / "CMakeCache.txt", ec))
            return dir / "src" / "vtl-open";
    return program / "vtl-open";
}

} // namespace vtl::shell
