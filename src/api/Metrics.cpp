#include "api/Metrics.h"

#include <sstream>

namespace vesk::api {

namespace {

// A label value as the exposition format wants it.
std::string label(const std::string& v)
{
    std::string out;
    for (const char c : v) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c == '\n' ? 'n' : c;
    }
    return out;
}

} // namespace

void Metrics::request(
    const std::string& route, const std::string& method, int status, std::chrono::nanoseconds took)
{
    const double seconds = std::chrono::duration<double>(took).count();
    const std::lock_guard lock(m_mutex);
    ++m_requests[{route.empty() ? "unmatched" : route, method, status}];
    for (std::size_t i = 0; i < kBuckets.size(); ++i)
        if (seconds <= kBuckets[i])
            ++m_buckets[i];
    ++m_count;
    m_sum += seconds;
}

void Metrics::accepted(std::size_t messages)
{
    const std::lock_guard lock(m_mutex);
    m_accepted += messages;
}

std::string Metrics::text(std::optional<std::int64_t> queueLength) const
{
    std::ostringstream out;
    const std::lock_guard lock(m_mutex);
    out << "# HELP vesk_api_requests_total HTTP requests answered, by route, method and status.\n"
           "# TYPE vesk_api_requests_total counter\n";
    for (const auto& [key, n] : m_requests)
        out << "vesk_api_requests_total{route=\"" << label(std::get<0>(key)) << "\",method=\""
            << label(std::get<1>(key)) << "\",code=\"" << std::get<2>(key) << "\"} " << n << '\n';
    out << "# HELP vesk_api_request_duration_seconds Time from a request's arrival to its answer.\n"
           "# TYPE vesk_api_request_duration_seconds histogram\n";
    for (std::size_t i = 0; i < kBuckets.size(); ++i)
        out << "vesk_api_request_duration_seconds_bucket{le=\"" << kBuckets[i] << "\"} " << m_buckets[i]
            << '\n';
    out << "vesk_api_request_duration_seconds_bucket{le=\"+Inf\"} " << m_count << '\n'
        << "vesk_api_request_duration_seconds_sum " << m_sum << '\n'
        << "vesk_api_request_duration_seconds_count " << m_count << '\n'
        << "# HELP vesk_api_messages_accepted_total Messages queued in the outbox through the API.\n"
           "# TYPE vesk_api_messages_accepted_total counter\n"
        << "vesk_api_messages_accepted_total " << m_accepted << '\n'
        << "# HELP vesk_queue_length Messages waiting in the outbox (-1 when it cannot be read).\n"
           "# TYPE vesk_queue_length gauge\n"
        << "vesk_queue_length " << queueLength.value_or(-1) << '\n';
    return out.str();
}

} // namespace vesk::api
