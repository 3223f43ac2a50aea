#include "AllConsoles.h"

#include "core/SettingsStore.h"
#include "store/ConnectionText.h"
#include "store/ConsoleTable.h"
#include "store/Outbox.h"
#include "store/StoreSchema.h"
#include "support/Clock.h"
#include "support/Convert.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>

using namespace vesk;

namespace {

constexpr int kSilent = 1;
constexpr int kBadUsage = 2;
constexpr int kNoTable = 3;

std::string when(std::int64_t t)
{
    if (t == 0)
        return "-";
    const auto seconds = static_cast<std::time_t>(t);
    std::tm tm {};
    localtime_r(&seconds, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

// Text from the outbox as one line of the table.
std::string cell(const std::string& text)
{
    const std::string shown = EscapeControls(text);
    return shown.empty() ? "-" : shown;
}

} // namespace

int PrintAllConsoles(const std::string& dataFolder, const std::string& database, bool json)
{
    std::string folder = dataFolder, connection = database;
    if (folder.empty() && connection.empty()) {
        const std::string path = core::SettingsStore::DefaultPath();
        core::SettingsStore settings(path.empty() ? "/dev/null" : path);
        connection = settings.get("Setup", "Database").value_or("");
        folder = settings.get("Setup", "DataFolder").value_or("");
        if (folder.empty() && connection.empty()) {
            std::fprintf(
                stderr, "vesk-status: give --data-folder or --database (or set them in the settings file)\n");
            return kBadUsage;
        }
    }
    SystemClock clock;
    NullPump pump;
    store::db outbox(clock, pump);
    store::PointAt(outbox, connection, folder, store::kOutboxName);
    std::optional<std::vector<store::ConsoleRow>> rows;
    if (outbox.FileExists() && outbox.OpenDatabase(store::mode::kReadShared))
        rows = store::ListConsoles(outbox);
    if (!rows) {
        std::fprintf(stderr, "vesk-status: cannot read the consoles of %s : %s\n", outbox.Describe().c_str(),
            store::MaskPasswordIn(outbox.LastError(), connection).c_str());
        return kNoTable;
    }
    const std::int64_t now = UnixFromLocal(clock.now());
    bool silent = false;
    nlohmann::json list = nlohmann::json::array();
    if (!json)
        std::printf("%-8s %-10s %-16s %-10s %6s  %-14s %-19s  %-19s %6s %6s\n", "ID", "STATE", "HOST",
            "MODEL", "SIGNAL", "NETWORK", "LAST PASS", "LAST SEND", "SENT", "RECV");
    for (const auto& r : *rows) {
        const std::string state = store::ConsoleState(r, now);
        silent = silent || state == "silent";
        if (json) {
            list.push_back(
                {{"id", r.id}, {"state", state}, {"host", r.host}, {"version", r.version}, {"kind", r.kind},
                    {"model", r.model}, {"network", r.network}, {"registration", r.registration},
                    {"signal", r.signal}, {"started", r.started}, {"last_pass", r.lastPass},
                    {"last_send", r.lastSend}, {"sent", r.sent}, {"received", r.received}});
            continue;
        }
        std::printf("%-8s %-10s %-16s %-10s %6s  %-14s %-19s  %-19s %6lld %6lld\n", cell(r.id).c_str(),
            state.c_str(), cell(r.host).c_str(), cell(r.model).c_str(),
            r.signal < 0 ? "-" : (std::to_string(r.signal) + "%").c_str(), cell(r.network).c_str(),
            when(r.lastPass).c_str(), when(r.lastSend).c_str(), static_cast<long long>(r.sent),
            static_cast<long long>(r.received));
    }
    if (json)
        std::printf("%s\n", list.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace).c_str());
    else if (rows->empty())
        std::printf("(no console has worked this outbox yet)\n");
    return silent ? kSilent : 0;
}
