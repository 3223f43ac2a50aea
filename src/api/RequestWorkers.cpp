#include "api/RequestWorkers.h"

namespace vesk::api {

RequestWorkers::RequestWorkers(int threads)
{
    for (int i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { run(); });
}

RequestWorkers::~RequestWorkers()
{
    stop();
}

bool RequestWorkers::post(Job job)
{
    {
        const std::lock_guard lock(m_mutex);
        if (m_stopping)
            return false;
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
    return true;
}

void RequestWorkers::stop()
{
    {
        const std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (auto& thread : m_threads)
        if (thread.joinable())
            thread.join();
}

void RequestWorkers::run()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [&] { return m_stopping || !m_jobs.empty(); });
        if (m_jobs.empty())
            return; // stopping, and nothing is left to answer
        Job job = std::move(m_jobs.front());
        m_jobs.pop_front();
        lock.unlock();
        job();
        lock.lock();
    }
}

} // namespace vesk::api
