// What a large backlog costs each message: for outboxes holding 1,000, 100,000 and 1,000,000
// pending rows that are not yet due, drains a set of due messages through the simulator (no
// send delay) and prints the console's database time per sent message and the messages sent per
// minute; then runs the daily housekeeping over a million old rows and prints the longest time
// one of its statements held the outbox's write lock, beside the one-statement removal.
//
//   backlog_bench [due=200] [oldRows=1000000] [backlogs...=1000 100000 1000000]   (backlog 0: none)
#include "core/Context.h"
#include "core/Engine.h"
#include "core/SettingsStore.h"
#include "core/Startup.h"
#include "store/Lifecycle.h"
#include "store/Outbox.h"
#include "store/db.h"
#include "support/Clock.h"

#include "BenchConsole.h"
#include "SimProcess.h"
#include "TempDir.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <thread>
#include <vector>

using namespace std::chrono;
using namespace vesk;

namespace {

// Rows made by the database itself: a million statements from here would take longer than the run.
void fill(store::db& d, long rows, const std::string& sendTime, bool complete)
{
    const bool ok = d.Execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
        + std::to_string(rows)
        + ") INSERT INTO Message (msgRecipient, msgAddress, msgText, msgSendTime, msgStatus, msgComplete) "
          "SELECT 'Bench', '+1555' || (1000000 + i), 'Benchmark message number ' || i, '"
        + sendTime + "', " + (complete ? "3, 1" : "0, 0") + " FROM n");
    if (!ok)
        std::fprintf(stderr, "filling the outbox failed: %s\n", d.LastError().c_str());
}

struct Drain
{
    long sent = 0;
    double seconds = 0;
    double dbSeconds = 0;
};

Drain drainBeside(long backlog, int due)
{
    testing::SimProcess sim({"--reports", "off"});
    SystemClock clock;
    NullPump pump;
    testing::BenchConsole console(clock, pump, sim.path(), {{"SendBatchSize", "100"}, {"SendInterval", "5"}});
    core::Context& ctx = *console.ctx;
    {
        store::db d(clock, pump);
        d.setFilename(console.dataFolder() + "/" + store::kOutboxName);
        d.OpenDatabase(store::mode::kReadWriteShared);
        fill(d, backlog, "2099-01-01 00:00:00", false);
        fill(d, due, "2020-01-01 00:00:00", false);
    }
    ctx.NextCycle = {};
    const auto busyStart = ctx.outbox.handle->BusyTime();
    const auto start = steady_clock::now();
    auto next = start;
    while (ctx.sentCount < due && steady_clock::now() - start < minutes(20)) {
        next += seconds(1);
        std::this_thread::sleep_until(next);
        core::OnTick(ctx);
    }
    Drain r;
    r.sent = ctx.sentCount;
    r.seconds = duration<double>(steady_clock::now() - start).count();
    r.dbSeconds = duration<double>(ctx.outbox.handle->BusyTime() - busyStart).count();
    core::ShutDown(ctx);
    return r;
}

class LogToStderr final : public LogSink
{
public:
    void Log(int, const std::string&, const std::string& text) override
    {
        std::fprintf(stderr, "  log: %s\n", text.c_str());
    }
};

// The longest statement that wrote while the profile ran, on the connection it was set on.
struct LongestWrite
{
    double seconds = 0;
    int statements = 0;
};

// Records on a handle the time of each statement that wrote.
void profile(store::db& d, LongestWrite& longest)
{
    d.StatementObserver = [&longest](const std::string& sql, std::chrono::nanoseconds took) {
        if (sql.rfind("SELECT", 0) == 0)
            return;
        longest.seconds = std::max(longest.seconds, duration<double>(took).count());
        ++longest.statements;
    };
}

void housekeepingOver(long rows)
{
    testing::TempDir dir;
    SystemClock clock;
    NullPump pump;
    const std::string templates = VESK_BIN_DIR "/DB/";
    for (const char* name : {store::kOutboxName, store::kArchiveName})
        std::filesystem::copy_file(templates + name, dir.file(name));
    {
        store::db d(clock, pump);
        d.setFilename(dir.file(store::kOutboxName));
        d.OpenDatabase(store::mode::kReadWriteShared);
        fill(d, rows, "2020-01-01 00:00:00", true);
        fill(d, 1000, "2099-01-01 00:00:00", false);
    }
    std::filesystem::create_directory(dir.file("before"));
    for (const char* name : {store::kOutboxName, store::kArchiveName})
        std::filesystem::copy_file(dir.file(name), dir.file(std::string("before/") + name));

    // One statement each, as the archive and removal were written before.
    {
        store::db d(clock, pump);
        d.setFilename(dir.file(std::string("before/") + store::kOutboxName));
        d.OpenDatabase(store::mode::kReadWriteShared);
        LongestWrite longest;
        profile(d, longest);
        d.Execute("INSERT INTO Message IN '" + dir.file(std::string("before/") + store::kArchiveName)
            + "' SELECT * FROM Message WHERE msgSendTime < #01/Jan/2021#");
        d.Execute("DELETE FROM Message WHERE msgComplete = TRUE AND msgSendTime < #01/Jan/2021#");
        std::printf("housekeeping over %ld old rows, one statement each: longest write lock %.2f s\n", rows,
            longest.seconds);
    }

    LogToStderr log;
    store::Outbox outbox(clock, pump, log);
    outbox.templateFolder = templates;
    store::OpenOutbox(outbox, dir.path(), true);
    outbox.settings.SMSRemoveAfter = 7;
    outbox.settings.SMSArchive = true;
    outbox.nextHousekeeping = clock.now().addMinutes(-1);
    outbox.handle->OpenDatabase(store::mode::kReadWriteShared);
    LongestWrite longest;
    profile(*outbox.handle, longest);
    const auto start = steady_clock::now();
    store::Housekeeping(outbox);
    const double total = duration<double>(steady_clock::now() - start).count();
    std::printf("housekeeping over %ld old rows, in steps of %d: longest write lock %.3f s, %d writing "
                "statements, %.1f s in all\n",
        rows, outbox.housekeepingStep, longest.seconds, longest.statements, total);
}

} // namespace

int main(int argc, char** argv)
{
    const int due = argc > 1 ? std::atoi(argv[1]) : 200;
    const long oldRows = argc > 2 ? std::atol(argv[2]) : 1000000;
    std::vector<long> backlogs;
    for (int i = 3; i < argc; ++i)
        backlogs.push_back(std::atol(argv[i]));
    if (backlogs.empty())
        backlogs = {1000, 100000, 1000000};

    std::printf("SQLite, %d due messages, simulator without send delay, batch 100, interval 5 s\n", due);
    std::printf("%12s %16s %16s %12s\n", "backlog", "db ms/message", "messages/min", "seconds");
    for (long backlog : backlogs) {
        if (backlog <= 0)
            continue; // "0" runs the housekeeping alone
        const Drain r = drainBeside(backlog, due);
        std::printf("%12ld %16.2f %16.0f %12.1f\n", backlog, 1000.0 * r.dbSeconds / std::max(1L, r.sent),
            60.0 * static_cast<double>(r.sent) / r.seconds, r.seconds);
        std::fflush(stdout);
    }
    housekeepingOver(oldRows);
    return 0;
}
