#pragma once

#include "store/db.h"
#include "support/Convert.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vesk::store {

// The webhook tables: the events the outbox writes, the receivers, and each event's delivery to
// each receiver with its attempts. Times are Unix milliseconds unless named otherwise.

struct WebhookEndpointRow
{
    RowId id = 0;
    std::string url;
    std::string types; // ",type,type," or "*"
    std::string from; // number prefix of inbound senders, "" for any
    std::string to; // number prefix of message recipients, "" for any
    std::string description;
    std::string secret;
    std::string oldSecret; // still signing until oldUntil (Unix seconds)
    std::int64_t oldUntil = 0;
    bool enabled = true;
    std::string disabledReason;
    std::int64_t created = 0; // Unix seconds
};

struct WebhookEventRow
{
    RowId id = 0;
    std::string uid;
    std::string type;
    RowId messageId = 0;
    RowId inboundId = 0;
    std::string number;
    std::string station;
    std::int64_t created = 0;
    std::optional<std::string> body; // fixed at the first delivery or listing
};

// What a delivery is waiting for or ended as.
enum class DeliveryState : int { Waiting = 0, Delivered = 1, Failed = 2 };

struct WebhookDeliveryRow
{
    RowId id = 0;
    RowId endpoint = 0;
    WebhookEventRow event;
    DeliveryState state = DeliveryState::Waiting;
    int attempts = 0;
    std::int64_t due = 0; // 0: at once
    std::int64_t first = 0; // the first try, 0 before it
};

struct WebhookAttemptRow
{
    std::int64_t time = 0;
    int status = 0; // the HTTP status, 0 when none came
    std::string error;
    std::int64_t millis = 0;
};

// Endpoints. The new id, 0 when it was not stored.
RowId AddWebhookEndpoint(db& outbox, const WebhookEndpointRow& endpoint);
bool ListWebhookEndpoints(db& outbox, std::vector<WebhookEndpointRow>& out);
bool LoadWebhookEndpoint(db& outbox, RowId id, std::optional<WebhookEndpointRow>& found);
// Writes every field but the id and creation time; the rows changed, -1 on failure.
int UpdateWebhookEndpoint(db& outbox, const WebhookEndpointRow& endpoint);
// Removes an endpoint with its deliveries and their attempts, in one transaction; rows removed.
int DeleteWebhookEndpoint(db& outbox, RowId id);
bool DisableWebhookEndpoint(db& outbox, RowId id, const std::string& reason);
// Takes the day's alert for an endpoint: true for the one program that moved its time from
// before `before` (Unix seconds) to `now`.
bool TakeWebhookAlert(db& outbox, RowId id, std::int64_t now, std::int64_t before);

// Events. A console's own event (its modem lost or regained); false when it was not stored.
bool AddConsoleEvent(db& outbox, const std::string& type, const std::string& station);
// A test event for one endpoint only; its public id, empty on failure.
std::string AddTestEvent(db& outbox, RowId endpoint);
// Oldest first after the event `after`.
bool ListWebhookEvents(db& outbox, RowId after, int limit, std::vector<WebhookEventRow>& out);
bool LoadWebhookEvent(db& outbox, const std::string& uid, std::optional<WebhookEventRow>& found);
// Fixes the event's body unless another program fixed it first; the body that holds.
std::optional<std::string> FixEventBody(db& outbox, RowId event, const std::string& body);
// Sends an event again to every endpoint that had it: the number of deliveries waiting anew.
int RedeliverEvent(db& outbox, RowId event);

// Deliveries. Takes the endpoint's turn for this transaction: on a server FOR UPDATE SKIP LOCKED
// (false when another dispatcher holds it), on a file the file's write lock (false when it could
// not be had).
bool TakeEndpointTurn(db& outbox, RowId endpoint);
// The endpoint's oldest waiting deliveries, in order, with their events.
bool WaitingDeliveries(db& outbox, RowId endpoint, int limit, std::vector<WebhookDeliveryRow>& out);
// The outcome of one try: the attempt row and where the delivery stands after it.
bool RecordDeliveryAttempt(db& outbox, const WebhookDeliveryRow& after, const WebhookAttemptRow& attempt);
// The endpoint's deliveries newest first, below `before` when not 0, each with its attempts.
bool ListDeliveries(db& outbox, RowId endpoint, RowId before, int limit,
    std::vector<std::pair<WebhookDeliveryRow, std::vector<WebhookAttemptRow>>>& out);

// Removes events created before `before` with their deliveries and attempts, `step` events per
// statement; events with a delivery still being retried stay. The count removed, -1 on failure.
std::int64_t RemoveOldEvents(db& outbox, std::int64_t before, int step);

} // namespace vesk::store
