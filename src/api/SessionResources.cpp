#include "api/Resources.h"
#include "api/Services.h"
#include "api/Times.h"

namespace vesk::api {

namespace {

using nlohmann::json;

json sessionJson(const Call& call, const std::string& csrf, std::chrono::system_clock::time_point expires)
{
    json scopes = json::array();
    for (const auto& s : call.key->scopes)
        scopes.push_back(s);
    return {{"key", call.key->name}, {"scopes", scopes}, {"csrf", csrf},
        {"expires_at",
            Rfc3339(std::chrono::duration_cast<std::chrono::seconds>(expires.time_since_epoch()).count())}};
}

std::string cookie(const Request& request, const std::string& value, long maxAge)
{
    return std::string(Sessions::kCookie) + "=" + value + "; Path=/; Max-Age=" + std::to_string(maxAge)
        + "; HttpOnly; SameSite=Strict" + (request.secure ? "; Secure" : "");
}

} // namespace

Response openSession(const Call& call, Services& services)
{
    const auto opened = services.sessions.open(call.keyHash, std::chrono::system_clock::now());
    if (!opened)
        return ProblemResponse(MakeProblem("internal-error", "no session could be made"), call.request.id);
    Response r = JsonResponse(201, sessionJson(call, opened->session.csrf, opened->session.expires));
    r.header("Set-Cookie",
        cookie(call.request, opened->token,
            std::chrono::duration_cast<std::chrono::seconds>(Sessions::kLife).count()));
    r.header("Cache-Control", "no-store");
    return r;
}

Response showSession(const Call& call, Services&)
{
    if (!call.session)
        return ProblemResponse(
            MakeProblem("not-found", "this request came without a session"), call.request.id);
    Response r = JsonResponse(200, sessionJson(call, call.session->csrf, call.session->expires));
    r.header("Cache-Control", "no-store");
    return r;
}

Response closeSession(const Call& call, Services& services)
{
    services.sessions.close(CookieValue(call.request.header("cookie"), Sessions::kCookie));
    Response r = JsonResponse(200, {{"status", "logged out"}});
    r.header("Set-Cookie", cookie(call.request, "", 0));
    return r;
}

} // namespace vesk::api
