#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace vesk::core {

// The per-user settings store: string values addressed by section and key, names compared
// without regard to case. Kept as an INI-style text file; every change rewrites the file
// through a temporary file and a rename, so a crash never leaves half a file.
class SettingsStore
{
public:
    explicit SettingsStore(std::string path);

    // $VESK_SETTINGS, else $XDG_CONFIG_HOME (or ~/.config)/Quillon/Quillon Vesk Console.conf;
    // "" when there is no usable home folder (the console then refuses to start).
    static std::string DefaultPath();

    std::optional<std::string> get(const std::string& section, const std::string& key) const;
    bool set(const std::string& section, const std::string& key, const std::string& value);

    // Every value as ("Section/Key", text), in file order.
    std::vector<std::pair<std::string, std::string>> entries() const;

    // A store that only reads keeps changes in memory and never rewrites its file: the settings
    // file of a service belongs to the operator (or a configuration tool), comments and all.
    void setReadOnly(bool readOnly) { m_readOnly = readOnly; }
    bool readOnly() const { return m_readOnly; }

    const std::string& path() const { return m_path; }
    const std::string& lastError() const { return m_lastError; }

private:
    struct Entry
    {
        std::string key;
        std::string value;
    };
    struct Section
    {
        std::string name;
        std::vector<Entry> entries;
    };

    void load();
    bool save();

    std::string m_path;
    std::vector<Section> m_sections;
    std::string m_lastError;
    bool m_readOnly = false;
};

} // namespace vesk::core
