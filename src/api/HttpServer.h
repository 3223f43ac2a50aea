#pragma once

#include "api/AddressRange.h"
#include "api/Http.h"
#include "api/RequestWorkers.h"

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

struct MHD_Daemon;

namespace vesk::api {

// Where to listen: "127.0.0.1:8573", "[::1]:8573", "0.0.0.0:8573" (port 0 takes a free one).
struct ListenAddress
{
    std::string host;
    int port = 0;
    bool v6 = false;

    static std::optional<ListenAddress> Parse(const std::string& text);
};

struct ServerOptions
{
    std::vector<ListenAddress> listen;
    std::string certificatePem; // TLS when both are set
    std::string privateKeyPem;
    int threads = 4; // that answer requests; half as many serve the connections, through epoll
    unsigned connectionLimit = 4096;
    unsigned perAddressLimit = 64; // connections one client address may hold; 0 for no limit
    unsigned idleTimeoutSeconds = 30; // a connection that sends nothing for this long is closed
    std::size_t connectionMemory = 64 * 1024; // per connection, for its headers
    // Proxies whose X-Forwarded-For names the client.
    std::vector<AddressRange> trustedProxies;
};

// libmicrohttpd held by one object: each listening address gets a daemon with an internal thread
// pool on epoll, so a slow or idle client holds a socket, never a thread. Requests reach the
// handler whole (headers, query, body up to kMaxBodyBytes), on the worker threads in the order
// they came; what it returns is sent. Stopping (or destroying) waits for the requests under way.
class HttpServer
{
public:
    using Handler = std::function<Response(const Request&)>;
    // Told of every answer, with the time from the request's arrival.
    using Observer = std::function<void(const Request&, const Response&, std::chrono::nanoseconds)>;
    using ErrorLog = std::function<void(const std::string&)>;

    HttpServer(ServerOptions options, Handler handler, Observer observer, ErrorLog errors);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // False with the reason when an address could not be bound or the server not started.
    bool start(std::string& error);
    void stop();
    // The port of each listening address, in order (the one taken for port 0 too).
    const std::vector<int>& ports() const { return m_ports; }

    struct Pending;

private:
    friend struct ServerCallbacks;
    ServerOptions m_options;
    Handler m_handler;
    Observer m_observer;
    ErrorLog m_errors;
    std::unique_ptr<RequestWorkers> m_workers;
    std::atomic<int> m_handedOver {0}; // requests handed to the workers and not yet done with
    std::vector<MHD_Daemon*> m_daemons;
    std::vector<int> m_ports;
};

} // namespace vesk::api
