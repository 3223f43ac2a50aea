// Several consoles on one outbox, each in a process of its own with its own simulated modem, for
// 1, 2, 4 and 8 consoles, on SQLite files shared in one folder and on a PostgreSQL server side by
// side. Every reply of the modems comes after a delay, so a send takes about twice that. Prints
// messages per minute, the efficiency rate(N) / (N * rate(1)) and the claims lost to other
// consoles, and checks that every message went exactly once.
// Usage: consoles_bench [messages per console, default 30] [reply delay in ms, default 100]

#include "core/Engine.h"
#include "core/Startup.h"
#include "store/Lifecycle.h"
#include "store/Outbox.h"
#include "store/StoreSchema.h"
#include "store/db.h"

#include "BenchConsole.h"
#include "ScriptPgServer.h"
#include "SimProcess.h"

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <thread>

using namespace vesk;
using namespace std::chrono_literals;

namespace {

struct Run
{
    int consoles;
    int messages;
    double seconds;
    long lost;
    int duplicated;
    int missing;
};

// Where the outbox of one run lives: a folder of files, or a database on the server.
struct Place
{
    std::string folder;
    std::string database;
};

int Pending(const Place& place)
{
    SystemClock clock;
    NullPump pump;
    store::db d(clock, pump);
    store::PointAt(d, place.database, place.folder, store::kOutboxName);
    if (!d.OpenDatabase(store::mode::kReadShared))
        return -1;
    auto rs = d.OpenDynaset(
        "SELECT COUNT(*) FROM Message WHERE msgStatus = " + store::StatusSql(store::MessageStatus::Pending)
        + " OR msgStatus = " + store::StatusSql(store::MessageStatus::Owned));
    return rs && !rs->IsEOF() ? static_cast<int>(LongOf(rs->Field(0))) : -1;
}

bool Fill(const Place& place, int rows)
{
    SystemClock clock;
    NullPump pump;
    store::db d(clock, pump);
    store::PointAt(d, place.database, place.folder, store::kOutboxName);
    std::string why;
    if (!d.OpenDatabase(store::mode::kReadWriteShared)
        || (!place.database.empty() && !store::CreatePgStore(d, why)) || !d.BeginTransaction())
        return false;
    for (int i = 0; i < rows; ++i)
        d.Execute(
            "INSERT INTO Message (msgRecipient, msgAddress, msgText, msgSendTime) VALUES ('Bench', '+4477009"
            + std::to_string(10000 + i) + "', 'bench " + std::to_string(i) + "', #01/Jan/2020 00:00:00#)");
    return d.CommitTransaction();
}

// One console's share of the run, in a child process: passes until nothing is left to send.
[[noreturn]] void Console(
    const Place& place, const std::string& port, int ready, int gate, const std::string& result)
{
    {
        SystemClock clock;
        NullPump pump;
        testing::BenchConsole console(clock, pump, port, {{"SendInterval", "1"}, {"SendBatchSize", "10"}},
            place.folder, place.database);
        (void)!write(ready, "r", 1);
        char c;
        (void)!read(gate, &c, 1);
        console.ctx->NextCycle = {}; // the first pass at once, not after the start delay
        for (auto checked = std::chrono::steady_clock::now();; std::this_thread::sleep_for(20ms)) {
            core::OnTick(*console.ctx);
            if (std::chrono::steady_clock::now() - checked > 500ms) {
                checked = std::chrono::steady_clock::now();
                if (Pending(place) == 0)
                    break;
            }
        }
        std::ofstream(result) << console.ctx->sentCount << ' ' << console.ctx->claimsLost << '\n';
        core::ShutDown(*console.ctx);
    }
    _exit(0);
}

Run Measure(const Place& place, int consoles, int perConsole, int delayMs, const std::string& scratch)
{
    Run run {consoles, consoles * perConsole, 0, 0, 0, 0};
    if (!Fill(place, run.messages)) {
        std::fprintf(stderr, "could not fill the outbox\n");
        std::exit(1);
    }
    std::vector<std::unique_ptr<testing::SimProcess>> modems;
    for (int i = 0; i < consoles; ++i) {
        modems.push_back(std::make_unique<testing::SimProcess>(std::vector<std::string> {
            "--reports", "off", "--imei", "35693803564" + std::to_string(1000 + i)}));
        modems.back()->control("fault slow " + std::to_string(delayMs));
    }
    int ready[2], gate[2];
    if (pipe(ready) != 0 || pipe(gate) != 0)
        std::exit(1);
    std::fflush(nullptr);
    std::vector<pid_t> children;
    for (int i = 0; i < consoles; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            close(gate[1]);
            Console(place, modems[static_cast<std::size_t>(i)]->path(), ready[1], gate[0],
                scratch + "/result" + std::to_string(i));
        }
        children.push_back(pid);
    }
    for (int i = 0; i < consoles; ++i) {
        char c;
        (void)!read(ready[0], &c, 1);
    }
    const auto start = std::chrono::steady_clock::now();
    close(gate[1]); // all consoles start at once
    for (pid_t pid : children)
        waitpid(pid, nullptr, 0);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    for (int i = 0; i < consoles; ++i) {
        long sent = 0, lost = 0;
        std::ifstream(scratch + "/result" + std::to_string(i)) >> sent >> lost;
        run.lost += lost;
    }
    std::multiset<std::string> texts;
    for (auto& modem : modems)
        for (const auto& line : modem->control("messages"))
            texts.insert(testing::SimProcess::field(line, "text"));
    const std::set<std::string> distinct(texts.begin(), texts.end());
    run.duplicated = static_cast<int>(texts.size() - distinct.size());
    run.missing = run.messages - static_cast<int>(distinct.size());
    close(ready[0]);
    close(ready[1]);
    close(gate[0]);
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    const int perConsole = argc > 1 ? std::max(1, std::atoi(argv[1])) : 30;
    const int delayMs = argc > 2 ? std::max(0, std::atoi(argv[2])) : 100;
    testing::TempDir scratch;
    std::filesystem::permissions(scratch.folder(),
        std::filesystem::perms::others_exec | std::filesystem::perms::group_exec,
        std::filesystem::perm_options::add); // the server runs as nobody when this runs as root
    const std::string serverFolder = scratch.file("server");
    const std::string conninfo = vesk::testing::StartScriptPgServer(serverFolder);
    if (conninfo.empty())
        std::fprintf(stderr, "no PostgreSQL server (scripts/pg-server start failed): SQLite only\n");
    std::printf("%d messages a console, modem replies after %d ms\n", perConsole, delayMs);
    std::printf("%-10s %8s %8s %8s %10s %10s %11s %10s\n", "outbox", "consoles", "messages", "seconds",
        "msgs/min", "efficiency", "claims lost", "dup/miss");
    for (const bool onServer : {false, true}) {
        if (onServer && conninfo.empty())
            break;
        double single = 0;
        for (const int consoles : {1, 2, 4, 8}) {
            Place place;
            place.folder = scratch.file((onServer ? "pg" : "files") + std::to_string(consoles));
            std::filesystem::create_directories(place.folder);
            if (onServer) {
                const std::string name = "bench" + std::to_string(consoles);
                SystemClock clock;
                NullPump pump;
                store::db admin(clock, pump);
                admin.setFilename(conninfo);
                if (!admin.OpenDatabase(store::mode::kReadWriteShared)
                    || !admin.Execute("CREATE DATABASE " + name))
                    return 1;
                place.database = conninfo.substr(0, conninfo.find("dbname=")) + "dbname=" + name;
            } else {
                for (const char* file : {store::kOutboxName, store::kArchiveName, store::kContactsName})
                    std::filesystem::copy_file(
                        std::string(VESK_BIN_DIR "/DB/") + file, place.folder + "/" + file);
            }
            const Run run = Measure(place, consoles, perConsole, delayMs, place.folder);
            const double rate = run.messages / run.seconds * 60;
            if (consoles == 1)
                single = rate;
            std::printf("%-10s %8d %8d %8.1f %10.0f %10.2f %11ld %5d/%d\n",
                onServer ? "PostgreSQL" : "SQLite", consoles, run.messages, run.seconds, rate,
                rate / (consoles * single), run.lost, run.duplicated, run.missing);
            std::fflush(stdout);
        }
    }
    if (!conninfo.empty())
        vesk::testing::StopScriptPgServer(serverFolder);
    return 0;
}
