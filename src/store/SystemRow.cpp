#include "store/SystemRow.h"

#include "store/Recordset.h"
#include "store/SqlText.h"

namespace vesk::store {

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
    std::unique_ptr<Recordset> rows;
    if (outbox.ExecuteBound("SELECT sysNameCacheLastImportTime FROM System", {}, &rows) < 0 || !rows
        || rows->IsEOF())
        return std::nullopt;
    return DateOf(rows->Field("sysNameCacheLastImportTime"));
}

std::optional<int> ReadMaxMessageSize(db& outbox)
{
    std::unique_ptr<Recordset> rows;
    if (outbox.ExecuteBound("SELECT sysSMSMaxMessageSize FROM System", {}, &rows) < 0 || !rows
        || rows->IsEOF())
        return std::nullopt;
    return IntOf(rows->Field("sysSMSMaxMessageSize"));
}

} // namespace vesk::store
