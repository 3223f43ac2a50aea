#include "ConsoleFixture.h"
#include "routing/NameCache.h"
#include "store/DBMessage.h"
#include "store/Lifecycle.h"

#include <sqlite3.h>

#include <functional>

namespace vesk::testing {
namespace {

// The engine's plan of a statement, one line per step.
std::vector<std::string> planOf(sqlite3* connection, const std::string& sql)
{
    std::vector<std::string> steps;
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(connection, ("EXPLAIN QUERY PLAN " + sql).c_str(), -1, &s, nullptr) != SQLITE_OK)
        return {"cannot explain: " + std::string(sqlite3_errmsg(connection))};
    while (sqlite3_step(s) == SQLITE_ROW)
        steps.emplace_back(reinterpret_cast<const char*>(sqlite3_column_text(s, 3)));
    sqlite3_finalize(s);
    return steps;
}

using QueryPlanTest = ConsoleFixture;

TEST_F(QueryPlanTest, NoStatementAMessageMakesReadsTheWholeOutbox)
{
    start();
    traceOutbox();
    // A backlog that is not due yet, a few due messages, and rows waiting for reports and expiry.
    sql("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < 500) INSERT INTO Message "
        "(msgAddress, msgText, msgSendTime, msgExpires) SELECT '+4477009' || (10000 + i), 'later', "
        "'2099-01-01 00:00:00', '2099-02-01 00:00:00' FROM n");
    for (int i = 0; i < 3; ++i)
        queue("+447700900001", "now");
    pass();
    pass();
    ASSERT_EQ(ctx->sentCount, 3);

    // What a cycle on the simulator did not reach by itself.
    store::Outbox& outbox = ctx->outbox;
    ASSERT_TRUE(outbox.handle->OpenDatabase(store::mode::kReadWriteShared));
    const std::pair<const char*, std::function<void()>> operations[] = {
        {"delivery report",
            [&] {
                store::DBMessage m(*outbox.handle, clock, ctx->app);
                m.Address = "+447700900001";
                m.Reference = 1;
                m.LoadByPendingReference("");
            }},
        {"name-cache lookup", [&] { routing::LookupFriendlyName(outbox, "+447700900001"); }},
        {"inbound save", [&] { store::SaveInbound(outbox, "+447700900001", "hello", clock.now()); }},
        {"queueing",
            [&] { store::InsertMessage(outbox, "Ann", "+447700900002", "hi", clock.now(), "HOST"); }},
        {"housekeeping",
            [&] {
                outbox.settings.SMSRemoveAfter = 1;
                outbox.settings.SMSArchive = true;
                outbox.nextHousekeeping = clock.now().addMinutes(-1);
                clock.advance(std::chrono::hours(24 * 3));
                EXPECT_TRUE(store::Housekeeping(outbox));
            }},
    };
    for (const auto& [what, run] : operations) {
        SCOPED_TRACE(what);
        run();
    }
    outbox.handle->CloseDatabase();

    sqlite3* explain = nullptr;
    ASSERT_EQ(sqlite3_open_v2(
                  (dataFolder + "/" + store::kOutboxName).c_str(), &explain, SQLITE_OPEN_READWRITE, nullptr),
        SQLITE_OK);
    const std::string archive = dataFolder + "/" + store::kArchiveName;
    sqlite3_exec(
        explain, ("ATTACH DATABASE '" + archive + "' AS vesk_in").c_str(), nullptr, nullptr, nullptr);
    int explained = 0;
    for (const std::string& sql : statements) {
        const std::string verb = sql.substr(0, sql.find(' '));
        if (verb != "SELECT" && verb != "INSERT" && verb != "UPDATE" && verb != "DELETE")
            continue;
        SCOPED_TRACE(sql);
        ++explained;
        for (const std::string& step : planOf(explain, sql)) {
            EXPECT_NE(step.rfind("cannot", 0), 0u) << step;
            EXPECT_NE(step.rfind("SCAN Message", 0), 0u) << step;
            EXPECT_NE(step.rfind("SCAN Inbox", 0), 0u) << step;
            if (sql.find("Message") != std::string::npos) {
                EXPECT_EQ(step.find("TEMP B-TREE"), std::string::npos) << step;
            }
        }
    }
    sqlite3_close(explain);
    EXPECT_GE(explained, 20);
}

} // namespace
} // namespace vesk::testing
