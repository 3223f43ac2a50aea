#include "webhooks/RetrySchedule.h"

#include <algorithm>

namespace vesk::webhooks {

namespace {

// The longest a Retry-After is followed.
constexpr std::int64_t kMostRetryAfterSeconds = 24 * 3600;

std::int64_t millis(std::chrono::seconds s)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(s).count();
}

} // namespace

AfterTry AfterAttempt(store::WebhookDeliveryRow d, const TryResult& result, std::int64_t nowMs, double jitter)
{
    if (d.first == 0)
        d.first = nowMs;
    ++d.attempts;
    if (result.status >= 200 && result.status < 300) {
        d.state = store::DeliveryState::Delivered;
        return {Verdict::Delivered, d};
    }
    // The receiver wants no more: its endpoint is switched off, and the delivery stays redeliverable.
    if (result.status == 410) {
        d.state = store::DeliveryState::Failed;
        return {Verdict::Disable, d};
    }
    if (d.attempts >= kMostAttempts) {
        d.state = store::DeliveryState::Failed;
        return {Verdict::Failed, d};
    }
    const std::size_t step = static_cast<std::size_t>(d.attempts - 1);
    const std::int64_t offset = millis(kRetryOffsets[step]);
    const std::int64_t gap = offset - (step == 0 ? 0 : millis(kRetryOffsets[step - 1]));
    d.due = std::max(
        d.first + offset + static_cast<std::int64_t>(std::clamp(jitter, 0.0, 1.0) * gap / 10), nowMs);
    if ((result.status == 429 || result.status == 503) && result.retryAfter && *result.retryAfter >= 0)
        d.due = nowMs + std::min(*result.retryAfter, kMostRetryAfterSeconds) * 1000;
    d.state = store::DeliveryState::Waiting;
    return {Verdict::Retry, d};
}

} // namespace vesk::webhooks
