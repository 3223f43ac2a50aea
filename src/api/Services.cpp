#include "api/Services.h"

namespace vesk::api {

bool InFlight::begin(const std::string& owner, const std::string& key)
{
    const std::lock_guard lock(m_mutex);
    return m_keys.emplace(owner, key).second;
}

void InFlight::end(const std::string& owner, const std::string& key)
{
    const std::lock_guard lock(m_mutex);
    m_keys.erase({owner, key});
}

} // namespace vesk::api
