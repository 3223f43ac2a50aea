#pragma once

namespace vesk::core {

class SettingsStore;

// How long the outbox keeps webhook events: [Webhooks] KeepDays, 7 when unset or not a number of days.
inline constexpr int kWebhookKeepDays = 7;
int WebhookKeepDays(const SettingsStore& settings);

} // namespace vesk::core
