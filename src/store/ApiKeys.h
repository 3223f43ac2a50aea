#pragma once

#include "store/db.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vesk::store {

// The HTTP API's keys, table ApiKey. A key itself is never stored: only its hash, by which a
// request's key is found. Times are Unix seconds.
struct ApiKeyRow
{
    std::string name;
    std::string hash;
    std::string scopes; // "messages:send,messages:read"
    std::string allow; // client address ranges, "10.0.0.0/8,::1"; empty for any
    std::int64_t created = 0;
    std::int64_t revoked = 0; // 0 while the key works
};

enum class KeyAdded { Added, NameTaken, Failed };
KeyAdded AddApiKey(db& outbox, const ApiKeyRow& key);
// Every key, revoked ones too, by name; nothing when the table could not be read.
std::optional<std::vector<ApiKeyRow>> ListApiKeys(db& outbox);
// 1 when the key was revoked now, 0 when no working key has that name, -1 when the write failed.
int RevokeApiKey(db& outbox, const std::string& name, std::int64_t when);
// The working key with this hash into `found` (empty when there is none); false when the
// lookup itself failed.
bool FindApiKey(db& outbox, const std::string& hash, std::optional<ApiKeyRow>& found);

} // namespace vesk::store
