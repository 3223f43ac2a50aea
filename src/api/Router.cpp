#include "api/Router.h"

#include "api/Services.h"
#include "store/ApiKeys.h"
#include "support/Convert.h"
#include "support/LogSink.h"

#include <algorithm>

namespace vesk::api {

namespace {

std::vector<std::string_view> segments(std::string_view path)
{
    std::vector<std::string_view> out;
    std::size_t start = 1;
    while (start <= path.size()) {
        const std::size_t slash = path.find('/', start);
        out.push_back(path.substr(start, slash == std::string_view::npos ? path.npos : slash - start));
        if (slash == std::string_view::npos)
            break;
        start = slash + 1;
    }
    return out;
}

// The pattern's {names} with their values when the path matches it.
bool matches(std::string_view pattern, std::string_view path, std::map<std::string, std::string>& params)
{
    if (path.empty() || path.front() != '/')
        return false;
    const auto want = segments(pattern), got = segments(path);
    if (want.size() != got.size())
        return false;
    std::map<std::string, std::string> found;
    for (std::size_t i = 0; i < want.size(); ++i) {
        if (want[i].size() > 2 && want[i].front() == '{' && want[i].back() == '}') {
            if (got[i].empty())
                return false;
            found[std::string(want[i].substr(1, want[i].size() - 2))] = std::string(got[i]);
        } else if (want[i] != got[i]) {
            return false;
        }
    }
    params = std::move(found);
    return true;
}

// A path as it may appear in the log: one line, not too long.
std::string shown(const std::string& path)
{
    return EscapeControls(path.size() > 100 ? path.substr(0, 100) + "..." : path);
}

std::optional<ApiKey> keyOf(const store::ApiKeyRow& row)
{
    ApiKey key;
    key.name = row.name;
    for (const std::string& scope : SplitList(row.scopes))
        key.scopes.insert(scope);
    auto allow = AddressRange::ParseList(row.allow);
    if (!allow)
        return std::nullopt; // a damaged row grants nothing
    key.allow = std::move(*allow);
    return key;
}

} // namespace

std::vector<std::string> KnownScopes(std::span<const Route> routes)
{
    std::vector<std::string> scopes;
    for (const Route& r : routes)
        if (!r.scope.empty() && std::find(scopes.begin(), scopes.end(), r.scope) == scopes.end())
            scopes.emplace_back(r.scope);
    std::sort(scopes.begin(), scopes.end());
    return scopes;
}

Router::Router(std::span<const Route> routes, Services& services)
    : m_routes(routes)
    , m_services(services)
{
}

Response Router::handle(const Request& request)
{
    try {
        return route(request);
    } catch (const std::exception& e) {
        LogCaught(m_services.log, request.method + " " + shown(request.path), e);
        return ProblemResponse(MakeProblem("internal-error", "the request could not be handled"), request.id);
    }
}

Response Router::refuse(const Request& request, const Route& route, Problem problem, const std::string& why)
{
    m_services.log.Log(icon::kWarning, "",
        "Refused " + std::to_string(problem.status) + " (" + why + ") for " + request.method + " "
            + shown(request.path) + " from " + request.client);
    Response r = ProblemResponse(problem, request.id);
    r.route = std::string(route.pattern);
    return r;
}

Response Router::route(const Request& request)
{
    const Route* found = nullptr;
    std::map<std::string, std::string> params;
    std::vector<std::string> allowed;
    for (const Route& r : m_routes) {
        std::map<std::string, std::string> p;
        if (!matches(r.pattern, request.path, p))
            continue;
        if (r.method == request.method) {
            found = &r;
            params = std::move(p);
            break;
        }
        allowed.emplace_back(r.method);
    }
    if (!found && allowed.empty())
        return ProblemResponse(
            MakeProblem("not-found", "no resource is at " + shown(request.path)), request.id);
    if (!found) {
        std::string list;
        for (const auto& m : allowed)
            list += (list.empty() ? "" : ", ") + m;
        Problem p
            = MakeProblem("method-not-allowed", request.method + " is not answered here; " + list + " is");
        p.headers.emplace_back("Allow", list);
        return ProblemResponse(p, request.id);
    }
    const Route& route = *found;
    if (route.scope.empty()) {
        Response r = route.handle(Call {request, nullptr, std::move(params)}, m_services);
        r.route = std::string(route.pattern);
        return r;
    }

    const auto now = std::chrono::steady_clock::now();
    if (const int wait = m_services.failures.blockedFor(request.client, now)) {
        Problem p = MakeProblem("too-many-attempts", "try again in " + std::to_string(wait) + " s");
        p.headers.emplace_back("Retry-After", std::to_string(wait));
        Response r = ProblemResponse(p, request.id);
        r.route = std::string(route.pattern);
        return r; // logged once, when the address was blocked
    }
    const auto unauthorized = [&](const std::string& why, bool guess = true) {
        Problem p = MakeProblem("unauthorized", why);
        p.headers.emplace_back("WWW-Authenticate", "Bearer realm=\"vesk-api\"");
        // A request with no key at all guesses nothing (the status page asks so before its login).
        if (guess && m_services.failures.failed(request.client, now))
            m_services.log.Log(icon::kWarning, "",
                "Too many failed key checks from " + request.client + "; refused for a while");
        return refuse(request, route, p, why);
    };
    const std::string authorization = request.header("authorization");
    std::string hash;
    std::optional<Sessions::Session> session;
    if (authorization.size() >= 8 && EqualsNoCase(authorization.substr(0, 7), "Bearer ")) {
        hash = KeyHash(Trim(authorization.substr(7)));
    } else if (const std::string cookie = CookieValue(request.header("cookie"), Sessions::kCookie);
               !cookie.empty()) {
        session = m_services.sessions.find(cookie, std::chrono::system_clock::now());
        if (!session)
            return unauthorized("session ended");
        // A browser's session changes nothing without the token only the page holds.
        if (request.method != "GET" && !SameSecret(request.header("x-csrf-token"), session->csrf))
            return refuse(request, route,
                MakeProblem("forbidden", "the form's CSRF token is missing or wrong"),
                "session without its CSRF token");
        hash = session->keyHash;
    } else {
        return unauthorized("no Bearer key", false);
    }
    std::optional<ApiKey> key = m_services.keys.get(hash, now);
    if (!key) {
        std::optional<store::ApiKeyRow> row;
        {
            auto db = m_services.pool.lease();
            if (!db.open() || !store::FindApiKey(*db, hash, row))
                return ProblemResponse(
                    MakeProblem("outbox-unavailable", "the keys cannot be read from the outbox"), request.id);
        }
        if (row)
            key = keyOf(*row);
        if (!key)
            return unauthorized("unknown key");
        m_services.keys.put(hash, *key, now);
    }
    if (!key->allow.empty() && std::none_of(key->allow.begin(), key->allow.end(), [&](const AddressRange& a) {
            return a.Contains(request.client);
        }))
        return refuse(request, route,
            MakeProblem(
                "address-not-allowed", "key " + key->name + " may not be used from " + request.client),
            "key " + key->name + " from an address it does not allow");
    if (!key->scopes.count(std::string(route.scope)))
        return refuse(request, route,
            MakeProblem("forbidden", "key " + key->name + " lacks the scope " + std::string(route.scope)),
            "key " + key->name + " lacks " + std::string(route.scope));
    Response r = route.handle(Call {request, &*key, std::move(params), hash, session}, m_services);
    r.route = std::string(route.pattern);
    return r;
}

} // namespace vesk::api
