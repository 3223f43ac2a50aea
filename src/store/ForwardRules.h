#pragma once

#include "store/Recordset.h"
#include "store/db.h"

#include <memory>
#include <string>

namespace vesk::store {

// The outbox's Forward table: which inbound messages go where.

// The rules as stored (fwdSource, fwdKeyword, fwdDestination, fwdSourceName); none when they
// cannot be read. Sorted by source and keyword when asked, for showing them.
std::unique_ptr<Recordset> ForwardRuleRows(db& outbox, bool sorted);
bool ClearForwardRules(db& outbox);
bool AddForwardRule(db& outbox, const std::string& source, const std::string& keyword,
    const std::string& destination, const std::string& sourceName);

} // namespace vesk::store
