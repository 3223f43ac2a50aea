#include "StoreFixture.h"
#include "store/SqlDialect.h"
#include "store/StoreSchema.h"

#include <thread>

namespace vesk::store {
namespace {

using EngineTest = testing::EngineStoreTest;

using ServerTest = EngineTest;

TEST_P(EngineTest, ValuesComeBackAsTheyWentInWrittenOrBound)
{
    const auto lastId = [&] {
        auto rs = h().ExecuteRecordset("SELECT @@IDENTITY AS ID");
        return rs ? RowIdOf(rs->Field("ID")) : -1;
    };
    const std::string awkward
        = "it's \"quoted\" \\ # % -- ;\nline two\r\n caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80";
    ASSERT_TRUE(h().Execute("INSERT INTO Message (msgText, msgSendTime, msgComplete) VALUES ('"
        + Quote(awkward) + "', #05/Jan/2027 10:30:00#, TRUE)"))
        << h().LastError();
    const RowId written = lastId();
    ASSERT_EQ(h().ExecuteBound("INSERT INTO Message (msgText, msgSendTime, msgComplete) VALUES (?, ?, FALSE)",
                  {awkward, StoredDateText(DateTime::fromParts(2027, 1, 5, 10, 30, 0))}),
        1)
        << h().LastError();
    const RowId bound = lastId();
    EXPECT_EQ(bound, written + 1);
    for (RowId id : {written, bound}) {
        SCOPED_TRACE(id);
        EXPECT_EQ(TextOf(column(id, "msgText")), awkward);
        EXPECT_EQ(DateOf(column(id, "msgSendTime")), DateTime::fromParts(2027, 1, 5, 10, 30, 0));
        EXPECT_EQ(BoolOf(column(id, "msgComplete")), id == written);
        EXPECT_FALSE(column(id, "msgExpires").has_value());
    }

    EXPECT_TRUE(log.lines.empty());

    // Raw modem bytes that are not UTF-8 are kept with the bad bytes replaced, and said once.
    // What was sent, what is stored.
    for (const auto& [sent, stored] : {std::pair<std::string, std::string> {"a\xFF-b", "a\xEF\xBF\xBD-b"},
             {"\xC3", "\xEF\xBF\xBD"}, {"\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"}})
        EXPECT_EQ(TextOf(column(queue(sent), "msgText")), stored);
    EXPECT_EQ(log.count("Text that was not valid UTF-8 is stored with its bad bytes replaced"), 1);
}

TEST_P(ServerTest, ClaimOutlastsARowLockedByAnotherSessionAndALostConnection)
{
    const RowId id = queue();
    db other(clock, pump);
    other.setFilename(outbox.database);
    ASSERT_TRUE(other.OpenDatabase(mode::kReadWriteShared));
    ASSERT_TRUE(other.BeginTransaction());
    ASSERT_TRUE(other.Execute("UPDATE Message SET msgText = msgText WHERE msgID = " + std::to_string(id)));

    EXPECT_FALSE(TakeOwnership(outbox, id, "AGENT01"));
    EXPECT_EQ(clock.sleeps(), 3);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].text.rfind("TakeOwnership(" + std::to_string(id) + " : GE:0x80004005", 0), 0u);
    EXPECT_NE(log.lines[0].text.find("SQL:3260 - canceling statement due to lock timeout [55P03]"),
        std::string::npos)
        << log.lines[0].text;

    ASSERT_TRUE(other.CommitTransaction());

    const auto cut = [&] {
        ASSERT_TRUE(other.Execute("SELECT pg_terminate_backend(pid) FROM pg_stat_activity WHERE pid <> "
                                  "pg_backend_pid() AND datname = current_database()"));
    };
    cut();
    // The claim's fate is unknown to this console: it looks, finds the row not its own, and says so.
    EXPECT_FALSE(TakeOwnership(outbox, id, "AGENT01"));
    EXPECT_TRUE(log.has("TakeOwnership(" + std::to_string(id)
        + ") : the claim was interrupted; the row is not this console's"));
    EXPECT_TRUE(h().IsConnected());
    EXPECT_TRUE(TakeOwnership(outbox, id, "AGENT01"));

    cut();
    EXPECT_EQ(ReleaseOrphans(outbox), 0);
    EXPECT_TRUE(h().ConnectionLost());
    EXPECT_TRUE(h().OpenDatabase(mode::kReadWriteShared));
    EXPECT_TRUE(log.has("Connection to " + h().Describe() + " restored"));
    for (const auto& line : log.lines)
        EXPECT_EQ(line.text.find("user="), std::string::npos) << line.text;
}

TEST_P(ServerTest, ConsolesStartingTogetherCreateTheOutboxOnce)
{
    const std::string fresh = testing::PgServer::Shared().CreateDatabase();
    constexpr int kConsoles = 4;
    std::vector<std::string> errors(kConsoles);
    // Another console is creating it: it holds the creation lock well past the claims' lock wait, and
    // each console waits for it however long that is.
    db first(clock, pump);
    first.setFilename(fresh);
    ASSERT_TRUE(first.OpenDatabase(mode::kReadWriteShared) && first.BeginTransaction()
        && first.Execute("SELECT pg_advisory_xact_lock(7340218)"))
        << first.LastError();
    std::vector<std::thread> consoles;
    for (int i = 0; i < kConsoles; ++i)
        consoles.emplace_back([&, i] {
            testing::FakeClock ownClock;
            testing::ScriptedPump ownPump;
            db creator(ownClock, ownPump);
            creator.setFilename(fresh);
            std::string why;
            if (!creator.OpenDatabase(mode::kReadWriteShared) || !CreatePgStore(creator, why))
                errors[i] = why + " " + creator.LastError();
        });
    std::this_thread::sleep_for(std::chrono::milliseconds(20 * first.LockWaitMs));
    first.RollbackTransaction();
    for (auto& c : consoles)
        c.join();
    for (const auto& e : errors)
        EXPECT_EQ(e, "");
    EXPECT_TRUE(PgStoreIsCurrent(first));
}

VESK_ON_BOTH_ENGINES(EngineTest);
VESK_ON_SERVER_ONLY(ServerTest);

} // namespace
} // namespace vesk::store
