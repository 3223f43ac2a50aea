#pragma once

#include "store/db.h"

#include <cstdint>
#include <string>

namespace vesk::store {

// What the HTTP API answered to requests that carried an Idempotency-Key, table ApiIdempotency,
// so that every vesk-api on one outbox replays the same answer. A key is first claimed (a row
// marked in flight, committed on its own so the others see it), then finished in the same
// transaction that queues the messages, or released when the request was refused.
struct IdempotencyRecord
{
    std::string fingerprint; // of the method, path and body the key was first used with
    bool done = false;
    int status = 0;
    std::string location;
    std::string body;
    std::int64_t created = 0; // Unix seconds
};

enum class IdempotencyClaim {
    Claimed, // this request does the work
    Replay, // done before with the same request: `existing` holds the answer
    Mismatch, // the key was used with another request
    InFlight, // another request with this key is being worked on
    Failed, // the outbox could not be asked
};

// Claims (owner, key) at `now`. A record older than `lifetime` seconds counts as gone; one left in
// flight for longer than `stale` seconds (its process stopped mid-request, so nothing of it was
// committed) is taken over.
IdempotencyClaim ClaimIdempotencyKey(db& outbox, const std::string& owner, const std::string& key,
    const std::string& fingerprint, std::int64_t now, std::int64_t stale, std::int64_t lifetime,
    IdempotencyRecord& existing);
// Stores the answer; inside the caller's transaction. False when the write failed.
bool FinishIdempotencyKey(db& outbox, const std::string& owner, const std::string& key, int status,
    const std::string& location, const std::string& body);
// Forgets a claim whose request was refused or failed, so the client may try again.
void ReleaseIdempotencyKey(db& outbox, const std::string& owner, const std::string& key);
// Removes the records created before `before`; the number removed, -1 when that failed.
std::int32_t PurgeIdempotencyKeys(db& outbox, std::int64_t before);

} // namespace vesk::store
