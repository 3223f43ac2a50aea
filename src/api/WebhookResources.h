#pragma once

#include "api/Router.h"

namespace vesk::api {

// The handlers of the webhook routes: endpoints, their deliveries, redelivery and the event feed.
Response createWebhookEndpoint(const Call& call, Services& services);
Response listWebhookEndpoints(const Call& call, Services& services);
Response showWebhookEndpoint(const Call& call, Services& services);
Response updateWebhookEndpoint(const Call& call, Services& services);
Response deleteWebhookEndpoint(const Call& call, Services& services);
Response testWebhookEndpoint(const Call& call, Services& services);
Response listWebhookDeliveries(const Call& call, Services& services);
Response redeliverEvent(const Call& call, Services& services);
Response listEvents(const Call& call, Services& services);

} // namespace vesk::api
