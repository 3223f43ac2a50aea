// The contact picker over a real outbox and address book in a temporary data folder.
#ifndef Q_MOC_RUN
#include "store/Outbox.h"
#include "ui/frmPickFromNameCache.h"

#include "WindowConsole.h"
#endif

#include "WindowTesting.h"

#include <filesystem>

using namespace vesk;
using vesk::ui::frmPickFromNameCache;

class tst_frmPickFromNameCache : public testing::WindowConsole
{
    Q_OBJECT

private:
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
    void refreshFillsTheListAndADoubleClickPicks()
    {
        makeConsole();
        for (const char* name : {store::kOutboxName, store::kArchiveName, store::kContactsName})
            std::filesystem::copy_file(std::string(VESK_BIN_DIR "/DB/") + name, dir->file(name));
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
};

QTEST_MAIN(tst_frmPickFromNameCache)
#include "tst_frmPickFromNameCache.moc"
