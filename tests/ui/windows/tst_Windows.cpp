// The console's windows one by one: start-up with a window (the stored rectangle against the
// screen, the start-up questions), the charge note, the regular-expression tester on the
// console's own matcher, the modem guide over a list of tested modems, creating an outbox from the
// templates (rebuilding an existing one is shown by the wizard's tests, the import by the store's
// migration tests), the contact picker over a real outbox and address book, and the test-send
// window against a real outbox file and the modem simulator.
#ifndef Q_MOC_RUN // the meta-object compiler has no need of the console's own headers
#include "core/CConfig.h"
#include "core/Engine.h"
#include "core/Startup.h"
#include "modem/GSMModem.h"
#include "modem/ModemGuide.h"
#include "store/Migrate.h"
#include "store/Outbox.h"
#include "store/Recordset.h"
#include "support/Convert.h"
#include "support/KeptFiles.h"
#include "ui/ChargeWarnings.h"
#include "ui/Placeholders.h"
#include "ui/WindowPlacement.h"
#include "ui/WindowPrompts.h"
#include "ui/frmCharges.h"
#include "ui/frmCreateOB.h"
#include "ui/frmMain.h"
#include "ui/frmModemGuide.h"
#include "ui/frmPickFromNameCache.h"
#include "ui/frmRegExTester.h"
#include "ui/frmSendTest.h"

#include "DataTemplates.h"
#include "ShiftedClock.h"
#include "SimProcess.h"
#include "WindowConsole.h"
#endif

#include "WindowTesting.h"

#include <filesystem>

using namespace vesk;
using namespace vesk::ui;
using vesk::testing::ModalAnswers;
namespace fs = std::filesystem;

class tst_Windows : public testing::WindowConsole
{
    Q_OBJECT

private:
    testing::ShiftedClock realClock; // the modem answers in real time
    const std::string templates = VESK_BIN_DIR "/DB/";

    void openGuide(frmModemGuide& guide, const char* model)
    {
        guide.ListPath = dir->file(vesk::modem::kModemListName);
        guide.ModemID = model;
        guide.FindModem();
    }

    // A console on the clock with an outbox in its data folder.
    void openConsole(Clock& consoleClock)
    {
        makeConsole(
            {{"COM/AutoDetect", "0"}, {"COM/ListTimeout", "3"}, {"COM/SendTimeout", "5"}}, {}, &consoleClock);
        ctx->outbox.templateFolder = VESK_BIN_DIR "/DB/";
        ctx->app.LoadEnvironment(ctx->config, ctx->DataFolder);
        std::string errorText;
        std::string errorLines;
        const std::string data = dir->file("data");
        std::filesystem::create_directories(data);
        QVERIFY(store::CreateOutbox(data, ctx->outbox.templateFolder, errorText, errorLines));
        ctx->DataFolder = data + "/";
        QVERIFY(store::OpenOutbox(ctx->outbox, ctx->DataFolder, true));
    }

    static QStringList rows(const frmPickFromNameCache& picker)
    {
        QStringList shown;
        for (int i = 0; i < picker.lvNames->topLevelItemCount(); ++i) {
            const auto* item = picker.lvNames->topLevelItem(i);
            shown << item->text(0) + "|" + item->text(1);
        }
        return shown;
    }

private slots:
    void init() { makeConsole(); }

    void keepOnScreenPullsCornersBack_data()
    {
        QTest::addColumn<float>("left");
        QTest::addColumn<float>("top");
        QTest::addColumn<float>("wantLeft");
        QTest::addColumn<float>("wantTop");
        // A 1024 x 768 pixel screen: 15360 x 11520 twips, margin 480 twips.
        QTest::newRow("on screen") << 1500.f << 1200.f << 1500.f << 1200.f;
        QTest::newRow("negative") << -300.f << -15.f << 0.f << 0.f;
        QTest::newRow("past the right edge") << 20000.f << 1200.f << 7680.f << 1200.f;
        QTest::newRow("inside the right margin") << 14880.f << 1200.f << 7680.f << 1200.f;
        QTest::newRow("just left of the margin") << 14879.f << 1200.f << 14879.f << 1200.f;
        QTest::newRow("below the bottom") << 100.f << 11100.f << 100.f << 5760.f;
    }

    void keepOnScreenPullsCornersBack()
    {
        QFETCH(float, left);
        QFETCH(float, top);
        ScreenTwips screen {15360, 11520, 15, 15};
        KeepOnScreen(left, top, screen);
        QTEST(left, "wantLeft");
        QTEST(top, "wantTop");
    }

    // A rectangle too small or off the screen is made usable; one unset value keeps the design's.
    void storedRectangleIsMadeUsableOrLeftToTheDesign()
    {
        ctx->config.WindowLeft = 99999;
        ctx->config.WindowTop = 300;
        ctx->config.WindowWidth = 100 * 15;
        ctx->config.WindowHeight = 150 * 15;
        {
            frmMain window(*ctx);
            WindowPrompts(*ctx, window).showMainWindow();
            const QRect screen = window.screen()->geometry();
            QCOMPARE(ctx->config.WindowWidth, 500.f * 15);
            QCOMPARE(ctx->config.WindowHeight, 200.f * 15);
            QCOMPARE(ctx->config.WindowLeft, float(screen.width() * 15 / 2));
            QCOMPARE(window.size(), QSize(500, 200));
            QCOMPARE(window.x(), screen.width() / 2);
        }
        ctx->config.WindowLeft = 10;
        ctx->config.WindowTop = 10;
        ctx->config.WindowWidth = -1;
        ctx->config.WindowHeight = 7000;
        frmMain window(*ctx);
        const QSize design = window.size();
        WindowPrompts(*ctx, window).showMainWindow();
        QCOMPARE(window.size(), design);
        QCOMPARE(ctx->config.WindowLeft, 10.f);
    }

    // A folder without the data files: Yes runs the wizard, No ends; with no data folder at all the
    // wizard opens, and closing it ends start-up.
    void startUpQuestionsRunTheWizardOrEnd()
    {
        using Answer = core::StartupPrompts::FolderAnswer;
        frmMain window(*ctx);
        window.attach();
        WindowPrompts prompts(*ctx, window);
        for (const auto& [button, answer] :
            {std::pair {QMessageBox::Yes, Answer::RunWizard}, std::pair {QMessageBox::No, Answer::End}}) {
            ModalAnswers box({}, button);
            QCOMPARE(int(prompts.folderWithoutDataFiles("/srv/sms")), int(answer));
            QCOMPARE(box.texts,
                QStringList {"Folder does not contain the Pellmar data files:\n/srv/sms\nDo you wish to run "
                             "the Setup Wizard"});
        }
        ModalAnswers close([](QWidget& w) { w.close(); });
        QCOMPARE(core::Main(*ctx, prompts), core::StartResult::Ended);
        QVERIFY(!window.isVisible());
    }

    void chargeNoteFormatsParagraphsLinesAndTabs()
    {
        QCOMPARE(FormatChargeNote("plain text, no sequences"), QString("plain text, no sequences"));
        QCOMPARE(FormatChargeNote("one\\ptwo\\nthree\\tfour"), QString("one\r\n\r\ntwo\r\nthree    four"));
        QCOMPARE(FormatChargeNote("C:\\data"), QString("C:\\data")); // a lone backslash stays
        frmCharges note;
        note.SetInfo(kChargeNoteReply);
        note.show();
        // Both paragraphs, split where the stored note marks it.
        QVERIFY(note.lblInfo->text().contains("network operator.\n\nThe reply will be sent"));
        QTest::mouseClick(note.cmdOK, Qt::LeftButton);
        QVERIFY(note.isHidden());
    }

    void regExTesterShowsWhatThePatternMatches()
    {
        struct Case
        {
            const char* pattern;
            const char* sample;
            const char* result;
        };
        const Case cases[] = {
            {"", "abc", ""}, // an empty pattern tests nothing
            {"^a", "abc", "MATCHED\n'a' at index 0"},
            {"B+", "abbc", "MATCHED\n'bb' at index 1"}, // letter case is ignored
            {"c", "ééc", "MATCHED\n'c' at index 2"}, // counted in characters
            {"z", "abc", "NO MATCH"}, {"(unclosed", "(unclosed", "NO MATCH"}, // does not compile
        };
        frmRegExTester tester;
        for (const auto& c : cases) {
            tester.txtRegEx->setText(c.pattern);
            tester.txtSample->setText(c.sample);
            QTest::mouseClick(tester.cmdTest, Qt::LeftButton);
            QCOMPARE(tester.lblResult->text(), QString(c.result));
        }
        // Use hands the expression over (the configuration dialog's filter test shows it); Close does not.
        tester.SetExpression("^\\+44");
        QCOMPARE(tester.txtRegEx->text(), QString("^\\+44"));
        tester.txtRegEx->setText("^\\+49");
        QTest::mouseClick(tester.cmdClose, Qt::LeftButton);
        QVERIFY(tester.Expression().isEmpty());
    }

    void modemGuideRatingsDecideWhetherSettingsCanBeUsed()
    {
        testing::WriteFile(dir->file(vesk::modem::kModemListName),
            "ACME X1|Acme terminal|F|SM|SR|9600,N,8,1|Works well\n"
            "ACME P2|Acme stick|P|SM|ME|115200,N,8,1|Reports late\n"
            "ACME I3|Acme data stick|I|||115200,N,8,1|No AT port\n"
            "ACME Q4|Acme odd|Q|SM|SM|9600,N,8,1|\n");
        struct Case
        {
            const char* model;
            const char* shown;
            const char* rating; // nullptr: no rating to show
            bool usable;
        };
        const Case cases[] = {
            {"acme x1", "ACME X1 - Acme terminal", "Full", true}, // in another letter case
            {"ACME P2", "ACME P2 - Acme stick", "Partial", true},
            {"ACME I3", "ACME I3 - Acme data stick", "Incompatible", false},
            {"ACME Q4", "ACME Q4 - Acme odd", "Unknown", false}, {"", "UNKNOWN MODEM", nullptr, false},
            {"NOKIA 30", "NOKIA 30", nullptr, false}, // not in the list
        };
        for (const auto& c : cases) {
            frmModemGuide guide;
            openGuide(guide, c.model);
            QCOMPARE(guide.lblID->text(), QString(c.shown));
            if (c.rating)
                QCOMPARE(guide.lblCompatibility->text(), QString(c.rating));
            QCOMPARE(guide.cmdUseSettings->isEnabled(), c.usable);
            QTest::mouseClick(guide.cmdClose, Qt::LeftButton);
            QVERIFY(!guide.IsModemSelected());
        }
        frmModemGuide unlisted;
        openGuide(unlisted, "NOKIA 30");
        QVERIFY(unlisted.lblNotes->text().startsWith("This modem has not been tested yet"));

        frmModemGuide used;
        openGuide(used, "ACME X1");
        QTest::mouseClick(used.cmdUseSettings, Qt::LeftButton);
        QVERIFY(used.IsModemSelected());
        QCOMPARE(used.MessageMemory(), std::string("SM"));
        QCOMPARE(used.ReportMemory(), std::string("SR"));
        QCOMPARE(used.InitString(), std::string("9600,N,8,1"));
    }

    // A blank folder is refused; a new one gets the three databases; over an existing outbox the
    // question comes, and No leaves it unchanged; without templates the dialog says so and stays.
    void createOutboxMakesTheDatabasesOrKeepsAnExistingOne()
    {
        const std::string folder = dir->file("outbox");
        frmCreateOB dialog(templates);
        dialog.txtFolder->setText("   ");
        QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        QVERIFY(dialog.IsCanceled());
        dialog.txtFolder->setText(QString::fromStdString("  " + folder + " "));
        QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        QVERIFY(!dialog.IsCanceled());
        QCOMPARE(dialog.Folder(), folder);
        for (const char* name : {"SMSMessages.mdb", "SMSArchive.mdb", "SMSContacts.mdb"})
            QVERIFY2(fs::exists(folder + "/" + name), name);

        testing::WriteFile(dir->file("SMSContacts.mdb"), "address book of record");
        frmCreateOB again(templates);
        again.txtFolder->setText(QString::fromStdString(dir->folder()));
        ModalAnswers box({}, QMessageBox::No);
        QTest::mouseClick(again.cmdOK, Qt::LeftButton);
        QCOMPARE(
            box.texts, QStringList {"AN OUTBOX ALREADY EXISTS IN THIS FOLDER\nDO YOU WISH TO OVERWRITE IT?"});
        QVERIFY(!again.IsCanceled());
        QVERIFY(!fs::exists(dir->file("SMSMessages.mdb")));
        QCOMPARE(testing::ReadFile(dir->file("SMSContacts.mdb")), std::string("address book of record"));

        frmCreateOB missing(dir->file("no-templates") + "/");
        missing.txtFolder->setText(QString::fromStdString(dir->file("elsewhere")));
        box.texts.clear(); // its one button is pressed
        QTest::mouseClick(missing.cmdOK, Qt::LeftButton);
        QCOMPARE(box.texts,
            QStringList {"PROBLEMS ENCOUNTERED WHILE CREATING THE OUTBOX.\n"
                         "The database template for an Outbox could not be located."});
        QVERIFY(missing.IsCanceled());
        QVERIFY(!fs::exists(dir->file("elsewhere/SMSMessages.mdb")));
    }

    void placeholdersAreFilledInEveryLabelAndButton()
    {
        QDialog window;
        window.setWindowTitle("{APP} - Options");
        auto* label = new QLabel("{APP}, part of {SUITE}: {APP}", &window);
        auto* button = new QPushButton("About {APP}", &window);
        button->setToolTip("Close {APP}");
        ApplyPlaceholders(window);
        QCOMPARE(window.windowTitle(), QString("Quillon Vesk Console - Options"));
        QCOMPARE(
            label->text(), QString("Quillon Vesk Console, part of Quillon Business: Quillon Vesk Console"));
        QCOMPARE(button->text(), QString("About Quillon Vesk Console"));
        QCOMPARE(button->toolTip(), QString("Close Quillon Vesk Console"));
    }

    void refreshFillsTheListAndADoubleClickPicks()
    {
        vesk::testing::CopyDataTemplates(dir->path());
        store::Outbox& outbox = ctx->outbox;
        routing::NameCache& cache = ctx->nameCache;
        QVERIFY(store::OpenOutbox(outbox, dir->path(), true));
        store::db book(clock, pump);
        book.setFilename(dir->file(store::kContactsName));
        QVERIFY(book.OpenDatabase(store::mode::kReadWriteShared));
        QVERIFY2(book.Execute("INSERT INTO Contact (cntFirstNames, cntSurname, cntPhone, cntPrivateNumber) "
                              "VALUES ('Zed', 'Adams', '+447700900009', FALSE), "
                              "('Amy', 'O''Hara', '+447700900001', FALSE)"),
            book.LastError().c_str());
        book.CloseDatabase();
        const QStringList both {"Amy O'Hara|+447700900001", "Zed Adams|+447700900009"};
        {
            frmPickFromNameCache picker(outbox, cache, dir->path());
            QVERIFY(rows(picker).isEmpty()); // nothing copied from the address book yet
            QTest::mouseClick(picker.cmdUpdateCache, Qt::LeftButton);
            QCOMPARE(rows(picker), both);
            // The outbox is given back closed so other consoles are not held up.
            QVERIFY(!outbox.handle->IsConnected());
        }
        frmPickFromNameCache picker(outbox, cache, dir->path());
        QCOMPARE(rows(picker), both); // the cache itself is read on opening
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        const QRect at = picker.lvNames->visualItemRect(picker.lvNames->topLevelItem(0));
        // A double-click on an item view arrives after the click that starts it.
        QTest::mouseClick(picker.lvNames->viewport(), Qt::LeftButton, {}, at.center());
        QTest::mouseDClick(picker.lvNames->viewport(), Qt::LeftButton, {}, at.center());
        QCOMPARE(picker.Selection(), std::string("+447700900001"));
        QCOMPARE(picker.result(), int(QDialog::Accepted));

        frmPickFromNameCache escaped(outbox, cache, dir->path());
        escaped.show();
        QTest::keyClick(&escaped, Qt::Key_Escape);
        QVERIFY(escaped.Selection().empty());
        QVERIFY(escaped.isHidden());

        // Without the address book a refresh keeps what the list had.
        std::filesystem::remove(dir->file(store::kContactsName));
        frmPickFromNameCache missing(outbox, cache, dir->path());
        QTest::mouseClick(missing.cmdUpdateCache, Qt::LeftButton);
        QCOMPARE(rows(missing), both);
    }

    void queuesFiveCopiesTenSecondsAhead()
    {
        openConsole(clock);
        frmSendTest test(*ctx);
        test.txtAddress->setText("+447700900123");
        test.txtMsg->setText("queue me");
        test.cbCopies->setCurrentIndex(1);
        test.chkQueue->setChecked(true);
        QTest::mouseClick(test.cmdSend, Qt::LeftButton);

        store::db& h = store::OutboxHandle(ctx->outbox);
        QVERIFY(h.OpenDatabase(store::mode::kReadShared));
        QStringList queued;
        for (auto rows = h.OpenDynaset("SELECT msgAddress, msgText, msgSendTime FROM Message");
             rows && !rows->IsEOF(); rows->MoveNext())
            queued << QString::fromStdString(TextOf(rows->Field(0)) + "|" + TextOf(rows->Field(1)) + "|"
                + Format(DateOf(rows->Field(2)), "dd/mmm/yyyy hh:nn:ss"));
        h.CloseDatabase();
        const DateTime due = clock.now().addSeconds(10);
        QCOMPARE(queued,
            QStringList(
                5, QString::fromStdString("+447700900123|queue me|" + Format(due, "dd/mmm/yyyy hh:nn:ss"))));
    }

    void directSendTracesToItsOwnFileAndRestoresTheModemLog()
    {
        testing::SimProcess sim;
        openConsole(realClock);
        ctx->overrides.port = sim.path();
        core::InitialiseModem(*ctx, true);
        QVERIFY(ctx->modem && ctx->modem->IsPortOpen());
        const std::string modemLog = ctx->modem->LogFilename();
        const bool logging = ctx->modem->Logging();
        ctx->modem->LogFlush();
        const std::string before = testing::ReadFile(modemLog);

        frmSendTest test(*ctx);
        test.txtAddress->setText("  +447700900555 ");
        test.txtMsg->setText("direct hello");
        QTest::mouseClick(test.cmdSend, Qt::LeftButton);

        QCOMPARE(ctx->modem->LogFilename(), modemLog);
        QCOMPARE(ctx->modem->Logging(), logging);
        const std::string trace = testing::ReadFile(KeptFilePath(ctx->DataFolder, frmSendTest::kTraceName));
        QVERIFY2(trace.find("CMGS") != std::string::npos, trace.c_str());
        ctx->modem->LogFlush();
        const std::string after = testing::ReadFile(modemLog);
        QVERIFY(after.substr(0, before.size()) == before);
        QVERIFY(after.find("CMGS", before.size()) == std::string::npos);
        const auto received = sim.control("messages");
        QCOMPARE(received.size(), std::size_t(1));
        QCOMPARE(testing::SimProcess::field(received[0], "text"), std::string("direct hello"));
    }
};

QTEST_MAIN(tst_Windows)
#include "tst_Windows.moc"
