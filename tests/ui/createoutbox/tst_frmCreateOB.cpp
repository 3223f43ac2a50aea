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
#include "support/EventPump.h"
#endif

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <QVBoxLayout>
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

    void rebuildingKeepsBackupsAndShowsTheImport()
    {
        vesk::testing::TempDir dir;
        vesk::testing::FakeClock clock;
        vesk::ui::QtEventPump pump; // lets the watch below see each step
        std::string errorText;
        std::string errorLines;
        QVERIFY(vesk::store::CreateOutbox(dir.folder(), templates(), errorText, errorLines));
        QStringList steps;
        QTimer::singleShot(0, [] {
            if (auto* w = qobject_cast<vesk::ui::frmOverwiteOBWarning*>(QApplication::activeModalWidget()))
                w->cmdOverwrite->click();
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
        QVERIFY(vesk::ui::RebuildDataFolder(nullptr, dir.folder(), templates(), clock, pump));
        watch.reset();
        for (const char* name : {"SMSMessages", "SMSArchive", "SMSContacts"}) {
            QVERIFY2(fs::exists(dir.file(std::string(name) + ".mdb")), name);
            QVERIFY2(fs::exists(dir.file(std::string(name) + ".bak")), name);
        }
        QVERIFY(!steps.isEmpty());
        QCOMPARE(steps.first(), QString("Import data - please wait..."));
        QVERIFY2(steps.contains("Importing outbox settings..."), qPrintable(steps.join('|')));
        QCOMPARE(steps.last(), QString("Import complete..."));
    }

    void keepingExistingFilesOnlyResetsThem()
    {
        vesk::testing::TempDir dir;
        vesk::testing::FakeClock clock;
        vesk::NullPump pump;
        std::string errorText;
        std::string errorLines;
        QVERIFY(vesk::store::CreateOutbox(dir.folder(), templates(), errorText, errorLines));
        QTimer::singleShot(0, [] {
            if (auto* w = qobject_cast<vesk::ui::frmOverwiteOBWarning*>(QApplication::activeModalWidget()))
                w->cmdKeep->click();
        });
        QVERIFY(!vesk::ui::RebuildDataFolder(nullptr, dir.folder(), templates(), clock, pump));
        QVERIFY(!fs::exists(dir.file("SMSMessages.bak")));
    }

    void placeholdersAreFilledInEveryLabelAndButton()
    {
        QDialog window;
        window.setWindowTitle("{APP} - Options");
        auto* label = new QLabel("Part of {SUITE}: {APP}", &window);
        auto* button = new QPushButton("About {APP}", &window);
        button->setToolTip("Close {APP}");
        auto* plain = new QLabel("No names here", &window);
        vesk::ui::ApplyPlaceholders(window);
        QCOMPARE(window.windowTitle(), QString("Quillon Vesk Console - Options"));
        QCOMPARE(label->text(), QString("Part of Quillon Business: Quillon Vesk Console"));
        QCOMPARE(button->text(), QString("About Quillon Vesk Console"));
        QCOMPARE(button->toolTip(), QString("Close Quillon Vesk Console"));
        QCOMPARE(plain->text(), QString("No names here"));
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
