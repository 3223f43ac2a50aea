#pragma once

#include "store/Engine.h"

struct sqlite3;

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
    EngineError errorOf(int code) const;

    sqlite3* m_connection = nullptr;
};

} // namespace vesk::store
