// Creating an outbox from the templates, and the windows that rebuild an existing one.
#ifndef Q_MOC_RUN // the meta-object compiler has no need of the console's own headers
#include "store/Migrate.h"
#include "ui/DataFolderSetup.h"
#include "ui/Placeholders.h"
#include "ui/QtEventPump.h"
#include "ui/frmCreateOB.h"
#include "ui/frmMigrateStatus.h"
#include "ui/frmOverwiteOBWarning.h"

#include "FakeClock.h"
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

    // Keeping the files is shown by the wizard's tests, which rebuild through the same window.
    void rebuildingKeepsBackupsAndShowsTheImport()
    {
        vesk::testing::TempDir dir;
        vesk::testing::FakeClock clock;
        vesk::ui::QtEventPump pump; // lets the watch below see each step
        std::string errorText;
        std::string errorLines;
        QVERIFY(vesk::store::CreateOutbox(dir.folder(), kTemplates, errorText, errorLines));
        QStringList steps;
        ModalAnswers overwrite([](QWidget& w) {
            if (auto* warning = qobject_cast<vesk::ui::frmOverwiteOBWarning*>(&w))
                warning->cmdOverwrite->click();
        });
        // Watch the status window's label while the import runs.
        auto watch = std::make_unique<QTimer>();
        QObject::connect(watch.get(), &QTimer::timeout, [&steps] {
            for (QWidget* w : QApplication::topLevelWidgets())
                if (auto* s = qobject_cast<vesk::ui::frmMigrateStatus*>(w); s && s->isVisible())
                    if (steps.isEmpty() || steps.last() != s->lblStatus->text())
                        steps << s->lblStatus->text();
        });
        watch->start(0);
        QVERIFY(vesk::ui::RebuildDataFolder(nullptr, dir.folder(), kTemplates, clock, pump));
        watch.reset();
        for (const char* name : {"SMSMessages", "SMSArchive", "SMSContacts"})
            QVERIFY2(fs::exists(dir.file(std::string(name) + ".bak")), name);
        QVERIFY(!steps.isEmpty());
        QCOMPARE(steps.first(), QString("Import data - please wait..."));
        QVERIFY2(steps.contains("Importing outbox settings..."), qPrintable(steps.join('|')));
        QCOMPARE(steps.last(), QString("Import complete..."));
    }

    void placeholdersAreFilledInEveryLabelAndButton()
    {
        QDialog window;
        window.setWindowTitle("{APP} - Options");
        auto* label = new QLabel("Part of {SUITE}: {APP}", &window);
        auto* button = new QPushButton("About {APP}", &window);
        button->setToolTip("Close {APP}");
        vesk::ui::ApplyPlaceholders(window);
        QCOMPARE(window.windowTitle(), QString("Quillon Vesk Console - Options"));
        QCOMPARE(label->text(), QString("Part of Quillon Business: Quillon Vesk Console"));
        QCOMPARE(button->text(), QString("About Quillon Vesk Console"));
        QCOMPARE(button->toolTip(), QString("Close Quillon Vesk Console"));
    }
};

QTEST_MAIN(tst_frmCreateOB)
#include "tst_frmCreateOB.moc"
