#include "core/Context.h"
#include "core/Engine.h"
#include "core/Mailing.h"
#include "core/Trap.h"
#include "store/DBMessage.h"
#include "store/Lifecycle.h"
#include "support/Convert.h"
#include "support/KeptFiles.h"
#include "support/Paths.h"
#include "support/Platform.h"
#include "support/PrivateFiles.h"

#include <cstdio>
#include <fcntl.h>
#include <unistd.h>

namespace vesk::core {
namespace {

std::string hexUpper(int value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X", static_cast<unsigned>(value));
    return buf;
}

void runPendingTwice(Context& ctx)
{
    ctx.pump.runPending();
    ctx.pump.runPending();
}

// Keeps the raw text of an entry the console cannot decode in the data folder, then frees its
// place in the modem: it would otherwise be listed again on every read.
void setAsideUnreadable(Context& ctx, const modem::UnreadableEntry& entry)
{
    const std::string path = KeptFilePath(ctx.DataFolder, kUnreadableFile);
    ctx.app.Log(icon::kWarning, "",
        "Unreadable message at index " + std::to_string(entry.index) + " (" + entry.reason
            + "): " + entry.raw);
    const std::string record = Format(ctx.clock.now(), "dd/mmm/yyyy hh:nn:ss") + " index "
        + std::to_string(entry.index) + "\n" + entry.raw + "\n";
    std::FILE* file = AppendPrivateFile(path);
    bool kept = file && std::fwrite(record.data(), 1, record.size(), file) == record.size();
    if (file)
        kept = std::fclose(file) == 0 && kept;
    if (!kept) {
        ctx.app.Log(
            icon::kError, "", "Could not keep the unreadable message in " + path + "; left in the modem");
        return;
    }
    if (entry.index >= 0 && ctx.modem)
        ctx.modem->DeleteMessage(static_cast<std::int16_t>(entry.index));
}

// An inbound message once it is complete and out of the modem: a control text is acted on;
// anything else is logged, stored, answered and forwarded. Data messages are not answered or
// forwarded: their text is hex digits.
void handleInbound(Context& ctx, modem::GSMMessage& message)
{
    if (ToLower(message.Text) == "ping")
        message.Text = "(&PNG&)";
    if (IsControlText(message.Text)) {
        HandleControlMessage(ctx, message);
        return;
    }
    ctx.app.Log(icon::kInbound, message.Address, Trim(message.Text).empty() ? "<empty message>" : message.Text);
    runPendingTwice(ctx);
    Trap(ctx.app, [&] { store::SaveInbound(ctx.outbox, message.Address, message.Text, message.Time); });
    if (!message.Binary) {
        Trap(ctx.app, [&] { SendStandardReply(ctx, message); });
        Trap(ctx.app, [&] { ForwardInbound(ctx, message.Address, message.Text, message.DeliveryTime); });
    }
    runPendingTwice(ctx);
}

} // namespace

void ReadModemMessages(Context& ctx)
{
    ctx.partGroups.memory = ctx.config.ReportMemory;
    ProcessInboundMessages(ctx, "Loading messages & delivery reports...");
    if (ctx.config.MessageMemory != ctx.config.ReportMemory) {
        if (ctx.modem)
            Trap(ctx.app, [&] { ctx.modem->SelectMemory(ctx.config.MessageMemory); });
        ctx.partGroups.memory = ctx.config.MessageMemory;
        ProcessInboundMessages(ctx, "Loading messages...");
        if (ctx.modem)
            Trap(ctx.app, [&] { ctx.modem->SelectMemory(ctx.config.ReportMemory); });
    }
}

void ProcessInboundMessages(Context& ctx, const std::string& feedback)
{
    if (!ctx.modem)
        return;
    modem::GSMModem& m = *ctx.modem;
    m.FullDecoding = ctx.config.InboundFull;
    const bool joining = JoiningParts(ctx);
    std::optional<std::vector<modem::GSMMessage>> listing;
    {
        ModeGuard reading(ctx.app, mode::kWorking, feedback);
        Trap(ctx.app, [&] { listing = m.ReadMessages(); });
    }
    for (const auto& entry : m.UnreadableEntries())
        Trap(ctx.app, [&] { setAsideUnreadable(ctx, entry); });
    if (!listing || (listing->empty() && ctx.partGroups.groups.empty()))
        return;

    ModeGuard checking(ctx.app, mode::kWorking, "Checking messages....");
    for (auto& message : *listing) {
        Trap(ctx.app, [&] {
            if (message.MessageType == 0 && joining && message.PartReference >= 0 && !message.Binary) {
                CollectPart(ctx, message); // stays in the modem until its group is handled
            } else if (message.MessageType == 0) {
                m.DeleteMessage(message.MemoryIndex);
                handleInbound(ctx, message);
            } else if (message.MessageType == 1) {
                if (ProcessDeliveryReport(ctx, message))
                    m.DeleteMessage(message.MemoryIndex);
            } else {
                ctx.app.Log(icon::kWarning, message.Address,
                    "Unknown Type[" + std::to_string(message.MessageType) + "] " + message.Text);
            }
        });
    }
    if (joining || !ctx.partGroups.groups.empty())
        Trap(ctx.app, [&] { FinishGroups(ctx, [&](modem::GSMMessage& joined) { handleInbound(ctx, joined); }); });
}

bool IsControlText(const std::string& text)
{
    return text.size() >= 7 && text.compare(0, 2, "(&") == 0 && text.compare(5, 2, "&)") == 0;
}

bool ProcessDeliveryReport(Context& ctx, const modem::GSMMessage& report)
{
    store::DBMessage row(*ctx.outbox.handle, ctx.clock, ctx.app);
    row.Address = report.Address;
    row.Reference = static_cast<std::int16_t>(report.id);
    const std::string when = Format(report.DeliveryTime, "hh:nn dd Mmm yyyy");
    const std::string status = hexUpper(report.DeliveryStatus);
    if (!row.LoadByPendingReference(ctx.AgentIMEI)) {
        ctx.app.Log(icon::kError, report.Address,
            "No outstanding delivery id [" + std::to_string(report.id) + "] Status 0x" + status + " @ "
                + when);
        return true;
    }
    int logIcon = icon::kDelivered;
    std::string verdict;
    if (report.DeliveryStatus == store::report::kReceived
        || report.DeliveryStatus == store::report::kReplaced) {
        row.Status = store::MessageStatus::Delivered;
        verdict = "] Confirmed Delivery. Status 0x";
    } else if (report.DeliveryStatus == store::report::kUnconfirmed) {
        row.Status = store::MessageStatus::DeliveryUnconfirmed;
        verdict = "] Unconfirmed Delivery. Status 0x";
    } else {
        row.Status = store::MessageStatus::NotDelivered;
        logIcon = icon::kNotDelivered;
        verdict = "] Not Delivered. Status 0x";
    }
    ctx.app.Log(
        logIcon, report.Address, "ID [" + std::to_string(report.id) + verdict + status + " @ " + when);
    row.DeliveryStatus = static_cast<std::int16_t>(report.DeliveryStatus);
    row.DeliveryTime = report.DeliveryTime;
    row.UpdateDeliveryStatus();
    return true;
}

void HandleControlMessage(Context& ctx, const modem::GSMMessage& message)
{
    if (ToUpper(message.Text.substr(0, 7)) == "(&PNG&)")
        SendStatusReply(ctx, message);
}

void SendStatusReply(Context& ctx, modem::GSMMessage message)
{
    if (!ctx.modem)
        return;
    modem::GSMModem& m = *ctx.modem;
    std::string model;
    int signal = -1;
    Trap(ctx.app, [&] { model = m.Model(); });
    Trap(ctx.app, [&] { signal = m.SignalLevel(); });
    message.Text = "Ver:" + VersionNumbers()
        + ", DB Revision:" + std::to_string(ctx.outbox.settings.DBVersion) + ", Model: " + model
        + ", Signal: " + std::to_string(signal) + "%" + ", Sent:" + std::to_string(ctx.sentCount);
    m.SendSMS(message);
}

void SendStandardReply(Context& ctx, const modem::GSMMessage& message)
{
    const std::string& reply = ctx.outbox.settings.StandardReply;
    if (Trim(reply).empty())
        return;
    if (!ctx.config.AgentAddress.empty() && ctx.config.AgentAddress == message.Address)
        return;
    store::InsertMessage(ctx.outbox, "", message.Address, reply, ctx.clock.now(), StationName());
}

std::string ValidityPeriodText(long minutes)
{
    if (minutes == 0)
        return "set by Network Operator";
    if (minutes == 30)
        return "30 Minutes";
    if (minutes == 60)
        return "1 Hour";
    if (minutes >= 120 && minutes <= 1380)
        return std::to_string(minutes / 60) + " hours";
    if (minutes == 1440)
        return "1 Day";
    if (minutes >= 2880 && minutes <= 8640)
        return std::to_string(minutes / 1440) + " days";
    if (minutes == 10080)
        return "1 Week";
    return std::to_string(minutes / 10080) + " weeks";
}

} // namespace vesk::core
