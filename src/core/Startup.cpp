#include "core/Startup.h"
#include "core/WebhookEvents.h"

#include "core/ConsoleWindow.h"
#include "core/Context.h"
#include "core/Engine.h"
#include "core/Keeping.h"
#include "core/SettingsStore.h"
#include "core/Trap.h"
#include "store/ConnectionText.h"
#include "store/Migrate.h"
#include "store/Outbox.h"
#include "store/StoreSchema.h"
#include "support/Convert.h"
#include "support/KeptFiles.h"
#include "support/Paths.h"
#include "support/Platform.h"

namespace vesk::core {
namespace {

void runPendingTwice(Context& ctx)
{
    ctx.pump.runPending();
    ctx.pump.runPending();
}

// The connection string of the outbox for this run; empty for the data folder's files.
std::string databaseInUse(const Context& ctx)
{
    const std::string conninfo = Trim(ctx.overrides.database.value_or(ctx.config.Database));
    return store::IsConnectionString(conninfo) ? conninfo : "";
}

} // namespace

bool FolderHasDataFiles(const std::string& folder)
{
    const std::string f = TrailingSeparator(folder);
    return FileExists(f + store::kOutboxName) || FileExists(f + store::kContactsName);
}

bool ServerHasOutbox(Context& ctx)
{
    store::db server(ctx.clock, ctx.pump);
    server.setFilename(ctx.outbox.database);
    if (!server.OpenDatabase(store::mode::kReadShared))
        return false;
    auto rs = server.OpenDynaset("SELECT COUNT(*) AS T FROM information_schema.tables"
                                 " WHERE table_schema = current_schema() AND table_name = 'system'");
    return rs && LongOf(rs->Field("T")) > 0;
}

StartResult Main(Context& ctx, StartupPrompts& prompts)
{
    ConsoleApp& app = ctx.app;
    const auto loadEnvironment = [&] {
        app.LoadEnvironment(ctx.config, ctx.DataFolder);
        if (ctx.overrides.dataFolder)
            ctx.DataFolder = *ctx.overrides.dataFolder;
    };
    loadEnvironment();
    // On a database server the outbox, archive and contacts are there, not in the data folder.
    ctx.outbox.database = databaseInUse(ctx);
    const bool server = !ctx.outbox.database.empty();
    const auto dataReady = [&](const std::string& folder) {
        return server ? ServerHasOutbox(ctx) : FolderHasDataFiles(folder);
    };

    bool runWizard = app.LoadParameter("Setup", "RunWizard", "1") == "1"
        || ctx.commandLine.find("/wizard") != std::string::npos || (ctx.DataFolder.empty() && !server);
    if ((server || !ctx.DataFolder.empty()) && !dataReady(ctx.DataFolder)) {
        store::db named(ctx.clock, ctx.pump);
        named.setFilename(ctx.outbox.database);
        switch (prompts.folderWithoutDataFiles(server ? named.Describe() : ctx.DataFolder)) {
        case StartupPrompts::FolderAnswer::End:
            return StartResult::Ended;
        case StartupPrompts::FolderAnswer::RunWizard:
            runWizard = true;
            break;
        case StartupPrompts::FolderAnswer::Ready:
            break;
        }
    }
    if (runWizard && prompts.canRunWizard()) {
        if (!prompts.runWizard())
            return StartResult::Ended;
        app.SaveParameter("Setup", "RunWizard", "0");
        loadEnvironment();
        const std::string folder
            = ctx.overrides.dataFolder.value_or(app.LoadParameter("Setup", "DataFolder", ""));
        if (!dataReady(folder)) {
            prompts.invalidOutboxFolder();
            return StartResult::Ended;
        }
    }

    SetAppPriority(ctx.config.AppPriority);
    ctx.outbox.webhookKeepDays = WebhookKeepDays(ctx.settings);
    prompts.showMainWindow();
    app.setMode(mode::kInitialising);
    app.Log(icon::kInfo, "", "Application started " + VersionText());
    if (ctx.window)
        ctx.window->refresh();
    ctx.pump.runPending();

    if (ctx.DataFolder.empty() && !server) {
        const auto folder = prompts.createOutbox();
        if (!folder)
            return StartResult::Ended;
        if (FolderHasDataFiles(*folder)) {
            ctx.DataFolder = TrailingSeparator(*folder);
            app.SaveEnviroment(ctx.config, ctx.DataFolder);
        }
    }
    runPendingTwice(ctx);

    ctx.MaxMessageSize = 160;
    ctx.outbox.database = databaseInUse(ctx);
    if (ctx.outbox.database.empty() && !Trim(ctx.overrides.database.value_or(ctx.config.Database)).empty())
        app.Log(icon::kWarning, "",
            "The database setting is not a connection string; the outbox stays in the Data Folder");
    // With the outbox on a server the data folder holds only the console's own files (status,
    // traces), and nothing may have made it yet.
    if (!ctx.outbox.database.empty() && !ctx.DataFolder.empty() && !FolderExists(ctx.DataFolder))
        CreateFolderPath(ctx.DataFolder);
    Trap(ctx.app, [&] {
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

    // The files the console writes live in the data folder, no longer beside the program.
    for (const char* name :
        {routing::AddressFilter::kFileName, kModemLogName, "testsmslog.txt", "maillog.txt"})
        if (const std::string moved = MoveKeptFile(ctx.programFolder, ctx.DataFolder, name); !moved.empty())
            app.Log(icon::kInfo, "", moved);
    ctx.filter.setFolder(KeptFilesFolder(ctx.DataFolder));

    Trap(ctx.app, [&] { InitialiseModem(ctx, false); });
    ctx.filter.LoadAddressFilter();
    if (ctx.modem && ctx.modem->IsPortOpen()) {
        bool present = false;
        Trap(ctx.app, [&] { present = ctx.modem->IsModemPresent(); });
        if (!present)
            app.Log(icon::kError, "", "No modem detected on " + ctx.modem->PortName);
        else
            ReportModemInfo(ctx);
        ctx.modem->LogFlush();
    }

    LogStartupSummary(ctx);
    if (const long waiting = JournalWaiting(ctx); waiting > 0)
        app.Log(icon::kWarning, "",
            std::to_string(waiting) + " unit(s) wait in the modem journal for the outbox");
    ctx.mail.settings = {ctx.config.MailAllowPlainLogin, ctx.config.MailPasswordFile};
    Trap(ctx.app, [&] { mail::InitMail(ctx.mail, ctx.outbox); });
    runPendingTwice(ctx);

    if (ctx.outbox.handle && ctx.outbox.handle->OpenDatabase(store::mode::kReadWriteShared)) {
        app.PushFeedback("Updating friendly name cache from address book...");
        if (ctx.commandLine.find("/resetnamecache") != std::string::npos)
            Trap(ctx.app, [&] { routing::ResetNameCache(ctx.outbox); });
        Trap(ctx.app, [&] { routing::ImportNameCache(ctx.nameCache, ctx.outbox, ctx.DataFolder, true); });
        app.PopFeedback();
        if (ctx.commandLine.find("/resetmailactive") != std::string::npos)
            Trap(ctx.app, [&] { mail::SetMailSenderActive(ctx.outbox, false); });
        Trap(ctx.app, [&] {
            if (const auto n = store::UpdateQueueSize(ctx.outbox))
                app.QueueSize(*n);
        });
        ctx.outbox.handle->CloseDatabase();
    }
    runPendingTwice(ctx);
    ScheduleLinkCheck(ctx);
    runPendingTwice(ctx);

    if (ctx.config.MaxRunTime > 0) {
        const std::chrono::hours runTime(ctx.config.MaxRunTime);
        ctx.EndTime = SteadyTime::FromNow(ctx.clock, runTime);
        const DateTime end = ctx.clock.now().addHours(runTime.count());
        app.Log(icon::kInfo, "",
            "Program will terminate automatically at " + Format(end, "hh:nn") + " on " + Format(end, "dddd"));
    }
    app.setMode(mode::kIdle);
    if (ctx.window)
        ctx.window->EnableAllButtons(true);
    // The first pass waits ten seconds after the window loaded.
    ctx.NextCycle = SteadyTime::FromNow(ctx.clock, std::chrono::seconds(10));
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
    Trap(ctx.app, [&] { mail::LoadDiagnostics(ctx.diagnostics, ctx.outbox, false); });
    if (s.SMSForwarding)
        app.Log(icon::kInfo, "", "SMS Forwading is enabled");
}

StartupPrompts::FolderAnswer HeadlessPrompts::folderWithoutDataFiles(const std::string& folder)
{
    if (!m_ctx.outbox.database.empty()) {
        if (!m_createOutbox) {
            m_message = "The " + folder + " holds no outbox (add --create-outbox to create it)";
            return FolderAnswer::End;
        }
        store::db server(m_ctx.clock, m_ctx.pump);
        server.setFilename(m_ctx.outbox.database);
        std::string errorText;
        if (!server.OpenDatabase(store::mode::kReadWriteShared) || !store::CreatePgStore(server, errorText)) {
            m_message
                = "Could not create the outbox in the " + folder + ": " + server.LastError() + errorText;
            return FolderAnswer::End;
        }
        return FolderAnswer::Ready;
    }
    if (!m_createOutbox) {
        m_message = "Folder does not contain the data files: " + folder
            + " (add --create-outbox to create them from the templates)";
        return FolderAnswer::End;
    }
    std::string errorText;
    std::string errorLines;
    CreateFolderPath(folder);
    if (!store::CreateOutbox(folder, m_ctx.outbox.templateFolder, errorText, errorLines)
        || !FolderHasDataFiles(folder)) {
        m_message = "Could not create the outbox in " + folder + ": " + errorText + errorLines;
        return FolderAnswer::End;
    }
    return FolderAnswer::Ready;
}

std::optional<std::string> HeadlessPrompts::createOutbox()
{
    m_message = "No data folder is set. Give one with --data-folder DIR (add --create-outbox to create the "
                "databases there), or run the setup wizard in the window.";
    return std::nullopt;
}

void ShutDown(Context& ctx)
{
    MarkConsoleRowStopped(ctx);
    Trap(ctx.app, [&] {
        if (ctx.modem)
            ctx.modem->ClosePort();
    });
    ctx.modem.reset();
    Trap(ctx.app, [&] {
        if (ctx.outbox.handle)
            ctx.outbox.handle->CloseDatabase();
    });
    ctx.outbox.handle.reset();
    // Values given for this run only are not written back over the stored ones.
    std::string folder = ctx.DataFolder;
    if (ctx.overrides.dataFolder)
        folder = ctx.settings.get("Setup", "DataFolder").value_or("");
    Trap(ctx.app, [&] { ctx.app.SaveEnviroment(ctx.config, folder); });
}

} // namespace vesk::core
