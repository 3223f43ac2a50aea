#include "api/Submission.h"

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

// The work in one transaction; the answer's body and Location are kept for the key when given.
Response inTransaction(const Call& call, store::db& db, const std::function<Response(store::db&)>& work,
    const std::string& idempotencyKey)
{
    if (!db.BeginTransaction())
        return unavailable(call);
    Response r = work(db);
    const bool keep = r.status >= 200 && r.status < 300;
    if (keep && !idempotencyKey.empty()
        && !store::FinishIdempotencyKey(
            db, call.key->name, idempotencyKey, r.status, locationOf(r), r.body)) {
        db.RollbackTransaction();
        return unavailable(call);
    }
    if (!keep) {
        db.RollbackTransaction();
        return r;
    }
    if (!db.CommitTransaction()) {
        db.RollbackTransaction();
        return unavailable(call);
    }
    return r;
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

Response Submit(const Call& call, Services& services, const std::function<Response(store::db&)>& work)
{
    const Request& request = call.request;
    const std::string key = request.header("idempotency-key");
    auto db = services.pool.lease();
    if (!db.open())
        return unavailable(call);
    if (key.empty()) {
        const auto writer = services.pool.writer();
        return inTransaction(call, *db, work, "");
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
    Response r;
    {
        const auto writer = services.pool.writer();
        r = inTransaction(call, *db, work, key);
    }
    if (r.status < 200 || r.status >= 300) {
        const auto writer = services.pool.writer();
        store::ReleaseIdempotencyKey(*db, owner, key);
    }
    return r;
}

} // namespace vesk::api
