#include "store/ConsoleTable.h"

#include "support/Convert.h"

namespace vesk::store {

namespace {

constexpr const char* kColumns = "csID, csHost, csVersion, csKind, csMode, csModel, csNetwork, "
                                 "csRegistration, csSignal, csStarted, csLastPass, csLastSend, csSent, "
                                 "csReceived";
constexpr const char* kMarks = "?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?";
constexpr const char* kFigures = "csMode = ?, csModel = ?, csNetwork = ?, csRegistration = ?, csSignal = ?,"
                                 " csLastPass = ?, csLastSend = ?, csSent = ?, csReceived = ?";

std::vector<DbValue> allValues(const ConsoleRow& r)
{
    return {r.id, r.host, r.version, r.kind, r.mode, r.model, r.network, r.registration,
        std::to_string(r.signal), std::to_string(r.started), std::to_string(r.lastPass),
        std::to_string(r.lastSend), std::to_string(r.sent), std::to_string(r.received)};
}

std::vector<DbValue> figureValues(const ConsoleRow& r)
{
    return {r.mode, r.model, r.network, r.registration, std::to_string(r.signal), std::to_string(r.lastPass),
        std::to_string(r.lastSend), std::to_string(r.sent), std::to_string(r.received)};
}

std::int64_t number(const Recordset& rs, const char* name)
{
    return static_cast<std::int64_t>(LeadingNumber(TextOf(rs.Field(name))));
}

} // namespace

std::string ConsoleState(const ConsoleRow& row, std::int64_t now)
{
    if (row.mode == "stopped")
        return "stopped";
    if (now - row.lastPass > kConsoleSilentSeconds)
        return "silent";
    return row.mode.empty() ? "running" : row.mode;
}

bool RegisterConsole(db& outbox, const ConsoleRow& row)
{
    return outbox.ExecuteBound(std::string("INSERT INTO Console (") + kColumns + ") VALUES (" + kMarks
                   + ") ON CONFLICT (csID) DO UPDATE SET csHost = excluded.csHost, csVersion = "
                     "excluded.csVersion,"
                     " csKind = excluded.csKind, csStarted = excluded.csStarted, csMode = excluded.csMode,"
                     " csModel = excluded.csModel, csNetwork = excluded.csNetwork,"
                     " csRegistration = excluded.csRegistration, csSignal = excluded.csSignal,"
                     " csLastPass = excluded.csLastPass, csLastSend = excluded.csLastSend,"
                     " csSent = excluded.csSent, csReceived = excluded.csReceived",
               allValues(row))
        == 1;
}

RowUpdate UpdateConsoleRow(db& outbox, const ConsoleRow& row)
{
    std::vector<DbValue> values;
    std::string sql;
    if (outbox.Kind() == EngineKind::Postgres) {
        // A row another session holds locked is passed over, not waited for.
        sql = std::string("WITH mine AS (SELECT csID FROM Console WHERE csID = ? FOR UPDATE SKIP LOCKED)"
                          " UPDATE Console SET ")
            + kFigures + " WHERE csID IN (SELECT csID FROM mine)";
        values.push_back(row.id);
        for (auto& v : figureValues(row))
            values.push_back(std::move(v));
    } else {
        sql = std::string("UPDATE Console SET ") + kFigures + " WHERE csID = ?";
        values = figureValues(row);
        values.push_back(row.id);
    }
    bool busy = false;
    const std::int32_t n = outbox.TryExecuteBound(sql, values, busy);
    if (n > 0)
        return RowUpdate::Updated;
    if (n < 0)
        return busy ? RowUpdate::Skipped : RowUpdate::Failed;
    // Gone, or locked on the server: a row that exists is left alone, without waiting for it.
    const std::int32_t made = outbox.TryExecuteBound(std::string("INSERT INTO Console (") + kColumns
            + ") VALUES (" + kMarks + ") ON CONFLICT (csID) DO NOTHING",
        allValues(row), busy);
    return made > 0 ? RowUpdate::Updated : made == 0 || busy ? RowUpdate::Skipped : RowUpdate::Failed;
}

bool MarkConsoleStopped(db& outbox, const std::string& id, std::int64_t when)
{
    return outbox.ExecuteBound("UPDATE Console SET csMode = 'stopped', csLastPass = ? WHERE csID = ?",
               {std::to_string(when), id})
        >= 0;
}

std::optional<std::vector<ConsoleRow>> ListConsoles(db& outbox)
{
    auto rs = outbox.OpenBound(std::string("SELECT ") + kColumns + " FROM Console ORDER BY csID", {});
    if (!rs)
        return std::nullopt;
    std::vector<ConsoleRow> rows;
    for (; !rs->IsEOF(); rs->MoveNext()) {
        ConsoleRow r;
        r.id = TextOf(rs->Field("csID"));
        r.host = TextOf(rs->Field("csHost"));
        r.version = TextOf(rs->Field("csVersion"));
        r.kind = TextOf(rs->Field("csKind"));
        r.mode = TextOf(rs->Field("csMode"));
        r.model = TextOf(rs->Field("csModel"));
        r.network = TextOf(rs->Field("csNetwork"));
        r.registration = TextOf(rs->Field("csRegistration"));
        r.signal = static_cast<int>(number(*rs, "csSignal"));
        r.started = number(*rs, "csStarted");
        r.lastPass = number(*rs, "csLastPass");
        r.lastSend = number(*rs, "csLastSend");
        r.sent = number(*rs, "csSent");
        r.received = number(*rs, "csReceived");
        rows.push_back(std::move(r));
    }
    return rows;
}

} // namespace vesk::store
