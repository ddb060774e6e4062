#pragma once
// The registry stand-in: keys with a default value and named string values, one REGEDIT4 text
// file per root. Key and value names compare without regard to case and keep the case they were
// first written with. Changes stay in memory until Flush, which replaces the file atomically.

#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace vtl::platform {

enum class RegistryRoot { CurrentUser, ClassesRoot, LocalMachine };

// "HKEY_CURRENT_USER" and its kin.
std::string_view RootName(RegistryRoot root);

class Registry {
public:
    // Reads the three root files from `folder` (missing or unreadable files read as empty).
    explicit Registry(std::filesystem::path folder);
    // The folder the program uses: $VTL_REGISTRY_DIR, else the data folder.
    static std::filesystem::path DefaultFolder();

    // The value, or nullopt when the key or value is missing. An empty name is the default value.
    std::optional<std::string> ReadString(
        RegistryRoot root, std::string_view key, std::string_view name) const;
    void WriteString(
        RegistryRoot root, std::string_view key, std::string_view name, std::string_view value);
    bool ValueExists(RegistryRoot root, std::string_view key, std::string_view name) const;
    bool DeleteValue(RegistryRoot root, std::string_view key, std::string_view name);

    // A key exists when it was created or when any key below it exists.
    bool KeyExists(RegistryRoot root, std::string_view key) const;
    void CreateKey(RegistryRoot root, std::string_view key);
    // Removes the key with everything below it.
    bool DeleteKey(RegistryRoot root, std::string_view key);
    // Names of the keys directly below `key`, in the order they were made.
    std::vector<std::string> SubKeyNames(RegistryRoot root, std::string_view key) const;
    std::vector<std::string> ValueNames(RegistryRoot root, std::string_view key) const;

    // Writes every root changed since the last flush. Throws std::system_error when a file can't
    // be replaced; that root's previous file is then intact and its changes stay pending.
    void Flush();
    bool Dirty() const;

    std::filesystem::path FilePath(RegistryRoot root) const;

    // The text of one root as it is written to its file.
    std::string Serialise(RegistryRoot root) const;

private:
    struct Value {
        std::string name;
        std::string data;
    };
    struct Key {
        std::string path; // as first written, without the root
        std::vector<Value> values;
    };
    struct Hive {
        std::vector<Key> keys; // in order of creation
        bool dirty = false;
    };

    void Load(RegistryRoot root);
    void Parse(RegistryRoot root, std::string_view text);
    const Key* FindKey(RegistryRoot root, std::string_view key) const;
    Key* FindKey(RegistryRoot root, std::string_view key)
    {
        return const_cast<Key*>(std::as_const(*this).FindKey(root, key));
    }
    Key& MakeKey(RegistryRoot root, std::string_view key);
    Hive& HiveOf(RegistryRoot root) { return m_hives[static_cast<int>(root)]; }
    const Hive& HiveOf(RegistryRoot root) const { return m_hives[static_cast<int>(root)]; }

    std::filesystem::path m_folder;
    Hive m_hives[3];
};

} // namespace vtl::platform
