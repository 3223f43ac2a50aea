#pragma once

#include "api/AddressRange.h"
#include "support/Clock.h"
#include "support/EventPump.h"
#include "support/LogSink.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vesk::webhooks {

struct DispatcherSettings
{
    std::vector<api::AddressRange> allow; // [Webhooks] Allow
    std::chrono::milliseconds timeout {15000}; // of one POST
    std::chrono::milliseconds poll {200}; // how often an idle endpoint looks for work
    int batch = 100; // deliveries taken at a time
};

// Delivers the outbox's webhook events. Each enabled endpoint has a lane of its own (a thread
// with its own connection and HTTP client), so one slow or failing receiver never holds up
// another; within a lane the deliveries go oldest first, and a delivery waiting for a retry
// holds the later ones back. On PostgreSQL a lane takes its endpoint's turn with FOR UPDATE SKIP
// LOCKED for the length of a batch, so several vesk-api processes share the endpoints and each
// delivery goes out from one of them. Retry times come from the injected clock.
class Dispatcher
{
public:
    // `target` and `schema` name the outbox as store::LocationOf gives it.
    Dispatcher(std::string target, std::string schema, Clock& clock, EventPump& pump, LogSink& log,
        DispatcherSettings settings);
    ~Dispatcher();
    Dispatcher(const Dispatcher&) = delete;
    Dispatcher& operator=(const Dispatcher&) = delete;

    void start();
    void stop();

private:
    class Lane;
    void supervise();

    std::string m_target;
    std::string m_schema;
    Clock& m_clock;
    EventPump& m_pump;
    LogSink& m_log;
    DispatcherSettings m_settings;
    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopping = false;
    std::thread m_thread;
    std::map<long long, std::unique_ptr<Lane>> m_lanes;
};

} // namespace vesk::webhooks
