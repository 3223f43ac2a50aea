// What months unattended bring, one scenario a row: the modem simulator on a pseudo-terminal, real
// outbox files, and real processes (a console killed with SIGKILL, vesk-queue, a lock holder).
// Each scenario prints its figures and shows that nothing is lost and nothing sent twice outside
// the at-least-once window it measures. Time-dependent rules (retries, orphaned claims) are met
// by moving the consoles' clock forward, not by waiting.
#include "core/Context.h"
#include "core/Engine.h"
#include "core/SettingsStore.h"
#include "core/Startup.h"
#include "store/Outbox.h"
#include "store/db.h"
#include "support/Convert.h"

#include "ConsoleProcess.h"
#include "DataTemplates.h"
#include "OutboxSql.h"
#include "ScriptedPump.h"
#include "ShiftedClock.h"
#include "SimProcess.h"
#include "SmtpServer.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <ostream>
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

    // Starts a console in this process on the simulator's link.
    Console& start()
    {
        auto console = std::make_unique<Console>();
        auto& s = console->settings;
        s.set("COM", "AutoDetect", "0");
        s.set("COM", "CommandTimeout", "1");
        s.set("COM", "ListTimeout", "3");
        s.set("COM", "SendTimeout", "3");
        s.set("COM", "ModemLog", "1");
        s.set("Resource", "SendBatchSize", "25");
        console->ctx = std::make_unique<core::Context>(clock, console->pump, s, console->programDir.folder());
        auto& ctx = *console->ctx;
        ctx.outbox.templateFolder = VESK_BIN_DIR "/DB/";
        ctx.overrides.dataFolder = dataFolder;
        ctx.overrides.port = link;
        core::HeadlessPrompts prompts(ctx, true);
        EXPECT_EQ(core::Main(ctx, prompts), core::StartResult::Running) << prompts.message();
        consoles.push_back(std::move(console));
        return *consoles.back();
    }

    // One timer tick a minute later: retries fall due, claims stay fresh.
    void pass(Console& c, std::chrono::milliseconds wait = 61s)
    {
        clock.advance(wait);
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

    void queue(int n, const std::string& prefix)
    {
        for (int i = 0; i < n; ++i) {
            const std::string text = prefix + " " + std::to_string(queued.size() + 1);
            sql("INSERT INTO Message (msgRecipient, msgAddress, msgText, msgSendTime) VALUES ('Ann', "
                "'+4477009"
                + std::to_string(10000 + queued.size()) + "', '" + text + "', #"
                + Format(clock.now(), "dd/mmm/yyyy hh:nn:ss") + "#)");
            queued.push_back(text);
        }
    }

    void fault(const std::string& what)
    {
        faultAt = std::chrono::steady_clock::now();
        sim.control(what);
    }

    void holdLocks(std::vector<std::string> seconds)
    {
        std::vector<std::string> args
            = {VESK_PYTHON3, "-c", kLockHolder, dataFolder + "/" + store::kOutboxName};
        args.insert(args.end(), seconds.begin(), seconds.end());
        lockHolder = vesk::testing::Spawn(args, STDERR_FILENO);
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

    vesk::testing::TempDir dir;
    std::string dataFolder = dir.file("data");
    std::string database; // the fault runs use outbox files
    std::string link = dir.file("modem");
    SimProcess sim {{"--link", link}};
    int drainPasses = 0; // passes the drains took: 25 messages a pass when no fault costs one
    vesk::testing::ShiftedClock clock {SystemClock().now()};
    NullPump nullPump;
    std::vector<std::unique_ptr<Console>> consoles;
    std::vector<std::string> queued;
    std::chrono::steady_clock::time_point faultAt = std::chrono::steady_clock::now();
    pid_t lockHolder = -1;
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
    int setAside = 0;
    for (auto at = log.find("Set aside: "); at != std::string::npos; at = log.find("Set aside: ", at + 1))
        ++setAside;
    std::printf("[fault] %d unsolicited lines set aside\n", setAside);
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
    int told = 0;
    for (auto at = log.find("The clock went back 1:00:00"); at != std::string::npos;
         at = log.find("The clock went back", at + 1))
        ++told;
    EXPECT_EQ(told, 1) << log;
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
            for (const char* bad : {"truncated", "length", "empty"})
                rig.sim.control(std::string("deliver-bad ") + bad);
            for (int i = 1; i <= 5; ++i)
                rig.sim.control("deliver +447700900123 good " + std::to_string(i));
            rig.pass(c);
            rig.pass(c);
            rig.report();
            EXPECT_EQ(rig.count("SELECT COUNT(DISTINCT msgText) FROM Inbox"), 5);
            EXPECT_EQ(rig.count("SELECT COUNT(*) FROM Inbox"), 5);
            EXPECT_EQ(rig.logged(c, "Unreadable message at index "), 3);
            const std::string kept = vesk::testing::ReadFile(rig.dataFolder + "/" + core::kUnreadableFile);
            int records = 0;
            for (auto at = kept.find(" index "); at != std::string::npos; at = kept.find(" index ", at + 1))
                ++records;
            EXPECT_EQ(records, 3) << kept;
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
};

TEST_P(FaultRig, NothingLostNothingDoubled)
{
    GetParam().run(*this);
}

INSTANTIATE_TEST_SUITE_P(Months, FaultRig, ::testing::ValuesIn(kScenarios),
    [](const ::testing::TestParamInfo<Scenario>& info) { return "Scenario" + std::to_string(info.index); });

} // namespace
