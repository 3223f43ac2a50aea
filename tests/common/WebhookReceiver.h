#pragma once

// A receiver of webhooks as an integrator would write one: a small HTTP server (libmicrohttpd) on
// 127.0.0.1 that checks every delivery's signature with its own HMAC-SHA256 (built here from
// SHA-256, not the gateway's code), keeps what came, and answers as the test tells it.

#include <microhttpd.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/sha.h>

#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <vector>

namespace vesk::testing {

// HMAC-SHA256 (RFC 2104) over SHA-256, base64-encoded.
inline std::string ReceiverHmac(const std::string& key, const std::string& message)
{
    constexpr std::size_t kBlock = 64;
    std::string k = key;
    if (k.size() > kBlock) {
        unsigned char d[SHA256_DIGEST_LENGTH];
        SHA256(reinterpret_cast<const unsigned char*>(k.data()), k.size(), d);
        k.assign(reinterpret_cast<char*>(d), sizeof d);
    }
    k.resize(kBlock, '\0');
    std::string inner(kBlock, '\0'), outer(kBlock, '\0');
    for (std::size_t i = 0; i < kBlock; ++i) {
        inner[i] = static_cast<char>(k[i] ^ 0x36);
        outer[i] = static_cast<char>(k[i] ^ 0x5c);
    }
    unsigned char d[SHA256_DIGEST_LENGTH];
    inner += message;
    SHA256(reinterpret_cast<const unsigned char*>(inner.data()), inner.size(), d);
    outer.append(reinterpret_cast<char*>(d), sizeof d);
    SHA256(reinterpret_cast<const unsigned char*>(outer.data()), outer.size(), d);
    unsigned char text[64] = {};
    EVP_EncodeBlock(text, d, sizeof d);
    return reinterpret_cast<char*>(text);
}

// The key bytes of a "whsec_" secret.
inline std::string ReceiverKey(const std::string& secret)
{
    const std::string b64 = secret.substr(6);
    std::vector<unsigned char> out(b64.size());
    const int n = EVP_DecodeBlock(
        out.data(), reinterpret_cast<const unsigned char*>(b64.data()), static_cast<int>(b64.size()));
    const std::size_t pad = b64.size() - b64.find_last_not_of('=') - 1;
    return std::string(reinterpret_cast<char*>(out.data()), static_cast<std::size_t>(n) - pad);
}

struct Delivery
{
    std::string id, timestamp, signature, body, contentType;
    bool signedWith(const std::string& secret) const
    {
        const std::string expected
            = "v1," + ReceiverHmac(ReceiverKey(secret), id + "." + timestamp + "." + body);
        std::size_t at = 0;
        while (at < signature.size()) {
            const std::size_t end = std::min(signature.find(' ', at), signature.size());
            if (signature.compare(at, end - at, expected) == 0)
                return true;
            at = end + 1;
        }
        return false;
    }
    std::chrono::steady_clock::time_point at;
};

class WebhookReceiver
{
public:
    // The status to answer (and headers to add) for a delivery; 204 by default.
    struct Reply
    {
        int status = 204;
        std::vector<std::pair<std::string, std::string>> headers;
    };
    std::function<Reply(const Delivery&)> answer;

    explicit WebhookReceiver(int port = 0) { up(port); }
    ~WebhookReceiver() { down(); }

    // Stops listening: connections are refused until up().
    void down()
    {
        if (m_daemon)
            MHD_stop_daemon(m_daemon);
        m_daemon = nullptr;
    }
    void up(int port = -1)
    {
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        a.sin_port = htons(static_cast<std::uint16_t>(port < 0 ? m_port : port));
        m_daemon = MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_ERROR_LOG, 0, nullptr, nullptr,
            &WebhookReceiver::handle, this, MHD_OPTION_SOCK_ADDR, &a, MHD_OPTION_LISTENING_ADDRESS_REUSE, 1u,
            MHD_OPTION_NOTIFY_COMPLETED, &WebhookReceiver::completed, nullptr, MHD_OPTION_END);
        if (m_daemon)
            m_port = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT)->port;
    }

    int port() const { return m_port; }
    std::string url(const std::string& path = "/hook") const
    {
        return "http://127.0.0.1:" + std::to_string(m_port) + path;
    }

    std::vector<Delivery> received() const
    {
        const std::lock_guard lock(m_mutex);
        return m_received;
    }
    std::size_t count() const
    {
        const std::lock_guard lock(m_mutex);
        return m_received.size();
    }
    // Waits until at least n deliveries came; false when they did not within `limit`.
    bool waitFor(std::size_t n, std::chrono::milliseconds limit = std::chrono::seconds(30)) const
    {
        std::unique_lock lock(m_mutex);
        return m_arrived.wait_for(lock, limit, [&] { return m_received.size() >= n; });
    }

private:
    // A connection that ended before its body was whole leaves its buffer here.
    static void completed(void*, MHD_Connection*, void** state, MHD_RequestTerminationCode)
    {
        delete static_cast<std::string*>(*state);
        *state = nullptr;
    }
    static MHD_Result handle(void* cls, MHD_Connection* connection, const char*, const char*, const char*,
        const char* data, size_t* size, void** state)
    {
        auto* self = static_cast<WebhookReceiver*>(cls);
        if (!*state) {
            *state = new std::string;
            return MHD_YES;
        }
        auto* body = static_cast<std::string*>(*state);
        if (*size) {
            body->append(data, *size);
            *size = 0;
            return MHD_YES;
        }
        const auto header = [&](const char* name) {
            const char* v = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, name);
            return std::string(v ? v : "");
        };
        Delivery d {header("webhook-id"), header("webhook-timestamp"), header("webhook-signature"), *body,
            header("content-type"), std::chrono::steady_clock::now()};
        delete body;
        *state = nullptr;
        const Reply reply = self->answer ? self->answer(d) : Reply {};
        {
            const std::lock_guard lock(self->m_mutex);
            self->m_received.push_back(std::move(d));
        }
        self->m_arrived.notify_all();
        MHD_Response* r = MHD_create_response_from_buffer(0, nullptr, MHD_RESPMEM_PERSISTENT);
        for (const auto& [name, value] : reply.headers)
            MHD_add_response_header(r, name.c_str(), value.c_str());
        const MHD_Result done = MHD_queue_response(connection, static_cast<unsigned>(reply.status), r);
        MHD_destroy_response(r);
        return done;
    }

    MHD_Daemon* m_daemon = nullptr;
    int m_port = 0;
    mutable std::mutex m_mutex;
    mutable std::condition_variable m_arrived;
    std::vector<Delivery> m_received;
};

} // namespace vesk::testing
