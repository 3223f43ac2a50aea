#pragma once

#include "api/CommitGroup.h"
#include "api/ConnectionPool.h"
#include "api/Keys.h"
#include "api/Metrics.h"
#include "api/Sessions.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace vesk {
class LogSink;
}

namespace vesk::api {

// Requests with an Idempotency-Key being worked on in this process: a second one with the same
// key is told so at once (other processes learn it from the outbox's record).
class InFlight
{
public:
    bool begin(const std::string& owner, const std::string& key);
    void end(const std::string& owner, const std::string& key);

private:
    std::mutex m_mutex;
    std::set<std::pair<std::string, std::string>> m_keys;
};

// A file the server answers with as it is, built into the program.
struct StaticFile
{
    std::string_view path;
    std::string_view contentType;
    std::string_view content;
};

// What the route handlers work with; one per server, shared by its threads.
struct Services
{
    Services(ConnectionPool& pool, LogSink& log)
        : pool(pool)
        , log(log)
    {
    }

    ConnectionPool& pool;
    LogSink& log;
    // The address filter of the console: the reason a number is refused, nothing when allowed.
    std::function<std::optional<std::string>(const std::string&)> refusal;
    std::vector<StaticFile> files;
    std::string station; // msgStation of the rows this server queues
    std::vector<AddressRange> webhookAllow; // [Webhooks] Allow: internal addresses webhooks may reach
    std::atomic<int> maxTextChars {0}; // the outbox's longest text, read at start and every minute
    Metrics metrics;
    KeyCache keys {std::chrono::seconds(1)};
    FailureLimiter failures {10, std::chrono::seconds(60)};
    InFlight inFlight;
    CommitGroup commits {pool};
    Sessions sessions;

    // Unix seconds now.
    static std::int64_t unixNow()
    {
        return std::chrono::duration_cast<std::chrono::seconds>(
            std::chrono::system_clock::now().time_since_epoch())
            .count();
    }
};

} // namespace vesk::api
