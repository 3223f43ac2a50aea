#include "support/StatusSnapshot.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <sys/stat.h>
#include <unistd.h>

namespace vesk {
namespace {

// Line breaks and other control characters would split a line of the snapshot or the metrics.
std::string oneLine(const std::string& text)
{
    std::string out;
    for (const unsigned char c : text)
        out += c < 0x20 || c == 0x7f ? ' ' : static_cast<char>(c);
    return out;
}

std::string jsonString(const std::string& text)
{
    std::string out = "\"";
    for (const unsigned char c : oneLine(text)) {
        if (c == '"' || c == '\\')
            out += '\\';
        out += static_cast<char>(c);
    }
    return out + '"';
}

std::string isoTime(std::time_t t)
{
    if (t == 0)
        return "";
    std::tm tm {};
    localtime_r(&t, &tm);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &tm);
    return text;
}

template<typename T> void number(const std::string& v, T& out)
{
    char* end = nullptr;
    const long long n = std::strtoll(v.c_str(), &end, 10);
    if (end && *end == '\0' && !v.empty())
        out = static_cast<T>(n);
}

} // namespace

std::string SnapshotText(const StatusSnapshot& s)
{
    std::ostringstream out;
    out << "version=" << oneLine(s.version) << "\nmode=" << oneLine(s.mode) << "\nport=" << oneLine(s.port)
        << "\nmodel=" << oneLine(s.model) << "\nimei=" << oneLine(s.imei)
        << "\nnetwork=" << oneLine(s.network) << "\nsignal=" << s.signal << "\nqueued=" << s.queued
        << "\nsent=" << s.sent << "\nfailed=" << s.failed << "\nexpired=" << s.expired
        << "\nreceived=" << s.received << "\nreports=" << s.reports << "\njournal=" << s.journal
        << "\nlast_error=" << oneLine(s.lastError) << "\nlast_error_time=" << s.lastErrorTime
        << "\nlast_pass=" << s.lastPass << "\nstarted=" << s.started << "\nupdated=" << s.updated
        << "\npid=" << s.pid << '\n';
    return out.str();
}

std::optional<StatusSnapshot> ParseSnapshot(const std::string& text)
{
    StatusSnapshot s;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) {
        const auto eq = line.find('=');
        if (eq == std::string::npos)
            continue;
        const std::string key = line.substr(0, eq);
        const std::string v = line.substr(eq + 1);
        if (key == "version")
            s.version = v;
        else if (key == "mode")
            s.mode = v;
        else if (key == "port")
            s.port = v;
        else if (key == "model")
            s.model = v;
        else if (key == "imei")
            s.imei = v;
        else if (key == "network")
            s.network = v;
        else if (key == "signal")
            number(v, s.signal);
        else if (key == "queued")
            number(v, s.queued);
        else if (key == "sent")
            number(v, s.sent);
        else if (key == "failed")
            number(v, s.failed);
        else if (key == "expired")
            number(v, s.expired);
        else if (key == "received")
            number(v, s.received);
        else if (key == "reports")
            number(v, s.reports);
        else if (key == "journal")
            number(v, s.journal);
        else if (key == "last_error")
            s.lastError = v;
        else if (key == "last_error_time")
            number(v, s.lastErrorTime);
        else if (key == "last_pass")
            number(v, s.lastPass);
        else if (key == "started")
            number(v, s.started);
        else if (key == "updated")
            number(v, s.updated);
        else if (key == "pid")
            number(v, s.pid);
    }
    if (s.version.empty())
        return std::nullopt;
    return s;
}

std::string MetricsText(const StatusSnapshot& s)
{
    std::ostringstream out;
    const auto metric = [&](const char* name, const char* type, const char* help, long long value) {
        out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n'
            << name << ' ' << value << '\n';
    };
    metric("vesk_messages_sent_total", "counter", "Messages handed to the modem since the console started.",
        s.sent);
    metric("vesk_messages_failed_total", "counter", "Messages cancelled without being sent since the start.",
        s.failed);
    metric("vesk_messages_expired_total", "counter", "Messages that expired before they could be sent.",
        s.expired);
    metric(
        "vesk_messages_received_total", "counter", "Inbound messages received since the start.", s.received);
    metric("vesk_delivery_reports_total", "counter", "Delivery reports received since the start.", s.reports);
    metric("vesk_journal_units", "gauge",
        "Inbound messages and reports waiting in the modem journal for the outbox.", s.journal);
    metric(
        "vesk_queue_length", "gauge", "Messages waiting in the outbox (-1 before it was counted).", s.queued);
    metric("vesk_signal_percent", "gauge", "Modem signal level in percent (-1 unknown).", s.signal);
    metric("vesk_modem_up", "gauge", "1 while the modem port is open and answering.",
        s.mode == "running" || s.mode == "paused" ? 1 : 0);
    metric("vesk_last_pass_timestamp_seconds", "gauge", "Unix time the last delivery pass ended (0 none).",
        static_cast<long long>(s.lastPass));
    return out.str();
}

std::string SnapshotJson(const StatusSnapshot& s, bool stale)
{
    std::ostringstream out;
    out << "{\"version\": " << jsonString(s.version) << ", \"mode\": " << jsonString(s.mode)
        << ", \"stale\": " << (stale ? "true" : "false") << ", \"port\": " << jsonString(s.port)
        << ", \"model\": " << jsonString(s.model) << ", \"imei\": " << jsonString(s.imei)
        << ", \"network\": " << jsonString(s.network) << ", \"signal\": " << s.signal
        << ", \"queued\": " << s.queued << ", \"sent\": " << s.sent << ", \"failed\": " << s.failed
        << ", \"expired\": " << s.expired << ", \"received\": " << s.received
        << ", \"reports\": " << s.reports << ", \"journal\": " << s.journal
        << ", \"last_error\": " << jsonString(s.lastError)
        << ", \"last_error_time\": " << jsonString(isoTime(s.lastErrorTime))
        << ", \"last_pass\": " << jsonString(isoTime(s.lastPass))
        << ", \"started\": " << jsonString(isoTime(s.started))
        << ", \"updated\": " << jsonString(isoTime(s.updated)) << ", \"pid\": " << s.pid << "}\n";
    return out.str();
}

std::string WriteFileAtomically(const std::string& path, const std::string& text, unsigned mode)
{
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : path.substr(0, slash);
    const std::string base = slash == std::string::npos ? path : path.substr(slash + 1);
    std::string temp = folder + "/." + base + ".XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0)
        return "cannot write in " + folder + ": " + std::strerror(errno);
    bool ok = ::fchmod(fd, mode & 0660) == 0;
    ok = ok && ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    const int error = errno;
    ok = ::close(fd) == 0 && ok;
    if (!ok || std::rename(temp.c_str(), path.c_str()) != 0) {
        const std::string why = std::strerror(ok ? errno : error);
        ::unlink(temp.c_str());
        return "cannot write " + path + ": " + why;
    }
    return {};
}

} // namespace vesk
