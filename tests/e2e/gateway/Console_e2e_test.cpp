// Consoles as their users run them, as separate processes around one outbox file: vesk-modemsim,
// vesk-console --headless and vesk-queue; and vesk-consoled as a service manager runs it (readiness
// and watchdog over a notify socket the test owns, the settings reloaded on SIGHUP, the status
// snapshot and metrics file read by vesk-status and a Prometheus parser, all checked against the
// outbox). The engine's stories run in this process in the core integration tests; here only what
// needs separate processes.
#include "store/SqlText.h"
#include "support/StatusSnapshot.h"

#include "ConsoleProcess.h"
#include "SimProcess.h"

#include <set>

using namespace std::chrono_literals;
using namespace vesk;
using vesk::testing::ConsoleProcess;
using vesk::testing::RunProgram;
using vesk::testing::SimProcess;
using vesk::testing::WaitFor;

using GatewayE2E = vesk::testing::ConsoleTest;

TEST_F(GatewayE2E, FullTextSendsCyrillicAndEmojiAndJoinsALongUCS2Message)
{
    SimProcess modem({"--parts-reversed", "on"});
    createOutbox();
    sql("UPDATE System SET sysStandardReply = 'Спасибо 👍', sysSMSSaveInbound = TRUE");
    ConsoleProcess console(dataFolder, modem.path(),
        {{"Text/OutboundCoding", "Auto"}, {"Text/InboundDecoding", "Full"}, {"Text/JoinParts", "1"},
            {"Resource/ReadInterval", "1"}, {"COM/SendTimeout", "2"}});
    ASSERT_TRUE(WaitFor([&] { return console.logHas("Validity Period is"); }, 30s)) << console.log();

    std::string inbound;
    for (int i = 0; i < 8; ++i)
        inbound += "Сервер в порядке, температура 21 градус. ";
    for (const auto& [to, text] :
        {std::pair {"+15550123", "Привет, мир"}, std::pair {"+15550124", "Fire drill 🔥 at 3"}}) {
        const auto [code, out] = vesk::testing::RunProgram({VESK_BIN_DIR "/vesk-queue", "--data-folder",
            dataFolder, "--to", to, "--text", text, "--name", "Ann"});
        EXPECT_EQ(code, 0) << out;
    }
    modem.control("deliver +447700900123 " + inbound);

    ASSERT_TRUE(WaitFor([&] {
        return column("SELECT msgStatus FROM Message") == std::vector<std::string>(3, "5");
    })) << console.log();
    EXPECT_EQ(column("SELECT msgText FROM Inbox"), (std::vector<std::string> {store::Left(inbound, 255)}));
    std::multiset<std::string> texts;
    for (const auto& line : modem.control("messages"))
        texts.insert(SimProcess::field(line, "text"));
    EXPECT_EQ(texts, (std::multiset<std::string> {"Привет, мир", "Fire drill 🔥 at 3", "Спасибо 👍"}));
    EXPECT_TRUE(modem.control("memory SM").empty());
    EXPECT_EQ(console.stop(), 0);
    EXPECT_NE(console.log().find("] Ann (UCS2, 1 part)"), std::string::npos);
}

namespace {

using Steady = std::chrono::steady_clock;

// The service manager's end of NOTIFY_SOCKET: every datagram that came.
class NotifySocket
{
public:
    explicit NotifySocket(const std::string& path)
    {
        sockaddr_un addr {};
        addr.sun_family = AF_UNIX;
        path.copy(addr.sun_path, sizeof addr.sun_path - 1);
        if (bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0)
            throw std::runtime_error("cannot bind " + path);
    }
    ~NotifySocket() { close(m_fd); }

    // Takes every datagram that arrives within `wait`.
    void collect(std::chrono::milliseconds wait)
    {
        const auto end = Steady::now() + wait;
        pollfd p {m_fd, POLLIN, 0};
        char buffer[4096];
        while (Steady::now() < end) {
            if (poll(&p, 1, 50) <= 0)
                continue;
            const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
            if (n > 0)
                messages.emplace_back(buffer, static_cast<std::size_t>(n));
        }
    }
    // Collects until the condition holds: a manager that reads nothing would hold the console up.
    bool listenUntil(const std::function<bool()>& condition, std::chrono::seconds deadline = 60s)
    {
        return WaitFor(
            [&] {
                collect(100ms);
                return condition();
            },
            deadline);
    }
    int count(const std::string& text) const
    {
        return static_cast<int>(std::count_if(messages.begin(), messages.end(),
            [&](const std::string& m) { return m.find(text) != std::string::npos; }));
    }

    std::vector<std::string> messages;

private:
    int m_fd = socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
};

using ServiceE2E = vesk::testing::ConsoleTest;

} // namespace

// One run as the service manager runs it: readiness, the figures of vesk-status and the metrics
// file against the outbox, the watchdog fed through a long pass, SIGHUP and stopping. When the
// watchdog stops being fed is a rule on the injected clock (ServiceWatchdog in the core tests).
TEST_F(ServiceE2E, RunsAsAServiceWithReadinessFiguresWatchdogReloadAndStop)
{
    createOutbox();
    SimProcess modem;
    NotifySocket manager(dir.file("notify"));
    const std::string metrics = dir.file("vesk.prom"), snapshot = dataFolder + "/vesk-console.status";
    ConsoleProcess console(dataFolder, modem.path(), {{"COM/SendTimeout", "10"}, {"COM/CommandTimeout", "2"}},
        {"--metrics-file", metrics}, "vesk-consoled",
        {"NOTIFY_SOCKET=" + dir.file("notify"), "WATCHDOG_USEC=6000000"});
    ASSERT_TRUE(manager.listenUntil([&] { return manager.count("READY=1") > 0; })) << console.log();
    EXPECT_GT(manager.count("STATUS=running"), 0) << console.log();
    const auto holds = [](const std::string& text, std::initializer_list<const char*> parts) {
        for (const char* part : parts)
            EXPECT_NE(text.find(part), std::string::npos) << part << '\n' << text;
    };
    const auto status = [&](std::vector<std::string> args) {
        args.insert(args.begin(), {VESK_BIN_DIR "/vesk-status", "--data-folder", dataFolder});
        return RunProgram(args);
    };

    const auto queue = [&](int count, const std::string& address, const std::string& expires = "NULL") {
        for (int i = 0; i < count; ++i)
            sql("INSERT INTO Message (msgRecipient, msgAddress, msgText, msgSendTime, msgExpires) VALUES "
                "('Ann', '"
                + address + "', 'message " + std::to_string(i) + "', " + minutesAgo(2) + ", " + expires
                + ")");
    };
    queue(3, "+15550123");
    queue(1, "12345"); // not an international number: cancelled
    queue(1, "+15550124", minutesAgo(1)); // expired a minute ago
    modem.control("deliver +447700900123 hello there");
    ASSERT_TRUE(manager.listenUntil([&] {
        const std::string figures = vesk::testing::ReadFile(snapshot);
        return count("msgStatus = 5") == 3 && count("msgStatus = 2") == 2
            && figures.find("\nqueued=0\n") != std::string::npos
            && figures.find("\nreports=3\n") != std::string::npos;
    })) << console.log();

    const auto [code, table] = status({});
    EXPECT_EQ(code, 0) << table;
    holds(table,
        {"State            running", "Mode             running", "Sent             3", "Failed           1",
            "Expired          1", "Received         1", "Reports          3", "Queued           0"});
    const auto [jsonCode, json] = status({"--json"});
    EXPECT_EQ(jsonCode, 0);
    holds(json,
        {"\"stale\": false", "\"sent\": 3", "\"failed\": 1", "\"expired\": 1", "\"received\": 1",
            "\"reports\": 3", "\"queued\": 0"});

    // The metrics file as a Prometheus collector parses it.
    const auto [parsed, samples] = RunProgram({VESK_PYTHON3, "-c",
        "import sys\nfrom prometheus_client.parser import text_string_to_metric_families as p\n"
        "for f in p(open(sys.argv[1]).read()):\n"
        "    for s in f.samples: print(f.type, s.name, int(s.value))",
        metrics});
    EXPECT_EQ(parsed, 0) << samples;
    holds(samples,
        {"counter vesk_messages_sent_total 3", "counter vesk_messages_failed_total 1",
            "counter vesk_messages_expired_total 1", "counter vesk_messages_received_total 1",
            "counter vesk_delivery_reports_total 3", "gauge vesk_queue_length 0", "gauge vesk_modem_up 1"});
    // Slow replies make one pass of several seconds; the waits inside it keep the watchdog fed
    // (how often, and until when, is the ServiceWatchdog rule on the injected clock).
    modem.control("fault slow 700");
    queue(3, "+15550125");
    const auto passStart = Steady::now();
    const int fedBefore = manager.count("WATCHDOG=1");
    const auto sent = [&] { return count("msgStatus IN (3, 5) AND msgAddress = '+15550125'"); };
    while (sent() < 3 && Steady::now() - passStart < 120s)
        manager.collect(500ms);
    ASSERT_EQ(sent(), 3) << console.log();
    EXPECT_GT(Steady::now() - passStart, 4s) << "a long pass";
    EXPECT_GE(manager.count("WATCHDOG=1") - fedBefore, 2) << "fed while the pass waited on the modem";

    // SIGHUP: the settings are read again between passes.
    kill(console.pid(), SIGHUP);
    EXPECT_TRUE(manager.listenUntil([&] { return console.logHas("Settings reloaded from"); }, 30s))
        << console.log();
    kill(console.pid(), SIGTERM);
    EXPECT_TRUE(manager.listenUntil([&] { return manager.count("STOPPING=1") > 0; }, 30s));

    // Stopped, then a snapshot nobody refreshes: both are a failed health check.
    EXPECT_EQ(console.stop(), 0);
    const auto [stoppedCode, stopped] = status({});
    EXPECT_EQ(stoppedCode, 1);
    holds(stopped, {"stopped"});
    auto old = *ParseSnapshot(vesk::testing::ReadFile(snapshot));
    old.mode = "running";
    old.updated -= 600;
    vesk::testing::WriteFile(snapshot, SnapshotText(old));
    const auto [staleCode, stale] = status({});
    EXPECT_EQ(staleCode, 1);
    holds(stale, {"STALE"});
}

// Before a reload: --check-config reads the settings file strictly and names the line and key of
// what is wrong; a broken file exits 1, a good one (the packaged one) 0.
TEST_F(ServiceE2E, CheckConfigNamesTheLineAndKeyOfABrokenSettingsFile)
{
    struct Case
    {
        std::string text;
        int code;
        std::string said;
    };
    const Case cases[] = {
        {vesk::testing::ReadFile(VESK_SOURCE_DIR "/packaging/vesk-console.conf"), 0, ": good\n"},
        {"; comment\n[COM]\nSendTimeout=soon\n", 1, ":3: error: [COM] SendTimeout=soon is not a number\n"},
        {"[COM]\nPort /dev/ttyUSB0\n", 1, ":2: error: not a key=value line: Port /dev/ttyUSB0\n"},
        {"Port=/dev/ttyUSB0\n", 1, ":1: error: Port stands before any [section]\n"},
        {"[Text]\nOutboundCoding=Fancy\n", 1,
            ":2: error: [Text] OutboundCoding=Fancy is not Legacy or Auto\n"},
        {"[Resource]\nSendBatchSize=99999\n", 1,
            "[Resource] SendBatchSize=99999 is not a whole number up to 32767"},
        {"[COM]\nPrt=/dev/ttyUSB0\n", 0, ":2: warning: [COM] Prt is not a setting the console reads\n"},
    };
    const std::string file = dir.file("check.conf");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        vesk::testing::WriteFile(file, c.text);
        const auto [code, said] = vesk::testing::RunProgram(
            {"/usr/bin/env", "VESK_SETTINGS=" + file, VESK_BIN_DIR "/vesk-consoled", "--check-config"});
        EXPECT_EQ(code, c.code) << said;
        EXPECT_NE(said.find(c.said), std::string::npos) << said;
    }
    const auto [code, said] = vesk::testing::RunProgram({"/usr/bin/env",
        "VESK_SETTINGS=" + dir.file("none.conf"), VESK_BIN_DIR "/vesk-consoled", "--check-config"});
    EXPECT_EQ(code, 2) << said;
}
