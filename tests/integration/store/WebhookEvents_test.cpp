// The events the outbox writes by itself for every writer, queued for the endpoints that want
// them, and removed after their days unless a delivery is still being retried.
#include "StoreFixture.h"

#include "store/WebhookStatus.h"
#include "store/Webhooks.h"

#include <sqlite3.h>

using namespace vesk;
using vesk::testing::EngineStoreTest;
using vesk::testing::StoreTest;

namespace {

std::vector<std::string> typesOf(store::db& h)
{
    std::vector<store::WebhookEventRow> events;
    EXPECT_TRUE(store::ListWebhookEvents(h, 0, 100, events)) << h.LastError();
    std::vector<std::string> types;
    for (const auto& e : events)
        types.push_back(e.type + (e.number.empty() ? "" : " " + e.number));
    return types;
}

} // namespace

using WebhookEventsTest = EngineStoreTest;

TEST_P(WebhookEventsTest, EveryChangeACallerCaresAboutIsOneEvent)
{
    const auto send = [&](const std::string& set) {
        const std::int32_t id = queue();
        EXPECT_TRUE(h().Execute("UPDATE Message SET " + set + " WHERE msgID = " + std::to_string(id)));
        return id;
    };
    const std::int32_t a = queue(); // stays queued: no event
    (void)a;
    const std::int32_t b = send("msgStatus = 1");
    ASSERT_TRUE(h().Execute("UPDATE Message SET msgStatus = 3 WHERE msgID = " + std::to_string(b)));
    ASSERT_TRUE(h().Execute("UPDATE Message SET msgStatus = 6 WHERE msgID = " + std::to_string(b)));
    ASSERT_TRUE(
        h().Execute("UPDATE Message SET msgStatus = 5 WHERE msgID = " + std::to_string(b))); // no news
    send("msgStatus = 7");
    send("msgStatus = 2, msgErrorReason = 'Expired'");
    send("msgStatus = 2, msgErrorReason = 'Canceled by API key shop'");
    send("msgStatus = 2, msgErrorReason = 'Retry Exceeded.'");
    ASSERT_TRUE(store::SaveInbound(outbox, "+447700900123", "it's here", clock.now()));
    ASSERT_TRUE(store::AddConsoleEvent(h(), "console.modem_offline", "HOST\\USER"));

    const std::string to = " +447700900001";
    EXPECT_EQ(typesOf(h()),
        (std::vector<std::string> {"message.sent" + to, "message.delivered" + to, "message.undelivered" + to,
            "message.expired" + to, "message.canceled" + to, "message.failed" + to,
            "inbound.received +447700900123", "console.modem_offline"}));
    std::vector<store::WebhookEventRow> events;
    ASSERT_TRUE(store::ListWebhookEvents(h(), 0, 100, events));
    for (const auto& e : events) {
        EXPECT_EQ(e.uid.size(), 24u);
        EXPECT_GT(e.created, 1700000000000);
    }
}

TEST_P(WebhookEventsTest, EndpointsGetTheTypesAndNumbersTheyAskFor)
{
    const auto endpoint = [&](const std::string& types, const std::string& from, const std::string& to) {
        store::WebhookEndpointRow e;
        e.url = "https://example.org/hook";
        e.types = types;
        e.from = from;
        e.to = to;
        e.secret = "whsec_x";
        e.created = 1900000000;
        const RowId id = store::AddWebhookEndpoint(h(), e);
        EXPECT_GT(id, 0) << h().LastError();
        return id;
    };
    const RowId all = endpoint("*", "", "");
    const RowId inboundUk = endpoint(",inbound.received,", "+44", "");
    const RowId sentTo = endpoint(",message.sent,", "", "+4477009000");
    std::optional<store::WebhookEndpointRow> loaded;
    ASSERT_TRUE(store::LoadWebhookEndpoint(h(), endpoint("*", "", ""), loaded) && loaded);
    loaded->enabled = false;
    ASSERT_EQ(store::UpdateWebhookEndpoint(h(), *loaded), 1);

    const std::int32_t id = queue();
    ASSERT_TRUE(h().Execute("UPDATE Message SET msgStatus = 3 WHERE msgID = " + std::to_string(id)));
    ASSERT_TRUE(store::SaveInbound(outbox, "+447700900123", "uk", clock.now()));
    ASSERT_TRUE(store::SaveInbound(outbox, "+33612345678", "fr", clock.now()));

    const auto waiting = [&](RowId endpoint) {
        std::vector<store::WebhookDeliveryRow> rows;
        EXPECT_TRUE(store::WaitingDeliveries(h(), endpoint, 100, rows)) << h().LastError();
        std::vector<std::string> types;
        for (const auto& d : rows)
            types.push_back(d.event.type + " " + d.event.number);
        return types;
    };
    EXPECT_EQ(waiting(all).size(), 3u);
    EXPECT_EQ(waiting(inboundUk), std::vector<std::string> {"inbound.received +447700900123"});
    EXPECT_EQ(waiting(sentTo), std::vector<std::string> {"message.sent +447700900001"});
    EXPECT_TRUE(waiting(loaded->id).empty());

    // A test goes to its endpoint alone.
    EXPECT_FALSE(store::AddTestEvent(h(), sentTo).empty()) << h().LastError();
    EXPECT_EQ(waiting(sentTo).size(), 2u);
    EXPECT_EQ(waiting(all).size(), 3u);
}

TEST_P(WebhookEventsTest, OldEventsGoInStepsButOnesStillBeingRetriedStay)
{
    store::WebhookEndpointRow e;
    e.url = "https://example.org/hook";
    e.types = "*";
    e.secret = "whsec_x";
    const RowId endpoint = store::AddWebhookEndpoint(h(), e);
    for (int i = 0; i < 7; ++i)
        ASSERT_TRUE(store::SaveInbound(outbox, "+447700900123", "n" + std::to_string(i), clock.now()));
    std::vector<store::WebhookDeliveryRow> rows;
    ASSERT_TRUE(store::WaitingDeliveries(h(), endpoint, 100, rows));
    ASSERT_EQ(rows.size(), 7u);
    for (std::size_t i = 0; i < rows.size(); ++i) {
        store::WebhookDeliveryRow after = rows[i];
        after.state = i == 3 ? store::DeliveryState::Waiting : store::DeliveryState::Delivered;
        after.attempts = 1;
        ASSERT_TRUE(store::RecordDeliveryAttempt(h(), after, {1, i == 3 ? 500 : 200, "", 3}));
    }
    const std::int64_t later = (std::time(nullptr) + 60) * 1000;
    EXPECT_EQ(store::RemoveOldEvents(h(), later, 2), 6);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM WebhookEvent"), 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM WebhookAttempt"), 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM WebhookDelivery"), 1);
    // Nothing is younger than the cut-off a minute ago.
    EXPECT_EQ(store::RemoveOldEvents(h(), later - 3600 * 1000, 2), 0);
}

// What the operator on call sees of each endpoint: its backlog, its newest failed try and its
// last success, whatever became of the deliveries since.
TEST_P(WebhookEventsTest, StatusShowsEachEndpointsBacklogAndNewestFailure)
{
    const auto endpoint = [&](const std::string& from, const std::string& types, bool enabled) {
        store::WebhookEndpointRow e;
        e.url = "https://example.org/" + from;
        e.types = types;
        e.from = from;
        e.secret = "whsec_x";
        e.enabled = enabled;
        e.disabledReason = enabled ? "" : "the receiver answered 410 Gone";
        const RowId id = store::AddWebhookEndpoint(h(), e);
        EXPECT_GT(id, 0) << h().LastError();
        return id;
    };
    const RowId uk = endpoint("+44", "*", true);
    const RowId fr = endpoint("+33", ",inbound.received,", true);
    const RowId gone = endpoint("", ",console.modem_online,", false);
    for (const char* from :
        {"+447700900001", "+447700900002", "+447700900003", "+447700900004", "+33612345678"})
        ASSERT_TRUE(store::SaveInbound(outbox, from, "hi", clock.now()));

    // Tries in the order they happened: refused, then taken; taken; a 503 the next waits behind.
    // The French receiver's only delivery was given up after a 500.
    using store::DeliveryState;
    const auto tried = [&](RowId id, std::size_t at, DeliveryState state, store::WebhookAttemptRow attempt) {
        std::vector<store::WebhookDeliveryRow> waiting;
        ASSERT_TRUE(store::WaitingDeliveries(h(), id, 100, waiting)) << h().LastError();
        ASSERT_GT(waiting.size(), at);
        store::WebhookDeliveryRow after = waiting[at];
        after.state = state;
        after.attempts += 1;
        ASSERT_TRUE(store::RecordDeliveryAttempt(h(), after, attempt)) << h().LastError();
    };
    tried(uk, 0, DeliveryState::Waiting, {1000, 0, "Couldn't connect to server: refused", 3});
    tried(uk, 0, DeliveryState::Delivered, {2000, 204, "", 3});
    tried(uk, 0, DeliveryState::Delivered, {3000, 200, "", 3});
    tried(uk, 0, DeliveryState::Waiting, {4000, 503, "HTTP 503", 3});
    tried(fr, 0, DeliveryState::Failed, {5000, 500, "HTTP 500", 3});

    std::vector<store::WebhookEndpointStatus> status;
    ASSERT_TRUE(store::ReadWebhookStatus(h(), status)) << h().LastError();
    ASSERT_EQ(status.size(), 3u);
    EXPECT_EQ(status[0].endpoint.id, uk);
    EXPECT_EQ(status[0].backlog, 2);
    ASSERT_TRUE(status[0].lastFailure);
    EXPECT_EQ(status[0].lastFailure->time, 4000);
    EXPECT_EQ(status[0].lastFailure->status, 503);
    EXPECT_EQ(status[0].lastFailure->error, "HTTP 503");
    EXPECT_EQ(status[0].lastSuccess, 3000);

    EXPECT_EQ(status[1].endpoint.id, fr);
    EXPECT_EQ(status[1].backlog, 0); // given up is not waiting
    ASSERT_TRUE(status[1].lastFailure);
    EXPECT_EQ(status[1].lastFailure->status, 500);
    EXPECT_EQ(status[1].lastSuccess, 0);

    EXPECT_EQ(status[2].endpoint.id, gone);
    EXPECT_FALSE(status[2].endpoint.enabled);
    EXPECT_EQ(status[2].endpoint.disabledReason, "the receiver answered 410 Gone");
    EXPECT_EQ(status[2].endpoint.types, ",console.modem_online,");
    EXPECT_EQ(status[2].backlog, 0);
    EXPECT_FALSE(status[2].lastFailure);
}

VESK_ON_BOTH_ENGINES(WebhookEventsTest);

// At any backlog the dispatcher, the delivery log, the feed, redelivery, housekeeping and the
// status page find their rows through an index: no statement of theirs reads a whole webhook table.
TEST_F(StoreTest, NoWebhookStatementScansATable)
{
    store::WebhookEndpointRow e;
    e.url = "https://example.org/hook";
    e.types = "*";
    e.secret = "whsec_x";
    const RowId endpoint = store::AddWebhookEndpoint(h(), e);
    ASSERT_TRUE(h().Execute("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 2000)"
                            " INSERT INTO Inbox (msgAddress, msgText) SELECT '+4477009' || i, 'x' FROM n"));
    std::vector<std::string> statements;
    h().StatementObserver = [&](const std::string& sql, std::chrono::nanoseconds) {
        if (sql.find("Webhook") != std::string::npos)
            statements.push_back(sql);
    };
    std::vector<store::WebhookDeliveryRow> due;
    ASSERT_TRUE(store::WaitingDeliveries(h(), endpoint, 100, due));
    ASSERT_TRUE(store::RecordDeliveryAttempt(h(), due[0], {1, 200, "", 1}));
    std::vector<std::pair<store::WebhookDeliveryRow, std::vector<store::WebhookAttemptRow>>> log;
    ASSERT_TRUE(store::ListDeliveries(h(), endpoint, due[50].id, 20, log));
    std::vector<store::WebhookEventRow> feed;
    ASSERT_TRUE(store::ListWebhookEvents(h(), 1000, 50, feed));
    std::optional<store::WebhookEventRow> one;
    ASSERT_TRUE(store::LoadWebhookEvent(h(), feed[0].uid, one));
    ASSERT_GE(store::RedeliverEvent(h(), feed[0].id), 0);
    ASSERT_TRUE(store::FixEventBody(h(), feed[0].id, "{}"));
    ASSERT_GE(store::RemoveOldEvents(h(), 1, 100), 0);
    std::vector<store::WebhookEndpointStatus> status;
    ASSERT_TRUE(store::ReadWebhookStatus(h(), status));
    h().StatementObserver = nullptr;
    ASSERT_GE(statements.size(), 8u);

    sqlite3* raw = nullptr;
    ASSERT_EQ(sqlite3_open_v2(dir.file(store::kOutboxName).c_str(), &raw, SQLITE_OPEN_READONLY, nullptr),
        SQLITE_OK);
    for (const std::string& sql : statements) {
        SCOPED_TRACE(sql);
        sqlite3_stmt* s = nullptr;
        ASSERT_EQ(sqlite3_prepare_v2(raw, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &s, nullptr), SQLITE_OK)
            << sqlite3_errmsg(raw);
        while (sqlite3_step(s) == SQLITE_ROW) {
            const std::string step = reinterpret_cast<const char*>(sqlite3_column_text(s, 3));
            // The endpoints are few, and so are the failed tries beside the deliveries.
            EXPECT_TRUE(step.rfind("SCAN", 0) != 0 || step.find("WebhookEndpoint") != std::string::npos
                || step.find("ixWebhookAttemptFailed") != std::string::npos)
                << step;
            // Due deliveries are found among the waiting ones, not among all ever made.
            if (sql.find("d.dlEndpoint = ? AND d.dlState = 0") != std::string::npos
                && step.find(" d ") != std::string::npos) {
                EXPECT_NE(step.find("ixWebhookDeliveryWaiting"), std::string::npos) << step;
            }
        }
        sqlite3_finalize(s);
    }
    sqlite3_close(raw);
}
