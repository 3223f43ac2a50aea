#pragma once

#include "api/Http.h"
#include "api/Router.h"

#include <functional>
#include <optional>

namespace vesk::store {
class db;
}

namespace vesk::api {

struct Services;

// A POST that writes: `check` looks at the request outside any transaction and answers only when it
// refuses it; `write` then writes, committed when it answers 2xx and rolled back otherwise (with
// the writes of other requests waiting at the same moment, in one commit). With an
// Idempotency-Key the first answer is kept (in the same transaction) and given again to a repeat
// of the same request within 24 hours; the key with another request is refused, and so is a
// repeat while the first is still being worked on. `whole`, asked once `check` passed, tells a
// write that is one statement: without a key, a database server runs it without a transaction
// around it, as the outbox keeps or refuses it whole (it must answer 2xx whenever it wrote).
Response Submit(const Call& call, Services& services, const std::function<std::optional<Response>()>& check,
    const std::function<Response(store::db&)>& write,
    const std::function<bool(const store::db&)>& whole = {});

inline constexpr std::int64_t kIdempotencyLifetime = 24 * 3600;
// A claim left in flight this long belonged to a process that stopped mid-request.
inline constexpr std::int64_t kIdempotencyStale = 120;

} // namespace vesk::api
