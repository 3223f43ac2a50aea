#include "core/ServiceMonitor.h"

#include "core/AppLog.h"
#include "core/Context.h"
#include "core/SettingsStore.h"
#include "support/Convert.h"
#include "support/LogSink.h"
#include "support/Paths.h"

#include <cstdlib>
#include <systemd/sd-daemon.h>
#include <unistd.h>

namespace vesk::core {
namespace {

bool startsWith(const std::string& text, const std::string& start)
{
    return text.rfind(start, 0) == 0;
}

std::string modeName(const Context& ctx, bool ready, bool stopping)
{
    if (stopping || ctx.app.mode() == mode::kStopping)
        return "stopping";
    if (!ready)
        return "starting";
    if (ctx.app.IsPaused())
        return "paused";
    if (!ctx.modem || !ctx.modem->IsPortOpen())
        return "modem lost";
    return "running";
}

} // namespace

ServiceMonitor::ServiceMonitor(StatusView& status, LogListView& log)
    : m_status(status)
    , m_log(log)
{
    m_figures.version = VersionNumbers();
    m_figures.started = std::time(nullptr);
    m_figures.pid = static_cast<long>(::getpid());
}

// Time as the engine's clock counts it; the watchdog is off until the monitor is configured.
std::chrono::milliseconds ServiceMonitor::elapsed() const
{
    return m_ctx ? m_ctx->clock.elapsed() : std::chrono::milliseconds(0);
}

void ServiceMonitor::configure(Context& ctx, const std::string& metricsFile)
{
    m_ctx = &ctx;
    std::string folder;
    if (const char* runtime = std::getenv("RUNTIME_DIRECTORY"); runtime && *runtime) {
        folder = runtime;
        folder = folder.substr(0, folder.find(':')); // the first of several
    } else {
        folder = ctx.DataFolder;
    }
    m_snapshotPath = folder.empty() ? std::string() : TrailingSeparator(folder) + kSnapshotName;
    m_metricsPath
        = !metricsFile.empty() ? metricsFile : ctx.settings.get("Service", "MetricsFile").value_or("");
    const auto limit = LeadingNumber(
        ctx.settings.get("Service", "WatchdogPassLimit").value_or(std::to_string(kDefaultPassLimitSeconds)));
    m_passLimit = std::chrono::seconds(limit >= 1 ? static_cast<long>(limit) : kDefaultPassLimitSeconds);
    std::uint64_t usec = 0;
    m_watchdog = sd_watchdog_enabled(0, &usec) > 0;
    m_lastTick = m_lastFeed = elapsed();
}

void ServiceMonitor::ready()
{
    m_ready = true;
    gather();
    notify("READY=1");
    publish(true);
}

void ServiceMonitor::tick()
{
    m_lastTick = elapsed();
    feedWatchdog();
    publish(false);
}

void ServiceMonitor::waiting()
{
    if (elapsed() - m_lastTick < m_passLimit)
        feedWatchdog();
}

void ServiceMonitor::feedWatchdog()
{
    const auto now = elapsed();
    if (!m_watchdog || now - m_lastFeed < std::chrono::milliseconds(900))
        return;
    m_lastFeed = now;
    sd_notify(0, "WATCHDOG=1");
}

void ServiceMonitor::stopping()
{
    m_stopping = true;
    notify("STOPPING=1");
    publish(true);
}

void ServiceMonitor::stopped()
{
    m_figures.mode = "stopped";
    m_figures.updated = std::time(nullptr);
    if (!m_snapshotPath.empty())
        WriteFileAtomically(m_snapshotPath, SnapshotText(m_figures), 0640);
}

void ServiceMonitor::notify(const std::string& state)
{
    std::string line = "STATUS=" + m_figures.mode;
    if (m_figures.queued >= 0)
        line += ", " + std::to_string(m_figures.queued) + " queued";
    if (m_figures.signal >= 0)
        line += ", signal " + std::to_string(m_figures.signal) + "%";
    if (state.empty() && line == m_lastStatusLine)
        return;
    m_lastStatusLine = line;
    sd_notify(0, (state.empty() ? line : state + "\n" + line).c_str());
}

void ServiceMonitor::gather()
{
    if (!m_ctx)
        return;
    const Context& ctx = *m_ctx;
    m_figures.mode = modeName(ctx, m_ready, m_stopping);
    m_figures.port = ctx.modem ? ctx.modem->PortName : std::string();
    m_figures.imei = ctx.IMEICode;
    m_figures.sent = ctx.sentCount;
    m_figures.journal = ctx.units.journal.Waiting();
    if (const auto next = ctx.NextSend; next != m_nextSendSeen) {
        if (m_nextSendSeen.isSet() || m_ready)
            m_figures.lastPass = std::time(nullptr); // a delivery pass has just scheduled the next
        m_nextSendSeen = next;
    }
}

void ServiceMonitor::publish(bool force)
{
    gather();
    notify("");
    if (m_snapshotPath.empty() && m_metricsPath.empty())
        return;
    const std::time_t now = std::time(nullptr);
    StatusSnapshot unstamped = m_figures;
    unstamped.updated = 0;
    const std::string text = SnapshotText(unstamped);
    if (!force && text == m_lastWritten && now - m_lastWrite < kSnapshotRefreshSeconds)
        return;
    m_lastWritten = text;
    m_lastWrite = now;
    m_figures.updated = now;
    std::string error;
    if (!m_snapshotPath.empty())
        error = WriteFileAtomically(m_snapshotPath, SnapshotText(m_figures), 0640);
    if (!m_metricsPath.empty() && error.empty())
        error = WriteFileAtomically(m_metricsPath, MetricsText(m_figures), 0640);
    // One line per new fault, not one a second.
    if (!error.empty() && error != m_lastWriteError && m_ctx)
        m_ctx->app.Log(icon::kError, "", error);
    m_lastWriteError = error;
}

void ServiceMonitor::setPanelText(int panel, const std::string& text)
{
    if (panel == 4 && !text.empty())
        m_figures.queued = static_cast<long>(LeadingNumber(text));
    m_status.setPanelText(panel, text);
}

void ServiceMonitor::showSignal(int percent)
{
    m_figures.signal = percent;
    m_status.showSignal(percent);
}

// The counters follow the activity log: each of these lines is written once per message.
void ServiceMonitor::lineAdded(const LogLine& line)
{
    const std::string& t = line.text;
    switch (line.icon) {
    case icon::kError:
        m_figures.lastError = t;
        m_figures.lastErrorTime = std::time(nullptr);
        break;
    case icon::kWarning:
        if (t == "Canceled - Message Expired")
            ++m_figures.expired;
        else if (startsWith(t, "Canceled - "))
            ++m_figures.failed;
        break;
    case icon::kInfo:
        if (startsWith(t, "Expired ") && t.find(" message(s)") != std::string::npos)
            m_figures.expired += static_cast<long>(LeadingNumber(t.substr(8)));
        break;
    case icon::kDelivered:
    case icon::kNotDelivered:
        m_figures.reports += startsWith(t, "ID [") ? 1 : 0;
        break;
    case icon::kInbound:
        ++m_figures.received;
        break;
    case icon::kModem:
        if (startsWith(t, "Modem is a "))
            m_figures.model = t.substr(11);
        else if (startsWith(t, "Registered on HOME network "))
            m_figures.network = t.substr(27);
        break;
    default:
        break;
    }
    m_log.lineAdded(line);
}

} // namespace vesk::core
