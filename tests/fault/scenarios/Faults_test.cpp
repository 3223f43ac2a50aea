// What months unattended bring, one scenario a row: the modem simulator on a pseudo-terminal, real
// outbox files, and real processes (a console killed with SIGKILL, vesk-queue, a lock holder).
// Each scenario prints its figures and shows that nothing is lost and nothing sent twice outside
// the at-least-once window it measures. Time-dependent rules (retries, orphaned claims) are met
// by moving the consoles' clock forward, not by waiting.
#include "core/Context.h"
#include "core/Engine.h"
#include "core/SettingsStore.h"
#include "core/Startup.h"
#include "store/ConsoleTable.h"
#include "store/Lifecycle.h"
#include "store/Outbox.h"
#include "store/SqlText.h"
#include "store/db.h"
#include "support/Convert.h"

#include "ConsoleProcess.h"
#include "DataTemplates.h"
#include "OutboxSql.h"
#include "PgServer.h"
#include "ScriptedPump.h"
#include "ShiftedClock.h"
#include "SimProcess.h"
#include "SmtpServer.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
#include <sstream>
#include <thread>

using namespace std::chrono_literals;
using namespace vesk;
using vesk::testing::OutboxSql;
using vesk::testing::SimProcess;

namespace {

// One console run in this process, with its own program folder and settings.
struct Console
{
    vesk::testing::TempDir programDir;
    vesk::testing::ScriptedPump pump;
    core::SettingsStore settings {programDir.file("console.conf")};
    std::unique_ptr<core::Context> ctx;
};

// Holds the write lock on a database file from when it has made `<sentinel>.held` until the
// sentinel file is gone.
const char* const kLockUntilReleased = "import os, sqlite3, sys, time\n"
                                       "c = sqlite3.connect(sys.argv[1], isolation_level=None, timeout=60)\n"
                                       "c.execute('BEGIN IMMEDIATE')\n"
                                       "open(sys.argv[2] + '.held', 'w').close()\n"
                                       "while os.path.exists(sys.argv[2]): time.sleep(0.05)\n"
                                       "c.execute('COMMIT')\n";

// Holds write locks on a database file for the given seconds each, half a second apart.
const char* const kLockHolder
    = "import sqlite3, sys, time\n"
      "c = sqlite3.connect(sys.argv[1], isolation_level=None, timeout=60)\n"
      "for hold in sys.argv[2:]:\n"
      "    c.execute('BEGIN IMMEDIATE'); time.sleep(float(hold)); c.execute('COMMIT')\n"
      "    time.sleep(0.5)\n";

class FaultRig;

struct Scenario
{
    const char* name;
    std::function<void(FaultRig&)> run;
};

void PrintTo(const Scenario& scenario, std::ostream* out)
{
    *out << scenario.name;
}

class FaultRig : public ::testing::TestWithParam<Scenario>
{
public:
    ~FaultRig() override
    {
        for (auto& c : consoles)
            if (c->ctx)
                core::ShutDown(*c->ctx);
        if (lockHolder > 0) {
            kill(lockHolder, SIGKILL);
            waitpid(lockHolder, nullptr, 0);
        }
    }

    // Starts a console in this process on the simulator's link; `settings` are set over the rig's.
    Console& start(const std::map<std::string, std::string>& settings = {})
    {
        auto console = std::make_unique<Console>();
        auto& s = console->settings;
        s.set("COM", "AutoDetect", "0");
        s.set("COM", "CommandTimeout", "1");
        s.set("COM", "ListTimeout", "3");
        s.set("COM", "SendTimeout", "3");
        s.set("COM", "ModemLog", "1");
        s.set("Resource", "SendBatchSize", "25");
        for (const auto& [key, value] : settings) // "Section/Key"
            s.set(key.substr(0, key.find('/')), key.substr(key.find('/') + 1), value);
        console->ctx = std::make_unique<core::Context>(clock, console->pump, s, console->programDir.folder());
        auto& ctx = *console->ctx;
        ctx.outbox.templateFolder = VESK_BIN_DIR "/DB/";
        ctx.overrides.dataFolder = dataFolder;
        ctx.overrides.port = link;
        if (!database.empty())
            ctx.overrides.database = database;
        core::HeadlessPrompts prompts(ctx, true);
        EXPECT_EQ(core::Main(ctx, prompts), core::StartResult::Running) << prompts.message();
        consoles.push_back(std::move(console));
        return *consoles.back();
    }

    // One timer tick a minute later (drainStep): retries fall due, claims stay fresh.
    void pass(Console& c, std::optional<std::chrono::milliseconds> wait = std::nullopt)
    {
        clock.advance(wait.value_or(drainStep));
        core::OnTick(*c.ctx);
    }

    // Passes until nothing is waiting. A console that never gets over its fault fails the drain
    // instead of hanging it: two passes in a row that send nothing though messages were due are
    // enough, however long each pass takes.
    bool drain(Console& c)
    {
        const std::string waiting = "SELECT COUNT(*) FROM qry_Pending_Messages";
        int left = count(waiting);
        for (int stalled = 0; left > 0 && stalled < 2; ++drainPasses) {
            const std::string due = Format(clock.now().addSeconds(61), "dd/mmm/yyyy hh:nn:ss");
            const bool anyDue = count(waiting + " WHERE msgSendTime <= #" + due + "#") > 0;
            pass(c);
            const int now = count(waiting);
            stalled = anyDue && now == left ? stalled + 1 : 0;
            left = now;
        }
        if (left > 0) {
            ADD_FAILURE() << left << " messages still waiting after passes that sent nothing";
            return false;
        }
        pass(c); // the reports of the last sends
        return true;
    }

    void seed() { vesk::testing::CopyDataTemplates(dataFolder); }
    OutboxSql outbox() { return {clock, nullPump, dataFolder, database}; }
    void sql(const std::string& statement) { outbox().run(statement); }
    int count(const std::string& query) { return static_cast<int>(outbox().count(query)); }

    // Queues n messages in one statement, so a console waiting meanwhile misses nothing.
    void queue(int n, const std::string& prefix)
    {
        std::string rows;
        for (int i = 0; i < n; ++i) {
            const std::string text = prefix + " " + std::to_string(queued.size() + 1);
            rows += std::string(rows.empty() ? "" : ", ") + "('Ann', '+4477009"
                + std::to_string(10000 + queued.size()) + "', '" + text + "', #"
                + Format(clock.now(), "dd/mmm/yyyy hh:nn:ss") + "#)";
            queued.push_back(text);
        }
        if (!rows.empty())
            sql("INSERT INTO Message (msgRecipient, msgAddress, msgText, msgSendTime) VALUES " + rows);
    }

    void fault(const std::string& what)
    {
        faultAt = std::chrono::steady_clock::now();
        sim.control(what);
    }

    // Another program holding the outbox keeps the machine's clock: Python's sleep fails with
    // EINVAL under a shifted one.
    std::vector<std::string> lockerRun(const char* script, std::vector<std::string> more = {})
    {
        std::vector<std::string> args = {"/usr/bin/env", "-u", "LD_PRELOAD", "-u", "FAKETIME", VESK_PYTHON3,
            "-c", script, dataFolder + "/" + store::kOutboxName};
        args.insert(args.end(), more.begin(), more.end());
        return args;
    }

    void holdLocks(std::vector<std::string> seconds)
    {
        lockHolder = vesk::testing::Spawn(lockerRun(kLockHolder, std::move(seconds)), STDERR_FILENO);
    }

    // The outbox file locked by another program until release().
    void lockUntilReleased()
    {
        sentinel = dir.file("lock-sentinel");
        std::ofstream(sentinel).put('\n');
        lockHolder = vesk::testing::Spawn(lockerRun(kLockUntilReleased, {sentinel}), STDERR_FILENO);
        ASSERT_TRUE(vesk::testing::WaitFor([&] { return std::filesystem::exists(sentinel + ".held"); }));
    }
    void release()
    {
        std::filesystem::remove(sentinel);
        waitpid(lockHolder, nullptr, 0);
        lockHolder = -1;
    }

    // The simulator's counters: "reports made" and so on.
    std::map<std::string, int> counters()
    {
        std::map<std::string, int> figures;
        for (const auto& line : sim.control("counters")) {
            std::istringstream words(line);
            std::string kind, pair;
            words >> kind;
            while (words >> pair)
                figures[kind + " " + pair.substr(0, pair.find('='))]
                    = std::stoi(pair.substr(pair.find('=') + 1));
        }
        return figures;
    }

    bool lockHolderDone()
    {
        if (lockHolder > 0 && waitpid(lockHolder, nullptr, WNOHANG) == lockHolder)
            lockHolder = -1;
        return lockHolder <= 0;
    }

    // Prints the scenario's figures and checks them: every queued message on the air once, or
    // at most `window` of them twice (messages accepted by the modem but not recorded when the
    // console died).
    void report(int window = 0, std::optional<std::map<std::string, int>> delivered = std::nullopt)
    {
        std::map<std::string, int> onAir;
        if (delivered)
            onAir = *delivered;
        else
            for (const auto& line : sim.control("messages"))
                ++onAir[SimProcess::field(line, "text")];
        int sent = 0, duplicated = 0;
        for (const auto& text : queued) {
            sent += onAir.count(text) != 0;
            duplicated += onAir.count(text) ? onAir[text] - 1 : 0;
        }
        const int lost = static_cast<int>(queued.size()) - sent;
        const double seconds
            = std::chrono::duration<double>(std::chrono::steady_clock::now() - faultAt).count();
        std::printf("[fault] %-44s queued %4zu  sent %4d  duplicated %d  lost %d  recovered in %.1f s, "
                    "%d delivery passes\n",
            GetParam().name, queued.size(), sent, duplicated, lost, seconds, drainPasses);
        EXPECT_EQ(lost, 0);
        EXPECT_LE(duplicated, window);
    }

    int logged(Console& c, const std::string& start)
    {
        int n = 0;
        for (const auto& line : c.ctx->app.log().lines())
            n += line.text.rfind(start, 0) == 0;
        return n;
    }
    int journalMoves(Console& c)
    {
        int n = 0;
        for (const auto& line : c.ctx->app.log().lines())
            if (line.text.find(" moved from the nearly full modem memory") != std::string::npos)
                n += std::stoi(line.text);
        return n;
    }

    vesk::testing::TempDir dir;
    std::string dataFolder = dir.file("data");
    std::string database; // the fault runs use outbox files
    std::string link = dir.file("modem");
    SimProcess sim {{"--link", link}};
    // How far the clock moves for a pass: a minute, so retries fall due; rows whose reports are
    // counted use the pass spacing, so reports half a second late are not taken for lost.
    std::chrono::milliseconds drainStep = 61s;
    int drainPasses = 0; // passes the drains took: 25 messages a pass when no fault costs one
    vesk::testing::ShiftedClock clock {SystemClock().now()};
    NullPump nullPump;
    std::vector<std::unique_ptr<Console>> consoles;
    std::vector<std::string> queued;
    std::chrono::steady_clock::time_point faultAt = std::chrono::steady_clock::now();
    pid_t lockHolder = -1;
    std::string sentinel;
};

// A modem that goes quiet or restarts during a send, or talks on its own around its answers,
// while 60 messages go out and 20 come in: each sent once, each stored once, each report matched.
// Only silence and restarts cost a send, and the driver ends the message entry they leave open.
void modemFault(FaultRig& rig, const std::string& fault)
{
    auto& c = rig.start();
    rig.queue(60, fault);
    for (int i = 1; i <= 20; ++i)
        rig.sim.control("deliver +4477009" + std::to_string(20000 + i) + " inbound " + std::to_string(i));
    rig.fault("fault " + fault);
    ASSERT_TRUE(rig.drain(c));
    rig.pass(c);
    rig.report();
    c.ctx->modem->LogFlush();
    const std::string log = vesk::testing::ReadFile(rig.dataFolder + "/modemlog.txt");
    // Announcements of new reports are set aside in every run; only a flood rings.
    int setAside = 0;
    for (auto at = log.find("Set aside: RING"); at != std::string::npos;
         at = log.find("Set aside: RING", at + 1))
        ++setAside;
    std::printf("[fault] %d unsolicited rings set aside\n", setAside);
    const bool flood = fault.rfind("flood", 0) == 0;
    EXPECT_EQ(setAside > 0, flood);
    EXPECT_EQ(log.find("Message entry ended\r\n", log.find("ATE0")) != std::string::npos, !flood);
    EXPECT_EQ(rig.count("SELECT COUNT(*) FROM Message WHERE msgAttempts > 0") > 0, !flood);
    EXPECT_EQ(rig.count("SELECT COUNT(DISTINCT msgText) FROM Inbox WHERE msgText LIKE 'inbound %'"), 20);
    EXPECT_EQ(rig.count("SELECT COUNT(*) FROM Inbox"), 20);
    EXPECT_EQ(rig.count("SELECT COUNT(*) FROM Message WHERE msgStatus = 5"), 60);
    EXPECT_EQ(rig.logged(c, "No outstanding delivery id"), 0);
}

// A console killed with SIGKILL while the modem waits in message entry or mid-pass, restarted
// here. The killed console is a child of this process running the same engine on its own copy
// of the clock, so its first pass comes at once instead of after the start delay.
void killed(FaultRig& rig, bool inEntry)
{
    rig.seed();
    // Slow replies keep the pass going long enough to be cut in the middle.
    rig.sim.control(inEntry ? "fault silent-on-send 600" : "fault slow 100");
    rig.queue(30, inEntry ? "killed in entry" : "killed mid-pass");
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto& c = rig.start();
        for (;;)
            rig.pass(c, 11s); // claims stamped seconds, not minutes, ahead of the parent's clock
    }
    const bool reached = vesk::testing::WaitFor([&] {
        return inEntry ? std::ranges::any_of(rig.sim.control("transcript"),
                   [](const std::string& line) { return line.starts_with("AT+CMGS="); })
                       : rig.sim.control("messages").size() >= 5;
    });
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_TRUE(reached);
    rig.fault("fault clear"); // in entry still, when it was killed there
    auto& c = rig.start();
    rig.pass(c, 6min); // the dead console's claims run out
    ASSERT_TRUE(rig.drain(c));
    rig.report(inEntry ? 0 : 1);
}

// What the network brings while the outbox is out of reach: inbound messages and the reports of
// messages the console sent before, taking turns, a few at a time.
struct Arrivals
{
    int inbound = 0;
    int reports = 0;
    std::vector<std::string> commands; // simulator control lines, in the order they arrive
    std::size_t next = 0;

    bool done() const { return next >= commands.size(); }
    void bring(SimProcess& sim, std::size_t n)
    {
        for (; n > 0 && !done(); --n)
            sim.control(commands[next++]);
    }
};

// Sends `count` messages with the simulator keeping their reports back; then the 20 inbound
// messages and those reports are what arrives during the outage. A full memory makes the network
// try again later, as a real network does.
Arrivals sentWithReportsToCome(FaultRig& rig, Console& c, int count)
{
    rig.sim.control("set reports off");
    rig.queue(count, "kept");
    EXPECT_TRUE(rig.drain(c));
    std::vector<std::string> reports;
    for (const auto& line : rig.sim.control("sent"))
        reports.push_back(
            "report " + SimProcess::field(line, "ref") + " " + SimProcess::field(line, "to") + " 0");
    Arrivals a;
    for (std::size_t i = 0; i < std::max<std::size_t>(reports.size(), 20); ++i) {
        if (i < 20) {
            a.commands.push_back(
                "deliver +4477009" + std::to_string(30000 + i) + " kept inbound " + std::to_string(i + 1));
            ++a.inbound;
        }
        if (i < reports.size()) {
            a.commands.push_back(reports[i]);
            ++a.reports;
        }
    }
    rig.sim.control("set full reject");
    return a;
}

// Every inbound message stored once, every report matched, the modem emptied, the journal done.
void everythingKept(FaultRig& rig, Console& c, const Arrivals& a)
{
    for (int i = 0; i < 20
         && (!rig.sim.control("memory SM").empty() || rig.counters()["reports waiting"] > 0
             || core::JournalWaiting(*c.ctx) > 0);
         ++i) {
        std::this_thread::sleep_for(200ms);
        rig.pass(c, 11s);
    }
    const int stored
        = rig.count("SELECT COUNT(DISTINCT msgText) FROM Inbox WHERE msgText LIKE 'kept inbound %'");
    const int rows = rig.count("SELECT COUNT(*) FROM Inbox WHERE msgText LIKE 'kept inbound %'");
    const int matched = rig.count("SELECT COUNT(*) FROM Message WHERE msgStatus = 5");
    auto figures = rig.counters();
    std::printf("[fault] %-44s inbound made %d stored %d duplicated %d, reports made %d matched %d, "
                "%d through the journal\n",
        rig.GetParam().name, a.inbound, stored, rows - stored, a.reports, matched, rig.journalMoves(c));
    EXPECT_EQ(stored, a.inbound);
    EXPECT_EQ(rows, stored);
    EXPECT_EQ(matched, a.reports);
    EXPECT_EQ(figures["reports dropped"] + figures["inbound dropped"], 0);
    EXPECT_TRUE(rig.sim.control("memory SM").empty());
    EXPECT_EQ(core::JournalWaiting(*c.ctx), 0);
    rig.report();
}

// The outbox out of reach while units arrive, ten a pass; `outage` begins and ends it and says
// how many passes it lasts.
void outage(FaultRig& rig, const std::function<void()>& begin, const std::function<void()>& end, int passes,
    std::chrono::seconds step)
{
    auto& c = rig.start();
    Arrivals a = sentWithReportsToCome(rig, c, 50);
    begin();
    rig.faultAt = std::chrono::steady_clock::now();
    for (int i = 0; i < passes || !a.done(); ++i) {
        a.bring(rig.sim, 10);
        rig.pass(c, step);
    }
    end();
    everythingKept(rig, c, a);
}

void onPostgres(FaultRig& rig)
{
    rig.database = vesk::testing::PgServer::Own().CreateDatabase();
}

// A console killed with SIGKILL after it wrote a unit to the journal and before the modem deleted
// it (the simulator holds the delete): restarted, it stores the unit once and only deletes it.
void killedBetweenJournalAndDelete(FaultRig& rig)
{
    VESK_REQUIRE_SERVER(vesk::testing::PgServer::Own());
    onPostgres(rig);
    core::ShutDown(*rig.start().ctx);
    rig.consoles.clear();
    auto& pg = vesk::testing::PgServer::Own();
    rig.sim.control("set sm-size 10");
    rig.sim.control("clear");
    const std::string journal = rig.dataFolder + "/" + core::kJournalFile;
    std::fflush(nullptr);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        auto& c = rig.start();
        for (;;)
            rig.pass(c, 11s);
    }
    // Started (the console has asked how reports are handed over): now the outage and the units.
    ASSERT_TRUE(vesk::testing::WaitFor([&] {
        return std::ranges::any_of(
            rig.sim.control("transcript"), [](const std::string& l) { return l.starts_with("AT+CNMI=?"); });
    }));
    ASSERT_TRUE(pg.Control("-m fast stop"));
    rig.sim.control("fault hold-delete");
    for (int i = 1; i <= 9; ++i)
        rig.sim.control(
            "deliver +4477009" + std::to_string(40000 + i) + " kept inbound " + std::to_string(i));
    const bool written = vesk::testing::WaitFor([&] {
        return vesk::testing::ReadFile(journal).find("unit ") != std::string::npos
            && std::ranges::any_of(rig.sim.control("transcript"),
                [](const std::string& l) { return l.starts_with("AT+CMGD="); });
    });
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    ASSERT_TRUE(written);
    std::printf("[fault] killed with %zu unit(s) in the journal and 9 in the modem\n",
        core::ModemJournal(journal).Written().size());
    rig.sim.control("fault clear");
    ASSERT_TRUE(pg.Start());
    auto& c = rig.start();
    rig.faultAt = std::chrono::steady_clock::now();
    Arrivals a;
    a.inbound = 9;
    everythingKept(rig, c, a);
}

// Waits for the reports of the last sends, a pass at a time, until the simulator holds none back.
void lastReports(FaultRig& rig, Console& c)
{
    for (int i = 0; i < 30; ++i) {
        auto f = rig.counters();
        const int placed = f["reports stored"] + f["reports routed"] + f["reports dropped"];
        if (placed >= f["reports made"] && f["reports waiting"] == 0 && rig.sim.control("memory SR").empty()
            && rig.sim.control("memory SM").empty())
            return;
        std::this_thread::sleep_for(300ms);
        rig.pass(c, 11s);
    }
}

int listings(FaultRig& rig)
{
    const auto lines = rig.sim.control("transcript");
    return static_cast<int>(
        std::ranges::count_if(lines, [](const std::string& l) { return l.starts_with("AT+CMGL"); }));
}

// A 20-slot report memory, reports half a second after each send, batches of 1, 100 and 1,000:
// every report read before the memory could drop it, in each way the modem may offer.
void reportsAtEveryBatch(FaultRig& rig, const std::string& way)
{
    rig.sim.control("set report-memory SR");
    rig.sim.control("set sr-size 20");
    rig.sim.control("set report-delay 500");
    std::map<std::string, std::string> settings
        = {{"COM/ReportMemory", "SR"}, {"COM/MessageMemory", "SM"}, {"Resource/SendInterval", "1"}};
    if (way == "counted")
        rig.sim.control("set cnmi-offer (0,1,2),(0,1,2,3),(0,2),(0),(0,1)");
    if (way == "routed")
        settings["COM/RoutedReports"] = "1";
    rig.drainStep = 6s;
    auto& c = rig.start(settings);
    const char* kWays[][2] = {{"announced", " and announced"}, {"counted", " without announcement"},
        {"routed", "handed over directly"}};
    for (const auto& [name, says] : kWays) {
        if (way != name)
            continue;
        const auto& lines = c.ctx->app.log().lines();
        EXPECT_EQ(std::ranges::count_if(
                      lines, [&](const auto& l) { return l.text.find(says) != std::string::npos; }),
            1);
    }
    struct Batch
    {
        int size, messages;
    };
    for (const Batch b : {Batch {1, 30}, Batch {100, 300}, Batch {1000, 1000}}) {
        auto before = rig.counters();
        const int readsBefore = listings(rig);
        const std::string prefix = way + " batch " + std::to_string(b.size);
        c.ctx->config.SendBatchSize = static_cast<std::int16_t>(b.size);
        rig.queue(b.messages, prefix);
        ASSERT_TRUE(rig.drain(c));
        lastReports(rig, c);
        auto after = rig.counters();
        const int made = after["reports made"] - before["reports made"];
        const int dropped = after["reports dropped"] - before["reports dropped"];
        const int matched = rig.count(
            "SELECT COUNT(*) FROM Message WHERE msgStatus = 5 AND msgText LIKE '" + prefix + " %'");
        std::printf("[fault] %-10s batch %4d: reports made %4d matched %4d dropped %d, %d reads\n",
            way.c_str(), b.size, made, matched, dropped, listings(rig) - readsBefore);
        EXPECT_EQ(made, b.messages);
        EXPECT_EQ(matched, made);
        EXPECT_EQ(dropped, 0);
    }
    rig.report();
}

// A 10-slot SIM holding reports and inbound messages alike; inbound messages arrive while a
// batch of 200 goes out: each is stored once, no report is dropped.
void inboundDuringLongBatch(FaultRig& rig)
{
    rig.sim.control("set sm-size 10");
    rig.sim.control("set report-delay 500");
    auto& c = rig.start({{"Resource/SendBatchSize", "200"}});
    rig.queue(200, "long batch");
    std::atomic<bool> sending {true};
    int brought = 0;
    std::thread network([&] {
        for (int i = 1; sending && i <= 30; ++i, ++brought) {
            vesk::testing::RunProgram({VESK_BIN_DIR "/vesk-modemsim", "--send", rig.sim.controlSocket(),
                "deliver", "+447700950" + std::to_string(100 + i), "during the batch " + std::to_string(i)});
            std::this_thread::sleep_for(150ms);
        }
    });
    rig.pass(c);
    sending = false;
    network.join();
    ASSERT_TRUE(rig.drain(c));
    lastReports(rig, c);
    auto f = rig.counters();
    const int stored
        = rig.count("SELECT COUNT(DISTINCT msgText) FROM Inbox WHERE msgText LIKE 'during the batch %'");
    const int rows = rig.count("SELECT COUNT(*) FROM Inbox WHERE msgText LIKE 'during the batch %'");
    std::printf(
        "[fault] %-44s inbound made %d stored %d duplicated %d dropped %d, reports made %d matched %d "
        "dropped %d\n",
        rig.GetParam().name, f["inbound made"], stored, rows - stored, f["inbound dropped"],
        f["reports made"], rig.count("SELECT COUNT(*) FROM Message WHERE msgStatus = 5"),
        f["reports dropped"]);
    EXPECT_GT(brought, 0);
    EXPECT_EQ(stored, f["inbound made"]);
    EXPECT_EQ(rows, stored);
    EXPECT_EQ(f["inbound dropped"] + f["reports dropped"], 0);
    EXPECT_EQ(rig.count("SELECT COUNT(*) FROM Message WHERE msgStatus = 5"), 200);
    rig.report();
}

// The offset in seconds of the wall clock this test runs on, when the whole run is under
// faketime with a relative offset ("+120", "-3600", "+2d"); 0 without.
long RunOffsetSeconds()
{
    const char* spec = std::getenv("FAKETIME");
    if (!spec || !*spec)
        return 0;
    char* end = nullptr;
    const double n = std::strtod(spec, &end);
    const std::string unit = end ? end : "";
    const double scale = unit == "m" ? 60 : unit == "h" ? 3600 : unit == "d" ? 86400 : 1;
    EXPECT_TRUE((spec[0] == '+' || spec[0] == '-') && (unit.empty() || scale != 1))
        << "FAKETIME must be a relative offset for a child's clock to follow this one: " << spec;
    return static_cast<long>(n * scale);
}

// A real console process whose wall clock goes back an hour in the middle of a drain, as an NTP
// correction or the end of summer time does: libfaketime reads its offset from a file the test
// rewrites, and leaves the steady clock alone. Every message is still sent within two passes.
void clockSteppedBack(FaultRig& rig)
{
    rig.seed();
    rig.queue(40, "clock stepped back");
    const std::string stamp = rig.dir.file("faketime");
    const auto setOffset = [&](long seconds) {
        vesk::testing::WriteFile(stamp + ".new", (seconds < 0 ? "" : "+") + std::to_string(seconds) + "\n");
        std::filesystem::rename(stamp + ".new", stamp);
    };
    const long offset = RunOffsetSeconds();
    // The sanitizers' runtime wants to come first; the preloaded clock comes before it here.
    const char* asan = std::getenv("ASAN_OPTIONS");
    const std::string sanitizer
        = std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0";
    setOffset(offset);
    ASSERT_TRUE(std::filesystem::exists(VESK_LIBFAKETIME)) << "libfaketime is missing (scripts/deps)";
    vesk::testing::ConsoleProcess console(rig.dataFolder, rig.link, {{"Resource/SendBatchSize", "25"}}, {},
        "vesk-consoled",
        {"FAKETIME", "LD_PRELOAD=" VESK_LIBFAKETIME, "FAKETIME_TIMESTAMP_FILE=" + stamp,
            "FAKETIME_NO_CACHE=1", "FAKETIME_DONT_FAKE_MONOTONIC=1", sanitizer});
    const auto sent = [&] { return rig.sim.control("messages").size(); };
    ASSERT_TRUE(vesk::testing::WaitFor([&] { return sent() >= 10; }, 120s)) << console.log();
    rig.faultAt = std::chrono::steady_clock::now();
    setOffset(offset - 3600);

    // Passes are at least five seconds apart; sends within one follow each other closely.
    int passes = 1;
    auto last = std::chrono::steady_clock::now();
    for (std::size_t seen = sent(); seen < rig.queued.size();) {
        if (std::chrono::steady_clock::now() - rig.faultAt > 120s)
            break;
        std::this_thread::sleep_for(100ms);
        const std::size_t now = sent();
        if (now == seen)
            continue;
        passes += std::chrono::steady_clock::now() - last > 4500ms;
        last = std::chrono::steady_clock::now();
        seen = now;
    }
    rig.drainPasses = passes;
    rig.report();
    EXPECT_LE(passes, 2) << console.log();
    const std::string log = console.log();
    // Told once, and about an hour: the wall time is read in whole seconds, so give or take one.
    int told = 0;
    long seconds = 0;
    for (auto at = log.find("The clock went back"); at != std::string::npos;
         at = log.find("The clock went back", at + 1)) {
        int h = 0, m = 0, s = 0;
        if (std::sscanf(log.c_str() + at, "The clock went back %d:%d:%d", &h, &m, &s) == 3)
            seconds = h * 3600L + m * 60L + s;
        ++told;
    }
    // Where the step back lands on the hour the civil clock repeats in autumn, local time stands
    // still: then there is nothing to tell.
    const auto utcOffset = [](std::time_t t) {
        std::tm tm {};
        localtime_r(&t, &tm);
        return tm.tm_gmtoff;
    };
    const std::time_t now = std::time(nullptr);
    if (utcOffset(now) != utcOffset(now - 3600)) {
        EXPECT_LE(told, 1) << log;
        return;
    }
    EXPECT_EQ(told, 1) << log;
    EXPECT_NEAR(seconds, 3600, 1) << log;
}

// This console's row of the console table; nothing while the outbox cannot be read.
std::optional<store::ConsoleRow> findConsoleRow(FaultRig& rig, const std::string& id)
{
    SystemClock clock;
    NullPump pump;
    store::db d(clock, pump);
    store::PointAt(d, rig.database, rig.dataFolder, store::kOutboxName);
    std::optional<std::vector<store::ConsoleRow>> rows;
    if (d.OpenDatabase(store::mode::kReadShared))
        rows = store::ListConsoles(d);
    if (rows)
        for (const auto& r : *rows)
            if (r.id == id)
                return r;
    return std::nullopt;
}

store::ConsoleRow consoleRow(FaultRig& rig, const std::string& id)
{
    const auto row = findConsoleRow(rig, id);
    EXPECT_TRUE(row) << "no console row " << id;
    return row.value_or(store::ConsoleRow {});
}

// A console process killed with SIGKILL mid-drain: its row is not marked stopped, reads as
// silent once its last pass is over two minutes old (the reading side looks ahead, nobody waits
// two minutes), and comes back to life when the console starts again.
void killedConsoleFallsSilent(FaultRig& rig)
{
    rig.seed();
    rig.queue(20, "killed, silent");
    const std::string id = "5643809"; // the simulator's IMEI, last seven digits
    {
        vesk::testing::ConsoleProcess console(
            rig.dataFolder, rig.link, {{"Resource/SendBatchSize", "5"}}, {}, "vesk-consoled");
        ASSERT_TRUE(vesk::testing::WaitFor(
            [&] { return rig.sim.control("messages").size() >= 5 && findConsoleRow(rig, id); }, 60s))
            << console.log();
        console.stop(SIGKILL);
    }
    rig.faultAt = std::chrono::steady_clock::now();
    std::optional<store::ConsoleRow> found;
    ASSERT_TRUE(vesk::testing::WaitFor([&] { return (found = findConsoleRow(rig, id)).has_value(); }, 10s));
    const store::ConsoleRow killed = *found;
    const std::int64_t now = UnixFromLocal(SystemClock().now());
    EXPECT_NE(store::ConsoleState(killed, now), "stopped");
    EXPECT_EQ(store::ConsoleState(killed, now + store::kConsoleSilentSeconds + 5), "silent");
    const auto [code, table]
        = vesk::testing::RunProgram({VESK_BIN_DIR "/vesk-status", "--all", "--data-folder", rig.dataFolder});
    EXPECT_EQ(code, 0) << "silent only after two minutes: " << table;

    // Its claims run out only after five minutes: the restarted console takes them back then.
    rig.sql("UPDATE Message SET msgStatus = 0, msgAgentIMEI = NULL, msgAgentTimeStamp = NULL WHERE msgStatus "
            "= 1");
    vesk::testing::ConsoleProcess again(
        rig.dataFolder, rig.link, {{"Resource/SendBatchSize", "30"}}, {}, "vesk-consoled");
    ASSERT_TRUE(vesk::testing::WaitFor(
        [&] {
            return rig.count("SELECT COUNT(*) FROM qry_Pending_Messages") == 0
                && findConsoleRow(rig, id).value_or(killed).started > killed.started;
        },
        60s))
        << again.log();
    EXPECT_TRUE(vesk::testing::WaitFor(
        [&] {
            const auto row = findConsoleRow(rig, id);
            return row && store::ConsoleState(*row, UnixFromLocal(SystemClock().now())) == "running";
        },
        10s));
    std::printf(
        "[fault] killed console: silent after %d s, back with its restart\n", store::kConsoleSilentSeconds);
    rig.report(1);
}

// Another program holds the whole outbox file locked: the console's row update gives up at once
// instead of waiting its turn (it is no message), and catches up at the next pass.
void consoleRowUnderFileLock(FaultRig& rig)
{
    auto& c = rig.start();
    rig.queue(20, "row under file lock");
    rig.pass(c);
    const std::string id = store::Right(c.ctx->AgentIMEI, store::kOwnerLength);
    const auto before = consoleRow(rig, id);
    rig.lockUntilReleased();
    store::db& h = *c.ctx->outbox.handle;
    ASSERT_TRUE(h.OpenDatabase(store::mode::kReadWriteShared));
    rig.clock.advance(30s);
    const auto started = std::chrono::steady_clock::now();
    const auto failures = h.Failures();
    core::KeepConsoleRow(*c.ctx);
    const double waited
        = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - started).count();
    h.CloseDatabase();
    EXPECT_EQ(h.Failures(), failures) << "no retries";
    EXPECT_EQ(consoleRow(rig, id).lastPass, before.lastPass) << "skipped under the lock";
    rig.release();
    rig.queue(20, "row under file lock");
    ASSERT_TRUE(rig.drain(c));
    EXPECT_GT(consoleRow(rig, id).lastPass, before.lastPass);
    std::printf(
        "[fault] console row under a file lock: skipped after %.1f ms, caught up next pass\n", waited);
    rig.report();
}

// On a server, another session holds the console's row locked for seconds: every message is
// sent meanwhile, no pass waits for the row, and the row catches up once it is free.
void consoleRowLockedOnServer(FaultRig& rig)
{
    VESK_REQUIRE_SERVER(vesk::testing::PgServer::Own());
    onPostgres(rig);
    auto& c = rig.start();
    rig.pass(c);
    const std::string id = store::Right(c.ctx->AgentIMEI, store::kOwnerLength);
    const auto before = consoleRow(rig, id);
    const pid_t holder
        = vesk::testing::Spawn({"/usr/bin/psql", "-qAt", rig.database, "-c",
                                   "BEGIN; SELECT csID FROM Console FOR UPDATE; SELECT pg_sleep(4); COMMIT;"},
            STDERR_FILENO);
    ASSERT_TRUE(vesk::testing::WaitFor(
        [&] { return rig.count("SELECT COUNT(*) FROM pg_stat_activity WHERE wait_event = 'PgSleep'") == 1; },
        10s));
    rig.faultAt = std::chrono::steady_clock::now();
    rig.queue(40, "row locked on the server");
    const auto started = std::chrono::steady_clock::now();
    rig.pass(c);
    rig.pass(c);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();
    const bool stillHeld
        = rig.count("SELECT COUNT(*) FROM pg_stat_activity WHERE wait_event = 'PgSleep'") == 1;
    EXPECT_EQ(static_cast<int>(rig.sim.control("messages").size()), 40) << "sent while the row was locked";
    if (stillHeld) {
        EXPECT_EQ(consoleRow(rig, id).lastPass, before.lastPass) << "the locked row was skipped";
    }
    waitpid(holder, nullptr, 0);
    rig.pass(c);
    EXPECT_GT(consoleRow(rig, id).lastPass, before.lastPass);
    std::printf("[fault] console row locked on the server: 40 sent in %.1f s over 2 passes, row %s\n",
        seconds, stillHeld ? "skipped while held" : "freed before the check");
    rig.report();
}

const Scenario kScenarios[] = {
    {"modem silent just after AT+CMGS, then back",
        [](FaultRig& rig) { modemFault(rig, "silent-on-send 3"); }},
    {"modem restarts in message entry, echo on",
        [](FaultRig& rig) { modemFault(rig, "reboot-on-send keep-entry"); }},
    {"modem restarts during a send", [](FaultRig& rig) { modemFault(rig, "reboot-on-send"); }},
    {"console killed in message entry, restarted", [](FaultRig& rig) { killed(rig, true); }},
    {"console killed mid-pass, restarted", [](FaultRig& rig) { killed(rig, false); }},
    {"unsolicited lines held during entry", [](FaultRig& rig) { modemFault(rig, "flood 300 held"); }},
    {"unsolicited lines at any time", [](FaultRig& rig) { modemFault(rig, "flood 300 free"); }},
    {"unsolicited lines right after final results",
        [](FaultRig& rig) { modemFault(rig, "flood 300 final"); }},
    // Each lock outlasts the console's own waits for the database (three tries, about 2 s).
    {"outbox locked 3 s at a time after sends",
        [](FaultRig& rig) {
            auto& c = rig.start();
            rig.queue(40, "busy");
            rig.holdLocks({"3", "3"});
            while (!rig.lockHolderDone())
                rig.pass(c);
            ASSERT_TRUE(rig.drain(c));
            rig.pass(c, 6min); // a claim left by a lost update would run out here and send again
            rig.pass(c);
            std::printf("[fault] %d accepted sends waited for the outbox\n", rig.logged(c, "Sent ID ["));
            rig.report();
            EXPECT_EQ(rig.count("SELECT COUNT(*) FROM Message WHERE msgStatus = 1"), 0);
        }},
    {"undecodable units beside good ones",
        [](FaultRig& rig) {
            auto& c = rig.start();
            for (const char* bad : {"truncated", "length", "empty", "reserved"})
                rig.sim.control(std::string("deliver-bad ") + bad);
            for (int i = 1; i <= 5; ++i)
                rig.sim.control("deliver +447700900123 good " + std::to_string(i));
            rig.pass(c);
            rig.pass(c);
            rig.report();
            EXPECT_EQ(rig.count("SELECT COUNT(DISTINCT msgText) FROM Inbox"), 5);
            EXPECT_EQ(rig.count("SELECT COUNT(*) FROM Inbox"), 5);
            EXPECT_EQ(rig.logged(c, "Unreadable message at index "), 3);
            EXPECT_EQ(rig.logged(c, "Unknown Type["), 1) << "a unit of a reserved type is logged once";
            const std::string kept = vesk::testing::ReadFile(rig.dataFolder + "/" + core::kUnreadableFile);
            int records = 0;
            for (auto at = kept.find(" index "); at != std::string::npos; at = kept.find(" index ", at + 1))
                ++records;
            EXPECT_EQ(records, 4) << kept;
            EXPECT_TRUE(rig.sim.control("memory SM").empty());
        }},
    {"modem re-plugged mid-drain",
        [](FaultRig& rig) {
            auto& c = rig.start();
            rig.queue(40, "replugged");
            rig.pass(c);
            rig.fault("fault drop");
            ASSERT_TRUE(rig.drain(c));
            rig.report();
        }},
    {"SMTP server stopped, then started again",
        [](FaultRig& rig) {
            auto smtp = std::make_unique<vesk::testing::SmtpServer>();
            ASSERT_TRUE(smtp->running());
            rig.seed();
            rig.sql("UPDATE System SET sysSMSForwarding = TRUE");
            rig.sql("INSERT INTO Forward (fwdSource, fwdKeyword, fwdDestination) VALUES ('*', '*', "
                    "'desk@example.com')");
            rig.sql("UPDATE MailConfig SET cfgServer = '" + smtp->address()
                + "', cfgAccount = 'console@example.com'");
            auto& c = rig.start();
            c.ctx->mail.client->setTimeout(5);
            std::map<std::string, int> mailed;
            const auto inbound = [&](int n) {
                for (int i = 0; i < n; ++i) {
                    const std::string text = "for the desk " + std::to_string(rig.queued.size() + 1);
                    rig.sim.control("deliver +447700900321 " + text);
                    rig.queued.push_back(text);
                }
                for (int i = 0; i < 3; ++i)
                    rig.pass(c, 3min);
            };
            const auto collect = [&] {
                for (const auto& mail : smtp->mails()) {
                    const std::string body = vesk::testing::BodyOf(mail);
                    ++mailed[body.substr(0, body.find("\r\n"))];
                }
            };
            inbound(5);
            collect();
            const int port = smtp->port();
            smtp.reset(); // stopped: the next mails wait in the outbox
            rig.faultAt = std::chrono::steady_clock::now();
            inbound(5);
            EXPECT_GT(rig.count("SELECT COUNT(*) FROM MailMessage"), 0);
            smtp = std::make_unique<vesk::testing::SmtpServer>(
                vesk::testing::SmtpServer::Options {"", "", false, port});
            ASSERT_TRUE(smtp->running());
            for (int i = 0; i < 5 && rig.count("SELECT COUNT(*) FROM MailMessage") != 0; ++i)
                rig.pass(c, 3min);
            collect();
            rig.report(0, mailed);
        }},
    {"outbox file locked while units arrive",
        [](FaultRig& rig) {
            outage(
                rig, [&] { rig.lockUntilReleased(); }, [&] { rig.release(); }, 7, 10s);
        }},
    {"PostgreSQL restarted, then stopped two minutes",
        [](FaultRig& rig) {
            VESK_REQUIRE_SERVER(vesk::testing::PgServer::Own());
            onPostgres(rig);
            auto& pg = vesk::testing::PgServer::Own();
            outage(
                rig,
                [&] {
                    ASSERT_TRUE(pg.Control("-m fast restart"));
                    rig.pass(*rig.consoles.back(), 10s); // the connection is found lost and reopened
                    ASSERT_TRUE(pg.Control("-m fast stop"));
                },
                [&] { ASSERT_TRUE(pg.Start()); }, 12, 10s);
        }},
    {"10-slot memory in a 10-minute outage",
        [](FaultRig& rig) {
            VESK_REQUIRE_SERVER(vesk::testing::PgServer::Own());
            onPostgres(rig);
            auto& pg = vesk::testing::PgServer::Own();
            rig.sim.control("set sm-size 10");
            outage(
                rig, [&] { ASSERT_TRUE(pg.Control("-m fast stop")); }, [&] { ASSERT_TRUE(pg.Start()); }, 10,
                60s);
            EXPECT_GT(rig.journalMoves(*rig.consoles.back()), 0);
        }},
    {"killed between a journal write and the delete", killedBetweenJournalAndDelete},
    {"reports stored and announced, 20 slots", [](FaultRig& rig) { reportsAtEveryBatch(rig, "announced"); }},
    {"reports stored silently, 20 slots", [](FaultRig& rig) { reportsAtEveryBatch(rig, "counted"); }},
    {"reports handed over and acknowledged", [](FaultRig& rig) { reportsAtEveryBatch(rig, "routed"); }},
    {"10-slot SIM, inbound during a batch of 200", inboundDuringLongBatch},
    {"outbox locked while vesk-queue inserts",
        [](FaultRig& rig) {
            auto& c = rig.start();
            rig.holdLocks({"3"});
            int refused = 0;
            for (int i = 0; i < 5; ++i) {
                const std::string text = "queued under lock " + std::to_string(i);
                const auto [status, said] = vesk::testing::RunProgram(
                    {"/bin/sh", "-c", "exec \"$0\" \"$@\" 2>&1", VESK_BIN_DIR "/vesk-queue", "--data-folder",
                        rig.dataFolder, "--to", "+447700900555", "--text", text});
                if (status == 0) {
                    rig.queued.push_back(text);
                } else {
                    ++refused;
                    EXPECT_FALSE(said.empty()) << "a refusal says why";
                }
            }
            while (!rig.lockHolderDone())
                std::this_thread::sleep_for(100ms);
            EXPECT_EQ(rig.count("SELECT COUNT(*) FROM Message"), static_cast<int>(rig.queued.size()));
            ASSERT_TRUE(rig.drain(c));
            std::printf("[fault] vesk-queue under lock: %zu queued, %d refused with a reason\n",
                rig.queued.size(), refused);
            rig.report();
        }},
    {"console clock set back an hour mid-drain", clockSteppedBack},
    {"console killed: its row falls silent, comes back", killedConsoleFallsSilent},
    {"console row update under a file lock", consoleRowUnderFileLock},
    {"console row locked on the server", consoleRowLockedOnServer},
};

TEST_P(FaultRig, NothingLostNothingDoubled)
{
    GetParam().run(*this);
}

INSTANTIATE_TEST_SUITE_P(Months, FaultRig, ::testing::ValuesIn(kScenarios),
    [](const ::testing::TestParamInfo<Scenario>& info) { return "Scenario" + std::to_string(info.index); });

} // namespace
