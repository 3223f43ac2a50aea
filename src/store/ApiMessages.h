#pragma once

#include "store/db.h"
#include "support/Convert.h"
#include "support/DateTime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::store {

// The outbox rows the HTTP API queues, reads, lists and cancels, with what it keeps beside them
// in ApiMessage (the key that queued a row, the client's reference, the creation time).

// Error reasons of failed rows that the API tells apart: expiry (by the maintenance or the
// delivery pass) and a cancel through the API, whose reason goes on with the key's name.
inline constexpr std::string_view kExpiredReason = "Expired";
inline constexpr std::string_view kMessageExpiredReason = "Message Expired";
inline constexpr std::string_view kApiCancelReason = "Canceled by API key ";

// One message to queue: an ordinary pending row, as any queueing program writes it.
struct NewMessage
{
    std::string recipient;
    std::string address;
    std::string text;
    DateTime sendTime;
    DateTime expires; // zero for none
    std::string clientRef; // empty for none
};

// Queues the messages, one row each, with their ApiMessage rows; their ids in order. The caller
// holds the transaction, unless QueuesInOneStatement. False when a write failed (the caller rolls
// back).
bool QueueApiMessages(db& outbox, const std::vector<NewMessage>& messages, const std::string& station,
    const std::string& keyName, std::int64_t created, std::vector<RowId>& ids);

// True when QueueApiMessages writes these messages in one statement, which the outbox keeps or
// refuses whole without a transaction: on a database server, for up to 1,000 rows of one client
// reference.
bool QueuesInOneStatement(const db& outbox, const std::vector<NewMessage>& messages);

// A Message row as the API shows it.
struct MessageRecord
{
    RowId id = 0;
    std::string recipient;
    std::string address;
    std::string text;
    int status = 0;
    bool complete = false;
    DateTime sendTime;
    DateTime expires;
    DateTime deliveryTime;
    DateTime claimedAt;
    int attempts = 0;
    int deliveryStatus = -1; // -1 until a report came
    int fragments = 0;
    std::string errorReason;
    std::string modemResponse;
    std::string clientRef;
    std::string keyName;
    std::int64_t created = 0; // Unix seconds; 0 for rows the API did not queue
};

// The row into `found` (empty when there is none); false when the read failed.
bool LoadMessageRecord(db& outbox, RowId id, std::optional<MessageRecord>& found);

// Which rows a listing shows. Each condition is served by an index: pending rows by their own,
// other status codes by (msgStatus, msgID), the address by (msgAddress, msgID), the client's
// reference and the creation time by ApiMessage's, no condition by the ids themselves.
struct MessageFilter
{
    enum class Reason { Any, Expired, Canceled, Other };
    std::vector<int> statuses; // any of these codes; empty for all
    Reason reason = Reason::Any; // for failed rows: which kind of failure
    std::string address;
    std::string clientRef;
    std::optional<std::int64_t> createdAfter; // only rows the API queued after this Unix time
    RowId before = 0; // only rows with a lower id (the cursor); 0 for none
    int limit = 50;
};
// Newest first, at most filter.limit rows; false when the read failed.
bool ListMessageRecords(db& outbox, const MessageFilter& filter, std::vector<MessageRecord>& out);

enum class CancelOutcome { Canceled, NotPending, NotFound, Failed };
// Ends a row that is still pending and that no console has claimed as failed and complete, with
// the reason given; the row is then never sent.
CancelOutcome CancelPendingMessage(db& outbox, RowId id, const std::string& reason);

// A stored inbound message.
struct InboundRecord
{
    RowId id = 0;
    DateTime time;
    std::string address;
    std::string text;
};
// Newest first, below `before` when it is not 0; false when the read failed.
bool ListInbound(db& outbox, RowId before, int limit, std::vector<InboundRecord>& out);
bool LoadInbound(db& outbox, RowId id, std::optional<InboundRecord>& found);

} // namespace vesk::store
