#include "core/WebhookEvents.h"
#include "core/Context.h"
#include "core/Engine.h"
#include "core/SettingsStore.h"
#include "store/Webhooks.h"
#include "support/Convert.h"
#include "support/Platform.h"

namespace vesk::core {

int WebhookKeepDays(const SettingsStore& settings)
{
    const auto text = settings.get("Webhooks", "KeepDays");
    const auto days = text ? ToNumber(*text) : std::nullopt;
    return days && *days >= 1 && *days <= 3650 ? static_cast<int>(*days) : kWebhookKeepDays;
}

void NoteModemLink(Context& ctx)
{
    const bool up = ctx.modem && ctx.modem->IsPortOpen();
    // A console that starts with its modem is no news; one that starts without it is.
    if (ctx.modemLinkUp == up || (!ctx.modemLinkUp && up)) {
        ctx.modemLinkUp = up;
        return;
    }
    store::db& h = store::OutboxHandle(ctx.outbox);
    const bool opened = !h.IsConnected();
    if (opened && !h.OpenDatabase(store::mode::kReadWriteShared))
        return; // told at a later pass
    const bool stored
        = store::AddConsoleEvent(h, up ? "console.modem_online" : "console.modem_offline", StationName());
    if (opened)
        h.CloseDatabase();
    if (stored)
        ctx.modemLinkUp = up;
    else
        ctx.app.Log(icon::kError, "", "Could not note the modem link in the event feed : " + h.LastError());
}

} // namespace vesk::core
