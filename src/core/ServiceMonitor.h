#pragma once

#include "core/ConsoleView.h"
#include "support/Clock.h"
#include "support/StatusSnapshot.h"
#include "support/SteadyTime.h"

#include <chrono>
#include <cstdint>
#include <string>

namespace vesk::core {

struct Context;

// The headless console as a service: it tells the service manager (sd_notify) when start-up has
// finished, feeds its watchdog, shows a status line and says when it stops; it keeps the status
// snapshot and the metrics file up to date. It sits between the engine and the log writer, so it
// sees every activity-log line and status-bar change on their way out.
class ServiceMonitor final : public StatusView, public LogListView
{
public:
    // The watchdog is fed from inside waits only while the timer has been held up for less than
    // this; a pass that runs longer is taken for hung and the service manager restarts the console.
    static constexpr int kDefaultPassLimitSeconds = 900;

    ServiceMonitor(StatusView& status, LogListView& log);

    // Where the snapshot and metrics go, and how long a pass may hold the timer up.
    void configure(Context& ctx, const std::string& metricsFile);
    void ready();
    // The one-second timer fired (between passes or inside one).
    void tick();
    // The engine waits for its modem or database: keeps the watchdog fed within the pass limit.
    void waiting();
    void stopping();
    void stopped();
    void setSignal(int percent) { m_figures.signal = percent; }

    const StatusSnapshot& figures() const { return m_figures; }
    const std::string& snapshotPath() const { return m_snapshotPath; }

    void setPanelText(int panel, const std::string& text) override;
    void setModeIcon(int image) override { m_status.setModeIcon(image); }
    void refreshStatus() override { m_status.refreshStatus(); }
    void showSignal(int percent) override;
    void lineAdded(const LogLine& line) override;
    void oldestRemoved() override { m_log.oldestRemoved(); }
    void cleared() override { m_log.cleared(); }
    int columnCount() const override { return m_log.columnCount(); }
    int columnWidth(int column) const override { return m_log.columnWidth(column); }
    void setColumnWidth(int column, int width) override { m_log.setColumnWidth(column, width); }
    int listWidth() const override { return m_log.listWidth(); }

private:
    void gather();
    void publish(bool force);
    void notify(const std::string& state);
    void feedWatchdog();
    std::chrono::milliseconds elapsed() const;

    StatusView& m_status;
    LogListView& m_log;
    Context* m_ctx = nullptr;
    StatusSnapshot m_figures;
    std::string m_snapshotPath;
    std::string m_metricsPath;
    std::string m_lastWritten; // snapshot text without its time stamp
    std::string m_lastStatusLine;
    std::string m_lastWriteError;
    std::time_t m_lastWrite = 0;
    bool m_watchdog = false;
    bool m_ready = false;
    bool m_stopping = false;
    std::chrono::milliseconds m_lastTick {0};
    std::chrono::milliseconds m_lastFeed {0};
    std::chrono::seconds m_passLimit {kDefaultPassLimitSeconds};
    SteadyTime m_nextSendSeen;
};

// The system clock, telling the monitor whenever the engine waits.
class WatchedClock final : public Clock
{
public:
    explicit WatchedClock(ServiceMonitor& monitor)
        : m_monitor(monitor)
    {
    }
    DateTime now() const override { return m_clock.now(); }
    std::chrono::milliseconds elapsed() const override { return m_clock.elapsed(); }
    void sleepFor(std::chrono::milliseconds duration) override
    {
        m_clock.sleepFor(duration);
        m_monitor.waiting();
    }

private:
    SystemClock m_clock;
    ServiceMonitor& m_monitor;
};

} // namespace vesk::core
