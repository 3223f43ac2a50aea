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
CREATE INDEX ixMessagePending ON Message (msgStatus, msgComplete, msgSendTime);
CREATE INDEX ixMessageSendTime ON Message (msgSendTime);
CREATE INDEX ixMessageReference ON Message (msgReference);

CREATE TABLE Inbox (
    inbID INTEGER PRIMARY KEY AUTOINCREMENT,
    msgTime DATETIME,
    msgAddress TEXT,
    msgText TEXT
);

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
CREATE INDEX ixFriendlyNameCacheAddress ON FriendlyNameCache (fnAddress);

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
    WHERE msgStatus = 0 AND COALESCE(msgComplete, 0) = 0
    ORDER BY msgSendTime, msgID;
