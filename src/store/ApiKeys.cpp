#include "store/ApiKeys.h"

#include "support/Convert.h"

namespace vesk::store {

namespace {

constexpr const char* kColumns = "akName, akHash, akScopes, akAllow, akCreated, akRevoked";

ApiKeyRow rowOf(const Recordset& rs)
{
    ApiKeyRow k;
    k.name = TextOf(rs.Field("akName"));
    k.hash = TextOf(rs.Field("akHash"));
    k.scopes = TextOf(rs.Field("akScopes"));
    k.allow = TextOf(rs.Field("akAllow"));
    k.created = static_cast<std::int64_t>(LeadingNumber(TextOf(rs.Field("akCreated"))));
    k.revoked = static_cast<std::int64_t>(LeadingNumber(TextOf(rs.Field("akRevoked"))));
    return k;
}

} // namespace

KeyAdded AddApiKey(db& outbox, const ApiKeyRow& key)
{
    auto taken = outbox.OpenBound("SELECT COUNT(*) AS T FROM ApiKey WHERE akName = ?", {key.name});
    if (!taken)
        return KeyAdded::Failed;
    if (LongOf(taken->Field("T")) > 0)
        return KeyAdded::NameTaken;
    const std::int32_t added = outbox.ExecuteBound(
        "INSERT INTO ApiKey (akName, akHash, akScopes, akAllow, akCreated) VALUES (?, ?, ?, ?, ?)",
        {key.name, key.hash, key.scopes, key.allow, std::to_string(key.created)});
    if (added == 1)
        return KeyAdded::Added;
    // Another program added the same name a moment ago: the unique name refused this one.
    return outbox.LastError().find("SQL:3022") != std::string::npos ? KeyAdded::NameTaken : KeyAdded::Failed;
}

std::optional<std::vector<ApiKeyRow>> ListApiKeys(db& outbox)
{
    auto rs = outbox.OpenBound(std::string("SELECT ") + kColumns + " FROM ApiKey ORDER BY akName", {});
    if (!rs)
        return std::nullopt;
    std::vector<ApiKeyRow> keys;
    for (; !rs->IsEOF(); rs->MoveNext())
        keys.push_back(rowOf(*rs));
    return keys;
}

int RevokeApiKey(db& outbox, const std::string& name, std::int64_t when)
{
    const std::int32_t n
        = outbox.ExecuteBound("UPDATE ApiKey SET akRevoked = ? WHERE akName = ? AND akRevoked IS NULL",
            {std::to_string(when), name});
    return n < 0 ? -1 : n > 0 ? 1 : 0;
}

bool FindApiKey(db& outbox, const std::string& hash, std::optional<ApiKeyRow>& found)
{
    found.reset();
    auto rs = outbox.OpenBound(
        std::string("SELECT ") + kColumns + " FROM ApiKey WHERE akHash = ? AND akRevoked IS NULL", {hash});
    if (!rs)
        return false;
    if (!rs->IsEOF())
        found = rowOf(*rs);
    return true;
}

} // namespace vesk::store
