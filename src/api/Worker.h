#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

namespace vesk::api {

// A job the server runs beside the requests, on a thread of its own, every `period` (the
// first time at once), until stopped. Stopping waits for a run under way.
class PeriodicWorker
{
public:
    PeriodicWorker(std::chrono::milliseconds period, std::function<void()> job);
    ~PeriodicWorker();
    PeriodicWorker(const PeriodicWorker&) = delete;
    PeriodicWorker& operator=(const PeriodicWorker&) = delete;

    void stop();

private:
    void run();

    std::chrono::milliseconds m_period;
    std::function<void()> m_job;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
};

} // namespace vesk::api
