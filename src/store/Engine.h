#pragma once

#include "support/Convert.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::store {

// The database engines a db can talk to: SQLite files in the data folder, or a PostgreSQL
// database shared by consoles on several machines.
enum class EngineKind { Sqlite, Postgres };

// An error as the engine reports it: a general number, and for errors of the database engine
// the engine's own code and a state number that marks lock conflicts.
struct EngineError
{
    std::uint32_t number = 0;
    std::int64_t native = 0;
    std::string sqlState;
    std::string description;
    bool fromEngine = false;
};

inline constexpr std::uint32_t kGenericFailure = 0x80004005;
inline constexpr std::uint32_t kObjectClosed = 0x800A0E78;

// State numbers the retry rule knows as lock conflicts, and the ones other errors report.
namespace state {
inline constexpr int kLockedByOtherUser = 3260;
inline constexpr int kTableLocked = 3261;
inline constexpr int kFileNotFound = 3024;
inline constexpr int kOther = 3000;
} // namespace state

// What one statement gave back: its rows when it returns any, else the rows it touched.
struct EngineRows
{
    std::vector<std::string> columns;
    std::vector<std::vector<DbValue>> rows;
    bool hasRows = false;
    std::int64_t affected = 0;
};

// One connection to one database. Statements arrive already in the engine's own dialect, one
// at a time, with values bound to their marks.
class Engine
{
public:
    virtual ~Engine() = default;
    virtual EngineKind kind() const = 0;
    // The target is a file path (SQLite) or a connection string (PostgreSQL).
    virtual bool open(const std::string& target, int connectMode, int lockWaitMs, EngineError& error) = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    virtual bool run(
        const std::string& sql, const std::vector<DbValue>& values, EngineRows& out, EngineError& error)
        = 0;
    // The id the last INSERT numbered.
    virtual std::int64_t lastInsertId() const = 0;
    // The connection's current error, for a caller that asks after the fact.
    virtual EngineError currentError() const = 0;
    // The tables and views, by name.
    virtual std::vector<std::string> tableNames() = 0;
    // True after the server went away; the next open makes a new connection.
    virtual bool connectionLost() const { return false; }
    // How long the open connection waits on another program's lock from now on, where the
    // engine lets that change between statements.
    virtual void setLockWait(int /*ms*/) { }
};

// Replaces each invalid UTF-8 sequence by U+FFFD; true when anything was replaced.
bool RepairUtf8(std::string& text);

} // namespace vesk::store
