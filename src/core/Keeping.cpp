#include "core/Keeping.h"

#include "core/Context.h"
#include "core/Engine.h"
#include "core/Mailing.h"
#include "core/Trap.h"
#include "store/Lifecycle.h"
#include "support/Convert.h"
#include "support/KeptFiles.h"
#include "support/Paths.h"

#include <algorithm>

namespace vesk::core {

namespace {

// A memory with this few free slots left is nearly full: a quarter of it, and never fewer than two.
bool nearlyFull(const modem::MemoryUse& use)
{
    return use.total > 0 && use.free() <= std::max(2, use.total / 4);
}

void loadJournal(Context& ctx)
{
    KeptUnits& units = ctx.units;
    units.journal.setPath(KeptFilePath(ctx.DataFolder, kJournalFile));
    if (units.journalLoaded)
        return;
    units.journalLoaded = true;
    // Units written before a stop may still be in the modem too: they are only deleted there.
    for (const auto& unit : units.journal.Written())
        units.kept.emplace(UnitKey(unit), false);
}

enum class Stored { Yes, Already, No };

// The inbound message, its Inbox row, its standard reply and its forwards, committed together.
Stored storeInbound(Context& ctx, modem::GSMMessage& message, bool logLine)
{
    store::db& h = *ctx.outbox.handle;
    const std::string key = UnitKey(message);
    if (logLine && ctx.units.logged.insert(key).second) {
        ++ctx.figures.received;
        ctx.app.Log(
            icon::kInbound, message.Address, Trim(message.Text).empty() ? "<empty message>" : message.Text);
        ctx.pump.runPending();
        ctx.pump.runPending();
    }
    if (!h.IsConnected() || !h.BeginTransaction())
        return Stored::No;
    const auto failures = h.Failures();
    if (ctx.outbox.settings.SMSSaveInbound) {
        const auto held = store::InboxHolds(ctx.outbox, message.Address, message.Text, message.Time);
        if (!held || *held) {
            h.RollbackTransaction();
            return held ? Stored::Already : Stored::No;
        }
    }
    Trap(ctx.app, [&] { store::SaveInbound(ctx.outbox, message.Address, message.Text, message.Time); });
    if (!message.Binary && h.Failures() == failures) {
        Trap(ctx.app, [&] { SendStandardReply(ctx, message); });
        Trap(ctx.app, [&] { ForwardInbound(ctx, message.Address, message.Text, message.DeliveryTime); });
    }
    if (h.Failures() != failures || !h.CommitTransaction()) {
        h.RollbackTransaction();
        return Stored::No;
    }
    ctx.units.logged.erase(key);
    ctx.pump.runPending();
    ctx.pump.runPending();
    return Stored::Yes;
}

bool journalUnit(Context& ctx, const modem::GSMMessage& unit, ReadState& read)
{
    loadJournal(ctx);
    std::string error;
    if (!ctx.units.journal.Append(unit, error)) {
        ctx.app.Log(icon::kError, unit.Address,
            "Could not write the modem journal (" + error + "); left in the modem");
        return false;
    }
    ++read.journaled;
    return true;
}

// Whether the memory being read is nearly full; asked once per read, only when the outbox is out
// of reach.
bool memoryNearlyFull(Context& ctx, const std::string& memory)
{
    if (!ctx.modem)
        return false;
    for (const auto& use : ctx.modem->MemoryStatus())
        if (use.name == memory)
            return nearlyFull(use);
    return false;
}

} // namespace

std::string UnitKey(const modem::GSMMessage& unit)
{
    const auto stamp = [](DateTime t) { return std::to_string(t.serialSeconds()); };
    if (unit.MessageType == 1)
        return "report\n" + unit.Address + "\n" + std::to_string(unit.id) + "\n" + stamp(unit.DeliveryTime)
            + "\n" + std::to_string(unit.DeliveryStatus);
    return "message\n" + unit.Address + "\n" + stamp(unit.Time) + "\n" + unit.Text;
}

bool KeepUnit(Context& ctx, modem::GSMMessage& unit, ReadState& read)
{
    loadJournal(ctx);
    const std::string key = UnitKey(unit);
    if (const auto known = ctx.units.kept.find(key); known != ctx.units.kept.end()) {
        known->second = true;
        return true; // kept earlier; only its delete is missing
    }
    if (!read.outboxDown) {
        bool done = false;
        if (unit.MessageType == 1)
            done = ProcessDeliveryReport(ctx, unit);
        else
            done = storeInbound(ctx, unit, true) != Stored::No;
        if (done)
            return true;
        read.outboxDown = true;
    }
    if (!read.memoryChecked) {
        read.memoryChecked = true;
        read.journaling = memoryNearlyFull(ctx, read.memory);
    }
    if (read.journaling && journalUnit(ctx, unit, read))
        return true;
    ++read.waiting;
    return false;
}

bool KeepRoutedReport(Context& ctx, modem::GSMMessage& report)
{
    if (ProcessDeliveryReport(ctx, report))
        return true;
    ReadState read;
    return journalUnit(ctx, report, read);
}

bool DeleteKept(Context& ctx, const modem::GSMMessage& unit)
{
    const std::string key = UnitKey(unit);
    if (ctx.modem && ctx.modem->DeleteMessage(unit.MemoryIndex)) {
        ctx.units.kept.erase(key);
        return true;
    }
    ctx.units.kept[key] = true;
    return false;
}

void ForgetUnlisted(Context& ctx)
{
    auto& kept = ctx.units.kept;
    for (auto it = kept.begin(); it != kept.end();) {
        if (!it->second) {
            it = kept.erase(it);
            continue;
        }
        it->second = false;
        ++it;
    }
}

void ReplayJournal(Context& ctx)
{
    loadJournal(ctx);
    ModemJournal& journal = ctx.units.journal;
    std::string error;
    const auto pending = journal.Pending(error);
    if (!error.empty())
        ctx.app.Log(icon::kWarning, "", error);
    if (pending.empty())
        return;
    int stored = 0;
    for (auto entry : pending) {
        modem::GSMMessage& unit = entry.unit;
        bool done = false;
        Trap(ctx.app, [&] {
            done = unit.MessageType == 1 ? ProcessDeliveryReport(ctx, unit)
                                         : storeInbound(ctx, unit, true) != Stored::No;
        });
        if (!done)
            break;
        if (!journal.MarkDone(entry.seq, error)) {
            ctx.app.Log(icon::kError, "", "Could not mark a unit of the modem journal stored: " + error);
            break;
        }
        ++stored;
    }
    ctx.app.Log(stored == static_cast<int>(pending.size()) ? icon::kInfo : icon::kWarning, "",
        std::to_string(stored) + " of " + std::to_string(pending.size())
            + " unit(s) stored from the modem journal");
}

long JournalWaiting(Context& ctx)
{
    loadJournal(ctx);
    return ctx.units.journal.Waiting();
}

} // namespace vesk::core
