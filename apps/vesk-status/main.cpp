// vesk-status: shows a running console's status snapshot as a table or JSON; exits non-zero when
// the console is not running or has stopped refreshing it, so it serves as a health check. With
// --all it lists every console of an outbox from the outbox's console table.
#include "AllConsoles.h"
#include "support/Paths.h"
#include "support/StatusSnapshot.h"

#include <cstdio>
#include <ctime>
#include <fstream>
#include <iterator>
#include <string>

using namespace vesk;

namespace {

constexpr int kStale = 1;
constexpr int kNoSnapshot = 3;
constexpr int kBadUsage = 2;

const char* const kUsage = "Usage: vesk-status [--data-folder DIR | --instance NAME] [--json]\n"
                           "       vesk-status --all [--data-folder DIR | --database CONNINFO] [--json]\n"
                           "\n"
                           "Shows the status of a running console.\n"
                           "  --data-folder DIR  the console runs without a service manager on DIR\n"
                           "  --instance NAME    the service vesk-console@NAME (/run/vesk-console@NAME)\n"
                           "  --json             one JSON object instead of the table\n"
                           "Without a folder, the service vesk-console (/run/vesk-console).\n"
                           "  --all              every console that works the outbox of DIR, or the\n"
                           "                     PostgreSQL outbox CONNINFO (else the settings file's);\n"
                           "                     a console silent for 2 minutes shows as silent\n"
                           "Exit status: 0 running, 1 stale or stopped (--all: one is silent),\n"
                           "3 no snapshot (--all: no console table), 2 bad usage.\n";

std::string when(std::time_t t)
{
    if (t == 0)
        return "-";
    std::tm tm {};
    localtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

std::string orDash(const std::string& text)
{
    return text.empty() ? "-" : text;
}

std::string count(long n)
{
    return n < 0 ? "-" : std::to_string(n);
}

void printTable(const StatusSnapshot& s, const std::string& state)
{
    const auto row
        = [](const char* name, const std::string& value) { std::printf("%-16s %s\n", name, value.c_str()); };
    row("State", state);
    row("Mode", s.mode);
    row("Version", s.version);
    row("Port", orDash(s.port));
    row("Modem", orDash(s.model));
    row("IMEI", orDash(s.imei));
    row("Operator", orDash(s.network));
    row("Signal", s.signal < 0 ? "-" : std::to_string(s.signal) + "%");
    row("Queued", count(s.queued));
    row("Sent", count(s.sent));
    row("Failed", count(s.failed));
    row("Expired", count(s.expired));
    row("Received", count(s.received));
    row("Reports", count(s.reports));
    row("Journal", count(s.journal));
    row("Last error", s.lastError.empty() ? "-" : when(s.lastErrorTime) + "  " + s.lastError);
    row("Last pass", when(s.lastPass));
    row("Started", when(s.started));
    row("Updated", when(s.updated));
    row("Process", std::to_string(s.pid));
}

} // namespace

int main(int argc, char** argv)
{
    std::string folder = "/run/vesk-console";
    std::string database;
    bool json = false, all = false, folderGiven = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--json") {
            json = true;
        } else if (arg == "--all") {
            all = true;
        } else if (arg == "--database" && i + 1 < argc) {
            database = argv[++i];
        } else if ((arg == "--data-folder" || arg == "--instance") && i + 1 < argc) {
            const std::string v = argv[++i];
            if (arg == "--instance" && (v.empty() || v.find('/') != std::string::npos || v[0] == '.')) {
                std::fprintf(stderr, "vesk-status: bad instance name\n");
                return kBadUsage;
            }
            folder = arg == "--instance" ? "/run/vesk-console@" + v : v;
            folderGiven = arg == "--data-folder";
        } else if (arg == "--help" || arg == "-h") {
            std::fputs(kUsage, stdout);
            return 0;
        } else {
            std::fputs(kUsage, stderr);
            return kBadUsage;
        }
    }
    if (all)
        return PrintAllConsoles(folderGiven ? folder : "", database, json);
    if (!database.empty()) {
        std::fputs(kUsage, stderr);
        return kBadUsage;
    }
    const std::string path = TrailingSeparator(folder) + kSnapshotName;
    std::ifstream in(path);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto snapshot = ParseSnapshot(text);
    if (!snapshot) {
        std::fprintf(
            stderr, "vesk-status: no status at %s: the console is not running there\n", path.c_str());
        return kNoSnapshot;
    }
    const long age = static_cast<long>(std::time(nullptr) - snapshot->updated);
    const bool stopped = snapshot->mode == "stopped";
    const bool stale = stopped || age > kSnapshotStaleSeconds;
    const std::string state = stopped ? "stopped"
        : stale ? "STALE: not updated for " + std::to_string(age) + " s (console hung or killed)"
                : "running";
    if (json)
        std::fputs(SnapshotJson(*snapshot, stale).c_str(), stdout);
    else
        printTable(*snapshot, state);
    if (stale)
        std::fprintf(stderr, "vesk-status: the console is %s\n", stopped ? "stopped" : "stale");
    return stale ? kStale : 0;
}
