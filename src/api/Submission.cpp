#include "api/Submission.h"

#include "api/CommitGroup.h"
#include "api/Keys.h"
#include "api/Problems.h"
#include "api/Services.h"
#include "store/ApiIdempotency.h"

namespace vesk::api {

namespace {

Response unavailable(const Call& call)
{
    return ProblemResponse(
        MakeProblem("outbox-unavailable", "the outbox could not be written"), call.request.id);
}

std::string locationOf(const Response& r)
{
    for (const auto& [name, value] : r.headers)
        if (name == "Location")
            return value;
    return {};
}

// The write in a transaction shared with the writes waiting now; the answer's body and Location
// are kept for the key when given.
Response inTransaction(const Call& call, Services& services, store::db& db,
    const std::function<Response(store::db&)>& write, const std::string& idempotencyKey, bool whole = false)
{
    Response r;
    using Outcome = CommitGroup::Outcome;
    const auto outcome = services.commits.run(
        db,
        [&](store::db& shared) {
            r = write(shared);
            if (r.status == 503) // the outbox refused a statement
                return Outcome::Failed;
            if (r.status < 200 || r.status >= 300)
                return Outcome::Undone;
            if (!idempotencyKey.empty()
                && !store::FinishIdempotencyKey(
                    shared, call.key->name, idempotencyKey, r.status, locationOf(r), r.body))
                return Outcome::Failed;
            return Outcome::Committed;
        },
        whole);
    return outcome == Outcome::Failed ? unavailable(call) : r;
}

bool validKey(const std::string& key)
{
    if (key.empty() || key.size() > 255)
        return false;
    for (const char c : key)
        if (c < 0x20 || c > 0x7E)
            return false;
    return true;
}

} // namespace

Response Submit(const Call& call, Services& services, const std::function<std::optional<Response>()>& check,
    const std::function<Response(store::db&)>& write, const std::function<bool(const store::db&)>& whole)
{
    const Request& request = call.request;
    const std::string key = request.header("idempotency-key");
    auto db = services.pool.lease();
    if (!db.open())
        return unavailable(call);
    if (key.empty()) {
        if (auto refused = check())
            return *refused;
        return inTransaction(call, services, *db, write, "", whole && whole(*db));
    }
    if (!validKey(key))
        return ProblemResponse(
            MakeProblem("invalid-idempotency-key", "the key must be 1 to 255 printable ASCII characters"),
            request.id);
    const std::string& owner = call.key->name;
    if (!services.inFlight.begin(owner, key))
        return ProblemResponse(
            MakeProblem("idempotency-in-flight", "the first request with this key has not been answered yet"),
            request.id);
    struct Done
    {
        InFlight& set;
        const std::string& owner;
        const std::string& key;
        ~Done() { set.end(owner, key); }
    } done {services.inFlight, owner, key};

    const std::string fingerprint = KeyHash(request.method + " " + request.path + "\n" + request.body);
    store::IdempotencyRecord first;
    store::IdempotencyClaim claim;
    {
        const auto writer = services.pool.writer();
        claim = store::ClaimIdempotencyKey(*db, owner, key, fingerprint, Services::unixNow(),
            kIdempotencyStale, kIdempotencyLifetime, first);
    }
    switch (claim) {
    case store::IdempotencyClaim::Failed:
        return unavailable(call);
    case store::IdempotencyClaim::Mismatch:
        return ProblemResponse(
            MakeProblem("idempotency-key-reused", "the key was first used with another request"), request.id);
    case store::IdempotencyClaim::InFlight:
        return ProblemResponse(
            MakeProblem("idempotency-in-flight", "the first request with this key has not been answered yet"),
            request.id);
    case store::IdempotencyClaim::Replay: {
        Response r;
        r.status = first.status;
        r.body = first.body;
        if (!first.location.empty())
            r.header("Location", first.location);
        r.header("Idempotent-Replayed", "true");
        return r;
    }
    case store::IdempotencyClaim::Claimed:
        break;
    }
    std::optional<Response> refused = check();
    const Response r = refused ? *refused : inTransaction(call, services, *db, write, key);
    if (r.status < 200 || r.status >= 300) {
        const auto writer = services.pool.writer();
        store::ReleaseIdempotencyKey(*db, owner, key);
    }
    return r;
}

} // namespace vesk::api
