// The console's small windows on their own: the charge note, the regular-expression tester on the
// console's own matcher, the modem guide over a list of tested modems, and creating an outbox from
// the templates (rebuilding an existing one is shown by the wizard's tests, the import by the
// store's migration tests).
#ifndef Q_MOC_RUN // the meta-object compiler has no need of the console's own headers
#include "modem/ModemGuide.h"
#include "ui/ChargeWarnings.h"
#include "ui/Placeholders.h"
#include "ui/frmCharges.h"
#include "ui/frmCreateOB.h"
#include "ui/frmModemGuide.h"
#include "ui/frmRegExTester.h"

#include "TempDir.h"
#endif

#include "WindowTesting.h"

#include <filesystem>

using namespace vesk::ui;
using vesk::testing::ModalAnswers;
namespace fs = std::filesystem;

class tst_Dialogs : public QObject
{
    Q_OBJECT

private:
    vesk::testing::TempDir dir;
    const std::string templates = VESK_BIN_DIR "/DB/";

    void openGuide(frmModemGuide& guide, const char* model)
    {
        guide.ListPath = dir.file(vesk::modem::kModemListName);
        guide.ModemID = model;
        guide.FindModem();
    }

private slots:
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
    }

    // Use hands the expression over (the configuration dialog's filter test shows it); Close does not.
    void regExTesterClosedGivesNoExpression()
    {
        frmRegExTester closed;
        closed.SetExpression("^\\+44");
        QCOMPARE(closed.txtRegEx->text(), QString("^\\+44"));
        closed.txtRegEx->setText("^\\+49");
        QTest::mouseClick(closed.cmdClose, Qt::LeftButton);
        QVERIFY(closed.Expression().isEmpty());
    }

    void modemGuideRatingsDecideWhetherSettingsCanBeUsed()
    {
        vesk::testing::WriteFile(dir.file(vesk::modem::kModemListName),
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
    // question comes, and No leaves it unchanged.
    void createOutboxMakesTheDatabasesOrKeepsAnExistingOne()
    {
        const std::string folder = dir.file("outbox");
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

        vesk::testing::WriteFile(dir.file("SMSContacts.mdb"), "address book of record");
        frmCreateOB again(templates);
        again.txtFolder->setText(QString::fromStdString(dir.folder()));
        ModalAnswers box({}, QMessageBox::No);
        QTest::mouseClick(again.cmdOK, Qt::LeftButton);
        QCOMPARE(
            box.texts, QStringList {"AN OUTBOX ALREADY EXISTS IN THIS FOLDER\nDO YOU WISH TO OVERWRITE IT?"});
        QCOMPARE(box.titles, QStringList {"Quillon Vesk Console"});
        QVERIFY(!again.IsCanceled());
        QVERIFY(!fs::exists(dir.file("SMSMessages.mdb")));
        QCOMPARE(vesk::testing::ReadFile(dir.file("SMSContacts.mdb")), std::string("address book of record"));
    }

    void createOutboxReportsMissingTemplatesAndStays()
    {
        frmCreateOB dialog(dir.file("no-templates") + "/");
        dialog.txtFolder->setText(QString::fromStdString(dir.file("elsewhere")));
        ModalAnswers box;
        QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        QCOMPARE(box.texts,
            QStringList {"PROBLEMS ENCOUNTERED WHILE CREATING THE OUTBOX.\n"
                         "The database template for an Outbox could not be located."});
        QVERIFY(dialog.IsCanceled());
        QVERIFY(!fs::exists(dir.file("elsewhere/SMSMessages.mdb")));
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
};

QTEST_MAIN(tst_Dialogs)
#include "tst_Dialogs.moc"
