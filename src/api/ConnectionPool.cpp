#include "api/ConnectionPool.h"

#include "store/ConnectionText.h"

namespace vesk::api {

ConnectionPool::ConnectionPool(
    Clock& clock, EventPump& pump, LogSink& log, std::string target, std::string schema, int size)
    : m_clock(clock)
    , m_pump(pump)
    , m_log(log)
    , m_target(std::move(target))
    , m_schema(std::move(schema))
    , m_size(std::max(size, 1))
{
}

ConnectionPool::Lease::Lease(ConnectionPool& pool, std::unique_ptr<store::db> db)
    : m_pool(&pool)
    , m_db(std::move(db))
{
}

ConnectionPool::Lease::~Lease()
{
    if (m_db)
        m_pool->giveBack(std::move(m_db));
}

ConnectionPool::Lease ConnectionPool::lease()
{
    std::unique_ptr<store::db> db;
    {
        std::unique_lock lock(m_mutex);
        m_free.wait(lock, [&] { return !m_idle.empty() || m_made < m_size; });
        if (!m_idle.empty()) {
            db = std::move(m_idle.back().db);
            m_idle.pop_back();
        } else {
            ++m_made;
        }
    }
    if (!db) {
        db = std::make_unique<store::db>(m_clock, m_pump);
        db->setFilename(m_target);
        db->setSchema(m_schema);
        db->setLog(&m_log);
        db->LockWaitMs = kApiLockWaitMs;
        db->MaxRetryCount = 1; // a client is told after one wait, and may try again itself
    }
    if (!db->IsConnected())
        db->OpenDatabase(store::mode::kReadWriteShared);
    return Lease(*this, std::move(db));
}

void ConnectionPool::giveBack(std::unique_ptr<store::db> db)
{
    {
        const std::lock_guard lock(m_mutex);
        // The most recently used is lent first: the others go idle and are closed.
        m_idle.push_back({std::move(db), std::chrono::steady_clock::now()});
    }
    m_free.notify_one();
}

void ConnectionPool::closeIdle(std::chrono::milliseconds after)
{
    std::vector<Idle> closing;
    {
        const std::lock_guard lock(m_mutex);
        const auto before = std::chrono::steady_clock::now() - after;
        for (auto it = m_idle.begin(); it != m_idle.end();) {
            if (it->since <= before && it->db->IsConnected()) {
                closing.push_back(std::move(*it));
                it = m_idle.erase(it);
            } else {
                ++it;
            }
        }
    }
    for (Idle& idle : closing)
        idle.db->CloseDatabase();
    {
        const std::lock_guard lock(m_mutex);
        for (Idle& idle : closing)
            m_idle.insert(m_idle.begin(), std::move(idle));
    }
    if (!closing.empty())
        m_free.notify_all();
}

ConnectionPool::WriterTurn ConnectionPool::writer()
{
    return WriterTurn(kind() == store::EngineKind::Sqlite ? this : nullptr);
}

ConnectionPool::WriterTurn::WriterTurn(ConnectionPool* pool)
    : m_pool(pool)
{
    if (!m_pool)
        return;
    std::unique_lock lock(m_pool->m_turns);
    const std::uint64_t mine = m_pool->m_nextTurn++;
    m_pool->m_turnOver.wait(lock, [&] { return m_pool->m_serving == mine; });
}

ConnectionPool::WriterTurn::~WriterTurn()
{
    if (!m_pool)
        return;
    {
        const std::lock_guard lock(m_pool->m_turns);
        ++m_pool->m_serving;
    }
    m_pool->m_turnOver.notify_all();
}

store::EngineKind ConnectionPool::kind() const
{
    return store::IsConnectionString(m_target) ? store::EngineKind::Postgres : store::EngineKind::Sqlite;
}

} // namespace vesk::api
