#pragma once

#include "api/Problems.h"
#include "api/Router.h"

#include <nlohmann/json.hpp>

#include <initializer_list>
#include <optional>
#include <string_view>

namespace vesk::api {

// The handlers of the route table. Each takes what it needs and returns its answer.

Response submitMessages(const Call& call, Services& services);
Response submitBatch(const Call& call, Services& services);
Response showMessage(const Call& call, Services& services);
Response listMessages(const Call& call, Services& services);
Response cancelMessage(const Call& call, Services& services);

Response listInbound(const Call& call, Services& services);
Response showInbound(const Call& call, Services& services);

// What the status page shows: the consoles of the outbox and the shape of its queue.
Response listConsoles(const Call& call, Services& services);
Response showQueue(const Call& call, Services& services);
// The webhook endpoints with their backlog and last failure, for a key that may only look.
Response listWebhookStatus(const Call& call, Services& services);

// The status page's login: the key of the request exchanged for a session cookie.
Response openSession(const Call& call, Services& services);
Response showSession(const Call& call, Services& services);
Response closeSession(const Call& call, Services& services);

Response healthz(const Call& call, Services& services);
Response readyz(const Call& call, Services& services);
Response metrics(const Call& call, Services& services);
// A file built into the program, at the request's path.
Response staticFile(const Call& call, Services& services);

// A body that is not sent as application/json, as its problem.
std::optional<Problem> NotJsonBody(const Request& request);
// A JSON answer.
Response JsonResponse(int status, const nlohmann::json& body);
// The query's names must all be among `known`; the first that is not, as a problem.
std::optional<Problem> UnknownParameter(
    const Request& request, std::initializer_list<std::string_view> known);
std::string UrlEncode(std::string_view text);
// "limit" between 1 and `most` (`fallback` when absent).
std::optional<int> LimitParameter(const Request& request, int fallback, int most);

} // namespace vesk::api
