// vesk-api as clients meet it: a real process on a free port over a real outbox (SQLite files
// and PostgreSQL), reached through libcurl. What it accepts must be the outbox rows a console
// sends; what it reports must be read from the outbox.
#include "ApiProcess.h"

#include <chrono>
#include <future>
#include <set>
#include <sys/stat.h>

using namespace std::chrono_literals;
using namespace vesk;
using nlohmann::json;
using vesk::testing::ApiTest;
using vesk::testing::Http;
using vesk::testing::HttpAnswer;
using vesk::testing::Recorded;

namespace {

std::string hundredDeep()
{
    return std::string(40, '[') + std::string(40, ']');
}

} // namespace

// The whole life of messages through the API, every route answering as the OpenAPI document says.
TEST_P(ApiTest, MessagesFromSubmitToCancelWithEveryRouteAsDocumented)
{
    start();
    std::vector<Recorded> answers;
    const auto record = [&](const std::string& method, const std::string& route, const HttpAnswer& a) {
        answers.push_back({method, route, a});
        return a;
    };
    EXPECT_EQ(record("GET", "/healthz", call("GET", "/healthz")).status, 200);
    EXPECT_EQ(record("GET", "/readyz", call("GET", "/readyz")).status, 200);

    const auto sent = record("POST", "/v1/messages",
        call("POST", "/v1/messages",
            R"({"to": ["+447700900123", "+15550123"], "text": "Server room is hot", "name": "Night shift",
                "client_ref": "ticket-7", "expires_at": "2099-01-01T00:00:00Z"})"));
    ASSERT_EQ(sent.status, 202) << sent.body;
    const json data = sent.json()["data"];
    ASSERT_EQ(data.size(), 2u);
    const long first = data[0]["id"], second = data[1]["id"];
    EXPECT_EQ(sent.header("location"), "/v1/messages/" + std::to_string(first));
    EXPECT_EQ(data[1]["to"], "+15550123");
    // Ordinary pending rows, as a queueing program writes them: the console needs nothing else.
    EXPECT_EQ(count("msgStatus = 0 AND msgComplete = FALSE AND msgAttempts = 0 AND msgAgentIMEI IS NULL"
                    " AND msgRecipient = 'Night shift' AND msgText = 'Server room is hot' AND msgExpires IS "
                    "NOT NULL"),
        2);

    const auto shown
        = record("GET", "/v1/messages/{id}", call("GET", "/v1/messages/" + std::to_string(first)));
    ASSERT_EQ(shown.status, 200);
    EXPECT_EQ(shown.json()["data"]["status"], "queued");
    EXPECT_EQ(shown.json()["data"]["client_ref"], "ticket-7");
    EXPECT_EQ(shown.json()["data"]["expires_at"], "2099-01-01T00:00:00Z");

    // Each state the outbox holds, as the API names it.
    struct State
    {
        const char* set;
        const char* status;
    };
    const State kStates[] = {
        {"msgStatus = 1, msgAgentIMEI = '1234567'", "sending"},
        {"msgStatus = 3, msgComplete = TRUE, msgAgentIMEI = NULL", "sent"},
        {"msgStatus = 5, msgDeliveryStatus = 0", "delivered"},
        {"msgStatus = 6, msgDeliveryStatus = 1", "delivered"},
        {"msgStatus = 7, msgDeliveryStatus = 70", "undelivered"},
        {"msgStatus = 2, msgErrorReason = 'Expired'", "expired"},
        {"msgStatus = 2, msgErrorReason = 'Message Expired'", "expired"},
        {"msgStatus = 2, msgErrorReason = 'Retry Exceeded.'", "failed"},
        {"msgStatus = 0, msgErrorReason = NULL, msgDeliveryStatus = NULL, msgAttempts = 2", "queued"},
    };
    for (const State& s : kStates) {
        SCOPED_TRACE(s.set);
        sql(std::string("UPDATE Message SET ") + s.set + " WHERE msgID = " + std::to_string(second));
        const auto one
            = record("GET", "/v1/messages/{id}", call("GET", "/v1/messages/" + std::to_string(second)));
        EXPECT_EQ(one.json()["data"]["status"], s.status);
        const auto listed
            = record("GET", "/v1/messages", call("GET", std::string("/v1/messages?status=") + s.status));
        ASSERT_EQ(listed.status, 200);
        std::set<long> ids;
        const json page = listed.json();
        for (const auto& m : page["data"])
            ids.insert(m["id"].get<long>());
        EXPECT_TRUE(ids.count(second)) << listed.body;
    }

    // Cancel: a pending row ends as cancelled and stays so; a claimed one is the console's.
    const auto canceled = record("POST", "/v1/messages/{id}/cancel",
        call("POST", "/v1/messages/" + std::to_string(first) + "/cancel"));
    ASSERT_EQ(canceled.status, 200) << canceled.body;
    EXPECT_EQ(canceled.json()["data"]["status"], "canceled");
    EXPECT_EQ(canceled.json()["data"]["error_reason"], "Canceled by API key all");
    EXPECT_EQ(count("msgID = " + std::to_string(first) + " AND msgStatus = 2 AND msgComplete = TRUE"), 1);
    EXPECT_EQ(call("POST", "/v1/messages/" + std::to_string(first) + "/cancel").status, 200);
    sql("UPDATE Message SET msgStatus = 1, msgAgentIMEI = '1234567' WHERE msgID = " + std::to_string(second));
    const auto claimed = record("POST", "/v1/messages/{id}/cancel",
        call("POST", "/v1/messages/" + std::to_string(second) + "/cancel"));
    EXPECT_EQ(claimed.status, 409);
    EXPECT_EQ(claimed.problem(), "not-cancelable");
    EXPECT_EQ(record("GET", "/v1/messages/{id}", call("GET", "/v1/messages/999999")).status, 404);

    // A batch: the valid items are queued, each answer in request order.
    const auto batch = record("POST", "/v1/message-batches",
        call("POST", "/v1/message-batches",
            R"({"messages": [{"to": "+447700900200", "text": "one"}, {"to": "0770", "text": "two"},
                             {"to": ["+447700900201", "+447700900202"], "text": "three"}]})"));
    ASSERT_EQ(batch.status, 202) << batch.body;
    const json items = batch.json()["data"];
    EXPECT_EQ(items[0]["data"].size(), 1u);
    EXPECT_EQ(items[1]["problem"]["errors"][0]["pointer"], "/messages/1/to");
    EXPECT_EQ(items[2]["data"].size(), 2u);
    EXPECT_EQ(count("msgText IN ('one', 'two', 'three')"), 3);

    // Inbound messages the console stored, newest first, a page at a time.
    for (int i = 1; i <= 3; ++i)
        sql("INSERT INTO Inbox (msgTime, msgAddress, msgText) VALUES (#01/Mar/2030 10:0" + std::to_string(i)
            + ":00#, '+447700900555', 'reply " + std::to_string(i) + "')");
    const auto inbound = record("GET", "/v1/inbound", call("GET", "/v1/inbound?limit=2"));
    ASSERT_EQ(inbound.status, 200);
    EXPECT_EQ(inbound.json()["data"][0]["text"], "reply 3");
    ASSERT_FALSE(inbound.json()["next_cursor"].is_null());
    const auto rest
        = call("GET", "/v1/inbound?limit=2&cursor=" + inbound.json()["next_cursor"].get<std::string>());
    EXPECT_EQ(rest.json()["data"].size(), 1u);
    const long inboundId = rest.json()["data"][0]["id"];
    EXPECT_EQ(record("GET", "/v1/inbound/{id}", call("GET", "/v1/inbound/" + std::to_string(inboundId)))
                  .json()["data"]["from"],
        "+447700900555");

    const auto metrics = record("GET", "/metrics", call("GET", "/metrics"));
    EXPECT_NE(metrics.body.find("vesk_api_messages_accepted_total 5"), std::string::npos) << metrics.body;
    EXPECT_NE(metrics.body.find("vesk_queue_length 3"), std::string::npos) << metrics.body;
    EXPECT_NE(
        metrics.body.find(R"(route="/v1/messages/{id}/cancel",method="POST",code="409")"), std::string::npos);

    // What the status page reads: the queue by status and by hour, the recent traffic, the consoles.
    sql("UPDATE Message SET msgStatus = 5, msgDeliveryTime = msgSendTime WHERE msgID = "
        + std::to_string(second));
    const auto queue = record("GET", "/v1/queue", call("GET", "/v1/queue"));
    ASSERT_EQ(queue.status, 200) << queue.body;
    EXPECT_EQ(queue.json()["counts"]["delivered"], 1) << queue.body;
    EXPECT_EQ(queue.json()["hours"].size(), 24u);
    const auto recent
        = record("GET", "/v1/status/outbound", call("GET", "/v1/status/outbound?status=delivered&limit=5"));
    ASSERT_EQ(recent.status, 200) << recent.body;
    EXPECT_EQ(recent.json()["data"][0]["id"], second);
    EXPECT_EQ(record("GET", "/v1/status/inbound", call("GET", "/v1/status/inbound?limit=1"))
                  .json()["data"][0]["text"],
        "reply 3");
    sql("INSERT INTO Console (csID, csHost, csMode, csNetwork, csSignal, csLastPass) VALUES "
        "('3564001', 'gw1', 'running', 'Vesk Net', 61, 1)");
    const auto consoles = record("GET", "/v1/consoles", call("GET", "/v1/consoles"));
    ASSERT_EQ(consoles.status, 200) << consoles.body;
    EXPECT_EQ(consoles.json()["data"][0]["state"], "silent"); // its last pass was in 1970
    EXPECT_EQ(consoles.json()["data"][0]["network"], "Vesk Net");
    const auto webhooks = record("GET", "/v1/status/webhooks", call("GET", "/v1/status/webhooks"));
    ASSERT_EQ(webhooks.status, 200) << webhooks.body;
    EXPECT_TRUE(webhooks.json()["data"].empty());

    const auto document = record("GET", "/v1/openapi.json", call("GET", "/v1/openapi.json"));
    ASSERT_EQ(document.status, 200);
    expectDocumented(answers);
    EXPECT_EQ(api->stop(), 0);
}

// Every kind of bad input in one table: each is refused with its status and problem type, and
// nothing of any of them reaches the outbox.
TEST_P(ApiTest, RefusesBadInputWithAProblemAndWritesNothing)
{
    sql("UPDATE System SET sysSMSMaxMessageSize = 160");
    start({}, "^\\+44\r\n");
    std::string deep = R"({"to": "+447700900123", "text": "x", "name": )" + hundredDeep() + "}";
    std::string thousandOne = R"({"messages": [)";
    for (int i = 0; i <= 1000; ++i)
        thousandOne += std::string(i ? "," : "") + R"({"to": "+447700900123", "text": "x"})";
    thousandOne += "]}";
    std::string recipients = R"({"text": "x", "to": [)";
    for (int i = 0; i <= 1000; ++i)
        recipients += std::string(i ? "," : "") + "\"+447700900123\"";
    recipients += "]}";
    struct Case
    {
        std::string method, path, body;
        long status;
        std::string type;
        std::vector<std::string> headers = {};
    };
    const std::vector<Case> kCases = {
        {"POST", "/v1/messages", R"({"to": "07700900123", "text": "x"})", 422, "invalid-number"},
        {"POST", "/v1/messages", R"({"to": "+44 7700 900123", "text": "x"})", 422, "invalid-number"},
        {"POST", "/v1/messages", R"({"to": ["+447700900123", 44], "text": "x"})", 422, "invalid-number"},
        {"POST", "/v1/messages", R"({"to": "+447700900123", "text": "  "})", 422, "empty-text"},
        {"POST", "/v1/messages", R"({"to": "+447700900123", "text": ")" + std::string(161, 'a') + "\"}", 422,
            "text-too-long"},
        {"POST", "/v1/messages", R"({"to": "+447700900123", "text": "x", "priority": 1})", 422,
            "unknown-field"},
        {"POST", "/v1/messages", R"({"to": "+447700900123", "text": "x", "send_at": "2001-01-01T00:00:00Z"})",
            422, "time-in-past"},
        {"POST", "/v1/messages", R"({"to": "+447700900123", "text": "x", "send_at": "tomorrow"})", 422,
            "invalid-time"},
        {"POST", "/v1/messages", R"({"to": "+15550123", "text": "x"})", 422, "address-refused"},
        {"POST", "/v1/messages", recipients, 422, "too-many-recipients"},
        {"POST", "/v1/messages", R"({"to": "+447700900123", "text": "a\u001bb"})", 422, "invalid-field"},
        {"POST", "/v1/messages", R"({"to": "+447700900123", "text": "x", "name": 7})", 422, "invalid-field"},
        {"POST", "/v1/messages",
            R"({"to": "+447700900123", "text": ")" + std::string(1024 * 1024, 'a') + "\"}", 413,
            "body-too-large"},
        {"POST", "/v1/messages", deep, 400, "too-deep"},
        {"POST", "/v1/messages", "{\"to\": \"+447700900123\", \"text\": \"caf\xe9\"}", 400, "invalid-utf8"},
        {"POST", "/v1/messages", "{\"to\": ", 400, "invalid-json"},
        {"POST", "/v1/messages", "[1, 2]", 400, "invalid-json"},
        {"POST", "/v1/message-batches", thousandOne, 422, "batch-too-large"},
        {"POST", "/v1/message-batches", R"({"messages": [{"to": "0", "text": ""}]})", 422, "invalid-request"},
        {"POST", "/v1/messages", R"({"to": "+447700900123", "text": "x"})", 400, "invalid-idempotency-key",
            {"Idempotency-Key: " + std::string(300, 'k')}},
        {"GET", "/v1/messages?limit=501", "", 400, "invalid-query"},
        {"GET", "/v1/messages?status=lost", "", 400, "invalid-query"},
        {"GET", "/v1/messages?cursor=not-ours", "", 400, "invalid-query"},
        {"GET", "/v1/messages?created_after=yesterday", "", 400, "invalid-query"},
        {"GET", "/v1/messages?colour=red", "", 400, "invalid-query"},
        {"GET", "/v1/messages/abc", "", 404, "not-found"},
        {"GET", "/v1/nothing", "", 404, "not-found"},
        {"DELETE", "/v1/messages", "", 405, "method-not-allowed"},
    };
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.method + " " + c.path + " " + c.body.substr(0, 80));
        const HttpAnswer a = call(c.method, c.path, c.body, c.headers);
        EXPECT_EQ(a.status, c.status) << a.body.substr(0, 300);
        EXPECT_EQ(a.problem(), c.type) << a.body.substr(0, 300);
        EXPECT_EQ(a.header("content-type"), "application/problem+json");
        EXPECT_EQ(a.json()["instance"], a.header("x-request-id"));
    }
    const HttpAnswer plain = Http("POST", api->url("/v1/messages"), R"({"to": "+447700900123", "text": "x"})",
        {"Authorization: Bearer " + key, "Content-Type: text/plain"});
    EXPECT_EQ(plain.status, 415);
    EXPECT_EQ(count("1 = 1"), 0);
    // The filter's own reason is what the client reads.
    const auto refused = call("POST", "/v1/messages", R"({"to": "+15550123", "text": "x"})");
    EXPECT_EQ(refused.json()["errors"][0]["reason"], "Recipient address failed Address Filtering.");
    EXPECT_EQ(api->stop(), 0);
}

// Keys: a missing or wrong key, a missing scope, an address the key does not allow, a revoked key;
// failed attempts limited per address; the log names the address and never the key.
TEST_P(ApiTest, KeysScopesAddressesRevocationAndFailedAttempts)
{
    const std::string reader = makeKey("reader", "messages:read");
    const std::string office = makeKey("office", "messages:send,messages:read", "10.0.0.0/8, 2001:db8::/32");
    EXPECT_EQ(keyCommand({"add", "--name", "reader", "--scope", "messages:read"}).first, 1);
    EXPECT_EQ(keyCommand({"add", "--name", "x", "--scope", "webhooks:fly"}).first, 1);
    start();
    const std::string body = R"({"to": "+447700900123", "text": "x"})";
    const std::string none, wrong = "vk_" + std::string(43, 'A');

    const auto missing = call("POST", "/v1/messages", body, {}, &none);
    EXPECT_EQ(missing.status, 401);
    EXPECT_EQ(missing.header("www-authenticate").rfind("Bearer", 0), 0u);
    EXPECT_EQ(call("GET", "/v1/messages", "", {}, &wrong).problem(), "unauthorized");
    EXPECT_EQ(call("POST", "/v1/messages", body, {}, &reader).problem(), "forbidden");
    EXPECT_EQ(call("GET", "/v1/inbound", "", {}, &reader).status, 403);
    EXPECT_EQ(call("GET", "/v1/messages", "", {}, &reader).status, 200);
    EXPECT_EQ(call("GET", "/v1/messages", "", {}, &office).problem(), "address-not-allowed");
    EXPECT_EQ(call("GET", "/healthz", "", {}, &none).status, 200);

    // Revoked in the outbox (as another vesk-api's operator would): it stops working within a second.
    EXPECT_EQ(keyCommand({"revoke", "reader"}).first, 0);
    const auto revoked = std::chrono::steady_clock::now();
    while (call("GET", "/v1/messages", "", {}, &reader).status == 200
        && std::chrono::steady_clock::now() - revoked < 5s)
        std::this_thread::sleep_for(50ms);
    const auto took = std::chrono::duration<double>(std::chrono::steady_clock::now() - revoked).count();
    std::printf("revoked key refused after %.2f s\n", took);
    EXPECT_EQ(call("GET", "/v1/messages", "", {}, &reader).status, 401);
    const auto [listed, keys] = keyCommand({"list"});
    EXPECT_NE(keys.find("revoked"), std::string::npos) << keys;
    EXPECT_EQ(keys.find(key), std::string::npos);

    // After ten failed key checks the address waits, whatever key it offers next.
    for (int i = 0; i < 10; ++i)
        call("GET", "/v1/messages", "", {}, &wrong);
    const auto limited = call("GET", "/v1/messages");
    EXPECT_EQ(limited.status, 429);
    EXPECT_GT(std::atoi(limited.header("retry-after").c_str()), 0);
    EXPECT_EQ(api->stop(), 0);
    const std::string log = api->log();
    EXPECT_NE(log.find("Refused 401 (unknown key) for GET /v1/messages from 127.0.0.1"), std::string::npos)
        << log;
    EXPECT_NE(log.find("Too many failed key checks from 127.0.0.1"), std::string::npos);
    for (const std::string& k : {key, reader, office, wrong})
        EXPECT_EQ(log.find(k), std::string::npos);
}

// The same request with the same Idempotency-Key queues once; with another body it is refused;
// while the first is still being written (the outbox held by another writer), a repeat is told so.
TEST_P(ApiTest, IdempotencyKeyReplaysRefusesAnotherBodyAndReportsInFlight)
{
    start();
    const std::string body = R"({"to": "+447700900123", "text": "pay day"})";
    const auto first = call("POST", "/v1/messages", body, {"Idempotency-Key: order-1"});
    ASSERT_EQ(first.status, 202);
    const auto again = call("POST", "/v1/messages", body, {"Idempotency-Key: order-1"});
    EXPECT_EQ(again.status, 202);
    EXPECT_EQ(again.body, first.body);
    EXPECT_EQ(again.header("location"), first.header("location"));
    EXPECT_EQ(again.header("idempotent-replayed"), "true");
    EXPECT_EQ(count("msgText = 'pay day'"), 1);
    EXPECT_EQ(call("POST", "/v1/messages", R"({"to": "+447700900123", "text": "other"})",
                  {"Idempotency-Key: order-1"})
                  .problem(),
        "idempotency-key-reused");
    // A refused request keeps nothing: the key is free for the corrected one.
    EXPECT_EQ(
        call("POST", "/v1/messages", R"({"to": "0", "text": "x"})", {"Idempotency-Key: order-2"}).status,
        422);
    EXPECT_EQ(
        call("POST", "/v1/messages", R"({"to": "+447700900124", "text": "x"})", {"Idempotency-Key: order-2"})
            .status,
        202);

    store::db holder(clock, pump);
    ASSERT_NO_FATAL_FAILURE(holdWriteLock(holder, "ApiIdempotency"));
    const std::string late = R"({"to": "+447700900125", "text": "late"})";
    auto a = std::async(
        std::launch::async, [&] { return call("POST", "/v1/messages", late, {"Idempotency-Key: order-3"}); });
    std::this_thread::sleep_for(300ms);
    const auto b = call("POST", "/v1/messages", late, {"Idempotency-Key: order-3"});
    holder.RollbackTransaction();
    const auto aa = a.get();
    // Whichever came second was told the first is in flight; the first was queued once the lock went.
    const std::multiset<long> statuses = {aa.status, b.status};
    EXPECT_EQ(statuses, (std::multiset<long> {202, 409})) << aa.body << b.body;
    EXPECT_EQ((aa.status == 409 ? aa : b).problem(), "idempotency-in-flight");
    EXPECT_EQ(call("POST", "/v1/messages", late, {"Idempotency-Key: order-3"}).header("idempotent-replayed"),
        "true");
    EXPECT_EQ(count("msgText = 'late'"), 1);
}

// Sixteen clients submit at once, good requests among refused ones and repeats of one key: each
// accepted request has its own rows, none is written twice and no refused one leaves a row. While
// another program holds the outbox past the server's wait, every submit waiting with it is told
// the outbox is unavailable and nothing of theirs is kept; afterwards all go through again.
TEST_P(ApiTest, SubmitsArrivingTogetherKeepTheirOwnRowsAndFailTogether)
{
    start();
    const auto burst = [&](const std::string& tag) {
        std::vector<std::future<HttpAnswer>> answers;
        for (int c = 0; c < 16; ++c)
            answers.push_back(std::async(std::launch::async, [&, c] {
                std::vector<HttpAnswer> mine;
                for (int i = 0; i < 8; ++i) {
                    const std::string text = tag + " " + std::to_string(c) + "-" + std::to_string(i);
                    if (i == 3) // refused by its checks: nothing written
                        mine.push_back(
                            call("POST", "/v1/messages", json {{"to", "0"}, {"text", text}}.dump()));
                    else if (i == 5) // one key from every client: queued once
                        mine.push_back(call("POST", "/v1/messages",
                            json {{"to", "+447700900999"}, {"text", tag + " once"}}.dump(),
                            {"Idempotency-Key: " + tag}));
                    else
                        mine.push_back(call("POST", "/v1/messages",
                            json {{"to", {"+447700900" + std::to_string(100 + c), "+447700900200"}},
                                {"text", text}}
                                .dump()));
                }
                return mine.back(); // the last of each client, for the status table below
            }));
        std::map<long, int> statuses;
        for (auto& a : answers)
            ++statuses[a.get().status];
        return statuses;
    };
    const auto lastAnswers = burst("calm");
    EXPECT_EQ(lastAnswers, (std::map<long, int> {{202, 16}}));
    // Six good requests a client, two rows each; the repeated key once; the refused ones nowhere.
    EXPECT_EQ(count("msgText LIKE 'calm %-%'"), 16 * 6 * 2);
    EXPECT_EQ(count("msgText = 'calm once'"), 1);
    EXPECT_EQ(number("SELECT COUNT(DISTINCT msgText) FROM Message WHERE msgText LIKE 'calm %-%'"), 16 * 6);

    store::db holder(clock, pump);
    ASSERT_NO_FATAL_FAILURE(holdWriteLock(holder));
    auto locked = submitAtOnce(4, "+447700900300", "locked");
    std::map<long, int> lockedStatuses;
    if (GetParam() == store::EngineKind::Postgres) {
        // A server waits for its lock: release it and every request goes through.
        std::this_thread::sleep_for(500ms);
        holder.RollbackTransaction();
        for (auto& a : locked)
            ++lockedStatuses[a.get().status];
        EXPECT_EQ(lockedStatuses, (std::map<long, int> {{202, 4}}));
        EXPECT_EQ(count("msgText LIKE 'locked %'"), 4);
    } else {
        for (auto& a : locked)
            ++lockedStatuses[a.get().status];
        holder.RollbackTransaction();
        EXPECT_EQ(lockedStatuses, (std::map<long, int> {{503, 4}}));
        EXPECT_EQ(count("msgText LIKE 'locked %'"), 0);
    }
    EXPECT_EQ(burst("after"), (std::map<long, int> {{202, 16}}));
    EXPECT_EQ(count("msgText LIKE 'after %-%'"), 16 * 6 * 2);
}

// Stopped while submits wait for a lock held elsewhere: the server waits for them and exits
// cleanly. Each is answered as accepted and is in the outbox; one that had not reached the server
// when it stopped (on a busy machine) is refused at the door and leaves no row.
TEST_P(ApiTest, StoppingWaitsForTheSubmitsUnderWayAndAnswersThem)
{
    start();
    store::db holder(clock, pump);
    ASSERT_NO_FATAL_FAILURE(holdWriteLock(holder));
    auto underWay = submitAtOnce(6, "+447700900400", "under way");
    std::this_thread::sleep_for(500ms); // they have reached the server
    auto stopped = std::async(std::launch::async, [&] { return api->stop(); });
    std::this_thread::sleep_for(300ms);
    holder.RollbackTransaction();
    std::map<long, int> statuses;
    for (auto& a : underWay)
        ++statuses[a.get().status];
    EXPECT_EQ(stopped.get(), 0);
    statuses.erase(0); // no connection
    const int accepted = statuses[202];
    EXPECT_EQ(statuses, (std::map<long, int> {{202, accepted}}));
    EXPECT_EQ(count("msgText LIKE 'under way %'"), accepted)
        << "an answer for every row, a row for every answer";
    std::printf(
        "6 submits under way when stopped: %d accepted and queued, %d not let in\n", accepted, 6 - accepted);
}

// Listing a few thousand messages a page at a time: every one once, newest first, by any filter.
TEST_P(ApiTest, CursorPagingOverThousandsOfMessagesWithFilters)
{
    start();
    for (int b = 0; b < 3; ++b) {
        json items = json::array();
        for (int i = 0; i < 1000; ++i)
            items.push_back({{"to", "+4477009" + std::to_string(10000 + i)},
                {"text", "rota " + std::to_string(i)}, {"client_ref", "batch-" + std::to_string(b)}});
        const auto accepted = call("POST", "/v1/message-batches", json {{"messages", items}}.dump());
        ASSERT_EQ(accepted.status, 202) << accepted.body.substr(0, 300);
    }
    sql("UPDATE Message SET msgStatus = 3, msgComplete = TRUE WHERE msgID % 10 = 0");
    const auto walk = [&](const std::string& query) {
        std::vector<long> ids;
        std::string next = "/v1/messages?limit=500" + query;
        for (int pages = 0; !next.empty() && pages < 20; ++pages) {
            const auto page = call("GET", next);
            EXPECT_EQ(page.status, 200) << page.body.substr(0, 300);
            const json body = page.json();
            for (const auto& m : body["data"])
                ids.push_back(m["id"]);
            const std::string link = page.header("link");
            next = link.empty() ? "" : link.substr(1, link.find('>') - 1);
        }
        EXPECT_TRUE(std::is_sorted(ids.rbegin(), ids.rend()));
        EXPECT_EQ(std::set<long>(ids.begin(), ids.end()).size(), ids.size());
        return ids.size();
    };
    EXPECT_EQ(walk(""), 3000u);
    EXPECT_EQ(walk("&status=sent"), 300u);
    EXPECT_EQ(walk("&status=queued&client_ref=batch-1"), 900u);
    EXPECT_EQ(walk("&to=%2B447700910007"), 3u);
    EXPECT_EQ(walk("&created_after=2000-01-01T00:00:00Z"), 3000u);
    EXPECT_EQ(walk("&created_after=2099-01-01T00:00:00Z"), 0u);
}

VESK_API_ON_BOTH_ENGINES(ApiTest);

// Two vesk-api processes on one PostgreSQL outbox, as behind a load balancer: a key made once
// works on both, a request repeated on the other replays the first answer, and one repeated there
// while the first is still being written is told it is in flight.
using ApiSharedOutboxTest = ApiTest;

TEST_P(ApiSharedOutboxTest, TwoServersShareKeysAndIdempotentAnswers)
{
    start();
    vesk::testing::ApiProcess other(dataFolder, database);
    const std::vector<std::string> headers
        = {"Authorization: Bearer " + key, "Content-Type: application/json", "Idempotency-Key: invoice-9"};
    const std::string body = R"({"to": "+447700900123", "text": "invoice 9"})";
    const auto first = Http("POST", api->url("/v1/messages"), body, headers);
    ASSERT_EQ(first.status, 202);
    const auto there = Http("POST", other.url("/v1/messages"), body, headers);
    EXPECT_EQ(there.body, first.body);
    EXPECT_EQ(there.header("idempotent-replayed"), "true");

    store::db holder(clock, pump);
    ASSERT_NO_FATAL_FAILURE(holdWriteLock(holder));
    std::vector<std::string> next = headers;
    next.back() = "Idempotency-Key: invoice-10";
    const std::string late = R"({"to": "+447700900123", "text": "invoice 10"})";
    auto writing
        = std::async(std::launch::async, [&] { return Http("POST", api->url("/v1/messages"), late, next); });
    // Once the first server has claimed the key (its record is committed) it waits for the table.
    for (int i = 0; i < 100 && number("SELECT COUNT(*) FROM ApiIdempotency WHERE ikKey = 'invoice-10'") != 1;
         ++i)
        std::this_thread::sleep_for(50ms);
    const auto repeat = Http("POST", other.url("/v1/messages"), late, next);
    holder.RollbackTransaction();
    EXPECT_EQ(repeat.problem(), "idempotency-in-flight");
    EXPECT_EQ(writing.get().status, 202);
    EXPECT_EQ(count("msgText = 'invoice 10'"), 1);
}

INSTANTIATE_TEST_SUITE_P(
    , ApiSharedOutboxTest, ::testing::Values(store::EngineKind::Postgres), ::vesk::testing::EngineName);

namespace {

// A TCP connection from a chosen loopback address, for clients that misbehave.
int connectFrom(const std::string& source, int port)
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in local {};
    local.sin_family = AF_INET;
    inet_pton(AF_INET, source.c_str(), &local.sin_addr);
    bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    sockaddr_in server {};
    server.sin_family = AF_INET;
    server.sin_port = htons(static_cast<std::uint16_t>(port));
    inet_pton(AF_INET, "127.0.0.1", &server.sin_addr);
    if (connect(fd, reinterpret_cast<sockaddr*>(&server), sizeof server) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

} // namespace

// What does not depend on the engine runs on the files only.
using ApiServerTest = ApiTest;

// One client sends its header a byte a second, another holds 1,000 idle connections (from 20
// addresses, under the per-address limit), a third opens more than its address may hold: a
// fourth client is still answered, and promptly.
TEST_P(ApiServerTest, SlowAndIdleClientsDoNotStarveOthers)
{
    start();
    std::atomic<bool> done {false};
    std::thread slow([&] {
        const int fd = connectFrom("127.0.0.30", api->port());
        const std::string request
            = "GET /healthz HTTP/1.1\r\nHost: x\r\nX-Slow: " + std::string(20, 'z') + "\r\n\r\n";
        for (std::size_t i = 0; i < request.size() && !done; ++i) {
            send(fd, &request[i], 1, MSG_NOSIGNAL);
            for (int t = 0; t < 10 && !done; ++t)
                std::this_thread::sleep_for(100ms);
        }
        close(fd);
    });
    std::vector<int> idle;
    for (int i = 0; i < 1000; ++i)
        if (const int fd = connectFrom("127.0.0." + std::to_string(40 + i % 20), api->port()); fd >= 0)
            idle.push_back(fd);
    std::vector<int> greedy;
    for (int i = 0; i < 100; ++i)
        if (const int fd = connectFrom("127.0.0.99", api->port()); fd >= 0)
            greedy.push_back(fd);
    std::this_thread::sleep_for(500ms);
    // The server closes what an address holds beyond its limit.
    int closed = 0;
    for (const int fd : greedy) {
        char c;
        if (recv(fd, &c, 1, MSG_DONTWAIT) == 0)
            ++closed;
    }
    const auto asked = std::chrono::steady_clock::now();
    const auto answer = call("POST", "/v1/messages", R"({"to": "+447700900123", "text": "still here"})");
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - asked).count();
    std::printf("%zu idle connections held, %d of 100 over the per-address limit closed; a submit answered "
                "in %.3f s\n",
        idle.size(), closed, seconds);
    EXPECT_EQ(answer.status, 202);
    EXPECT_EQ(idle.size(), 1000u);
    EXPECT_GE(closed, 30);
    done = true;
    slow.join();
    for (const int fd : idle)
        close(fd);
    for (const int fd : greedy)
        close(fd);
}

// TLS from a certificate and a key file, which must be private as the mail password file must.
TEST_P(ApiServerTest, ServesTlsFromAPrivateKeyFileAndRefusesOneOthersCanRead)
{
    const std::string certificate = dir.file("api.crt"), privateKey = dir.file("api.key");
    ASSERT_EQ(std::system(("openssl req -x509 -newkey rsa:2048 -nodes -days 1 -subj /CN=127.0.0.1"
                           " -addext subjectAltName=IP:127.0.0.1 -keyout "
                  + privateKey + " -out " + certificate + " >/dev/null 2>&1")
                              .c_str()),
        0);
    const std::string conf = dir.file("tls.conf");
    vesk::testing::WriteFile(
        conf, "[Api]\nListen=127.0.0.1:0\nCertificate=" + certificate + "\nPrivateKey=" + privateKey + "\n");
    chmod(privateKey.c_str(), 0644);
    const auto [refused, why] = vesk::testing::RunProgram({"/bin/sh", "-c",
        "VESK_SETTINGS=" + conf + " " VESK_BIN_DIR "/vesk-api --data-folder " + dataFolder + " 2>&1"});
    EXPECT_EQ(refused, 1);
    EXPECT_NE(why.find("refused: it is open to other users"), std::string::npos) << why;

    chmod(privateKey.c_str(), 0600);
    start({{"Api/Certificate", certificate}, {"Api/PrivateKey", privateKey}});
    EXPECT_NE(api->log().find("(HTTPS)"), std::string::npos);
    const auto secure
        = Http("GET", api->url("/v1/messages", "https"), "", {"Authorization: Bearer " + key}, certificate);
    EXPECT_EQ(secure.status, 200) << secure.body;
    EXPECT_EQ(Http("GET", api->url("/healthz")).status, 0); // plain HTTP gets no answer
}

INSTANTIATE_TEST_SUITE_P(
    , ApiServerTest, ::testing::Values(store::EngineKind::Sqlite), ::vesk::testing::EngineName);
