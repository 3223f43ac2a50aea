#include "mail/Diagnostics.h"

#include "mail/MailQueue.h"
#include "store/DiagnosticTable.h"
#include "store/Recordset.h"
#include "support/Convert.h"

#include <cstdint>

namespace vesk::mail {
namespace {

// Minute boundaries passed since an alert, counted on the steady clock from when it was queued.
std::int64_t minutesSince(const StampedTime& alert, const Clock& clock)
{
    return alert.isSet() ? MinuteBoundaries(alert.wall, alert.wallNow(clock)) : INT64_MAX;
}

bool alertsOn(const Diagnostics& diag)
{
    return !Trim(diag.Email).empty();
}

void queueAlert(const Diagnostics& diag, store::Outbox& outbox, Feedback& feedback,
    const std::string& busyText, const std::string& subject, const std::string& body)
{
    feedback.PushFeedback(busyText);
    QueueMail(outbox, diag.Email, subject, body);
    feedback.PopFeedback();
}

} // namespace

std::int16_t ClampSignalThreshold(std::int16_t level)
{
    if (level < 1)
        return 1;
    if (level > 100)
        return 90;
    return level;
}

void LoadDiagnostics(Diagnostics& diag, store::Outbox& outbox, bool quiet)
{
    try {
        store::db& handle = store::OutboxHandle(outbox);
        const bool opened = !handle.IsConnected();
        if (opened && !handle.OpenDatabase(store::mode::kReadShared)) {
            if (!quiet)
                outbox.log.Log(
                    icon::kError, "", "Diagnostic settings could not be loaded. " + handle.LastError());
            return;
        }
        auto rows = store::DiagnosticRows(handle);
        if (!rows) {
            if (!quiet)
                outbox.log.Log(
                    icon::kError, "", "Diagnostic settings could not be loaded. " + handle.LastError());
            if (opened)
                handle.CloseDatabase();
            return;
        }
        if (!rows->IsEOF()) {
            diag.Email = TextOf(rows->Field("diagEmail"));
            diag.NotifyMessages = BoolOf(rows->Field("diagNotifyMessages"));
            diag.NotifyModem = BoolOf(rows->Field("diagNotifyModem"));
            diag.NotifySignal = BoolOf(rows->Field("diagNotifySignal"));
            diag.SignalLevel = ClampSignalThreshold(IntOf(rows->Field("diagSignalLevel")));
        } else if (!quiet) {
            outbox.log.Log(icon::kError, "", "Diagnostic settings could not be loaded.");
        }
        rows->Close();
        if (opened)
            handle.CloseDatabase();
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "LoadDiagnostics", e);
        return;
    }
    if (quiet || diag.Email.empty())
        return;
    outbox.log.Log(icon::kInfo, "", "Alert messages emailed to " + diag.Email);
    if (diag.NotifySignal)
        outbox.log.Log(icon::kInfo, "",
            "Alert sent when signal level falls below " + std::to_string(diag.SignalLevel) + "%");
    if (diag.NotifyModem)
        outbox.log.Log(icon::kInfo, "", "Alert sent when modem connection is lost");
    if (diag.NotifyMessages)
        outbox.log.Log(icon::kInfo, "", "Alert sent for failed messages");
}

void SaveDiagnostics(const Diagnostics& diag, store::Outbox& outbox)
{
    try {
        store::db& handle = store::OutboxHandle(outbox);
        const auto failed = [&] {
            outbox.log.Log(icon::kError, "", "Diagnostic settings could not be Saved. " + handle.LastError());
        };
        const bool opened = !handle.IsConnected();
        if (opened && !handle.OpenDatabase(store::mode::kReadWriteShared)) {
            failed();
            return;
        }
        if (!store::WriteDiagnostic(handle,
                {diag.Email, diag.NotifyMessages, diag.NotifySignal, diag.SignalLevel, diag.NotifyModem}))
            failed();
        if (opened)
            handle.CloseDatabase();
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "SaveDiagnostics", e);
    }
}

void CheckAlerts(Diagnostics& diag, store::Outbox& outbox, ModemProbe& modem, const AlertOrigin& origin,
    Feedback& feedback)
{
    if (!alertsOn(diag))
        return;
    CheckModemAlert(diag, outbox, modem, origin, feedback);
    CheckSignalAlert(diag, outbox, modem, feedback);
}

void CheckModemAlert(Diagnostics& diag, store::Outbox& outbox, ModemProbe& modem, const AlertOrigin& origin,
    Feedback& feedback)
{
    try {
        if (!alertsOn(diag) || !diag.NotifyModem)
            return;
        if (modem.IsPortOpen() && modem.IsModemPresent())
            return;
        if (minutesSince(diag.lastLinkAlert, outbox.clock) < kLinkAlertMinutes)
            return;
        diag.lastLinkAlert = StampedTime::Now(outbox.clock);
        const DateTime now = diag.lastLinkAlert.wall;
        std::string body = "Computer: " + origin.computer + "\r\n";
        if (!origin.imei.empty())
            body += "IMEI: " + origin.imei + "\r\n";
        if (!origin.agentAddress.empty())
            body += "Number: " + origin.agentAddress + "\r\n";
        body += "Messages cannot be delivered.";
        queueAlert(diag, outbox, feedback, "Creating GSM Device Alert...",
            "Device Alert - No Link To Modem at " + Format(now, "HH:NN"), body);
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "CheckModemAlert", e);
    }
}

void CheckSignalAlert(Diagnostics& diag, store::Outbox& outbox, ModemProbe& modem, Feedback& feedback)
{
    try {
        if (!alertsOn(diag) || !diag.NotifySignal)
            return;
        const int level = modem.SignalLevel();
        if (level == -1 || level >= diag.SignalLevel)
            return;
        if (minutesSince(diag.lastSignalAlert, outbox.clock) < kSignalAlertMinutes)
            return;
        const DateTime now = outbox.clock.now();
        queueAlert(diag, outbox, feedback, "Creating Signal Level Alert...",
            "Signal Level Alert - " + std::to_string(level) + "% at" + Format(now, "HH:NN"),
            "Service may be affected.");
        diag.lastSignalAlert = StampedTime::Now(outbox.clock);
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "CheckSignalAlert", e);
    }
}

void SendFailureAlert(const Diagnostics& diag, store::Outbox& outbox, const std::string& address,
    const std::string& name, const std::string& error, DateTime when, Feedback& feedback)
{
    try {
        if (!alertsOn(diag) || !diag.NotifyMessages)
            return;
        const std::string body
            = "Address\t : " + address + "\r\n" + "Name\t : " + name + "\r\n" + "Error\t : " + error;
        queueAlert(diag, outbox, feedback, "Send Message Failure Alert...",
            "Send Message Failure Alert : " + address + " at " + Format(when, "HH:NN"), body);
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "SendFailureAlert", e);
    }
}

} // namespace vesk::mail
