// Creating an outbox from the templates, and the windows that rebuild an existing one.
#include "ui/frmCreateOB.h"
#include "ui/frmMigrateStatus.h"
#include "ui/frmOverwiteOBWarning.h"

#include "TempDir.h"

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

#include <filesystem>
#include <fstream>

using vesk::ui::frmCreateOB;
namespace fs = std::filesystem;

namespace {

// Answers the next message box (polling, since it opens inside the click) and keeps its text.
// Lives until the click returns, so it must stop polling once its box is answered.
struct BoxAnswer
{
    QStringList texts;
    QStringList titles;
    QMessageBox::StandardButton answer = QMessageBox::Ok;

    void arm()
    {
        QTimer::singleShot(0, [this] { poll(); });
    }

    void poll()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            QTimer::singleShot(10, [this] { poll(); });
            return;
        }
        texts << box->text();
        titles << box->windowTitle();
        QAbstractButton* b = box->button(answer);
        if (!b)
            b = box->buttons().first();
        b->click();
    }
};

std::string templates()
{
    return VESK_BIN_DIR "/DB/";
}

} // namespace

class tst_frmCreateOB : public QObject
{
    Q_OBJECT

private slots:
    void loadsWithTheProductName()
    {
        frmCreateOB dialog(templates());
        QCOMPARE(dialog.windowTitle(), QString("Quillon Vesk Console - Create Outbox"));
        QVERIFY(dialog.IsCanceled());
        bool warned = false;
        for (const QLabel* l : dialog.findChildren<QLabel*>()) {
            QVERIFY(!l->text().contains("{APP}"));
            warned = warned
                || l->text() == "WARNING : existing outbox, archive or phonebook files will be overwritten.";
        }
        QVERIFY(warned);
    }

    void createsTheThreeDatabasesInANewFolder()
    {
        vesk::testing::TempDir dir;
        frmCreateOB dialog(templates());
        dialog.txtFolder->setText(QString::fromStdString("  " + dir.file("outbox") + " "));
        QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        QVERIFY(!dialog.IsCanceled());
        QCOMPARE(dialog.Folder(), dir.file("outbox"));
        for (const char* name : {"SMSMessages.mdb", "SMSArchive.mdb", "SMSContacts.mdb"})
            QVERIFY2(fs::exists(dir.file("outbox") + "/" + name), name);
    }

    void emptyFolderTextDoesNothing()
    {
        frmCreateOB dialog(templates());
        dialog.txtFolder->setText("   ");
        QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        QVERIFY(dialog.IsCanceled());
    }

    void keepingAnExistingOutboxLeavesItUnchanged()
    {
        vesk::testing::TempDir dir;
        std::ofstream(dir.file("SMSContacts.mdb")) << "address book of record";
        frmCreateOB dialog(templates());
        dialog.txtFolder->setText(QString::fromStdString(dir.folder()));
        BoxAnswer box;
        box.answer = QMessageBox::No;
        box.arm();
        QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        QCOMPARE(box.texts.value(0),
            QString("AN OUTBOX ALREADY EXISTS IN THIS FOLDER\nDO YOU WISH TO OVERWRITE IT?"));
        QCOMPARE(box.titles.value(0), QString("Quillon Vesk Console"));
        QVERIFY(!dialog.IsCanceled());
        QVERIFY(!fs::exists(dir.file("SMSMessages.mdb")));
        QCOMPARE(fs::file_size(dir.file("SMSContacts.mdb")), std::uintmax_t(22));
    }

    void missingTemplatesAreReportedAndTheDialogStays()
    {
        vesk::testing::TempDir dir;
        frmCreateOB dialog(dir.file("no-templates") + "/");
        dialog.txtFolder->setText(QString::fromStdString(dir.file("outbox")));
        BoxAnswer box;
        box.arm();
        QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        QCOMPARE(box.texts.size(), 1);
        QCOMPARE(box.texts[0],
            QString("PROBLEMS ENCOUNTERED WHILE CREATING THE OUTBOX.\n"
                    "The database template for an Outbox could not be located."));
        QVERIFY(dialog.IsCanceled());
        QVERIFY(!fs::exists(dir.file("outbox/SMSMessages.mdb")));
    }

    void overwriteWarningReportsTheChoice()
    {
        vesk::ui::frmOverwiteOBWarning keep;
        QCOMPARE(keep.windowTitle(), QString("Quillon Vesk Console - Overwrite Data Files"));
        QTest::mouseClick(keep.cmdKeep, Qt::LeftButton);
        QVERIFY(!keep.IsOverwrite());
        vesk::ui::frmOverwiteOBWarning overwrite;
        QTest::mouseClick(overwrite.cmdOverwrite, Qt::LeftButton);
        QVERIFY(overwrite.IsOverwrite());
    }

    void migrateStatusShowsTheCurrentStep()
    {
        vesk::ui::frmMigrateStatus status;
        QCOMPARE(status.windowTitle(), QString("Quillon Vesk Console - Import Data"));
        QCOMPARE(status.lblStatus->text(), QString("Import data - please wait..."));
        status.setStatus("Importing contacts...");
        QCOMPARE(status.lblStatus->text(), QString("Importing contacts..."));
    }
};

QTEST_MAIN(tst_frmCreateOB)
#include "tst_frmCreateOB.moc"
