// Creating an outbox from the templates in its dialog. Rebuilding an existing one is shown by the
// wizard's tests and the import by the store's migration tests.
#ifndef Q_MOC_RUN // the meta-object compiler has no need of the console's own headers
#include "ui/Placeholders.h"
#include "ui/frmCreateOB.h"

#include "TempDir.h"
#endif

#include "WindowTesting.h"

#include <filesystem>

using vesk::testing::ModalAnswers;
using vesk::ui::frmCreateOB;
namespace fs = std::filesystem;

namespace {

const std::string kTemplates = VESK_BIN_DIR "/DB/";

} // namespace

class tst_frmCreateOB : public QObject
{
    Q_OBJECT

private slots:
    void createsTheThreeDatabasesInANewFolder()
    {
        vesk::testing::TempDir dir;
        frmCreateOB dialog(kTemplates);
        dialog.txtFolder->setText("   ");
        QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        QVERIFY(dialog.IsCanceled());

        dialog.txtFolder->setText(QString::fromStdString("  " + dir.file("outbox") + " "));
        QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        QVERIFY(!dialog.IsCanceled());
        QCOMPARE(dialog.Folder(), dir.file("outbox"));
        for (const char* name : {"SMSMessages.mdb", "SMSArchive.mdb", "SMSContacts.mdb"})
            QVERIFY2(fs::exists(dir.file("outbox") + "/" + name), name);
    }

    void keepingAnExistingOutboxLeavesItUnchanged()
    {
        vesk::testing::TempDir dir;
        vesk::testing::WriteFile(dir.file("SMSContacts.mdb"), "address book of record");
        frmCreateOB dialog(kTemplates);
        dialog.txtFolder->setText(QString::fromStdString(dir.folder()));
        ModalAnswers box({}, QMessageBox::No);
        QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        QCOMPARE(
            box.texts, QStringList {"AN OUTBOX ALREADY EXISTS IN THIS FOLDER\nDO YOU WISH TO OVERWRITE IT?"});
        QCOMPARE(box.titles, QStringList {"Quillon Vesk Console"});
        QVERIFY(!dialog.IsCanceled());
        QVERIFY(!fs::exists(dir.file("SMSMessages.mdb")));
        QCOMPARE(vesk::testing::ReadFile(dir.file("SMSContacts.mdb")), std::string("address book of record"));
    }

    void missingTemplatesAreReportedAndTheDialogStays()
    {
        vesk::testing::TempDir dir;
        frmCreateOB dialog(dir.file("no-templates") + "/");
        dialog.txtFolder->setText(QString::fromStdString(dir.file("outbox")));
        ModalAnswers box;
        QTest::mouseClick(dialog.cmdOK, Qt::LeftButton);
        QCOMPARE(box.texts,
            QStringList {"PROBLEMS ENCOUNTERED WHILE CREATING THE OUTBOX.\n"
                         "The database template for an Outbox could not be located."});
        QVERIFY(dialog.IsCanceled());
        QVERIFY(!fs::exists(dir.file("outbox/SMSMessages.mdb")));
    }

    void placeholdersAreFilledInEveryLabelAndButton()
    {
        QDialog window;
        window.setWindowTitle("{APP} - Options");
        auto* label = new QLabel("{APP}, part of {SUITE}: {APP}", &window);
        auto* button = new QPushButton("About {APP}", &window);
        button->setToolTip("Close {APP}");
        vesk::ui::ApplyPlaceholders(window);
        QCOMPARE(window.windowTitle(), QString("Quillon Vesk Console - Options"));
        QCOMPARE(
            label->text(), QString("Quillon Vesk Console, part of Quillon Business: Quillon Vesk Console"));
        QCOMPARE(button->text(), QString("About Quillon Vesk Console"));
        QCOMPARE(button->toolTip(), QString("Close Quillon Vesk Console"));
    }
};

QTEST_MAIN(tst_frmCreateOB)
#include "tst_frmCreateOB.moc"
