#include "api/Resources.h"
#include "api/Router.h"
#include "api/WebhookResources.h"

namespace vesk::api {

namespace {

constexpr Route kRoutes[] = {
    {"POST", "/v1/messages", "messages:send", submitMessages},
    {"GET", "/v1/messages", "messages:read", listMessages},
    {"GET", "/v1/messages/{id}", "messages:read", showMessage},
    {"POST", "/v1/messages/{id}/cancel", "messages:send", cancelMessage},
    {"POST", "/v1/message-batches", "messages:send", submitBatch},
    {"GET", "/v1/inbound", "inbound:read", listInbound},
    {"GET", "/v1/inbound/{id}", "inbound:read", showInbound},
    {"GET", "/v1/consoles", "status:read", listConsoles},
    {"GET", "/v1/queue", "status:read", showQueue},
    // The recent traffic for the status page: the same listings, for a key that may only look.
    {"GET", "/v1/status/outbound", "status:read", listMessages},
    {"GET", "/v1/status/inbound", "status:read", listInbound},
    {"GET", "/v1/status/webhooks", "status:read", listWebhookStatus},
    {"POST", "/v1/session", "status:read", openSession},
    {"GET", "/v1/session", "status:read", showSession},
    {"DELETE", "/v1/session", "status:read", closeSession},
    // The status page's files.
    {"GET", "/", "", staticFile},
    {"GET", "/style.css", "", staticFile},
    {"GET", "/page.js", "", staticFile},
    {"POST", "/v1/webhook-endpoints", "webhooks:manage", createWebhookEndpoint},
    {"GET", "/v1/webhook-endpoints", "webhooks:manage", listWebhookEndpoints},
    {"GET", "/v1/webhook-endpoints/{id}", "webhooks:manage", showWebhookEndpoint},
    {"PATCH", "/v1/webhook-endpoints/{id}", "webhooks:manage", updateWebhookEndpoint},
    {"DELETE", "/v1/webhook-endpoints/{id}", "webhooks:manage", deleteWebhookEndpoint},
    {"POST", "/v1/webhook-endpoints/{id}/test", "webhooks:manage", testWebhookEndpoint},
    {"GET", "/v1/webhook-endpoints/{id}/deliveries", "webhooks:manage", listWebhookDeliveries},
    {"POST", "/v1/events/{id}/redeliver", "webhooks:manage", redeliverEvent},
    {"GET", "/v1/events", "events:read", listEvents},
    {"GET", "/v1/openapi.json", "", staticFile},
    {"GET", "/healthz", "", healthz},
    {"GET", "/readyz", "", readyz},
    {"GET", "/metrics", "", metrics},
};

} // namespace

std::span<const Route> ApiRoutes()
{
    return kRoutes;
}

} // namespace vesk::api
