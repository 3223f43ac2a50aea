#include "store/ForwardRules.h"

namespace vesk::store {

std::unique_ptr<Recordset> ForwardRuleRows(db& outbox, bool sorted)
{
    std::unique_ptr<Recordset> rows;
    outbox.ExecuteBound(
        sorted ? "select * from Forward ORDER BY fwdSource, fwdKeyword" : "SELECT * FROM Forward", {}, &rows);
    return rows;
}

bool ClearForwardRules(db& outbox)
{
    return outbox.ExecuteBound("DELETE FROM Forward", {}) >= 0;
}

bool AddForwardRule(db& outbox, const std::string& source, const std::string& keyword,
    const std::string& destination, const std::string& sourceName)
{
    return outbox.ExecuteBound(
               "INSERT INTO Forward (fwdSource, fwdkeyword, fwdDestination, fwdSourceName) VALUES (?,?,?,?)",
               {source, keyword, destination, sourceName})
        >= 0;
}

} // namespace vesk::store
