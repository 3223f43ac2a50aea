#include "store/SystemRow.h"

#include "store/Recordset.h"
#include "store/SqlText.h"

namespace vesk::store {
namespace {

// One column of the outbox's single System row; nothing when it cannot be read.
std::optional<DbValue> systemColumn(db& outbox, const std::string& column)
{
    auto rows = outbox.OpenBound("SELECT " + column + " FROM System", {});
    if (!rows || rows->IsEOF())
        return std::nullopt;
    return rows->Field(column);
}

} // namespace

bool TakeMailSenderFlag(db& outbox)
{
    return outbox.ExecuteBound(
               "UPDATE System SET sysMailSenderActive = TRUE WHERE sysMailSenderActive = FALSE", {})
        == 1;
}

bool ReleaseMailSenderFlag(db& outbox)
{
    return outbox.ExecuteBound("UPDATE System SET sysMailSenderActive = FALSE", {}) == 1;
}

bool TakeNameCacheFlag(db& outbox)
{
    return outbox.ExecuteBound(
               "UPDATE System SET sysNameCacheImportFlag = TRUE WHERE sysNameCacheImportFlag = FALSE", {})
        == 1;
}

void ReleaseNameCacheFlag(db& outbox)
{
    outbox.ExecuteBound("UPDATE System SET sysNameCacheImportFlag = FALSE", {});
}

void FinishNameCacheImport(db& outbox, DateTime now)
{
    // The date stays a literal: each engine writes it in its own form.
    outbox.ExecuteBound(
        "UPDATE System SET sysNameCacheImportFlag = FALSE, sysNameCacheLastImportTime = " + DateLiteral(now),
        {});
}

void ResetNameCacheImport(db& outbox)
{
    outbox.ExecuteBound(
        "UPDATE System SET sysNameCacheImportFlag = FALSE, sysNameCacheLastImportTime = NULL", {});
}

std::optional<DateTime> LastNameCacheImport(db& outbox)
{
    const auto value = systemColumn(outbox, "sysNameCacheLastImportTime");
    return value ? std::optional<DateTime>(DateOf(*value)) : std::nullopt;
}

std::optional<int> ReadMaxMessageSize(db& outbox)
{
    const auto value = systemColumn(outbox, "sysSMSMaxMessageSize");
    return value ? std::optional<int>(IntOf(*value)) : std::nullopt;
}

} // namespace vesk::store
