#include "api/Keys.h"

#include "support/Convert.h"

#include <openssl/evp.h>
#include <openssl/rand.h>

namespace vesk::api {

namespace {

constexpr std::size_t kKeyBytes = 32;
// Beyond this many entries the tables start afresh rather than grow: a flood of addresses or
// keys costs one more lookup each, never the memory.
constexpr std::size_t kMostEntries = 10000;

std::string hex(const unsigned char* bytes, std::size_t n)
{
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string out;
    out.reserve(n * 2);
    for (std::size_t i = 0; i < n; ++i) {
        out += kDigits[bytes[i] >> 4];
        out += kDigits[bytes[i] & 15];
    }
    return out;
}

} // namespace

std::string Base64Url(std::string_view bytes)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789-_";
    std::string out;
    std::uint32_t buffer = 0;
    int bits = 0;
    for (const char c : bytes) {
        buffer = (buffer << 8) | static_cast<unsigned char>(c);
        bits += 8;
        while (bits >= 6) {
            bits -= 6;
            out += kAlphabet[(buffer >> bits) & 63];
        }
    }
    if (bits > 0)
        out += kAlphabet[(buffer << (6 - bits)) & 63];
    return out;
}

std::string NewKeyText()
{
    unsigned char bytes[kKeyBytes];
    if (RAND_bytes(bytes, sizeof bytes) != 1)
        return {};
    return std::string(kKeyPrefix)
        + Base64Url(std::string_view(reinterpret_cast<const char*>(bytes), sizeof bytes));
}

std::string KeyHash(std::string_view key)
{
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int size = 0;
    if (EVP_Digest(key.data(), key.size(), digest, &size, EVP_sha256(), nullptr) != 1)
        return {};
    return hex(digest, size);
}

std::string RandomHex(std::size_t n)
{
    std::vector<unsigned char> bytes(n);
    if (RAND_bytes(bytes.data(), static_cast<int>(n)) != 1)
        return std::string(n * 2, '0');
    return hex(bytes.data(), n);
}

bool ValidKeyName(std::string_view name)
{
    if (name.empty() || name.size() > 64)
        return false;
    for (const char c : name)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '.' && c != '_' && c != '-')
            return false;
    return true;
}

std::vector<std::string> SplitList(std::string_view text)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = text.find(',', start);
        const std::string part
            = Trim(text.substr(start, comma == std::string_view::npos ? text.npos : comma - start));
        if (!part.empty())
            out.push_back(part);
        if (comma == std::string_view::npos)
            break;
        start = comma + 1;
    }
    return out;
}

std::optional<ApiKey> KeyCache::get(const std::string& hash, std::chrono::steady_clock::time_point now)
{
    const std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(hash);
    if (it == m_entries.end())
        return std::nullopt;
    if (now - it->second.at >= m_life) {
        m_entries.erase(it);
        return std::nullopt;
    }
    return it->second.key;
}

void KeyCache::put(const std::string& hash, ApiKey key, std::chrono::steady_clock::time_point now)
{
    const std::lock_guard lock(m_mutex);
    if (m_entries.size() >= kMostEntries)
        m_entries.clear();
    m_entries[hash] = Entry {std::move(key), now};
}

int FailureLimiter::blockedFor(const std::string& address, std::chrono::steady_clock::time_point now)
{
    const std::lock_guard lock(m_mutex);
    const auto it = m_entries.find(address);
    if (it == m_entries.end() || it->second.count < m_most)
        return 0;
    const auto left
        = std::chrono::duration_cast<std::chrono::seconds>(it->second.since + m_window - now).count();
    if (left <= 0) {
        m_entries.erase(it);
        return 0;
    }
    return static_cast<int>(left);
}

bool FailureLimiter::failed(const std::string& address, std::chrono::steady_clock::time_point now)
{
    const std::lock_guard lock(m_mutex);
    if (m_entries.size() >= kMostEntries)
        m_entries.clear();
    Entry& e = m_entries[address];
    if (e.count == 0 || now - e.since >= m_window)
        e = Entry {0, now};
    return ++e.count == m_most;
}

} // namespace vesk::api
