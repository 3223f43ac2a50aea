#include "store/Webhooks.h"

#include <algorithm>
#include <map>

namespace vesk::store {

namespace {

constexpr const char* kEndpointColumns = "whID, whUrl, whTypes, whFrom, whTo, whDescription, whSecret,"
                                         " whOldSecret, whOldUntil, whEnabled, whDisabledReason, whCreated";
constexpr const char* kEventColumns
    = "e.evID, e.evUid, e.evType, e.evMsgID, e.evInbID, e.evNumber, e.evStation, e.evCreated, e.evBody";
constexpr const char* kDeliveryColumns = "d.dlID, d.dlEndpoint, d.dlState, d.dlAttempts, d.dlDue, d.dlFirst";

std::int64_t numberOf(const DbValue& v)
{
    return static_cast<std::int64_t>(LeadingNumber(TextOf(v)));
}

std::string text(std::int64_t n)
{
    return std::to_string(n);
}

WebhookEndpointRow endpointOf(const Recordset& rs)
{
    WebhookEndpointRow e;
    e.id = RowIdOf(rs.Field("whID"));
    e.url = TextOf(rs.Field("whUrl"));
    e.types = TextOf(rs.Field("whTypes"));
    e.from = TextOf(rs.Field("whFrom"));
    e.to = TextOf(rs.Field("whTo"));
    e.description = TextOf(rs.Field("whDescription"));
    e.secret = TextOf(rs.Field("whSecret"));
    e.oldSecret = TextOf(rs.Field("whOldSecret"));
    e.oldUntil = numberOf(rs.Field("whOldUntil"));
    e.enabled = numberOf(rs.Field("whEnabled")) != 0;
    e.disabledReason = TextOf(rs.Field("whDisabledReason"));
    e.created = numberOf(rs.Field("whCreated"));
    return e;
}

WebhookEventRow eventOf(const Recordset& rs)
{
    WebhookEventRow e;
    e.id = RowIdOf(rs.Field("evID"));
    e.uid = TextOf(rs.Field("evUid"));
    e.type = TextOf(rs.Field("evType"));
    e.messageId = RowIdOf(rs.Field("evMsgID"));
    e.inboundId = RowIdOf(rs.Field("evInbID"));
    e.number = TextOf(rs.Field("evNumber"));
    e.station = TextOf(rs.Field("evStation"));
    e.created = numberOf(rs.Field("evCreated"));
    if (const DbValue body = rs.Field("evBody"))
        e.body = TextOf(body);
    return e;
}

WebhookDeliveryRow deliveryOf(const Recordset& rs)
{
    WebhookDeliveryRow d;
    d.id = RowIdOf(rs.Field("dlID"));
    d.endpoint = RowIdOf(rs.Field("dlEndpoint"));
    d.state = static_cast<DeliveryState>(numberOf(rs.Field("dlState")));
    d.attempts = static_cast<int>(numberOf(rs.Field("dlAttempts")));
    d.due = numberOf(rs.Field("dlDue"));
    d.first = numberOf(rs.Field("dlFirst"));
    return d;
}

std::vector<DbValue> endpointValues(const WebhookEndpointRow& e)
{
    return {e.url, e.types, e.from, e.to, e.description, e.secret,
        e.oldSecret.empty() ? DbValue {} : DbValue {e.oldSecret}, text(e.oldUntil), text(e.enabled ? 1 : 0),
        e.disabledReason.empty() ? DbValue {} : DbValue {e.disabledReason}};
}

// Runs the steps in one transaction; false (rolled back) when one fails.
template<class Steps> bool inTransaction(db& outbox, Steps&& steps)
{
    if (!outbox.BeginTransaction())
        return false;
    if (steps() && outbox.CommitTransaction())
        return true;
    outbox.RollbackTransaction();
    return false;
}

std::string idList(const std::vector<RowId>& ids)
{
    std::string list;
    for (RowId id : ids)
        list += (list.empty() ? "" : ",") + std::to_string(id);
    return list;
}

} // namespace

RowId AddWebhookEndpoint(db& outbox, const WebhookEndpointRow& endpoint)
{
    std::vector<DbValue> values = endpointValues(endpoint);
    values.push_back(text(endpoint.created));
    std::unique_ptr<Recordset> rows;
    const std::int32_t n = outbox.ExecuteBound(
        "INSERT INTO WebhookEndpoint (whUrl, whTypes, whFrom, whTo, whDescription, whSecret, whOldSecret,"
        " whOldUntil, whEnabled, whDisabledReason, whCreated) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"
        " RETURNING whID",
        values, &rows);
    // On SQLite the count of a statement with RETURNING is not known until its rows are read.
    return n >= 0 && rows && !rows->IsEOF() ? RowIdOf(rows->Field(0)) : 0;
}

bool ListWebhookEndpoints(db& outbox, std::vector<WebhookEndpointRow>& out)
{
    out.clear();
    auto rs = outbox.OpenBound(
        std::string("SELECT ") + kEndpointColumns + " FROM WebhookEndpoint ORDER BY whID", {});
    if (!rs)
        return false;
    for (; !rs->IsEOF(); rs->MoveNext())
        out.push_back(endpointOf(*rs));
    return true;
}

bool LoadWebhookEndpoint(db& outbox, RowId id, std::optional<WebhookEndpointRow>& found)
{
    found.reset();
    auto rs = outbox.OpenBound(
        std::string("SELECT ") + kEndpointColumns + " FROM WebhookEndpoint WHERE whID = ?", {text(id)});
    if (!rs)
        return false;
    if (!rs->IsEOF())
        found = endpointOf(*rs);
    return true;
}

int UpdateWebhookEndpoint(db& outbox, const WebhookEndpointRow& endpoint)
{
    std::vector<DbValue> values = endpointValues(endpoint);
    values.push_back(text(endpoint.id));
    return outbox.ExecuteBound(
        "UPDATE WebhookEndpoint SET whUrl = ?, whTypes = ?, whFrom = ?, whTo = ?,"
        " whDescription = ?, whSecret = ?, whOldSecret = ?, whOldUntil = ?, whEnabled = ?,"
        " whDisabledReason = ? WHERE whID = ?",
        values);
}

int DeleteWebhookEndpoint(db& outbox, RowId id)
{
    int removed = -1;
    inTransaction(outbox, [&] {
        const std::vector<DbValue> key {text(id)};
        // The endpoint's row first, as a dispatcher takes it, so the two never wait on each other in turn.
        if (outbox.ExecuteBound("UPDATE WebhookEndpoint SET whEnabled = 0 WHERE whID = ?", key) < 0)
            return false;
        if (outbox.ExecuteBound("DELETE FROM WebhookAttempt WHERE atDelivery IN"
                                " (SELECT dlID FROM WebhookDelivery WHERE dlEndpoint = ?)",
                key)
                < 0
            || outbox.ExecuteBound("DELETE FROM WebhookDelivery WHERE dlEndpoint = ?", key) < 0)
            return false;
        removed = outbox.ExecuteBound("DELETE FROM WebhookEndpoint WHERE whID = ?", key);
        return removed >= 0;
    });
    return removed;
}

bool DisableWebhookEndpoint(db& outbox, RowId id, const std::string& reason)
{
    return outbox.ExecuteBound(
               "UPDATE WebhookEndpoint SET whEnabled = 0, whDisabledReason = ? WHERE whID = ?",
               {reason, text(id)})
        >= 0;
}

bool TakeWebhookAlert(db& outbox, RowId id, std::int64_t now, std::int64_t before)
{
    return outbox.ExecuteBound("UPDATE WebhookEndpoint SET whAlerted = ? WHERE whID = ?"
                               " AND (whAlerted IS NULL OR whAlerted < ?)",
               {text(now), text(id), text(before)})
        == 1;
}

bool AddConsoleEvent(db& outbox, const std::string& type, const std::string& station)
{
    return outbox.ExecuteBound("INSERT INTO WebhookEvent (evType, evStation) VALUES (?, ?)", {type, station})
        == 1;
}

std::string AddTestEvent(db& outbox, RowId endpoint)
{
    std::string uid;
    const bool stored = inTransaction(outbox, [&] {
        std::unique_ptr<Recordset> rows;
        if (outbox.ExecuteBound("INSERT INTO WebhookEvent (evType) VALUES (?) RETURNING evID, evUid",
                {std::string("webhook.test")}, &rows)
                < 0
            || !rows || rows->IsEOF())
            return false;
        const RowId event = RowIdOf(rows->Field(0));
        uid = TextOf(rows->Field(1));
        return outbox.ExecuteBound("INSERT INTO WebhookDelivery (dlEndpoint, dlEvent) VALUES (?, ?)",
                   {text(endpoint), text(event)})
            == 1;
    });
    return stored ? uid : std::string();
}

bool ListWebhookEvents(db& outbox, RowId after, int limit, std::vector<WebhookEventRow>& out)
{
    out.clear();
    auto rs = outbox.OpenBound(std::string("SELECT ") + kEventColumns
            + " FROM WebhookEvent e WHERE e.evID > ? ORDER BY e.evID LIMIT " + text(std::max(limit, 0)),
        {text(after)});
    if (!rs)
        return false;
    for (; !rs->IsEOF(); rs->MoveNext())
        out.push_back(eventOf(*rs));
    return true;
}

bool LoadWebhookEvent(db& outbox, const std::string& uid, std::optional<WebhookEventRow>& found)
{
    found.reset();
    auto rs = outbox.OpenBound(
        std::string("SELECT ") + kEventColumns + " FROM WebhookEvent e WHERE e.evUid = ?", {uid});
    if (!rs)
        return false;
    if (!rs->IsEOF())
        found = eventOf(*rs);
    return true;
}

std::optional<std::string> FixEventBody(db& outbox, RowId event, const std::string& body)
{
    if (outbox.ExecuteBound(
            "UPDATE WebhookEvent SET evBody = ? WHERE evID = ? AND evBody IS NULL", {body, text(event)})
        < 0)
        return std::nullopt;
    auto rs = outbox.OpenBound("SELECT evBody FROM WebhookEvent WHERE evID = ?", {text(event)});
    if (!rs || rs->IsEOF() || !rs->Field(0))
        return std::nullopt;
    return TextOf(rs->Field(0));
}

int RedeliverEvent(db& outbox, RowId event)
{
    return outbox.ExecuteBound(
        "UPDATE WebhookDelivery SET dlState = 0, dlAttempts = 0, dlDue = 0, dlFirst = 0"
        " WHERE dlEvent = ?",
        {text(event)});
}

bool TakeEndpointTurn(db& outbox, RowId endpoint)
{
    if (outbox.Kind() == EngineKind::Postgres) {
        auto rs = outbox.OpenBound(
            "SELECT whID FROM WebhookEndpoint WHERE whID = ? FOR UPDATE SKIP LOCKED", {text(endpoint)});
        return rs && !rs->IsEOF();
    }
    // A file: the write lock is taken first (waiting for it as any writer does), so the reads that
    // follow see the last commit and the writes after them never find their view outdated.
    return outbox.ExecuteBound("UPDATE WebhookEndpoint SET whID = whID WHERE whID = ?", {text(endpoint)})
        >= 0;
}

bool WaitingDeliveries(db& outbox, RowId endpoint, int limit, std::vector<WebhookDeliveryRow>& out)
{
    out.clear();
    // Without statistics SQLite takes the index of all the endpoint's deliveries and walks its
    // delivered history on every batch; the waiting ones have an index of their own.
    const char* waitingIndex
        = outbox.Kind() == EngineKind::Postgres ? "" : " INDEXED BY ixWebhookDeliveryWaiting";
    auto rs = outbox.OpenBound(std::string("SELECT ") + kDeliveryColumns + ", " + kEventColumns
            + " FROM WebhookDelivery d" + waitingIndex
            + " JOIN WebhookEvent e ON e.evID = d.dlEvent"
              " WHERE d.dlEndpoint = ? AND d.dlState = 0 ORDER BY d.dlID LIMIT "
            + text(std::max(limit, 0)),
        {text(endpoint)});
    if (!rs)
        return false;
    for (; !rs->IsEOF(); rs->MoveNext()) {
        WebhookDeliveryRow d = deliveryOf(*rs);
        d.event = eventOf(*rs);
        out.push_back(std::move(d));
    }
    return true;
}

bool RecordDeliveryAttempt(db& outbox, const WebhookDeliveryRow& after, const WebhookAttemptRow& attempt)
{
    return outbox.ExecuteBound("INSERT INTO WebhookAttempt (atDelivery, atTime, atStatus, atError, atMillis) "
                               "VALUES (?, ?, ?, ?, ?)",
               {text(after.id), text(attempt.time), text(attempt.status), attempt.error,
                   text(attempt.millis)})
        == 1
        && outbox.ExecuteBound("UPDATE WebhookDelivery SET dlState = ?, dlAttempts = ?, dlDue = ?, dlFirst = "
                               "? WHERE dlID = ?",
               {text(static_cast<int>(after.state)), text(after.attempts), text(after.due), text(after.first),
                   text(after.id)})
        == 1;
}

bool ListDeliveries(db& outbox, RowId endpoint, RowId before, int limit,
    std::vector<std::pair<WebhookDeliveryRow, std::vector<WebhookAttemptRow>>>& out)
{
    out.clear();
    std::vector<DbValue> values {text(endpoint)};
    std::string sql = std::string("SELECT ") + kDeliveryColumns + ", " + kEventColumns
        + " FROM WebhookDelivery d JOIN WebhookEvent e ON e.evID = d.dlEvent WHERE d.dlEndpoint = ?";
    if (before > 0) {
        sql += " AND d.dlID < ?";
        values.push_back(text(before));
    }
    auto rs = outbox.OpenBound(sql + " ORDER BY d.dlID DESC LIMIT " + text(std::max(limit, 0)), values);
    if (!rs)
        return false;
    std::vector<RowId> ids;
    for (; !rs->IsEOF(); rs->MoveNext()) {
        WebhookDeliveryRow d = deliveryOf(*rs);
        d.event = eventOf(*rs);
        ids.push_back(d.id);
        out.emplace_back(std::move(d), std::vector<WebhookAttemptRow> {});
    }
    if (ids.empty())
        return true;
    auto attempts
        = outbox.OpenBound("SELECT atDelivery, atTime, atStatus, atError, atMillis FROM WebhookAttempt"
                           " WHERE atDelivery IN ("
                + idList(ids) + ") ORDER BY atDelivery, atID",
            {});
    if (!attempts)
        return false;
    std::map<RowId, std::vector<WebhookAttemptRow>> byDelivery;
    for (; !attempts->IsEOF(); attempts->MoveNext())
        byDelivery[RowIdOf(attempts->Field("atDelivery"))].push_back(
            {numberOf(attempts->Field("atTime")), static_cast<int>(numberOf(attempts->Field("atStatus"))),
                TextOf(attempts->Field("atError")), numberOf(attempts->Field("atMillis"))});
    for (auto& [d, list] : out)
        list = std::move(byDelivery[d.id]);
    return true;
}

std::int64_t RemoveOldEvents(db& outbox, std::int64_t before, int step)
{
    std::int64_t removed = 0;
    std::int64_t lastCreated = -1;
    RowId lastId = 0;
    for (;;) {
        // In creation order from where the last step ended, through the creation index; events
        // whose delivery is still being retried are stepped over and stay.
        auto rs = outbox.OpenBound("SELECT e.evID, e.evCreated FROM WebhookEvent e WHERE e.evCreated < ?"
                                   " AND (e.evCreated, e.evID) > (?, ?) AND NOT EXISTS (SELECT 1 FROM"
                                   " WebhookDelivery d WHERE d.dlEvent = e.evID AND d.dlState = 0)"
                                   " ORDER BY e.evCreated, e.evID LIMIT "
                + text(std::max(step, 1)),
            {text(before), text(lastCreated), text(lastId)});
        if (!rs)
            return -1;
        std::vector<RowId> ids;
        for (; !rs->IsEOF(); rs->MoveNext()) {
            ids.push_back(RowIdOf(rs->Field(0)));
            lastCreated = numberOf(rs->Field(1));
        }
        if (ids.empty())
            return removed;
        lastId = ids.back();
        const std::string list = idList(ids);
        int n = -1;
        if (!inTransaction(outbox, [&] {
                return outbox.ExecuteBound("DELETE FROM WebhookAttempt WHERE atDelivery IN"
                                           " (SELECT dlID FROM WebhookDelivery WHERE dlEvent IN ("
                               + list + "))",
                           {})
                    >= 0
                    && outbox.ExecuteBound("DELETE FROM WebhookDelivery WHERE dlEvent IN (" + list + ")", {})
                    >= 0
                    && (n = outbox.ExecuteBound("DELETE FROM WebhookEvent WHERE evID IN (" + list + ")", {}))
                    >= 0;
            }))
            return -1;
        removed += n;
        if (ids.size() < static_cast<std::size_t>(std::max(step, 1)))
            return removed;
    }
}

} // namespace vesk::store
