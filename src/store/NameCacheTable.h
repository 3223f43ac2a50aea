#pragma once

#include "store/Recordset.h"
#include "store/db.h"

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vesk::store {

// The outbox's FriendlyNameCache table and the contacts query it is rebuilt from.

struct CachedName
{
    std::string name;
    std::string address;
    bool isPrivate = false;
};

void ClearNameCache(db& outbox);
void AddCachedName(db& outbox, const CachedName& entry);
// The contacts database's numbers with their names (cntFirstNames, cntSurname, cntPhone,
// cntPrivateNumber); none when they cannot be read.
std::unique_ptr<Recordset> ContactNumbers(db& contacts);
// The cached name of a number, the first by name when there are several.
std::optional<CachedName> FindCachedName(db& outbox, const std::string& address);
// Every cached name in name order, for choosing a recipient.
std::vector<CachedName> AllCachedNames(db& outbox);

} // namespace vesk::store
