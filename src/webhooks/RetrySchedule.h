#pragma once

#include "store/Webhooks.h"

#include <chrono>
#include <cstdint>
#include <optional>

namespace vesk::webhooks {

// When a delivery is tried again after a failed try, counted from its first try: 5 s, 5 min,
// 30 min, 2 h, 5 h, 10 h, 14 h, 20 h and 24 h. After the last it has failed for good.
inline constexpr std::chrono::seconds kRetryOffsets[] = {std::chrono::seconds(5), std::chrono::minutes(5),
    std::chrono::minutes(30), std::chrono::hours(2), std::chrono::hours(5), std::chrono::hours(10),
    std::chrono::hours(14), std::chrono::hours(20), std::chrono::hours(24)};
inline constexpr int kMostAttempts = 1 + static_cast<int>(std::size(kRetryOffsets));

// What the receiver said to one try: its HTTP status (0 when none came) and Retry-After seconds.
struct TryResult
{
    int status = 0;
    std::optional<std::int64_t> retryAfter;
};

enum class Verdict { Delivered, Retry, Failed, Disable };

// Where a delivery stands after a try at `nowMs`. `jitter` in [0, 1) spreads the retries of
// many deliveries over a tenth of the gap before each, so they do not all come back at once.
struct AfterTry
{
    Verdict verdict;
    store::WebhookDeliveryRow delivery; // with its new state, attempts, due and first times
};
AfterTry AfterAttempt(
    store::WebhookDeliveryRow delivery, const TryResult& result, std::int64_t nowMs, double jitter);

} // namespace vesk::webhooks
