#include "StoreFixture.h"

#include <filesystem>
#include <functional>

namespace vesk::store {
namespace {

using namespace std::chrono_literals;

class LifecycleTest : public testing::EngineStoreTest
{
protected:
    void complete(std::int32_t id)
    {
        ASSERT_EQ(
            h().ExecuteRecordResult(
                "UPDATE Message SET msgComplete = TRUE, msgStatus = 3 WHERE msgID = " + std::to_string(id)),
            1);
    }
    std::int32_t archived(const std::string& where = "1 = 1")
    {
        return scalarClosed("SELECT COUNT(*) FROM Message WHERE " + where, kArchiveName);
    }
    // Time passes for the claims. On a server its clock decides, so their stamps move back instead.
    void claimsAge(std::chrono::seconds s)
    {
        if (!onServer())
            return clock.advance(s);
        ASSERT_TRUE(h().Execute("UPDATE Message SET msgAgentTimeStamp = msgAgentTimeStamp - INTERVAL '"
            + std::to_string(s.count()) + " seconds'"));
    }
};

using LifecycleFileTest = LifecycleTest;

TEST_P(LifecycleTest, OnlyOneOfTwoConsolesClaimsARowAndAStoppedOnesClaimReturnsAfterFiveMinutes)
{
    testing::RecordingLog otherLog;
    Outbox other(clock, pump, otherLog);
    other.database = outbox.database;
    h().CloseDatabase(); // the settings are read with the outbox held exclusively
    ASSERT_TRUE(OpenOutbox(other, dir.path(), true));
    ASSERT_TRUE(h().OpenDatabase(mode::kReadWriteShared));
    ASSERT_TRUE(other.handle->OpenDatabase(mode::kReadWriteShared));
    const std::int32_t id = queue();

    EXPECT_TRUE(TakeOwnership(outbox, id, "IMEI-350123456789012"));
    EXPECT_FALSE(TakeOwnership(other, id, "IMEI-350999999999999"));
    EXPECT_FALSE(TakeOwnership(outbox, id, "IMEI-350123456789012"));
    EXPECT_EQ(TextOf(column(id, "msgAgentIMEI")), "6789012");
    EXPECT_EQ(IntOf(column(id, "msgStatus")), 1);
    if (!onServer()) { // else stamped by the server's clock
        EXPECT_EQ(DateOf(column(id, "msgAgentTimeStamp")), clock.now());
    }
    EXPECT_TRUE(otherLog.lines.empty());

    // Released by its owner but still not pending: nobody can take it until its status returns.
    ReleaseOwnership(outbox, id);
    EXPECT_FALSE(TakeOwnership(other, id, "OTHER01"));
    SetStatus(outbox, id, MessageStatus::Pending);
    EXPECT_TRUE(TakeOwnership(other, id, "OTHER01"));

    // The other console stops: five minutes on, its claim returns with the attempts made so far.
    h().Execute("UPDATE Message SET msgAttempts = 2 WHERE msgID = " + std::to_string(id));
    const int calls = pump.calls();
    // A server stamps whole seconds rounded: leave it a margin.
    claimsAge(onServer() ? 4min + 50s : 4min + 59s);
    EXPECT_EQ(ReleaseOrphans(outbox), 0);
    EXPECT_EQ(IntOf(column(id, "msgStatus")), 1);
    EXPECT_TRUE(log.lines.empty());
    claimsAge(onServer() ? 11s : 1s);
    EXPECT_EQ(ReleaseOrphans(outbox), 1);
    EXPECT_EQ(IntOf(column(id, "msgStatus")), 0);
    EXPECT_EQ(IntOf(column(id, "msgAttempts")), 2);
    EXPECT_FALSE(column(id, "msgAgentIMEI").has_value());
    EXPECT_FALSE(column(id, "msgAgentTimeStamp").has_value());
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].text, "Released 1 orphaned message(s)");
    EXPECT_EQ(log.lines[0].icon, icon::kWarning);
    EXPECT_GE(pump.calls() - calls, 2);
}

TEST_P(LifecycleTest, OnlyPendingMessagesPastTheirExpiryExpire)
{
    const std::int32_t due = queue();
    const std::int32_t never = queue();
    const std::int32_t later = queue();
    const std::int32_t owned = queue();
    for (const auto& [id, t] : {std::pair {due, clock.now().addSeconds(-1)},
             {later, clock.now().addMinutes(1)}, {owned, clock.now().addSeconds(-1)}})
        h().Execute(
            "UPDATE Message SET msgExpires = " + DateLiteral(t) + " WHERE msgID = " + std::to_string(id));
    ASSERT_TRUE(TakeOwnership(outbox, owned, "AGENT01"));

    EXPECT_EQ(ExpireMessages(outbox), 1);
    EXPECT_EQ(IntOf(column(due, "msgStatus")), 2);
    EXPECT_EQ(TextOf(column(due, "msgErrorReason")), "Expired");
    EXPECT_FALSE(BoolOf(column(due, "msgComplete")));
    EXPECT_EQ(IntOf(column(never, "msgStatus")), 0);
    EXPECT_EQ(IntOf(column(later, "msgStatus")), 0);
    EXPECT_EQ(IntOf(column(owned, "msgStatus")), 1);
    ASSERT_EQ(log.lines.size(), 1u);
    EXPECT_EQ(log.lines[0].text, "Expired 1 message(s)");

    clock.advance(24h * 400);
    EXPECT_EQ(ExpireMessages(outbox), 1);
    EXPECT_EQ(IntOf(column(never, "msgStatus")), 0);
}

TEST_P(LifecycleTest, HousekeepingAtElevenArchivesThenRemovesOldCompleteRows)
{
    outbox.settings.SMSRemoveAfter = 7;
    outbox.settings.SMSArchive = true;
    outbox.housekeepingStep = 2; // steps that end between rows of the same send time
    clock.set(DateTime::fromParts(2026, 3, 12, 9, 0, 0));
    const DateTime oldTime = DateTime::fromParts(2026, 3, 4, 23, 59, 59);
    const std::int32_t old = queue("old", oldTime);
    queue("old, never sent", DateTime::fromParts(2026, 3, 1, 8, 0, 0));
    const std::int32_t edge = queue("on the day", DateTime::fromParts(2026, 3, 5, 0, 0, 0));
    const std::int32_t recent = queue("recent", DateTime::fromParts(2026, 3, 11, 8, 0, 0));
    for (std::int32_t id : {old, edge, recent, queue("old too", oldTime), queue("old too", oldTime)})
        complete(id);
    h().CloseDatabase();

    EXPECT_FALSE(Housekeeping(outbox)); // the first call only sets the time
    clock.set(DateTime::fromParts(2026, 3, 12, 22, 59, 59));
    EXPECT_FALSE(Housekeeping(outbox));
    EXPECT_EQ(scalarClosed("SELECT COUNT(*) FROM Message"), 6);

    // A program that replaced rows without the delete trigger left the pending counter too high.
    ASSERT_TRUE(h().OpenDatabase(mode::kReadWriteShared));
    ASSERT_TRUE(h().Execute("UPDATE PendingCounter SET pcCount = pcCount + 2 WHERE pcSlot = 3"));
    h().CloseDatabase();
    clock.set(DateTime::fromParts(2026, 3, 12, 23, 0, 0));
    EXPECT_TRUE(Housekeeping(outbox));
    EXPECT_FALSE(h().IsConnected()); // closed again as found
    EXPECT_EQ(log.count("Pending counter corrected from 3 to 1"), 1);
    EXPECT_EQ(scalarClosed("SELECT SUM(pcCount) FROM PendingCounter"), 1);
    EXPECT_EQ(archived(), 4);
    EXPECT_EQ(archived("msgText = 'old' AND msgComplete = TRUE"), 1);
    EXPECT_EQ(archived("msgText = 'old, never sent'"), 1);
    EXPECT_EQ(scalarClosed("SELECT COUNT(*) FROM Message"), 3);
    EXPECT_EQ(scalarClosed("SELECT COUNT(*) FROM Message WHERE msgID = " + std::to_string(old)), 0);
    EXPECT_TRUE(log.has("3 messages older than 05/Mar/2026 removed during housekeeping"));

    // Once a day: not again until tomorrow at 23:00.
    clock.set(DateTime::fromParts(2026, 3, 13, 22, 0, 0));
    EXPECT_FALSE(Housekeeping(outbox));
    clock.set(DateTime::fromParts(2026, 3, 13, 23, 0, 5));
    EXPECT_TRUE(Housekeeping(outbox));
    EXPECT_EQ(archived(), 6); // the unsent old row is copied again: each day's copy takes every old row
    EXPECT_EQ(log.count("Pending counter corrected from 3 to 1"), 1) << "a counter that agrees is left alone";
    EXPECT_EQ(scalarClosed("SELECT COUNT(*) FROM Message"), 2);

    // A limit of zero days switches housekeeping off.
    outbox.settings.SMSRemoveAfter = 0;
    clock.set(DateTime::fromParts(2026, 3, 14, 23, 30, 0));
    EXPECT_FALSE(Housekeeping(outbox));
    EXPECT_EQ(scalarClosed("SELECT COUNT(*) FROM Message"), 2);
}

TEST_P(LifecycleFileTest, ArchiveThatCannotBeMadeBlocksTheDeleteEveryCycle)
{
    outbox.settings.SMSRemoveAfter = 7;
    outbox.settings.SMSArchive = true;
    outbox.templateFolder = dir.file("no-templates");
    std::filesystem::remove(dir.file(kArchiveName));
    clock.set(DateTime::fromParts(2026, 3, 12, 9, 0, 0));
    complete(queue("old", DateTime::fromParts(2026, 2, 1, 8, 0, 0)));

    Housekeeping(outbox);
    clock.set(DateTime::fromParts(2026, 3, 12, 23, 0, 0));
    for (int cycle = 1; cycle <= 3; ++cycle) {
        SCOPED_TRACE(cycle);
        EXPECT_FALSE(Housekeeping(outbox));
        clock.advance(6s);
        EXPECT_EQ(log.count("Unable to archive messages so will not delete them for now"), cycle);
    }
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Message"), 1);
    EXPECT_GE(clock.sleeps(), 6); // looked again for a shared folder to come back

    // With the template back, the archive is made from it and the run completes.
    outbox.templateFolder = testing::TemplateFolder();
    EXPECT_TRUE(Housekeeping(outbox));
    EXPECT_EQ(archived(), 1);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Message"), 0);
}

TEST_P(LifecycleTest, InboundMessagesAreStoredCutAndDatedButNothingGoesIntoAClosedOrNeverOpenedOutbox)
{
    outbox.settings.SMSSaveInbound = true;
    EXPECT_TRUE(SaveInbound(outbox, "+447700900123", "It's #1 ✓", DateTime::fromParts(2026, 3, 5, 13, 0, 0)));
    // Texts are cut to 255 characters (the end-to-end run's long Cyrillic text); addresses to thirty.
    EXPECT_TRUE(SaveInbound(outbox, std::string(40, '9'), "x", DateTime::fromParts(1980, 6, 1, 12, 0, 0)));
    auto rs = h().OpenDynaset("SELECT * FROM Inbox ORDER BY inbID");
    ASSERT_TRUE(rs);
    EXPECT_EQ(TextOf(rs->Field("msgText")), "It's #1 ✓");
    EXPECT_EQ(DateOf(rs->Field("msgTime")), DateTime::fromParts(2026, 3, 5, 13, 0, 0));
    rs->MoveNext();
    EXPECT_EQ(TextOf(rs->Field("msgAddress")), std::string(30, '9'));
    EXPECT_EQ(DateOf(rs->Field("msgTime")), clock.now().dateOnly());

    outbox.settings.SMSSaveInbound = false;
    EXPECT_TRUE(SaveInbound(outbox, "+44", "not kept", clock.now()));
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM Inbox"), 2);

    outbox.settings.SMSSaveInbound = true;
    h().CloseDatabase();
    EXPECT_FALSE(SaveInbound(outbox, "+44", "lost", clock.now()));
    EXPECT_TRUE(log.has("Could not save inbound message : GE:0x800A0E78"));
    EXPECT_EQ(queue(), 0); // nor is a message queued
    EXPECT_TRUE(log.has("InsertMessage : GE:0x800A0E78"));

    // An outbox never opened: every routine fails with the same reason.
    outbox.handle.reset();
    log.lines.clear();
    EXPECT_FALSE(TakeOwnership(outbox, 1, "AGENT01"));
    EXPECT_EQ(ReleaseOrphans(outbox), 0);
    EXPECT_EQ(ExpireMessages(outbox), 0);
    EXPECT_EQ(InsertMessage(outbox, "", "+44", "x", clock.now(), ""), 0);
    EXPECT_EQ(PendingCount(outbox), 0);
    EXPECT_EQ(UpdateQueueSize(outbox), std::nullopt);
    EXPECT_EQ(log.lines.size(), 5u);
    for (const auto& line : log.lines)
        EXPECT_NE(line.text.find("GE:0x800A0E78"), std::string::npos) << line.text;
}

TEST_P(LifecycleTest, PendingCountFollowsEveryWriterAndTheQueueSizeIsCountedAtMostOnceASecond)
{
    const std::int32_t a = queue();
    const std::int32_t b = queue();
    const std::int32_t c = queue();
    const auto run = [&](const std::string& sql) { EXPECT_TRUE(h().Execute(sql)) << h().LastError(); };
    const std::pair<const char*, std::function<void()>> steps[] = {
        {"queued by a program that leaves msgComplete NULL",
            [&] { run("INSERT INTO Message (msgAddress, msgText, msgComplete) VALUES ('+44', 'x', NULL)"); }},
        {"claimed", [&] { TakeOwnership(outbox, a, "AGENT01"); }},
        {"retry scheduled", [&] { load(a).ScheduleRetry(); }},
        {"sent",
            [&] {
                TakeOwnership(outbox, b, "AGENT01");
                auto m = load(b);
                m.Complete = true;
                m.Status = MessageStatus::Sent;
                m.Update();
            }},
        {"cancelled", [&] { load(a).Cancel(); }},
        {"claimed by a console that stopped, then released",
            [&] {
                TakeOwnership(outbox, c, "AGENT01");
                claimsAge(6min);
                ReleaseOrphans(outbox);
            }},
        {"expired",
            [&] {
                run("UPDATE Message SET msgExpires = #01/Jan/2026# WHERE msgID = " + std::to_string(c));
                ExpireMessages(outbox);
            }},
        {"set back to pending by hand", [&] { run("UPDATE Message SET msgStatus = 0, msgComplete = NULL"); }},
        {"removed by another program", [&] { run("DELETE FROM Message"); }}};
    for (const auto& [what, change] : steps) {
        SCOPED_TRACE(what);
        change();
        EXPECT_EQ(PendingCount(outbox),
            scalar(
                "SELECT COUNT(*) FROM Message WHERE msgStatus = 0 AND COALESCE(msgComplete, FALSE) = FALSE"));
    }
    EXPECT_EQ(PendingCount(outbox), 0);

    // The queue size opens a closed outbox and leaves it closed.
    queue();
    queue();
    complete(queue());
    EXPECT_EQ(UpdateQueueSize(outbox), 2);
    EXPECT_TRUE(h().IsConnected());
    h().CloseDatabase();
    clock.advance(1s);
    EXPECT_EQ(UpdateQueueSize(outbox), 2);
    EXPECT_FALSE(h().IsConnected());

    // Counted at most once a second.
    ASSERT_TRUE(h().OpenDatabase(mode::kReadWriteShared));
    queue();
    clock.advance(999ms);
    EXPECT_EQ(UpdateQueueSize(outbox), 2);
    clock.advance(1ms);
    EXPECT_EQ(UpdateQueueSize(outbox), 3);
    h().CloseDatabase();
    clock.advance(1s);

    if (onServer())
        h().setFilename(testing::PgServer::Shared().Connection("missing"));
    else
        std::filesystem::rename(dir.file(kOutboxName), dir.file("moved.mdb"));
    EXPECT_EQ(UpdateQueueSize(outbox), std::nullopt);
}

VESK_ON_BOTH_ENGINES(LifecycleTest);
VESK_ON_FILES_ONLY(LifecycleFileTest);

} // namespace
} // namespace vesk::store
