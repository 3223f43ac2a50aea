-- The archive: old outbox rows copied whole before housekeeping removes them. A row that is
-- still incomplete is copied again on later days, so msgID is not unique here.
PRAGMA journal_mode = WAL;

CREATE TABLE Message (
    msgID INTEGER,
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
CREATE INDEX ixArchiveID ON Message (msgID);
CREATE INDEX ixArchiveSendTime ON Message (msgSendTime);
