// The outbox on a PostgreSQL server, and the plans of what the engine asks of the outbox.
#include "ConsoleFixture.h"
#include "PgServer.h"
#include "routing/NameCache.h"
#include "store/DBMessage.h"
#include "store/Lifecycle.h"
#include "store/StoreSchema.h"

#include <sqlite3.h>

#include <functional>

namespace vesk::testing {
namespace {

// A console whose outbox, archive and contacts live on the test's PostgreSQL server.
class ServerOutboxTest : public ConsoleFixture
{
protected:
    void SetUp() override
    {
        VESK_REQUIRE_POSTGRES();
        database = PgServer::Shared().CreateDatabase();
        settings.set("Setup", "Database", database);
        ASSERT_NO_FATAL_FAILURE(start());
        traceOutbox();
    }

    std::unique_ptr<store::db> server()
    {
        auto d = std::make_unique<store::db>(clock, pump);
        d->setFilename(database);
        EXPECT_TRUE(d->OpenDatabase(store::mode::kReadWriteShared)) << d->LastError();
        return d;
    }
};

// Another program holding a row (an open transaction that touched it) does not hold up the pass:
// the row is passed over and sent on a later pass, once it is free.
TEST_F(ServerOutboxTest, CreatedOnTheServerEveryMessageSentOnceALockedRowLaterAndNoScanOfTheOutbox)
{
    sql("INSERT INTO Message (msgAddress, msgText, msgSendTime) SELECT '+4477009' || (10000 + i), 'later',"
        " '2099-01-01 00:00:00' FROM generate_series(1, 300) AS i");
    for (int i = 0; i < 3; ++i)
        queue("+44770090000" + std::to_string(i), "now");
    auto other = server();
    ASSERT_TRUE(other->BeginTransaction());
    ASSERT_TRUE(other->Execute("UPDATE Message SET msgText = 'held' WHERE msgID = (SELECT MIN(msgID) FROM "
                               "Message WHERE msgText = 'now')"));
    pass();
    EXPECT_EQ(ctx->sentCount, 2);
    EXPECT_FALSE(logged(icon::kError, ""));
    ASSERT_TRUE(other->CommitTransaction());
    pass();
    EXPECT_EQ(ctx->sentCount, 3);
    EXPECT_EQ(
        column("SELECT msgText FROM Message WHERE msgStatus IN (3, 5) AND msgComplete = TRUE ORDER BY msgID"),
        (std::vector<std::string> {"held", "now", "now"}));
    clock.advance(std::chrono::seconds(2));
    EXPECT_EQ(store::UpdateQueueSize(ctx->outbox), 300);
    EXPECT_TRUE(logged(icon::kInfo, "DB is revision 4"));
    EXPECT_TRUE(logged(icon::kInfo, "Outbox database is database t")); // named, without a password

    // A plan may scan or sort the outbox only where no index serves it.
    auto d = server();
    ASSERT_TRUE(d->Execute("ANALYZE"));
    ASSERT_TRUE(d->Execute("SET enable_seqscan = off"));
    ASSERT_TRUE(d->Execute("SET enable_sort = off"));
    int explained = 0;
    for (const std::string& sql : statements) {
        const std::string verb = sql.substr(0, sql.find(' '));
        if ((verb != "SELECT" && verb != "UPDATE" && verb != "DELETE") || sql.find('$') != std::string::npos
            || sql.find("essage") == std::string::npos)
            continue;
        SCOPED_TRACE(sql);
        ++explained;
        auto plan = d->OpenDynaset("EXPLAIN " + sql);
        ASSERT_TRUE(plan) << d->LastError();
        for (; !plan->IsEOF(); plan->MoveNext()) {
            const std::string step = TextOf(plan->Field(0));
            EXPECT_EQ(step.find("Seq Scan on message"), std::string::npos) << step;
            EXPECT_EQ(step.find("Sort"), std::string::npos) << step;
        }
    }
    EXPECT_GE(explained, 6);
}

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
            // The daily recount of the pending counter counts the pending rows over their own index.
            if (sql.find(" AS counted") == std::string::npos
                || step != "SCAN Message USING INDEX ixMessageDue") {
                EXPECT_NE(step.rfind("SCAN Message", 0), 0u) << step;
            }
            EXPECT_NE(step.rfind("SCAN Inbox", 0), 0u) << step;
            if (sql.find("Message") != std::string::npos) {
                EXPECT_EQ(step.find("TEMP B-TREE"), std::string::npos) << step;
            }
        }
    }
    sqlite3_close(explain);
    EXPECT_GE(explained, 20);
}

// A connection string naming a primary and a standby with target_session_attrs=read-write: when
// the primary stops and the standby is promoted (here: made writable), the next cycle goes on
// against it, without a restart.
class ServerFailover : public ConsoleFixture
{
protected:
    void admin(PgServer& server, const std::string& statement)
    {
        store::db d(clock, pump);
        d.setFilename(server.Connection("postgres"));
        ASSERT_TRUE(d.OpenDatabase(store::mode::kReadWriteShared)
            && d.Execute("SET default_transaction_read_only = off") && d.Execute(statement)
            && d.Execute("SELECT pg_reload_conf()"))
            << d.LastError();
    }
    // The outbox on the server, with one due message.
    void create(PgServer& server, const std::string& text)
    {
        admin(server, "CREATE DATABASE " + name);
        store::db d(clock, pump);
        d.setFilename(server.Connection(name));
        std::string why;
        ASSERT_TRUE(d.OpenDatabase(store::mode::kReadWriteShared) && store::CreatePgStore(d, why)
            && d.Execute("INSERT INTO Message (msgAddress, msgText, msgSendTime) VALUES ('+447700900001', '"
                + text + "', #" + Format(clock.now(), "dd/mmm/yyyy hh:nn:ss") + "#)"))
            << why << d.LastError();
    }

    std::string name = "failover" + std::to_string(getpid());
};

TEST_F(ServerFailover, TheConsoleCarriesOverToThePromotedStandby)
{
    VESK_REQUIRE_SERVER(PgServer::Own());
    VESK_REQUIRE_SERVER(PgServer::Standby());
    create(PgServer::Own(), "before");
    create(PgServer::Standby(), "after"); // what the standby copied from the primary
    admin(PgServer::Standby(), "ALTER SYSTEM SET default_transaction_read_only = on");
    settings.set("Setup", "Database",
        "host=" + PgServer::Own().Folder() + "," + PgServer::Standby().Folder() + " user=vesk dbname=" + name
            + " target_session_attrs=read-write");
    ASSERT_NO_FATAL_FAILURE(start());
    pass();
    EXPECT_EQ(ctx->sentCount, 1);

    ASSERT_TRUE(PgServer::Own().Control("-m fast stop"));
    admin(PgServer::Standby(), "ALTER SYSTEM SET default_transaction_read_only = off"); // promoted
    pass();
    pass(std::chrono::seconds(6));
    EXPECT_EQ(ctx->sentCount, 2);
    std::string texts;
    for (const auto& line : sim.control("messages"))
        texts += SimProcess::field(line, "text") + ";";
    EXPECT_EQ(texts, "before;after;");
}

} // namespace
} // namespace vesk::testing
