#pragma once

#include "api/AddressRange.h"
#include "webhooks/RetrySchedule.h"

#include <chrono>
#include <string>
#include <utility>
#include <vector>

typedef void CURL;

namespace vesk::webhooks {

// One receiver's HTTP client: POSTs over one libcurl handle (the connection is kept between
// deliveries), refusing internal addresses when the connection is made (after the name is
// resolved, so a name that points inward is caught too) unless `allow` lists them, following no
// redirect and using no proxy.
class Poster
{
public:
    Poster(std::vector<api::AddressRange> allow, std::chrono::milliseconds timeout);
    ~Poster();
    Poster(const Poster&) = delete;
    Poster& operator=(const Poster&) = delete;

    struct Answer
    {
        TryResult result;
        std::string error; // why no status came; empty when one did
        std::int64_t millis = 0;
    };
    Answer post(const std::string& url, const std::vector<std::pair<std::string, std::string>>& headers,
        const std::string& body);

private:
    static int openSocket(void* self, int purpose, void* address);

    std::vector<api::AddressRange> m_allow;
    std::chrono::milliseconds m_timeout;
    CURL* m_curl = nullptr;
    std::string m_refused; // the address the last connection was refused for
};

} // namespace vesk::webhooks
