#include "store/ApiMessages.h"

#include "store/MessageStatus.h"
#include "store/SqlDialect.h"

#include <algorithm>

namespace vesk::store {

namespace {

// Rows per INSERT: a batch of a thousand is ten statements, not a thousand.
constexpr std::size_t kRowsPerInsert = 100;
// Rows that one statement writes with their side rows on a server: a message to a thousand
// recipients, the most a submit names.
constexpr std::size_t kRowsInOneStatement = 1000;

constexpr const char* kRecordColumns
    = "m.msgID, m.msgRecipient, m.msgAddress, m.msgText, m.msgStatus, m.msgComplete, m.msgSendTime,"
      " m.msgExpires, m.msgDeliveryTime, m.msgAgentTimeStamp, m.msgAttempts, m.msgDeliveryStatus,"
      " m.msgFragmentCount, m.msgErrorReason, m.msgModemResponse, a.amClientRef, a.amKeyName, a.amCreated";

std::int64_t numberOf(const DbValue& v)
{
    return static_cast<std::int64_t>(LeadingNumber(TextOf(v)));
}

MessageRecord recordOf(const Recordset& rs)
{
    MessageRecord r;
    r.id = RowIdOf(rs.Field("msgID"));
    r.recipient = TextOf(rs.Field("msgRecipient"));
    r.address = TextOf(rs.Field("msgAddress"));
    r.text = TextOf(rs.Field("msgText"));
    r.status = static_cast<int>(numberOf(rs.Field("msgStatus")));
    r.complete = BoolOf(rs.Field("msgComplete"));
    r.sendTime = DateOf(rs.Field("msgSendTime"));
    r.expires = DateOf(rs.Field("msgExpires"));
    r.deliveryTime = DateOf(rs.Field("msgDeliveryTime"));
    r.claimedAt = DateOf(rs.Field("msgAgentTimeStamp"));
    r.attempts = static_cast<int>(numberOf(rs.Field("msgAttempts")));
    const DbValue report = rs.Field("msgDeliveryStatus");
    r.deliveryStatus = report ? static_cast<int>(numberOf(report)) : -1;
    r.fragments = static_cast<int>(numberOf(rs.Field("msgFragmentCount")));
    r.errorReason = TextOf(rs.Field("msgErrorReason"));
    r.modemResponse = TextOf(rs.Field("msgModemResponse"));
    r.clientRef = TextOf(rs.Field("amClientRef"));
    r.keyName = TextOf(rs.Field("amKeyName"));
    r.created = numberOf(rs.Field("amCreated"));
    return r;
}

std::string marks(std::size_t rows, std::size_t perRow)
{
    std::string row = "(";
    for (std::size_t i = 0; i < perRow; ++i)
        row += i ? ", ?" : "?";
    row += ")";
    std::string all;
    for (std::size_t i = 0; i < rows; ++i)
        all += (i ? ", " : "") + row;
    return all;
}

DbValue dateValue(DateTime t)
{
    return t.isZero() ? DbValue {} : DbValue {StoredDateText(t)};
}

// One listing query for at most one status code.
bool listOnce(db& outbox, const MessageFilter& f, std::optional<int> status, std::int64_t fromId,
    std::vector<MessageRecord>& out)
{
    // The side table drives the query when a condition on it narrows the rows.
    const bool bySideTable = !f.clientRef.empty() || f.createdAfter;
    const std::string key = bySideTable ? "a.amMsgID" : "m.msgID";
    std::string sql = std::string("SELECT ") + kRecordColumns
        + (bySideTable ? " FROM ApiMessage a JOIN Message m ON m.msgID = a.amMsgID"
                       : " FROM Message m LEFT JOIN ApiMessage a ON a.amMsgID = m.msgID");
    std::vector<DbValue> values;
    std::string where;
    const auto condition = [&](const std::string& text, std::vector<DbValue> bound) {
        where += (where.empty() ? " WHERE " : " AND ") + text;
        values.insert(values.end(), bound.begin(), bound.end());
    };
    // The code goes into the text, with the term of its partial index: that is what lets the
    // database walk that index (a bound value could be any code).
    if (status)
        condition(*status == 0 ? "m.msgStatus = 0"
                               : "m.msgStatus >= 1 AND m.msgStatus = " + std::to_string(*status),
            {});
    if (!f.address.empty())
        condition("m.msgAddress = ?", {f.address});
    if (!f.clientRef.empty())
        condition("a.amClientRef = ?", {f.clientRef});
    if (f.createdAfter)
        condition(
            key + " >= ? AND a.amCreated > ?", {std::to_string(fromId), std::to_string(*f.createdAfter)});
    if (f.before > 0)
        condition(key + " < ?", {std::to_string(f.before)});
    const std::vector<DbValue> expired {std::string(kExpiredReason), std::string(kMessageExpiredReason)};
    const DbValue canceled = std::string(kApiCancelReason) + "%";
    switch (f.reason) {
    case MessageFilter::Reason::Any:
        break;
    case MessageFilter::Reason::Expired:
        condition("m.msgErrorReason IN (?, ?)", expired);
        break;
    case MessageFilter::Reason::Canceled:
        condition("m.msgErrorReason LIKE ?", {canceled});
        break;
    case MessageFilter::Reason::Other:
        condition("NOT (COALESCE(m.msgErrorReason, '') IN (?, ?) OR COALESCE(m.msgErrorReason, '') LIKE ?)",
            {expired[0], expired[1], canceled});
        break;
    }
    sql += where + " ORDER BY " + key + " DESC LIMIT " + std::to_string(std::max(f.limit, 0));
    auto rs = outbox.OpenBound(sql, values);
    if (!rs)
        return false;
    for (; !rs->IsEOF(); rs->MoveNext())
        out.push_back(recordOf(*rs));
    return true;
}

std::vector<DbValue> messageValues(
    const std::vector<NewMessage>& messages, std::size_t from, std::size_t n, const std::string& station)
{
    std::vector<DbValue> values;
    values.reserve(n * 6);
    for (std::size_t i = from; i < from + n; ++i) {
        const NewMessage& m = messages[i];
        values.insert(values.end(),
            {m.recipient, m.address, m.text, StoredDateText(m.sendTime), station, dateValue(m.expires)});
    }
    return values;
}

constexpr const char* kInsertMessages
    = "INSERT INTO Message (msgRecipient, msgAddress, msgText, msgSendTime, msgStation, msgExpires) VALUES ";

// The ApiMessage rows of the messages inserted as "m" before it in the same statement.
constexpr const char* kInsertSideRows
    = "INSERT INTO ApiMessage (amMsgID, amKeyName, amClientRef, amCreated)"
      " SELECT msgID, CAST(? AS TEXT), CAST(? AS TEXT), CAST(? AS BIGINT) FROM m RETURNING amMsgID";

// The Message rows and their ApiMessage rows in one statement, which a server keeps or refuses
// whole: no transaction around it, and one round trip where there were four.
bool queueInOneStatement(db& outbox, const std::vector<NewMessage>& messages, const std::string& station,
    const std::string& keyName, const std::string& createdText, std::vector<RowId>& ids)
{
    std::vector<DbValue> values = messageValues(messages, 0, messages.size(), station);
    const std::string& ref = messages.front().clientRef;
    values.insert(values.end(), {keyName, ref.empty() ? DbValue {} : DbValue {ref}, createdText});
    std::unique_ptr<Recordset> rows;
    const std::string sql = std::string("WITH m AS (") + kInsertMessages + marks(messages.size(), 6)
        + " RETURNING msgID) " + kInsertSideRows;
    if (outbox.ExecuteBound(sql, values, &rows) < 0 || !rows)
        return false;
    for (; !rows->IsEOF(); rows->MoveNext())
        ids.push_back(RowIdOf(rows->Field(0)));
    // Numbered in the order of the values, as in the statements below.
    std::sort(ids.begin(), ids.end());
    return ids.size() == messages.size();
}

} // namespace

bool QueuesInOneStatement(const db& outbox, const std::vector<NewMessage>& messages)
{
    return outbox.Kind() == EngineKind::Postgres && !messages.empty()
        && messages.size() <= kRowsInOneStatement
        && std::all_of(messages.begin(), messages.end(),
            [&](const NewMessage& m) { return m.clientRef == messages.front().clientRef; });
}

bool QueueApiMessages(db& outbox, const std::vector<NewMessage>& messages, const std::string& station,
    const std::string& keyName, std::int64_t created, std::vector<RowId>& ids)
{
    ids.clear();
    const std::string createdText = std::to_string(created);
    if (QueuesInOneStatement(outbox, messages))
        return queueInOneStatement(outbox, messages, station, keyName, createdText, ids);
    for (std::size_t from = 0; from < messages.size(); from += kRowsPerInsert) {
        const std::size_t n = std::min(kRowsPerInsert, messages.size() - from);
        std::vector<DbValue> values = messageValues(messages, from, n, station);
        std::unique_ptr<Recordset> rows;
        if (outbox.ExecuteBound(
                std::string(kInsertMessages) + marks(n, 6) + " RETURNING msgID", values, &rows)
                < 0
            || !rows)
            return false;
        // The rows of one statement are numbered in the order of its values.
        std::vector<RowId> added;
        for (; !rows->IsEOF(); rows->MoveNext())
            added.push_back(RowIdOf(rows->Field(0)));
        if (added.size() != n)
            return false;
        std::sort(added.begin(), added.end());
        values.clear();
        for (std::size_t i = 0; i < n; ++i) {
            const std::string& ref = messages[from + i].clientRef;
            values.insert(values.end(),
                {std::to_string(added[i]), keyName, ref.empty() ? DbValue {} : DbValue {ref}, createdText});
        }
        if (outbox.ExecuteBound(
                "INSERT INTO ApiMessage (amMsgID, amKeyName, amClientRef, amCreated) VALUES " + marks(n, 4),
                values)
            != static_cast<std::int32_t>(n))
            return false;
        ids.insert(ids.end(), added.begin(), added.end());
    }
    return true;
}

bool LoadMessageRecord(db& outbox, RowId id, std::optional<MessageRecord>& found)
{
    found.reset();
    auto rs = outbox.OpenBound(std::string("SELECT ") + kRecordColumns
            + " FROM Message m LEFT JOIN ApiMessage a ON a.amMsgID = m.msgID WHERE m.msgID = ?",
        {std::to_string(id)});
    if (!rs)
        return false;
    if (!rs->IsEOF())
        found = recordOf(*rs);
    return true;
}

bool ListMessageRecords(db& outbox, const MessageFilter& filter, std::vector<MessageRecord>& out)
{
    out.clear();
    std::int64_t fromId = 0;
    if (filter.createdAfter) {
        // The first row created after the time bounds the walk down the ids from below.
        auto first = outbox.OpenBound("SELECT amMsgID FROM ApiMessage WHERE amCreated > ?"
                                      " ORDER BY amCreated, amMsgID LIMIT 1",
            {std::to_string(*filter.createdAfter)});
        if (!first)
            return false;
        if (first->IsEOF())
            return true;
        fromId = RowIdOf(first->Field(0));
    }
    if (filter.statuses.size() <= 1)
        return listOnce(outbox, filter,
            filter.statuses.empty() ? std::nullopt : std::optional<int>(filter.statuses.front()), fromId,
            out);
    // Several codes: each walks its own index; the newest of them all are kept.
    for (int status : filter.statuses)
        if (!listOnce(outbox, filter, status, fromId, out))
            return false;
    std::sort(
        out.begin(), out.end(), [](const MessageRecord& a, const MessageRecord& b) { return a.id > b.id; });
    if (out.size() > static_cast<std::size_t>(std::max(filter.limit, 0)))
        out.resize(static_cast<std::size_t>(std::max(filter.limit, 0)));
    return true;
}

CancelOutcome CancelPendingMessage(db& outbox, RowId id, const std::string& reason)
{
    const std::int32_t n
        = outbox.ExecuteBound("UPDATE Message SET msgStatus = " + StatusSql(MessageStatus::Failed)
                + ", msgComplete = TRUE, msgErrorReason = ? WHERE msgID = ? AND msgStatus = "
                + StatusSql(MessageStatus::Pending) + " AND msgAgentIMEI IS NULL",
            {reason, std::to_string(id)});
    if (n < 0)
        return CancelOutcome::Failed;
    if (n == 1)
        return CancelOutcome::Canceled;
    auto rs = outbox.OpenBound("SELECT msgStatus FROM Message WHERE msgID = ?", {std::to_string(id)});
    if (!rs)
        return CancelOutcome::Failed;
    return rs->IsEOF() ? CancelOutcome::NotFound : CancelOutcome::NotPending;
}

namespace {

InboundRecord inboundOf(const Recordset& rs)
{
    return {RowIdOf(rs.Field("inbID")), DateOf(rs.Field("msgTime")), TextOf(rs.Field("msgAddress")),
        TextOf(rs.Field("msgText"))};
}

} // namespace

bool ListInbound(db& outbox, RowId before, int limit, std::vector<InboundRecord>& out)
{
    out.clear();
    std::vector<DbValue> values;
    std::string sql = "SELECT inbID, msgTime, msgAddress, msgText FROM Inbox";
    if (before > 0) {
        sql += " WHERE inbID < ?";
        values.push_back(std::to_string(before));
    }
    auto rs
        = outbox.OpenBound(sql + " ORDER BY inbID DESC LIMIT " + std::to_string(std::max(limit, 0)), values);
    if (!rs)
        return false;
    for (; !rs->IsEOF(); rs->MoveNext())
        out.push_back(inboundOf(*rs));
    return true;
}

bool LoadInbound(db& outbox, RowId id, std::optional<InboundRecord>& found)
{
    found.reset();
    auto rs = outbox.OpenBound(
        "SELECT inbID, msgTime, msgAddress, msgText FROM Inbox WHERE inbID = ?", {std::to_string(id)});
    if (!rs)
        return false;
    if (!rs->IsEOF())
        found = inboundOf(*rs);
    return true;
}

} // namespace vesk::store
