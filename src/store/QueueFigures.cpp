#include "store/QueueFigures.h"

#include "store/MessageStatus.h"
#include "store/SqlText.h"
#include "support/Convert.h"

namespace vesk::store {

namespace {

// "2026-03-01 09" for a time column, on each engine.
std::string hourOf(const db& outbox, const char* column)
{
    return outbox.Kind() == EngineKind::Postgres ? std::string("to_char(") + column + ", 'YYYY-MM-DD HH24')"
                                                 : std::string("substr(") + column + ", 1, 13)";
}

// The hour slot a "2026-03-01 09" text falls in; -1 outside the day.
int slotOf(const QueueFigures& f, const std::string& hour)
{
    for (std::size_t i = 0; i < f.hours.size(); ++i)
        if (Format(f.hours[i].start, "yyyy-mm-dd hh") == hour)
            return static_cast<int>(i);
    return -1;
}

} // namespace

bool ReadQueueFigures(db& outbox, DateTime now, QueueFigures& out)
{
    out = QueueFigures {};
    const DateTime thisHour = DateTime::fromParts(now.year(), now.month(), now.day(), now.hour(), 0, 0);
    for (std::size_t i = 0; i < out.hours.size(); ++i)
        out.hours[i].start = thisHour.addSeconds(-3600 * static_cast<std::int64_t>(out.hours.size() - 1 - i));
    const std::string since = DateLiteral(out.hours.front().start);

    auto counts
        = outbox.OpenBound("SELECT msgStatus AS S, COUNT(*) AS N FROM Message GROUP BY msgStatus", {});
    if (!counts)
        return false;
    for (; !counts->IsEOF(); counts->MoveNext())
        out.byStatus[static_cast<int>(LongOf(counts->Field("S")))] = LongOf(counts->Field("N"));

    auto due = outbox.OpenBound("SELECT TOP 1 msgSendTime FROM qry_Pending_Messages", {});
    if (!due)
        return false;
    if (!due->IsEOF())
        out.oldestDue = DateOf(due->Field("msgSendTime"));

    const std::string sent = std::to_string(static_cast<int>(MessageStatus::Sent)) + ", "
        + std::to_string(static_cast<int>(MessageStatus::Delivered)) + ", "
        + std::to_string(static_cast<int>(MessageStatus::DeliveryUnconfirmed)) + ", "
        + std::to_string(static_cast<int>(MessageStatus::NotDelivered));
    auto bySend = outbox.OpenBound("SELECT " + hourOf(outbox, "msgSendTime")
            + " AS H, msgStatus AS S, COUNT(*) AS N FROM Message WHERE msgSendTime >= " + since
            + " AND msgStatus IN (" + StatusSql(MessageStatus::Failed) + ", " + sent + ") GROUP BY "
            + hourOf(outbox, "msgSendTime") + ", msgStatus",
        {});
    if (!bySend)
        return false;
    for (; !bySend->IsEOF(); bySend->MoveNext()) {
        const int slot = slotOf(out, TextOf(bySend->Field("H")));
        if (slot < 0)
            continue;
        const std::int64_t n = LongOf(bySend->Field("N"));
        if (LongOf(bySend->Field("S")) == static_cast<int>(MessageStatus::Failed))
            out.hours[slot].failed += n;
        else
            out.hours[slot].sent += n;
    }

    auto byReport = outbox.OpenBound("SELECT " + hourOf(outbox, "msgDeliveryTime")
            + " AS H, COUNT(*) AS N FROM Message WHERE msgDeliveryTime >= " + since + " AND msgStatus = "
            + StatusSql(MessageStatus::Delivered) + " GROUP BY " + hourOf(outbox, "msgDeliveryTime"),
        {});
    if (!byReport)
        return false;
    for (; !byReport->IsEOF(); byReport->MoveNext())
        if (const int slot = slotOf(out, TextOf(byReport->Field("H"))); slot >= 0)
            out.hours[slot].delivered += LongOf(byReport->Field("N"));
    return true;
}

} // namespace vesk::store
