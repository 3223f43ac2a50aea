#include "mail/MailClient.h"

#include "support/Convert.h"
#include "support/LogSink.h"
#include "support/Platform.h"
#include "support/PrivateFiles.h"

#include <curl/curl.h>

#include <cstdio>
#include <cstring>
#include <ctime>
#include <vector>

namespace vesk::mail {
namespace {

std::string base64(const std::string& in)
{
    static constexpr char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < in.size(); i += 3) {
        const unsigned v = (static_cast<unsigned char>(in[i]) << 16)
            | (static_cast<unsigned char>(in[i + 1]) << 8) | static_cast<unsigned char>(in[i + 2]);
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += kAlphabet[(v >> 6) & 63];
        out += kAlphabet[v & 63];
    }
    if (i < in.size()) {
        unsigned v = static_cast<unsigned char>(in[i]) << 16;
        if (i + 1 < in.size())
            v |= static_cast<unsigned char>(in[i + 1]) << 8;
        out += kAlphabet[(v >> 18) & 63];
        out += kAlphabet[(v >> 12) & 63];
        out += i + 1 < in.size() ? kAlphabet[(v >> 6) & 63] : '=';
        out += '=';
    }
    return out;
}

bool isControl(unsigned char c)
{
    return c < 0x20 || c == 0x7f;
}

bool isAscii(const std::string& s)
{
    for (unsigned char c : s)
        if (c >= 0x80)
            return false;
    return true;
}

// A header value on one line: no control character reaches the header block.
std::string oneLine(const std::string& s)
{
    std::string out = s;
    for (char& c : out)
        if (isControl(static_cast<unsigned char>(c)))
            c = ' ';
    return out;
}

std::string headerText(const std::string& s)
{
    const std::string line = oneLine(s);
    return isAscii(line) ? line : "=?UTF-8?B?" + base64(line) + "?=";
}

std::string trimmed(const std::string& s, const char* blanks = " \t\r\n")
{
    const auto first = s.find_first_not_of(blanks);
    return first == std::string::npos ? std::string()
                                      : s.substr(first, s.find_last_not_of(blanks) - first + 1);
}

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool isHexDigit(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

bool isHostChar(char c)
{
    return isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '.' || c == '-' || c == '_';
}

bool validPort(const std::string& p)
{
    if (p.empty() || p.size() > 5)
        return false;
    for (char c : p)
        if (!isDigit(c))
            return false;
    const int n = std::stoi(p);
    return n >= 1 && n <= 65535;
}

// host, host:port, [v6] or [v6]:port: no user, path, query or blank can ride along.
bool validHostPort(const std::string& hp)
{
    std::string host = hp;
    bool bracketed = false;
    if (!hp.empty() && hp.front() == '[') {
        const auto close = hp.find(']');
        if (close == std::string::npos)
            return false;
        host = hp.substr(1, close - 1);
        const std::string rest = hp.substr(close + 1);
        if (!rest.empty() && (rest.front() != ':' || !validPort(rest.substr(1))))
            return false;
        bracketed = true;
    } else if (const auto colon = hp.find(':'); colon != std::string::npos) {
        host = hp.substr(0, colon);
        if (!validPort(hp.substr(colon + 1)))
            return false;
    }
    if (host.empty())
        return false;
    for (char c : host)
        if (!(bracketed ? isHexDigit(c) || c == ':' || c == '.' : isHostChar(c)))
            return false;
    return true;
}

std::string hexUpper(long n)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "%lX", n);
    return buf;
}

constexpr const char* kNoTls
    = "the server offers no TLS, so the password was not sent (to log in without TLS on "
      "this server, set AllowPlainLogin=1 in section [Mail] of the machine settings)";

} // namespace

std::string ServerUrl(const std::string& server, std::string& error)
{
    std::string scheme = "smtp";
    std::string rest = server;
    if (const auto sep = server.find("://"); sep != std::string::npos) {
        scheme = server.substr(0, sep);
        for (char& c : scheme)
            c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
        rest = server.substr(sep + 3);
        if (scheme != "smtp" && scheme != "smtps") {
            error = "mail server \"" + EscapeControls(server)
                + "\" refused: only smtp:// and smtps:// addresses are accepted";
            return {};
        }
    }
    if (!validHostPort(rest)) {
        error = "mail server \"" + EscapeControls(server)
            + "\" refused: give a host name or host:port, alone or after smtp:// or smtps://";
        return {};
    }
    return scheme + "://" + rest;
}

std::vector<std::string> AddressEntries(const std::string& list)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find_first_of(",;", start);
        if (end == std::string::npos)
            end = list.size();
        std::string entry = trimmed(list.substr(start, end - start));
        if (!entry.empty())
            out.push_back(entry);
        start = end + 1;
    }
    return out;
}

std::optional<std::string> MailAddress(const std::string& entry)
{
    // A control character anywhere, display name included, refuses the whole entry: a line break
    // there would otherwise choose which part is taken for the address.
    std::string a = trimmed(entry);
    for (unsigned char c : a)
        if (isControl(c))
            return std::nullopt;
    if (!a.empty() && a.back() == '>')
        if (const auto lt = a.find('<'); lt != std::string::npos)
            a = trimmed(a.substr(lt + 1, a.size() - lt - 2), " \t");
    if (a.empty())
        return std::nullopt;
    for (unsigned char c : a)
        if (isControl(c) || c == '<' || c == '>')
            return std::nullopt;
    return a;
}

std::string BuildMessage(const std::string& from, const std::string& recipients, const std::string& subject,
    const std::string& body, const std::string& dateHeader)
{
    std::string m;
    m += "Date: " + oneLine(dateHeader) + "\r\n";
    m += "From: <" + oneLine(from) + ">\r\n";
    m += "To: " + oneLine(recipients) + "\r\n";
    m += "Subject: " + headerText(subject) + "\r\n";
    m += "MIME-Version: 1.0\r\n";
    m += "Content-Type: text/plain; charset=UTF-8\r\n";
    m += "Content-Transfer-Encoding: 8bit\r\n";
    m += "\r\n";
    // Every line end goes out as CR LF whatever the text held.
    for (std::size_t i = 0; i < body.size(); ++i) {
        if (body[i] == '\r') {
            m += "\r\n";
            if (i + 1 < body.size() && body[i + 1] == '\n')
                ++i;
        } else if (body[i] == '\n') {
            m += "\r\n";
        } else {
            m += body[i];
        }
    }
    if (m.size() < 2 || m.compare(m.size() - 2, 2, "\r\n") != 0)
        m += "\r\n";
    return m;
}

struct MailClient::Handle
{
    CURL* curl = curl_easy_init();
    curl_slist* recipients = nullptr;
    std::string payload;
    std::size_t sent = 0;
    std::FILE* log = nullptr;
    bool inAuth = false;
    bool tlsForLogin = false; // a login was asked for and plain login is not allowed
    char error[CURL_ERROR_SIZE] = {};

    ~Handle()
    {
        if (curl)
            curl_easy_cleanup(curl); // says QUIT on a connection still open
        if (recipients)
            curl_slist_free_all(recipients);
        if (log)
            std::fclose(log);
    }

    static std::size_t read(char* buffer, std::size_t size, std::size_t count, void* self)
    {
        auto* h = static_cast<Handle*>(self);
        const std::size_t n = std::min(size * count, h->payload.size() - h->sent);
        std::memcpy(buffer, h->payload.data() + h->sent, n);
        h->sent += n;
        return n;
    }

    // The connection log: what was said each way, with login lines masked.
    static int debug(CURL*, curl_infotype type, char* data, std::size_t size, void* self)
    {
        auto* h = static_cast<Handle*>(self);
        if (!h->log)
            return 0;
        std::string text(data, size);
        const char* prefix = nullptr;
        switch (type) {
        case CURLINFO_TEXT:
            prefix = "* ";
            break;
        case CURLINFO_HEADER_IN:
            prefix = "< ";
            if (h->inAuth && text.size() >= 3 && text[0] != '3')
                h->inAuth = false;
            break;
        case CURLINFO_HEADER_OUT:
            prefix = "> ";
            if (text.rfind("AUTH ", 0) == 0) {
                const auto mech = text.find(' ', 5);
                text = text.substr(0, mech == std::string::npos ? text.find_first_of("\r\n") : mech)
                    + " ****\r\n";
                h->inAuth = true;
            } else if (h->inAuth) {
                text = "****\r\n";
            }
            break;
        default:
            return 0;
        }
        std::fputs(prefix, h->log);
        std::fwrite(text.data(), 1, text.size(), h->log);
        if (text.empty() || text.back() != '\n')
            std::fputc('\n', h->log);
        std::fflush(h->log);
        return 0;
    }
};

MailClient::MailClient(LogSink& log)
    : m_log(log)
{
}

MailClient::~MailClient()
{
    Disconnect();
}

void MailClient::setConnectionLog(const std::string& path)
{
    m_connectionLog = path;
}

void MailClient::applyAccount(Handle& h, const std::string& serverUrl)
{
    CURL* c = h.curl;
    // The path is the name the client gives itself in EHLO.
    const std::string host = HostName();
    const std::string url = serverUrl + "/" + (host.empty() ? "localhost" : host);
    curl_easy_setopt(c, CURLOPT_URL, url.c_str());
    curl_easy_setopt(c, CURLOPT_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(c, CURLOPT_REDIR_PROTOCOLS_STR, "smtp,smtps");
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, h.error);
    const bool login = LoginMethod >= login::kPlain && LoginMethod <= login::kNTLM;
    h.tlsForLogin = login && !AllowPlainLogin;
    curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(h.tlsForLogin ? CURLUSESSL_ALL : CURLUSESSL_TRY));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, m_timeoutSeconds);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, m_timeoutSeconds);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    // The server's answer to NOOP would otherwise go to the console's standard output.
    curl_easy_setopt(
        c, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t count, void*) { return size * count; });
    static constexpr const char* kMechanisms[]
        = {nullptr, "AUTH=PLAIN", "AUTH=LOGIN", "AUTH=CRAM-MD5", "AUTH=NTLM"};
    if (login) {
        curl_easy_setopt(c, CURLOPT_USERNAME, Username.c_str());
        curl_easy_setopt(c, CURLOPT_PASSWORD, Password.c_str());
        curl_easy_setopt(c, CURLOPT_LOGIN_OPTIONS, kMechanisms[LoginMethod]);
    }
    if (!m_connectionLog.empty()) {
        h.log = AppendPrivateFile(m_connectionLog);
        if (h.log) {
            curl_easy_setopt(c, CURLOPT_DEBUGFUNCTION, &Handle::debug);
            curl_easy_setopt(c, CURLOPT_DEBUGDATA, &h);
            curl_easy_setopt(c, CURLOPT_VERBOSE, 1L);
        }
    }
}

bool MailClient::perform(Handle& h)
{
    h.error[0] = '\0';
    const CURLcode rc = curl_easy_perform(h.curl);
    if (rc == CURLE_OK) {
        m_errorNumber = 0;
        m_errorText.clear();
        return true;
    }
    m_errorNumber = static_cast<long>(rc);
    if (rc == CURLE_USE_SSL_FAILED && h.tlsForLogin) {
        m_errorText = kNoTls;
        return false;
    }
    m_errorText = h.error[0] ? h.error : curl_easy_strerror(rc);
    long reply = 0;
    curl_easy_getinfo(h.curl, CURLINFO_RESPONSE_CODE, &reply);
    if (reply > 0)
        m_errorText += " (server reply " + std::to_string(reply) + ")";
    return false;
}

bool MailClient::Connect()
{
    m_handle.reset();
    m_connected = false;
    std::string refused;
    const std::string serverUrl = ServerUrl(Server, refused);
    if (serverUrl.empty()) {
        m_errorNumber = CURLE_URL_MALFORMAT;
        m_errorText = refused;
        return false;
    }
    m_handle = std::make_unique<Handle>();
    if (!m_handle->curl) {
        m_errorNumber = CURLE_FAILED_INIT;
        m_errorText = "Mail interface could not be initialised";
        m_log.Log(icon::kError, "", m_errorText);
        return false;
    }
    applyAccount(*m_handle, serverUrl);
    // NOOP after greeting, EHLO, STARTTLS and login: the connection stays open for the sends.
    curl_easy_setopt(m_handle->curl, CURLOPT_CUSTOMREQUEST, "NOOP");
    m_connected = perform(*m_handle);
    curl_easy_setopt(m_handle->curl, CURLOPT_CUSTOMREQUEST, nullptr);
    if (!m_connected)
        m_handle.reset();
    return m_connected;
}

void MailClient::Disconnect()
{
    m_handle.reset();
    m_connected = false;
}

bool MailClient::Send(const std::string& recipients, const std::string& blindCopies, const std::string&,
    const std::string& subject, const std::string& body)
{
    // Only addresses that cannot add a header or a recipient go out; the others are named in the log.
    std::vector<std::string> to;
    std::vector<std::string> everyone;
    for (const std::string* list : {&recipients, &blindCopies})
        for (const std::string& entry : AddressEntries(*list)) {
            if (const auto address = MailAddress(entry)) {
                everyone.push_back(*address);
                if (list == &recipients)
                    to.push_back(*address);
            } else {
                m_log.Log(icon::kError, "",
                    "Mail \"" + EscapeControls(subject)
                        + "\" : recipient address refused, it holds a line "
                          "break, NUL or angle bracket : "
                        + EscapeControls(entry));
            }
        }
    const bool noSender = trimmed(Username).empty();
    const auto from = noSender ? std::optional<std::string>("") : MailAddress(Username);
    const auto fail = [&](const char* why) {
        m_errorNumber = CURLE_SEND_ERROR;
        m_errorText = why;
        m_log.Log(icon::kError, "", "Mail.Send(" + EscapeControls(recipients) + ") : " + m_errorText);
        return false;
    };
    if (!from)
        return fail("sender address refused, it holds a line break, NUL or angle bracket");
    if (everyone.empty())
        return fail("no recipient address");

    bool connectedHere = false;
    if (!m_connected) {
        if (!Connect()) {
            m_log.Log(icon::kError, "",
                "mail.Connect(" + EscapeControls(Server) + ") : 0x" + hexUpper(m_errorNumber) + " "
                    + m_errorText);
            return false;
        }
        connectedHere = true;
    }
    Handle& h = *m_handle;
    if (h.recipients) {
        curl_slist_free_all(h.recipients);
        h.recipients = nullptr;
    }
    std::string toHeader;
    for (const auto& a : everyone)
        h.recipients = curl_slist_append(h.recipients, a.c_str());
    for (const auto& a : to)
        toHeader += (toHeader.empty() ? "" : ", ") + a;

    char date[64];
    const std::time_t t = std::time(nullptr);
    std::tm local {};
    localtime_r(&t, &local);
    std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S %z", &local);
    h.payload = BuildMessage(*from, toHeader, subject, body, date);
    h.sent = 0;

    const std::string mailFrom = "<" + *from + ">";
    curl_easy_setopt(h.curl, CURLOPT_MAIL_FROM, mailFrom.c_str());
    curl_easy_setopt(h.curl, CURLOPT_MAIL_RCPT, h.recipients);
    curl_easy_setopt(h.curl, CURLOPT_READFUNCTION, &Handle::read);
    curl_easy_setopt(h.curl, CURLOPT_READDATA, &h);
    curl_easy_setopt(h.curl, CURLOPT_UPLOAD, 1L);
    const bool ok = perform(h);
    curl_easy_setopt(h.curl, CURLOPT_UPLOAD, 0L);
    if (!ok)
        m_log.Log(icon::kError, "", "Mail.Send(" + EscapeControls(recipients) + ") : " + m_errorText);
    if (connectedHere)
        Disconnect();
    return ok;
}

} // namespace vesk::mail
