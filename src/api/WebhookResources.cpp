#include "api/WebhookResources.h"

#include "api/EventView.h"
#include "api/JsonBody.h"
#include "api/MessageView.h"
#include "api/Resources.h"
#include "api/Services.h"
#include "api/WebhookInput.h"
#include "api/WebhookSecret.h"

namespace vesk::api {

namespace {

using nlohmann::json;

constexpr int kDefaultLimit = 50;
constexpr int kMostLimit = 500;
// After a rotation the previous secret signs beside the new one for this long.
constexpr std::int64_t kRotationOverlapSeconds = 24 * 3600;

Response unavailable(const Call& call)
{
    return ProblemResponse(MakeProblem("outbox-unavailable", "the outbox cannot be read"), call.request.id);
}

Response notFound(const Call& call, const std::string& what)
{
    return ProblemResponse(
        MakeProblem("not-found", "there is no " + what + " " + call.param("id")), call.request.id);
}

// The endpoint the path names, or the answer when it is not there or the outbox failed.
std::variant<store::WebhookEndpointRow, Response> endpointAt(ConnectionPool::Lease& db, const Call& call)
{
    std::optional<store::WebhookEndpointRow> found;
    const auto id = IdValue(call.param("id"));
    if (!db.open() || (id && !store::LoadWebhookEndpoint(*db, *id, found)))
        return unavailable(call);
    if (!found)
        return notFound(call, "webhook endpoint");
    return *found;
}

std::variant<json, Response> bodyOf(const Call& call)
{
    if (auto p = NotJsonBody(call.request))
        return ProblemResponse(*p, call.request.id);
    auto parsed = ParseJsonBody(call.request.body);
    if (auto* p = std::get_if<Problem>(&parsed))
        return ProblemResponse(*p, call.request.id);
    return std::get<json>(std::move(parsed));
}

// "limit" and the cursor parameter `name` of a listing: the page size and the id to go on from
// (0 for the start), or the problem with them.
std::variant<std::pair<int, RowId>, Response> pageOf(const Request& request, const char* name)
{
    if (auto p = UnknownParameter(request, {"limit", name}))
        return ProblemResponse(*p, request.id);
    const auto limit = LimitParameter(request, kDefaultLimit, kMostLimit);
    const auto cursor = request.query.count(name) ? CursorValue(request.param(name)) : RowId {0};
    if (!limit || !cursor)
        return ProblemResponse(MakeProblem("invalid-query",
                                   "limit must be 1 to " + std::to_string(kMostLimit) + " and " + name
                                       + " a cursor this API gave"),
            request.id);
    return std::pair {*limit, *cursor};
}

std::string_view stateName(store::DeliveryState s)
{
    return s == store::DeliveryState::Delivered ? "delivered"
        : s == store::DeliveryState::Failed     ? "failed"
                                                : "waiting";
}

} // namespace

Response createWebhookEndpoint(const Call& call, Services& services)
{
    auto body = bodyOf(call);
    if (auto* r = std::get_if<Response>(&body))
        return *r;
    store::WebhookEndpointRow fresh;
    fresh.created = Services::unixNow();
    auto applied = ApplyEndpointBody(std::get<json>(body), fresh, true, services.webhookAllow);
    if (auto* p = std::get_if<Problem>(&applied))
        return ProblemResponse(*p, call.request.id);
    store::WebhookEndpointRow e = std::get<EndpointInput>(applied).endpoint;
    e.secret = NewWebhookSecret();
    if (e.secret.empty())
        return ProblemResponse(
            MakeProblem("internal-error", "the system gave no random bytes for a secret"), call.request.id);
    auto db = services.pool.lease();
    if (!db.open())
        return unavailable(call);
    {
        const auto writer = services.pool.writer();
        e.id = store::AddWebhookEndpoint(*db, e);
    }
    if (e.id == 0)
        return unavailable(call);
    services.log.Log(
        icon::kInfo, "", "Webhook endpoint " + std::to_string(e.id) + " added by key " + call.key->name);
    json data = EndpointJson(e);
    data["secret"] = e.secret; // shown this once
    Response r = JsonResponse(201, {{"data", data}});
    r.header("Location", "/v1/webhook-endpoints/" + std::to_string(e.id));
    return r;
}

Response listWebhookEndpoints(const Call& call, Services& services)
{
    if (auto p = UnknownParameter(call.request, {}))
        return ProblemResponse(*p, call.request.id);
    std::vector<store::WebhookEndpointRow> rows;
    {
        auto db = services.pool.lease();
        if (!db.open() || !store::ListWebhookEndpoints(*db, rows))
            return unavailable(call);
    }
    json data = json::array();
    for (const auto& e : rows)
        data.push_back(EndpointJson(e));
    return JsonResponse(200, {{"data", data}});
}

Response showWebhookEndpoint(const Call& call, Services& services)
{
    auto db = services.pool.lease();
    auto found = endpointAt(db, call);
    if (auto* r = std::get_if<Response>(&found))
        return *r;
    const auto& e = std::get<store::WebhookEndpointRow>(found);
    return JsonResponse(200, {{"data", EndpointJson(e)}});
}

Response updateWebhookEndpoint(const Call& call, Services& services)
{
    auto body = bodyOf(call);
    if (auto* r = std::get_if<Response>(&body))
        return *r;
    auto db = services.pool.lease();
    auto found = endpointAt(db, call);
    if (auto* r = std::get_if<Response>(&found))
        return *r;
    const auto& e = std::get<store::WebhookEndpointRow>(found);
    auto applied = ApplyEndpointBody(std::get<json>(body), e, false, services.webhookAllow);
    if (auto* p = std::get_if<Problem>(&applied))
        return ProblemResponse(*p, call.request.id);
    EndpointInput& in = std::get<EndpointInput>(applied);
    std::string secret;
    if (in.rotateSecret) {
        secret = NewWebhookSecret();
        if (secret.empty())
            return ProblemResponse(
                MakeProblem("internal-error", "the system gave no random bytes for a secret"),
                call.request.id);
        in.endpoint.oldSecret = in.endpoint.secret;
        in.endpoint.oldUntil = Services::unixNow() + kRotationOverlapSeconds;
        in.endpoint.secret = secret;
    }
    int changed = 0;
    {
        const auto writer = services.pool.writer();
        changed = store::UpdateWebhookEndpoint(*db, in.endpoint);
    }
    if (changed < 0)
        return unavailable(call);
    if (changed == 0)
        return notFound(call, "webhook endpoint");
    json data = EndpointJson(in.endpoint);
    if (!secret.empty())
        data["secret"] = secret;
    return JsonResponse(200, {{"data", data}});
}

Response deleteWebhookEndpoint(const Call& call, Services& services)
{
    const auto id = IdValue(call.param("id"));
    if (!id)
        return notFound(call, "webhook endpoint");
    auto db = services.pool.lease();
    if (!db.open())
        return unavailable(call);
    int removed = 0;
    {
        const auto writer = services.pool.writer();
        removed = store::DeleteWebhookEndpoint(*db, *id);
    }
    if (removed < 0)
        return unavailable(call);
    if (removed == 0)
        return notFound(call, "webhook endpoint");
    services.log.Log(
        icon::kInfo, "", "Webhook endpoint " + std::to_string(*id) + " removed by key " + call.key->name);
    Response r;
    r.status = 204;
    r.contentType.clear();
    return r;
}

Response testWebhookEndpoint(const Call& call, Services& services)
{
    auto db = services.pool.lease();
    auto found = endpointAt(db, call);
    if (auto* r = std::get_if<Response>(&found))
        return *r;
    const auto& e = std::get<store::WebhookEndpointRow>(found);
    std::string uid;
    {
        const auto writer = services.pool.writer();
        uid = store::AddTestEvent(*db, e.id);
    }
    if (uid.empty())
        return unavailable(call);
    return JsonResponse(
        202, {{"data", {{"event_id", std::string(kEventIdPrefix) + uid}, {"type", "webhook.test"}}}});
}

Response listWebhookDeliveries(const Call& call, Services& services)
{
    auto page = pageOf(call.request, "cursor");
    if (auto* r = std::get_if<Response>(&page))
        return *r;
    const auto [limitValue, belowValue] = std::get<std::pair<int, RowId>>(page);
    const std::optional<int> limit = limitValue;
    const std::optional<RowId> below = belowValue;
    auto db = services.pool.lease();
    auto found = endpointAt(db, call);
    if (auto* r = std::get_if<Response>(&found))
        return *r;
    const auto& e = std::get<store::WebhookEndpointRow>(found);
    std::vector<std::pair<store::WebhookDeliveryRow, std::vector<store::WebhookAttemptRow>>> rows;
    if (!store::ListDeliveries(*db, e.id, *below, *limit + 1, rows))
        return unavailable(call);
    const bool more = rows.size() > static_cast<std::size_t>(*limit);
    if (more)
        rows.resize(static_cast<std::size_t>(*limit));
    json data = json::array();
    for (const auto& [d, attempts] : rows) {
        json tries = json::array();
        for (const auto& a : attempts)
            tries.push_back(
                {{"time", Rfc3339Millis(a.time)}, {"status", a.status == 0 ? json(nullptr) : json(a.status)},
                    {"error", a.error.empty() ? json(nullptr) : json(a.error)}, {"duration_ms", a.millis}});
        data.push_back({{"id", d.id}, {"event_id", EventId(d.event)}, {"type", d.event.type},
            {"state", stateName(d.state)},
            {"next_attempt_at",
                d.state == store::DeliveryState::Waiting && d.due > 0 ? json(Rfc3339Millis(d.due))
                                                                      : json(nullptr)},
            {"attempts", tries}});
    }
    const std::string next = more ? CursorText(rows.back().first.id) : "";
    return JsonResponse(200, {{"data", data}, {"next_cursor", more ? json(next) : json(nullptr)}});
}

Response redeliverEvent(const Call& call, Services& services)
{
    const std::string id = call.param("id");
    if (id.rfind(kEventIdPrefix, 0) != 0)
        return notFound(call, "event");
    auto db = services.pool.lease();
    if (!db.open())
        return unavailable(call);
    std::optional<store::WebhookEventRow> event;
    if (!store::LoadWebhookEvent(*db, id.substr(kEventIdPrefix.size()), event))
        return unavailable(call);
    if (!event)
        return notFound(call, "event");
    int again = 0;
    {
        const auto writer = services.pool.writer();
        again = store::RedeliverEvent(*db, event->id);
    }
    if (again < 0)
        return unavailable(call);
    if (again == 0)
        return ProblemResponse(
            MakeProblem("nothing-to-redeliver", "no webhook endpoint has had " + id), call.request.id);
    return JsonResponse(202, {{"data", {{"event_id", id}, {"deliveries", again}}}});
}

Response listEvents(const Call& call, Services& services)
{
    const Request& request = call.request;
    auto page = pageOf(request, "after");
    if (auto* r = std::get_if<Response>(&page))
        return *r;
    const auto [limitValue, afterValue] = std::get<std::pair<int, RowId>>(page);
    const std::optional<int> limit = limitValue;
    const std::optional<RowId> after = afterValue;
    auto db = services.pool.lease();
    std::vector<store::WebhookEventRow> rows;
    if (!db.open() || !store::ListWebhookEvents(*db, *after, *limit, rows))
        return unavailable(call);
    json data = json::array();
    for (const auto& e : rows) {
        std::optional<std::string> body;
        {
            const auto writer = services.pool.writer();
            body = EventBody(*db, e);
        }
        if (!body)
            return unavailable(call);
        json item = json::parse(*body, nullptr, false);
        if (!item.is_object())
            item = json::object();
        item["id"] = EventId(e);
        data.push_back(std::move(item));
    }
    // The feed's end is a cursor too: a receiver asks again from there later.
    const RowId last = rows.empty() ? *after : rows.back().id;
    const std::string next = last > 0 ? CursorText(last) : "";
    Response r
        = JsonResponse(200, {{"data", data}, {"next_cursor", next.empty() ? json(nullptr) : json(next)}});
    if (rows.size() == static_cast<std::size_t>(*limit))
        r.header(
            "Link", "</v1/events?limit=" + std::to_string(*limit) + "&after=" + next + ">; rel=\"next\"");
    return r;
}

} // namespace vesk::api
