#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <tuple>

namespace vesk::api {

// What the server counts for /metrics: requests by route, method and status, one latency
// histogram, and the messages it accepted.
class Metrics
{
public:
    void request(
        const std::string& route, const std::string& method, int status, std::chrono::nanoseconds took);
    void accepted(std::size_t messages);
    // The Prometheus text, with the outbox's pending count when it could be read.
    std::string text(std::optional<std::int64_t> queueLength) const;

private:
    static constexpr std::array<double, 12> kBuckets
        = {0.001, 0.0025, 0.005, 0.01, 0.025, 0.05, 0.1, 0.25, 0.5, 1, 2.5, 5};
    mutable std::mutex m_mutex;
    std::map<std::tuple<std::string, std::string, int>, std::uint64_t> m_requests;
    std::array<std::uint64_t, kBuckets.size()> m_buckets {};
    std::uint64_t m_count = 0;
    double m_sum = 0;
    std::uint64_t m_accepted = 0;
};

} // namespace vesk::api
