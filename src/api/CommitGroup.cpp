#include "api/CommitGroup.h"

#include "api/ConnectionPool.h"

#include <algorithm>

namespace vesk::api {

namespace {

// The transaction is lost: nothing any write of the group kept is in the outbox.
template<typename Group> void fail(const Group& group)
{
    for (auto* entry : group)
        if (entry->outcome != CommitGroup::Outcome::Undone)
            entry->outcome = CommitGroup::Outcome::Failed;
}

} // namespace

CommitGroup::CommitGroup(ConnectionPool& pool)
    : m_pool(pool)
{
}

CommitGroup::Outcome CommitGroup::run(store::db& db, const Write& write, bool whole)
{
    Entry mine {&write};
    if (m_pool.kind() != store::EngineKind::Sqlite) {
        if (whole)
            return write(db);
        // A database server commits many connections side by side: each write keeps its own.
        commit(db, {&mine});
        return mine.outcome;
    }
    std::unique_lock lock(m_mutex);
    m_waiting.push_back(&mine);
    while (!mine.done) {
        if (m_leading || m_waiting.empty()) {
            m_done.wait(lock);
            continue;
        }
        // Nobody is committing: this thread commits what waits, its own write among it unless
        // an earlier group took that.
        m_leading = true;
        const std::size_t n = std::min(m_waiting.size(), kMostInGroup);
        std::vector<Entry*> group(m_waiting.begin(), m_waiting.begin() + static_cast<std::ptrdiff_t>(n));
        m_waiting.erase(m_waiting.begin(), m_waiting.begin() + static_cast<std::ptrdiff_t>(n));
        lock.unlock();
        const bool reached = commit(db, group);
        lock.lock();
        for (Entry* entry : group)
            entry->done = true;
        if (!reached) {
            // Those that came meanwhile have waited as long as this group did for the same lock:
            // they are answered now rather than wait that long again.
            for (Entry* entry : m_waiting)
                entry->done = true; // Failed, as they start
            m_waiting.clear();
        }
        m_leading = false;
        m_done.notify_all();
    }
    return mine.outcome;
}

bool CommitGroup::commit(store::db& db, const std::vector<Entry*>& group)
{
    const auto writer = m_pool.writer();
    if (!db.BeginTransaction())
        return false; // every entry stays Failed
    // The transaction is given up: nothing of the group is kept.
    const auto lost = [&] {
        db.RollbackTransaction();
        fail(group);
        return false;
    };
    bool any = false;
    const bool alone = group.size() == 1;
    for (Entry* entry : group) {
        if (!alone && !db.Savepoint())
            return lost();
        const Outcome wrote = (*entry->write)(db);
        // A statement the outbox refused (a lock held elsewhere, a lost connection): the others
        // would meet the same.
        if (wrote == Outcome::Failed)
            return lost();
        const bool keep = wrote == Outcome::Committed;
        // The savepoint may be gone with the transaction (a failed statement may end it).
        if (!alone && !(keep ? db.ReleaseSavepoint() : db.RollbackToSavepoint()))
            return lost();
        entry->outcome = wrote;
        any = any || keep;
    }
    if (!any) {
        db.RollbackTransaction();
        return true;
    }
    return db.CommitTransaction() || lost();
}

} // namespace vesk::api
