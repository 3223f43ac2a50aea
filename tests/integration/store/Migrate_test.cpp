#include "StoreFixture.h"
#include "store/Migrate.h"

#include <filesystem>

namespace vesk::store {
namespace {

using testing::TemplateFolder;
using Rows = std::vector<std::string>;

class MigrateTest : public ::testing::Test
{
protected:
    // A database of the data folder opened for the test's own statements.
    std::unique_ptr<db> open(const std::string& name)
    {
        auto d = std::make_unique<db>(clock, pump);
        d->setFilename(dir.file(name));
        EXPECT_TRUE(d->OpenDatabase(mode::kReadWriteShared)) << name << ": " << d->LastError();
        return d;
    }
    void run(db& d, const std::string& sql) { EXPECT_TRUE(d.Execute(sql)) << sql << ": " << d.LastError(); }
    // The first column of every row.
    Rows rows(db& d, const std::string& sql)
    {
        Rows out;
        auto rs = d.OpenDynaset(sql);
        EXPECT_TRUE(rs) << sql << ": " << d.LastError();
        for (; rs && !rs->IsEOF(); rs->MoveNext())
            out.push_back(TextOf(rs->Field(0)));
        return out;
    }
    std::string create()
    {
        std::string errorText, errorLines;
        EXPECT_TRUE(CreateOutbox(dir.path(), TemplateFolder(), errorText, errorLines))
            << errorText << errorLines;
        return errorLines;
    }

    testing::TempDir dir;
    testing::FakeClock clock;
    testing::ScriptedPump pump;
};

TEST_F(MigrateTest, TemplatesThatCannotBeCopiedAreCollectedPerFile)
{
    testing::TempDir templates;
    std::filesystem::copy_file(TemplateFolder() + kOutboxName, templates.file(kOutboxName));
    std::string errorText, errorLines;
    EXPECT_FALSE(CreateOutbox(dir.path(), templates.path(), errorText, errorLines));
    EXPECT_EQ(errorText, "");
    EXPECT_EQ(errorLines.rfind("Copy SMSArchive.mdb : ", 0), 0u) << errorLines;
    EXPECT_NE(errorLines.find("\nCopy SMSContacts.mdb : "), std::string::npos) << errorLines;
    EXPECT_TRUE(IsDataFolder(dir.path() + "/  "));
}

TEST_F(MigrateTest, RebuildCarriesSettingsRulesInboxMailAndContacts)
{
    EXPECT_EQ(create(), "");
    EXPECT_TRUE(IsDataFolder(dir.folder()));
    // Without retired files to import from, migration still runs to its end.
    Rows steps;
    const auto migrate = [&] {
        steps.clear();
        MigrateData(dir.path(), clock, pump, [&](const std::string& s) { steps.push_back(s); });
    };
    migrate();
    EXPECT_EQ(steps.back(), "Import complete...");
    {
        auto old = open(kOutboxName);
        for (const char* sql :
            {"UPDATE System SET sysDBVersion = 3, sysSMSRemoveAfter = 14, sysStandardReply = "
             "'Ta, it''s here', sysMailSenderActive = TRUE, sysTariff = 2",
                "UPDATE MailConfig SET cfgServer = 'smtp.example.org', cfgAccount = 'ops', "
                "cfgAuthentication = 2",
                "UPDATE Diagnostic SET diagEmail = 'ops@example.org', diagNotifySignal = TRUE, "
                "diagSignalLevel = 15",
                "INSERT INTO Inbox (msgTime, msgAddress, msgText) "
                "VALUES (#02/Mar/2026 10:00:00#, '+4477', 'Grüße')",
                "INSERT INTO MailMessage (mlRecipients, mlSubject, mlMessage) VALUES ('a@b.c', 'Alert', "
                "'line')",
                "INSERT INTO Forward (fwdSource, fwdKeyword, fwdDestination) "
                "VALUES ('+44*', 'HELP', '+4478'), ('*', '', 'ops@example.org')",
                "INSERT INTO Message (msgAddress, msgText) VALUES ('+4479', 'not carried over')"})
            run(*old, sql);
        auto book = open(kContactsName);
        for (const char* sql : {"UPDATE Config SET cfgDefaultCountryCode = '44'",
                 "INSERT INTO UserFields (ufName) VALUES ('Department')",
                 "INSERT INTO MessageTail (mtText) VALUES ('-- sent by Quillon')",
                 // Old numbering with gaps, so remapped ids differ from the old ones.
                 "INSERT INTO Contact (cntID, cntFirstNames, cntSurname, cntPhone) "
                 "VALUES (10, 'ann', 'zimmer', '+441'), (20, 'Bob', '3rd', '+442'), (30, '', NULL, '+443')",
                 "INSERT INTO ContactGroup (grpID, grpName) VALUES (7, 'Night shift'), (9, 'Managers')",
                 // The last member's contact is long gone.
                 "INSERT INTO GroupMember (grpID, cntID) VALUES (7, 10), (7, 30), (9, 20), (9, 99)"})
            run(*book, sql);
    }

    RetireDataFiles(dir.path());
    EXPECT_TRUE(std::filesystem::exists(dir.file("SMSMessages.bak")));
    EXPECT_FALSE(IsDataFolder(dir.path()));
    create();
    migrate();
    EXPECT_EQ(steps,
        (Rows {"Importing outbox settings...", "Importing Address Book...", "Importing contacts...",
            "Importing groups...", "Importing group members...", "Import complete..."}));

    auto outbox = open(kOutboxName);
    EXPECT_EQ(rows(*outbox,
                  "SELECT sysDBVersion || '|' || sysSMSRemoveAfter || '|' || sysStandardReply || '|' || "
                  "cfgServer || '|' || diagSignalLevel FROM System, MailConfig, Diagnostic"),
        Rows {"4|14|Ta, it's here|smtp.example.org|15"});
    EXPECT_EQ(rows(*outbox, "SELECT msgText FROM Inbox"), Rows {"Grüße"});
    EXPECT_EQ(rows(*outbox, "SELECT mlSubject FROM MailMessage"), Rows {"Alert"});
    EXPECT_EQ(rows(*outbox, "SELECT fwdDestination FROM Forward ORDER BY fwdID"),
        (Rows {"+4478", "ops@example.org"}));
    EXPECT_TRUE(rows(*outbox, "SELECT msgID FROM Message").empty());

    auto book = open(kContactsName);
    EXPECT_EQ(rows(*book,
                  "SELECT cfgDefaultCountryCode || '|' || ufName || '|' || mtText FROM Config, UserFields, "
                  "MessageTail"),
        Rows {"44|Department|-- sent by Quillon"});
    // Old numbers are kept for reference; sort letters come from the names.
    EXPECT_EQ(rows(*book,
                  "SELECT cntID || ' ' || cntMigrateID || ' ' || cntAlphaSurname || cntAlphaFirstNames "
                  "FROM Contact ORDER BY cntID"),
        (Rows {"1 10 ZA", "2 20 #B", "3 30 ##"}));
    // Members follow their contacts and groups to the new numbers; the one whose contact is gone is dropped.
    EXPECT_EQ(rows(*book,
                  "SELECT c.cntPhone || ' in ' || g.grpName FROM GroupMember gm JOIN Contact c ON "
                  "c.cntID = gm.cntID JOIN ContactGroup g ON g.grpID = gm.grpID ORDER BY c.cntPhone"),
        (Rows {"+441 in Night shift", "+442 in Managers", "+443 in Night shift"}));
    EXPECT_EQ(rows(*book, "SELECT COUNT(*) FROM GroupMember"), Rows {"3"});
    EXPECT_EQ(rows(*book, "SELECT cntFirstNames FROM qry_NameCache_Contact ORDER BY cntPhone"),
        (Rows {"ann", "Bob", ""}));
}

} // namespace
} // namespace vesk::store
