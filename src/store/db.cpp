#include "store/db.h"

#include "store/SqlDialect.h"
#include "support/Convert.h"
#include "support/Platform.h"
#include "support/PrivateFiles.h"

#include <sqlite3.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <random>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace vesk::store {

namespace {

// Adds the time of one database call to the handle's running total.
class BusyTimer
{
public:
    explicit BusyTimer(std::chrono::nanoseconds& total)
        : m_total(total)
        , m_start(std::chrono::steady_clock::now())
    {
    }
    ~BusyTimer() { m_total += std::chrono::steady_clock::now() - m_start; }
    BusyTimer(const BusyTimer&) = delete;
    BusyTimer& operator=(const BusyTimer&) = delete;

private:
    std::chrono::nanoseconds& m_total;
    std::chrono::steady_clock::time_point m_start;
};

// State numbers of lock and sharing conflicts; only these are retried.
constexpr std::array<int, 31> kLockStates
    = {3006, 3008, 3009, 3040, 3043, 3045, 3046, 3051, 3052, 3158, 3186, 3187, 3188, 3189, 3196, 3197, 3202,
        3211, 3212, 3218, 3234, 3254, 3260, 3261, 3262, 3356, 3566, 3572, 3576, 3584, 3624};

// The state number the console reports for an SQLite result code.
int stateOf(int code)
{
    switch (code & 0xFF) {
    case SQLITE_BUSY:
        return 3260; // locked by another user
    case SQLITE_LOCKED:
        return 3261; // table locked
    case SQLITE_CANTOPEN:
        return 3024; // file not found
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
        return 3000;
    }
}

struct StatementCloser
{
    void operator()(sqlite3_stmt* s) const { sqlite3_finalize(s); }
};
using Statement = std::unique_ptr<sqlite3_stmt, StatementCloser>;

std::string hexUpper(std::uint64_t v)
{
    std::ostringstream out;
    out << std::uppercase << std::hex << v;
    return out.str();
}

DbValue columnValue(sqlite3_stmt* s, int i)
{
    if (sqlite3_column_type(s, i) == SQLITE_NULL)
        return std::nullopt;
    const auto* text = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
    const int size = sqlite3_column_bytes(s, i);
    return std::string(text ? text : "", static_cast<std::size_t>(size));
}

// "SELECT * FROM T ..." on one table is the form that can be written back through the set.
const std::regex kSingleTable(
    R"(^\s*SELECT\s+\*\s+FROM\s+("?)([A-Za-z_][A-Za-z0-9_]*)\1(\s.*)?$)", std::regex::icase);

} // namespace

db::db(Clock& clock, EventPump& pump)
    : m_clock(clock)
    , m_pump(pump)
{
}

db::~db()
{
    CloseDatabase();
}

void db::ResetError()
{
    m_isError = false;
    m_lastError.clear();
}

EngineError db::engineError(int code) const
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

void db::recordError(const EngineError& error)
{
    m_isError = true;
    std::string detail;
    if (m_connection || error.fromEngine) {
        if (error.fromEngine)
            detail = "NE:0x" + hexUpper(static_cast<std::uint64_t>(error.native)) + ", SQL:" + error.sqlState
                + " - " + error.description;
        else
            detail = error.description;
    }
    m_lastError = "GE:0x" + hexUpper(error.number);
    if (!detail.empty())
        m_lastError += ", " + detail;
}

void db::RecordError()
{
    if (!m_connection) {
        recordError(EngineError {kObjectClosed, 0, "", "", false});
        return;
    }
    const int code = sqlite3_errcode(m_connection);
    recordError(engineError(code == SQLITE_OK ? SQLITE_ERROR : code));
}

bool db::RetryAllowed(const EngineError& error)
{
    if (error.number != kGenericFailure)
        return false;
    const auto state = ToNumber(error.sqlState);
    if (!state)
        return false;
    return std::find(kLockStates.begin(), kLockStates.end(), static_cast<int>(*state)) != kLockStates.end();
}

void db::retryWait(int attempt)
{
    for (int i = 0; i < 4; ++i)
        m_pump.runPending();
    const int lower = attempt <= 1 ? 10 : attempt == 2 ? 100 : 250;
    const int upper = std::max(MaxRetryInterval, lower);
    const int range = std::max(upper - lower, 1);
    std::minstd_rand random(
        static_cast<unsigned>(m_clock.elapsed().count()) ^ static_cast<unsigned>(std::random_device {}()));
    const double fraction = std::uniform_real_distribution<double>(0.0, 1.0)(random);
    m_clock.sleepFor(std::chrono::milliseconds(lower + std::lround(fraction * range)));
    for (int i = 0; i < 3; ++i)
        m_pump.runPending();
}

template<class Attempt> bool db::withRetries(Attempt&& attempt)
{
    ResetError();
    bool ok = false;
    for (int n = 1; n <= MaxRetryCount; ++n) {
        EngineError error;
        ok = attempt(error);
        if (ok)
            break;
        recordError(error);
        if (!RetryAllowed(error))
            break;
        retryWait(n);
    }
    return ok;
}

bool db::openOnce(int connectMode, EngineError& error)
{
    const BusyTimer timer(m_busy);
    sqlite3* handle = nullptr;
    int rc = sqlite3_open_v2(m_filename.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr);
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
            error.description = "Could not find file '" + m_filename + "'.";
        sqlite3_close_v2(handle);
        return false;
    };
    if (rc != SQLITE_OK)
        return fail(rc);
    sqlite3_extended_result_codes(handle, 1);
    sqlite3_busy_timeout(handle, std::max(LockWaitMs, 0));
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
    m_connection = handle;
    return true;
}

bool db::OpenDatabase(int connectMode)
{
    ResetError();
    CloseDatabase();
    if (m_filename.empty()) {
        recordError(EngineError {kGenericFailure, SQLITE_CANTOPEN, "3024", "No database file named.", true});
        return false;
    }
    withRetries([&](EngineError& e) { return openOnce(connectMode, e); });
    if (!m_connection)
        return false;
    // A small page cache, and commits that reach the shared file promptly.
    sqlite3_exec(
        m_connection, "PRAGMA cache_size=-500; PRAGMA synchronous=NORMAL;", nullptr, nullptr, nullptr);
    // IsError stays set when an earlier attempt failed.
    m_lastError = "0";
    return true;
}

void db::CloseDatabase()
{
    if (m_connection) {
        sqlite3_close_v2(m_connection);
        m_connection = nullptr;
    }
}

bool db::runBound(const Bound& statement, Outcome& outcome, EngineError& error)
{
    if (!m_connection) {
        error = EngineError {
            kObjectClosed, 0, "", "Operation is not allowed when the object is closed.", false};
        return false;
    }
    const char* begin = statement.sql.c_str();
    const char* end = begin + statement.sql.size();
    const char* tail = nullptr;
    sqlite3_stmt* raw = nullptr;
    const int prc = sqlite3_prepare_v2(m_connection, begin, static_cast<int>(end - begin), &raw, &tail);
    if (prc != SQLITE_OK) {
        error = engineError(prc);
        return false;
    }
    Statement s(raw);
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
            error = EngineError {kGenericFailure, SQLITE_MISUSE, "3000",
                "Only one statement can be run at a time; the text after it was refused.", true};
            return false;
        }
    }
    if (!raw)
        return true; // only blanks or a comment
    for (std::size_t i = 0; i < statement.values.size(); ++i) {
        const DbValue& v = statement.values[i];
        const int idx = static_cast<int>(i) + 1;
        if (v)
            sqlite3_bind_text(raw, idx, v->c_str(), static_cast<int>(v->size()), SQLITE_TRANSIENT);
        else
            sqlite3_bind_null(raw, idx);
    }
    std::vector<std::string> columns;
    std::vector<std::vector<DbValue>> rows;
    const int count = sqlite3_column_count(raw);
    for (int i = 0; i < count; ++i)
        columns.emplace_back(sqlite3_column_name(raw, i));
    int rc;
    while ((rc = sqlite3_step(raw)) == SQLITE_ROW) {
        std::vector<DbValue> row;
        row.reserve(static_cast<std::size_t>(count));
        for (int i = 0; i < count; ++i)
            row.push_back(columnValue(raw, i));
        rows.push_back(std::move(row));
    }
    if (rc != SQLITE_DONE) {
        error = engineError(rc);
        return false;
    }
    if (count > 0)
        outcome.rows = std::make_unique<Recordset>(std::move(columns), std::move(rows));
    else
        outcome.affected = sqlite3_changes(m_connection);
    return true;
}

bool db::runOnce(const std::string& sql, bool wantRows, Outcome& outcome, EngineError& error)
{
    const BusyTimer timer(m_busy);
    outcome = Outcome {};
    const TranslatedSql t = TranslateSql(sql);
    if (t.attachFile.empty())
        return runBound(Bound {t.sql, {}}, outcome, error) && (!wantRows || outcome.rows);
    Outcome ignored;
    if (!runBound(
            Bound {"ATTACH DATABASE ? AS " + std::string(kAttachedSchema), {t.attachFile}}, ignored, error))
        return false;
    const bool ok = runBound(Bound {t.sql, {}}, outcome, error);
    EngineError detachError;
    runBound(Bound {"DETACH DATABASE " + std::string(kAttachedSchema), {}}, ignored, detachError);
    return ok;
}

bool db::runWithRetries(const std::string& sql, bool wantRows, Outcome& outcome)
{
    return withRetries([&](EngineError& e) {
        if (runOnce(sql, wantRows, outcome, e))
            return true;
        if (e.number == 0)
            e = EngineError {kGenericFailure, 0, "3000", "The statement returned no rows.", true};
        return false;
    });
}

void db::makeUpdatable(Recordset& set, const std::string& sql)
{
    std::smatch m;
    const std::string translated = TranslateSql(sql).sql;
    if (!std::regex_match(translated, m, kSingleTable))
        return;
    const std::string table = m[2];
    const std::string where = m[3];
    Outcome outcome;
    EngineError error;
    const std::string withRowid = "SELECT rowid AS vesk_rowid, * FROM \"" + table + "\"" + where;
    if (!runBound(Bound {withRowid, {}}, outcome, error) || !outcome.rows)
        return;
    Recordset& full = *outcome.rows;
    std::vector<std::string> columns(full.m_columns.begin() + 1, full.m_columns.end());
    set.m_columns = std::move(columns);
    set.m_rows.clear();
    set.m_rowids.clear();
    for (auto& row : full.m_rows) {
        set.m_rowids.push_back(std::stoll(row[0].value_or("0")));
        set.m_rows.emplace_back(row.begin() + 1, row.end());
    }
    // The key that numbers the rows cannot be written.
    Outcome info;
    if (runBound(Bound {"SELECT name, type, pk FROM pragma_table_info(?)", {table}}, info, error)
        && info.rows) {
        int keys = 0;
        std::string key;
        for (auto& row : info.rows->m_rows) {
            if (IntOf(row[2]) > 0) {
                ++keys;
                if (EqualsNoCase(TextOf(row[1]), "INTEGER"))
                    key = TextOf(row[0]);
            }
        }
        if (keys == 1 && !key.empty())
            for (int i = 0; i < set.FieldCount(); ++i)
                if (EqualsNoCase(set.m_columns[static_cast<std::size_t>(i)], key))
                    set.m_fixedColumns.insert(i);
    }
    set.m_db = this;
    set.m_table = table;
}

std::unique_ptr<Recordset> db::OpenDynaset(const std::string& sql, int cursorType, int lockType)
{
    Outcome outcome;
    if (!runWithRetries(sql, true, outcome))
        return nullptr;
    if (lockType != kReadOnly && cursorType != kForwardOnly)
        makeUpdatable(*outcome.rows, sql);
    return std::move(outcome.rows);
}

std::unique_ptr<Recordset> db::DisconnectedSet(const std::string& sql)
{
    Outcome outcome;
    if (!runWithRetries(sql, true, outcome))
        return nullptr;
    outcome.rows->m_detached = true;
    return std::move(outcome.rows);
}

bool db::Execute(const std::string& sql)
{
    Outcome outcome;
    return runWithRetries(sql, false, outcome);
}

std::unique_ptr<Recordset> db::ExecuteRecordset(const std::string& sql)
{
    Outcome outcome;
    if (!runWithRetries(sql, false, outcome))
        return nullptr;
    return std::move(outcome.rows);
}

std::int32_t db::ExecuteRecordResult(const std::string& sql)
{
    Outcome outcome;
    runWithRetries(sql, false, outcome);
    return static_cast<std::int32_t>(outcome.affected);
}

std::int32_t db::ExecuteBound(
    const std::string& sql, const std::vector<DbValue>& values, std::unique_ptr<Recordset>* rows)
{
    const Bound statement {TranslateSql(sql).sql, values};
    Outcome outcome;
    const bool ok = withRetries([&](EngineError& e) {
        const BusyTimer timer(m_busy);
        outcome = Outcome {};
        return runBound(statement, outcome, e);
    });
    if (!ok)
        return -1;
    if (rows)
        *rows = std::move(outcome.rows);
    return static_cast<std::int32_t>(outcome.affected);
}

std::int64_t db::runBoundWithRetries(const Bound& statement, std::int64_t* rowid)
{
    Outcome outcome;
    if (!withRetries([&](EngineError& e) { return runBound(statement, outcome, e); }))
        return -1;
    if (rowid && m_connection)
        *rowid = sqlite3_last_insert_rowid(m_connection);
    return outcome.affected;
}

bool db::transactionStep(const char* statement, bool recordFailure)
{
    Outcome outcome;
    EngineError error;
    if (runBound(Bound {statement, {}}, outcome, error))
        return true;
    if (recordFailure)
        recordError(error);
    return false;
}

bool db::BeginTransaction()
{
    ResetError();
    return transactionStep("BEGIN", true);
}

bool db::CommitTransaction()
{
    return transactionStep("COMMIT", true);
}

void db::RollbackTransaction()
{
    transactionStep("ROLLBACK", false);
}

std::optional<std::vector<std::string>> db::TableNames()
{
    if (!m_connection)
        return std::nullopt;
    Outcome outcome;
    EngineError error;
    std::vector<std::string> names;
    if (runBound(Bound {"SELECT name FROM sqlite_master WHERE type IN ('table','view') AND name NOT LIKE "
                        "'sqlite\\_%' "
                        "ESCAPE '\\' ORDER BY name",
                     {}},
            outcome, error)
        && outcome.rows) {
        for (auto& row : outcome.rows->m_rows)
            names.push_back(TextOf(row[0]));
    }
    return names;
}

bool db::Compact()
{
    const bool wasOpen = IsConnected();
    CloseDatabase();
    std::error_code ec;
    std::string reason;
    bool copyBackFailed = false;

    // The work file sits in a folder of its own that no other user can predict, enter or swap.
    const std::string workFolder = MakePrivateTempFolder("vesk-compact");
    bool ok = !workFolder.empty();
    const std::string work = workFolder + "/" + GetFilename() + "$compact.mdb";

    if (ok) {
        sqlite3* source = nullptr;
        if (sqlite3_open_v2(m_filename.c_str(), &source, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK) {
            ok = false;
        } else {
            sqlite3_busy_timeout(source, std::max(LockWaitMs, 0));
            sqlite3_stmt* raw = nullptr;
            if (sqlite3_prepare_v2(source, "VACUUM INTO ?", -1, &raw, nullptr) == SQLITE_OK) {
                Statement s(raw);
                sqlite3_bind_text(raw, 1, work.c_str(), -1, SQLITE_TRANSIENT);
                ok = sqlite3_step(raw) == SQLITE_DONE;
            } else {
                ok = false;
            }
        }
        sqlite3_close_v2(source);
    }

    std::string backup = m_filename;
    const auto dot = backup.find_last_of('.');
    const auto slash = backup.find_last_of('/');
    if (dot != std::string::npos && (slash == std::string::npos || dot > slash))
        backup.erase(dot);
    backup += ".cmp";
    fs::remove(backup, ec);
    if (ok)
        ok = CopyPrivateFile(m_filename, backup, true, reason);
    if (ok) {
        fs::remove(m_filename, ec);
        if (!CopyPrivateFile(work, m_filename, true, reason)) {
            ok = false;
            copyBackFailed = true;
        } else {
            // The compacted copy comes out with a rollback journal; shared use wants the WAL back.
            sqlite3* fresh = nullptr;
            if (sqlite3_open_v2(m_filename.c_str(), &fresh, SQLITE_OPEN_READWRITE, nullptr) == SQLITE_OK)
                sqlite3_exec(fresh, "PRAGMA journal_mode=WAL", nullptr, nullptr, nullptr);
            sqlite3_close_v2(fresh);
            fs::remove(backup, ec);
        }
    }
    // A failed copy back keeps the compacted copy beside the backup, so nothing is lost.
    if (copyBackFailed)
        CopyPrivateFile(work, m_filename + "$compact.mdb", true, reason);
    if (!workFolder.empty())
        fs::remove_all(workFolder, ec);
    if (wasOpen)
        OpenDatabase(mode::kReadWriteShared);
    return ok;
}

bool db::FileExists() const
{
    std::error_code ec;
    return !m_filename.empty() && fs::exists(m_filename, ec);
}

bool db::ResetNetworkDrive(int, const std::string&)
{
    // No remembered network connections exist here; there is nothing to restore.
    return false;
}

std::string db::GetDrive() const
{
    if (m_filename.size() >= 2 && m_filename[1] == ':')
        return m_filename.substr(0, 2);
    return "";
}

std::string db::GetFolder() const
{
    const auto at = m_filename.find_last_of('/');
    return at == std::string::npos ? m_filename : m_filename.substr(0, at);
}

std::string db::GetFilename() const
{
    const auto at = m_filename.find_last_of('/');
    return at == std::string::npos ? m_filename : m_filename.substr(at + 1);
}

} // namespace vesk::store
