// Drains a full outbox through the simulator (no modem latency) with the console's own timer
// rules and prints the throughput next to the ceiling the pacing allows, the CPU and database
// time per message, and the CPU the console uses while idle.
//
//   gateway_bench [messages=2000] [batch=100] [sendInterval=5] [idleSeconds=60]
#include "core/Context.h"
#include "core/Engine.h"
#include "core/SettingsStore.h"
#include "core/Startup.h"
#include "store/db.h"
#include "support/Clock.h"
#include "support/Convert.h"

#include "BenchConsole.h"
#include "SimProcess.h"
#include "TempDir.h"

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <thread>

using namespace std::chrono;
using namespace vesk;

namespace {

double cpuSeconds()
{
    rusage u {};
    getrusage(RUSAGE_SELF, &u);
    return static_cast<double>(u.ru_utime.tv_sec + u.ru_stime.tv_sec)
        + static_cast<double>(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long pending(const std::string& folder)
{
    SystemClock clock;
    NullPump pump;
    store::db d(clock, pump);
    d.setFilename(folder + "/SMSMessages.mdb");
    if (!d.OpenDatabase(store::mode::kReadShared))
        return -1;
    auto rows = d.OpenDynaset("SELECT COUNT(*) AS T FROM Message WHERE msgComplete = FALSE");
    return rows && !rows->IsEOF() ? LongOf(rows->Field("T")) : -1;
}

// The console's one-second timer, for as long as the condition holds.
template<class While> void tickWhile(core::Context& ctx, While&& condition)
{
    auto next = steady_clock::now();
    while (condition()) {
        next += seconds(1);
        std::this_thread::sleep_until(next);
        core::OnTick(ctx);
    }
}

} // namespace

int main(int argc, char** argv)
{
    const int messages = argc > 1 ? std::atoi(argv[1]) : 2000;
    const int batch = argc > 2 ? std::atoi(argv[2]) : 100;
    const int interval = argc > 3 ? std::atoi(argv[3]) : 5;
    const int idleSeconds = argc > 4 ? std::atoi(argv[4]) : 60;

    testing::SimProcess sim({"--reports", "off"});
    SystemClock clock;
    NullPump pump;
    testing::BenchConsole console(clock, pump, sim.path(),
        {{"SendBatchSize", std::to_string(batch)}, {"SendInterval", std::to_string(interval)}});
    core::Context& ctx = *console.ctx;
    {
        store::db d(clock, pump);
        d.setFilename(console.dataFolder() + "/SMSMessages.mdb");
        d.OpenDatabase(store::mode::kReadWriteShared);
        d.BeginTransaction();
        for (int i = 0; i < messages; ++i)
            d.Execute(
                "INSERT INTO Message (msgRecipient, msgAddress, msgText, msgSendTime) VALUES ('Bench', '+1555"
                + std::to_string(1000000 + i) + "', 'Benchmark message number " + std::to_string(i)
                + "', #01/Jan/2020 00:00:00#)");
        d.CommitTransaction();
    }
    ctx.NextCycle = {};

    const auto start = steady_clock::now();
    const double cpuStart = cpuSeconds();
    tickWhile(ctx, [&] { return pending(console.dataFolder()) != 0; });
    const double wall = duration<double>(steady_clock::now() - start).count();
    const double cpu = cpuSeconds() - cpuStart;
    const double dbTime = duration<double>(ctx.outbox.handle->BusyTime()).count();

    // A pass starts at most every 5 seconds and a delivery pass at most every SendInterval
    // seconds, each handling at most SendBatchSize messages.
    const double ceiling = 60.0 * batch / std::max(5, interval);
    std::printf("messages sent            %ld of %d in %.1f s\n", ctx.sentCount, messages, wall);
    std::printf(
        "throughput               %.0f messages/minute (pacing ceiling %.0f for batch %d, interval %d s)\n",
        60.0 * static_cast<double>(ctx.sentCount) / wall, ceiling, batch, interval);
    std::printf("console CPU per message  %.2f ms\n", 1000.0 * cpu / std::max<long>(1, ctx.sentCount));
    std::printf("database time per message %.2f ms\n", 1000.0 * dbTime / std::max<long>(1, ctx.sentCount));

    const double idleStart = cpuSeconds();
    const auto idleUntil = steady_clock::now() + seconds(idleSeconds);
    tickWhile(ctx, [&] { return steady_clock::now() < idleUntil; });
    const double idleCpu = cpuSeconds() - idleStart;
    std::printf("idle CPU                 %.3f s in %d s (%.2f%% of one core)\n", idleCpu, idleSeconds,
        100.0 * idleCpu / idleSeconds);
    core::ShutDown(ctx);
    return 0;
}
