#pragma once

#include "api/Http.h"
#include "api/Keys.h"
#include "api/Problems.h"
#include "api/Sessions.h"

#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::api {

struct Services;

// A request that passed the route's checks: its key (none on public routes) and the values of
// the pattern's {names}.
struct Call
{
    const Request& request;
    const ApiKey* key;
    std::map<std::string, std::string> params;
    std::string keyHash = {}; // of the key, for the status page's login
    std::optional<Sessions::Session> session = {}; // when a session cookie brought the key

    std::string param(const std::string& name) const
    {
        const auto it = params.find(name);
        return it == params.end() ? std::string() : it->second;
    }
};

// A route: the method, the path pattern ("/v1/messages/{id}"), the scope the key must hold
// ("" for a public route) and the handler, which returns its answer as a value.
struct Route
{
    std::string_view method;
    std::string_view pattern;
    std::string_view scope;
    Response (*handle)(const Call&, Services&);
};

// The API's routes, in one table.
std::span<const Route> ApiRoutes();
// Every scope some route asks for: what a key may be given.
std::vector<std::string> KnownScopes(std::span<const Route> routes);

// Finds the route, checks the key, its address and scope, limits failed attempts per address
// and runs the handler. Never throws: a fault becomes a 500 problem.
class Router
{
public:
    Router(std::span<const Route> routes, Services& services);
    Response handle(const Request& request);

private:
    Response route(const Request& request);
    Response refuse(const Request& request, const Route& route, Problem problem, const std::string& why);

    std::span<const Route> m_routes;
    Services& m_services;
};

} // namespace vesk::api
