#include "core/SettingsStore.h"

#include "support/Convert.h"
#include "support/Paths.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace vesk::core {
namespace {

// Values may hold any text; a backslash escapes line ends, itself and a leading blank (blanks
// after "=" are layout in a hand-edited file).
std::string escape(const std::string& v)
{
    std::string out;
    for (char c : v) {
        if (out.empty() && (c == ' ' || c == '\t')) {
            out += '\\';
            out += c;
            continue;
        }
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\r')
            out += "\\r";
        else
            out += c;
    }
    return out;
}

std::string unescape(const std::string& v)
{
    std::string out;
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == '\\' && i + 1 < v.size()) {
            const char n = v[++i];
            out += n == 'n' ? '\n' : n == 'r' ? '\r' : n;
        } else {
            out += v[i];
        }
    }
    return out;
}

} // namespace

SettingsStore::SettingsStore(std::string path)
    : m_path(std::move(path))
{
    load();
}

std::string SettingsStore::DefaultPath()
{
    if (const char* p = std::getenv("VESK_SETTINGS"); p && *p)
        return p;
    std::string base;
    if (const char* x = std::getenv("XDG_CONFIG_HOME"); x && *x)
        base = x;
    else if (const std::string home = HomeFolder(); !home.empty())
        base = home + "/.config";
    else
        return {}; // a shared folder such as /tmp would let another user plant the settings
    return TrailingSeparator(base) + "Quillon/Quillon Vesk Console.conf";
}

void SettingsStore::load()
{
    std::ifstream in(m_path);
    if (!in)
        return; // no file yet: every key takes its default
    std::string line;
    Section* current = nullptr;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        const std::string t = Trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#')
            continue;
        if (t.front() == '[' && t.back() == ']') {
            const std::string name = t.substr(1, t.size() - 2);
            current = nullptr;
            for (auto& s : m_sections)
                if (EqualsNoCase(s.name, name))
                    current = &s;
            if (!current)
                current = &m_sections.emplace_back(Section {name, {}});
            continue;
        }
        const auto eq = line.find('=');
        if (!current || eq == std::string::npos)
            continue;
        const std::string key = Trim(line.substr(0, eq));
        const std::size_t start = line.find_first_not_of(" \t", eq + 1);
        const std::string value = start == std::string::npos ? "" : unescape(line.substr(start));
        bool found = false;
        for (auto& e : current->entries)
            if (EqualsNoCase(e.key, key)) {
                e.value = value;
                found = true;
            }
        if (!found && !key.empty())
            current->entries.push_back({key, value});
    }
}

std::optional<std::string> SettingsStore::get(const std::string& section, const std::string& key) const
{
    for (const auto& s : m_sections)
        if (EqualsNoCase(s.name, section))
            for (const auto& e : s.entries)
                if (EqualsNoCase(e.key, key))
                    return e.value;
    return std::nullopt;
}

std::vector<std::pair<std::string, std::string>> SettingsStore::entries() const
{
    std::vector<std::pair<std::string, std::string>> out;
    for (const auto& s : m_sections)
        for (const auto& e : s.entries)
            out.emplace_back(s.name + "/" + e.key, e.value);
    return out;
}

bool SettingsStore::set(const std::string& section, const std::string& key, const std::string& value)
{
    Section* target = nullptr;
    for (auto& s : m_sections)
        if (EqualsNoCase(s.name, section))
            target = &s;
    if (!target)
        target = &m_sections.emplace_back(Section {section, {}});
    bool found = false;
    for (auto& e : target->entries)
        if (EqualsNoCase(e.key, key)) {
            if (e.value == value)
                return true;
            e.value = value;
            found = true;
        }
    if (!found)
        target->entries.push_back({key, value});
    return m_readOnly || save();
}

bool SettingsStore::save()
{
    std::ostringstream out;
    for (const auto& s : m_sections) {
        out << '[' << s.name << "]\n";
        for (const auto& e : s.entries)
            out << e.key << '=' << escape(e.value) << '\n';
        out << '\n';
    }
    const std::string text = out.str();
    const std::string folder = FolderOfPath(m_path);
    if (!folder.empty() && !FolderExists(folder))
        CreatePrivateFolderPath(folder);

    // A fresh temporary name each time, created exclusively: a planted file or link in its place
    // cannot redirect the write.
    std::string temp = m_path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) {
        m_lastError = "cannot write beside " + m_path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), m_path.c_str()) != 0) {
        m_lastError = "cannot save settings to " + m_path + ": " + std::strerror(errno);
        ::unlink(temp.c_str());
        return false;
    }
    m_lastError.clear();
    return true;
}

} // namespace vesk::core
