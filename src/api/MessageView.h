#pragma once

#include "store/ApiMessages.h"

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

namespace vesk::api {

// How the API names an outbox row's state. The outbox's codes: 0 pending, 1 claimed by a console,
// 2 failed (cancelled, retries exhausted or expired, told apart by the error reason), 3 sent,
// 5 delivered, 6 delivery unconfirmed, 7 not delivered.
std::string_view ApiStatus(const store::MessageRecord& m);
// Sets the filter's codes and failure kind for a status name; false for a name the API has not.
bool FilterByStatus(std::string_view name, store::MessageFilter& filter);

nlohmann::json MessageJson(const store::MessageRecord& m);
nlohmann::json InboundJson(const store::InboundRecord& m);
// A local time of the outbox as RFC 3339; null for none.
nlohmann::json TimeJson(DateTime local);

// Opaque cursors: the id the next page starts below.
std::string CursorText(RowId below);
std::optional<RowId> CursorValue(std::string_view cursor);
// An id from a path: digits only; nothing for anything else.
std::optional<RowId> IdValue(std::string_view text);

} // namespace vesk::api
