#pragma once

#include <span>

namespace vesk::store {

// The webhook tables, their indexes and the triggers that write the events, for an outbox being
// brought up to date: the same definitions as db/SMSMessages.sql, and their PostgreSQL form.
// Every statement may run again.
std::span<const char* const> WebhookSqliteSchema();
std::span<const char* const> WebhookPgSchema();
// What they add, by name, for the check of whether an SQLite outbox is current.
std::span<const char* const> WebhookSqliteObjects();

} // namespace vesk::store
