#include "core/ConsoleRecord.h"

#include "core/Context.h"
#include "core/Trap.h"
#include "store/ConsoleTable.h"
#include "store/Lifecycle.h"
#include "store/SqlText.h"
#include "support/Platform.h"

namespace vesk::core {

namespace {

// Refreshed by the passes; without them, at least this often.
constexpr std::chrono::seconds kRowRefresh {50};

std::string modeText(const Context& ctx)
{
    if (ctx.app.IsPaused())
        return "paused";
    if (!ctx.modem || !ctx.modem->IsPortOpen())
        return "modem lost";
    return "running";
}

store::ConsoleRow currentRow(const Context& ctx, std::int64_t now)
{
    const ConsoleFigures& f = ctx.figures;
    store::ConsoleRow row;
    row.id = store::Right(ctx.AgentIMEI, store::kOwnerLength);
    row.host = HostName();
    row.version = VersionNumbers();
    row.kind = f.kind;
    row.mode = modeText(ctx);
    row.model = f.model;
    row.network = f.network;
    row.registration = f.registration;
    row.signal = f.signal;
    row.started = f.started;
    row.lastPass = now;
    row.lastSend = f.lastSend;
    row.sent = ctx.sentCount;
    row.received = f.received;
    return row;
}

void keep(Context& ctx, store::db& handle)
{
    ConsoleFigures& f = ctx.figures;
    const std::int64_t now = UnixFromLocal(ctx.clock.now());
    if (f.started == 0)
        f.started = now;
    const store::ConsoleRow row = currentRow(ctx, now);
    if (row.id != f.rowId) {
        // A console's first row, or a new modem with another identity.
        if (!store::RegisterConsole(handle, row)) {
            ctx.app.Log(
                icon::kWarning, "", "Could not register the console in the outbox : " + handle.LastError());
            f.nextRow = SteadyTime::FromNow(ctx.clock, kRowRefresh);
            return;
        }
        f.rowId = row.id;
    } else if (store::UpdateConsoleRow(handle, row) != store::RowUpdate::Updated) {
        return; // busy or failed: the next pass tries again
    }
    f.nextRow = SteadyTime::FromNow(ctx.clock, kRowRefresh);
}

} // namespace

std::string RegistrationText(int state)
{
    switch (state) {
    case 0:
        return "not registered";
    case 1:
        return "home";
    case 2:
        return "searching";
    case 3:
        return "denied";
    case 5:
        return "roaming";
    default:
        return "unknown";
    }
}

void KeepConsoleRow(Context& ctx)
{
    if (ctx.AgentIMEI.empty() || !ctx.outbox.handle || !ctx.outbox.handle->IsConnected())
        return;
    Trap(ctx.app, [&] { keep(ctx, *ctx.outbox.handle); });
}

void KeepConsoleRowAlive(Context& ctx)
{
    if (ctx.AgentIMEI.empty() || !ctx.figures.nextRow.reached(ctx.clock) || !ctx.outbox.handle
        || ctx.outbox.settings.DBVersion == 0)
        return;
    store::db& h = *ctx.outbox.handle;
    if (h.IsConnected()) {
        Trap(ctx.app, [&] { keep(ctx, h); });
        return;
    }
    if (!h.OpenDatabase(store::mode::kReadWriteShared)) {
        ctx.figures.nextRow = SteadyTime::FromNow(ctx.clock, kRowRefresh);
        return;
    }
    Trap(ctx.app, [&] { keep(ctx, h); });
    h.CloseDatabase();
}

void MarkConsoleRowStopped(Context& ctx)
{
    if (ctx.figures.rowId.empty() || !ctx.outbox.handle)
        return;
    store::db& h = *ctx.outbox.handle;
    const bool wasOpen = h.IsConnected();
    if (!wasOpen && !h.OpenDatabase(store::mode::kReadWriteShared))
        return;
    Trap(ctx.app, [&] {
        if (!store::MarkConsoleStopped(h, ctx.figures.rowId, UnixFromLocal(ctx.clock.now())))
            ctx.app.Log(
                icon::kWarning, "", "Could not mark the console stopped in the outbox : " + h.LastError());
    });
    if (!wasOpen)
        h.CloseDatabase();
}

} // namespace vesk::core
