#pragma once

#include "store/Outbox.h"

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

// The contacts database handle, kept between rebuilds of the cache.
struct NameCache
{
    std::unique_ptr<store::db> contacts;
};

// Rebuilds the outbox's copy of the address book; only one console at a time does it.
bool ImportNameCache(NameCache& cache, store::Outbox& outbox, const std::string& dataFolder, bool force);
bool IsNameCacheImportDue(store::Outbox& outbox);
void ResetNameCache(store::Outbox& outbox);
Contact LookupFriendlyName(store::Outbox& outbox, const std::string& address);

bool OpenContactsDatabase(NameCache& cache, store::Outbox& outbox, const std::string& dataFolder);
void CloseContactsDatabase(NameCache& cache);

} // namespace vesk::routing
