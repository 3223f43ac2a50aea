#include "store/NameCacheTable.h"

#include "store/SettingsRow.h"

namespace vesk::store {
namespace {

CachedName cachedNameOf(const Recordset& row)
{
    return {TextOf(row.Field("fnName")), TextOf(row.Field("fnAddress")), BoolOf(row.Field("fnIsPrivate"))};
}

} // namespace

void ClearNameCache(db& outbox)
{
    outbox.ExecuteBound("DELETE * FROM FriendlyNameCache", {});
}

void AddCachedName(db& outbox, const CachedName& entry)
{
    outbox.ExecuteBound("INSERT INTO FriendlyNameCache (fnAddress, fnName, fnIsPrivate) VALUES (?,?,?)",
        {entry.address, entry.name, FlagValue(entry.isPrivate)});
}

std::unique_ptr<Recordset> ContactNumbers(db& contacts)
{
    std::unique_ptr<Recordset> rows;
    contacts.ExecuteBound("SELECT * FROM qry_NameCache_Contact", {}, &rows);
    return rows;
}

std::optional<CachedName> FindCachedName(db& outbox, const std::string& address)
{
    std::unique_ptr<Recordset> rows;
    outbox.ExecuteBound(
        "SELECT fnName, fnAddress, fnIsPrivate FROM FriendlyNameCache WHERE fnAddress = ? ORDER by fnName",
        {address}, &rows);
    if (!rows || rows->IsEOF())
        return std::nullopt;
    return cachedNameOf(*rows);
}

std::vector<CachedName> AllCachedNames(db& outbox)
{
    std::vector<CachedName> names;
    std::unique_ptr<Recordset> rows;
    outbox.ExecuteBound("SELECT * FROM FriendlyNameCache ORDER BY fnName", {}, &rows);
    for (; rows && !rows->IsEOF(); rows->MoveNext())
        names.push_back(cachedNameOf(*rows));
    return names;
}

} // namespace vesk::store
