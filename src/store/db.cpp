#include "store/db.h"

#include "store/ConnectionText.h"
#include "store/PgEngine.h"
#include "store/SqlDialect.h"
#include "store/SqliteEngine.h"
#include "support/Convert.h"
#include "support/Platform.h"
#include "support/PrivateFiles.h"

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

std::string hexUpper(std::uint64_t v)
{
    std::ostringstream out;
    out << std::uppercase << std::hex << v;
    return out.str();
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

EngineKind db::Kind() const
{
    return IsConnectionString(m_filename) ? EngineKind::Postgres : EngineKind::Sqlite;
}

std::string db::Describe() const
{
    return Kind() == EngineKind::Postgres ? PgEngine::Describe(m_filename) : m_filename;
}

void db::recordError(const EngineError& error)
{
    m_isError = true;
    std::string detail;
    if (IsConnected() || error.fromEngine) {
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
    if (!IsConnected()) {
        recordError(EngineError {kObjectClosed, 0, "", "", false});
        return;
    }
    recordError(m_engine->currentError());
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
        if (ok) {
            // A try that worked after lock conflicts leaves no error behind for the caller to log.
            if (n > 1)
                ResetError();
            break;
        }
        recordError(error);
        if (!RetryAllowed(error))
            break;
        retryWait(n);
    }
    if (!ok)
        ++m_failures;
    return ok;
}

bool db::openOnce(int connectMode, EngineError& error)
{
    const BusyTimer timer(m_busy);
    if (!m_engine || m_engine->kind() != Kind()) {
        if (Kind() == EngineKind::Postgres)
            m_engine = std::make_unique<PgEngine>(m_schema);
        else
            m_engine = std::make_unique<SqliteEngine>();
    }
    return m_engine->open(m_filename, connectMode, LockWaitMs, error);
}

bool db::OpenDatabase(int connectMode)
{
    ResetError();
    CloseDatabase();
    if (m_filename.empty()) {
        recordError(EngineError {
            kGenericFailure, 0, std::to_string(state::kFileNotFound), "No database file named.", true});
        return false;
    }
    withRetries([&](EngineError& e) { return openOnce(connectMode, e); });
    if (!IsConnected())
        return false;
    if (m_lost && m_log)
        m_log->Log(icon::kWarning, "", "Connection to " + Describe() + " restored");
    m_lost = false;
    m_lastError = "0";
    return true;
}

void db::CloseDatabase()
{
    if (m_engine)
        m_engine->close();
}

bool db::runBound(const Bound& statement, Outcome& outcome, EngineError& error)
{
    if (!IsConnected()) {
        error = EngineError {
            kObjectClosed, 0, "", "Operation is not allowed when the object is closed.", false};
        return false;
    }
    EngineRows rows;
    const auto started = std::chrono::steady_clock::now();
    const bool ok = m_engine->run(statement.sql, statement.values, rows, error);
    if (StatementObserver)
        StatementObserver(statement.sql, std::chrono::steady_clock::now() - started);
    if (!ok) {
        if (m_engine->connectionLost() && !m_lost) {
            m_lost = true;
            if (m_log)
                m_log->Log(icon::kError, "",
                    "Connection to " + Describe() + " lost; it is reopened on the next cycle");
        }
        if (m_engine->connectionLost())
            m_engine->close();
        return false;
    }
    outcome.affected = rows.affected;
    if (rows.hasRows)
        outcome.rows = std::make_unique<Recordset>(std::move(rows.columns), std::move(rows.rows));
    return true;
}

void db::repairText(std::string& text)
{
    if (!RepairUtf8(text) || m_repairLogged)
        return;
    m_repairLogged = true;
    if (m_log)
        m_log->Log(icon::kWarning, "", "Text that was not valid UTF-8 is stored with its bad bytes replaced");
}

bool db::runOnce(const std::string& sql, const std::vector<DbValue>& values, bool wantRows, Outcome& outcome,
    EngineError& error)
{
    const BusyTimer timer(m_busy);
    outcome = Outcome {};
    const EngineKind engine = Kind();
    std::string text = sql;
    repairText(text);
    std::vector<DbValue> bound = values;
    for (DbValue& v : bound)
        if (v)
            repairText(*v);
    const TranslatedSql t = TranslateSql(text, engine);
    if (t.identityMark > 0) {
        bound.resize(static_cast<std::size_t>(t.identityMark));
        bound.back() = m_engine ? std::to_string(m_engine->lastInsertId()) : "0";
    }
    if (t.attachFile.empty() || engine == EngineKind::Postgres)
        return runBound(Bound {t.sql, bound}, outcome, error) && (!wantRows || outcome.rows);
    Outcome ignored;
    if (!runBound(
            Bound {"ATTACH DATABASE ? AS " + std::string(kAttachedSchema), {t.attachFile}}, ignored, error))
        return false;
    const bool ok = runBound(Bound {t.sql, bound}, outcome, error);
    EngineError detachError;
    runBound(Bound {"DETACH DATABASE " + std::string(kAttachedSchema), {}}, ignored, detachError);
    return ok;
}

bool db::runWithRetries(
    const std::string& sql, bool wantRows, Outcome& outcome, const std::vector<DbValue>& values)
{
    return withRetries([&](EngineError& e) {
        if (runOnce(sql, values, wantRows, outcome, e))
            return true;
        if (e.number == 0)
            e = EngineError {kGenericFailure, 0, "3000", "The statement returned no rows.", true};
        return false;
    });
}

void db::makeUpdatable(Recordset& set, const std::string& sql)
{
    std::smatch m;
    if (Kind() != EngineKind::Sqlite)
        return;
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

std::unique_ptr<Recordset> db::OpenBound(const std::string& sql, const std::vector<DbValue>& values)
{
    Outcome outcome;
    if (!runWithRetries(sql, true, outcome, values))
        return nullptr;
    return std::move(outcome.rows);
}

std::int32_t db::ExecuteBound(
    const std::string& sql, const std::vector<DbValue>& values, std::unique_ptr<Recordset>* rows)
{
    Outcome outcome;
    if (!runWithRetries(sql, rows != nullptr, outcome, values))
        return -1;
    if (rows)
        *rows = std::move(outcome.rows);
    return static_cast<std::int32_t>(outcome.affected);
}

std::int32_t db::TryExecuteBound(const std::string& sql, const std::vector<DbValue>& values, bool& busy)
{
    ResetError();
    busy = false;
    Outcome outcome;
    EngineError error;
    if (IsConnected())
        m_engine->setLockWait(0);
    const bool ok = runOnce(sql, values, false, outcome, error);
    if (IsConnected())
        m_engine->setLockWait(LockWaitMs);
    if (ok)
        return static_cast<std::int32_t>(outcome.affected);
    recordError(error);
    busy = RetryAllowed(error);
    return -1;
}

std::int64_t db::runBoundWithRetries(const Bound& statement, std::int64_t* rowid)
{
    Outcome outcome;
    if (!withRetries([&](EngineError& e) { return runBound(statement, outcome, e); }))
        return -1;
    if (rowid && IsConnected())
        *rowid = m_engine->lastInsertId();
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

bool db::Savepoint()
{
    return transactionStep("SAVEPOINT part", true);
}

bool db::ReleaseSavepoint()
{
    return transactionStep("RELEASE SAVEPOINT part", true);
}

bool db::RollbackToSavepoint()
{
    return transactionStep("ROLLBACK TO SAVEPOINT part", true) && ReleaseSavepoint();
}

std::optional<std::vector<std::string>> db::TableNames()
{
    if (!IsConnected())
        return std::nullopt;
    return m_engine->tableNames();
}

bool db::Compact()
{
    // A database server keeps its own files in order.
    if (Kind() == EngineKind::Postgres)
        return true;
    const bool wasOpen = IsConnected();
    CloseDatabase();
    std::error_code ec;
    std::string reason;
    bool copyBackFailed = false;

    // The work file sits in a folder of its own that no other user can predict, enter or swap.
    const std::string workFolder = MakePrivateTempFolder("vesk-compact");
    bool ok = !workFolder.empty();
    const std::string work = workFolder + "/" + GetFilename() + "$compact.mdb";

    if (ok)
        ok = SqliteEngine::CompactInto(m_filename, work, LockWaitMs);

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
    // A database server is asked when the database is opened.
    if (Kind() == EngineKind::Postgres)
        return true;
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
