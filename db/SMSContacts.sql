-- The address book: contacts, groups and their members.
PRAGMA journal_mode = WAL;

CREATE TABLE Contact (
    cntID INTEGER PRIMARY KEY AUTOINCREMENT,
    cntFirstNames TEXT,
    cntSurname TEXT,
    cntAlphaFirstNames TEXT,
    cntAlphaSurname TEXT,
    cntPhone TEXT,
    cntEmail TEXT,
    cntCompany TEXT,
    cntNotes TEXT,
    cntPrivateNumber BOOLEAN DEFAULT 0,
    cntMigrateID INTEGER
);
CREATE INDEX ixContactMigrateID ON Contact (cntMigrateID);
CREATE INDEX ixContactPhone ON Contact (cntPhone);

CREATE TABLE ContactGroup (
    grpID INTEGER PRIMARY KEY AUTOINCREMENT,
    grpName TEXT,
    grpDescription TEXT,
    grpMigrateID INTEGER
);
CREATE INDEX ixContactGroupMigrateID ON ContactGroup (grpMigrateID);

CREATE TABLE GroupMember (
    grpID INTEGER NOT NULL,
    cntID INTEGER NOT NULL,
    PRIMARY KEY (grpID, cntID)
);

CREATE TABLE Config (
    cfgDBVersion INTEGER DEFAULT 1,
    cfgDefaultCountryCode TEXT DEFAULT '',
    cfgSortBySurname BOOLEAN DEFAULT 1
);
INSERT INTO Config DEFAULT VALUES;

CREATE TABLE UserFields (
    ufID INTEGER PRIMARY KEY AUTOINCREMENT,
    ufName TEXT,
    ufCaption TEXT
);

CREATE TABLE MessageTail (
    mtID INTEGER PRIMARY KEY AUTOINCREMENT,
    mtText TEXT
);

-- One row per contact number, for the friendly-name cache.
CREATE VIEW qry_NameCache_Contact AS
    SELECT cntID, cntFirstNames, cntSurname, cntPhone, cntPrivateNumber
    FROM Contact
    WHERE cntPhone IS NOT NULL AND TRIM(cntPhone) <> '';
