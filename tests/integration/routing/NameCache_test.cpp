// The outbox's copy of the address book, rebuilt from a real contacts file.
#include "routing/NameCache.h"

#include "StoreFixture.h"

#include <gtest/gtest.h>

using namespace std::chrono_literals;
using namespace vesk;
using namespace vesk::routing;

namespace {

class NameCacheTest : public vesk::testing::EngineStoreTest
{
protected:
    void contact(const std::string& first, const std::string& surname, const std::string& phone,
        bool isPrivate = false)
    {
        store::db contacts(clock, pump);
        store::PointAt(contacts, outbox.database, dir.path(), store::kContactsName);
        ASSERT_TRUE(contacts.OpenDatabase(store::mode::kReadWriteShared));
        ASSERT_TRUE(contacts.Execute(
            "INSERT INTO Contact (cntFirstNames, cntSurname, cntPhone, cntPrivateNumber) VALUES ("
            + (first.empty() ? std::string("NULL") : "'" + store::Quote(first) + "'") + ", '"
            + store::Quote(surname) + "', '" + store::Quote(phone) + "', " + store::BoolLiteral(isPrivate)
            + ")"))
            << contacts.LastError();
    }

    int cached() { return scalar("SELECT COUNT(*) FROM FriendlyNameCache"); }

    // A server whose databases sort text by language, as most do outside tests.
    std::string serverDatabase() override
    {
        static int made = 0;
        const std::string name = "icu" + std::to_string(getpid()) + "_" + std::to_string(++made);
        store::db admin(clock, pump);
        admin.setFilename(vesk::testing::PgServer::Shared().Connection("postgres"));
        EXPECT_TRUE(admin.OpenDatabase(store::mode::kReadWriteShared)
            && admin.Execute(
                "CREATE DATABASE " + name + " TEMPLATE template0 LOCALE_PROVIDER icu ICU_LOCALE 'und'"))
            << admin.LastError();
        return vesk::testing::PgServer::Shared().Connection(name);
    }

    NameCache cache;
};

} // namespace

TEST_P(NameCacheTest, NamesAreBuiltWithoutStrayBlanksAndRebuiltOnlyWhenMoreThanTwoHoursOld)
{
    contact("  Ann ", " Lee ", "+447700900001");
    contact("Cher", "", "+447700900002");
    contact("", "Prince", "+447700900003", true);
    contact("Bo", "O'Hara", "+44 '77");
    // A shared number gives the name that sorts first by character code on every engine, capitals
    // before small letters, whatever the server's language.
    contact("amy", "Zimmer", "+447700900009");
    contact("Zed", "Adams", "+447700900009");
    ASSERT_TRUE(ImportNameCache(cache, outbox, dir.path(), true));
    EXPECT_EQ(cached(), 6);

    // The number, the name it gives, whether it is private.
    for (const auto& [number, name, isPrivate] : {std::tuple {"+447700900001", "Ann Lee", false},
             std::tuple {"+447700900002", "Cher", false}, std::tuple {"+447700900003", "Prince", true},
             std::tuple {"+44 '77", "Bo O'Hara", false}, std::tuple {"+447700900009", "Zed Adams", false},
             std::tuple {"+15550000", "Unknown Contact", false}}) {
        SCOPED_TRACE(number);
        const Contact found = LookupFriendlyName(outbox, number);
        EXPECT_EQ(found.Name, name);
        EXPECT_EQ(found.Address, number);
        EXPECT_EQ(found.IsPrivate, isPrivate);
    }

    contact("Bob", "Ray", "+447700900004");
    clock.advance(119min);
    EXPECT_FALSE(ImportNameCache(cache, outbox, dir.path(), false));
    EXPECT_EQ(cached(), 6);
    clock.advance(1min);
    EXPECT_FALSE(ImportNameCache(cache, outbox, dir.path(), false)) << "exactly 120 minutes is not yet due";
    clock.advance(1min);
    EXPECT_TRUE(ImportNameCache(cache, outbox, dir.path(), false));
    EXPECT_EQ(cached(), 7);
    EXPECT_EQ(scalar("SELECT sysNameCacheImportFlag FROM System"), 0);
}

TEST_P(NameCacheTest, AnotherConsoleRebuildingMeansThisOneSkipsAndMissingContactsGiveTheFlagBack)
{
    contact("Ann", "Lee", "+447700900001");
    h().Execute("UPDATE System SET sysNameCacheImportFlag = TRUE");
    EXPECT_FALSE(ImportNameCache(cache, outbox, dir.path(), true));
    EXPECT_EQ(cached(), 0);
    EXPECT_EQ(LookupFriendlyName(outbox, "+447700900001").Name, "Unknown Contact");

    ResetNameCache(outbox);
    EXPECT_TRUE(ImportNameCache(cache, outbox, dir.path(), false)) << "a reset clears the flag, due at once";
    EXPECT_EQ(cached(), 1);

    // Contacts gone: the rebuild fails, gives the flag back and records no import time.
    ResetNameCache(outbox);
    if (onServer()) {
        ASSERT_TRUE(h().Execute("DROP SCHEMA contacts CASCADE"));
    }
    std::filesystem::remove(dir.file(store::kContactsName));
    EXPECT_FALSE(ImportNameCache(cache, outbox, dir.path(), true));
    EXPECT_EQ(scalar("SELECT sysNameCacheImportFlag FROM System"), 0);
    EXPECT_EQ(scalar("SELECT COUNT(*) FROM System WHERE sysNameCacheLastImportTime IS NULL"), 1);
    EXPECT_FALSE(std::filesystem::exists(dir.file(store::kContactsName)));
}

VESK_ON_BOTH_ENGINES(NameCacheTest);
