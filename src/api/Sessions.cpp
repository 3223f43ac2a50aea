#include "api/Sessions.h"

#include "api/Keys.h"
#include "support/Convert.h"

namespace vesk::api {

std::optional<Sessions::Opened> Sessions::open(
    const std::string& keyHash, std::chrono::system_clock::time_point now)
{
    Opened o;
    o.token = RandomHex(32);
    o.session = Session {keyHash, RandomHex(24), now + kLife};
    // Without randomness the tokens would be all zeros: no session then.
    if (o.token.find_first_not_of('0') == std::string::npos
        || o.session.csrf.find_first_not_of('0') == std::string::npos)
        return std::nullopt;
    const std::lock_guard lock(m_mutex);
    if (m_sessions.size() >= kMostSessions)
        std::erase_if(m_sessions, [&](const auto& entry) { return entry.second.expires <= now; });
    if (m_sessions.size() >= kMostSessions)
        m_sessions.erase(m_sessions.begin()); // a flood of logins: some other session ends early
    m_sessions[KeyHash(o.token)] = o.session;
    return o;
}

std::optional<Sessions::Session> Sessions::find(
    const std::string& token, std::chrono::system_clock::time_point now)
{
    if (token.empty())
        return std::nullopt;
    const std::lock_guard lock(m_mutex);
    const auto it = m_sessions.find(KeyHash(token));
    if (it == m_sessions.end())
        return std::nullopt;
    if (it->second.expires <= now) {
        m_sessions.erase(it);
        return std::nullopt;
    }
    return it->second;
}

void Sessions::close(const std::string& token)
{
    const std::lock_guard lock(m_mutex);
    m_sessions.erase(KeyHash(token));
}

std::string CookieValue(const std::string& header, const std::string& name)
{
    std::size_t start = 0;
    while (start < header.size()) {
        const std::size_t end = std::min(header.find(';', start), header.size());
        const std::string part = Trim(header.substr(start, end - start));
        const std::size_t equals = part.find('=');
        if (equals != std::string::npos && part.substr(0, equals) == name)
            return part.substr(equals + 1);
        start = end + 1;
    }
    return {};
}

bool SameSecret(const std::string& a, const std::string& b)
{
    if (a.size() != b.size() || a.empty())
        return false;
    unsigned char diff = 0;
    for (std::size_t i = 0; i < a.size(); ++i)
        diff |= static_cast<unsigned char>(a[i] ^ b[i]);
    return diff == 0;
}

} // namespace vesk::api
