#include "store/Outbox.h"

#include "store/ConnectionText.h"
#include "store/OutboxSchema.h"
#include "store/SqlText.h"
#include "store/StoreSchema.h"
#include "support/Convert.h"
#include "support/Paths.h"
#include "support/Platform.h"

namespace vesk::store {

Outbox::Outbox(Clock& c, EventPump& p, LogSink& l)
    : clock(c)
    , pump(p)
    , log(l)
    , handle(std::make_unique<db>(c, p))
    , templateFolder(ProgramFolder() + "DB/")
{
}

std::string OutboxPath(const std::string& dataFolder)
{
    return LocationOf("", dataFolder, kOutboxName).target;
}

std::string OutboxLocation(const Outbox& outbox, const std::string& dataFolder)
{
    return LocationOf(outbox.database, dataFolder, kOutboxName).target;
}

bool OpenOutbox(Outbox& outbox, const std::string& dataFolder, bool quiet)
{
    if (!outbox.handle)
        outbox.handle = std::make_unique<db>(outbox.clock, outbox.pump);
    PointAt(*outbox.handle, outbox.database, dataFolder, kOutboxName);
    if (!quiet)
        outbox.log.Log(icon::kInfo, "",
            outbox.database.empty() ? "Outbox folder is " + dataFolder
                                    : "Outbox database is " + outbox.handle->Describe());
    outbox.handle->setLog(&outbox.log);
    if (LoadSystemSettings(
            outbox.handle->Filename(), outbox.settings, outbox.clock, outbox.pump, outbox.log)) {
        // An outbox made from an earlier template gets its counter and indexes here; on one that
        // cannot be written the console goes on as before.
        db upgrade(outbox.clock, outbox.pump);
        upgrade.setFilename(outbox.handle->Filename());
        if (upgrade.OpenDatabase(mode::kReadWriteShared))
            UpgradeOutbox(upgrade, outbox.log);
        return true;
    }
    if (!quiet)
        outbox.log.Log(icon::kError, "", "Could not load database settings : " + outbox.handle->Describe());
    return false;
}

bool LoadSystemSettings(
    const std::string& file, SystemSettings& settings, Clock& clock, EventPump& pump, LogSink& log)
{
    db database(clock, pump);
    database.setFilename(file);
    if (!database.FileExists())
        return false;
    if (!database.OpenDatabase(mode::kReadExclusive)) {
        log.Log(icon::kError, "", "OpenDB : " + MaskPasswordIn(database.LastError(), file));
        return false;
    }
    bool loaded = false;
    if (auto rs = database.OpenDynaset("SELECT * FROM System", kForwardOnly, kReadOnly); rs && !rs->IsEOF()) {
        settings.DBVersion = IntOf(rs->Field("sysDBVersion"));
        settings.SMSMaxMessageSize = IntOf(rs->Field("sysSMSMaxMessageSize"));
        settings.SMSRemoveAfter = IntOf(rs->Field("sysSMSRemoveAfter"));
        settings.SMSArchive = BoolOf(rs->Field("sysSMSArchive"));
        settings.SMSSaveInbound = BoolOf(rs->Field("sysSMSSaveInbound"));
        settings.StandardReply = Trim(TextOf(rs->Field("sysStandardReply")));
        settings.Tariff = IntOf(rs->Field("sysTariff"));
        settings.ValidityPeriodInMinutes = IntOf(rs->Field("sysValidityPeriodInMinutes"));
        settings.SMSForwarding = BoolOf(rs->Field("sysSMSForwarding"));
        loaded = true;
    }
    database.CloseDatabase();
    return loaded;
}

bool SaveSystemSettings(const std::string& file, const SystemSettings& s, Clock& clock, EventPump& pump)
{
    db database(clock, pump);
    database.setFilename(file);
    if (!database.OpenDatabase(mode::kReadWriteShared))
        return false;
    const std::string columns = "sysSMSMaxMessageSize, sysSMSRemoveAfter, sysSMSArchive, sysSMSSaveInbound, "
                                "sysStandardReply, sysTariff, sysValidityPeriodInMinutes, sysSMSForwarding";
    const std::string values[] = {std::to_string(s.SMSMaxMessageSize), std::to_string(s.SMSRemoveAfter),
        BoolLiteral(s.SMSArchive), BoolLiteral(s.SMSSaveInbound), Enclosed("'", Quote(s.StandardReply)),
        std::to_string(s.Tariff), std::to_string(s.ValidityPeriodInMinutes), BoolLiteral(s.SMSForwarding)};
    const char* names[] = {"sysSMSMaxMessageSize", "sysSMSRemoveAfter", "sysSMSArchive", "sysSMSSaveInbound",
        "sysStandardReply", "sysTariff", "sysValidityPeriodInMinutes", "sysSMSForwarding"};
    std::string assignments, list;
    for (std::size_t i = 0; i < std::size(values); ++i) {
        assignments += std::string(i ? ", " : "") + names[i] + " = " + values[i];
        list += std::string(i ? ", " : "") + values[i];
    }
    bool ok = database.ExecuteRecordResult("UPDATE System SET " + assignments) == 1;
    if (!ok) {
        // The table must hold exactly one row: rebuild it.
        database.Execute("DELETE FROM System");
        ok = database.Execute("INSERT INTO System (" + columns + ") VALUES (" + list + ")");
    }
    database.CloseDatabase();
    return ok;
}

bool HourlyRefresh(Outbox& outbox, const std::string& dataFolder)
{
    constexpr std::chrono::minutes kRefreshInterval {60};
    if (!outbox.nextRefresh.isSet()) {
        outbox.nextRefresh = SteadyTime::FromNow(outbox.clock, kRefreshInterval);
        return false;
    }
    if (!outbox.nextRefresh.reached(outbox.clock))
        return false;
    if (outbox.handle)
        outbox.handle->CloseDatabase();
    outbox.handle.reset();
    OpenOutbox(outbox, dataFolder, true);
    outbox.nextRefresh = SteadyTime::FromNow(outbox.clock, kRefreshInterval);
    return true;
}

db& OutboxHandle(Outbox& outbox)
{
    if (!outbox.handle)
        outbox.handle = std::make_unique<db>(outbox.clock, outbox.pump);
    return *outbox.handle;
}

std::optional<std::int32_t> CountPending(db& h)
{
    auto rs = h.OpenDynaset("SELECT SUM(pcCount) AS T FROM PendingCounter", kForwardOnly, kReadOnly);
    // An outbox that could not be brought up to date has no counter: count its pending rows.
    if (!rs && h.IsConnected())
        rs = h.OpenDynaset("SELECT COUNT(*) AS T FROM qry_Pending_Messages", kForwardOnly, kReadOnly);
    if (!rs)
        return std::nullopt;
    return static_cast<std::int32_t>(LeadingNumber(TextOf(rs->Field("T"))));
}

bool RecountPending(Outbox& outbox)
{
    db& h = OutboxHandle(outbox);
    // Both in one statement, so they are read at the same moment.
    auto rs = h.OpenDynaset("SELECT (SELECT COUNT(*) FROM qry_Pending_Messages) AS counted,"
                            " (SELECT SUM(pcCount) FROM PendingCounter) AS kept",
        kForwardOnly, kReadOnly);
    if (!rs || rs->IsEOF()) {
        outbox.log.Log(icon::kError, "", "RecountPending : " + h.LastError());
        return false;
    }
    const auto counted = LeadingNumber(TextOf(rs->Field("counted")));
    const auto kept = LeadingNumber(TextOf(rs->Field("kept")));
    if (counted == kept)
        return true;
    // A correction rather than a new value: writers that change rows meanwhile keep counting.
    if (h.ExecuteRecordResult("UPDATE PendingCounter SET pcCount = pcCount + " + NumberText(counted - kept)
            + " WHERE pcSlot = 0")
        != 1) {
        outbox.log.Log(icon::kError, "", "RecountPending : " + h.LastError());
        return false;
    }
    outbox.log.Log(icon::kWarning, "",
        "Pending counter corrected from " + NumberText(kept) + " to " + NumberText(counted));
    outbox.queueSize.reset();
    return true;
}

std::int32_t PendingCount(Outbox& outbox)
{
    const auto count = CountPending(OutboxHandle(outbox));
    if (!count)
        outbox.log.Log(icon::kError, "", "PendingCount : " + outbox.handle->LastError());
    return count.value_or(0);
}

std::optional<std::int32_t> UpdateQueueSize(Outbox& outbox)
{
    const auto now = outbox.clock.elapsed();
    if (outbox.queueSize && now - outbox.queueSizeTakenAt < std::chrono::seconds(1))
        return outbox.queueSize;
    const bool opened = !OutboxHandle(outbox).IsConnected();
    if (opened && !outbox.handle->OpenDatabase(mode::kReadShared))
        return std::nullopt;
    const std::int32_t count = PendingCount(outbox);
    if (opened)
        outbox.handle->CloseDatabase();
    outbox.queueSize = count;
    outbox.queueSizeTakenAt = now;
    return count;
}

} // namespace vesk::store
