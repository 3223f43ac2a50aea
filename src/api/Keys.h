#pragma once

#include "api/AddressRange.h"

#include <chrono>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::api {

// API keys as clients hold them: "vk_" and 43 characters of base64url (256 random bits). Only
// their SHA-256 is stored: the keys are random, so no slower hash is needed to protect them.
inline constexpr std::string_view kKeyPrefix = "vk_";

// Bytes as base64url without padding.
std::string Base64Url(std::string_view bytes);
// A new key; empty when the system has no randomness to give.
std::string NewKeyText();
// The hash the outbox keeps and looks a key up by: lower-case hexadecimal SHA-256.
std::string KeyHash(std::string_view key);
// Random bytes as lower-case hexadecimal, for request ids.
std::string RandomHex(std::size_t bytes);
// Names: 1 to 64 letters, digits, ".", "_" or "-".
bool ValidKeyName(std::string_view name);
// "a,b" to its trimmed, non-empty parts.
std::vector<std::string> SplitList(std::string_view text);

// A working key, as requests are checked against it.
struct ApiKey
{
    std::string name;
    std::set<std::string> scopes;
    std::vector<AddressRange> allow; // empty for any address
};

// Keys found by their hash, kept for a short while so that a busy client costs one lookup a
// second, not one a request; a key revoked in the outbox therefore stops working within `life`.
class KeyCache
{
public:
    explicit KeyCache(std::chrono::milliseconds life)
        : m_life(life)
    {
    }
    std::optional<ApiKey> get(const std::string& hash, std::chrono::steady_clock::time_point now);
    void put(const std::string& hash, ApiKey key, std::chrono::steady_clock::time_point now);

private:
    struct Entry
    {
        ApiKey key;
        std::chrono::steady_clock::time_point at;
    };
    std::chrono::milliseconds m_life;
    std::mutex m_mutex;
    std::map<std::string, Entry> m_entries;
};

// Failed key checks counted per client address: after `most` in `window` the address is refused
// until the window has passed.
class FailureLimiter
{
public:
    FailureLimiter(int most, std::chrono::seconds window)
        : m_most(most)
        , m_window(window)
    {
    }
    // Seconds the address must still wait; 0 when it may try.
    int blockedFor(const std::string& address, std::chrono::steady_clock::time_point now);
    // Counts a failure; true when it is the one that blocks the address.
    bool failed(const std::string& address, std::chrono::steady_clock::time_point now);

private:
    struct Entry
    {
        int count = 0;
        std::chrono::steady_clock::time_point since;
    };
    int m_most;
    std::chrono::seconds m_window;
    std::mutex m_mutex;
    std::map<std::string, Entry> m_entries;
};

} // namespace vesk::api
