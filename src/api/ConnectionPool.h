#pragma once

#include "store/db.h"
#include "support/Clock.h"
#include "support/EventPump.h"
#include "support/LogSink.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace vesk::api {

// Connections to the outbox for the server's worker threads: a db serves one thread at a time,
// so each request borrows one for its length. A connection the server dropped is opened again
// when it is next lent. SQLite takes one writer at a time per file: writers of this process queue
// here for it rather than spin on the file's lock.
class ConnectionPool
{
public:
    // `schema` is what store::LocationOf gives for the outbox; `size` connections at most.
    ConnectionPool(
        Clock& clock, EventPump& pump, LogSink& log, std::string target, std::string schema, int size);

    class Lease
    {
    public:
        Lease(ConnectionPool& pool, std::unique_ptr<store::db> db);
        ~Lease();
        Lease(Lease&&) = default;
        Lease(const Lease&) = delete;
        Lease& operator=(const Lease&) = delete;
        store::db& operator*() const { return *m_db; }
        store::db* operator->() const { return m_db.get(); }
        // False when the outbox could not be opened (the reason is in LastError).
        bool open() const { return m_db->IsConnected(); }

    private:
        ConnectionPool* m_pool;
        std::unique_ptr<store::db> m_db;
    };

    // Waits for a free connection; it is open unless the outbox cannot be reached.
    Lease lease();
    // Closes the connections nobody borrowed for `after`. A console loads an SQLite outbox's
    // settings only while no other program has the file open: between bursts of requests the
    // API leaves it free.
    void closeIdle(std::chrono::milliseconds after);
    // Held around a transaction that writes: the one writer of this process on an SQLite file.
    // Writers take their turns in the order they asked, so none waits behind later ones.
    class WriterTurn
    {
    public:
        explicit WriterTurn(ConnectionPool* pool);
        ~WriterTurn();
        WriterTurn(const WriterTurn&) = delete;
        WriterTurn& operator=(const WriterTurn&) = delete;

    private:
        ConnectionPool* m_pool;
    };
    WriterTurn writer();
    store::EngineKind kind() const;

private:
    void giveBack(std::unique_ptr<store::db> db);

    Clock& m_clock;
    EventPump& m_pump;
    LogSink& m_log;
    std::string m_target;
    std::string m_schema;
    std::mutex m_mutex;
    std::condition_variable m_free;
    struct Idle
    {
        std::unique_ptr<store::db> db;
        std::chrono::steady_clock::time_point since;
    };
    std::vector<Idle> m_idle; // the most recently returned last
    int m_made = 0;
    int m_size;
    std::mutex m_turns;
    std::condition_variable m_turnOver;
    std::uint64_t m_nextTurn = 0;
    std::uint64_t m_serving = 0;
};

// How long a connection waits on another writer's lock before the statement counts as busy.
inline constexpr int kApiLockWaitMs = 5000;

} // namespace vesk::api
