#include "core/ConsoleMain.h"

#include "core/Headless.h"
#include "core/HeadlessView.h"
#include "core/ServiceMonitor.h"
#include "core/SettingsCheck.h"
#include "core/SettingsStore.h"
#include "core/Startup.h"
#include "support/Convert.h"
#include "support/Platform.h"

#include <iostream>
#include <unistd.h>

namespace vesk::core {
namespace {

void printHelp(const std::string& program, bool window)
{
    std::cout
        << "Usage: " << program << " [options] [/wizard] [/resetnamecache] [/resetmailactive]\n"
        << (window ? "  --headless          run without a window; the activity log goes to standard output\n"
                   : "  --headless          accepted; this program never opens a window\n")
        << "  --data-folder DIR   use the databases in DIR for this run\n"
           "  --create-outbox     create the databases from the templates when DIR has none\n"
           "  --database CONNINFO use the PostgreSQL database named by this libpq connection\n"
           "                      string (postgresql://... or key=value) for this run\n"
           "  --port DEVICE       use this serial device for this run (no modem search)\n"
           "  --metrics-file PATH keep the figures in PATH in the Prometheus text format\n"
           "  --check-config      read the settings file strictly, say what is wrong (line\n"
           "                      and key) and exit 1 when it would not load; use before a reload\n"
           "  --help              show this text\n"
           "  --version           show the version\n"
           "SIGTERM or SIGINT stop the console in order; SIGUSR1 pauses or resumes it;\n"
           "SIGHUP reloads the settings file after the current pass.\n"
           "The settings file is named by VESK_SETTINGS, else\n"
           "$XDG_CONFIG_HOME/Quillon/Quillon Vesk Console.conf.\n";
}

int runHeadless(const std::string& program, SettingsStore& settings, const ConsoleOptions& options)
{
    // Without a window nothing is configured here: the settings file is only read.
    settings.setReadOnly(true);
    HeadlessConsole front;
    HeadlessView writer(std::cout, HeadlessView::IsJournalStream(STDOUT_FILENO));
    ServiceMonitor monitor(writer, writer);
    WatchedClock clock(monitor);
    Context ctx(clock, front, settings, ProgramFolder());
    ctx.commandLine = options.commandLine;
    ctx.overrides = options.overrides;
    ctx.figures.kind = "service";
    ctx.app.setView(&monitor);
    ctx.app.log().Control(&monitor);
    ctx.window = &front;
    front.attach(ctx);
    front.attach(monitor);

    HeadlessPrompts prompts(ctx, options.createOutbox);
    if (Main(ctx, prompts) != StartResult::Running) {
        if (prompts.message().empty())
            return 0;
        std::cerr << program << ": " << prompts.message() << '\n';
        return 2;
    }
    monitor.configure(ctx, options.metricsFile);
    monitor.ready();
    front.run();
    ShutDown(ctx);
    monitor.stopped();
    return 0;
}

} // namespace

ConsoleOptions ParseConsoleOptions(int argc, char** argv, const std::string& program)
{
    ConsoleOptions o;
    for (int i = 1; i < argc && o.action == ConsoleOptions::Action::Run; ++i) {
        const std::string arg = argv[i];
        o.commandLine += (o.commandLine.empty() ? "" : " ") + arg;
        // A connection string may hold a password: it stays out of the command line text.
        const auto value = [&](bool secret = false) -> std::optional<std::string> {
            if (i + 1 >= argc) {
                o.action = ConsoleOptions::Action::Refused;
                o.message = program + ": " + arg + " needs a value (see --help)";
                return std::nullopt;
            }
            if (!secret)
                o.commandLine += std::string(" ") + argv[i + 1];
            return std::string(argv[++i]);
        };
        if (arg == "--help" || arg == "-h") {
            o.action = ConsoleOptions::Action::Help;
        } else if (arg == "--version") {
            o.action = ConsoleOptions::Action::Version;
        } else if (arg == "--check-config") {
            o.action = ConsoleOptions::Action::CheckConfig;
        } else if (arg == "--headless") {
            o.headless = true;
        } else if (arg == "--create-outbox") {
            o.createOutbox = true;
        } else if (arg == "--data-folder") {
            if (auto v = value())
                o.overrides.dataFolder = *v;
        } else if (arg == "--database") {
            if (auto v = value(true))
                o.overrides.database = *v;
        } else if (arg == "--port") {
            if (auto v = value())
                o.overrides.port = *v;
        } else if (arg == "--metrics-file") {
            if (auto v = value())
                o.metricsFile = *v;
        } else if (arg.rfind("/", 0) != 0) {
            o.action = ConsoleOptions::Action::Refused;
            o.message = program + ": unknown option " + arg + " (see --help)";
        }
    }
    o.commandLine = ToLower(o.commandLine);
    return o;
}

int ConsoleMain(int argc, char** argv, const std::string& program, WindowFrontEnd* window)
{
    const ConsoleOptions options = ParseConsoleOptions(argc, argv, program);
    switch (options.action) {
    case ConsoleOptions::Action::Help:
        printHelp(program, window != nullptr);
        return 0;
    case ConsoleOptions::Action::Version:
        std::cout << program << ' ' << VersionText() << '\n';
        return 0;
    case ConsoleOptions::Action::Refused:
        std::cerr << options.message << '\n';
        return 2;
    case ConsoleOptions::Action::CheckConfig:
    case ConsoleOptions::Action::Run:
        break;
    }

    const std::string settingsPath = SettingsStore::DefaultPath();
    if (settingsPath.empty()) {
        std::cerr << program
                  << ": no home folder for the settings file: set HOME (or XDG_CONFIG_HOME, or VESK_SETTINGS "
                     "to the file)\n";
        return 2;
    }
    if (options.action == ConsoleOptions::Action::CheckConfig)
        return CheckSettingsCommand(settingsPath, std::cout);
    SettingsStore settings(settingsPath);
    SingleInstanceLock instance(settings.path());
    if (!instance.acquired()) {
        std::cerr << program << ": " << instance.error() << '\n';
        return 1;
    }
    if (window && !options.headless && window->available())
        return window->run(argc, argv, settings, options);
    return runHeadless(program, settings, options);
}

} // namespace vesk::core
