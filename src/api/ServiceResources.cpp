#include "api/JsonBody.h"
#include "api/Resources.h"
#include "api/Services.h"
#include "store/Outbox.h"

namespace vesk::api {

Response JsonResponse(int status, const nlohmann::json& body)
{
    Response r;
    r.status = status;
    r.body = JsonText(body);
    return r;
}

std::optional<Problem> UnknownParameter(const Request& request, std::initializer_list<std::string_view> known)
{
    for (const auto& [name, value] : request.query)
        if (std::find(known.begin(), known.end(), name) == known.end())
            return MakeProblem(
                "invalid-query", "the parameter " + EscapeControls(name) + " is not known here");
    return std::nullopt;
}

std::optional<int> LimitParameter(const Request& request, int fallback, int most)
{
    if (!request.query.count("limit"))
        return fallback;
    const std::string text = request.param("limit");
    if (text.empty() || text.size() > 4 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    const int n = std::stoi(text);
    return n >= 1 && n <= most ? std::optional<int>(n) : std::nullopt;
}

std::string UrlEncode(std::string_view text)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : text) {
        const auto u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 15];
        }
    }
    return out;
}

Response healthz(const Call&, Services&)
{
    return JsonResponse(200, {{"status", "ok"}});
}

Response readyz(const Call& call, Services& services)
{
    auto db = services.pool.lease();
    if (!db.open() || !store::CountPending(*db))
        return ProblemResponse(
            MakeProblem("outbox-unavailable", "the outbox does not answer"), call.request.id);
    return JsonResponse(200, {{"status", "ready"}});
}

Response metrics(const Call&, Services& services)
{
    std::optional<std::int64_t> queued;
    {
        auto db = services.pool.lease();
        if (db.open())
            queued = store::CountPending(*db);
    }
    Response r;
    r.contentType = "text/plain; version=0.0.4; charset=utf-8";
    r.body = services.metrics.text(queued);
    return r;
}

Response staticFile(const Call& call, Services& services)
{
    for (const StaticFile& f : services.files) {
        if (f.path != call.request.path)
            continue;
        Response r;
        r.contentType = std::string(f.contentType);
        if (r.contentType.starts_with("text/"))
            r.contentType += "; charset=utf-8"; // the page's files are UTF-8
        r.body = std::string(f.content);
        r.header("Cache-Control", "no-cache");
        return r;
    }
    return ProblemResponse(MakeProblem("not-found", "no file is at this path"), call.request.id);
}

} // namespace vesk::api
