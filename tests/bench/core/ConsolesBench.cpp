// Several consoles on one outbox, each in a process of its own with its own simulated modem, for
// 1, 2, 4 and 8 consoles (or the counts given), on SQLite files shared in one folder and on a
// PostgreSQL server side by side. Every console keeps its row of the console table as it works.
// Every reply of the modems comes after a delay, so a send takes about twice that, and each send's
// delivery report two seconds later, as from a network; the consoles read them as they work. Prints
// messages per minute, the efficiency rate(N) / (N * rate(1)), the claims lost to other consoles
// and the console rows, and checks that every message went exactly once. With --page, vesk-api
// then serves the largest server run's outbox and chromium saves the status page showing every
// console's card.
// Usage: consoles_bench [--counts 1,2,4,8] [--server-only] [--page FILE.png]
//                       [messages per console, default 30] [reply delay in ms, default 100]

#include "core/Engine.h"
#include "core/Startup.h"
#include "store/Lifecycle.h"
#include "store/Outbox.h"
#include "store/StoreSchema.h"
#include "store/db.h"

#include "BenchConsole.h"
#include "ScriptPgServer.h"
#include "SimProcess.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
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
    long busiest; // the most messages one console sent: the run lasts as long as its share
};

// Where the outbox of one run lives: a folder of files, or a database on the server.
struct Place
{
    std::string folder;
    std::string database;
};

// The number a counting query gives on the outbox; -1 while it cannot be read.
int Count(const Place& place, const std::string& query)
{
    SystemClock clock;
    NullPump pump;
    store::db d(clock, pump);
    store::PointAt(d, place.database, place.folder, store::kOutboxName);
    if (!d.OpenDatabase(store::mode::kReadShared))
        return -1;
    auto rs = d.OpenDynaset(query);
    return rs && !rs->IsEOF() ? static_cast<int>(LongOf(rs->Field(0))) : -1;
}

int Pending(const Place& place)
{
    return Count(place,
        "SELECT COUNT(*) FROM Message WHERE msgStatus = " + store::StatusSql(store::MessageStatus::Pending)
            + " OR msgStatus = " + store::StatusSql(store::MessageStatus::Owned));
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

// Consoles that kept their row of the console table.
int ConsoleRows(const Place& place)
{
    return Count(place, "SELECT COUNT(*) FROM Console WHERE csLastPass > 0");
}

// vesk-api on the outbox with a key that may look, and the page in chromium: every card shown.
void ShootPage(const Place& place, int consoles, const std::string& file, const std::string& scratch)
{
    const auto [made, key] = testing::RunProgram({VESK_BIN_DIR "/vesk-api", "--database", place.database,
        "key", "add", "--name", "bench", "--scope", "status:read"});
    if (made != 0) {
        std::fprintf(stderr, "no key for the page: %s\n", key.c_str());
        return;
    }
    const int log = ::open((scratch + "/api.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    const pid_t api = testing::Spawn(
        {VESK_BIN_DIR "/vesk-api", "--database", place.database, "--listen", "127.0.0.1:18574"}, log);
    close(log);
    std::this_thread::sleep_for(1s);
    const auto [shot, said]
        = testing::RunProgram({"/usr/bin/python3", VESK_SOURCE_DIR "/tests/browser/statuspage/screenshot.py",
            "http://127.0.0.1:18574/", key.substr(0, key.find('\n')), std::to_string(consoles), file});
    std::printf("status page: %s", said.c_str());
    kill(api, SIGTERM);
    waitpid(api, nullptr, 0);
}

// One console's share of the run, in a child process: passes until the parent closes `stop`,
// once nothing is left to send (the parent looks, so that 32 consoles do not each ask the outbox).
[[noreturn]] void Console(
    const Place& place, const std::string& port, int ready, int gate, int stop, const std::string& result)
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
        for (pollfd stopped {stop, POLLIN, 0}; poll(&stopped, 1, 0) == 0; std::this_thread::sleep_for(20ms))
            core::OnTick(*console.ctx);
        std::ofstream(result) << console.ctx->sentCount << ' ' << console.ctx->claimsLost << '\n';
        core::ShutDown(*console.ctx);
    }
    _exit(0);
}

Run Measure(const Place& place, int consoles, int perConsole, int delayMs, const std::string& scratch)
{
    Run run {consoles, consoles * perConsole, 0, 0, 0, 0, 0};
    if (!Fill(place, run.messages)) {
        std::fprintf(stderr, "could not fill the outbox\n");
        std::exit(1);
    }
    std::vector<std::unique_ptr<testing::SimProcess>> modems;
    for (int i = 0; i < consoles; ++i) {
        modems.push_back(std::make_unique<testing::SimProcess>(std::vector<std::string> {
            "--report-delay", "2000", "--imei", "35693803564" + std::to_string(1000 + i)}));
        modems.back()->control("fault slow " + std::to_string(delayMs));
    }
    int ready[2], gate[2], stop[2];
    if (pipe(ready) != 0 || pipe(gate) != 0 || pipe(stop) != 0)
        std::exit(1);
    std::fflush(nullptr);
    std::vector<pid_t> children;
    for (int i = 0; i < consoles; ++i) {
        const pid_t pid = fork();
        if (pid == 0) {
            close(gate[1]);
            close(stop[1]);
            Console(place, modems[static_cast<std::size_t>(i)]->path(), ready[1], gate[0], stop[0],
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
    do
        std::this_thread::sleep_for(100ms);
    while (Pending(place) != 0);
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    close(stop[1]);
    for (pid_t pid : children)
        waitpid(pid, nullptr, 0);
    for (int i = 0; i < consoles; ++i) {
        long sent = 0, lost = 0;
        std::ifstream(scratch + "/result" + std::to_string(i)) >> sent >> lost;
        run.lost += lost;
        run.busiest = std::max(run.busiest, sent);
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
    close(stop[0]);
    return run;
}

} // namespace

int main(int argc, char** argv)
{
    std::vector<int> counts {1, 2, 4, 8};
    std::vector<int> numbers;
    bool serverOnly = false;
    std::string page;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--counts" && i + 1 < argc) {
            counts.clear();
            std::stringstream list(argv[++i]);
            for (std::string n; std::getline(list, n, ',');)
                if (std::atoi(n.c_str()) > 0)
                    counts.push_back(std::atoi(n.c_str()));
        } else if (arg == "--server-only") {
            serverOnly = true;
        } else if (arg == "--page" && i + 1 < argc) {
            page = argv[++i];
        } else {
            numbers.push_back(std::atoi(arg.c_str()));
        }
    }
    if (counts.empty() || counts.front() != 1)
        counts.insert(counts.begin(), 1); // the efficiency is measured against one console
    const int perConsole = numbers.size() > 0 ? std::max(1, numbers[0]) : 30;
    const int delayMs = numbers.size() > 1 ? std::max(0, numbers[1]) : 100;
    testing::TempDir scratch;
    std::filesystem::permissions(scratch.folder(),
        std::filesystem::perms::others_exec | std::filesystem::perms::group_exec,
        std::filesystem::perm_options::add); // the server runs as nobody when this runs as root
    const std::string serverFolder = scratch.file("server");
    const std::string conninfo = vesk::testing::StartScriptPgServer(serverFolder);
    if (conninfo.empty())
        std::fprintf(stderr, "no PostgreSQL server (scripts/pg-server start failed): SQLite only\n");
    std::printf("%d messages a console, modem replies after %d ms\n", perConsole, delayMs);
    std::printf("%-10s %8s %8s %8s %10s %10s %11s %10s %8s %8s\n", "outbox", "consoles", "messages",
        "seconds", "msgs/min", "efficiency", "claims lost", "dup/miss", "rows", "busiest");
    Place largest;
    int largestCount = 0;
    for (const bool onServer : {false, true}) {
        if ((onServer && conninfo.empty()) || (!onServer && serverOnly))
            continue;
        double single = 0;
        for (const int consoles : counts) {
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
            std::printf("%-10s %8d %8d %8.1f %10.0f %10.2f %11ld %5d/%d %8d %8ld\n",
                onServer ? "PostgreSQL" : "SQLite", consoles, run.messages, run.seconds, rate,
                rate / (consoles * single), run.lost, run.duplicated, run.missing, ConsoleRows(place),
                run.busiest);
            if (onServer && consoles >= largestCount) {
                largest = place;
                largestCount = consoles;
            }
            std::fflush(stdout);
        }
    }
    if (!page.empty() && largestCount > 0)
        ShootPage(largest, largestCount, page, scratch.folder());
    if (!conninfo.empty())
        vesk::testing::StopScriptPgServer(serverFolder);
    return 0;
}
