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
            db = std::move(m_idle.back());
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
    }
    if (!db->IsConnected())
        db->OpenDatabase(store::mode::kReadWriteShared);
    return Lease(*this, std::move(db));
}

void ConnectionPool::giveBack(std::unique_ptr<store::db> db)
{
    // A console loads the outbox's settings with the file to itself: an SQLite outbox is not
    // held open between requests.
    if (kind() == store::EngineKind::Sqlite)
        db->CloseDatabase();
    {
        const std::lock_guard lock(m_mutex);
        m_idle.push_back(std::move(db));
    }
    m_free.notify_one();
}

std::unique_lock<std::mutex> ConnectionPool::writer()
{
    if (kind() == store::EngineKind::Sqlite)
        return std::unique_lock(m_writer);
    return {};
}

store::EngineKind ConnectionPool::kind() const
{
    return store::IsConnectionString(m_target) ? store::EngineKind::Postgres : store::EngineKind::Sqlite;
}

} // namespace vesk::api
