#pragma once

#include "store/Webhooks.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace vesk::store {

// Each endpoint as the operator on call sees it: how far behind it is and how its last tries went.
struct WebhookEndpointStatus
{
    WebhookEndpointRow endpoint; // without its secrets
    std::int64_t backlog = 0; // deliveries waiting: neither delivered nor given up
    std::optional<WebhookAttemptRow> lastFailure; // the newest try that was not a 2xx
    std::int64_t lastSuccess = 0; // Unix ms of the newest delivered delivery's 2xx, 0 for none
};

// Every endpoint by id, in one statement. Failed tries are found through an index that holds
// only them, so the work grows with the failures kept, not with the deliveries.
bool ReadWebhookStatus(db& outbox, std::vector<WebhookEndpointStatus>& out);

} // namespace vesk::store
