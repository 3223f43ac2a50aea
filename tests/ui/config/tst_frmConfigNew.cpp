// The configuration dialog over a real outbox, address filter and settings file in a temporary folder.
#ifndef Q_MOC_RUN // the meta-object compiler has no need of the console's own headers
#include "routing/Forwarding.h"
#include "store/Outbox.h"
#include "store/Recordset.h"
#include "ui/DatabaseField.h"
#include "ui/ForwardGrid.h"
#include "ui/frmConfigNew.h"
#include "ui/frmRegExTester.h"

#include "DataTemplates.h"
#include "WindowConsole.h"
#endif

#include "WindowTesting.h"

#include <filesystem>
#include <fstream>

using namespace vesk;
using vesk::ui::ForwardGrid;
using vesk::ui::frmConfigNew;
namespace fs = std::filesystem;

class tst_frmConfigNew : public testing::WindowConsole
{
    Q_OBJECT

private:
    std::string settingsFile() const { return dir->file("console.conf"); }

private slots:
    void init()
    {
        makeConsole();
        vesk::testing::CopyDataTemplates(dir->path());
        ctx->app.LoadEnvironment(ctx->config, ctx->DataFolder);
        ctx->DataFolder = dir->path();
        ctx->config.AgentAddress = "+441111111111";
        ctx->config.AutoDetect = false;
        ctx->config.COMPort = "/dev/ttyUSB7";
        QVERIFY(store::OpenOutbox(ctx->outbox, ctx->DataFolder, true));
    }

    void ownNumberMustBeInternational_data()
    {
        QTest::addColumn<QString>("number");
        QTest::addColumn<QString>("message");
        QTest::newRow("space") << "+44 1234567" << QString();
        QTest::newRow("no plus") << "441234567"
                                 << "You must enter the phone numbers is the following format:\n"
                                    "+<CountryCode><AreaCode><Number>";
        QTest::newRow("empty") << " + "
                               << "You must provide the phone number associated with the SIM card";
    }

    void ownNumberMustBeInternational()
    {
        QFETCH(QString, number);
        QFETCH(QString, message);
        frmConfigNew dialog(*ctx);
        dialog.cbSendInterval->setCurrentText("60");
        dialog.txtAgentAddress->setText(number);
        testing::ModalAnswers answers;
        QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        QCOMPARE(answers.texts, message.isEmpty() ? QStringList() : QStringList {message});
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QCOMPARE(dialog.focusWidget(), dialog.txtAgentAddress);
        QVERIFY(!dialog.IsDirty());
        QCOMPARE(ctx->config.AgentAddress, std::string("+441111111111"));
        QVERIFY(ctx->config.SendInterval != 60);
    }

    void okStoresOnlyWhatChangedAndRenewsTheModemOnlyForItsFields()
    {
        ctx->outbox.settings.SMSMaxMessageSize = 200; // not in the list: the first is shown
        {
            frmConfigNew outside(*ctx);
            QCOMPARE(outside.cbSMSMaxLen->currentText(), QString("160"));
            QCOMPARE(outside.cbPort->currentText(), QString("/dev/ttyUSB7"));
        }
        ctx->outbox.settings.SMSMaxMessageSize = 304; // one the list offers, so OK keeps it
        ctx->app.SaveEnviroment(ctx->config, ctx->DataFolder);
        fs::remove(settingsFile());
        {
            frmConfigNew dialog(*ctx);
            for (const auto& setting : core::ShownSettings())
                QVERIFY2(dialog.findChild<QWidget*>(QString::fromStdString(setting.control)),
                    setting.control.c_str());
            QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
            QVERIFY(!dialog.IsDirty());
        }
        QVERIFY(!fs::exists(settingsFile()));
        {
            frmConfigNew dialog(*ctx);
            dialog.cbSendInterval->setCurrentText(ctx->config.SendInterval == 60 ? "30" : "60");
            QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
            QVERIFY(dialog.IsDirty());
            QVERIFY(!dialog.IsModemDirty());
        }
        QVERIFY(fs::exists(settingsFile()));
        QCOMPARE(settings->get("Resource", "SendInterval"), std::to_string(ctx->config.SendInterval));

        frmConfigNew dialog(*ctx);
        dialog.cbPort->setCurrentText("/dev/ttyACM3");
        dialog.findChild<QComboBox*>("cbOutboundCoding")->setCurrentIndex(1);
        QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        QVERIFY(dialog.IsDirty() && dialog.IsModemDirty());
        QCOMPARE(ctx->config.COMPort, std::string("/dev/ttyACM3"));
        QCOMPARE(settings->get("Text", "OutboundCoding"), std::string("Auto"));
        QVERIFY(!settings->get("Text", "InboundDecoding"));
    }

    // One OK over the forwarding grid, the address filter (an expression from the tester added)
    // and the passwords: a rule back to the console's own number is dropped, and no password is
    // shown, stored where it does not belong, or lost.
    void okStoresRulesAndFilterButNoPassword()
    {
        const std::string file = dir->file("mail.secret");
        std::ofstream(file) << "s3cret\n";
        fs::permissions(file, fs::perms::owner_read | fs::perms::owner_write);
        mail::SaveMailConfig(ctx->outbox, "mail.example.com", "bob", "typed-before", mail::login::kLogin);
        ctx->mail.settings.passwordFile = file;
        mail::InitMail(ctx->mail, ctx->outbox);
        const std::string conninfo = "postgresql://vesk:s3cret@/outbox?host=/nonexistent";
        ctx->config.Database = conninfo;

        frmConfigNew dialog(*ctx);
        QVERIFY(!dialog.txtMailPassword->isEnabled());
        QVERIFY(dialog.txtMailPassword->text().isEmpty());
        QCOMPARE(dialog.lblMailPasswordFile->text(), QString::fromStdString("Password kept in " + file));
        QCOMPARE(dialog.database->txtDatabase->text(),
            QString("postgresql://vesk:********@/outbox?host=/nonexistent"));
        dialog.database->cmdTestDatabase->click();
        const QString answer = dialog.database->lblDatabaseTest->text();
        QVERIFY2(!answer.isEmpty() && !answer.contains("s3cret"), qPrintable(answer));

        QCOMPARE(dialog.gridForward->rowCount(), 1); // the blank row for a new rule
        dialog.chkSMSForwwarding->setChecked(true);
        dialog.gridForward->setCell(0, ForwardGrid::kSource, "*");
        dialog.gridForward->setCell(0, ForwardGrid::kKeyword, "loop");
        dialog.gridForward->setCell(0, ForwardGrid::kDestination, " +441111111111 ");
        dialog.gridForward->setCell(1, ForwardGrid::kSource, "+447700900001");
        dialog.gridForward->setCell(1, ForwardGrid::kKeyword, "*");
        dialog.gridForward->setCell(1, ForwardGrid::kDestination, "ops@example.com");
        QCOMPARE(dialog.gridForward->rowCount(), 3);

        dialog.txtFilter->setPlainText("^\\+44");
        {
            testing::ModalAnswers answers([](QWidget& w) {
                if (auto* tester = qobject_cast<ui::frmRegExTester*>(&w)) {
                    tester->txtRegEx->setText("^\\+33");
                    tester->cmdUse->click();
                }
            });
            QTest::keyClick(dialog.txtFilter, Qt::Key_F1);
        }
        QCOMPARE(dialog.txtFilter->toPlainText(), QString("^\\+44\n^\\+33"));
        QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);

        QCOMPARE(ctx->filter.entries(), (std::vector<std::string> {"^\\+44", "^\\+33"}));
        QCOMPARE(ctx->config.Database, conninfo);
        QCOMPARE(ctx->mail.client->Password, std::string("s3cret"));
        QVERIFY(ctx->outbox.settings.SMSForwarding);
        frmConfigNew reopened(*ctx);
        const auto kept = reopened.gridForward->rules();
        QCOMPARE(kept.size(), std::size_t(2)); // and the blank row
        QCOMPARE(kept[0].Source, std::string("+447700900001"));
        QCOMPARE(kept[0].Destination, std::string("ops@example.com"));
        QVERIFY(ctx->outbox.handle->OpenDatabase(store::mode::kReadShared));
        auto stored = ctx->outbox.handle->OpenDynaset("SELECT cfgPassword FROM MailConfig");
        QVERIFY(stored && !stored->IsEOF());
        QCOMPARE(TextOf(stored->Field("cfgPassword")), std::string());
    }
};

QTEST_MAIN(tst_frmConfigNew)
#include "tst_frmConfigNew.moc"
