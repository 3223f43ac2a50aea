#include "api/Worker.h"

namespace vesk::api {

PeriodicWorker::PeriodicWorker(std::chrono::milliseconds period, std::function<void()> job)
    : m_period(period)
    , m_job(std::move(job))
    , m_thread([this] { run(); })
{
}

PeriodicWorker::~PeriodicWorker()
{
    stop();
}

void PeriodicWorker::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    if (m_thread.joinable())
        m_thread.join();
}

void PeriodicWorker::run()
{
    std::unique_lock lock(m_mutex);
    while (!m_stopping) {
        lock.unlock();
        m_job();
        lock.lock();
        m_wake.wait_for(lock, m_period, [&] { return m_stopping; });
    }
}

} // namespace vesk::api
