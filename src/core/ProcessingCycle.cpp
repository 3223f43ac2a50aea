#include "core/ConsoleView.h"
#include "core/ConsoleWindow.h"
#include "core/Context.h"
#include "core/Engine.h"
#include "core/Mailing.h"
#include "core/Trap.h"
#include "modem/StatusDisplay.h"
#include "store/ConnectionText.h"
#include "store/Lifecycle.h"
#include "support/Convert.h"
#include "support/KeptFiles.h"
#include "support/Platform.h"

#include <algorithm>

namespace vesk::core {
namespace {

constexpr std::chrono::seconds kPassSpacing {5};
constexpr std::chrono::minutes kLinkCheckInterval {60};

// The port search shows its progress on the status bar.
class StatusBarDisplay final : public modem::StatusDisplay
{
public:
    explicit StatusBarDisplay(StatusView* view)
        : m_view(view)
    {
    }
    void SetPanelText(int panel, const std::string& text) override
    {
        if (m_view)
            m_view->setPanelText(panel, text);
    }
    void Refresh() override
    {
        if (m_view)
            m_view->refreshStatus();
    }

private:
    StatusView* m_view;
};

void showSignal(Context& ctx)
{
    if (ctx.window && ctx.modem)
        Trap(ctx.app, [&] {
            ctx.figures.signal = ctx.modem->SignalLevel();
            ctx.window->Signal(ctx.figures.signal);
        });
}

void runPendingTwice(Context& ctx)
{
    ctx.pump.runPending();
    ctx.pump.runPending();
}

bool portOpen(const Context& ctx)
{
    return ctx.modem && ctx.modem->IsPortOpen();
}

// Clears the tick mark on every way out of the handler.
class TickMark
{
public:
    explicit TickMark(bool& mark)
        : m_mark(mark)
    {
        m_mark = true;
    }
    ~TickMark() { m_mark = false; }
    TickMark(const TickMark&) = delete;
    TickMark& operator=(const TickMark&) = delete;

private:
    bool& m_mark;
};

// A step of the wall clock is told once. The waits run on the steady count and need nothing; the
// rows that were due when the clock went back stay due.
void noticeClockStep(Context& ctx)
{
    const auto step = ctx.clockWatch.look(ctx.clock);
    if (!step)
        return;
    ctx.app.Log(icon::kWarning, "", "The clock " + step->text() + "; the console's waits keep their length");
    if (step->seconds < 0)
        ctx.outbox.clockWentBackFrom = std::max(ctx.outbox.clockWentBackFrom, step->expected);
}

} // namespace

void OnTick(Context& ctx)
{
    noticeClockStep(ctx);
    if (ctx.app.IsPaused() && !ctx.tickRunning)
        KeepConsoleRowAlive(ctx);
    if (!ctx.app.IsIdle() || ctx.tickRunning)
        return;
    TickMark mark(ctx.tickRunning);
    if (ctx.EndTime.isSet() && ctx.EndTime.reached(ctx.clock)) {
        ctx.stopRequested = true;
        if (ctx.window)
            ctx.window->Unload();
        return;
    }
    if (!ctx.app.PauseRequest()) {
        if (ctx.NextCycle.reached(ctx.clock)) {
            {
                ModeGuard pass(ctx.app, mode::kTimerPass, "");
                Trap(ctx.app, [&] { ProcessCycle(ctx); });
            }
            ctx.NextCycle = SteadyTime::FromNow(ctx.clock, kPassSpacing);
        } else if (ctx.reports.way == ReportWay::Routed && portOpen(ctx)) {
            // A report handed over between passes is acknowledged before the modem gives up on it.
            Trap(ctx.app, [&] { TakeRoutedBurst(ctx); });
        }
        if (ctx.app.PauseRequest())
            TogglePause(ctx);
    } else {
        TogglePause(ctx);
    }
}

void ProcessCycle(Context& ctx)
{
    if (ctx.app.PauseRequest())
        return;
    ModeGuard busy(ctx.app, mode::kBusy, "");

    Trap(ctx.app, [&] {
        if (portOpen(ctx)) {
            if (!ctx.modem->IsModemPresent()) {
                InitialiseModem(ctx, true);
                showSignal(ctx);
            }
        } else {
            InitialiseModem(ctx, true);
            if (portOpen(ctx)) {
                ctx.app.Log(icon::kModem, "", "Modem detected");
                showSignal(ctx);
            }
        }
    });

    // A modem that started afresh has forgotten how it hands reports over.
    Trap(ctx.app, [&] {
        if (portOpen(ctx) && ctx.modem->TakeRestart())
            LearnReportTaking(ctx);
    });
    // A modem that waited too long for an acknowledgement has stopped handing reports over.
    Trap(ctx.app, [&] {
        if (portOpen(ctx))
            CheckReportRouting(ctx);
    });
    Trap(ctx.app, [&] { TakeRoutedBurst(ctx); });
    bool readDue = false;
    Trap(ctx.app, [&] {
        if (ctx.NextRead.reached(ctx.clock) && portOpen(ctx))
            readDue = ctx.modem->MessageCount() >= 1;
    });
    const bool sendDue = ctx.NextSend.reached(ctx.clock);

    if (readDue || sendDue) {
        store::Outbox& outbox = ctx.outbox;
        bool settingsRead = outbox.settings.DBVersion != 0;
        if (!settingsRead) {
            settingsRead = store::OpenOutbox(outbox, ctx.DataFolder, true);
            if (settingsRead) {
                ctx.MaxMessageSize = outbox.settings.SMSMaxMessageSize;
                ctx.app.Log(icon::kInfo, "",
                    "Outbox defaults loaded from "
                        + store::MaskPasswordIn(outbox.handle->GetFolder(), outbox.database));
            }
        }
        if (settingsRead && outbox.handle) {
            if (!outbox.handle->OpenDatabase(store::mode::kReadWriteShared)) {
                ctx.app.Log(icon::kError, "",
                    "OpenDB : " + store::MaskPasswordIn(outbox.handle->LastError(), outbox.database));
                // Units stay in the modem meanwhile; a nearly full memory empties into the journal.
                if (readDue)
                    Trap(ctx.app, [&] { ReadModemMessages(ctx, false); });
            } else {
                Trap(ctx.app, [&] { ReplayJournal(ctx); });
                if (readDue)
                    Trap(ctx.app, [&] { ReadModemMessages(ctx); });
                Trap(ctx.app, [&] { TakeRoutedReports(ctx); });
                if (sendDue) {
                    Trap(ctx.app, [&] { DeliverPendingMessages(ctx); });
                    // Reports of the messages just sent may be there already.
                    Trap(ctx.app, [&] {
                        if (portOpen(ctx) && ctx.modem->MessageCount() > 0)
                            ReadModemMessages(ctx);
                    });
                }
                // A connection lost in the pass or in one of these steps is reopened on the next
                // cycle, not used closed.
                const auto connected = [&] { return outbox.handle->IsConnected(); };
                Trap(ctx.app, [&] {
                    if (connected())
                        store::ReleaseOrphans(outbox);
                });
                ctx.app.PushFeedback("Expiring messages...");
                Trap(ctx.app, [&] {
                    if (connected())
                        store::ExpireMessages(outbox);
                });
                ctx.app.PopFeedback();
                Trap(ctx.app, [&] {
                    if (!connected())
                        return;
                    if (const auto n = store::UpdateQueueSize(outbox))
                        ctx.app.QueueSize(*n);
                });
                Trap(ctx.app, [&] {
                    if (connected())
                        routing::ImportNameCache(ctx.nameCache, outbox, ctx.DataFolder, false);
                });
                Trap(ctx.app, [&] {
                    if (connected())
                        store::Housekeeping(outbox);
                });
                Trap(ctx.app, [&] { TakeRoutedReports(ctx); });
                if (outbox.handle->IsConnected())
                    KeepConsoleRow(ctx);
                outbox.handle->CloseDatabase();
            }
        }
    }

    const SteadyTime now = SteadyTime::Now(ctx.clock);
    if (readDue)
        ctx.NextRead = SteadyTime::FromNow(ctx.clock, std::chrono::seconds(ctx.config.ReadInterval));
    if (sendDue)
        ctx.NextSend = SteadyTime::FromNow(ctx.clock, std::chrono::seconds(ctx.config.SendInterval));
    // A new message or report was announced: read it at the next cycle.
    if (ctx.modem && ctx.modem->TakeAnnouncement())
        ctx.NextRead = now;

    showSignal(ctx);
    Trap(ctx.app, [&] { RunMailQueue(ctx); });
    Trap(ctx.app, [&] { CheckModemLink(ctx); });
    Trap(ctx.app, [&] { NoteModemLink(ctx); });
    Trap(ctx.app, [&] {
        if (store::HourlyRefresh(ctx.outbox, ctx.DataFolder))
            ctx.MaxMessageSize = ctx.outbox.settings.SMSMaxMessageSize;
    });
    Trap(ctx.app, [&] { RunAlertChecks(ctx); });
    KeepConsoleRowAlive(ctx);
    runPendingTwice(ctx);
}

void InitialiseModem(Context& ctx, bool quiet)
{
    std::string port = ctx.overrides.port.value_or(ctx.config.COMPort);
    const std::string init = ctx.config.COMInitString;

    if (ctx.modem) {
        Trap(ctx.app, [&] { ctx.modem->ClosePort(); });
        ctx.modem.reset();
    }
    ctx.modem = std::make_unique<modem::GSMModem>(ctx.clock, ctx.pump);
    modem::GSMModem& m = *ctx.modem;
    m.MaxMessageSize = static_cast<std::int16_t>(ctx.MaxMessageSize);
    m.EntryLeaveObserver = [&ctx](bool left) { NoteEntryLeave(ctx, left); };
    m.AutoCoding = ctx.config.OutboundAuto;
    m.FullDecoding = ctx.config.InboundFull;
    if (!m.IsInitialised()) {
        ctx.app.Log(icon::kError, "", "GSMModem object is not initialised properly");
        return;
    }
    // A port named on the command line counts even when no serial device is listed.
    if (!ctx.overrides.port && m.PortCount() == 0) {
        if (!quiet)
            ctx.app.Log(icon::kError, "", "There are NO COM Ports configured");
        return;
    }
    m.CommandTimeout = static_cast<std::int32_t>(ctx.config.CommandTimeout * 1000);
    m.SendMessageTimeout = static_cast<std::int32_t>(ctx.config.SendTimeout * 1000);
    m.ListMessageTimeout = static_cast<std::int32_t>(ctx.config.ListTimeout * 1000);
    m.DeleteMessageTimeout = static_cast<std::int32_t>(ctx.config.DeleteTimeout * 1000);
    m.SetLogFilename(KeptFilePath(ctx.DataFolder, kModemLogName));
    m.LogTruncateFile();
    m.SetLogging(ctx.config.ModemLog);
    m.Speed = static_cast<int>(LeadingNumber(ctx.config.COMSpeed));

    if (ctx.config.AutoDetect && !ctx.overrides.port) {
        ctx.app.PushFeedback("Autodetecting modem...");
        StatusBarDisplay display(ctx.app.view());
        Trap(ctx.app, [&] { port = m.FindModem(init, &display); });
        ctx.app.PopFeedback();
        if (!port.empty() && !quiet)
            ctx.app.Log(icon::kModem, "", "Detected a modem on " + port);
    }
    if (port.empty()) {
        ctx.app.Log(icon::kError, "", "No modem detected.");
        return;
    }
    m.OpenPort(port, init);
    if (!m.IsPortOpen()) {
        ctx.app.Log(icon::kError, "", "No modem detected.");
        return;
    }
    ctx.app.Log(icon::kModem, "", "Port is [" + port + "] InitString is [" + init + "]");
    Trap(ctx.app, [&] { m.TextMode(ToUpper(ctx.config.Protocol) == "TEXT"); });
    Trap(ctx.app, [&] { m.SetMemories(ctx.config.MessageMemory, ctx.config.ReportMemory); });
    Trap(ctx.app, [&] { m.SelectMemory(ctx.config.ReportMemory); });
    LearnReportTaking(ctx);

    std::string imei;
    Trap(ctx.app, [&] { imei = m.IMEI(); });
    if (imei.empty()) {
        const std::string host = HostName();
        ctx.AgentIMEI = host.size() > 7 ? host.substr(host.size() - 7) : host;
        if (ctx.AgentIMEI.empty())
            ctx.AgentIMEI = "0000001";
    } else {
        ctx.AgentIMEI = imei;
        ctx.IMEICode = imei;
        if (!quiet)
            ctx.app.Log(icon::kModem, "", "IMEI code is " + imei);
    }
}

void ReportModemInfo(Context& ctx)
{
    if (!ctx.modem)
        return;
    modem::GSMModem& m = *ctx.modem;
    ConsoleApp& app = ctx.app;
    const auto group = [&] {
        if (ctx.window)
            ctx.window->refresh();
        ctx.pump.runPending();
    };
    Trap(ctx.app, [&] {
        ctx.figures.model = m.Model();
        app.Log(icon::kModem, "", "Modem is a " + ctx.figures.model);
    });
    group();
    Trap(ctx.app, [&] {
        const int registration = m.NetworkRegistration();
        ctx.figures.registration = RegistrationText(registration);
        ctx.figures.network.clear();
        switch (registration) {
        case 0:
            app.Log(icon::kModem, "", "NOT registered with any network");
            break;
        case 1: {
            const std::string network = m.Network();
            app.Log(icon::kModem, "", "Registered on HOME network " + network);
            // The operator's name as modems quote it, without the quotes.
            ctx.figures.network = network.size() >= 2 && network.front() == '"' && network.back() == '"'
                ? network.substr(1, network.size() - 2)
                : network;
            break;
        }
        case 2:
            app.Log(icon::kModem, "", "Searching for network");
            break;
        case 3:
            app.Log(icon::kModem, "", "Registration to network was DENIED.");
            break;
        case 4:
            app.Log(icon::kModem, "", "Registration status is UNKNOWN");
            break;
        case 5:
            app.Log(icon::kModem, "", "Registered on a ROAMING network");
            break;
        default:
            break;
        }
    });
    Trap(ctx.app, [&] { app.Log(icon::kModem, "", "Service center is " + m.ServiceCentre()); });
    group();
    Trap(ctx.app, [&] {
        const int signal = m.SignalLevel();
        ctx.figures.signal = signal;
        app.Log(icon::kModem, "", "Signal level : " + std::to_string(signal) + "%");
        if (ctx.window)
            ctx.window->Signal(signal);
    });
    Trap(ctx.app, [&] {
        if (const int battery = m.BatteryLevel(); battery != -1)
            app.Log(icon::kModem, "", "Battery level : " + std::to_string(battery) + "%");
    });
    group();
    Trap(ctx.app, [&] {
        app.Log(icon::kModem, "",
            m.IsTextModeSupported() ? "Text mode is supported" : "Only PDU mode is supported");
    });
    Trap(ctx.app, [&] { app.Log(icon::kModem, "", "Productol is " + m.GetMode()); });
    group();
    Trap(ctx.app, [&] {
        if (m.IsMessageMemoryReadable())
            app.Log(icon::kModem, "", "Message memory can be read");
        else
            app.Log(icon::kError, "", "Message memory cannot be read");
    });
    Trap(ctx.app, [&] {
        const std::string memory = m.GetSelectedMemory();
        if (memory.empty())
            app.Log(icon::kError, "", "Modem may not support inbound messages and delivery receipts");
        else
            app.Log(icon::kModem, "", memory + " is the active memory");
    });
    group();
    // Announcements or routed reports, where the modem offers them, stay as start-up set them.
    if (ctx.reports.way == ReportWay::Counted)
        Trap(ctx.app, [&] { m.EnableMessageReports(false); });
}

void CheckModemLink(Context& ctx)
{
    if (!ctx.NextLinkCheck.reached(ctx.clock))
        return;
    {
        ModeGuard busy(ctx.app, mode::kBusy, "Checking modem link...");
        if (!portOpen(ctx))
            InitialiseModem(ctx, false);
        const auto endsWith = [](const std::string& s, const std::string& tail) {
            return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
        };
        std::string reply;
        Trap(ctx.app, [&] { reply = ctx.modem ? ctx.modem->ATI(1) : std::string(); });
        if (!endsWith(reply, "\r\nOK")) {
            ctx.app.Log(icon::kWarning, "", "Invalid response from modem -> " + reply);
            if (ctx.modem)
                ctx.modem->ClosePort();
            InitialiseModem(ctx, false);
            reply.clear();
            Trap(ctx.app, [&] { reply = ctx.modem ? ctx.modem->ATI(1) : std::string(); });
            if (!endsWith(reply, "OK"))
                ctx.app.Log(icon::kError, "", "Could not reset link to modem");
        }
    }
    ScheduleLinkCheck(ctx);
}

void NoteEntryLeave(Context& ctx, bool left)
{
    if (left) {
        ctx.entryLeaveFailures = 0;
        return;
    }
    // Said once, and the link alert goes out, rather than trying again without a word for ever.
    if (++ctx.entryLeaveFailures != kEntryLeaveTries)
        return;
    ctx.app.Log(icon::kError, "",
        "The modem did not leave message entry after " + std::to_string(kEntryLeaveTries)
            + " tries (Esc, then AT without OK); it needs a restart");
    Trap(ctx.app, [&] { RaiseLinkAlert(ctx); });
}

void ScheduleLinkCheck(Context& ctx)
{
    ctx.NextLinkCheck = SteadyTime::FromNow(ctx.clock, kLinkCheckInterval);
}

void TogglePause(Context& ctx)
{
    if (ctx.app.mode() == mode::kIdle) {
        ctx.app.setPauseRequest(false);
        ctx.app.setMode(mode::kPaused);
        if (ctx.window)
            ctx.window->showPaused(true);
    } else if (ctx.app.mode() == mode::kPaused) {
        ctx.app.setPauseRequest(false);
        ctx.app.setMode(mode::kIdle);
        if (ctx.window)
            ctx.window->showPaused(false);
    } else {
        ctx.app.setPauseRequest(true);
    }
}

} // namespace vesk::core
