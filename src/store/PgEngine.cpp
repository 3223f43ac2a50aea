#include "store/PgEngine.h"

#include <libpq-fe.h>

#include <algorithm>
#include <memory>

namespace vesk::store {

namespace {

constexpr Oid kBoolType = 16;

struct ResultCloser
{
    void operator()(PGresult* r) const { PQclear(r); }
};
using Result = std::unique_ptr<PGresult, ResultCloser>;

// Lock time-outs, serialization failures and deadlocks are the conflicts another attempt may
// get past; they report the state numbers the retry rule knows.
int stateOf(std::string_view sqlState)
{
    if (sqlState == "55P03")
        return state::kLockedByOtherUser;
    if (sqlState == "40001" || sqlState == "40P01")
        return state::kTableLocked;
    if (sqlState.substr(0, 2) == "23")
        return 3022; // duplicate or invalid value
    if (sqlState == "25006")
        return 3027; // read-only
    if (sqlState.substr(0, 2) == "08" || sqlState == "3D000" || sqlState.empty())
        return state::kFileNotFound;
    return state::kOther;
}

std::string firstLine(const char* text)
{
    std::string s = text ? text : "";
    while (!s.empty() && (s.back() == '\n' || s.back() == '\r'))
        s.pop_back();
    const auto eol = s.find('\n');
    return eol == std::string::npos ? s : s.substr(0, eol);
}

EngineError errorOf(std::string sqlState, std::string message)
{
    EngineError e;
    e.number = kGenericFailure;
    e.fromEngine = true;
    e.sqlState = std::to_string(stateOf(sqlState));
    e.description = message + (sqlState.empty() ? "" : " [" + sqlState + "]");
    return e;
}

} // namespace

PgEngine::PgEngine(std::string schema)
    : m_schema(std::move(schema))
{
}

bool PgEngine::open(const std::string& target, int /*connectMode*/, int lockWaitMs, EngineError& error)
{
    close();
    m_lost = false;
    // A zero lock time-out would mean no limit: the shortest wait is one millisecond.
    std::string options = "-c DateStyle=ISO,YMD -c standard_conforming_strings=on -c IntervalStyle=iso_8601"
                          " -c lock_timeout="
        + std::to_string(std::max(lockWaitMs, 1))
        + " -c statement_timeout=" + std::to_string(kStatementTimeoutMs);
    if (!m_schema.empty())
        options += " -c search_path=" + m_schema;
    const std::string connectTimeout = std::to_string(kConnectTimeoutSeconds);
    // What the connection string names itself wins over these defaults.
    const char* keys[] = {"client_encoding", "connect_timeout", "keepalives", "keepalives_idle",
        "keepalives_interval", "keepalives_count", "application_name", "options", "dbname", nullptr};
    const char* values[] = {"UTF8", connectTimeout.c_str(), "1", "30", "10", "3", "vesk-console",
        options.c_str(), target.c_str(), nullptr};
    pg_conn* connection = PQconnectdbParams(keys, values, 1);
    if (!connection || PQstatus(connection) != CONNECTION_OK) {
        error = errorOf("08001", firstLine(connection ? PQerrorMessage(connection) : "out of memory"));
        PQfinish(connection);
        return false;
    }
    // Without this the server would reinterpret text that other sessions wrote.
    PQsetClientEncoding(connection, "UTF8");
    // A read-only open is not made read-only on the server: as a start-up option that would make
    // target_session_attrs=read-write refuse every host, and as a session setting it would outlive
    // the session behind a pooler. The code that opens read-only does not write.
    m_connection = connection;
    return true;
}

void PgEngine::close()
{
    if (m_connection) {
        PQfinish(m_connection);
        m_connection = nullptr;
    }
}

bool PgEngine::run(
    const std::string& sql, const std::vector<DbValue>& values, EngineRows& out, EngineError& error)
{
    std::vector<const char*> params;
    params.reserve(values.size());
    for (const DbValue& v : values)
        params.push_back(v ? v->c_str() : nullptr);
    // The extended protocol runs exactly one statement: a value that escaped its quotes cannot
    // add another.
    Result result(PQexecParams(m_connection, sql.c_str(), static_cast<int>(params.size()), nullptr,
        params.data(), nullptr, nullptr, 0));
    const ExecStatusType status = result ? PQresultStatus(result.get()) : PGRES_FATAL_ERROR;
    if (status != PGRES_TUPLES_OK && status != PGRES_COMMAND_OK && status != PGRES_EMPTY_QUERY) {
        const char* code = result ? PQresultErrorField(result.get(), PG_DIAG_SQLSTATE) : nullptr;
        const char* primary = result ? PQresultErrorField(result.get(), PG_DIAG_MESSAGE_PRIMARY) : nullptr;
        if (PQstatus(m_connection) != CONNECTION_OK) {
            m_lost = true;
            error = errorOf("08006", "The connection to the database server was lost.");
        } else {
            error = errorOf(code ? code : "", primary ? primary : firstLine(PQerrorMessage(m_connection)));
        }
        m_lastError = error;
        return false;
    }
    const char* touched = PQcmdTuples(result.get());
    out.affected = touched && *touched ? std::stoll(touched) : 0;
    if (status != PGRES_TUPLES_OK)
        return true;
    out.hasRows = true;
    const int columns = PQnfields(result.get());
    const int rows = PQntuples(result.get());
    for (int c = 0; c < columns; ++c)
        out.columns.emplace_back(PQfname(result.get(), c));
    out.rows.reserve(static_cast<std::size_t>(rows));
    for (int r = 0; r < rows; ++r) {
        std::vector<DbValue> row;
        row.reserve(static_cast<std::size_t>(columns));
        for (int c = 0; c < columns; ++c) {
            if (PQgetisnull(result.get(), r, c)) {
                row.emplace_back(std::nullopt);
                continue;
            }
            std::string v(
                PQgetvalue(result.get(), r, c), static_cast<std::size_t>(PQgetlength(result.get(), r, c)));
            // Booleans come back as "t" and "f"; they read as SQLite gives them.
            if (PQftype(result.get(), c) == kBoolType)
                v = v == "t" ? "1" : "0";
            row.emplace_back(std::move(v));
        }
        out.rows.push_back(std::move(row));
    }
    // An INSERT ... RETURNING names the new row's id.
    if (rows > 0 && columns > 0 && sql.compare(0, 6, "INSERT") == 0) {
        const DbValue& id = out.rows.front().front();
        m_lastInsertId = id ? std::stoll(*id) : 0;
    }
    return true;
}

std::vector<std::string> PgEngine::tableNames()
{
    EngineRows rows;
    EngineError error;
    std::vector<std::string> names;
    if (run("SELECT table_name FROM information_schema.tables WHERE table_schema = current_schema()"
            " ORDER BY 1",
            {}, rows, error))
        for (auto& row : rows.rows)
            names.push_back(TextOf(row[0]));
    return names;
}

std::string PgEngine::Describe(const std::string& target)
{
    char* failure = nullptr;
    PQconninfoOption* options = PQconninfoParse(target.c_str(), &failure);
    PQfreemem(failure);
    if (!options)
        return "an unreadable connection string";
    std::string host, port, database;
    for (PQconninfoOption* o = options; o->keyword; ++o) {
        if (!o->val)
            continue;
        const std::string key = o->keyword;
        if (key == "host" || (key == "hostaddr" && host.empty()))
            host = o->val;
        else if (key == "port")
            port = o->val;
        else if (key == "dbname")
            database = o->val;
    }
    PQconninfoFree(options);
    std::string text = "database " + (database.empty() ? std::string("(default)") : database) + " on "
        + (host.empty() ? std::string("the local server") : host);
    if (!port.empty())
        text += " port " + port;
    return text;
}

} // namespace vesk::store
