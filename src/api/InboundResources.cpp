#include "api/MessageView.h"
#include "api/Resources.h"
#include "api/Services.h"

namespace vesk::api {

namespace {

constexpr int kDefaultLimit = 50;
constexpr int kMostLimit = 500;

Response unavailable(const Request& request)
{
    return ProblemResponse(MakeProblem("outbox-unavailable", "the outbox cannot be read"), request.id);
}

} // namespace

Response listInbound(const Call& call, Services& services)
{
    const Request& request = call.request;
    if (auto p = UnknownParameter(request, {"limit", "cursor"}))
        return ProblemResponse(*p, request.id);
    const auto limit = LimitParameter(request, kDefaultLimit, kMostLimit);
    if (!limit)
        return ProblemResponse(MakeProblem("invalid-query",
                                   "limit must be a whole number from 1 to " + std::to_string(kMostLimit)),
            request.id);
    RowId below = 0;
    if (request.query.count("cursor")) {
        const auto cursor = CursorValue(request.param("cursor"));
        if (!cursor)
            return ProblemResponse(
                MakeProblem("invalid-query", "cursor is not one this API gave"), request.id);
        below = *cursor;
    }
    std::vector<store::InboundRecord> rows;
    {
        auto db = services.pool.lease();
        if (!db.open() || !store::ListInbound(*db, below, *limit + 1, rows))
            return unavailable(request);
    }
    const bool more = rows.size() > static_cast<std::size_t>(*limit);
    if (more)
        rows.resize(static_cast<std::size_t>(*limit));
    nlohmann::json data = nlohmann::json::array();
    for (const auto& m : rows)
        data.push_back(InboundJson(m));
    const std::string next = more ? CursorText(rows.back().id) : "";
    Response r = JsonResponse(
        200, {{"data", data}, {"next_cursor", more ? nlohmann::json(next) : nlohmann::json(nullptr)}});
    if (more)
        r.header("Link",
            "<" + request.path + "?limit=" + std::to_string(*limit) + "&cursor=" + next + ">; rel=\"next\"");
    return r;
}

Response showInbound(const Call& call, Services& services)
{
    const auto id = IdValue(call.param("id"));
    std::optional<store::InboundRecord> m;
    if (id) {
        auto db = services.pool.lease();
        if (!db.open() || !store::LoadInbound(*db, *id, m))
            return unavailable(call.request);
    }
    if (!m)
        return ProblemResponse(
            MakeProblem("not-found", "there is no inbound message " + call.param("id")), call.request.id);
    return JsonResponse(200, {{"data", InboundJson(*m)}});
}

} // namespace vesk::api
