#pragma once

#include <chrono>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace vesk::api {

// One HTTP request as the server received it, whole: nothing above the server sees a socket.
struct Request
{
    std::string method;
    std::string path; // without the query
    std::map<std::string, std::string> query; // decoded; a name given twice keeps the last value
    std::map<std::string, std::string> headers; // names in lower case
    std::string body;
    std::string peer; // the address the connection came from
    std::string client; // the client's address: the peer, or the one a trusted proxy names
    std::string id; // this request's id, the `instance` of a problem
    bool secure = false; // it came over TLS

    std::string header(const std::string& lowerName) const
    {
        const auto it = headers.find(lowerName);
        return it == headers.end() ? std::string() : it->second;
    }
    std::string param(const std::string& name) const
    {
        const auto it = query.find(name);
        return it == query.end() ? std::string() : it->second;
    }
};

// The answer to one request, as a value.
struct Response
{
    int status = 200;
    std::string contentType = "application/json";
    std::string body;
    std::vector<std::pair<std::string, std::string>> headers;
    std::string route; // the route pattern that answered, for the metrics; empty for none

    Response& header(std::string name, std::string value)
    {
        headers.emplace_back(std::move(name), std::move(value));
        return *this;
    }
};

} // namespace vesk::api
