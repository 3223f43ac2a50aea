#include "core/Startup.h"

#include "core/ConsoleWindow.h"
#include "core/Context.h"
#include "core/Engine.h"
#include "core/SettingsStore.h"
#include "core/Trap.h"
#include "store/Migrate.h"
#include "store/Outbox.h"
#include "support/Convert.h"
#include "support/Paths.h"
#include "support/Platform.h"

namespace vesk::core {
namespace {

void runPendingTwice(Context& ctx)
{
    ctx.pump.runPending();
    ctx.pump.runPending();
}

} // namespace

bool FolderHasDataFiles(const std::string& folder)
{
    const std::string f = TrailingSeparator(folder);
    return FileExists(f + store::kOutboxName) || FileExists(f + store::kContactsName);
}

StartResult Main(Context& ctx, const StartOptions& options, std::string& message)
{
    ConsoleApp& app = ctx.app;
    app.LoadEnvironment(ctx.config, ctx.DataFolder);
    if (ctx.overrides.dataFolder)
        ctx.DataFolder = *ctx.overrides.dataFolder;

    if (ctx.DataFolder.empty()) {
        message = "No data folder is set. Give one with --data-folder DIR (add --create-outbox to create "
                  "the databases there), or run the setup wizard in the window.";
        return StartResult::Failed;
    }
    if (!FolderHasDataFiles(ctx.DataFolder)) {
        if (!options.createOutbox) {
            message = "Folder does not contain the data files: " + ctx.DataFolder
                + " (add --create-outbox to create them from the templates)";
            return StartResult::Failed;
        }
        std::string errorText;
        std::string errorLines;
        CreateFolderPath(ctx.DataFolder);
        if (!store::CreateOutbox(ctx.DataFolder, ctx.outbox.templateFolder, errorText, errorLines)
            || !FolderHasDataFiles(ctx.DataFolder)) {
            message = "Could not create the outbox in " + ctx.DataFolder + ": " + errorText + errorLines;
            return StartResult::Failed;
        }
    }

    SetAppPriority(ctx.config.AppPriority);
    app.setMode(mode::kInitialising);
    app.Log(icon::kInfo, "", "Application started " + VersionText());
    runPendingTwice(ctx);

    ctx.MaxMessageSize = 160;
    Trap([&] {
        if (store::OpenOutbox(ctx.outbox, TrailingSeparator(ctx.DataFolder), false))
            ctx.MaxMessageSize = ctx.outbox.settings.SMSMaxMessageSize;
    });
    const int revision = ctx.outbox.settings.DBVersion;
    if (revision >= 4)
        app.Log(icon::kInfo, "", "DB is revision " + std::to_string(revision));
    else
        app.Log(icon::kError, "",
            "Outbox database version [" + std::to_string(revision)
                + "] is incomatible with this application");

    Trap([&] { InitialiseModem(ctx, false); });
    ctx.filter.LoadAddressFilter();
    if (ctx.modem && ctx.modem->IsPortOpen()) {
        bool present = false;
        Trap([&] { present = ctx.modem->IsModemPresent(); });
        if (!present)
            app.Log(icon::kError, "", "No modem detected on " + ctx.modem->PortName);
        else
            ReportModemInfo(ctx);
        ctx.modem->LogFlush();
    }

    LogStartupSummary(ctx);
    runPendingTwice(ctx);

    if (ctx.outbox.handle && ctx.outbox.handle->OpenDatabase(store::mode::kReadWriteShared)) {
        Trap([&] {
            if (const auto n = store::UpdateQueueSize(ctx.outbox))
                app.QueueSize(*n);
        });
        ctx.outbox.handle->CloseDatabase();
    }
    runPendingTwice(ctx);
    ScheduleLinkCheck(ctx);
    runPendingTwice(ctx);

    if (ctx.config.MaxRunTime > 0) {
        ctx.EndTime = ctx.clock.now().addHours(ctx.config.MaxRunTime);
        app.Log(icon::kInfo, "",
            "Program will terminate automatically at " + Format(ctx.EndTime, "hh:nn") + " on "
                + Format(ctx.EndTime, "dddd"));
    }
    app.setMode(mode::kIdle);
    if (ctx.window)
        ctx.window->EnableAllButtons(true);
    // The first pass waits ten seconds after the window loaded.
    ctx.NextCycle = ctx.clock.now().addSeconds(10);
    runPendingTwice(ctx);
    return StartResult::Running;
}

void LogStartupSummary(Context& ctx)
{
    ConsoleApp& app = ctx.app;
    const store::SystemSettings& s = ctx.outbox.settings;
    if (!s.SMSSaveInbound)
        app.Log(icon::kInfo, "", "Inbound messages are NOT saved.");
    app.Log(icon::kInfo, "", "Maximum message length is " + std::to_string(ctx.MaxMessageSize));
    app.Log(icon::kInfo, "", "Validity Period is " + ValidityPeriodText(s.ValidityPeriodInMinutes));
    if (ctx.filter.IsAddressFilterActive())
        app.Log(icon::kWarning, "", "Address filtering is active");
    if (s.SMSForwarding)
        app.Log(icon::kInfo, "", "SMS Forwading is enabled");
}

void ShutDown(Context& ctx)
{
    Trap([&] {
        if (ctx.modem)
            ctx.modem->ClosePort();
    });
    ctx.modem.reset();
    Trap([&] {
        if (ctx.outbox.handle)
            ctx.outbox.handle->CloseDatabase();
    });
    ctx.outbox.handle.reset();
    // Values given for this run only are not written back over the stored ones.
    std::string folder = ctx.DataFolder;
    if (ctx.overrides.dataFolder)
        folder = ctx.settings.get("Setup", "DataFolder").value_or("");
    Trap([&] { ctx.app.SaveEnviroment(ctx.config, folder); });
}

} // namespace vesk::core
