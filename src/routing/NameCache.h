#pragma once

#include "store/Outbox.h"
#include "support/SteadyTime.h"

#include <memory>
#include <string>

namespace vesk::routing {

// A sender as the forwards name it.
struct Contact
{
    std::string Name = "Unknown Contact";
    std::string Address;
    bool IsPrivate = false;
};

// The contacts database handle, kept between rebuilds of the cache, and the last rebuild time
// the outbox showed, with when this console first saw it.
struct NameCache
{
    std::unique_ptr<store::db> contacts;
    DateTime seenImport;
    StampedTime seen;
};

// Rebuilds the outbox's copy of the address book; only one console at a time does it.
bool ImportNameCache(NameCache& cache, store::Outbox& outbox, const std::string& dataFolder, bool force);
bool IsNameCacheImportDue(NameCache& cache, store::Outbox& outbox);
void ResetNameCache(store::Outbox& outbox);
Contact LookupFriendlyName(store::Outbox& outbox, const std::string& address);

bool OpenContactsDatabase(NameCache& cache, store::Outbox& outbox, const std::string& dataFolder);
void CloseContactsDatabase(NameCache& cache);

} // namespace vesk::routing
