#include "api/HttpServer.h"

#include "api/JsonBody.h"
#include "api/Keys.h"
#include "api/Problems.h"
#include "support/Convert.h"

#include <arpa/inet.h>
#include <cstring>
#include <microhttpd.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace vesk::api {

struct HttpServer::Pending
{
    Request request;
    bool tooLarge = false;
    bool handedOver = false; // to a worker, which leaves its answer here
    std::optional<Response> response;
    bool answered = false;
    std::chrono::steady_clock::time_point started = std::chrono::steady_clock::now();
};

namespace {

MHD_Result collect(void* cls, MHD_ValueKind, const char* key, const char* value)
{
    auto& map = *static_cast<std::map<std::string, std::string>*>(cls);
    if (key)
        map[std::string(key)] = value ? value : "";
    return MHD_YES;
}

std::string addressText(const sockaddr* sa)
{
    char text[INET6_ADDRSTRLEN] = "";
    if (sa && sa->sa_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(sa)->sin_addr, text, sizeof text);
    } else if (sa && sa->sa_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(sa);
        if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr))
            inet_ntop(AF_INET, &v6->sin6_addr.s6_addr[12], text, sizeof text);
        else
            inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
    }
    return text;
}

// The client behind trusted proxies: the right-most X-Forwarded-For entry no trusted proxy holds.
std::string clientOf(
    const std::string& peer, const std::string& forwarded, const std::vector<AddressRange>& proxies)
{
    const auto trusted = [&](const std::string& a) {
        for (const AddressRange& r : proxies)
            if (r.Contains(a))
                return true;
        return false;
    };
    if (!trusted(peer) || forwarded.empty())
        return peer;
    std::string client = peer;
    std::vector<std::string> hops = SplitList(forwarded);
    for (auto it = hops.rbegin(); it != hops.rend(); ++it) {
        if (!AddressBytes(*it))
            break;
        client = *it;
        if (!trusted(*it))
            break;
    }
    return client;
}

int bindSocket(const ListenAddress& a, std::string& error, int& port)
{
    const int fd = socket(a.v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = std::strerror(errno);
        return -1;
    }
    const int on = 1;
    setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_storage storage {};
    socklen_t size = 0;
    bool parsed = false;
    if (a.v6) {
        auto* sa = reinterpret_cast<sockaddr_in6*>(&storage);
        sa->sin6_family = AF_INET6;
        sa->sin6_port = htons(static_cast<std::uint16_t>(a.port));
        parsed = inet_pton(AF_INET6, a.host.c_str(), &sa->sin6_addr) == 1;
        setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
        size = sizeof *sa;
    } else {
        auto* sa = reinterpret_cast<sockaddr_in*>(&storage);
        sa->sin_family = AF_INET;
        sa->sin_port = htons(static_cast<std::uint16_t>(a.port));
        parsed = inet_pton(AF_INET, a.host.c_str(), &sa->sin_addr) == 1;
        size = sizeof *sa;
    }
    if (!parsed) {
        error = "not an address";
    } else if (bind(fd, reinterpret_cast<sockaddr*>(&storage), size) != 0 || listen(fd, 511) != 0) {
        error = std::strerror(errno);
    } else {
        size = sizeof storage;
        getsockname(fd, reinterpret_cast<sockaddr*>(&storage), &size);
        port = ntohs(a.v6 ? reinterpret_cast<sockaddr_in6*>(&storage)->sin6_port
                          : reinterpret_cast<sockaddr_in*>(&storage)->sin_port);
        return fd;
    }
    close(fd);
    return -1;
}

} // namespace

std::optional<ListenAddress> ListenAddress::Parse(const std::string& text)
{
    const std::string t = Trim(text);
    const auto colon = t.rfind(':');
    if (colon == std::string::npos || colon + 1 >= t.size())
        return std::nullopt;
    const std::string portText = t.substr(colon + 1);
    if (portText.size() > 5 || portText.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    ListenAddress a;
    a.port = std::stoi(portText);
    a.host = t.substr(0, colon);
    if (a.host.size() > 2 && a.host.front() == '[' && a.host.back() == ']') {
        a.host = a.host.substr(1, a.host.size() - 2);
        a.v6 = true;
    }
    if (a.port > 65535 || !AddressBytes(a.host) || a.v6 != (a.host.find(':') != std::string::npos))
        return std::nullopt;
    return a;
}

// The C callbacks, in one place that may see the server's insides.
struct ServerCallbacks
{
    static void answer(HttpServer& server, MHD_Connection* connection, HttpServer::Pending& p, Response r)
    {
        p.answered = true;
        r.headers.emplace_back("X-Request-Id", p.request.id);
        // The status page is served from here too: no script but its own file, nothing from
        // another site, never inside another site's frame, no guessing of content types.
        r.headers.emplace_back("Content-Security-Policy",
            "default-src 'none'; script-src 'self'; style-src 'self'; img-src 'self'; connect-src 'self';"
            " form-action 'self'; base-uri 'none'; frame-ancestors 'none'");
        r.headers.emplace_back("X-Content-Type-Options", "nosniff");
        r.headers.emplace_back("X-Frame-Options", "DENY");
        r.headers.emplace_back("Referrer-Policy", "no-referrer");
        MHD_Response* response
            = MHD_create_response_from_buffer(r.body.size(), r.body.data(), MHD_RESPMEM_MUST_COPY);
        if (!r.contentType.empty()) // none for an answer without a body
            MHD_add_response_header(response, "Content-Type", r.contentType.c_str());
        for (const auto& [name, value] : r.headers)
            MHD_add_response_header(response, name.c_str(), value.c_str());
        MHD_queue_response(connection, static_cast<unsigned>(r.status), response);
        MHD_destroy_response(response);
        if (server.m_observer)
            server.m_observer(p.request, r, std::chrono::steady_clock::now() - p.started);
    }

    static MHD_Result request(void* cls, MHD_Connection* connection, const char* url, const char* method,
        const char*, const char* upload, size_t* uploadSize, void** state)
    {
        auto& server = *static_cast<HttpServer*>(cls);
        auto* p = static_cast<HttpServer::Pending*>(*state);
        if (!p) {
            p = new HttpServer::Pending;
            *state = p;
            Request& r = p->request;
            r.method = method ? method : "";
            r.path = url ? url : "";
            r.id = RandomHex(8);
            MHD_get_connection_values(connection, MHD_HEADER_KIND, collect, &r.headers);
            std::map<std::string, std::string> raw;
            std::swap(raw, r.headers);
            for (auto& [name, value] : raw)
                r.headers[ToLower(name)] = std::move(value);
            MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, collect, &r.query);
            const auto* info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CLIENT_ADDRESS);
            r.peer = addressText(info ? info->client_addr : nullptr);
            r.client = clientOf(r.peer, r.header("x-forwarded-for"), server.m_options.trustedProxies);
            // TLS here, or at a trusted proxy that says so.
            r.secure = !server.m_options.certificatePem.empty()
                || (r.header("x-forwarded-proto") == "https"
                    && std::any_of(server.m_options.trustedProxies.begin(),
                        server.m_options.trustedProxies.end(),
                        [&](const AddressRange& a) { return a.Contains(r.peer); }));
            // A body announced too large is refused before it is read.
            const std::string length = r.header("content-length");
            if (!length.empty() && (length.size() > 9 || std::stoull("0" + length) > kMaxBodyBytes)) {
                answer(server, connection, *p,
                    ProblemResponse(MakeProblem("body-too-large", "the body may hold at most 1 MiB"), r.id));
                return MHD_YES;
            }
            return MHD_YES;
        }
        if (p->answered) {
            *uploadSize = 0;
            return MHD_YES;
        }
        if (*uploadSize > 0) {
            if (!p->tooLarge && p->request.body.size() + *uploadSize <= kMaxBodyBytes) {
                p->request.body.append(upload, *uploadSize);
            } else if (!p->tooLarge) {
                p->tooLarge = true;
                std::string().swap(p->request.body);
            }
            *uploadSize = 0;
            return MHD_YES;
        }
        if (p->tooLarge) {
            answer(server, connection, *p,
                ProblemResponse(
                    MakeProblem("body-too-large", "the body may hold at most 1 MiB"), p->request.id));
            return MHD_YES;
        }
        if (p->response) {
            answer(server, connection, *p, std::move(*p->response));
            return MHD_YES;
        }
        if (!p->handedOver) {
            // The connection waits, holding no thread, until a worker has its answer; then the
            // server comes back here with it.
            p->handedOver = true;
            ++server.m_handedOver;
            MHD_suspend_connection(connection);
            auto job = [&server, connection, p] {
                p->response = server.m_handler(p->request);
                MHD_resume_connection(connection);
            };
            if (!server.m_workers->post(job))
                job();
        }
        return MHD_YES;
    }

    static void completed(void* cls, MHD_Connection*, void** state, MHD_RequestTerminationCode)
    {
        auto* p = static_cast<HttpServer::Pending*>(*state);
        if (p && p->handedOver)
            --static_cast<HttpServer*>(cls)->m_handedOver;
        delete p;
        *state = nullptr;
    }

    static void log(void* cls, const char* format, va_list args)
    {
        auto& server = *static_cast<HttpServer*>(cls);
        char text[512];
        std::vsnprintf(text, sizeof text, format, args);
        if (server.m_errors)
            server.m_errors(EscapeControls(Trim(text)));
    }
};

HttpServer::HttpServer(ServerOptions options, Handler handler, Observer observer, ErrorLog errors)
    : m_options(std::move(options))
    , m_handler(std::move(handler))
    , m_observer(std::move(observer))
    , m_errors(std::move(errors))
{
}

HttpServer::~HttpServer()
{
    stop();
}

bool HttpServer::start(std::string& error)
{
    const bool tls = !m_options.certificatePem.empty() && !m_options.privateKeyPem.empty();
    m_workers = std::make_unique<RequestWorkers>(std::max(m_options.threads, 1));
    // Reading and writing sockets is light next to answering: half as many threads do it.
    const int networkThreads = std::max(m_options.threads / 2, 1);
    for (const ListenAddress& a : m_options.listen) {
        int port = 0;
        std::string why;
        const int fd = bindSocket(a, why, port);
        const std::string name = (a.v6 ? "[" + a.host + "]" : a.host) + ":" + std::to_string(a.port);
        if (fd < 0) {
            error = "cannot listen on " + name + ": " + why;
            stop();
            return false;
        }
        unsigned flags = MHD_USE_EPOLL_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_ERROR_LOG
            | (a.v6 ? MHD_USE_IPv6 : 0) | (tls ? MHD_USE_TLS : 0);
        std::vector<MHD_OptionItem> options = {
            {MHD_OPTION_EXTERNAL_LOGGER, reinterpret_cast<intptr_t>(&ServerCallbacks::log), this},
            {MHD_OPTION_LISTEN_SOCKET, fd, nullptr},
            {MHD_OPTION_THREAD_POOL_SIZE, networkThreads, nullptr},
            {MHD_OPTION_CONNECTION_LIMIT, m_options.connectionLimit, nullptr},
            {MHD_OPTION_PER_IP_CONNECTION_LIMIT, m_options.perAddressLimit, nullptr},
            {MHD_OPTION_CONNECTION_TIMEOUT, m_options.idleTimeoutSeconds, nullptr},
            {MHD_OPTION_CONNECTION_MEMORY_LIMIT, static_cast<intptr_t>(m_options.connectionMemory), nullptr},
            {MHD_OPTION_NOTIFY_COMPLETED, reinterpret_cast<intptr_t>(&ServerCallbacks::completed), this},
        };
        if (tls) {
            options.push_back({MHD_OPTION_HTTPS_MEM_KEY, 0, m_options.privateKeyPem.data()});
            options.push_back({MHD_OPTION_HTTPS_MEM_CERT, 0, m_options.certificatePem.data()});
        }
        options.push_back({MHD_OPTION_END, 0, nullptr});
        MHD_Daemon* daemon = MHD_start_daemon(flags, 0, nullptr, nullptr, &ServerCallbacks::request, this,
            MHD_OPTION_ARRAY, options.data(), MHD_OPTION_END);
        if (!daemon) {
            close(fd);
            error = "cannot start the server on " + name
                + (tls ? " (is the certificate and key pair valid?)" : "");
            stop();
            return false;
        }
        m_daemons.push_back(daemon);
        m_ports.push_back(port);
    }
    return true;
}

void HttpServer::stop()
{
    // Every request handed over is answered before the daemons stop; one that comes meanwhile is
    // answered on its network thread.
    if (m_workers)
        m_workers->stop();
    // Their answers reach the clients before the connections are closed, unless a client will
    // not take its answer.
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (m_handedOver > 0 && std::chrono::steady_clock::now() < giveUp)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    for (MHD_Daemon* d : m_daemons)
        MHD_stop_daemon(d);
    m_daemons.clear();
}

} // namespace vesk::api
