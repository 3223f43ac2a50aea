#include "StoreFixture.h"
#include "store/db.h"

#include <filesystem>

namespace vesk::store {
namespace {

class DbTest : public ::testing::Test
{
protected:
    DbTest()
    {
        std::filesystem::copy_file(testing::TemplateFolder() + kOutboxName, outboxPath);
        database.setFilename(outboxPath);
        database.LockWaitMs = 0;
    }

    testing::TempDir dir;
    std::string outboxPath = dir.file(kOutboxName);
    testing::FakeClock clock;
    testing::ScriptedPump pump;
    db database {clock, pump};
};

TEST_F(DbTest, MissingOrForeignFileFailsAtOnceWithoutWaitingAndIsNotCompacted)
{
    const std::string text = "this is not a database, just some text long enough to look at......";
    testing::WriteFile(dir.file("notes.mdb"), text);
    for (const std::string name : {"missing.mdb", "notes.mdb", "no/such/folder/SMSMessages.mdb"}) {
        SCOPED_TRACE(name);
        db other(clock, pump);
        other.setFilename(dir.file(name));
        EXPECT_FALSE(other.OpenDatabase(mode::kReadWriteShared));
        EXPECT_TRUE(other.IsError());
        EXPECT_EQ(other.LastError().rfind("GE:0x80004005, NE:0x", 0), 0u) << other.LastError();
        EXPECT_FALSE(other.Compact());
        EXPECT_FALSE(other.IsConnected());
    }
    EXPECT_EQ(clock.sleeps(), 0);
    EXPECT_EQ(pump.calls(), 0);
    EXPECT_EQ(testing::ReadFile(dir.file("notes.mdb")), text); // left untouched, compaction and all
}

TEST_F(DbTest, LockConflictIsTriedThreeTimesWithGrowingWaitsAndEventsDuringAWaitMayEndIt)
{
    db holder(clock, pump);
    holder.setFilename(outboxPath);
    ASSERT_TRUE(holder.OpenDatabase(mode::kReadWriteExclusive)) << holder.LastError();

    const auto before = clock.elapsed();
    EXPECT_FALSE(database.OpenDatabase(mode::kReadWriteShared));
    EXPECT_EQ(clock.sleeps(), 3);
    EXPECT_EQ(pump.calls(), 3 * 7); // events run before and after every wait
    EXPECT_GE(clock.elapsed() - before, std::chrono::milliseconds(10 + 100 + 250));
    EXPECT_LE(clock.elapsed() - before, std::chrono::milliseconds(3 * 1000));
    EXPECT_NE(database.LastError().find(", SQL:3260 - "), std::string::npos) << database.LastError();

    // A reader holding the file alone blocks as well, until an event run during the wait lets it go.
    holder.CloseDatabase();
    ASSERT_TRUE(holder.OpenDatabase(mode::kReadExclusive));
    pump.at(pump.calls() + 2, [&] { holder.CloseDatabase(); });
    EXPECT_TRUE(database.OpenDatabase(mode::kReadWriteShared)) << database.LastError();
    EXPECT_EQ(clock.sleeps(), 3 + 1);
    EXPECT_EQ(database.LastError(), "0");
    EXPECT_FALSE(database.IsError()) << "an open that worked on a retry leaves no error";
}

TEST_F(DbTest, OtherErrorsFailAtOnceAndSayWhyAsDoWritesInReadModeAndAnythingOnAClosedHandle)
{
    ASSERT_TRUE(database.OpenDatabase(mode::kReadShared));
    EXPECT_EQ(database.LastError(), "0");
    EXPECT_TRUE(database.OpenDynaset("SELECT * FROM System"));
    EXPECT_FALSE(database.Execute("UPDATE System SET sysTariff = 9"));
    EXPECT_TRUE(database.IsError());
    database.CloseDatabase();

    ASSERT_TRUE(database.OpenDatabase(mode::kReadWriteShared));
    // A statement and what its error says.
    const std::pair<std::string, std::string> cases[] = {{"SELEC * FROM Message", "SQL:3000 - "},
        {"UPDATE NoSuchTable SET x = 1", "SQL:3000 - no such table: NoSuchTable"},
        {"INSERT INTO Message (msgID) VALUES (1)", "SQL:3022 - "},
        // A value that escaped its quotes cannot add a statement.
        {"UPDATE Message SET msgStatus = 2 WHERE msgID = 1; DELETE FROM Message",
            "SQL:3000 - Only one statement"},
        {std::string("UPDATE Message SET msgStatus = 2 WHERE msgID = 1;\0DELETE FROM Message", 69),
            "SQL:3000 - Only one"}};
    ASSERT_TRUE(database.Execute("INSERT INTO Message (msgID) VALUES (1)"));
    for (const auto& [sql, state] : cases) {
        SCOPED_TRACE(sql);
        EXPECT_FALSE(database.Execute(sql));
        EXPECT_EQ(database.LastError().rfind("GE:0x80004005, NE:0x", 0), 0u);
        EXPECT_NE(database.LastError().find(state), std::string::npos) << database.LastError();
    }
    EXPECT_EQ(clock.sleeps(), 0);
    EXPECT_EQ(TextOf(database.OpenDynaset("SELECT msgStatus FROM Message WHERE msgID = 1")->Field(0)), "0");
    EXPECT_EQ(database.ExecuteRecordResult("UPDATE Message SET msgStatus = 1 WHERE msgID = 12345"), 0);
    EXPECT_FALSE(database.IsError());

    database.CloseDatabase(); // a closed handle's error text: the closed-outbox lifecycle checks
    EXPECT_EQ(database.ExecuteRecordResult("DELETE FROM Message"), 0);
    EXPECT_FALSE(database.OpenDynaset("SELECT * FROM System"));
    EXPECT_FALSE(database.TableNames());
    EXPECT_EQ(clock.sleeps(), 0);
}

TEST_F(DbTest, DialectStatementsRunAsWritten)
{
    ASSERT_TRUE(database.OpenDatabase(mode::kReadWriteShared));
    // Dates across a year end and a month name order that text comparison of the literal would get wrong.
    const char* times[]
        = {"28/Dec/2026 09:00:00", "05/Jan/2027 10:30:00", "01/Apr/2027 00:00:00", "15/Aug/26 23:59:59"};
    for (const char* t : times)
        ASSERT_TRUE(database.Execute(
            std::string("INSERT INTO Message (msgText, msgSendTime, msgComplete) VALUES ('x', #") + t
            + "#, FALSE)"))
            << database.LastError();
    auto rs = database.OpenDynaset("SELECT COUNT(*) AS T FROM Message WHERE msgSendTime < #01/Jan/2027#");
    ASSERT_TRUE(rs);
    EXPECT_EQ(TextOf(rs->Field("T")), "2");

    auto top = database.OpenDynaset(
        "SELECT TOP 2 * FROM qry_Pending_Messages WHERE msgSendTime <= #31/Dec/2030 00:00:00#");
    ASSERT_TRUE(top) << database.LastError();
    EXPECT_EQ(top->RecordCount(), 2u);
    EXPECT_EQ(DateOf(top->Field("msgSendTime")), DateTime::fromParts(2026, 8, 15, 23, 59, 59));

    EXPECT_EQ(
        database.ExecuteRecordResult("UPDATE Message SET Message.msgComplete = TRUE WHERE [msgID] = 1"), 1);
    auto pending = database.OpenDynaset("SELECT COUNT(*) AS T FROM qry_Pending_Messages");
    EXPECT_EQ(TextOf(pending->Field("T")), "3");
}

// A handle keeps the statements it ran, to run them again without preparing them: a kept statement
// holds no lock and none of its last values, a failed one leaves nothing behind, and each sees
// the tables as they are now.
TEST_F(DbTest, StatementsRunAgainHoldNoLockNorLastValuesAndSeeTheTablesAsTheyAreNow)
{
    ASSERT_TRUE(database.OpenDatabase(mode::kReadWriteShared));
    const std::string insert = "INSERT INTO Inbox (msgText, msgAddress) VALUES (?, ?)";
    for (const char* text : {"one", "two", "three"})
        ASSERT_EQ(database.ExecuteBound(insert, {std::string(text), std::string("+447700900001")}), 1);
    ASSERT_EQ(database.ExecuteBound(insert, {std::string("no address")}), 1);
    const std::string select = "SELECT * FROM Inbox WHERE msgText = ?";
    auto rs = database.OpenBound(select, {std::string("no address")});
    ASSERT_TRUE(rs && !rs->IsEOF());
    EXPECT_FALSE(rs->Field("msgAddress").has_value()) << "a value left out is NULL, not the last one";

    const std::string numbered = "INSERT INTO Message (msgID) VALUES (?)";
    ASSERT_EQ(database.ExecuteBound(numbered, {std::string("1")}), 1);
    EXPECT_EQ(database.ExecuteBound(numbered, {std::string("1")}), -1);
    EXPECT_EQ(database.ExecuteBound(numbered, {std::string("2")}), 1) << database.LastError();

    // Another program checkpoints the whole log and adds a column while this handle keeps its
    // statements.
    db other(clock, pump);
    other.setFilename(outboxPath);
    other.LockWaitMs = 0;
    ASSERT_TRUE(other.OpenDatabase(mode::kReadWriteShared));
    auto checkpoint = other.OpenBound("PRAGMA wal_checkpoint(TRUNCATE)", {});
    ASSERT_TRUE(checkpoint && !checkpoint->IsEOF()) << other.LastError();
    EXPECT_EQ(TextOf(checkpoint->Field(0)), "0") << "no reader holds an old snapshot";
    ASSERT_TRUE(other.Execute("ALTER TABLE Inbox ADD COLUMN inbNote TEXT"));
    ASSERT_TRUE(other.Execute("UPDATE Inbox SET inbNote = 'seen'"));
    rs = database.OpenBound(select, {std::string("two")});
    ASSERT_TRUE(rs && !rs->IsEOF()) << database.LastError();
    EXPECT_EQ(TextOf(rs->Field("inbNote")), "seen");
    EXPECT_EQ(clock.sleeps(), 0);
}

TEST_F(DbTest, RecordsetsReadAndWriteByNameAndAddRowsTheDatabaseNumbers)
{
    ASSERT_TRUE(database.OpenDatabase(mode::kReadWriteShared));
    auto rs = database.OpenDynaset("SELECT * FROM Forward", kDynamic, kOptimistic);
    ASSERT_TRUE(rs && rs->IsUpdatable());
    ASSERT_TRUE(rs->AddNew());
    EXPECT_FALSE(rs->SetField("fwdID", std::string("77"))); // numbered by the database
    EXPECT_FALSE(rs->SetField("noSuchColumn", std::string("x")));
    EXPECT_TRUE(rs->SetField("FWDSOURCE", std::string("+44*")));
    EXPECT_TRUE(rs->SetField("fwdKeyword", std::nullopt));
    ASSERT_TRUE(rs->Update()) << database.LastError();
    EXPECT_EQ(TextOf(rs->Field("fwdID")), "1");

    auto again = database.OpenDynaset("SELECT * FROM Forward WHERE fwdID = 1", kDynamic, kOptimistic);
    ASSERT_TRUE(again && !again->IsEOF());
    EXPECT_FALSE(again->Field("fwdKeyword").has_value());
    EXPECT_TRUE(again->SetField("fwdDestination", std::string("+4412")));
    ASSERT_TRUE(again->Update());
    auto saved = database.OpenDynaset("SELECT fwdDestination FROM Forward WHERE fwdSource = '+44*'");
    EXPECT_EQ(TextOf(saved->Field(0)), "+4412");
}

TEST_F(DbTest, CommittedRowsSurviveACompactAndRolledBackOnesNeverArrive)
{
    ASSERT_TRUE(database.OpenDatabase(mode::kReadWriteShared));
    ASSERT_TRUE(database.BeginTransaction());
    database.Execute("INSERT INTO Inbox (msgText) VALUES ('rolled back')");
    database.RollbackTransaction();
    ASSERT_TRUE(database.BeginTransaction());
    for (int i = 0; i < 200; ++i)
        database.Execute("INSERT INTO Inbox (msgText) VALUES ('" + std::string(500, 'x') + "')");
    ASSERT_TRUE(database.CommitTransaction());
    EXPECT_FALSE(database.CommitTransaction()); // nothing to commit
    database.Execute("DELETE FROM Inbox WHERE inbID > 10");
    database.CloseDatabase();
    const auto before = std::filesystem::file_size(outboxPath);
    ASSERT_TRUE(database.OpenDatabase(mode::kReadWriteShared));
    EXPECT_TRUE(database.Compact());
    EXPECT_TRUE(database.IsConnected());
    EXPECT_EQ(database.LastError(), "0");
    database.CloseDatabase();
    EXPECT_LT(std::filesystem::file_size(outboxPath), before);
    EXPECT_FALSE(std::filesystem::exists(dir.file("SMSMessages.cmp")));
    ASSERT_TRUE(database.OpenDatabase(mode::kReadShared));
    auto rs = database.OpenDynaset("SELECT COUNT(*) AS T FROM Inbox WHERE msgText LIKE 'x%'"); // all ten
    EXPECT_EQ(TextOf(rs->Field("T")), "10");
}

} // namespace
} // namespace vesk::store
