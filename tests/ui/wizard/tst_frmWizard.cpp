// The setup wizard: what its pages refuse, what Finish stores, and what becomes of an outbox that
// is already in the chosen folder.
#ifndef Q_MOC_RUN // the meta-object compiler has no need of the console's own headers
#include "store/Migrate.h"
#include "store/Outbox.h"
#include "store/Recordset.h"
#include "store/db.h"
#include "support/Convert.h"
#include "ui/DatabaseField.h"
#include "ui/frmOverwiteOBWarning.h"
#include "ui/frmWizard.h"

#include "WindowConsole.h"
#endif

#include "WindowTesting.h"

#include <filesystem>

using namespace vesk;
using vesk::ui::frmWizard;
namespace fs = std::filesystem;

class tst_frmWizard : public testing::WindowConsole
{
    Q_OBJECT

private:
    std::string stored(const std::string& section, const std::string& key) const
    {
        return core::SettingsStore(settings->path()).get(section, key).value_or("<absent>");
    }

    // Runs a statement on a database file; a SELECT COUNT(*) gives its count, anything else 0.
    std::int32_t run(const std::string& file, const std::string& sql)
    {
        store::db database(clock, pump);
        database.setFilename(file);
        if (!database.OpenDatabase(store::mode::kReadWriteShared))
            return -1;
        if (sql.rfind("SELECT", 0) != 0)
            return database.Execute(sql) ? 0 : -1;
        const auto rs = database.OpenDynaset(sql);
        return rs ? LongOf(rs->Field(0)) : -1;
    }

    std::string dataFolder() const { return dir->file("data"); }
    std::string outbox() const { return dataFolder() + "/SMSMessages.mdb"; }

    // Clicks Next; the texts of the message boxes that it showed.
    static QStringList next(frmWizard& wizard)
    {
        testing::ModalAnswers answers;
        wizard.cmdNext->click();
        return answers.texts;
    }

private slots:
    void init() { makeConsole({}, VESK_BIN_DIR "/"); }

    void pagesRefuseBadInputAndFinishStoresTheSettings_data()
    {
        QTest::addColumn<QString>("separator");
        QTest::newRow("slash") << "/";
        QTest::newRow("backslash") << "\\";
    }

    void pagesRefuseBadInputAndFinishStoresTheSettings()
    {
        QFETCH(QString, separator);
        frmWizard wizard(*ctx);
        wizard.ShowPage(frmWizard::kDataFolder);
        wizard.txtDataFolder->setText(QString::fromStdString(dataFolder()) + separator);
        QCOMPARE(next(wizard), QStringList());
        QCOMPARE(wizard.page(), int(frmWizard::kCOMPort));
        wizard.rbCOMPort->setChecked(true);
        wizard.cbCOMPort->setCurrentText("");
        QCOMPARE(next(wizard), QStringList {"Please select a COM Port before proceeding"});
        QCOMPARE(wizard.page(), int(frmWizard::kCOMPort));
        // Any device path can be typed, a pseudo-terminal's link among them.
        wizard.cbCOMPort->setCurrentText(QString::fromStdString(dir->file("modem")));
        QCOMPARE(next(wizard), QStringList());
        QCOMPARE(wizard.page(), int(frmWizard::kPhoneNumber));

        const struct
        {
            const char* number;
            const char* message;
            const char* kept;
        } numbers[] = {
            {"", "Please enter the phone number of the SIM card in the modem", ""},
            {"44 7700 900123",
                "You must enter the phone numbers is the following format:\n+<CountryCode><AreaCode><Number>",
                "447700900123"},
            {"+44 7700 900123", nullptr, "+447700900123"},
        };
        for (const auto& n : numbers) {
            wizard.txtLocalAddress->setText(n.number);
            QCOMPARE(next(wizard), n.message ? QStringList {n.message} : QStringList());
            QCOMPARE(wizard.page(), int(n.message ? frmWizard::kPhoneNumber : frmWizard::kSMSSize));
            QCOMPARE(wizard.txtLocalAddress->text(), QString(n.kept));
        }
        wizard.rbCOMAutoDetect->setChecked(true); // and no port chosen
        wizard.cbCOMPort->setCurrentText("");
        wizard.cbSMSMaxLen->setCurrentText("304");
        wizard.txtStandardReply->setText("Thank you, we'll be in touch");
        wizard.chkInboundFull->setChecked(true);
        wizard.ShowPage(frmWizard::kFinished);
        QCOMPARE(next(wizard), QStringList());

        QVERIFY(!wizard.IsCanceled());
        QCOMPARE(stored("Setup", "DataFolder"), dataFolder());
        QCOMPARE(stored("COM", "Port"), std::string("COM1"));
        QCOMPARE(stored("COM", "AutoDetect"), std::string("1"));
        QCOMPARE(stored("Agent", "LocalAddress"), std::string("+447700900123"));
        QCOMPARE(stored("Text", "InboundDecoding"), std::string("Full"));
        QCOMPARE(stored("Text", "OutboundCoding"), std::string("<absent>")); // not chosen: not written
        store::SystemSettings s;
        QVERIFY(store::LoadSystemSettings(outbox(), s, clock, pump, ctx->app));
        QCOMPARE(int(s.SMSMaxMessageSize), 304);
        QCOMPARE(s.StandardReply, std::string("Thank you, we'll be in touch"));
        QVERIFY(fs::exists(dataFolder() + "/SMSContacts.mdb"));
    }

    void databasePasswordIsMaskedOnceTyped()
    {
        ctx->app.SaveParameter("Setup", "Database", "host=/nonexistent password=s3cret");
        frmWizard wizard(*ctx);
        ui::DatabaseField& field = *wizard.database;
        QCOMPARE(field.txtDatabase->text(), QString("host=/nonexistent password=********"));
        field.txtDatabase->setText("host=/elsewhere password=typed");
        emit field.txtDatabase->editingFinished();
        QCOMPARE(field.txtDatabase->text(), QString("host=/elsewhere password=********"));
        QCOMPARE(field.value(), std::string("host=/elsewhere password=typed"));
        field.txtDatabasePassword->setText("n3w");
        QCOMPARE(field.value(), std::string("host=/elsewhere password='n3w'"));
    }

    void existingOutboxIsKeptOrRebuilt_data()
    {
        QTest::addColumn<bool>("overwrite");
        QTest::newRow("keep") << false;
        QTest::newRow("create new") << true;
    }

    void existingOutboxIsKeptOrRebuilt()
    {
        QFETCH(bool, overwrite);
        std::string errorText;
        std::string errorLines;
        fs::create_directories(dataFolder());
        QVERIFY(store::CreateOutbox(dataFolder(), ctx->outbox.templateFolder, errorText, errorLines));
        for (const char* sql :
            {"INSERT INTO Message (msgRecipient, msgText) VALUES ('+447700900111', 'Held over')",
                "INSERT INTO Inbox (msgAddress, msgText) VALUES ('+447700900222', 'Are you open?')",
                "UPDATE System SET sysMailSenderActive = TRUE, sysStandardReply = 'Back soon'"})
            QCOMPARE(run(outbox(), sql), 0);

        frmWizard wizard(*ctx);
        wizard.ShowPage(frmWizard::kDataFolder);
        wizard.txtDataFolder->setText(QString::fromStdString(dataFolder()));
        wizard.cmdNext->click();
        // The pages show what the outbox holds.
        QCOMPARE(wizard.txtStandardReply->text(), QString("Back soon"));
        wizard.txtLocalAddress->setText("+447700900123");
        wizard.ShowPage(frmWizard::kFinished);
        testing::ModalAnswers answers([overwrite](QWidget& w) {
            if (auto* warning = qobject_cast<ui::frmOverwiteOBWarning*>(&w))
                (overwrite ? warning->cmdOverwrite : warning->cmdKeep)->click();
        });
        wizard.cmdNext->click();

        QVERIFY(!wizard.IsCanceled());
        QCOMPARE(fs::exists(dataFolder() + "/SMSMessages.bak"), overwrite);
        QCOMPARE(run(outbox(), "SELECT COUNT(*) FROM Message"),
            overwrite ? 0 : 1); // queued messages are not carried over
        QCOMPARE(run(outbox(), "SELECT COUNT(*) FROM Inbox"), 1);
        if (!overwrite) // a kept outbox loses the flags a stopped console may have left set
            QCOMPARE(run(outbox(), "SELECT COUNT(*) FROM System WHERE sysMailSenderActive = TRUE"), 0);
        store::SystemSettings s;
        QVERIFY(store::LoadSystemSettings(outbox(), s, clock, pump, ctx->app));
        QCOMPARE(s.StandardReply, std::string("Back soon"));
    }
};

QTEST_MAIN(tst_frmWizard)
#include "tst_frmWizard.moc"
