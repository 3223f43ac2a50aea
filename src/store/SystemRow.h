#pragma once

#include "store/db.h"
#include "support/DateTime.h"

#include <optional>

namespace vesk::store {

// Single statements on the outbox's one System row besides the settings load and save: the
// flags that let one console at a time drain the mail queue or rebuild the name cache, the time
// of the last rebuild, and the text limit that queueing programs keep to.

// Takes the mail sender flag; false when another console holds it.
bool TakeMailSenderFlag(db& outbox);
// Clears the mail sender flag; true when the row was written.
bool ReleaseMailSenderFlag(db& outbox);

// Takes the name cache flag; false when another console is rebuilding the cache.
bool TakeNameCacheFlag(db& outbox);
void ReleaseNameCacheFlag(db& outbox);
// Clears the flag and records when the cache was rebuilt.
void FinishNameCacheImport(db& outbox, DateTime now);
// Clears the flag and the time, so the next pass rebuilds the cache.
void ResetNameCacheImport(db& outbox);
// When the cache was last rebuilt (the zero date when never); nothing when it cannot be read.
std::optional<DateTime> LastNameCacheImport(db& outbox);

// The longest text the outbox takes; nothing when it cannot be read.
std::optional<int> ReadMaxMessageSize(db& outbox);

} // namespace vesk::store
