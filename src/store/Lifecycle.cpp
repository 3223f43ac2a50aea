#include "store/Lifecycle.h"
#include "store/Webhooks.h"

#include "store/SqlText.h"
#include "store/StoreSchema.h"
#include "support/Convert.h"
#include "support/Paths.h"
#include "support/PrivateFiles.h"

#include <algorithm>
#include <filesystem>
#include <optional>

namespace vesk::store {

namespace {

std::string idText(RowId id)
{
    return std::to_string(id);
}

// Looks for the archive a few times: a shared folder may take a moment to come back.
bool archivePresent(Outbox& outbox, const std::string& path)
{
    for (int look = 1; look <= 3; ++look) {
        if (FileExists(path))
            return true;
        if (look < 3)
            outbox.clock.sleepFor(std::chrono::milliseconds(100));
    }
    return false;
}

// Walks the old rows that match a condition in send-time order, a bounded step at a time, so
// that the statements of each step hold the outbox's write lock only briefly.
class OldRows
{
public:
    OldRows(db& h, std::string condition, int step)
        : m_db(h)
        , m_condition(std::move(condition))
        , m_step(std::max(step, 1))
    {
    }

    // The ids of the next step as "1,2,3"; empty at the end; nothing when the read failed.
    std::optional<std::string> next()
    {
        std::string ids;
        int count = 0;
        if (m_lastId.empty())
            return read("", ids, count) ? std::optional(ids) : std::nullopt;
        // The rows of the last send time after the last id, then the later ones: each part is a
        // search in the send-time index however many rows share one send time.
        const std::string lastTime = Enclosed("'", Quote(m_lastTime));
        if (!read(" AND msgSendTime = " + lastTime + " AND msgID > " + m_lastId, ids, count))
            return std::nullopt;
        if (count < m_step && !read(" AND msgSendTime > " + lastTime, ids, count))
            return std::nullopt;
        return ids;
    }

private:
    db& m_db;
    std::string m_condition;
    int m_step;
    std::string m_lastId;
    std::string m_lastTime;

    bool read(const std::string& after, std::string& ids, int& count)
    {
        auto rs = m_db.OpenDynaset("SELECT TOP " + std::to_string(m_step - count)
                + " msgID, msgSendTime FROM Message WHERE " + m_condition + after
                + " ORDER BY msgSendTime, msgID",
            kForwardOnly, kReadOnly);
        if (!rs)
            return false;
        for (; !rs->IsEOF(); rs->MoveNext()) {
            const std::string id = TextOf(rs->Field("msgID"));
            if (id.empty() || id.find_first_not_of("0123456789") != std::string::npos)
                continue; // only whole numbers go into the statements
            m_lastId = id;
            m_lastTime = TextOf(rs->Field("msgSendTime"));
            ids += (ids.empty() ? "" : ",") + id;
            ++count;
        }
        return true;
    }
};

// When the claim is stamped: by the database server's clock on a shared server.
std::string claimStamp(Outbox& outbox)
{
    return OutboxHandle(outbox).Kind() == EngineKind::Postgres ? "LOCALTIMESTAMP(0)"
                                                               : DateLiteral(outbox.clock.now());
}

// The connection went away while a claim ran: whether it was committed is unknown. Reconnect
// and look: the row is this console's only when it carries this console's mark.
bool claimedAfterReconnect(Outbox& outbox, RowId id, const std::string& owner)
{
    db& h = OutboxHandle(outbox);
    if (!h.OpenDatabase(mode::kReadWriteShared))
        return false;
    auto rs = h.OpenBound("SELECT msgStatus, msgAgentIMEI FROM Message WHERE msgID = ?", {idText(id)});
    const bool ours = rs && !rs->IsEOF()
        && LongOf(rs->Field("msgStatus")) == static_cast<int>(MessageStatus::Owned)
        && TextOf(rs->Field("msgAgentIMEI")) == owner;
    outbox.log.Log(icon::kWarning, "",
        "TakeOwnership(" + idText(id) + ") : the claim was interrupted; the row is "
            + (ours ? std::string("this console's") : std::string("not this console's")));
    return ours;
}

// The same for a claim of the next due row, whose id is unknown too: a row of this console's
// that it is not sending can only be the one that claim took.
std::optional<RowId> ownedAfterReconnect(Outbox& outbox, const std::string& owner)
{
    db& h = OutboxHandle(outbox);
    if (!h.OpenDatabase(mode::kReadWriteShared))
        return std::nullopt;
    auto rs = h.OpenBound("SELECT msgID FROM Message WHERE msgStatus = " + StatusSql(MessageStatus::Owned)
            + " AND msgAgentIMEI = ?",
        {owner});
    const bool found = rs && !rs->IsEOF();
    outbox.log.Log(icon::kWarning, "",
        "ClaimNextDue : the claim was interrupted; "
            + (found ? "row " + TextOf(rs->Field("msgID")) + " is this console's"
                     : std::string("no row is this console's")));
    return found ? std::optional<RowId>(RowIdOf(rs->Field("msgID"))) : std::nullopt;
}

} // namespace

DateTime DueUntil(Outbox& outbox)
{
    return std::max(outbox.clock.now(), outbox.clockWentBackFrom);
}

std::unique_ptr<Recordset> OpenDueMessages(Outbox& outbox, int count)
{
    const std::string now = "#" + Format(DueUntil(outbox), "dd/mmm/yyyy hh:nn:ss") + "#";
    return OutboxHandle(outbox).OpenDynaset(
        "SELECT TOP " + std::to_string(count) + " * FROM qry_Pending_Messages WHERE msgSendTime <= " + now,
        kForwardOnly, kReadOnly);
}

std::optional<RowId> ClaimNextDue(Outbox& outbox, const std::string& agentIdentity)
{
    db& h = OutboxHandle(outbox);
    const std::string owner = Right(agentIdentity, kOwnerLength);
    const std::string pending
        = "msgStatus = " + StatusSql(MessageStatus::Pending) + " AND msgAgentIMEI IS NULL";
    auto rs = h.OpenBound("UPDATE Message SET msgStatus = " + StatusSql(MessageStatus::Owned)
            + ", msgAgentIMEI = ?, msgAgentTimeStamp = " + claimStamp(outbox)
            + " WHERE msgID = (SELECT msgID FROM Message WHERE " + pending
            + " AND NOT msgComplete AND msgSendTime <= ? ORDER BY msgSendTime, msgID LIMIT 1 FOR UPDATE SKIP "
              "LOCKED) AND "
            + pending + " RETURNING msgID",
        {owner, Format(DueUntil(outbox), "yyyy-mm-dd hh:nn:ss")});
    if (rs && !rs->IsEOF())
        return RowIdOf(rs->Field("msgID"));
    if (h.IsError())
        outbox.log.Log(icon::kError, "", "ClaimNextDue : " + h.LastError());
    if (rs || !h.ConnectionLost())
        return std::nullopt;
    return ownedAfterReconnect(outbox, owner);
}

bool TakeOwnership(Outbox& outbox, RowId id, const std::string& agentIdentity)
{
    db& h = OutboxHandle(outbox);
    const std::string owner = Right(agentIdentity, kOwnerLength);
    const std::int32_t touched = h.ExecuteRecordResult(
        "UPDATE Message SET msgStatus = " + StatusSql(MessageStatus::Owned) + ", msgAgentIMEI = '"
        + Quote(owner) + "', msgAgentTimeStamp = " + claimStamp(outbox) + " WHERE msgID = " + idText(id)
        + " AND msgStatus = " + StatusSql(MessageStatus::Pending) + " AND msgAgentIMEI IS NULL");
    if (h.IsError())
        outbox.log.Log(icon::kError, "", "TakeOwnership(" + idText(id) + " : " + h.LastError());
    if (touched != 1 && h.ConnectionLost())
        return claimedAfterReconnect(outbox, id, owner);
    return touched == 1;
}

void ReleaseOwnership(Outbox& outbox, RowId id)
{
    db& h = OutboxHandle(outbox);
    if (!h.Execute(
            "UPDATE Message SET msgAgentIMEI = NULL, msgAgentTimeStamp = NULL WHERE msgID = " + idText(id)))
        outbox.log.Log(icon::kError, "", "ReleaseOwnership(" + idText(id) + " :" + h.LastError());
}

void SetStatus(Outbox& outbox, RowId id, MessageStatus status)
{
    db& h = OutboxHandle(outbox);
    if (!h.Execute("UPDATE Message SET msgStatus=" + StatusSql(status) + " WHERE msgID=" + idText(id)))
        outbox.log.Log(icon::kError, "", "ReleaseOwnership(" + idText(id) + " :" + h.LastError());
}

std::int32_t ReleaseOrphans(Outbox& outbox)
{
    db& h = OutboxHandle(outbox);
    const DateTime cutoff = outbox.clock.now().addMinutes(-kOrphanMinutes);
    // On a shared server the server's clock decides: a console whose own clock is wrong never
    // frees a row that another console is still sending.
    const std::string before = h.Kind() == EngineKind::Postgres
        ? "LOCALTIMESTAMP(0) - INTERVAL '" + std::to_string(kOrphanMinutes) + " minutes'"
        : "#" + Format(cutoff, "dd/mmm/yyyy hh:nn:ss") + "#";
    const std::int32_t count
        = h.ExecuteRecordResult("UPDATE Message SET msgStatus = " + StatusSql(MessageStatus::Pending)
            + ", msgAgentIMEI = NULL, msgAgentTimeStamp = NULL WHERE (msgStatus = "
            + StatusSql(MessageStatus::Owned)
            + ") AND (NOT (Message.msgAgentIMEI IS NULL)) AND (msgAgentTimeStamp <= " + before + ")");
    if (count <= 0) {
        if (h.IsError())
            outbox.log.Log(icon::kError, "", "ReleaseOrphans : " + h.LastError());
    } else {
        outbox.log.Log(icon::kWarning, "", "Released " + std::to_string(count) + " orphaned message(s)");
    }
    outbox.pump.runPending();
    outbox.pump.runPending();
    return std::max(count, 0);
}

std::int32_t ExpireMessages(Outbox& outbox)
{
    db& h = OutboxHandle(outbox);
    const std::int32_t count
        = h.ExecuteRecordResult("UPDATE Message SET Message.msgStatus = " + StatusSql(MessageStatus::Failed)
            + ", Message.msgErrorReason = 'Expired' WHERE (Message.msgStatus = "
            + StatusSql(MessageStatus::Pending)
            + ") AND (Message.msgExpires IS NOT NULL) AND (Message.msgExpires <= #"
            + Format(outbox.clock.now(), "dd/mmm/yy hh:nn:ss") + "#)");
    if (count <= 0) {
        if (h.IsError())
            outbox.log.Log(icon::kError, "", "ExpireMessages : " + h.LastError());
    } else {
        outbox.log.Log(icon::kInfo, "", "Expired " + std::to_string(count) + " message(s)");
    }
    return std::max(count, 0);
}

bool ArchiveMessages(Outbox& outbox, DateTime cutoff)
{
    db& h = OutboxHandle(outbox);
    const bool server = h.Kind() == EngineKind::Postgres;
    const std::string folder = FolderOfPath(h.Filename());
    if (folder.empty() && !server)
        return false;
    // On a server the archive is a schema of the same database.
    const std::string archive = server ? kArchiveSchema : TrailingSeparator(folder) + kArchiveName;
    if (!server && !archivePresent(outbox, archive)) {
        std::string reason;
        CopyPrivateFile(TrailingSeparator(outbox.templateFolder) + kArchiveName, archive, false, reason);
        if (!archivePresent(outbox, archive))
            return false;
    }
    const std::string before = "msgSendTime < #" + Format(cutoff, "dd/mmm/yyyy") + "#";
    auto rs = h.OpenDynaset("SELECT COUNT(*) AS T FROM Message WHERE " + before, kForwardOnly, kReadOnly);
    if (!rs)
        return false;
    const auto toCopy = static_cast<std::int32_t>(LeadingNumber(TextOf(rs->Field("T"))));
    if (toCopy == 0)
        return true;
    std::int32_t copied = 0;
    OldRows rows(h, before, outbox.housekeepingStep);
    auto ids = rows.next();
    for (; ids && !ids->empty(); ids = rows.next()) {
        const std::int32_t n = h.ExecuteRecordResult("INSERT INTO Message IN '" + Quote(archive) + "' ("
            + MessageColumnList() + ") SELECT " + MessageColumnList() + " FROM Message WHERE " + before
            + " AND msgID IN (" + *ids + ")");
        // A retry that got past a lock conflict leaves the error set: a step failed when it copied nothing.
        if (n <= 0 && h.IsError())
            return false;
        copied += std::max(n, 0);
        outbox.pump.runPending();
    }
    if (!ids)
        return false;
    if (copied != toCopy)
        outbox.log.Log(icon::kWarning, "",
            "Archive ToCopy[" + std::to_string(toCopy) + "] does not equal Copied[" + std::to_string(copied)
                + "]");
    return copied > 0;
}

namespace {
// The webhook events past their days, in the same bounded steps; those still being retried stay.
void removeOldEvents(Outbox& outbox, DateTime now)
{
    const std::int64_t before
        = (UnixFromLocal(now) - std::int64_t {86400} * std::max(outbox.webhookKeepDays, 1)) * 1000;
    const std::int64_t removed = RemoveOldEvents(OutboxHandle(outbox), before, outbox.housekeepingStep);
    if (removed < 0)
        outbox.log.Log(icon::kError, "",
            "Old webhook events could not be removed : " + OutboxHandle(outbox).LastError());
    else if (removed > 0)
        outbox.log.Log(
            icon::kInfo, "", std::to_string(removed) + " webhook events removed during housekeeping");
}
} // namespace

bool Housekeeping(Outbox& outbox)
{
    if (outbox.settings.SMSRemoveAfter == 0)
        return false;
    const DateTime now = outbox.clock.now();
    if (outbox.nextHousekeeping.isZero()) {
        outbox.nextHousekeeping = now.dateOnly().addHours(23);
        return false;
    }
    // A clock set back by more than a day would hold the daily run back for as long: the next
    // one is tonight's again.
    if (outbox.nextHousekeeping > now.dateOnly().addDays(1).addHours(23))
        outbox.nextHousekeeping = now.dateOnly().addHours(23);
    if (now < outbox.nextHousekeeping)
        return false;
    db& h = OutboxHandle(outbox);
    const bool opened = !h.IsConnected();
    if (opened && !h.OpenDatabase(mode::kReadWriteShared))
        return false;
    const DateTime cutoff = now.dateOnly().addDays(-outbox.settings.SMSRemoveAfter);
    if (outbox.settings.SMSArchive && !ArchiveMessages(outbox, cutoff)) {
        outbox.log.Log(icon::kError, "", "Unable to archive messages so will not delete them for now");
        if (opened)
            h.CloseDatabase();
        return false;
    }
    const std::string old = "msgComplete = TRUE AND msgSendTime < #" + Format(cutoff, "dd/mmm/yyyy") + "#";
    std::int32_t removed = 0;
    OldRows rows(h, old, outbox.housekeepingStep);
    for (auto ids = rows.next(); ids && !ids->empty(); ids = rows.next()) {
        const std::int32_t n
            = h.ExecuteRecordResult("DELETE FROM Message WHERE " + old + " AND msgID IN (" + *ids + ")");
        if (n <= 0 && h.IsError())
            break;
        removed += std::max(n, 0);
        outbox.pump.runPending();
    }
    if (removed > 0)
        outbox.log.Log(icon::kInfo, "",
            std::to_string(removed) + " messages older than " + Format(cutoff, "Dd/MMM/YYYY")
                + " removed during housekeeping");
    RecountPending(outbox);
    removeOldEvents(outbox, now);
    outbox.nextHousekeeping = now.dateOnly().addDays(1).addHours(23);
    if (opened)
        h.CloseDatabase();
    return true;
}

namespace {
// A message without a usable service-centre time is stored with today's date.
DateTime inboxTime(Outbox& outbox, DateTime time)
{
    return time < DateTime::fromParts(2000, 1, 1) ? outbox.clock.now().dateOnly() : time;
}
} // namespace

bool SaveInbound(Outbox& outbox, const std::string& address, const std::string& text, DateTime time)
{
    if (!outbox.settings.SMSSaveInbound)
        return true;
    time = inboxTime(outbox, time);
    db& h = OutboxHandle(outbox);
    const std::int32_t inserted = h.ExecuteRecordResult(
        "INSERT INTO Inbox (msgTime, msgAddress, msgText) VALUES (" + DateLiteral(time) + "," + "'"
        + Quote(Left(address, 30)) + "'," + "'" + Quote(Left(text, 255)) + "')");
    if (inserted == 1)
        return true;
    outbox.log.Log(icon::kError, "", "Could not save inbound message : " + h.LastError());
    return false;
}

std::optional<bool> InboxHolds(
    Outbox& outbox, const std::string& address, const std::string& text, DateTime time)
{
    auto rs = OutboxHandle(outbox).OpenBound(
        "SELECT inbID FROM Inbox WHERE msgAddress = ? AND msgTime = ? AND msgText = ?",
        {Left(address, 30), Format(inboxTime(outbox, time), "yyyy-mm-dd hh:nn:ss"), Left(text, 255)});
    if (!rs)
        return std::nullopt;
    return !rs->IsEOF();
}

RowId InsertMessage(Outbox& outbox, const std::string& recipient, const std::string& address,
    const std::string& text, DateTime sendTime, const std::string& station)
{
    db& h = OutboxHandle(outbox);
    // A size of 0 or less in the settings would empty every text: it means no limit.
    const std::size_t maxText = outbox.settings.SMSMaxMessageSize > 0
        ? static_cast<std::size_t>(outbox.settings.SMSMaxMessageSize)
        : std::string::npos;
    const std::string sql
        = "INSERT INTO Message (msgRecipient, msgAddress, msgText, msgSendTime, msgStation) VALUES ('"
        + Quote(Left(recipient, 30)) + "','" + Quote(Left(address, 30)) + "','" + Quote(Left(text, maxText))
        + "'," + DateLiteral(sendTime) + ",'" + Quote(Left(station, 32)) + "')";
    if (!h.Execute(sql)) {
        outbox.log.Log(icon::kError, "", "InsertMessage : " + h.LastError());
        return 0;
    }
    auto rs = h.ExecuteRecordset("SELECT @@IDENTITY AS ID");
    if (!rs || rs->IsEOF())
        return 0;
    return RowIdOf(rs->Field("ID"));
}

} // namespace vesk::store
