#pragma once

#include "store/Engine.h"

#include <memory>
#include <string>
#include <vector>

struct sqlite3;
struct sqlite3_stmt;

namespace vesk::store {

// An SQLite file in the data folder.
class SqliteEngine final : public Engine
{
public:
    SqliteEngine() = default;
    ~SqliteEngine() override { close(); }
    SqliteEngine(const SqliteEngine&) = delete;
    SqliteEngine& operator=(const SqliteEngine&) = delete;

    EngineKind kind() const override { return EngineKind::Sqlite; }
    bool open(const std::string& target, int connectMode, int lockWaitMs, EngineError& error) override;
    void close() override;
    bool isOpen() const override { return m_connection != nullptr; }
    bool run(const std::string& sql, const std::vector<DbValue>& values, EngineRows& out,
        EngineError& error) override;
    std::int64_t lastInsertId() const override;
    EngineError currentError() const override;
    std::vector<std::string> tableNames() override;
    void setLockWait(int ms) override;

    // Writes a compacted copy of a closed file; false when the file cannot be read.
    static bool CompactInto(const std::string& file, const std::string& work, int lockWaitMs);

private:
    struct Finalizer
    {
        void operator()(sqlite3_stmt* s) const;
    };
    using Statement = std::unique_ptr<sqlite3_stmt, Finalizer>;
    struct Prepared
    {
        std::string sql;
        Statement statement;
    };

    EngineError errorOf(int code) const;
    // The statement for `sql`, kept from an earlier run or prepared now; empty for only blanks
    // or a comment, and false when it cannot be prepared or holds more than one statement.
    bool take(const std::string& sql, Statement& statement, EngineError& error);
    void keep(const std::string& sql, Statement statement);

    sqlite3* m_connection = nullptr;
    // The API and the console run a few statements over and over, and preparing an insert into
    // the outbox costs about as much as running it. The most recently used last.
    std::vector<Prepared> m_prepared;
};

} // namespace vesk::store
