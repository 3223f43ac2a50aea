#pragma once

#include "store/Webhooks.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <optional>
#include <string>

namespace vesk::api {

// An event's public id: "evt_" and its random part.
inline constexpr std::string_view kEventIdPrefix = "evt_";
std::string EventId(const store::WebhookEventRow& e);

// Unix milliseconds as "2026-03-01T09:30:00.250Z".
std::string Rfc3339Millis(std::int64_t unixMillis);

// The body of an event as every delivery of it carries it, {type, timestamp, data}, `data`
// being the message or inbound resource as the API shows it. Made once, when the event is
// first delivered or listed, and kept, so that every retry sends the same bytes. Nothing when
// the outbox could not be read or written.
std::optional<std::string> EventBody(store::db& outbox, const store::WebhookEventRow& e);

} // namespace vesk::api
