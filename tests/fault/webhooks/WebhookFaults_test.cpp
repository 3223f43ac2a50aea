// Webhooks lose nothing: a receiver away for two hours (on the injected clock), vesk-api killed
// mid-delivery, two vesk-api processes on one PostgreSQL outbox. Each row prints the events made,
// delivered and duplicated (by webhook-id).
#include "ApiProcess.h"
#include "WebhookReceiver.h"

#include "api/WebhookSecret.h"
#include "store/Webhooks.h"
#include "webhooks/Dispatcher.h"

#include <atomic>
#include <map>
#include <set>
#include <thread>

using namespace std::chrono_literals;
using namespace vesk;
using vesk::testing::Delivery;
using vesk::testing::WebhookReceiver;

namespace {

// Real time that the test moves forward in jumps, read safely from the dispatcher's threads.
class JumpingClock final : public Clock
{
public:
    DateTime now() const override { return m_start.addSeconds(elapsed().count() / 1000); }
    std::chrono::milliseconds elapsed() const override
    {
        return std::chrono::duration_cast<std::chrono::milliseconds>(
                   std::chrono::steady_clock::now() - m_origin)
            + std::chrono::milliseconds(m_shift.load());
    }
    void sleepFor(std::chrono::milliseconds d) override { std::this_thread::sleep_for(d); }
    void advance(std::chrono::milliseconds d) { m_shift += d.count(); }

private:
    DateTime m_start = DateTime::fromParts(2026, 3, 5, 14, 7, 0);
    std::chrono::steady_clock::time_point m_origin = std::chrono::steady_clock::now();
    std::atomic<long long> m_shift {0};
};

// A quiet log for the in-process dispatcher.
class NullLog final : public LogSink
{
public:
    void Log(int, const std::string&, const std::string&) override { }
};

struct Tally
{
    std::size_t delivered = 0; // distinct events
    std::size_t duplicated = 0; // arrivals beyond the first of an event
    bool sameBodies = true; // every repeat carried the bytes of the first
    bool signedAll = true;
};

Tally tally(const std::vector<Delivery>& got, const std::string& secret)
{
    Tally t;
    std::map<std::string, std::string> first;
    for (const Delivery& d : got) {
        t.signedAll = t.signedAll && d.signedWith(secret);
        const auto [at, fresh] = first.emplace(d.id, d.body);
        if (fresh)
            ++t.delivered;
        else
            ++t.duplicated, t.sameBodies = t.sameBodies && at->second == d.body;
    }
    return t;
}

void report(const char* row, std::size_t made, const Tally& t)
{
    std::printf("[fault] %-44s events made %4zu  delivered %4zu  duplicated %zu  missing %zu\n", row, made,
        t.delivered, t.duplicated, made - std::min(made, t.delivered));
}

// The outbox's event ids, oldest first.
std::vector<std::string> eventIds(store::db& outbox)
{
    std::vector<std::string> ids;
    std::vector<store::WebhookEventRow> page;
    for (RowId after = 0; store::ListWebhookEvents(outbox, after, 1000, page) && !page.empty();
         after = page.back().id)
        for (const auto& e : page)
            ids.push_back("evt_" + e.uid);
    return ids;
}

class WebhookFaultTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        std::filesystem::create_directories(dataFolder);
        std::string errorText, errorLines;
        ASSERT_TRUE(store::CreateOutbox(dataFolder, VESK_BIN_DIR "/DB/", errorText, errorLines)) << errorText;
        open(outbox);
    }
    void open(store::db& d)
    {
        store::PointAt(d, database, dataFolder, store::kOutboxName);
        ASSERT_TRUE(d.OpenDatabase(store::mode::kReadWriteShared)) << d.LastError();
    }
    RowId endpoint(const std::string& url, const std::string& secret)
    {
        store::WebhookEndpointRow e;
        e.url = url;
        e.types = "*";
        e.secret = secret;
        e.created = std::time(nullptr);
        const RowId id = store::AddWebhookEndpoint(outbox, e);
        EXPECT_GT(id, 0) << outbox.LastError();
        return id;
    }
    // `n` inbound messages stored, as a console stores them: one event each.
    void inbound(int n)
    {
        ASSERT_TRUE(outbox.BeginTransaction());
        for (int i = 0; i < n; ++i)
            ASSERT_EQ(outbox.ExecuteBound("INSERT INTO Inbox (msgAddress, msgText) VALUES (?, ?)",
                          {"+4477009" + std::to_string(10000 + i), "reply " + std::to_string(i)}),
                1)
                << outbox.LastError();
        ASSERT_TRUE(outbox.CommitTransaction());
    }

    vesk::testing::FakeClock fakeClock;
    vesk::testing::ScriptedPump pump;
    vesk::testing::TempDir dir;
    std::string dataFolder = dir.file("data");
    std::string database;
    store::db outbox {fakeClock, pump};
    std::string secret = api::NewWebhookSecret();
};

} // namespace

TEST_F(WebhookFaultTest, ReceiverAwayTwoHoursWhileFiveHundredMessagesAreSentAndAnswered)
{
    WebhookReceiver receiver;
    const int port = receiver.port();
    receiver.down();
    const RowId id = endpoint("http://127.0.0.1:" + std::to_string(port) + "/hook", secret);
    // 500 messages sent and delivered, and 500 answers: 1,500 events.
    ASSERT_TRUE(outbox.BeginTransaction());
    for (int i = 0; i < 500; ++i)
        ASSERT_EQ(outbox.ExecuteBound("INSERT INTO Message (msgAddress, msgText) VALUES (?, ?)",
                      {"+4477009" + std::to_string(10000 + i), "check " + std::to_string(i)}),
            1);
    ASSERT_TRUE(outbox.CommitTransaction());
    ASSERT_TRUE(outbox.Execute("UPDATE Message SET msgStatus = 3"));
    ASSERT_TRUE(outbox.Execute("UPDATE Message SET msgStatus = 5, msgDeliveryStatus = 0"));
    inbound(500);
    const std::vector<std::string> made = eventIds(outbox);
    ASSERT_EQ(made.size(), 1500u);

    JumpingClock clock;
    NullLog log;
    webhooks::Dispatcher dispatcher(dataFolder + "/" + store::kOutboxName, "", clock, pump, log,
        {*api::AddressRange::ParseList("127.0.0.1"), 15s, 20ms});
    dispatcher.start();
    const auto headAttempts = [&] {
        auto rs
            = outbox.OpenBound("SELECT dlAttempts FROM WebhookDelivery WHERE dlEndpoint = ? AND dlState = 0"
                               " ORDER BY dlID LIMIT 1",
                {std::to_string(id)});
        return rs && !rs->IsEOF() ? LongOf(rs->Field(0)) : -1;
    };
    const auto waitAttempts = [&](int n) {
        for (auto end = std::chrono::steady_clock::now() + 20s; std::chrono::steady_clock::now() < end;)
            if (headAttempts() >= n)
                return true;
            else
                std::this_thread::sleep_for(20ms);
        return false;
    };
    // Tries at once, then 5 s, 5 min and 30 min after (each up to a tenth of its gap later): all
    // refused, the rest waiting behind.
    ASSERT_TRUE(waitAttempts(1));
    for (auto [step, tries] : {std::pair {6s, 2}, std::pair {324s, 3}, std::pair {1620s, 4}}) {
        clock.advance(step);
        ASSERT_TRUE(waitAttempts(tries)) << "after " << step.count() << " s";
    }
    EXPECT_EQ(headAttempts(), 4);
    // Back before the 2-hour retry, which finds it there.
    receiver.up(port);
    const auto back = std::chrono::steady_clock::now();
    clock.advance(5790s);
    EXPECT_TRUE(receiver.waitFor(made.size(), 60s));
    const double catchUp = std::chrono::duration<double>(std::chrono::steady_clock::now() - back).count();
    dispatcher.stop();

    const auto got = receiver.received();
    const Tally t = tally(got, secret);
    report("receiver away 2 h, 500 sent and answered", made.size(), t);
    std::printf("[fault] caught up in %.1f s\n", catchUp);
    EXPECT_EQ(t.delivered, made.size());
    EXPECT_EQ(t.duplicated, 0u);
    EXPECT_TRUE(t.signedAll);
    std::vector<std::string> order;
    for (const Delivery& d : got)
        order.push_back(d.id);
    EXPECT_EQ(order, made); // oldest first, none missing
}

TEST_F(WebhookFaultTest, KilledMidDeliveryAndRestartedRepeatsOnlyWithTheSameId)
{
    WebhookReceiver receiver;
    receiver.answer = [](const Delivery&) {
        std::this_thread::sleep_for(2ms); // a receiver that takes its time
        return WebhookReceiver::Reply {};
    };
    endpoint(receiver.url(), secret);
    inbound(400);
    const std::vector<std::string> made = eventIds(outbox);
    outbox.CloseDatabase();
    const std::map<std::string, std::string> settings = {{"Webhooks/Allow", "127.0.0.1"}};
    {
        vesk::testing::ApiProcess first(dataFolder, "", settings);
        ASSERT_TRUE(receiver.waitFor(100));
        first.kill();
    }
    const std::size_t beforeRestart = receiver.count();
    vesk::testing::ApiProcess second(dataFolder, "", settings);
    EXPECT_TRUE(
        receiver.waitFor(made.size() + (receiver.count() - std::min(receiver.count(), made.size())), 60s));
    for (auto end = std::chrono::steady_clock::now() + 30s;
         tally(receiver.received(), secret).delivered < made.size()
         && std::chrono::steady_clock::now() < end;)
        std::this_thread::sleep_for(50ms);
    second.stop();

    const Tally t = tally(receiver.received(), secret);
    std::printf("[fault] killed after %zu arrivals\n", beforeRestart);
    report("vesk-api SIGKILLed mid-delivery, restarted", made.size(), t);
    EXPECT_EQ(t.delivered, made.size());
    EXPECT_TRUE(t.sameBodies);
    EXPECT_TRUE(t.signedAll);
    EXPECT_LE(t.duplicated, 100u); // at most the batch that was on its way
}

TEST_F(WebhookFaultTest, TwoServersOnPostgresDeliverEachEventOnce)
{
    VESK_REQUIRE_POSTGRES();
    database = vesk::testing::PgServer::Shared().CreateDatabase();
    {
        store::db creator(fakeClock, pump);
        creator.setFilename(database);
        std::string why;
        ASSERT_TRUE(creator.OpenDatabase(store::mode::kReadWriteShared) && store::CreatePgStore(creator, why))
            << why;
    }
    outbox.CloseDatabase();
    open(outbox);
    WebhookReceiver a, b;
    endpoint(a.url(), secret);
    endpoint(b.url(), secret);
    const std::map<std::string, std::string> settings = {{"Webhooks/Allow", "127.0.0.1"}};
    vesk::testing::ApiProcess one(dataFolder, database, settings), two(dataFolder, database, settings);
    inbound(500);
    const std::size_t made = eventIds(outbox).size();
    EXPECT_TRUE(a.waitFor(made, 60s));
    EXPECT_TRUE(b.waitFor(made, 60s));
    std::this_thread::sleep_for(500ms); // room for a repeat to show
    one.stop();
    two.stop();
    for (const WebhookReceiver* r : {&a, &b}) {
        const Tally t = tally(r->received(), secret);
        report("two vesk-api on PostgreSQL, one endpoint", made, t);
        EXPECT_EQ(t.delivered, made);
        EXPECT_EQ(t.duplicated, 0u);
    }
}
