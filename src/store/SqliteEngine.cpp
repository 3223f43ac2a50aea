#include "store/SqliteEngine.h"

#include <sqlite3.h>

#include <algorithm>
#include <memory>

namespace vesk::store {

namespace {

// The state number the console reports for an SQLite result code.
int stateOf(int code)
{
    switch (code & 0xFF) {
    case SQLITE_BUSY:
        return state::kLockedByOtherUser;
    case SQLITE_LOCKED:
        return state::kTableLocked;
    case SQLITE_CANTOPEN:
        return state::kFileNotFound;
    case SQLITE_NOTADB:
    case SQLITE_CORRUPT:
        return 3343; // unrecognised database format
    case SQLITE_READONLY:
        return 3027; // read-only
    case SQLITE_CONSTRAINT:
        return 3022; // duplicate or invalid value
    case SQLITE_FULL:
        return 3035; // out of resources
    default:
        return state::kOther;
    }
}

// Enough for every statement a pass of the console or a kind of request runs.
constexpr std::size_t kPreparedKept = 24;

DbValue columnValue(sqlite3_stmt* s, int i)
{
    if (sqlite3_column_type(s, i) == SQLITE_NULL)
        return std::nullopt;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
    const int size = sqlite3_column_bytes(s, i);
    return std::string(text ? text : "", static_cast<std::size_t>(size));
}

} // namespace

void SqliteEngine::Finalizer::operator()(sqlite3_stmt* s) const
{
    sqlite3_finalize(s);
}

EngineError SqliteEngine::errorOf(int code) const
{
    EngineError e;
    e.number = kGenericFailure;
    e.fromEngine = true;
    e.native = m_connection ? sqlite3_extended_errcode(m_connection) : code;
    if (e.native == 0)
        e.native = code;
    e.sqlState = std::to_string(stateOf(static_cast<int>(e.native)));
    const char* message = m_connection ? sqlite3_errmsg(m_connection) : sqlite3_errstr(code);
    e.description = message ? message : "";
    return e;
}

EngineError SqliteEngine::currentError() const
{
    const int code = m_connection ? sqlite3_errcode(m_connection) : SQLITE_ERROR;
    return errorOf(code == SQLITE_OK ? SQLITE_ERROR : code);
}

bool SqliteEngine::open(const std::string& target, int connectMode, int lockWaitMs, EngineError& error)
{
    close();
    sqlite3* handle = nullptr;
    int rc = sqlite3_open_v2(target.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr);
    const auto fail = [&](int code) {
        error = EngineError {kGenericFailure, code, std::to_string(stateOf(code)), "", true};
        if (handle) {
            error.native = sqlite3_extended_errcode(handle);
            error.sqlState = std::to_string(stateOf(static_cast<int>(error.native)));
            error.description = sqlite3_errmsg(handle);
        } else {
            error.description = sqlite3_errstr(code);
        }
        if (code == SQLITE_CANTOPEN)
            error.description = "Could not find file '" + target + "'.";
        sqlite3_close_v2(handle);
        return false;
    };
    if (rc != SQLITE_OK)
        return fail(rc);
    sqlite3_extended_result_codes(handle, 1);
    sqlite3_busy_timeout(handle, std::max(lockWaitMs, 0));
    const bool readOnly = (connectMode & 3) == 1;
    const bool exclusive = (connectMode & 0x10) == 0 && (connectMode & 0x0C) == 0x0C;
    if (exclusive) {
        rc = sqlite3_exec(handle, "PRAGMA locking_mode=EXCLUSIVE", nullptr, nullptr, nullptr);
        if (rc == SQLITE_OK)
            rc = sqlite3_exec(handle, "BEGIN EXCLUSIVE; COMMIT;", nullptr, nullptr, nullptr);
    } else {
        // Reading the schema is what tells a busy, missing or foreign file from a good one.
        rc = sqlite3_exec(handle, "SELECT count(*) FROM sqlite_master", nullptr, nullptr, nullptr);
    }
    if (rc != SQLITE_OK)
        return fail(rc);
    if (readOnly)
        sqlite3_exec(handle, "PRAGMA query_only=ON", nullptr, nullptr, nullptr);
    // A small page cache, and commits that reach the shared file promptly.
    sqlite3_exec(handle, "PRAGMA cache_size=-500; PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
    m_connection = handle;
    return true;
}

void SqliteEngine::close()
{
    m_prepared.clear();
    if (m_connection) {
        sqlite3_close_v2(m_connection);
        m_connection = nullptr;
    }
}

bool SqliteEngine::take(const std::string& sql, Statement& statement, EngineError& error)
{
    const auto found = std::find_if(
        m_prepared.rbegin(), m_prepared.rend(), [&](const Prepared& p) { return p.sql == sql; });
    if (found != m_prepared.rend()) {
        statement = std::move(found->statement);
        m_prepared.erase(std::next(found).base());
        return true;
    }
    const char* begin = sql.c_str();
    const char* end = begin + sql.size();
    const char* tail = nullptr;
    sqlite3_stmt* raw = nullptr;
    const int prc = sqlite3_prepare_v2(m_connection, begin, static_cast<int>(end - begin), &raw, &tail);
    if (prc != SQLITE_OK) {
        error = errorOf(prc);
        return false;
    }
    statement.reset(raw);
    // One call runs one statement: text after it (a second statement, or anything behind a NUL
    // that would hide it) is refused, so a value that escaped its quotes cannot add statements.
    if (tail < end) {
        sqlite3_stmt* extra = nullptr;
        const char* rest = nullptr;
        const bool hidden = *tail == '\0';
        const int erc = hidden
            ? SQLITE_OK
            : sqlite3_prepare_v2(m_connection, tail, static_cast<int>(end - tail), &extra, &rest);
        sqlite3_finalize(extra);
        if (hidden || erc != SQLITE_OK || extra) {
            error = EngineError {kGenericFailure, SQLITE_MISUSE, std::to_string(state::kOther),
                "Only one statement can be run at a time; the text after it was refused.", true};
            return false;
        }
    }
    return true;
}

void SqliteEngine::keep(const std::string& sql, Statement statement)
{
    // Reset, so that it holds no lock and none of the values of the run that used it.
    sqlite3_reset(statement.get());
    sqlite3_clear_bindings(statement.get());
    if (m_prepared.size() >= kPreparedKept)
        m_prepared.erase(m_prepared.begin());
    m_prepared.push_back({sql, std::move(statement)});
}

bool SqliteEngine::run(
    const std::string& sql, const std::vector<DbValue>& values, EngineRows& out, EngineError& error)
{
    Statement s;
    if (!take(sql, s, error))
        return false;
    sqlite3_stmt* raw = s.get();
    if (!raw)
        return true; // only blanks or a comment
    for (std::size_t i = 0; i < values.size(); ++i) {
        const DbValue& v = values[i];
        const int idx = static_cast<int>(i) + 1;
        if (v)
            sqlite3_bind_text(raw, idx, v->c_str(), static_cast<int>(v->size()), SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(raw, idx);
    }
    // Columns are read after the first step: a statement prepared before another program changed
    // the table is prepared again by that step, and "*" may then stand for more columns.
    int rc = sqlite3_step(raw);
    const int count = sqlite3_column_count(raw);
    for (int i = 0; i < count; ++i)
        out.columns.emplace_back(sqlite3_column_name(raw, i));
    for (; rc == SQLITE_ROW; rc = sqlite3_step(raw)) {
        std::vector<DbValue> row;
        row.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            row.push_back(columnValue(raw, i));
        out.rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) {
        error = errorOf(rc);
        sqlite3_reset(raw); // no lock is left with it, whatever happens to it
        return false;
    }
    out.hasRows = count > 0;
    if (!out.hasRows)
        out.affected = sqlite3_changes(m_connection);
    keep(sql, std::move(s));
    return true;
}

std::int64_t SqliteEngine::lastInsertId() const
{
    return m_connection ? sqlite3_last_insert_rowid(m_connection) : 0;
}

std::vector<std::string> SqliteEngine::tableNames()
{
    EngineRows rows;
    EngineError error;
    std::vector<std::string> names;
    if (run("SELECT name FROM sqlite_master WHERE type IN ('table','view') AND name NOT LIKE 'sqlite\\_%' "
            "ESCAPE '\\' ORDER BY name",
            {}, rows, error))
        for (auto& row : rows.rows)
            names.push_back(TextOf(row[0]));
    return names;
}

bool SqliteEngine::CompactInto(const std::string& file, const std::string& work, int lockWaitMs)
{
    sqlite3* source = nullptr;
    bool ok = false;
    if (sqlite3_open_v2(file.c_str(), &source, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK) {
        sqlite3_busy_timeout(source, std::max(lockWaitMs, 0));
        sqlite3_stmt* raw = nullptr;
        if (sqlite3_prepare_v2(source, "VACUUM INTO ?", -1, &raw, nullptr) == SQLITE_OK) {
            Statement s(raw);
            sqlite3_bind_text(raw, 1, work.c_str(), -1, SQLITE_TRANSIENT);
            ok = sqlite3_step(raw) == SQLITE_DONE;
        }
    }
    sqlite3_close_v2(source);
    if (ok) {
        // The compacted copy comes out with a rollback journal; shared use wants the WAL back.
        sqlite3* fresh = nullptr;
        if (sqlite3_open_v2(work.c_str(), &fresh, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK)
            sqlite3_exec(fresh, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
        sqlite3_close_v2(fresh);
    }
    return ok;
}

void SqliteEngine::setLockWait(int ms)
{
    if (m_connection)
        sqlite3_busy_timeout(m_connection, std::max(ms, 0));
}

} // namespace vesk::store
