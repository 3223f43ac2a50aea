#include "api/Problems.h"

#include "api/JsonBody.h"

namespace vesk::api {

namespace {

struct Kind
{
    std::string_view type;
    int status;
    std::string_view title;
};

// Every kind of problem the API gives; the OpenAPI document lists the same.
constexpr Kind kKinds[] = {
    {"invalid-json", 400, "The body is not JSON of the expected shape"},
    {"invalid-utf8", 400, "The body is not valid UTF-8"},
    {"too-deep", 400, "The JSON is nested too deeply"},
    {"invalid-query", 400, "A query parameter is not valid"},
    {"invalid-idempotency-key", 400, "The Idempotency-Key header is not valid"},
    {"unauthorized", 401, "A valid API key is needed"},
    {"forbidden", 403, "The API key does not allow this"},
    {"address-not-allowed", 403, "The API key may not be used from this address"},
    {"not-found", 404, "There is no such resource"},
    {"method-not-allowed", 405, "The resource does not answer this method"},
    {"idempotency-in-flight", 409, "A request with this Idempotency-Key is still being processed"},
    {"not-cancelable", 409, "The message can no longer be canceled"},
    {"nothing-to-redeliver", 409, "No webhook endpoint has had this event"},
    {"body-too-large", 413, "The body is too large"},
    {"unsupported-media-type", 415, "The body must be application/json"},
    {"unknown-field", 422, "The body has a field the API does not know"},
    {"invalid-field", 422, "A field has the wrong type or form"},
    {"invalid-number", 422, "The number is not in international form"},
    {"empty-text", 422, "The text is empty"},
    {"text-too-long", 422, "The text is longer than the outbox holds"},
    {"invalid-time", 422, "The time is not an RFC 3339 date and time"},
    {"time-in-past", 422, "The time is in the past"},
    {"address-refused", 422, "The address filter refuses the number"},
    {"too-many-recipients", 422, "The message has too many recipients"},
    {"batch-too-large", 422, "The batch has too many items"},
    {"invalid-request", 422, "The request has several errors"},
    {"invalid-url", 422, "The URL is not one webhooks may be sent to"},
    {"idempotency-key-reused", 422, "The Idempotency-Key was used with another request"},
    {"too-many-attempts", 429, "Too many failed attempts from this address"},
    {"internal-error", 500, "The request could not be handled"},
    {"outbox-unavailable", 503, "The outbox cannot be reached"},
};

const Kind& kindOf(std::string_view type)
{
    for (const Kind& k : kKinds)
        if (k.type == type)
            return k;
    return kKinds[std::size(kKinds) - 2]; // internal-error
}

} // namespace

nlohmann::json ProblemObject(const Problem& p, const std::string& requestId)
{
    nlohmann::json j = {{"type", ProblemTypeUri(p.type)}, {"title", ProblemTitle(p.type)},
        {"status", p.status}, {"detail", p.detail}, {"instance", requestId}};
    if (!p.errors.empty()) {
        nlohmann::json errors = nlohmann::json::array();
        for (const FieldError& e : p.errors)
            errors.push_back(
                {{"pointer", e.pointer}, {"reason", e.reason}, {"type", ProblemTypeUri(e.type)}});
        j["errors"] = std::move(errors);
    }
    return j;
}

std::string ProblemTypeUri(std::string_view type)
{
    return "/problems/" + std::string(type);
}

std::string_view ProblemTitle(std::string_view type)
{
    return kindOf(type).title;
}

int ProblemStatus(std::string_view type)
{
    return kindOf(type).status;
}

Problem MakeProblem(std::string_view type, std::string detail)
{
    return Problem {ProblemStatus(type), std::string(kindOf(type).type), std::move(detail), {}, {}};
}

Problem FieldProblem(std::string_view type, std::string pointer, std::string reason)
{
    return FieldProblems({FieldError {std::move(pointer), std::move(reason), std::string(type)}});
}

Problem FieldProblems(std::vector<FieldError> errors)
{
    std::string type = errors.empty() ? "invalid-request" : errors.front().type;
    for (const FieldError& e : errors)
        if (e.type != type)
            type = "invalid-request";
    Problem p = MakeProblem(type, "");
    p.detail = errors.size() == 1 ? errors.front().pointer + ": " + errors.front().reason
                                  : std::to_string(errors.size()) + " fields are not valid";
    p.errors = std::move(errors);
    return p;
}

std::string ProblemJson(const Problem& p, const std::string& requestId)
{
    return JsonText(ProblemObject(p, requestId));
}

Response ProblemResponse(const Problem& p, const std::string& requestId)
{
    Response r;
    r.status = p.status;
    r.contentType = "application/problem+json";
    r.body = ProblemJson(p, requestId);
    r.headers = p.headers;
    return r;
}

} // namespace vesk::api
