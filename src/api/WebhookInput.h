#pragma once

#include "api/AddressRange.h"
#include "api/Problems.h"
#include "store/Webhooks.h"

#include <nlohmann/json.hpp>

#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vesk::api {

// The event types an endpoint can ask for.
std::span<const std::string_view> WebhookEventTypes();

// A create (all fields optional but "url") or update (any fields) body applied to an endpoint,
// or the problem with it. `allow` is [Webhooks] Allow: a URL naming an internal address is
// refused unless listed. An update may ask for a new secret ("rotate_secret": true).
struct EndpointInput
{
    store::WebhookEndpointRow endpoint;
    bool rotateSecret = false;
};
std::variant<EndpointInput, Problem> ApplyEndpointBody(const nlohmann::json& body,
    store::WebhookEndpointRow endpoint, bool creating, const std::vector<AddressRange>& allow);

// The endpoint as the API shows it (never its secrets).
nlohmann::json EndpointJson(const store::WebhookEndpointRow& e);

} // namespace vesk::api
