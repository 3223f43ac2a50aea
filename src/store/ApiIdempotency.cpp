#include "store/ApiIdempotency.h"

#include "support/Convert.h"

namespace vesk::store {

namespace {

std::int64_t numberOf(const DbValue& v)
{
    return static_cast<std::int64_t>(LeadingNumber(TextOf(v)));
}

} // namespace

IdempotencyClaim ClaimIdempotencyKey(db& outbox, const std::string& owner, const std::string& key,
    const std::string& fingerprint, std::int64_t now, std::int64_t stale, std::int64_t lifetime,
    IdempotencyRecord& existing)
{
    const std::string nowText = std::to_string(now);
    if (outbox.ExecuteBound("DELETE FROM ApiIdempotency WHERE ikKeyName = ? AND ikKey = ? AND ikCreated < ?",
            {owner, key, std::to_string(now - lifetime)})
        < 0)
        return IdempotencyClaim::Failed;
    const std::int32_t inserted = outbox.ExecuteBound(
        "INSERT INTO ApiIdempotency (ikKeyName, ikKey, ikFingerprint, ikCreated) VALUES (?, ?, ?, ?)"
        " ON CONFLICT DO NOTHING",
        {owner, key, fingerprint, nowText});
    if (inserted < 0)
        return IdempotencyClaim::Failed;
    if (inserted == 1)
        return IdempotencyClaim::Claimed;
    auto rs = outbox.OpenBound("SELECT ikFingerprint, ikCreated, ikDone, ikStatus, ikLocation, ikBody"
                               " FROM ApiIdempotency WHERE ikKeyName = ? AND ikKey = ?",
        {owner, key});
    if (!rs)
        return IdempotencyClaim::Failed;
    if (rs->IsEOF()) // released between the two statements: the caller may try again
        return IdempotencyClaim::InFlight;
    existing.fingerprint = TextOf(rs->Field("ikFingerprint"));
    existing.created = numberOf(rs->Field("ikCreated"));
    existing.done = numberOf(rs->Field("ikDone")) != 0;
    existing.status = static_cast<int>(numberOf(rs->Field("ikStatus")));
    existing.location = TextOf(rs->Field("ikLocation"));
    existing.body = TextOf(rs->Field("ikBody"));
    if (existing.fingerprint != fingerprint)
        return IdempotencyClaim::Mismatch;
    if (existing.done)
        return IdempotencyClaim::Replay;
    if (existing.created >= now - stale)
        return IdempotencyClaim::InFlight;
    // Left in flight by a process that stopped: of two requests taking it over, one wins.
    const std::int32_t taken
        = outbox.ExecuteBound("UPDATE ApiIdempotency SET ikCreated = ?"
                              " WHERE ikKeyName = ? AND ikKey = ? AND ikDone = 0 AND ikCreated = ?",
            {nowText, owner, key, std::to_string(existing.created)});
    if (taken < 0)
        return IdempotencyClaim::Failed;
    return taken == 1 ? IdempotencyClaim::Claimed : IdempotencyClaim::InFlight;
}

bool FinishIdempotencyKey(db& outbox, const std::string& owner, const std::string& key, int status,
    const std::string& location, const std::string& body)
{
    return outbox.ExecuteBound(
               "UPDATE ApiIdempotency SET ikDone = 1, ikStatus = ?, ikLocation = ?, ikBody = ?"
               " WHERE ikKeyName = ? AND ikKey = ?",
               {std::to_string(status), location, body, owner, key})
        == 1;
}

void ReleaseIdempotencyKey(db& outbox, const std::string& owner, const std::string& key)
{
    outbox.ExecuteBound(
        "DELETE FROM ApiIdempotency WHERE ikKeyName = ? AND ikKey = ? AND ikDone = 0", {owner, key});
}

std::int32_t PurgeIdempotencyKeys(db& outbox, std::int64_t before)
{
    return outbox.ExecuteBound("DELETE FROM ApiIdempotency WHERE ikCreated < ?", {std::to_string(before)});
}

} // namespace vesk::store
