#pragma once

#include "store/Engine.h"
#include "store/Recordset.h"
#include "support/Clock.h"
#include "support/EventPump.h"
#include "support/LogSink.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vesk::store {

// Connect modes: share bits and access bits, combined.
namespace mode {
inline constexpr int kReadWriteShared = 19;
inline constexpr int kReadShared = 17;
inline constexpr int kReadWriteExclusive = 15;
inline constexpr int kReadExclusive = 13;
} // namespace mode

// Cursor and lock types for OpenDynaset.
inline constexpr int kForwardOnly = 0;
inline constexpr int kDynamic = 2;
inline constexpr int kStatic = 3;
inline constexpr int kReadOnly = 1;
inline constexpr int kOptimistic = 3;
inline constexpr int kBatchOptimistic = 4;

// One database: an SQLite file, or a PostgreSQL database named by a connection string. Operations never
// throw: they return a flag, a count or a record set and keep the reason of a failure in LastError. Lock
// conflicts with other programs sharing the file are retried a few times with short random waits during which
// pending events run.
class db
{
public:
    db(Clock& clock, EventPump& pump);
    ~db();
    db(const db&) = delete;
    db& operator=(const db&) = delete;

    // A file path, or a libpq connection string that selects PostgreSQL.
    const std::string& Filename() const { return m_filename; }
    void setFilename(std::string filename) { m_filename = std::move(filename); }
    EngineKind Kind() const;
    // On PostgreSQL the schema the tables live in ("archive", "contacts"); empty for the outbox's.
    const std::string& Schema() const { return m_schema; }
    void setSchema(std::string schema) { m_schema = std::move(schema); }
    // Where the activity log lines of the handle itself go (text repaired, connection regained).
    void setLog(LogSink* log) { m_log = log; }
    // The database for log lines and messages: the file, or the server and database without
    // anything secret from the connection string.
    std::string Describe() const;
    int MaxRetryCount = 3;
    int MaxRetryInterval = 1000;
    // How long the engine itself waits on a lock before reporting a conflict.
    int LockWaitMs = 100;

    bool IsError() const { return m_isError; }
    // Statements that failed for good (after their retries) since the handle was made: a caller
    // that runs several steps as one piece of work compares it before and after.
    std::uint64_t Failures() const { return m_failures; }
    const std::string& LastError() const { return m_lastError; }
    // True when the server went away during the last statement; the next open reconnects.
    bool ConnectionLost() const { return m_lost; }
    // Told of every statement after it ran, as the engine was asked to run it, with its time.
    std::function<void(const std::string& sql, std::chrono::nanoseconds took)> StatementObserver;
    // Time spent opening the file and running statements, for the benchmarks.
    std::chrono::nanoseconds BusyTime() const { return m_busy; }

    bool OpenDatabase(int connectMode);
    void CloseDatabase();
    bool IsConnected() const { return m_engine && m_engine->isOpen(); }

    std::unique_ptr<Recordset> OpenDynaset(
        const std::string& sql, int cursorType = kForwardOnly, int lockType = kReadOnly);
    std::unique_ptr<Recordset> DisconnectedSet(const std::string& sql);
    bool Execute(const std::string& sql);
    std::unique_ptr<Recordset> ExecuteRecordset(const std::string& sql);
    std::int32_t ExecuteRecordResult(const std::string& sql);
    // The same with values bound to the statement's "?" marks, never pasted into its text.
    std::unique_ptr<Recordset> OpenBound(const std::string& sql, const std::vector<DbValue>& values);
    // Retried as Execute is. Rows it returns come back through `rows` when given. The result is
    // the number of rows changed, or -1 when the statement failed (the reason is in LastError).
    std::int32_t ExecuteBound(const std::string& sql, const std::vector<DbValue>& values,
        std::unique_ptr<Recordset>* rows = nullptr);

    // One try of one statement that must not hold its caller up: no lock wait, no retry. The
    // rows changed, or -1 when it failed; `busy` tells a lock held by another program.
    std::int32_t TryExecuteBound(const std::string& sql, const std::vector<DbValue>& values, bool& busy);

    bool BeginTransaction();
    bool CommitTransaction();
    void RollbackTransaction();
    // A mark inside a transaction: what follows it can be undone alone, the rest kept.
    bool Savepoint();
    bool ReleaseSavepoint();
    bool RollbackToSavepoint();

    std::optional<std::vector<std::string>> TableNames();
    bool Compact();
    bool FileExists() const;

    void RecordError(); // the connection's current error
    void ResetError();

    std::string GetDrive() const;
    std::string GetFolder() const;
    std::string GetFilename() const;
    bool ResetNetworkDrive(int window, const std::string& drive);

    // Whether an error is a lock or sharing conflict worth another attempt.
    static bool RetryAllowed(const EngineError& error);

private:
    friend class Recordset;

    struct Outcome
    {
        std::unique_ptr<Recordset> rows;
        std::int64_t affected = 0;
    };
    struct Bound
    {
        std::string sql; // already in the engine's dialect
        std::vector<DbValue> values;
    };

    template<class Attempt> bool withRetries(Attempt&& attempt);
    bool runOnce(const std::string& sql, const std::vector<DbValue>& values, bool wantRows, Outcome& outcome,
        EngineError& error);
    bool runBound(const Bound& statement, Outcome& outcome, EngineError& error);
    bool openOnce(int connectMode, EngineError& error);
    void recordError(const EngineError& error);
    void retryWait(int attempt);
    void repairText(std::string& text);
    bool runWithRetries(
        const std::string& sql, bool wantRows, Outcome& outcome, const std::vector<DbValue>& values = {});
    std::int64_t runBoundWithRetries(const Bound& statement, std::int64_t* rowid);
    void makeUpdatable(Recordset& set, const std::string& sql);
    bool transactionStep(const char* statement, bool recordFailure);

    Clock& m_clock;
    EventPump& m_pump;
    std::string m_filename;
    std::string m_schema;
    LogSink* m_log = nullptr;
    std::unique_ptr<Engine> m_engine;
    bool m_lost = false;
    bool m_wasLost = false;
    bool m_repairLogged = false;
    bool m_isError = false;
    std::uint64_t m_failures = 0;
    std::string m_lastError;
    std::chrono::nanoseconds m_busy {0};
};

} // namespace vesk::store
