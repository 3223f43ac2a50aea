#pragma once

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <string>

namespace vesk::api {

// The status page's logins: a key, checked once, exchanged for a session whose token the browser
// keeps in an HttpOnly cookie. Only a hash of each token is held, with the key's hash, the
// token forms must carry (CSRF) and the end of its life. Sessions live in this process: behind a
// load balancer, a browser must stay with one vesk-api (sticky sessions) or log in again.
class Sessions
{
public:
    static constexpr std::chrono::hours kLife {12};
    static constexpr const char* kCookie = "vesk_session";

    struct Session
    {
        std::string keyHash;
        std::string csrf;
        std::chrono::system_clock::time_point expires;
    };
    struct Opened
    {
        std::string token;
        Session session;
    };

    // A new session for the key; nothing when the system has no randomness to give.
    std::optional<Opened> open(const std::string& keyHash, std::chrono::system_clock::time_point now);
    std::optional<Session> find(const std::string& token, std::chrono::system_clock::time_point now);
    void close(const std::string& token);

private:
    static constexpr std::size_t kMostSessions = 10000;
    std::mutex m_mutex;
    std::map<std::string, Session> m_sessions; // by token hash
};

// The value of one cookie from a Cookie header; empty when it is not there.
std::string CookieValue(const std::string& header, const std::string& name);
// Equal texts, compared in a time that does not tell where they differ.
bool SameSecret(const std::string& a, const std::string& b);

} // namespace vesk::api
