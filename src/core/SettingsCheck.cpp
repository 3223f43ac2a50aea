#include "core/SettingsCheck.h"

#include "core/CConfig.h"
#include "support/Convert.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <ostream>
#include <set>

namespace vesk::core {
namespace {

// Keys the console reads outside the settings table.
bool readElsewhere(const std::string& section, const std::string& key)
{
    static const std::pair<const char*, const char*> kKeys[]
        = {{"Setup", "RunWizard"}, {"Service", "MetricsFile"}, {"Service", "WatchdogPassLimit"}};
    for (const auto& [s, k] : kKeys)
        if (EqualsNoCase(s, section) && EqualsNoCase(k, key))
            return true;
    return false;
}

} // namespace

bool CheckSettingsFile(const std::string& path, std::vector<SettingsProblem>& problems, std::string& error)
{
    std::ifstream in(path);
    if (!in) {
        error = std::strerror(errno);
        return false;
    }
    std::string section;
    std::set<std::string> seen;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        const std::string t = Trim(line);
        if (t.empty() || t[0] == ';' || t[0] == '#')
            continue;
        if (t.front() == '[') {
            if (t.back() != ']' || t.size() < 3)
                problems.push_back(
                    {number, SettingsProblem::Kind::Syntax, "a section name needs [ and ]: " + t});
            else
                section = Trim(t.substr(1, t.size() - 2));
            continue;
        }
        const auto eq = t.find('=');
        if (eq == std::string::npos || eq == 0) {
            problems.push_back({number, SettingsProblem::Kind::Syntax, "not a key=value line: " + t});
            continue;
        }
        const std::string key = Trim(t.substr(0, eq));
        const std::string value = Trim(t.substr(eq + 1));
        const std::string name = "[" + section + "] " + key;
        if (section.empty()) {
            problems.push_back({number, SettingsProblem::Kind::Syntax, key + " stands before any [section]"});
            continue;
        }
        if (!seen.insert(ToLower(section + "/" + key)).second)
            problems.push_back(
                {number, SettingsProblem::Kind::Unknown, name + " is set again; this value counts"});
        const auto expected = CheckSettingValue(section, key, value);
        if (!expected) {
            if (!readElsewhere(section, key))
                problems.push_back(
                    {number, SettingsProblem::Kind::Unknown, name + " is not a setting the console reads"});
        } else if (!expected->empty()) {
            problems.push_back(
                {number, SettingsProblem::Kind::Value, name + "=" + value + " is not " + *expected});
        }
    }
    return true;
}

int CheckSettingsCommand(const std::string& path, std::ostream& out)
{
    std::vector<SettingsProblem> problems;
    std::string error;
    if (!CheckSettingsFile(path, problems, error)) {
        out << path << ": cannot be read: " << error << '\n';
        return 2;
    }
    int errors = 0;
    for (const auto& p : problems) {
        const bool isError = p.kind != SettingsProblem::Kind::Unknown;
        errors += isError;
        out << path << ':' << p.line << ": " << (isError ? "error: " : "warning: ") << EscapeControls(p.text)
            << '\n';
    }
    if (errors > 0) {
        out << path << ": " << errors << (errors == 1 ? " error" : " errors") << "; fix before a reload\n";
        return 1;
    }
    out << path << ": good\n";
    return 0;
}

} // namespace vesk::core
