// The contact picker over a real outbox and address book in a temporary data folder.
#ifndef Q_MOC_RUN
#include "routing/NameCache.h"
#include "store/Outbox.h"
#include "support/EventPump.h"
#include "support/LogSink.h"
#include "ui/frmPickFromNameCache.h"

#include "FakeClock.h"
#include "TempDir.h"
#endif

#include "WindowTesting.h"

#include <filesystem>

using namespace vesk;
using vesk::ui::frmPickFromNameCache;

namespace {

class QuietLog final : public LogSink
{
public:
    void Log(int, const std::string&, const std::string&) override { }
};

} // namespace

class tst_frmPickFromNameCache : public QObject
{
    Q_OBJECT

private:
    testing::TempDir dir;
    testing::FakeClock clock;
    NullPump pump;
    QuietLog log;
    std::unique_ptr<store::Outbox> outbox;
    routing::NameCache cache;

    // Adds address book entries: "('First', 'Surname', 'Phone', FALSE)" rows, comma separated.
    void contacts(const std::string& rows)
    {
        store::db book(clock, pump);
        book.setFilename(dir.file(store::kContactsName));
        QVERIFY(book.OpenDatabase(store::mode::kReadWriteShared));
        QVERIFY2(
            book.Execute(
                "INSERT INTO Contact (cntFirstNames, cntSurname, cntPhone, cntPrivateNumber) VALUES " + rows),
            book.LastError().c_str());
    }

    // The cache filled from the address book, as a running console has it.
    void importCache()
    {
        QVERIFY(outbox->handle->OpenDatabase(store::mode::kReadWriteShared));
        QVERIFY(routing::ImportNameCache(cache, *outbox, dir.path(), true));
        routing::CloseContactsDatabase(cache);
        outbox->handle->CloseDatabase();
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
    void init()
    {
        for (const char* name : {store::kOutboxName, store::kArchiveName, store::kContactsName}) {
            std::filesystem::remove(dir.file(name));
            std::filesystem::copy_file(std::string(VESK_BIN_DIR "/DB/") + name, dir.file(name));
        }
        outbox = std::make_unique<store::Outbox>(clock, pump, log);
        QVERIFY(store::OpenOutbox(*outbox, dir.path(), true));
        cache = {};
    }

    void refreshFillsTheListSortedByName()
    {
        contacts("('Zed', 'Adams', '+447700900009', FALSE), ('Amy', 'O''Hara', '+447700900001', FALSE)");
        frmPickFromNameCache picker(*outbox, cache, dir.path());
        QVERIFY(rows(picker).isEmpty()); // nothing copied from the address book yet
        QTest::mouseClick(picker.cmdUpdateCache, Qt::LeftButton);
        QCOMPARE(rows(picker), QStringList({"Amy O'Hara|+447700900001", "Zed Adams|+447700900009"}));
        // The outbox is given back closed so other consoles are not held up.
        QVERIFY(!outbox->handle->IsConnected());

        frmPickFromNameCache again(*outbox, cache, dir.path());
        QCOMPARE(rows(again).size(), 2); // the cache itself is read on opening
    }

    void doubleClickPicksTheNumberAndEscapePicksNothing()
    {
        contacts("('Amy', 'Lee', '+447700900001', FALSE)");
        importCache();

        frmPickFromNameCache picker(*outbox, cache, dir.path());
        picker.show();
        QVERIFY(QTest::qWaitForWindowExposed(&picker));
        auto* item = picker.lvNames->topLevelItem(0);
        QVERIFY(item);
        const QRect at = picker.lvNames->visualItemRect(item);
        // A double-click on an item view arrives after the click that starts it.
        QTest::mouseClick(picker.lvNames->viewport(), Qt::LeftButton, {}, at.center());
        QTest::mouseDClick(picker.lvNames->viewport(), Qt::LeftButton, {}, at.center());
        QCOMPARE(picker.Selection(), std::string("+447700900001"));
        QCOMPARE(picker.result(), int(QDialog::Accepted));

        frmPickFromNameCache escaped(*outbox, cache, dir.path());
        escaped.show();
        QTest::keyClick(&escaped, Qt::Key_Escape);
        QVERIFY(escaped.Selection().empty());
        QVERIFY(escaped.isHidden());
    }

    void missingAddressBookKeepsTheList()
    {
        contacts("('Amy', 'Lee', '+447700900001', FALSE)");
        importCache();
        std::filesystem::remove(dir.file(store::kContactsName));

        frmPickFromNameCache picker(*outbox, cache, dir.path());
        QTest::mouseClick(picker.cmdUpdateCache, Qt::LeftButton);
        QCOMPARE(rows(picker), QStringList({"Amy Lee|+447700900001"}));
    }
};

QTEST_MAIN(tst_frmPickFromNameCache)
#include "tst_frmPickFromNameCache.moc"
