#include "mail/MailClient.h"

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

bool isAscii(const std::string& s)
{
    for (unsigned char c : s)
        if (c >= 0x80 || c == '\r' || c == '\n')
            return false;
    return true;
}

std::string headerText(const std::string& s)
{
    return isAscii(s) ? s : "=?UTF-8?B?" + base64(s) + "?=";
}

// Each address of a comma-separated list, trimmed, "Name <a@b>" reduced to a@b.
std::vector<std::string> addresses(const std::string& list)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    while (start <= list.size()) {
        std::size_t end = list.find_first_of(",;", start);
        if (end == std::string::npos)
            end = list.size();
        std::string a = list.substr(start, end - start);
        if (const auto lt = a.find('<'), gt = a.find('>'); lt != std::string::npos && gt > lt)
            a = a.substr(lt + 1, gt - lt - 1);
        a.erase(0, a.find_first_not_of(" \t"));
        a.erase(a.find_last_not_of(" \t") + 1);
        if (!a.empty())
            out.push_back(a);
        start = end + 1;
    }
    return out;
}

std::string hexUpper(long n)
{
    char buf[24];
    std::snprintf(buf, sizeof buf, "%lX", n);
    return buf;
}

} // namespace

std::string BuildMessage(const std::string& from, const std::string& recipients, const std::string& subject,
    const std::string& body, const std::string& dateHeader)
{
    std::string m;
    m += "Date: " + dateHeader + "\r\n";
    m += "From: <" + from + ">\r\n";
    m += "To: " + recipients + "\r\n";
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

std::string MailClient::url() const
{
    const std::string base = Server.find("://") != std::string::npos ? Server : "smtp://" + Server;
    // The path is the name the client gives itself in EHLO.
    const std::string host = HostName();
    return base + "/" + (host.empty() ? "localhost" : host);
}

void MailClient::applyAccount(Handle& h)
{
    CURL* c = h.curl;
    curl_easy_setopt(c, CURLOPT_URL, url().c_str());
    curl_easy_setopt(c, CURLOPT_ERRORBUFFER, h.error);
    curl_easy_setopt(c, CURLOPT_USE_SSL, static_cast<long>(CURLUSESSL_TRY));
    curl_easy_setopt(c, CURLOPT_CONNECTTIMEOUT, m_timeoutSeconds);
    curl_easy_setopt(c, CURLOPT_TIMEOUT, m_timeoutSeconds);
    curl_easy_setopt(c, CURLOPT_NOSIGNAL, 1L);
    // The server's answer to NOOP would otherwise go to the console's standard output.
    curl_easy_setopt(
        c, CURLOPT_WRITEFUNCTION, +[](char*, size_t size, size_t count, void*) { return size * count; });
    static constexpr const char* kMechanisms[]
        = {nullptr, "AUTH=PLAIN", "AUTH=LOGIN", "AUTH=CRAM-MD5", "AUTH=NTLM"};
    if (LoginMethod >= login::kPlain && LoginMethod <= login::kNTLM) {
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
    m_errorText = h.error[0] ? h.error : curl_easy_strerror(rc);
    long reply = 0;
    curl_easy_getinfo(h.curl, CURLINFO_RESPONSE_CODE, &reply);
    if (reply > 0)
        m_errorText += " (server reply " + std::to_string(reply) + ")";
    return false;
}

bool MailClient::Connect()
{
    m_handle = std::make_unique<Handle>();
    m_connected = false;
    if (!m_handle->curl) {
        m_errorNumber = CURLE_FAILED_INIT;
        m_errorText = "Mail interface could not be initialised";
        m_log.Log(icon::kError, "", m_errorText);
        return false;
    }
    applyAccount(*m_handle);
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
    bool connectedHere = false;
    if (!m_connected) {
        if (!Connect()) {
            m_log.Log(icon::kError, "",
                "mail.Connect(" + Server + ") : 0x" + hexUpper(m_errorNumber) + " " + m_errorText);
            return false;
        }
        connectedHere = true;
    }
    Handle& h = *m_handle;
    if (h.recipients) {
        curl_slist_free_all(h.recipients);
        h.recipients = nullptr;
    }
    for (const auto& a : addresses(recipients))
        h.recipients = curl_slist_append(h.recipients, a.c_str());
    for (const auto& a : addresses(blindCopies))
        h.recipients = curl_slist_append(h.recipients, a.c_str());

    char date[64];
    const std::time_t t = std::time(nullptr);
    std::tm local {};
    localtime_r(&t, &local);
    std::strftime(date, sizeof date, "%a, %d %b %Y %H:%M:%S %z", &local);
    h.payload = BuildMessage(Username, recipients, subject, body, date);
    h.sent = 0;

    const std::string from = "<" + Username + ">";
    curl_easy_setopt(h.curl, CURLOPT_MAIL_FROM, from.c_str());
    curl_easy_setopt(h.curl, CURLOPT_MAIL_RCPT, h.recipients);
    curl_easy_setopt(h.curl, CURLOPT_READFUNCTION, &Handle::read);
    curl_easy_setopt(h.curl, CURLOPT_READDATA, &h);
    curl_easy_setopt(h.curl, CURLOPT_UPLOAD, 1L);
    bool ok = h.recipients != nullptr && perform(h);
    if (!h.recipients) {
        m_errorNumber = CURLE_SEND_ERROR;
        m_errorText = "no recipient address";
    }
    curl_easy_setopt(h.curl, CURLOPT_UPLOAD, 0L);
    if (!ok)
        m_log.Log(icon::kError, "", "Mail.Send(" + recipients + ") : " + m_errorText);
    if (connectedHere)
        Disconnect();
    return ok;
}

} // namespace vesk::mail
