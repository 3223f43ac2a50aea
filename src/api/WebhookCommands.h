#pragma once

#include "api/AddressRange.h"
#include "store/db.h"

#include <ostream>
#include <string>
#include <vector>

namespace vesk::api {

// "webhook add --url URL [--types LIST] [--from PREFIX] [--to PREFIX] [--description TEXT]",
// "webhook list", "webhook remove ID" on an open outbox. A new endpoint's secret is printed once,
// on its own line. `allow` is [Webhooks] Allow. The exit code: 0 done, 1 bad arguments, 2 the
// outbox failed.
int RunWebhookCommand(const std::vector<std::string>& args, store::db& outbox,
    const std::vector<AddressRange>& allow, std::ostream& out, std::ostream& err);

} // namespace vesk::api
