#include "api/Resources.h"
#include "api/Router.h"

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
    {"POST", "/v1/session", "status:read", openSession},
    {"GET", "/v1/session", "status:read", showSession},
    {"DELETE", "/v1/session", "status:read", closeSession},
    // The status page's files.
    {"GET", "/", "", staticFile},
    {"GET", "/style.css", "", staticFile},
    {"GET", "/page.js", "", staticFile},
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
