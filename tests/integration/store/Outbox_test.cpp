#include "StoreFixture.h"

namespace vesk::store {
namespace {

using namespace std::chrono_literals;

class OutboxTest : public testing::EngineStoreTest
{
protected:
    void SetUp() override
    {
        StoreTest::SetUp();
        if (outbox.handle)
            h().CloseDatabase();
    }
    std::string file() const { return onServer() ? outbox.database : dir.file(kOutboxName); }
};

using OutboxFileTest = OutboxTest;

TEST_P(OutboxTest, SettingsSurviveASaveAndLoadAnEmptySystemTableIsRebuiltAndNullsReadAsZero)
{
    SystemSettings s;
    s.SMSMaxMessageSize = 459;
    s.SMSRemoveAfter = 7;
    s.SMSArchive = true;
    s.SMSSaveInbound = false;
    s.StandardReply = "  We've got it - \"thanks\" #1 ✓  ";
    s.Tariff = 3;
    s.ValidityPeriodInMinutes = 2880;
    s.SMSForwarding = true;
    for (const bool emptied : {false, true}) {
        SCOPED_TRACE(emptied);
        if (emptied) {
            ASSERT_TRUE(h().OpenDatabase(mode::kReadWriteShared));
            ASSERT_TRUE(h().Execute("DELETE FROM System"));
            h().CloseDatabase();
            SystemSettings kept = s;
            EXPECT_FALSE(LoadSystemSettings(file(), kept, clock, pump, log));
            EXPECT_EQ(kept.StandardReply, s.StandardReply); // unchanged
        }
        ASSERT_TRUE(SaveSystemSettings(file(), s, clock, pump));
        SystemSettings loaded;
        ASSERT_TRUE(LoadSystemSettings(file(), loaded, clock, pump, log));
        EXPECT_EQ(std::tuple(loaded.DBVersion, loaded.SMSMaxMessageSize, loaded.SMSRemoveAfter,
                      loaded.SMSArchive, loaded.SMSSaveInbound, loaded.StandardReply, loaded.Tariff,
                      loaded.ValidityPeriodInMinutes, loaded.SMSForwarding),
            std::tuple(4, 459, 7, true, false, "We've got it - \"thanks\" #1 ✓", 3, 2880, true));
        EXPECT_EQ(scalarClosed("SELECT COUNT(*) FROM System"), 1);
        if (!emptied) {
            EXPECT_TRUE(log.lines.empty());
        }
    }

    // NULLs, and junk where the column takes it, read as zero and empty.
    ASSERT_TRUE(h().OpenDatabase(mode::kReadWriteShared));
    ASSERT_TRUE(h().Execute(
        "UPDATE System SET sysSMSRemoveAfter = NULL, sysStandardReply = NULL, sysSMSArchive = NULL, "
        "sysValidityPeriodInMinutes = "
        + std::string(onServer() ? "NULL" : "'junk'"))); // a server's typed column takes no junk
    h().CloseDatabase();
    ASSERT_TRUE(LoadSystemSettings(file(), s, clock, pump, log));
    EXPECT_EQ(s.SMSRemoveAfter, 0);
    EXPECT_EQ(s.StandardReply, "");
    EXPECT_FALSE(s.SMSArchive);
    EXPECT_EQ(s.ValidityPeriodInMinutes, 0);
}

TEST_P(OutboxTest, SettingsChangedElsewhereArriveWithinTheHour)
{
    SystemSettings changed = outbox.settings;
    changed.Tariff = 42;
    ASSERT_TRUE(SaveSystemSettings(file(), changed, clock, pump));

    EXPECT_FALSE(HourlyRefresh(outbox, dir.path())); // first call only starts the hour
    clock.advance(59min + 59s);
    EXPECT_FALSE(HourlyRefresh(outbox, dir.path()));
    EXPECT_NE(outbox.settings.Tariff, 42);
    clock.advance(1s);
    EXPECT_TRUE(HourlyRefresh(outbox, dir.path()));
    EXPECT_EQ(outbox.settings.Tariff, 42);
    ASSERT_TRUE(outbox.handle);
    EXPECT_FALSE(outbox.handle->IsConnected());
    EXPECT_EQ(outbox.handle->Filename(), file());
    clock.advance(30min);
    EXPECT_FALSE(HourlyRefresh(outbox, dir.path()));
    EXPECT_TRUE(log.lines.empty());
}

TEST_P(OutboxFileTest, AnOutboxOfTheEarlierTemplateIsBroughtUpToDateAndOneHeldElsewhereFailsTheLoad)
{
    const auto objects = [&] {
        return scalarClosed("SELECT COUNT(*) FROM sqlite_master WHERE type IN ('index', 'trigger', 'table')");
    };
    const std::int32_t current = objects();
    ASSERT_TRUE(h().OpenDatabase(mode::kReadWriteShared));
    // What the earlier template made: no counter, the pending view over COALESCE(msgComplete, 0),
    // and rows queued by programs that left msgComplete NULL.
    for (const char* statement :
        {"DROP TABLE PendingCounter", "DROP TRIGGER trPendingInsert", "DROP TRIGGER trPendingUpdate",
            "DROP TRIGGER trMessageCompleteInsert", "DROP INDEX ixMessageDue", "DROP INDEX ixMessageReport",
            // Made before the HTTP API: none of its tables.
            "DROP TABLE ApiKey", "DROP TABLE ApiMessage", "DROP TABLE ApiIdempotency",
            "DROP INDEX ixMessageStatusID", "CREATE INDEX ixMessageReference ON Message (msgReference)",
            "DROP VIEW qry_Pending_Messages",
            "CREATE VIEW qry_Pending_Messages AS SELECT * FROM Message WHERE msgStatus = 0 AND "
            "COALESCE(msgComplete, 0) = 0 ORDER BY msgSendTime, msgID",
            "INSERT INTO Message (msgText, msgSendTime, msgComplete) VALUES ('a', #01/Mar/2026#, NULL)",
            "INSERT INTO Message (msgText, msgSendTime, msgComplete) VALUES ('b', #02/Mar/2026#, NULL)",
            "INSERT INTO Message (msgText, msgSendTime, msgComplete, msgStatus) VALUES ('c', #02/Mar/2026#, "
            "1, 3)"})
        ASSERT_TRUE(h().Execute(statement)) << statement << ": " << h().LastError();
    h().CloseDatabase();
    ASSERT_NE(objects(), current);

    ASSERT_TRUE(OpenOutbox(outbox, dir.path(), true));
    EXPECT_TRUE(log.has("Outbox brought up to date: pending counter and indexes added"));
    EXPECT_EQ(objects(), current);
    EXPECT_EQ(scalarClosed("SELECT COUNT(*) FROM Message WHERE msgComplete IS NULL"), 0);
    EXPECT_EQ(UpdateQueueSize(outbox), 2);
    EXPECT_EQ(
        scalarClosed("SELECT COUNT(*) FROM qry_Pending_Messages WHERE msgSendTime <= #05/Mar/2026#"), 2);

    ASSERT_TRUE(OpenOutbox(outbox, dir.path(), true)); // once is enough
    EXPECT_EQ(log.lines.size(), 1u);

    // Held by another program, the settings load fails with the reason and changes nothing.
    db holder(clock, pump);
    holder.setFilename(file());
    ASSERT_TRUE(holder.OpenDatabase(mode::kReadWriteShared));
    h().LockWaitMs = 0;
    SystemSettings s;
    s.Tariff = 5;
    EXPECT_FALSE(LoadSystemSettings(file(), s, clock, pump, log));
    ASSERT_EQ(log.lines.size(), 2u);
    EXPECT_EQ(log.lines[1].text.rfind("OpenDB : GE:0x80004005, NE:0x", 0), 0u) << log.lines[1].text;
    EXPECT_EQ(s.Tariff, 5);
}

TEST_P(OutboxTest, PendingCountOfAMissingQueryIsLoggedAsZero)
{
    ASSERT_TRUE(h().OpenDatabase(mode::kReadWriteShared));
    ASSERT_TRUE(h().Execute("DROP TABLE PendingCounter"));
    ASSERT_TRUE(h().Execute("DROP VIEW qry_Pending_Messages"));
    EXPECT_EQ(PendingCount(outbox), 0);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].text.rfind("PendingCount : GE:0x80004005", 0), 0u);
}

VESK_ON_BOTH_ENGINES(OutboxTest);
VESK_ON_FILES_ONLY(OutboxFileTest);

} // namespace
} // namespace vesk::store
