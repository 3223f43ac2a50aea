#include "routing/NameCache.h"

#include "store/NameCacheTable.h"
#include "store/SqlText.h"
#include "store/StoreSchema.h"
#include "store/SystemRow.h"
#include "support/Convert.h"
#include "support/Paths.h"

#include <algorithm>

namespace vesk::routing {
namespace {

constexpr std::int64_t kRefreshMinutes = 120;

} // namespace

bool IsNameCacheImportDue(NameCache& cache, store::Outbox& outbox)
{
    try {
        const auto last = store::LastNameCacheImport(store::OutboxHandle(outbox));
        if (!last)
            return false;
        // The age of an import is counted on the steady clock from when this console first saw
        // it, so a step of the wall clock neither holds the rebuild back nor brings it forward.
        if (!cache.seen.isSet() || *last != cache.seenImport) {
            cache.seenImport = *last;
            cache.seen = StampedTime::Now(outbox.clock);
        }
        return MinuteBoundaries(std::min(*last, cache.seen.wall), cache.seen.wallNow(outbox.clock))
            > kRefreshMinutes;
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
        if (outbox.database.empty() && !cache.contacts->FileExists())
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
        if (!force && !IsNameCacheImportDue(cache, outbox))
            return false;
        store::db& out = store::OutboxHandle(outbox);
        if (!store::TakeNameCacheFlag(out))
            return false;
        if (!OpenContactsDatabase(cache, outbox, dataFolder)) {
            store::ReleaseNameCacheFlag(out);
            return false;
        }
        store::ClearNameCache(out);
        auto rows = store::ContactNumbers(*cache.contacts);
        if (!rows) {
            store::ReleaseNameCacheFlag(out);
            CloseContactsDatabase(cache);
            return false;
        }
        for (; !rows->IsEOF(); rows->MoveNext()) {
            const std::string name = Trim(
                Trim(TextOf(rows->Field("cntFirstNames"))) + " " + Trim(TextOf(rows->Field("cntSurname"))));
            store::AddCachedName(
                out, {name, TextOf(rows->Field("cntPhone")), BoolOf(rows->Field("cntPrivateNumber"))});
        }
        rows->Close();
        store::FinishNameCacheImport(out, outbox.clock.now());
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
        store::ResetNameCacheImport(store::OutboxHandle(outbox));
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "ResetNameCache", e);
    }
}

Contact LookupFriendlyName(store::Outbox& outbox, const std::string& address)
{
    Contact contact;
    contact.Address = address;
    try {
        if (const auto cached = store::FindCachedName(store::OutboxHandle(outbox), address)) {
            contact.Name = cached->name;
            contact.Address = cached->address;
            contact.IsPrivate = cached->isPrivate;
        }
    } catch (const std::exception& e) {
        LogCaught(outbox.log, "LookupFriendlyName", e);
        return Contact {.Name = "Unknown Contact", .Address = address, .IsPrivate = false};
    }
    return contact;
}

} // namespace vesk::routing
