#include "store/DBMessage.h"

#include "store/SqlText.h"
#include "support/Convert.h"

#include <algorithm>

namespace vesk::store {

DBMessage::DBMessage(db& outbox, Clock& clock, LogSink& log)
    : m_db(outbox)
    , m_clock(clock)
    , m_log(log)
{
}

void DBMessage::logFailure(const std::string& prefix)
{
    m_log.Log(icon::kError, "", prefix + m_db.LastError());
}

bool DBMessage::loadFrom(const std::string& sql)
{
    auto rs = m_db.OpenDynaset(sql, kForwardOnly, kReadOnly);
    m_lookupFailed = rs == nullptr;
    if (!rs || rs->IsEOF())
        return false;
    id = RowIdOf(rs->Field("msgID"));
    Recipient = TextOf(rs->Field("msgRecipient"));
    Address = TextOf(rs->Field("msgAddress"));
    Text = TextOf(rs->Field("msgText"));
    SendTime = DateOf(rs->Field("msgSendTime"));
    Status = StatusFromStored(IntOf(rs->Field("msgStatus")));
    Complete = BoolOf(rs->Field("msgComplete"));
    Reference = IntOf(rs->Field("msgReference"));
    DeliveryStatus = IntOfDefault(rs->Field("msgDeliveryStatus"), -1);
    DeliveryTime = DateOf(rs->Field("msgDeliveryTime"));
    Expires = DateOf(rs->Field("msgExpires"));
    Attempts = IntOf(rs->Field("msgAttempts"));
    rs->Close();
    return true;
}

bool DBMessage::Load()
{
    return loadFrom("SELECT * FROM Message WHERE msgID = " + std::to_string(id));
}

bool DBMessage::LoadByPendingReference(const std::string& agentIdentity)
{
    std::string sql = "SELECT * FROM Message WHERE msgDeliveryStatus IS NULL AND msgReference = "
        + std::to_string(Reference);
    if (!Address.empty())
        sql += " AND msgAddress = " + Enclosed("'", Quote(Address));
    if (!agentIdentity.empty())
        sql += " AND msgAgentIMEI = '" + Quote(Right(agentIdentity, 7)) + "'";
    return loadFrom(sql);
}

bool DBMessage::Update()
{
    const std::string sql = "UPDATE Message SET msgComplete = " + BoolLiteral(Complete)
        + ", msgStatus = " + StatusSql(Status) + ", msgReference = " + std::to_string(Reference) + ", "
        + "msgModemResponse = '" + Quote(ModemResponse) + "', " + "msgTariff = " + std::to_string(Tariff)
        + ", msgFragmentCount = " + std::to_string(FragmentCount) + " WHERE msgID = " + std::to_string(id);
    if (m_db.ExecuteRecordResult(sql) == 1)
        return true;
    logFailure("Update[" + std::to_string(id) + "] Error: ");
    return false;
}

bool DBMessage::UpdateStatus()
{
    return m_db.ExecuteRecordResult(
               "UPDATE Message SET msgStatus = " + StatusSql(Status) + " WHERE msgID = " + std::to_string(id))
        > 0;
}

bool DBMessage::ScheduleRetry()
{
    ++Attempts;
    if (Attempts >= kMaxAttempts) {
        Status = MessageStatus::Failed;
        ErrorReason = "Retry Exceeded.";
        ModemResponse = Left(ModemResponse, 50);
        Cancel();
        return false;
    }
    Status = MessageStatus::Pending;
    ErrorReason = Left(ErrorReason, 50);
    ModemResponse = Left(ModemResponse, 50);
    const int delay = Attempts <= 2 ? 1 : Attempts == 3 ? 2 : 3;
    SendTime = m_clock.now().addMinutes(delay);
    const std::string sql = "UPDATE Message SET msgStatus = " + StatusSql(Status)
        + ", msgAttempts = " + std::to_string(Attempts) + ", msgSendTime = " + DateLiteral(SendTime) + ", "
        + " msgErrorReason = '" + Quote(ErrorReason) + "'," + " msgModemResponse = '" + Quote(ModemResponse)
        + "'," + " msgAgentIMEI = NULL, msgAgentTimeStamp = NULL" + " WHERE msgID = " + std::to_string(id);
    if (m_db.ExecuteRecordResult(sql) == 1)
        return true;
    logFailure("ScheduleRetry[" + std::to_string(id) + "] Error: ");
    return false;
}

bool DBMessage::UpdateDeliveryStatus()
{
    std::string sql = "UPDATE Message SET msgStatus = " + StatusSql(Status) + ", ";
    sql += DeliveryStatus == -1 ? " msgDeliveryStatus = NULL, "
                                : " msgDeliveryStatus = " + std::to_string(DeliveryStatus) + ", ";
    sql += DeliveryTime.isZero() ? "msgDeliveryTime = NULL"
                                 : "msgDeliveryTime = " + DateLiteral(DeliveryTime);
    sql += " WHERE [msgID] = " + std::to_string(id);
    if (m_db.ExecuteRecordResult(sql) == 1)
        return true;
    logFailure("UpdateDeliveryStatus[" + std::to_string(id) + "] Error: ");
    return false;
}

bool DBMessage::UpdateExpiryTime()
{
    const std::string sql
        = "UPDATE Message SET msgExpires = " + (Expires.isZero() ? std::string("NULL") : DateLiteral(Expires))
        + " WHERE msgID = " + std::to_string(id);
    if (m_db.ExecuteRecordResult(sql) == 1)
        return true;
    logFailure("UpdateExpiryTime[" + std::to_string(id) + "] ");
    return false;
}

bool DBMessage::Cancel()
{
    Complete = true;
    Status = MessageStatus::Failed;
    const std::string sql = "UPDATE Message SET msgComplete = TRUE, msgStatus = " + StatusSql(Status)
        + ", msgErrorReason = '" + Quote(ErrorReason) + "'," + " msgModemResponse = '" + Quote(ModemResponse)
        + "'" + " WHERE msgID = " + std::to_string(id);
    if (m_db.ExecuteRecordResult(sql) == 1)
        return true;
    logFailure("Cancel[" + std::to_string(id) + "] Error: ");
    return false;
}

std::uint8_t DBMessage::GSMValidityPeriod() const
{
    const std::int64_t m = SecondsBetween(m_clock.now(), Expires) / 60;
    if (m <= 0)
        return 0;
    if (m <= 720)
        return static_cast<std::uint8_t>((m - 1) / 5);
    if (m <= 1440)
        return static_cast<std::uint8_t>(143 + (m - 720) / 30);
    if (m <= 2879)
        return 168;
    // Whole days up to 30, then whole weeks up to 63, each long enough to cover the time left.
    const std::int64_t days = (m + 1439) / 1440;
    if (days <= 30)
        return static_cast<std::uint8_t>(166 + days);
    const std::int64_t weeks = std::min<std::int64_t>((m + 10079) / 10080, 63);
    return static_cast<std::uint8_t>(192 + std::max<std::int64_t>(weeks, 5));
}

} // namespace vesk::store
