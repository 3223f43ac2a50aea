#include "core/Context.h"
#include "core/Engine.h"
#include "core/Mailing.h"
#include "core/Trap.h"
#include "modem/EntryText.h"
#include "store/DBMessage.h"
#include "store/Lifecycle.h"
#include "store/PhoneNumber.h"
#include "support/Convert.h"

#include <cmath>

namespace vesk::core {
namespace {

void showQueueSize(Context& ctx)
{
    if (const auto n = store::UpdateQueueSize(ctx.outbox))
        ctx.app.QueueSize(*n);
}

bool cancel(Context& ctx, store::DBMessage& message, const std::string& reason)
{
    message.ErrorReason = reason;
    message.Cancel();
    ctx.app.Log(icon::kWarning, message.Address, "Canceled - " + reason);
    RaiseFailureAlert(ctx, message.Address, message.Recipient, reason);
    return true;
}

// The modem has accepted the message, so its row must say so before anything else is claimed:
// otherwise the claim runs out and the message goes a second time. A busy outbox is waited
// for, a second at a time, and a lost connection reopened; a console asked to stop gives up after
// a bounded wait.
void recordAccepted(Context& ctx, store::DBMessage& message)
{
    constexpr int kTriesAfterStop = 10;
    // A lost connection (a database server restarting) is reopened here, not on the next cycle.
    store::db& outbox = *ctx.outbox.handle;
    const auto reopened
        = [&] { return outbox.IsConnected() || outbox.OpenDatabase(store::mode::kReadWriteShared); };
    if (reopened() && message.Update())
        return;
    const std::string what
        = "ID [" + std::to_string(message.Reference) + "] message " + std::to_string(message.id);
    ctx.app.Log(icon::kWarning, message.Address,
        "Sent " + what + " but the outbox is busy; holding it until it is recorded");
    int seconds = 0;
    int afterStop = 0;
    for (;;) {
        ctx.clock.sleepFor(std::chrono::seconds(1));
        ctx.pump.runPending();
        ++seconds;
        if (reopened() && message.Update()) {
            ctx.app.Log(icon::kInfo, message.Address,
                "Recorded " + what + " as sent after " + std::to_string(seconds) + " s");
            return;
        }
        if (ctx.stopRequested && ++afterStop >= kTriesAfterStop) {
            ctx.app.Log(icon::kError, message.Address,
                "Could not record " + what + " as sent before stopping; it may be sent again");
            return;
        }
    }
}

std::int32_t send(Context& ctx, store::DBMessage& message, modem::GSMMessage& sms)
{
    std::int32_t reference = -1;
    const bool isLong = message.Text.size() > 160;
    ModeGuard sending(ctx.app, mode::kSending,
        (isLong ? "Sending LONG message to " : "Sending message to ") + message.Address);
    ctx.modem->AutoCoding = ctx.config.OutboundAuto;
    Trap(ctx.app, [&] { reference = ctx.modem->SendSMS(sms); });
    message.ModemResponse = CleanModemResponse(sms.ModemResult);
    return reference;
}

// Between two sends: reports handed over are kept, and a memory that would overflow before the
// pass ends is read now. False when the report memory has no room for another report.
bool betweenSends(Context& ctx)
{
    if (!ctx.modem || !ctx.modem->IsPortOpen())
        return true;
    TakeRoutedReports(ctx);
    return MakeRoomForReports(ctx);
}

// Validates and sends one claimed row; false when the pass must stop here.
bool processMessage(Context& ctx, store::DBMessage& message)
{
    const DateTime now = ctx.clock.now();
    const auto validity = ctx.outbox.settings.ValidityPeriodInMinutes;
    if (message.Expires.isZero() && message.Attempts == 0 && validity >= 1) {
        message.Expires = now.addMinutes(validity);
        message.UpdateExpiryTime();
    }

    static const std::string kBadNumber = "Invalid Number. Not in format +<Country><AreaCode><Number>";
    if (message.Address.empty())
        return cancel(ctx, message, "No Number");
    if (Trim(message.Text).empty())
        return cancel(ctx, message, "Empty Message");
    if (message.Address[0] != '+' || !store::IsValidInternationalNumber(message.Address))
        return cancel(ctx, message, kBadNumber);
    if (!message.Expires.isZero() && now >= message.Expires)
        return cancel(ctx, message, "Message Expired");
    if (message.Attempts >= store::DBMessage::kMaxAttempts)
        return cancel(ctx, message, "Retry exceeded");
    if (!ctx.filter.IsAddressAllowed(message.Address, ctx.app)) {
        if (ctx.config.FilterActionDelete)
            return cancel(ctx, message, "Recipient address failed Address Filtering.");
        store::ReleaseOwnership(ctx.outbox, message.id);
        store::SetStatus(ctx.outbox, message.id, store::MessageStatus::Pending);
        ctx.app.Log(icon::kInfo, message.Address, "Ignored - Recipient address failed Address Filtering.");
        return true;
    }

    modem::GSMMessage sms;
    sms.MessageType = 0;
    sms.Address = message.Address;
    sms.Text = message.Text;
    sms.Expires = message.Expires;
    if (ctx.modem->IsTextMode()) {
        std::size_t removed = 0;
        modem::WithoutControlCharacters(message.Text, &removed);
        if (removed > 0)
            ctx.app.Log(icon::kWarning, message.Address,
                std::to_string(removed) + " control characters left out of the text (text mode)");
    }
    std::int32_t reference = send(ctx, message, sms);
    if (reference == -1 && ctx.modem->RefusedForFullMemory()) {
        // Not the message's fault: empty the memories and send it again, without counting a try.
        ctx.app.Log(
            icon::kWarning, message.Address, "The modem's memory is full; reading it before sending on");
        Trap(ctx.app, [&] { ReadModemMessages(ctx); });
        reference = send(ctx, message, sms);
        if (reference == -1 && ctx.modem->RefusedForFullMemory()) {
            store::ReleaseOwnership(ctx.outbox, message.id);
            store::SetStatus(ctx.outbox, message.id, store::MessageStatus::Pending);
            ctx.reports.readRequested = true;
            ctx.app.Log(icon::kWarning, message.Address,
                "The modem's memory is still full; the message waits for the next pass");
            return false;
        }
    }
    if (reference == -1) {
        if (message.ScheduleRetry())
            ctx.app.Log(icon::kWarning, message.Address,
                "Retry at " + Format(message.SendTime, "HH:NN") + " - " + message.ModemResponse);
        else if (message.Status == store::MessageStatus::Failed) {
            ctx.app.Log(
                icon::kWarning, message.Address, "Canceled - Retry Count Exceeded. " + message.ModemResponse);
            RaiseFailureAlert(ctx, message.Address, message.Recipient, message.ModemResponse);
        } else
            ctx.app.Log(icon::kWarning, message.Address, message.ModemResponse);
        return true;
    }
    message.Complete = true;
    message.Reference = static_cast<std::int16_t>(reference);
    message.Status = store::MessageStatus::Sent;
    message.Tariff = ctx.outbox.settings.Tariff;
    message.FragmentCount = sms.FragmentCount;
    recordAccepted(ctx, message);
    // With the coding chosen per message, the line says which one went and in how many parts.
    const std::string coding = !ctx.config.OutboundAuto ? ""
                                                        : (sms.DataCoding == 8 ? " (UCS2, " : " (7-bit, ")
            + std::to_string(sms.FragmentCount) + (sms.FragmentCount == 1 ? " part)" : " parts)");
    ctx.app.Log(icon::kSending, message.Address,
        "ID [" + std::to_string(message.Reference) + "] " + message.Recipient + coding);
    ++ctx.sentCount;
    ctx.figures.lastSend = UnixFromLocal(ctx.clock.now());
    NoteReportWanted(ctx, reference);
    return true;
}

} // namespace

int FetchCount(int batchSize)
{
    if (batchSize < 0)
        batchSize = 1;
    return static_cast<int>(std::nearbyint(batchSize * 1.25));
}

std::string CleanModemResponse(const std::string& result)
{
    std::string r = ReplaceAll(result, "\r\n", "~");
    while (!r.empty() && r.back() == '~')
        r.pop_back();
    return r.substr(0, 50);
}

void DeliverPendingMessages(Context& ctx)
{
    ModeGuard busy(ctx.app, mode::kBusy, "");
    if (ctx.outbox.handle && ctx.outbox.handle->IsConnected())
        DeliveryPass(ctx);
    else
        ctx.app.Log(icon::kError, "", "No database connection");
}

void DeliveryPass(Context& ctx)
{
    if (!ctx.modem || !ctx.modem->IsPortOpen())
        return;
    ModeGuard busy(ctx.app, mode::kBusy, "Processing messages for delivery...");
    store::db& outbox = *ctx.outbox.handle;
    const int candidates = FetchCount(ctx.config.SendBatchSize);
    // On a database server each row is claimed as it is taken; on files the due rows are read
    // first and claimed one by one.
    const bool onServer = outbox.Kind() == store::EngineKind::Postgres;
    std::unique_ptr<store::Recordset> rows;
    if (!onServer && !(rows = store::OpenDueMessages(ctx.outbox, candidates)))
        return;
    int handled = 0;
    for (int taken = 0; taken < candidates && (onServer || !rows->IsEOF()); ++taken) {
        showQueueSize(ctx);
        for (int i = 0; i < 10; ++i)
            ctx.pump.runPending();
        if (ctx.app.PauseRequest() || ctx.stopRequested)
            break;
        bool room = true;
        Trap(ctx.app, [&] { room = betweenSends(ctx); });
        if (!room)
            break;
        store::DBMessage message(outbox, ctx.clock, ctx.app);
        if (onServer) {
            const auto id = store::ClaimNextDue(ctx.outbox, ctx.AgentIMEI);
            if (!id)
                break;
            message.id = *id;
            if (!message.Load())
                break; // the connection went away: the claim runs out and the row is released
        } else {
            message.id = RowIdOf(rows->Field("msgID"));
            rows->MoveNext();
            if (!message.Load()) {
                if (!outbox.IsConnected())
                    break; // the connection went away; the next cycle reopens it
                continue;
            }
            if (!store::TakeOwnership(ctx.outbox, message.id, ctx.AgentIMEI)) {
                ++ctx.claimsLost;
                continue;
            }
        }
        bool goOn = true;
        Trap(ctx.app, [&] { goOn = processMessage(ctx, message); });
        Trap(ctx.app, [&] { TakeRoutedReports(ctx); });
        if (!goOn)
            break;
        ++handled;
        if (handled >= ctx.config.SendBatchSize)
            break;
    }
    showQueueSize(ctx);
    ctx.pump.runPending();
    ctx.pump.runPending();
}

} // namespace vesk::core
