#include "api/JsonBody.h"
#include "api/MessageView.h"
#include "api/Resources.h"
#include "api/Services.h"
#include "api/Submission.h"
#include "api/Times.h"
#include "api/Validation.h"
#include "support/Convert.h"

namespace vesk::api {

namespace {

using nlohmann::json;

constexpr int kDefaultLimit = 50;
constexpr int kMostLimit = 500;

Response unavailable(const Request& request)
{
    return ProblemResponse(MakeProblem("outbox-unavailable", "the outbox cannot be read"), request.id);
}

std::optional<Problem> notJson(const Request& request)
{
    const std::string type = ToLower(request.header("content-type"));
    if (type.rfind("application/json", 0) == 0 && (type.size() == 16 || type[16] == ';' || type[16] == ' '))
        return std::nullopt;
    return MakeProblem("unsupported-media-type", "send the body as application/json");
}

SubmitRules rulesOf(Services& services)
{
    return SubmitRules {services.maxTextChars.load(), Services::unixNow(), services.refusal};
}

std::vector<store::NewMessage> outboxRowsOf(const Rows& rows, std::int64_t now)
{
    std::vector<store::NewMessage> messages;
    messages.reserve(rows.size());
    for (const OutboxRow& row : rows)
        messages.push_back({row.name, row.to, row.text, LocalFromUnix(row.sendAt > 0 ? row.sendAt : now),
            row.expiresAt > 0 ? LocalFromUnix(row.expiresAt) : DateTime {}, row.clientRef});
    return messages;
}

json acceptedJson(const OutboxRow& row, RowId id)
{
    return {{"id", id}, {"to", row.to}, {"status", "queued"}, {"parts", row.parts},
        {"client_ref", row.clientRef.empty() ? json(nullptr) : json(row.clientRef)}};
}

// Writes the rows; their ids in order, or nothing when the outbox refused the write.
std::optional<std::vector<RowId>> queue(store::db& db, Services& services, const Call& call,
    const std::vector<store::NewMessage>& messages, std::int64_t now)
{
    std::vector<RowId> ids;
    if (!store::QueueApiMessages(db, messages, services.station, call.key->name, now, ids))
        return std::nullopt;
    return ids;
}

std::optional<RowId> pathId(const Call& call)
{
    return IdValue(call.param("id"));
}

Response notFound(const Call& call)
{
    return ProblemResponse(
        MakeProblem("not-found", "there is no message " + call.param("id")), call.request.id);
}

} // namespace

std::optional<Problem> NotJsonBody(const Request& request)
{
    return notJson(request);
}

Response submitMessages(const Call& call, Services& services)
{
    if (auto p = notJson(call.request))
        return ProblemResponse(*p, call.request.id);
    Rows rows;
    std::vector<store::NewMessage> messages;
    const std::int64_t now = Services::unixNow();
    const auto check = [&]() -> std::optional<Response> {
        auto validated = ValidateSubmit(call.request.body, rulesOf(services));
        if (auto* p = std::get_if<Problem>(&validated))
            return ProblemResponse(*p, call.request.id);
        rows = std::move(std::get<Rows>(validated));
        messages = outboxRowsOf(rows, now);
        return std::nullopt;
    };
    const auto whole = [&](const store::db& db) { return store::QueuesInOneStatement(db, messages); };
    const auto write = [&](store::db& db) {
        const auto ids = queue(db, services, call, messages, now);
        if (!ids)
            return unavailable(call.request);
        json data = json::array();
        for (std::size_t i = 0; i < rows.size(); ++i)
            data.push_back(acceptedJson(rows[i], (*ids)[i]));
        services.metrics.accepted(rows.size());
        Response r = JsonResponse(202, {{"data", data}});
        r.header("Location", "/v1/messages/" + std::to_string(ids->front()));
        return r;
    };
    return Submit(call, services, check, write, whole);
}

Response submitBatch(const Call& call, Services& services)
{
    if (auto p = notJson(call.request))
        return ProblemResponse(*p, call.request.id);
    std::vector<BatchItem> items;
    Rows rows;
    const auto check = [&]() -> std::optional<Response> {
        auto validated = ValidateBatch(call.request.body, rulesOf(services));
        if (auto* p = std::get_if<Problem>(&validated))
            return ProblemResponse(*p, call.request.id);
        items = std::move(std::get<std::vector<BatchItem>>(validated));
        std::vector<FieldError> errors;
        for (const BatchItem& item : items) {
            rows.insert(rows.end(), item.rows.begin(), item.rows.end());
            if (item.problem)
                errors.insert(errors.end(), item.problem->errors.begin(), item.problem->errors.end());
        }
        if (!rows.empty())
            return std::nullopt;
        Problem p = items.empty() ? FieldProblem("invalid-field", "/messages", "holds no message")
                                  : FieldProblems(std::move(errors));
        p.detail = "no message of the batch is valid: " + p.detail;
        return ProblemResponse(p, call.request.id);
    };
    return Submit(call, services, check, [&](store::db& db) {
        const std::int64_t now = Services::unixNow();
        const auto ids = queue(db, services, call, outboxRowsOf(rows, now), now);
        if (!ids)
            return unavailable(call.request);
        json data = json::array();
        std::size_t next = 0;
        for (std::size_t i = 0; i < items.size(); ++i) {
            json item = {{"index", i}};
            if (items[i].problem) {
                item["problem"] = ProblemObject(*items[i].problem, call.request.id);
            } else {
                json accepted = json::array();
                for (const OutboxRow& row : items[i].rows)
                    accepted.push_back(acceptedJson(row, (*ids)[next++]));
                item["data"] = std::move(accepted);
            }
            data.push_back(std::move(item));
        }
        services.metrics.accepted(rows.size());
        return JsonResponse(202, {{"data", data}});
    });
}

Response showMessage(const Call& call, Services& services)
{
    const auto id = pathId(call);
    if (!id)
        return notFound(call);
    std::optional<store::MessageRecord> m;
    {
        auto db = services.pool.lease();
        if (!db.open() || !store::LoadMessageRecord(*db, *id, m))
            return unavailable(call.request);
    }
    if (!m)
        return notFound(call);
    return JsonResponse(200, {{"data", MessageJson(*m)}});
}

Response listMessages(const Call& call, Services& services)
{
    const Request& request = call.request;
    if (auto p
        = UnknownParameter(request, {"status", "to", "client_ref", "created_after", "limit", "cursor"}))
        return ProblemResponse(*p, request.id);
    const auto invalid = [&](const std::string& detail) {
        return ProblemResponse(MakeProblem("invalid-query", detail), request.id);
    };
    store::MessageFilter filter;
    const auto limit = LimitParameter(request, kDefaultLimit, kMostLimit);
    if (!limit)
        return invalid("limit must be a whole number from 1 to " + std::to_string(kMostLimit));
    filter.limit = *limit + 1; // one more tells whether there is a next page
    if (request.query.count("status") && !FilterByStatus(request.param("status"), filter))
        return invalid(
            "status must be one of queued, sending, sent, delivered, undelivered, failed, expired, canceled");
    filter.address = request.param("to");
    filter.clientRef = request.param("client_ref");
    if (request.query.count("created_after")) {
        filter.createdAfter = ParseRfc3339(request.param("created_after"));
        if (!filter.createdAfter)
            return invalid("created_after must be an RFC 3339 date and time");
    }
    if (request.query.count("cursor")) {
        const auto below = CursorValue(request.param("cursor"));
        if (!below)
            return invalid("cursor is not one this API gave");
        filter.before = *below;
    }
    std::vector<store::MessageRecord> rows;
    {
        auto db = services.pool.lease();
        if (!db.open() || !store::ListMessageRecords(*db, filter, rows))
            return unavailable(request);
    }
    const bool more = rows.size() > static_cast<std::size_t>(*limit);
    if (more)
        rows.resize(static_cast<std::size_t>(*limit));
    json data = json::array();
    for (const auto& m : rows)
        data.push_back(MessageJson(m));
    const std::string next = more ? CursorText(rows.back().id) : "";
    Response r = JsonResponse(200, {{"data", data}, {"next_cursor", more ? json(next) : json(nullptr)}});
    if (more) {
        std::string link = request.path + "?limit=" + std::to_string(*limit);
        for (const char* name : {"status", "to", "client_ref", "created_after"})
            if (request.query.count(name))
                link += std::string("&") + name + "=" + UrlEncode(request.param(name));
        r.header("Link", "<" + link + "&cursor=" + next + ">; rel=\"next\"");
    }
    return r;
}

Response cancelMessage(const Call& call, Services& services)
{
    const auto id = pathId(call);
    if (!id)
        return notFound(call);
    auto db = services.pool.lease();
    if (!db.open())
        return unavailable(call.request);
    store::CancelOutcome outcome;
    {
        const auto writer = services.pool.writer();
        outcome
            = store::CancelPendingMessage(*db, *id, std::string(store::kApiCancelReason) + call.key->name);
    }
    std::optional<store::MessageRecord> m;
    if (outcome == store::CancelOutcome::Failed || !store::LoadMessageRecord(*db, *id, m))
        return unavailable(call.request);
    if (!m)
        return notFound(call);
    // Canceling twice answers as the first time did.
    if (outcome == store::CancelOutcome::NotPending && ApiStatus(*m) != "canceled")
        return ProblemResponse(MakeProblem("not-cancelable",
                                   "the message is " + std::string(ApiStatus(*m))
                                       + "; only a queued message "
                                         "that no console has taken can be canceled"),
            call.request.id);
    return JsonResponse(200, {{"data", MessageJson(*m)}});
}

} // namespace vesk::api
