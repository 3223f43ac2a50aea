#pragma once

#include "support/DateTime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesk::api {

// The API speaks RFC 3339 times with an offset; the outbox holds local civil times, as every
// console and queueing program on the outbox's machines writes and compares them.

// "2026-03-01T09:30:00Z", "2026-03-01T10:30:00.250+01:00" to Unix seconds (a fraction is
// dropped); nothing for any other text or an impossible date.
std::optional<std::int64_t> ParseRfc3339(std::string_view text);
// Unix seconds as "2026-03-01T09:30:00Z".
std::string Rfc3339(std::int64_t unixSeconds);

// Local civil time to Unix seconds and back, in this machine's time zone.
using ::vesk::LocalFromUnix;
using ::vesk::UnixFromLocal;

} // namespace vesk::api
