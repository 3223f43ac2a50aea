#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace vesk::api {

// The threads that answer requests, taking them in the order they came. The server's network
// threads each hold their own share of the connections, and that share is rarely even; were they to
// answer too, a client on a crowded thread would wait for all its neighbours while another thread
// idles. Stopping answers every request already handed over, then joins.
class RequestWorkers
{
public:
    using Job = std::function<void()>;

    explicit RequestWorkers(int threads);
    ~RequestWorkers();
    RequestWorkers(const RequestWorkers&) = delete;
    RequestWorkers& operator=(const RequestWorkers&) = delete;

    // False once stopping: the caller runs the job itself.
    bool post(Job job);
    void stop();

private:
    void run();

    std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<Job> m_jobs;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace vesk::api
