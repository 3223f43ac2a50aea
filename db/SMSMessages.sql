-- The outbox: messages queued by other programs, inbound messages, outbox-wide settings.
PRAGMA journal_mode = WAL;

CREATE TABLE Message (
    msgID INTEGER PRIMARY KEY AUTOINCREMENT,
    msgRecipient TEXT,
    msgAddress TEXT,
    msgText TEXT,
    msgSendTime DATETIME,
    msgStation TEXT,
    msgStatus INTEGER DEFAULT 0,
    msgComplete BOOLEAN DEFAULT 0,
    msgAttempts INTEGER DEFAULT 0,
    msgReference INTEGER DEFAULT 0,
    msgDeliveryStatus INTEGER,
    msgDeliveryTime DATETIME,
    msgExpires DATETIME,
    msgErrorReason TEXT,
    msgModemResponse TEXT,
    msgTariff INTEGER DEFAULT 0,
    msgFragmentCount INTEGER DEFAULT 0,
    msgAgentIMEI TEXT,
    msgAgentTimeStamp DATETIME
);
-- Each lookup a message makes finds its rows through one of these: the due pending rows in the
-- order they are sent, the claimed rows by claim time, the pending rows that can expire by
-- expiry, the rows still waiting for a report by reference and recipient, and the old rows by age.
CREATE INDEX ixMessageDue ON Message (msgSendTime, msgID) WHERE msgStatus = 0 AND msgComplete = 0;
CREATE INDEX ixMessageClaimed ON Message (msgAgentTimeStamp) WHERE msgStatus = 1;
CREATE INDEX ixMessageExpiring ON Message (msgExpires) WHERE msgStatus = 0 AND msgExpires IS NOT NULL;
CREATE INDEX ixMessageReport ON Message (msgReference, msgAddress) WHERE msgDeliveryStatus IS NULL;
CREATE INDEX ixMessageSendTime ON Message (msgSendTime);

-- msgComplete is never NULL, whatever a queueing program writes: the due index and the
-- pending view compare it with 0.
CREATE TRIGGER trMessageCompleteInsert AFTER INSERT ON Message WHEN NEW.msgComplete IS NULL
BEGIN
    UPDATE Message SET msgComplete = 0 WHERE msgID = NEW.msgID;
END;
CREATE TRIGGER trMessageCompleteUpdate AFTER UPDATE OF msgComplete ON Message WHEN NEW.msgComplete IS NULL
BEGIN
    UPDATE Message SET msgComplete = 0 WHERE msgID = NEW.msgID;
END;

-- The number of pending rows, kept by the database for every writer, so reading it costs the
-- same at any queue length. It is spread over eight rows (by message id) that are summed, so
-- writers changing different messages rarely wait on the same row.
CREATE TABLE PendingCounter (
    pcSlot INTEGER PRIMARY KEY,
    pcCount INTEGER NOT NULL DEFAULT 0
);
INSERT INTO PendingCounter (pcSlot) VALUES (0), (1), (2), (3), (4), (5), (6), (7);
CREATE TRIGGER trPendingInsert AFTER INSERT ON Message
    WHEN COALESCE(NEW.msgStatus = 0 AND COALESCE(NEW.msgComplete, 0) = 0, 0)
BEGIN
    UPDATE PendingCounter SET pcCount = pcCount + 1 WHERE pcSlot = NEW.msgID % 8;
END;
CREATE TRIGGER trPendingDelete AFTER DELETE ON Message
    WHEN COALESCE(OLD.msgStatus = 0 AND COALESCE(OLD.msgComplete, 0) = 0, 0)
BEGIN
    UPDATE PendingCounter SET pcCount = pcCount - 1 WHERE pcSlot = OLD.msgID % 8;
END;
CREATE TRIGGER trPendingUpdate AFTER UPDATE OF msgStatus, msgComplete ON Message
    WHEN COALESCE(OLD.msgStatus = 0 AND COALESCE(OLD.msgComplete, 0) = 0, 0)
        <> COALESCE(NEW.msgStatus = 0 AND COALESCE(NEW.msgComplete, 0) = 0, 0)
BEGIN
    UPDATE PendingCounter
    SET pcCount = pcCount + CASE WHEN COALESCE(NEW.msgStatus = 0 AND COALESCE(NEW.msgComplete, 0) = 0, 0)
        THEN 1 ELSE -1 END
    WHERE pcSlot = NEW.msgID % 8;
END;

CREATE TABLE Inbox (
    inbID INTEGER PRIMARY KEY AUTOINCREMENT,
    msgTime DATETIME,
    msgAddress TEXT,
    msgText TEXT
);
-- A message read again from the modem (stored, but its delete failed) is recognised by its
-- sender, service-centre time and text.
CREATE INDEX ixInboxSender ON Inbox (msgAddress, msgTime);

CREATE TABLE System (
    sysDBVersion INTEGER DEFAULT 4,
    sysSMSMaxMessageSize INTEGER DEFAULT 918,
    sysSMSRemoveAfter INTEGER DEFAULT 30,
    sysSMSArchive BOOLEAN DEFAULT 1,
    sysSMSSaveInbound BOOLEAN DEFAULT 1,
    sysStandardReply TEXT DEFAULT '',
    sysTariff INTEGER DEFAULT 1,
    sysValidityPeriodInMinutes INTEGER DEFAULT 1440,
    sysSMSForwarding BOOLEAN DEFAULT 0,
    sysMailSenderActive BOOLEAN DEFAULT 0,
    sysNameCacheImportFlag BOOLEAN DEFAULT 0,
    sysNameCacheLastImportTime DATETIME
);
INSERT INTO System DEFAULT VALUES;

CREATE TABLE Forward (
    fwdID INTEGER PRIMARY KEY AUTOINCREMENT,
    fwdSource TEXT,
    fwdKeyword TEXT,
    fwdDestination TEXT,
    fwdSourceName TEXT
);

CREATE TABLE FriendlyNameCache (
    fnAddress TEXT,
    fnName TEXT,
    fnIsPrivate BOOLEAN DEFAULT 0
);
CREATE INDEX ixFriendlyNameCacheLookup ON FriendlyNameCache (fnAddress, fnName);

CREATE TABLE MailConfig (
    cfgServer TEXT DEFAULT '',
    cfgAccount TEXT DEFAULT '',
    cfgPassword TEXT DEFAULT '',
    cfgAuthentication INTEGER DEFAULT 0
);
INSERT INTO MailConfig DEFAULT VALUES;

CREATE TABLE MailMessage (
    mlID INTEGER PRIMARY KEY AUTOINCREMENT,
    mlRecipients TEXT,
    mlSubject TEXT,
    mlMessage TEXT
);

CREATE TABLE Diagnostic (
    diagEmail TEXT DEFAULT '',
    diagNotifyMessages BOOLEAN DEFAULT 0,
    diagNotifySignal BOOLEAN DEFAULT 0,
    diagSignalLevel INTEGER DEFAULT 20,
    diagNotifyModem BOOLEAN DEFAULT 0
);
INSERT INTO Diagnostic DEFAULT VALUES;

-- Waiting to be sent, oldest send time first.
CREATE VIEW qry_Pending_Messages AS
    SELECT * FROM Message
    WHERE msgStatus = 0 AND msgComplete = 0
    ORDER BY msgSendTime, msgID;

-- The HTTP API (vesk-api) ----------------------------------------------------------------------
-- Its keys (only a hash of each), what it answered to requests carrying an Idempotency-Key (kept
-- 24 hours), and what it knows of the messages it queued: the key, the client's reference and
-- the creation time. These sit beside Message, keyed by its id, rather than in new Message
-- columns: rows queued by other programs need none of it, and the archive's Message keeps the
-- columns it has. A message removed by housekeeping takes its row here with it. Times are Unix
-- seconds.
CREATE TABLE ApiKey (
    akID INTEGER PRIMARY KEY AUTOINCREMENT,
    akName TEXT NOT NULL UNIQUE,
    akHash TEXT NOT NULL UNIQUE,
    akScopes TEXT NOT NULL,
    akAllow TEXT NOT NULL DEFAULT '',
    akCreated INTEGER NOT NULL,
    akRevoked INTEGER
);
CREATE TABLE ApiMessage (
    amMsgID INTEGER PRIMARY KEY,
    amKeyName TEXT,
    amClientRef TEXT,
    amCreated INTEGER NOT NULL
);
CREATE INDEX ixApiMessageClientRef ON ApiMessage (amClientRef, amMsgID);
CREATE INDEX ixApiMessageCreated ON ApiMessage (amCreated, amMsgID);
CREATE TRIGGER trApiMessageGone AFTER DELETE ON Message
BEGIN
    DELETE FROM ApiMessage WHERE amMsgID = OLD.msgID;
END;
CREATE TABLE ApiIdempotency (
    ikKeyName TEXT NOT NULL,
    ikKey TEXT NOT NULL,
    ikFingerprint TEXT NOT NULL,
    ikCreated INTEGER NOT NULL,
    ikDone INTEGER NOT NULL DEFAULT 0,
    ikStatus INTEGER,
    ikLocation TEXT,
    ikBody TEXT,
    PRIMARY KEY (ikKeyName, ikKey)
);
CREATE INDEX ixApiIdempotencyCreated ON ApiIdempotency (ikCreated);
-- Listing messages newest first by status and by recipient. The status indexes are partial, and
-- the pending rows have one of their own, so the console's pending view keeps its due index.
CREATE INDEX ixMessageStatusID ON Message (msgStatus, msgID) WHERE msgStatus >= 1;
CREATE INDEX ixMessageQueuedID ON Message (msgID) WHERE msgStatus = 0;
CREATE INDEX ixMessageAddressID ON Message (msgAddress, msgID);

-- The consoles that work this outbox ----------------------------------------------------------
-- One row per console, kept up to date by the console itself at most once a pass and at least
-- once a minute, so that every console on every machine can be seen in one place. csID is the
-- identity the console stamps its claims with. Times are Unix seconds, 0 for none.
CREATE TABLE Console (
    csID TEXT PRIMARY KEY,
    csHost TEXT NOT NULL DEFAULT '',
    csVersion TEXT NOT NULL DEFAULT '',
    csKind TEXT NOT NULL DEFAULT '',
    csMode TEXT NOT NULL DEFAULT '',
    csModel TEXT NOT NULL DEFAULT '',
    csNetwork TEXT NOT NULL DEFAULT '',
    csRegistration TEXT NOT NULL DEFAULT '',
    csSignal INTEGER NOT NULL DEFAULT -1,
    csStarted INTEGER NOT NULL DEFAULT 0,
    csLastPass INTEGER NOT NULL DEFAULT 0,
    csLastSend INTEGER NOT NULL DEFAULT 0,
    csSent INTEGER NOT NULL DEFAULT 0,
    csReceived INTEGER NOT NULL DEFAULT 0
);
-- Webhooks -------------------------------------------------------------------------------------
-- What happened, written by the outbox itself so that every writer produces it: one event per
-- inbound row stored and per change of a message's state a caller cares about (none for the
-- first, queued state), and the consoles' own (modem lost and regained). evUid is the event's
-- public id, random, so it is unique across outboxes too; evCreated is Unix milliseconds.
-- evBody is the delivered body, fixed the first time it is made so every retry is the same bytes.
CREATE TABLE WebhookEvent (
    evID INTEGER PRIMARY KEY AUTOINCREMENT,
    evUid TEXT NOT NULL UNIQUE DEFAULT (lower(hex(randomblob(12)))),
    evType TEXT NOT NULL,
    evMsgID INTEGER,
    evInbID INTEGER,
    evNumber TEXT,
    evStation TEXT,
    evCreated INTEGER NOT NULL DEFAULT (CAST((julianday('now') - 2440587.5) * 86400000.0 AS INTEGER)),
    evBody TEXT
);
CREATE INDEX ixWebhookEventCreated ON WebhookEvent (evCreated, evID);
-- The receivers. whTypes is ",type,type," or "*"; whFrom and whTo are number prefixes that the
-- inbound sender and the message recipient must start with ("" for any). The secrets are kept as
-- given to the receiver (they sign, so they cannot be hashed); the previous one keeps signing
-- until whOldUntil (Unix seconds) after a rotation.
CREATE TABLE WebhookEndpoint (
    whID INTEGER PRIMARY KEY AUTOINCREMENT,
    whUrl TEXT NOT NULL,
    whTypes TEXT NOT NULL,
    whFrom TEXT NOT NULL DEFAULT '',
    whTo TEXT NOT NULL DEFAULT '',
    whDescription TEXT NOT NULL DEFAULT '',
    whSecret TEXT NOT NULL,
    whOldSecret TEXT,
    whOldUntil INTEGER,
    whEnabled INTEGER NOT NULL DEFAULT 1,
    whDisabledReason TEXT,
    whCreated INTEGER NOT NULL,
    whAlerted INTEGER
);
-- One event for one endpoint: dlState 0 waiting, 1 delivered, 2 failed for good (redeliverable).
-- dlDue and dlFirst are Unix milliseconds of the dispatcher's clock (0 = at once, none yet).
CREATE TABLE WebhookDelivery (
    dlID INTEGER PRIMARY KEY AUTOINCREMENT,
    dlEndpoint INTEGER NOT NULL,
    dlEvent INTEGER NOT NULL,
    dlState INTEGER NOT NULL DEFAULT 0,
    dlAttempts INTEGER NOT NULL DEFAULT 0,
    dlDue INTEGER NOT NULL DEFAULT 0,
    dlFirst INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX ixWebhookDeliveryWaiting ON WebhookDelivery (dlEndpoint, dlID) WHERE dlState = 0;
CREATE INDEX ixWebhookDeliveryEndpoint ON WebhookDelivery (dlEndpoint, dlID);
CREATE INDEX ixWebhookDeliveryEvent ON WebhookDelivery (dlEvent);
-- Each try: the time (Unix ms), the HTTP status (0 for none) and what went wrong.
CREATE TABLE WebhookAttempt (
    atID INTEGER PRIMARY KEY AUTOINCREMENT,
    atDelivery INTEGER NOT NULL,
    atTime INTEGER NOT NULL,
    atStatus INTEGER NOT NULL,
    atError TEXT NOT NULL DEFAULT '',
    atMillis INTEGER NOT NULL DEFAULT 0
);
CREATE INDEX ixWebhookAttemptDelivery ON WebhookAttempt (atDelivery, atID);
-- The tries that were not a 2xx: few beside the deliveries, and what the status page looks for.
CREATE INDEX ixWebhookAttemptFailed ON WebhookAttempt (atDelivery) WHERE atStatus NOT BETWEEN 200 AND 299;
-- Each new event is queued at once for every enabled endpoint that wants it, in the same
-- transaction as the change it tells of.
CREATE TRIGGER trWebhookFanOut AFTER INSERT ON WebhookEvent WHEN NEW.evType <> 'webhook.test'
BEGIN
    INSERT INTO WebhookDelivery (dlEndpoint, dlEvent)
    SELECT whID, NEW.evID FROM WebhookEndpoint
    WHERE whEnabled = 1 AND (whTypes = '*' OR instr(whTypes, ',' || NEW.evType || ',') > 0)
        AND (NEW.evType <> 'inbound.received' OR substr(COALESCE(NEW.evNumber, ''), 1, length(whFrom)) = whFrom)
        AND (NEW.evType NOT LIKE 'message.%' OR substr(COALESCE(NEW.evNumber, ''), 1, length(whTo)) = whTo);
END;
CREATE TRIGGER trWebhookInbound AFTER INSERT ON Inbox
BEGIN
    INSERT INTO WebhookEvent (evType, evInbID, evNumber) VALUES ('inbound.received', NEW.inbID, NEW.msgAddress);
END;
-- Delivered and unconfirmed reports are both "delivered": a change between them tells nothing new.
CREATE TRIGGER trWebhookMessage AFTER UPDATE OF msgStatus ON Message
    WHEN NEW.msgStatus IN (2, 3, 5, 6, 7) AND NEW.msgStatus IS NOT OLD.msgStatus
        AND NOT (NEW.msgStatus IN (5, 6) AND OLD.msgStatus IN (5, 6))
BEGIN
    INSERT INTO WebhookEvent (evType, evMsgID, evNumber) VALUES (
        CASE NEW.msgStatus WHEN 3 THEN 'message.sent' WHEN 5 THEN 'message.delivered'
            WHEN 6 THEN 'message.delivered' WHEN 7 THEN 'message.undelivered'
            ELSE CASE WHEN NEW.msgErrorReason IN ('Expired', 'Message Expired') THEN 'message.expired'
                WHEN NEW.msgErrorReason LIKE 'Canceled by API key %' THEN 'message.canceled'
                ELSE 'message.failed' END END,
        NEW.msgID, NEW.msgAddress);
END;
