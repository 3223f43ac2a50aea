#include "routing/NameCache.h"

#include "store/SqlText.h"
#include "store/StoreSchema.h"
#include "support/Convert.h"
#include "support/Paths.h"

namespace vesk::routing {
namespace {

constexpr std::int64_t kRefreshMinutes = 120;

std::int64_t minuteBoundaries(DateTime from, DateTime to)
{
    const auto minuteOf = [](DateTime t) {
        const auto s = t.serialSeconds();
        return s >= 0 ? s / 60 : (s - 59) / 60;
    };
    return minuteOf(to) - minuteOf(from);
}

void releaseFlag(store::db& outbox)
{
    outbox.Execute("UPDATE System SET sysNameCacheImportFlag = FALSE");
}

} // namespace

bool IsNameCacheImportDue(store::Outbox& outbox)
{
    try {
        auto rows = store::OutboxHandle(outbox).OpenDynaset("SELECT sysNameCacheLastImportTime FROM System");
        if (!rows || rows->IsEOF())
            return false;
        const DateTime last = DateOf(rows->Field("sysNameCacheLastImportTime"));
        return minuteBoundaries(last, outbox.clock.now()) > kRefreshMinutes;
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "IsNameCacheImportDue", e);
        return false;
    }
}

bool OpenContactsDatabase(NameCache& cache, store::Outbox& outbox, const std::string& dataFolder)
{
    try {
        if (!cache.contacts) {
            cache.contacts = std::make_unique<store::db>(outbox.clock, outbox.pump);
            store::PointAt(*cache.contacts, outbox.database, dataFolder, store::kContactsName);
        }
        if (cache.contacts->IsConnected())
            return true;
        // A missing file must not be created empty by the open.
        if (!cache.contacts->FileExists())
            return false;
        return cache.contacts->OpenDatabase(store::mode::kReadShared);
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "OpenContactsDatabase", e);
        return false;
    }
}

void CloseContactsDatabase(NameCache& cache)
{
    if (cache.contacts)
        cache.contacts->CloseDatabase();
}

bool ImportNameCache(NameCache& cache, store::Outbox& outbox, const std::string& dataFolder, bool force)
{
    try {
        if (!force && !IsNameCacheImportDue(outbox))
            return false;
        store::db& out = store::OutboxHandle(outbox);
        if (out.ExecuteRecordResult(
                "UPDATE System SET sysNameCacheImportFlag = TRUE WHERE sysNameCacheImportFlag = FALSE")
            != 1)
            return false;
        if (!OpenContactsDatabase(cache, outbox, dataFolder)) {
            releaseFlag(out);
            return false;
        }
        out.Execute("DELETE * FROM FriendlyNameCache");
        auto rows = cache.contacts->OpenDynaset("SELECT * FROM qry_NameCache_Contact");
        if (!rows) {
            releaseFlag(out);
            CloseContactsDatabase(cache);
            return false;
        }
        for (; !rows->IsEOF(); rows->MoveNext()) {
            const std::string name = Trim(
                Trim(TextOf(rows->Field("cntFirstNames"))) + " " + Trim(TextOf(rows->Field("cntSurname"))));
            out.Execute("INSERT INTO FriendlyNameCache (fnAddress, fnName, fnIsPrivate) VALUES ('"
                + store::Quote(TextOf(rows->Field("cntPhone"))) + "','" + store::Quote(name) + "',"
                + store::BoolLiteral(BoolOf(rows->Field("cntPrivateNumber"))) + ")");
        }
        rows->Close();
        out.Execute("UPDATE System SET sysNameCacheImportFlag = FALSE, sysNameCacheLastImportTime = "
            + store::DateLiteral(outbox.clock.now()));
        CloseContactsDatabase(cache);
        return true;
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "ImportNameCache", e);
        return false;
    }
}

void ResetNameCache(store::Outbox& outbox)
{
    try {
        store::OutboxHandle(outbox).Execute(
            "UPDATE System SET sysNameCacheImportFlag = FALSE, sysNameCacheLastImportTime = NULL");
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "ResetNameCache", e);
    }
}

Contact LookupFriendlyName(store::Outbox& outbox, const std::string& address)
{
    Contact contact;
    contact.Address = address;
    try {
        auto rows = store::OutboxHandle(outbox).OpenDynaset(
            "SELECT fnName, fnAddress, fnIsPrivate FROM FriendlyNameCache WHERE fnAddress = '"
            + store::Quote(address) + "' ORDER by fnName");
        if (rows && !rows->IsEOF()) {
            contact.Name = TextOf(rows->Field("fnName"));
            contact.Address = TextOf(rows->Field("fnAddress"));
            contact.IsPrivate = BoolOf(rows->Field("fnIsPrivate"));
        }
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "LookupFriendlyName", e);
        return Contact {.Name = "Unknown Contact", .Address = address, .IsPrivate = false};
    }
    return contact;
}

} // namespace vesk::routing
