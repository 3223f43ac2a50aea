#pragma once

#include "store/db.h"
#include "support/DateTime.h"

#include <array>
#include <cstdint>
#include <map>

namespace vesk::store {

// The shape of the queue at a glance: messages by status code, the oldest due message, and
// what went out per hour over the last day.
struct QueueFigures
{
    struct Hour
    {
        DateTime start; // local time, on the hour
        std::int64_t sent = 0; // sent, delivered or not, by send time
        std::int64_t delivered = 0; // by the time of the report
        std::int64_t failed = 0; // failed for good, by send time
    };
    std::map<int, std::int64_t> byStatus;
    DateTime oldestDue; // zero when nothing is due
    std::array<Hour, 24> hours; // oldest first; the last is the current hour
};

// False when the outbox could not be read.
bool ReadQueueFigures(db& outbox, DateTime now, QueueFigures& out);

} // namespace vesk::store
