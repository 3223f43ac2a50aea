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
