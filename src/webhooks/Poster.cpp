#include "webhooks/Poster.h"

#include "api/WebhookTarget.h"
#include "support/Convert.h"

#include <arpa/inet.h>
#include <curl/curl.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <chrono>

namespace vesk::webhooks {

namespace {

std::size_t discard(char*, std::size_t size, std::size_t n, void*)
{
    return size * n;
}

// Retry-After in seconds or as an HTTP date.
std::size_t onHeader(char* data, std::size_t size, std::size_t n, void* out)
{
    const std::string line(data, size * n);
    const auto colon = line.find(':');
    if (colon != std::string::npos && ToLower(line.substr(0, colon)) == "retry-after") {
        std::string value = line.substr(colon + 1);
        value.erase(0, value.find_first_not_of(' '));
        while (!value.empty() && (value.back() == '\r' || value.back() == '\n' || value.back() == ' '))
            value.pop_back();
        auto& retryAfter = *static_cast<std::optional<std::int64_t>*>(out);
        if (!value.empty() && value.size() < 12
            && value.find_first_not_of("0123456789") == std::string::npos) {
            retryAfter = std::stoll(value);
        } else if (const time_t when = curl_getdate(value.c_str(), nullptr); when > 0) {
            retryAfter = std::max<std::int64_t>(0, when - std::time(nullptr));
        }
    }
    return size * n;
}

} // namespace

Poster::Poster(std::vector<api::AddressRange> allow, std::chrono::milliseconds timeout)
    : m_allow(std::move(allow))
    , m_timeout(timeout)
    , m_curl(curl_easy_init())
{
}

Poster::~Poster()
{
    if (m_curl)
        curl_easy_cleanup(m_curl);
}

int Poster::openSocket(void* self, int purpose, void* address)
{
    auto* poster = static_cast<Poster*>(self);
    const auto* a = static_cast<curl_sockaddr*>(address);
    char text[INET6_ADDRSTRLEN] = {};
    if (a->family == AF_INET)
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&a->addr)->sin_addr, text, sizeof text);
    else if (a->family == AF_INET6)
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&a->addr)->sin6_addr, text, sizeof text);
    if (purpose != CURLSOCKTYPE_IPCXN || !api::AddressAllowed(text, poster->m_allow)) {
        poster->m_refused = text[0] ? text : "an address of another family";
        return CURL_SOCKET_BAD;
    }
    return ::socket(a->family, a->socktype, a->protocol);
}

Poster::Answer Poster::post(const std::string& url,
    const std::vector<std::pair<std::string, std::string>>& headers, const std::string& body)
{
    Answer answer;
    std::string why;
    if (!api::ParseTargetUrl(url, why)) {
        answer.error = why;
        return answer;
    }
    if (!m_curl) {
        answer.error = "no HTTP client could be made";
        return answer;
    }
    m_refused.clear();
    curl_slist* list = nullptr;
    for (const auto& [name, value] : headers)
        list = curl_slist_append(list, (name + ": " + value).c_str());
    list = curl_slist_append(list, "Content-Type: application/json");
    list = curl_slist_append(list, "Expect:");
    CURL* c = m_curl;
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "http,https");
    curl_easy_setopt(c, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(c, CURLOPT_PROXY, "");
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(c, CURLOPT_TIMEOUT_MS, static_cast<long>(m_timeout.count()));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(m_timeout.count()));
    curl_easy_setopt(c, CURLOPT_OPENSOCKETFUNCTION, &Poster::openSocket);
    curl_easy_setopt(c, CURLOPT_OPENSOCKETDATA, this);
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, list);
    curl_easy_setopt(c, CURLOPT_USERAGENT, "vesk-api webhooks");
    curl_easy_setopt(c, CURLOPT_POST, 1L);
    curl_easy_setopt(c, CURLOPT_POSTFIELDS, body.data());
    curl_easy_setopt(c, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.size()));
    curl_easy_setopt(c, CURLOPT_WRITEFUNCTION, &discard);
    curl_easy_setopt(c, CURLOPT_HEADERFUNCTION, &onHeader);
    curl_easy_setopt(c, CURLOPT_HEADERDATA, &answer.result.retryAfter);
    const auto started = std::chrono::steady_clock::now();
    const CURLcode rc = curl_easy_perform(c);
    answer.millis
        = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - started)
              .count();
    curl_easy_setopt(c, CURLOPT_HTTPHEADER, nullptr);
    curl_slist_free_all(list);
    if (rc == CURLE_OK) {
        long status = 0;
        curl_easy_getinfo(c, CURLINFO_RESPONSE_CODE, &status);
        answer.result.status = static_cast<int>(status);
    } else if (!m_refused.empty()) {
        answer.error
            = "connection to " + m_refused + " refused: an internal address not listed in [Webhooks] Allow";
    } else {
        answer.error = curl_easy_strerror(rc);
    }
    return answer;
}

} // namespace vesk::webhooks
