#include "api/EventView.h"
#include "api/Resources.h"
#include "api/Services.h"
#include "api/Times.h"
#include "api/WebhookInput.h"
#include "api/WebhookTarget.h"
#include "store/ConsoleTable.h"
#include "store/MessageStatus.h"
#include "store/QueueFigures.h"
#include "store/WebhookStatus.h"

namespace vesk::api {

namespace {

using nlohmann::json;

json unixTime(std::int64_t t)
{
    return t > 0 ? json(Rfc3339(t)) : json(nullptr);
}

Response unavailable(const Request& request)
{
    return ProblemResponse(MakeProblem("outbox-unavailable", "the outbox cannot be read"), request.id);
}

// The outbox's status codes as the queue figures name them.
const char* codeName(int code)
{
    using store::MessageStatus;
    switch (static_cast<MessageStatus>(code)) {
    case MessageStatus::Pending:
        return "queued";
    case MessageStatus::Owned:
        return "sending";
    case MessageStatus::Failed:
        return "failed";
    case MessageStatus::Sent:
        return "sent";
    case MessageStatus::Delivered:
        return "delivered";
    case MessageStatus::DeliveryUnconfirmed:
        return "unconfirmed";
    case MessageStatus::NotDelivered:
        return "undelivered";
    }
    return "other";
}

} // namespace

Response listConsoles(const Call& call, Services& services)
{
    if (auto p = UnknownParameter(call.request, {}))
        return ProblemResponse(*p, call.request.id);
    std::optional<std::vector<store::ConsoleRow>> rows;
    {
        auto db = services.pool.lease();
        if (db.open())
            rows = store::ListConsoles(*db);
    }
    if (!rows)
        return unavailable(call.request);
    const std::int64_t now = Services::unixNow();
    json data = json::array();
    for (const auto& r : *rows)
        data.push_back({{"id", r.id}, {"state", store::ConsoleState(r, now)}, {"host", r.host},
            {"version", r.version}, {"kind", r.kind}, {"model", r.model}, {"network", r.network},
            {"registration", r.registration}, {"signal", r.signal < 0 ? json(nullptr) : json(r.signal)},
            {"started_at", unixTime(r.started)}, {"last_pass_at", unixTime(r.lastPass)},
            {"last_pass_age",
                r.lastPass > 0 ? json(std::max<std::int64_t>(now - r.lastPass, 0)) : json(nullptr)},
            {"last_send_at", unixTime(r.lastSend)}, {"sent", r.sent}, {"received", r.received}});
    return JsonResponse(200, {{"data", data}, {"now", Rfc3339(now)}});
}

Response showQueue(const Call& call, Services& services)
{
    if (auto p = UnknownParameter(call.request, {}))
        return ProblemResponse(*p, call.request.id);
    const std::int64_t now = Services::unixNow();
    store::QueueFigures f;
    {
        auto db = services.pool.lease();
        if (!db.open() || !store::ReadQueueFigures(*db, LocalFromUnix(now), f))
            return unavailable(call.request);
    }
    json counts = json::object();
    for (const char* name :
        {"queued", "sending", "sent", "delivered", "unconfirmed", "undelivered", "failed"})
        counts[name] = 0;
    for (const auto& [code, n] : f.byStatus)
        counts[codeName(code)] = counts.value(codeName(code), std::int64_t {0}) + n;
    json hours = json::array();
    for (const auto& h : f.hours)
        hours.push_back({{"start", Rfc3339(UnixFromLocal(h.start))}, {"sent", h.sent},
            {"delivered", h.delivered}, {"failed", h.failed}});
    const json oldest = f.oldestDue.isZero()
        ? json(nullptr)
        : json(std::max<std::int64_t>(now - UnixFromLocal(f.oldestDue), 0));
    return JsonResponse(200, {{"counts", counts}, {"oldest_due_age", oldest}, {"hours", hours}});
}

Response listWebhookStatus(const Call& call, Services& services)
{
    if (auto p = UnknownParameter(call.request, {}))
        return ProblemResponse(*p, call.request.id);
    std::vector<store::WebhookEndpointStatus> rows;
    {
        auto db = services.pool.lease();
        if (!db.open() || !store::ReadWebhookStatus(*db, rows))
            return unavailable(call.request);
    }
    json data = json::array();
    for (const auto& r : rows) {
        const auto& e = r.endpoint;
        json failure = nullptr;
        if (const auto& f = r.lastFailure)
            failure = {{"time", Rfc3339Millis(f->time)},
                {"status", f->status == 0 ? json(nullptr) : json(f->status)},
                {"error", f->error.empty() ? json(nullptr) : json(f->error)}};
        data.push_back({{"id", e.id}, {"url", ShownUrl(e.url)}, {"description", e.description},
            {"types", EndpointJson(e)["types"]}, {"enabled", e.enabled},
            {"disabled_reason", e.disabledReason.empty() ? json(nullptr) : json(e.disabledReason)},
            {"backlog", r.backlog}, {"last_failure", failure},
            {"last_success_at", r.lastSuccess > 0 ? json(Rfc3339Millis(r.lastSuccess)) : json(nullptr)},
            // The last try failed: no success since the newest failure.
            {"failing", r.lastFailure && r.lastFailure->time >= r.lastSuccess}});
    }
    return JsonResponse(200, {{"data", data}, {"now", Rfc3339(Services::unixNow())}});
}

} // namespace vesk::api
