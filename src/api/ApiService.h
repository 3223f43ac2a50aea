#pragma once

#include "api/ConnectionPool.h"
#include "api/HttpServer.h"
#include "api/Router.h"
#include "api/Services.h"
#include "api/Worker.h"
#include "routing/AddressFilter.h"

#include <memory>
#include <string>
#include <vector>

namespace vesk::api {

// What one vesk-api serves and how.
struct ApiConfig
{
    std::string dataFolder; // the outbox's folder, when `database` is empty
    std::string database; // a libpq connection string for an outbox on PostgreSQL
    ServerOptions server;
    std::vector<AddressRange> webhookAllow; // [Webhooks] Allow
    int webhookKeepDays = 7; // [Webhooks] KeepDays
};

// The running API: the outbox's connections, the address filter, the route table, the HTTP
// server and the jobs beside it (keeping idempotency records to their 24 hours, following the
// outbox's longest text). More jobs can be added with addWorker.
class ApiService
{
public:
    ApiService(ApiConfig config, Clock& clock, EventPump& pump, LogSink& log);
    ~ApiService();

    // Checks the outbox (bringing an older one up to date), loads the filter and starts listening.
    // False with the reason when it cannot serve.
    bool start(std::string& error);
    void stop();
    void addWorker(std::chrono::milliseconds period, std::function<void()> job);

    const std::vector<int>& ports() const { return m_server->ports(); }
    Services& services() { return *m_services; }

private:
    void maintain();

    ApiConfig m_config;
    Clock& m_clock;
    EventPump& m_pump;
    LogSink& m_log;
    routing::AddressFilter m_filter;
    std::unique_ptr<ConnectionPool> m_pool;
    std::unique_ptr<Services> m_services;
    std::unique_ptr<Router> m_router;
    std::unique_ptr<HttpServer> m_server;
    std::vector<std::unique_ptr<PeriodicWorker>> m_workers;
};

} // namespace vesk::api
