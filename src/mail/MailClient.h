#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vesk {
class LogSink;
}

namespace vesk::mail {

// Login methods as stored with the mail account.
namespace login {
inline constexpr int kNone = 0;
inline constexpr int kPlain = 1;
inline constexpr int kLogin = 2;
inline constexpr int kMD5 = 3; // CRAM-MD5
inline constexpr int kNTLM = 4;
} // namespace login

// An SMTP client over libcurl. Server may be "host", "host:port" or an smtp:// or smtps:// address
// of one; nothing else reaches libcurl. STARTTLS is used when the server offers it, and a login
// goes only over TLS unless AllowPlainLogin says this server may have it in clear. Failures are
// kept as a number and a text.
class MailClient
{
public:
    explicit MailClient(LogSink& log);
    ~MailClient();
    MailClient(const MailClient&) = delete;
    MailClient& operator=(const MailClient&) = delete;

    std::string Server;
    std::string Username; // also the sender address of every mail
    std::string Password;
    std::int16_t LoginMethod = login::kNone;
    bool AllowPlainLogin = false; // the operator lets the password go to this server without TLS

    // Writes the conversation with the server to this file (credentials masked); "" for none.
    void setConnectionLog(const std::string& path);

    bool Connect();
    void Disconnect();
    bool Send(const std::string& recipients, const std::string& blindCopies, const std::string& extra,
        const std::string& subject, const std::string& body);

    bool IsConnected() const { return m_connected; }
    long LastErrorNumber() const { return m_errorNumber; }
    const std::string& LastErrorText() const { return m_errorText; }

    // Seconds the client waits for a server before giving up.
    void setTimeout(long seconds) { m_timeoutSeconds = seconds; }

private:
    struct Handle;

    bool perform(Handle& h);
    void applyAccount(Handle& h, const std::string& serverUrl);

    LogSink& m_log;
    std::unique_ptr<Handle> m_handle;
    std::string m_connectionLog;
    bool m_connected = false;
    long m_errorNumber = 0;
    std::string m_errorText;
    long m_timeoutSeconds = 30;
};

// The libcurl address for a server setting, "smtp://host" or "smtps://host:port"; empty, with the
// reason in `error`, for anything that is not such an address or a bare host[:port].
std::string ServerUrl(const std::string& server, std::string& error);

// The address of one entry of a recipient list, "Name <a@b>" giving a@b; nothing when the address
// holds a control character or an angle bracket and so could add a header or a recipient.
std::optional<std::string> MailAddress(const std::string& entry);

// The entries of a comma- or semicolon-separated list, trimmed, empty ones left out.
std::vector<std::string> AddressEntries(const std::string& list);

// The parts of a mail as it goes over the wire, exposed for the tests of header encoding.
std::string BuildMessage(const std::string& from, const std::string& recipients, const std::string& subject,
    const std::string& body, const std::string& dateHeader);

} // namespace vesk::mail
