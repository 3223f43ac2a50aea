#pragma once

#include "store/db.h"
#include "support/LogSink.h"

namespace vesk::store {

// Brings an outbox made from an earlier template up to the current one: msgComplete filled where
// it was left NULL, the pending counter filled and kept by triggers, the pending view and the
// indexes the delivery pass and the lookups rely on. One transaction; nothing is done when the
// outbox is already current. The handle is open read-write. False when the outbox could not be
// brought up to date (it keeps working as before, only slower).
bool UpgradeOutbox(db& outbox, LogSink& log);

} // namespace vesk::store
