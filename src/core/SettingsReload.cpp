#include "core/SettingsReload.h"

#include "core/Context.h"
#include "core/SettingsCheck.h"
#include "core/SettingsStore.h"
#include "core/Trap.h"
#include "store/ConnectionText.h"
#include "support/Convert.h"
#include "support/LogSink.h"
#include "support/Paths.h"
#include "support/Platform.h"

#include <fstream>
#include <map>
#include <vector>

namespace vesk::core {
namespace {

// The first line that is neither blank, a comment, a [section] nor a key=value inside a section;
// 0 when every line is one of them. -1 when the file cannot be read.
int firstBadLine(const std::string& path)
{
    std::vector<SettingsProblem> problems;
    std::string error;
    if (!CheckSettingsFile(path, problems, error))
        return -1;
    for (const auto& p : problems)
        if (p.kind == SettingsProblem::Kind::Syntax)
            return p.line;
    return 0;
}

bool isSecret(const std::string& name)
{
    return ToLower(name).find("password") != std::string::npos;
}

// Values are shown on one line, without control characters, and a connection string without
// its password.
std::string shown(const std::string& text)
{
    const std::string value = store::IsConnectionString(text) ? store::MaskPassword(text) : text;
    std::string out;
    for (const unsigned char c : value)
        out += c < 0x20 || c == 0x7f ? ' ' : static_cast<char>(c);
    return "[" + out + "]";
}

bool modemSettingsDiffer(const CConfig& a, const CConfig& b)
{
    return a.COMPort != b.COMPort || a.COMSpeed != b.COMSpeed || a.COMInitString != b.COMInitString
        || a.AutoDetect != b.AutoDetect || a.ModemLog != b.ModemLog || a.ReportMemory != b.ReportMemory
        || a.MessageMemory != b.MessageMemory || ToUpper(a.Protocol) != ToUpper(b.Protocol)
        || a.CommandTimeout != b.CommandTimeout || a.SendTimeout != b.SendTimeout
        || a.ListTimeout != b.ListTimeout || a.DeleteTimeout != b.DeleteTimeout;
}

} // namespace

bool ReloadSettings(Context& ctx)
{
    const std::string& path = ctx.settings.path();
    const int bad = firstBadLine(path);
    if (bad != 0) {
        ctx.app.Log(icon::kError, "",
            "Settings not reloaded: " + path
                + (bad < 0 ? " cannot be read" : " does not parse at line " + std::to_string(bad))
                + "; the settings in force stay");
        return false;
    }
    SettingsStore candidate(path);
    CConfig fresh;
    std::string folder;
    {
        ConsoleApp reader(ctx.clock, candidate);
        const bool converted = reader.LoadEnvironment(fresh, folder);
        // What the reading warned of (a value that takes its default) belongs in the console's log.
        const auto& said = reader.log().lines();
        for (auto line = said.rbegin(); line != said.rend(); ++line)
            ctx.app.Log(line->icon, line->address, line->text);
        if (!converted) {
            ctx.app.Log(icon::kError, "",
                "Settings not reloaded: a value in " + path
                    + " does not convert; the settings in force stay");
            return false;
        }
    }

    std::map<std::string, std::string> before;
    for (auto& [name, value] : ctx.settings.entries())
        before[ToLower(name)] = value;
    int changes = 0;
    for (const auto& [name, value] : candidate.entries()) {
        const auto old = before.find(ToLower(name));
        const std::string was = old == before.end() ? std::string() : old->second;
        if (old != before.end())
            before.erase(old);
        if (was == value)
            continue;
        ++changes;
        ctx.app.Log(icon::kInfo, "",
            isSecret(name) ? "Setting " + name + " changed"
                           : "Setting " + name + " changed from " + shown(was) + " to " + shown(value));
    }
    for (const auto& [name, value] : before) {
        ++changes;
        ctx.app.Log(icon::kInfo, "", "Setting " + name + " removed; its default applies");
    }

    const CConfig old = ctx.config;
    candidate.setReadOnly(ctx.settings.readOnly());
    ctx.settings = candidate;
    ctx.config = fresh;
    if (!ctx.overrides.dataFolder && !folder.empty()
        && TrailingSeparator(folder) != TrailingSeparator(ctx.DataFolder))
        ctx.app.Log(icon::kWarning, "", "The new data folder is used from the next start");
    if (old.AppPriority != fresh.AppPriority)
        SetAppPriority(fresh.AppPriority);
    if (old.MaxRunTime != fresh.MaxRunTime)
        ctx.EndTime = fresh.MaxRunTime > 0
            ? SteadyTime::FromNow(ctx.clock, std::chrono::hours(fresh.MaxRunTime))
            : SteadyTime();
    if (modemSettingsDiffer(old, fresh) && ctx.modem) {
        // The next pass opens the modem with the new settings.
        Trap(ctx.app, [&] { ctx.modem->ClosePort(); });
        ctx.app.Log(icon::kModem, "", "Modem settings changed: the modem is opened again");
    }
    ctx.app.Log(icon::kInfo, "",
        "Settings reloaded from " + path + " (" + std::to_string(changes) + " change"
            + (changes == 1 ? ")" : "s)"));
    return true;
}

} // namespace vesk::core
