// A long run in little time: the console drains a large outbox and stores a stream of inbound
// messages through the simulator, on a clock whose waits pass quickly, and prints its resident
// memory and open descriptors after the first thousand messages and at the end (they should
// stay within a few percent of each other) and the messages per minute.
//
//   soak_bench [outbound=50000] [inbound=5000] [batch=500]
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

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <thread>

using namespace std::chrono;
using namespace vesk;

namespace {

// Real time, but every wait lasts a fiftieth of what it stands for: the modem's poll steps and
// the database's retry waits pass quickly while the console's rules see the full time.
class QuickWaitClock final : public Clock
{
public:
    DateTime now() const override { return m_start.addSeconds(elapsed().count() / 1000); }
    milliseconds elapsed() const override
    {
        return duration_cast<milliseconds>(steady_clock::now() - m_origin) + m_gained;
    }
    void sleepFor(milliseconds d) override
    {
        const milliseconds real = std::max(milliseconds(1), d / 50);
        std::this_thread::sleep_for(real);
        m_gained += d - real;
    }
    void advance(milliseconds d) { m_gained += d; }

private:
    DateTime m_start = DateTime::fromParts(2026, 3, 5, 9, 0, 0);
    steady_clock::time_point m_origin = steady_clock::now();
    milliseconds m_gained {0};
};

long residentKilobytes()
{
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

long openDescriptors()
{
    std::error_code ec;
    long n = 0;
    for (auto it = std::filesystem::directory_iterator("/proc/self/fd", ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec))
        ++n;
    return n;
}

long count(const std::string& folder, const std::string& query)
{
    SystemClock clock;
    NullPump pump;
    store::db d(clock, pump);
    d.setFilename(folder + "/SMSMessages.mdb");
    if (!d.OpenDatabase(store::mode::kReadShared))
        return -1;
    auto rows = d.OpenDynaset(query);
    return rows && !rows->IsEOF() ? LongOf(rows->Field(0)) : -1;
}

} // namespace

int main(int argc, char** argv)
{
    const int outbound = argc > 1 ? std::atoi(argv[1]) : 50000;
    const int inbound = argc > 2 ? std::atoi(argv[2]) : 5000;
    const int batch = argc > 3 ? std::atoi(argv[3]) : 500;

    testing::SimProcess sim({"--reports", "off"});
    QuickWaitClock clock;
    NullPump pump;
    testing::BenchConsole console(clock, pump, sim.path(),
        {{"SendBatchSize", std::to_string(batch)}, {"SendInterval", "1"}, {"ReadInterval", "1"}});
    core::Context& ctx = *console.ctx;
    const std::string data = console.dataFolder();
    {
        store::db d(clock, pump);
        d.setFilename(data + "/SMSMessages.mdb");
        d.OpenDatabase(store::mode::kReadWriteShared);
        d.Execute("UPDATE System SET sysStandardReply = '', sysSMSSaveInbound = TRUE");
        d.BeginTransaction();
        for (int i = 0; i < outbound; ++i)
            d.Execute(
                "INSERT INTO Message (msgRecipient, msgAddress, msgText, msgSendTime) VALUES ('Soak', '+1555"
                + std::to_string(1000000 + i) + "', 'Soak message number " + std::to_string(i)
                + "', #01/Jan/2020 00:00:00#)");
        d.CommitTransaction();
    }
    store::SystemSettings& system = ctx.outbox.settings;
    system.StandardReply.clear();
    system.SMSSaveInbound = true;

    const auto start = steady_clock::now();
    long firstRss = -1, firstFds = -1;
    int delivered = 0;
    while (ctx.sentCount < outbound || count(data, "SELECT COUNT(*) FROM Inbox") < inbound) {
        // Inbound messages arrive alongside, a few at a time, in step with the outbound drain.
        const long due
            = std::min<long>(inbound, static_cast<long>(inbound) * (ctx.sentCount + batch) / outbound);
        for (int i = 0; delivered < due && i < 5; ++i) {
            try {
                sim.control("deliver +4477009" + std::to_string(10000 + delivered % 10000) + " soak inbound "
                    + std::to_string(delivered));
                ++delivered;
            } catch (const std::exception&) {
                break; // the modem's memory is full until the next read
            }
        }
        clock.advance(seconds(1));
        core::OnTick(ctx);
        if (firstRss < 0 && ctx.sentCount >= 1000) {
            firstRss = residentKilobytes();
            firstFds = openDescriptors();
        }
        if (steady_clock::now() - start > hours(3)) {
            std::fprintf(stderr, "gave up after three hours\n");
            break;
        }
    }
    const double wall = duration<double>(steady_clock::now() - start).count();
    const long lastRss = residentKilobytes();
    const long lastFds = openDescriptors();
    const long stored = count(data, "SELECT COUNT(*) FROM Inbox");
    std::printf("outbound sent             %ld of %d\n", ctx.sentCount, outbound);
    std::printf("inbound stored            %ld of %d\n", stored, inbound);
    std::printf("throughput                %.0f messages/minute (%.0f s)\n",
        60.0 * static_cast<double>(ctx.sentCount + stored) / wall, wall);
    std::printf("resident memory           %ld kB at 1,000 sent, %ld kB at the end (%+.1f%%)\n", firstRss,
        lastRss,
        firstRss > 0 ? 100.0 * static_cast<double>(lastRss - firstRss) / static_cast<double>(firstRss) : 0.0);
    std::printf("open descriptors          %ld at 1,000 sent, %ld at the end\n", firstFds, lastFds);
    core::ShutDown(ctx);
    return 0;
}
