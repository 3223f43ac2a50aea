#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <vector>

namespace vesk::store {
class db;
}

namespace vesk::api {

class ConnectionPool;

// Writes to an SQLite file that arrive while another is being committed share the next commit: there
// every commit takes the one write lock and writes the log, and one commit for a group of submits
// keeps the accepted rate near the file's commit rate however many clients write at once. Each
// write runs in a savepoint of its own, so one that is refused undoes only its own rows.
class CommitGroup
{
public:
    explicit CommitGroup(ConnectionPool& pool);

    // Committed: kept; Undone: refused by the request's own rules, its rows taken back;
    // Failed: the outbox refused a statement or the transaction, and nothing of it was kept.
    enum class Outcome { Committed, Undone, Failed };
    // The writing part of one request: Committed to keep what it wrote, Undone to take it back,
    // Failed when a statement failed (the others of its group are not tried on that outbox).
    using Write = std::function<Outcome(store::db&)>;

    // Runs `write` on `db` or on the connection of the write that leads the group, in one
    // transaction with the writes waiting now. A database server runs a write that is `whole`
    // (one statement, never Undone once it wrote) as it is: a transaction around it would only
    // add two round trips.
    Outcome run(store::db& db, const Write& write, bool whole = false);

private:
    struct Entry
    {
        const Write* write;
        Outcome outcome = Outcome::Failed;
        bool done = false;
    };
    // False when the outbox refused the transaction.
    bool commit(store::db& db, const std::vector<Entry*>& group);

    ConnectionPool& m_pool;
    std::mutex m_mutex;
    std::condition_variable m_done;
    std::vector<Entry*> m_waiting;
    bool m_leading = false;
};

// The most writes one commit takes: a bound on the time the first of them waits for the last.
inline constexpr std::size_t kMostInGroup = 64;

} // namespace vesk::api
