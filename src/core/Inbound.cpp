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
#include <functional>
#include <unistd.h>

namespace vesk::core {
namespace {

std::string hexUpper(int value)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "%X", static_cast<unsigned>(value));
    return buf;
}

// Keeps the raw text of an entry the console cannot use in the data folder, then frees its place
// in the modem: it would otherwise be listed again on every read and, over months, fill the memory.
bool setAside(Context& ctx, int index, const std::string& logLine, const std::string& raw)
{
    const std::string path = KeptFilePath(ctx.DataFolder, kUnreadableFile);
    ctx.app.Log(icon::kWarning, "", logLine);
    const std::string record = Format(ctx.clock.now(), "dd/mmm/yyyy hh:nn:ss") + " index "
        + std::to_string(index) + "\n" + raw + "\n";
    std::FILE* file = AppendPrivateFile(path);
    bool kept = file && std::fwrite(record.data(), 1, record.size(), file) == record.size();
    if (file)
        kept = std::fclose(file) == 0 && kept;
    if (!kept) {
        ctx.app.Log(
            icon::kError, "", "Could not keep the unreadable message in " + path + "; left in the modem");
        return false;
    }
    return index >= 0 && ctx.modem && ctx.modem->DeleteMessage(static_cast<std::int16_t>(index));
}

// A unit of a type the console does not handle (a stored submit, a reserved type), as it is kept.
std::string unitRecord(const modem::GSMMessage& unit)
{
    if (!unit.Listed.empty())
        return unit.Listed;
    return "type " + std::to_string(unit.MessageType) + " from " + unit.Address + ": " + unit.Text;
}

// An inbound message once it is complete: a control text leaves the modem and is acted on at once
// (it needs no outbox); anything else is kept first. True when it is out of the modem.
bool takeInbound(
    Context& ctx, modem::GSMMessage& message, ReadState& read, const std::function<bool()>& erase)
{
    if (ToLower(message.Text) == "ping")
        message.Text = "(&PNG&)";
    if (IsControlText(message.Text)) {
        const bool erased = erase();
        HandleControlMessage(ctx, message);
        return erased;
    }
    return KeepUnit(ctx, message, read) && erase();
}

std::string unitCount(int n, const char* what)
{
    return std::to_string(n) + " " + what + (n == 1 ? "" : "s");
}

} // namespace

void ReadModemMessages(Context& ctx)
{
    ReadModemMessages(ctx, true);
}

void ReadModemMessages(Context& ctx, bool outboxReachable)
{
    ReadMemories(ctx, true, true, outboxReachable);
}

void ReadMemories(Context& ctx, bool reportMemory, bool messageMemory, bool outboxReachable)
{
    const std::string& reports = ctx.config.ReportMemory;
    const std::string& messages = ctx.config.MessageMemory;
    const bool shared = messages == reports;
    ReadState read;
    // Units still in the journal go first: nothing newer is stored before them.
    read.outboxDown = !outboxReachable || JournalWaiting(ctx) > 0;
    if (reportMemory || (messageMemory && shared)) {
        read.memory = ctx.partGroups.memory = reports;
        ProcessInboundMessages(ctx, "Loading messages & delivery reports...", read);
    }
    if (messageMemory && !shared) {
        if (ctx.modem)
            Trap(ctx.app, [&] { ctx.modem->SelectMemory(messages); });
        read.memory = ctx.partGroups.memory = messages;
        read.memoryChecked = false;
        ProcessInboundMessages(ctx, "Loading messages...", read);
        if (ctx.modem)
            Trap(ctx.app, [&] { ctx.modem->SelectMemory(reports); });
    }
    // A report found stored while reports are handed over: the modem may have switched that off.
    if (read.reports > 0 && ctx.reports.way == ReportWay::Routed)
        CheckReportRouting(ctx);
    // Kept units not listed any more are forgotten only after every memory was listed.
    if (read.complete && (reportMemory || shared) && messageMemory)
        ForgetUnlisted(ctx);
    if (read.journaled > 0)
        ctx.app.Log(icon::kWarning, "",
            unitCount(read.journaled, "unit")
                + " moved from the nearly full modem memory to the modem journal");
    if (read.waiting > 0)
        ctx.app.Log(icon::kWarning, "",
            "The outbox is out of reach: " + unitCount(read.waiting, "unit")
                + " left in the modem until it answers");
}

void ProcessInboundMessages(Context& ctx, const std::string& feedback)
{
    ReadState read;
    read.memory = ctx.partGroups.memory;
    ProcessInboundMessages(ctx, feedback, read);
}

void ProcessInboundMessages(Context& ctx, const std::string& feedback, ReadState& read)
{
    if (!ctx.modem)
        return;
    modem::GSMModem& m = *ctx.modem;
    m.FullDecoding = ctx.config.InboundFull;
    const bool joining = JoiningParts(ctx);
    std::optional<std::vector<modem::GSMMessage>> listing;
    NoteMemoryListing(ctx, read.memory);
    {
        ModeGuard reading(ctx.app, mode::kWorking, feedback);
        Trap(ctx.app, [&] { listing = m.ReadMessages(); });
    }
    int listed = 0, deleted = 0;
    for (const auto& entry : m.UnreadableEntries()) {
        ++listed;
        Trap(ctx.app, [&] {
            deleted += setAside(ctx, entry.index,
                "Unreadable message at index " + std::to_string(entry.index) + " (" + entry.reason
                    + "): " + entry.raw,
                entry.raw);
        });
    }
    if (!listing) {
        read.complete = false;
        return;
    }
    listed += static_cast<int>(listing->size());
    const auto done = [&] { NoteMemoryRead(ctx, read.memory, listed - deleted); };
    if (listing->empty() && ctx.partGroups.groups.empty())
        return done();

    ModeGuard checking(ctx.app, mode::kWorking, "Checking messages....");
    for (auto& message : *listing) {
        const auto erase = [&] {
            const bool gone = DeleteKept(ctx, message);
            deleted += gone;
            return gone;
        };
        Trap(ctx.app, [&] {
            if (message.MessageType == 0 && joining && message.PartReference >= 0 && !message.Binary) {
                CollectPart(ctx, message); // stays in the modem until its group is handled
            } else if (message.MessageType == 0) {
                takeInbound(ctx, message, read, erase);
            } else if (message.MessageType == 1) {
                ++read.reports;
                if (!ctx.units.kept.count(UnitKey(message)))
                    NoteReportRead(ctx, message.id); // a report listed again was counted already
                if (KeepUnit(ctx, message, read))
                    erase();
            } else {
                deleted += setAside(ctx, message.MemoryIndex,
                    "Unknown Type[" + std::to_string(message.MessageType) + "] at index "
                        + std::to_string(message.MemoryIndex) + " kept in " + kUnreadableFile + ": "
                        + message.Text,
                    unitRecord(message));
            }
        });
    }
    if (joining || !ctx.partGroups.groups.empty())
        Trap(ctx.app, [&] {
            FinishGroups(ctx, [&](modem::GSMMessage& joined) {
                return takeInbound(ctx, joined, read, [] { return true; });
            });
        });
    done();
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
        if (row.LookupFailed())
            return false; // the outbox did not answer: the report waits for it
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
    row.DeliveryStatus = static_cast<std::int16_t>(report.DeliveryStatus);
    row.DeliveryTime = report.DeliveryTime;
    if (!row.UpdateDeliveryStatus())
        return false; // not recorded: the report stays for the next read
    ctx.app.Log(
        logIcon, report.Address, "ID [" + std::to_string(report.id) + verdict + status + " @ " + when);
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
