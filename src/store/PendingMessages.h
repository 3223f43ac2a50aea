#pragma once

#include "store/Recordset.h"
#include "store/db.h"
#include "support/DateTime.h"

#include <memory>

namespace vesk::store {

// The pending messages whose send time has come, at most count of them, in the order the
// outbox's pending query gives; none when they cannot be read.
std::unique_ptr<Recordset> DueMessages(db& outbox, int count, DateTime now);

} // namespace vesk::store
