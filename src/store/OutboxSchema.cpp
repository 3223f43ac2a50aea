#include "store/OutboxSchema.h"

#include "store/StoreSchema.h"
#include "store/WebhookSchema.h"
#include "support/Convert.h"

#include <algorithm>
#include <string>
#include <vector>

namespace vesk::store {

namespace {

// What the current template holds beyond an outbox of revision 4.
constexpr const char* kCurrentObjects[]
    = {"PendingCounter", "trPendingInsert", "trPendingDelete", "trPendingUpdate", "trMessageCompleteInsert",
        "trMessageCompleteUpdate", "ixMessageDue", "ixMessageClaimed", "ixMessageExpiring", "ixMessageReport",
        "ixMessageSendTime", "ixFriendlyNameCacheLookup", "ixInboxSender",
        // The HTTP API's tables and the indexes its listings use.
        "ApiKey", "ApiMessage", "ApiIdempotency", "ixApiMessageClientRef", "ixApiMessageCreated",
        "trApiMessageGone", "ixApiIdempotencyCreated", "ixMessageStatusID", "ixMessageQueuedID",
        "ixMessageAddressID",
        // Every console's own row.
        "Console"};

// The same definitions as db/SMSMessages.sql. The counter is filled inside the same transaction
// that creates its triggers, so no writer can slip a change in between.
const char* const kUpgrade[] = {
    "UPDATE Message SET msgComplete = 0 WHERE msgComplete IS NULL",
    "CREATE TABLE IF NOT EXISTS PendingCounter"
    " (pcSlot INTEGER PRIMARY KEY, pcCount INTEGER NOT NULL DEFAULT 0)",
    "DELETE FROM PendingCounter",
    "INSERT INTO PendingCounter (pcSlot) VALUES (0), (1), (2), (3), (4), (5), (6), (7)",
    "UPDATE PendingCounter SET pcCount"
    " = (SELECT COUNT(*) FROM Message WHERE msgStatus = 0 AND msgComplete = 0) WHERE pcSlot = 0",
    "CREATE TRIGGER IF NOT EXISTS trMessageCompleteInsert AFTER INSERT ON Message"
    " WHEN NEW.msgComplete IS NULL BEGIN UPDATE Message SET msgComplete = 0 WHERE msgID = NEW.msgID; END",
    "CREATE TRIGGER IF NOT EXISTS trMessageCompleteUpdate AFTER UPDATE OF msgComplete ON Message"
    " WHEN NEW.msgComplete IS NULL BEGIN UPDATE Message SET msgComplete = 0 WHERE msgID = NEW.msgID; END",
    "CREATE TRIGGER IF NOT EXISTS trPendingInsert AFTER INSERT ON Message"
    " WHEN COALESCE(NEW.msgStatus = 0 AND COALESCE(NEW.msgComplete, 0) = 0, 0)"
    " BEGIN UPDATE PendingCounter SET pcCount = pcCount + 1 WHERE pcSlot = NEW.msgID % 8; END",
    "CREATE TRIGGER IF NOT EXISTS trPendingDelete AFTER DELETE ON Message"
    " WHEN COALESCE(OLD.msgStatus = 0 AND COALESCE(OLD.msgComplete, 0) = 0, 0)"
    " BEGIN UPDATE PendingCounter SET pcCount = pcCount - 1 WHERE pcSlot = OLD.msgID % 8; END",
    "CREATE TRIGGER IF NOT EXISTS trPendingUpdate AFTER UPDATE OF msgStatus, msgComplete ON Message"
    " WHEN COALESCE(OLD.msgStatus = 0 AND COALESCE(OLD.msgComplete, 0) = 0, 0)"
    " <> COALESCE(NEW.msgStatus = 0 AND COALESCE(NEW.msgComplete, 0) = 0, 0)"
    " BEGIN UPDATE PendingCounter SET pcCount = pcCount"
    " + CASE WHEN COALESCE(NEW.msgStatus = 0 AND COALESCE(NEW.msgComplete, 0) = 0, 0) THEN 1 ELSE -1 END"
    " WHERE pcSlot = NEW.msgID % 8; END",
    "CREATE INDEX IF NOT EXISTS ixMessageDue ON Message (msgSendTime, msgID)"
    " WHERE msgStatus = 0 AND msgComplete = 0",
    "CREATE INDEX IF NOT EXISTS ixMessageClaimed ON Message (msgAgentTimeStamp) WHERE msgStatus = 1",
    "CREATE INDEX IF NOT EXISTS ixMessageExpiring ON Message (msgExpires)"
    " WHERE msgStatus = 0 AND msgExpires IS NOT NULL",
    "CREATE INDEX IF NOT EXISTS ixMessageReport ON Message (msgReference, msgAddress)"
    " WHERE msgDeliveryStatus IS NULL",
    "CREATE INDEX IF NOT EXISTS ixMessageSendTime ON Message (msgSendTime)",
    "CREATE INDEX IF NOT EXISTS ixFriendlyNameCacheLookup ON FriendlyNameCache (fnAddress, fnName)",
    "CREATE INDEX IF NOT EXISTS ixInboxSender ON Inbox (msgAddress, msgTime)",
    // Replaced by the ones above.
    "DROP INDEX IF EXISTS ixMessagePending",
    "DROP INDEX IF EXISTS ixMessageReference",
    "DROP INDEX IF EXISTS ixFriendlyNameCacheAddress",
    // The HTTP API: keys, what it queued, idempotent answers, listings newest first.
    "CREATE TABLE IF NOT EXISTS ApiKey (akID INTEGER PRIMARY KEY AUTOINCREMENT, akName TEXT NOT NULL UNIQUE,"
    " akHash TEXT NOT NULL UNIQUE, akScopes TEXT NOT NULL, akAllow TEXT NOT NULL DEFAULT '',"
    " akCreated INTEGER NOT NULL, akRevoked INTEGER)",
    "CREATE TABLE IF NOT EXISTS ApiMessage (amMsgID INTEGER PRIMARY KEY, amKeyName TEXT, amClientRef TEXT,"
    " amCreated INTEGER NOT NULL)",
    "CREATE INDEX IF NOT EXISTS ixApiMessageClientRef ON ApiMessage (amClientRef, amMsgID)",
    "CREATE INDEX IF NOT EXISTS ixApiMessageCreated ON ApiMessage (amCreated, amMsgID)",
    "CREATE TRIGGER IF NOT EXISTS trApiMessageGone AFTER DELETE ON Message"
    " BEGIN DELETE FROM ApiMessage WHERE amMsgID = OLD.msgID; END",
    "CREATE TABLE IF NOT EXISTS ApiIdempotency (ikKeyName TEXT NOT NULL, ikKey TEXT NOT NULL,"
    " ikFingerprint TEXT NOT NULL, ikCreated INTEGER NOT NULL, ikDone INTEGER NOT NULL DEFAULT 0,"
    " ikStatus INTEGER, ikLocation TEXT, ikBody TEXT, PRIMARY KEY (ikKeyName, ikKey))",
    "CREATE INDEX IF NOT EXISTS ixApiIdempotencyCreated ON ApiIdempotency (ikCreated)",
    "CREATE INDEX IF NOT EXISTS ixMessageStatusID ON Message (msgStatus, msgID) WHERE msgStatus >= 1",
    "CREATE INDEX IF NOT EXISTS ixMessageQueuedID ON Message (msgID) WHERE msgStatus = 0",
    "CREATE INDEX IF NOT EXISTS ixMessageAddressID ON Message (msgAddress, msgID)",
    // One row per console, kept by the console itself.
    "CREATE TABLE IF NOT EXISTS Console (csID TEXT PRIMARY KEY, csHost TEXT NOT NULL DEFAULT '',"
    " csVersion TEXT NOT NULL DEFAULT '', csKind TEXT NOT NULL DEFAULT '', csMode TEXT NOT NULL DEFAULT '',"
    " csModel TEXT NOT NULL DEFAULT '', csNetwork TEXT NOT NULL DEFAULT '', csRegistration TEXT NOT NULL "
    "DEFAULT '',"
    " csSignal INTEGER NOT NULL DEFAULT -1, csStarted INTEGER NOT NULL DEFAULT 0, csLastPass INTEGER NOT "
    "NULL DEFAULT 0,"
    " csLastSend INTEGER NOT NULL DEFAULT 0, csSent INTEGER NOT NULL DEFAULT 0, csReceived INTEGER NOT NULL "
    "DEFAULT 0)",
};

// The earlier pending view compared COALESCE(msgComplete, 0), which no index can serve.
const char* const kPendingView[] = {
    "DROP VIEW IF EXISTS qry_Pending_Messages",
    "CREATE VIEW qry_Pending_Messages AS SELECT * FROM Message WHERE msgStatus = 0 AND msgComplete = 0"
    " ORDER BY msgSendTime, msgID",
};

} // namespace

bool UpgradeOutbox(db& outbox, LogSink& log)
{
    if (outbox.Kind() == EngineKind::Postgres) {
        if (PgStoreIsCurrent(outbox))
            return true;
        if (!UpgradePgStore(outbox)) {
            log.Log(icon::kError, "", "Could not bring the outbox up to date : " + outbox.LastError());
            return false;
        }
        log.Log(icon::kInfo, "", "Outbox brought up to date: pending counter and indexes added");
        return true;
    }
    auto schema = outbox.OpenDynaset("SELECT name, sql FROM sqlite_master", kForwardOnly, kReadOnly);
    if (!schema)
        return false;
    std::vector<std::string> present;
    bool oldView = true;
    for (; !schema->IsEOF(); schema->MoveNext()) {
        const std::string name = TextOf(schema->Field("name"));
        present.push_back(name);
        if (name == "qry_Pending_Messages")
            oldView = TextOf(schema->Field("sql")).find("COALESCE") != std::string::npos;
    }
    const auto holds
        = [&](const char* name) { return std::find(present.begin(), present.end(), name) != present.end(); };
    const bool current = !oldView
        && std::all_of(std::begin(kCurrentObjects), std::end(kCurrentObjects), holds)
        && std::all_of(WebhookSqliteObjects().begin(), WebhookSqliteObjects().end(), holds);
    if (current)
        return true;

    std::vector<const char*> steps(std::begin(kUpgrade), std::end(kUpgrade));
    steps.insert(steps.end(), WebhookSqliteSchema().begin(), WebhookSqliteSchema().end());
    if (oldView)
        steps.insert(steps.end(), std::begin(kPendingView), std::end(kPendingView));
    bool ok = outbox.BeginTransaction();
    for (std::size_t i = 0; ok && i < steps.size(); ++i)
        ok = outbox.Execute(steps[i]);
    ok = ok && outbox.CommitTransaction();
    if (!ok) {
        const std::string reason = outbox.LastError();
        outbox.RollbackTransaction();
        log.Log(icon::kError, "", "Could not bring the outbox up to date : " + reason);
        return false;
    }
    log.Log(icon::kInfo, "", "Outbox brought up to date: pending counter and indexes added");
    return true;
}

} // namespace vesk::store
