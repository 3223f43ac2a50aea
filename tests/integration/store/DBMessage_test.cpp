#include "StoreFixture.h"

namespace vesk::store {
namespace {

using namespace std::chrono_literals;

using DBMessageTest = testing::EngineStoreTest;

TEST_P(DBMessageTest, AwkwardTextIsStoredAndReadBackIntact)
{
    const std::string texts[]
        = {"O'Brien's", "say \"hi\"", "#1 on #05/Mar/2026#", "a -- b; DROP TABLE Message;", "back\\slash",
            "Grüße, ¿qué tal? ✓ 你好", "TRUE FALSE [msgID] @@IDENTITY TOP 5"};
    for (const auto& text : texts) {
        SCOPED_TRACE(text);
        const std::int32_t id = InsertMessage(outbox, text, text, text, clock.now(), text);
        ASSERT_GT(id, 0) << h().LastError();
        DBMessage m = load(id);
        EXPECT_EQ(m.Text, text);
        EXPECT_EQ(m.Recipient, Left(text, 30));
        EXPECT_EQ(m.Address, Left(text, 30));
        EXPECT_EQ(TextOf(column(id, "msgStation")), Left(text, 32));

        m.ErrorReason = text;
        m.ModemResponse = text;
        ASSERT_TRUE(m.Cancel());
        EXPECT_EQ(TextOf(column(id, "msgErrorReason")), text);
        EXPECT_EQ(TextOf(column(id, "msgModemResponse")), text);
    }
}

TEST_P(DBMessageTest, RetriesFollowTheScheduleAndTheSixthFailureCancels)
{
    const std::int32_t id = queue();
    ASSERT_TRUE(TakeOwnership(outbox, id, "350123456789012"));
    const int delays[] = {1, 1, 2, 3, 3};
    DBMessage m = load(id);
    for (int attempt = 1; attempt <= 5; ++attempt) {
        SCOPED_TRACE(attempt);
        clock.advance(7s);
        m.ErrorReason = std::string(49, 'e') + "'s and more"; // both cut to fifty characters
        m.ModemResponse = std::string(60, 'm');
        const DateTime failedAt = clock.now();
        ASSERT_TRUE(m.ScheduleRetry());
        EXPECT_EQ(IntOf(column(id, "msgAttempts")), attempt);
        EXPECT_EQ(IntOf(column(id, "msgStatus")), 0);
        EXPECT_EQ(DateOf(column(id, "msgSendTime")), failedAt.addMinutes(delays[attempt - 1]));
        EXPECT_FALSE(column(id, "msgAgentIMEI").has_value());
        EXPECT_FALSE(column(id, "msgAgentTimeStamp").has_value());
        EXPECT_FALSE(BoolOf(column(id, "msgComplete")));
        EXPECT_EQ(TextOf(column(id, "msgErrorReason")), std::string(49, 'e') + "'");
        EXPECT_EQ(TextOf(column(id, "msgModemResponse")), std::string(50, 'm'));
        ASSERT_TRUE(m.Load());
        ASSERT_TRUE(TakeOwnership(outbox, id, "350123456789012"));
    }
    m.ModemResponse = std::string(80, 'r');
    EXPECT_FALSE(m.ScheduleRetry());
    EXPECT_EQ(m.Status, MessageStatus::Failed);
    EXPECT_TRUE(BoolOf(column(id, "msgComplete"))); // status and reason: the console's refused-send run
    EXPECT_EQ(TextOf(column(id, "msgModemResponse")), std::string(50, 'r'));
    EXPECT_TRUE(log.lines.empty());
}

TEST_P(DBMessageTest, DeliveryReportFindsItsRowOnlyOnceUnsetFieldsAreWrittenAsNullAndMissingRowsAreLogged)
{
    const std::int32_t other = queue();
    const std::int32_t id = queue();
    for (std::int32_t row : {other, id}) {
        ASSERT_TRUE(TakeOwnership(outbox, row, row == id ? "350123456789012" : "999999OTHER99"));
        DBMessage sent = load(row);
        sent.Complete = true;
        sent.Status = MessageStatus::Sent;
        sent.Reference = 42;
        sent.Tariff = 1;
        sent.FragmentCount = 2;
        ASSERT_TRUE(sent.Update());
    }

    DBMessage report(h(), clock, log);
    report.Reference = 42;
    report.Address = "+447700900001";
    ASSERT_TRUE(report.LoadByPendingReference("350123456789012"));
    EXPECT_EQ(report.id, id);
    report.Status = MessageStatus::Delivered;
    report.DeliveryStatus = 0;
    report.DeliveryTime = DateTime::fromParts(2026, 3, 5, 14, 9, 30);
    report.Expires = clock.now().addMinutes(1440);
    ASSERT_TRUE(report.UpdateDeliveryStatus());
    ASSERT_TRUE(report.UpdateExpiryTime());
    EXPECT_EQ(IntOf(column(id, "msgDeliveryStatus")), 0);
    EXPECT_EQ(DateOf(column(id, "msgDeliveryTime")), report.DeliveryTime);
    EXPECT_EQ(load(id).Expires, report.Expires);

    DBMessage second(h(), clock, log);
    second.Reference = 42;
    second.Address = "+447700900001";
    EXPECT_FALSE(second.LoadByPendingReference("350123456789012"));
    second.Address = "+440000000000";
    EXPECT_FALSE(second.LoadByPendingReference(""));
    EXPECT_EQ(IntOf(column(id, "msgFragmentCount")), 2);
    EXPECT_EQ(IntOf(column(other, "msgStatus")), 3);

    report.DeliveryStatus = -1;
    report.DeliveryTime = {};
    report.Expires = {};
    ASSERT_TRUE(report.UpdateDeliveryStatus());
    ASSERT_TRUE(report.UpdateExpiryTime());
    for (const char* field : {"msgDeliveryStatus", "msgDeliveryTime", "msgExpires"})
        EXPECT_FALSE(column(id, field).has_value()) << field;
    EXPECT_EQ(load(id).DeliveryStatus, -1);
    EXPECT_TRUE(log.lines.empty());

    // Writes to a row that is not there are logged with their prefix.
    DBMessage m(h(), clock, log);
    m.id = 999;
    EXPECT_FALSE(m.Load());
    EXPECT_FALSE(m.Update());
    EXPECT_FALSE(m.Cancel());
    EXPECT_FALSE(m.UpdateExpiryTime());
    EXPECT_FALSE(m.UpdateDeliveryStatus());
    EXPECT_FALSE(m.UpdateStatus());
    ASSERT_EQ(log.lines.size(), 4u);
    EXPECT_EQ(log.lines[0].text, "Update[999] Error: ");
    EXPECT_EQ(log.lines[1].text, "Cancel[999] Error: ");
    EXPECT_EQ(log.lines[2].text, "UpdateExpiryTime[999] ");
    EXPECT_EQ(log.lines[3].text, "UpdateDeliveryStatus[999] Error: ");
    for (const auto& line : log.lines)
        EXPECT_EQ(line.icon, icon::kError);
}

VESK_ON_BOTH_ENGINES(DBMessageTest);

} // namespace
} // namespace vesk::store
