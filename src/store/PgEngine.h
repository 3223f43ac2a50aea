#pragma once

#include "store/Engine.h"

#include <string>

struct pg_conn;

namespace vesk::store {

// A PostgreSQL database named by a libpq connection string. Each connection starts with the
// session settings the console relies on (UTF-8, ISO dates, standard strings, short lock and
// statement time-outs, TCP keepalives) and, when one is named, the schema its tables live in.
class PgEngine final : public Engine
{
public:
    explicit PgEngine(std::string schema = {});
    ~PgEngine() override { close(); }
    PgEngine(const PgEngine&) = delete;
    PgEngine& operator=(const PgEngine&) = delete;

    EngineKind kind() const override { return EngineKind::Postgres; }
    bool open(const std::string& target, int connectMode, int lockWaitMs, EngineError& error) override;
    void close() override;
    bool isOpen() const override { return m_connection != nullptr; }
    bool run(const std::string& sql, const std::vector<DbValue>& values, EngineRows& out,
        EngineError& error) override;
    std::int64_t lastInsertId() const override { return m_lastInsertId; }
    EngineError currentError() const override { return m_lastError; }
    std::vector<std::string> tableNames() override;
    bool connectionLost() const override { return m_lost; }

    // Server and database of a connection string, for log lines: never its password.
    static std::string Describe(const std::string& target);

    inline static constexpr int kStatementTimeoutMs = 30000;
    inline static constexpr int kConnectTimeoutSeconds = 10;

private:
    std::string m_schema;
    pg_conn* m_connection = nullptr;
    std::int64_t m_lastInsertId = 0;
    EngineError m_lastError;
    bool m_lost = false;
};

} // namespace vesk::store
