#include "ConsoleFixture.h"
#include "PgServer.h"
#include "store/Lifecycle.h"

#include <set>

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
        ctx->outbox.handle->StatementObserver
            = [this](const std::string& sql, std::chrono::nanoseconds) { statements.insert(sql); };
    }

    std::unique_ptr<store::db> server()
    {
        auto d = std::make_unique<store::db>(clock, pump);
        d->setFilename(database);
        EXPECT_TRUE(d->OpenDatabase(store::mode::kReadWriteShared)) << d->LastError();
        return d;
    }

    std::string database;
    std::set<std::string> statements;
};

TEST_F(ServerOutboxTest, CreatedOnTheServerAndEveryMessageSentOnceWithoutScanningTheOutbox)
{
    auto d = server();
    ASSERT_TRUE(d->Execute("INSERT INTO Message (msgAddress, msgText, msgSendTime) SELECT '+4477009' || (10000 + i),"
                           " 'later', '2099-01-01 00:00:00' FROM generate_series(1, 300) AS i"));
    for (int i = 0; i < 3; ++i)
        ASSERT_TRUE(d->Execute("INSERT INTO Message (msgAddress, msgText, msgSendTime) VALUES ('+44770090000"
            + std::to_string(i) + "', 'now', #" + Format(clock.now(), "dd/mmm/yyyy hh:nn:ss") + "#)"));
    pass();
    pass();
    EXPECT_EQ(ctx->sentCount, 3);
    auto rs = d->OpenDynaset("SELECT COUNT(*) AS T FROM Message WHERE msgStatus IN (3, 5) AND msgComplete = TRUE"
                             " AND msgText = 'now'");
    EXPECT_EQ(TextOf(rs->Field("T")), "3");
    clock.advance(std::chrono::seconds(2));
    EXPECT_EQ(store::UpdateQueueSize(ctx->outbox), 300);
    EXPECT_TRUE(logged(icon::kInfo, "DB is revision 4"));

    // A plan may scan or sort the outbox only where no index serves it.
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

} // namespace
} // namespace vesk::testing
