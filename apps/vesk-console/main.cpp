// vesk-console: builds the context, picks the front end and runs the console.
#include "core/Context.h"
#include "core/Headless.h"
#include "core/HeadlessView.h"
#include "core/SettingsStore.h"
#include "core/Startup.h"
#include "support/Clock.h"
#include "support/Convert.h"
#include "support/Platform.h"
#include "ui/ConsoleRunner.h"

#include <iostream>
#include <string>

namespace {

void printHelp()
{
    std::cout << "Usage: vesk-console [options] [/wizard] [/resetnamecache] [/resetmailactive]\n"
                 "  --headless          run without a window; the activity log goes to standard output\n"
                 "  --data-folder DIR   use the databases in DIR for this run\n"
                 "  --create-outbox     create the databases from the templates when DIR has none\n"
                 "  --port DEVICE       use this serial device for this run (no modem search)\n"
                 "  --help              show this text\n"
                 "  --version           show the version\n"
                 "SIGTERM or SIGINT stop the console in order; SIGUSR1 pauses or resumes it.\n"
                 "The settings file is named by VESK_SETTINGS, else\n"
                 "$XDG_CONFIG_HOME/Quillon/Quillon Vesk Console.conf.\n";
}

} // namespace

int main(int argc, char** argv)
{
    using namespace vesk;
    std::string commandLine;
    core::RunOverrides overrides;
    bool createOutbox = false;
    bool headless = false;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        commandLine += (commandLine.empty() ? "" : " ") + arg;
        const auto value = [&](std::string& out) {
            if (i + 1 >= argc) {
                std::cerr << "vesk-console: " << arg << " needs a value (see --help)\n";
                return false;
            }
            out = argv[++i];
            commandLine += " " + out;
            return true;
        };
        std::string v;
        if (arg == "--help" || arg == "-h") {
            printHelp();
            return 0;
        } else if (arg == "--version") {
            std::cout << "vesk-console " << core::VersionText() << '\n';
            return 0;
        } else if (arg == "--headless") {
            headless = true;
        } else if (arg == "--create-outbox") {
            createOutbox = true;
        } else if (arg == "--data-folder") {
            if (!value(v))
                return 2;
            overrides.dataFolder = v;
        } else if (arg == "--port") {
            if (!value(v))
                return 2;
            overrides.port = v;
        } else if (arg.rfind("/", 0) != 0) {
            std::cerr << "vesk-console: unknown option " << arg << " (see --help)\n";
            return 2;
        }
    }

    const std::string settingsPath = core::SettingsStore::DefaultPath();
    if (settingsPath.empty()) {
        std::cerr << "vesk-console: no home folder for the settings file: set HOME (or XDG_CONFIG_HOME, "
                     "or VESK_SETTINGS to the file)\n";
        return 2;
    }
    core::SettingsStore settings(settingsPath);
    SingleInstanceLock instance(settings.path());
    if (!instance.acquired()) {
        std::cerr << "vesk-console: " << instance.error() << '\n';
        return 1;
    }

    if (!headless && ui::HasDisplay())
        return ui::RunConsoleWindow(argc, argv, settings, ToLower(commandLine), overrides);

    SystemClock clock;
    core::HeadlessConsole front;
    core::Context ctx(clock, front, settings, ProgramFolder());
    ctx.commandLine = ToLower(commandLine);
    ctx.overrides = overrides;
    core::HeadlessView view(std::cout);
    ctx.app.setView(&view);
    ctx.app.log().Control(&view);
    ctx.window = &front;
    front.attach(ctx);

    core::HeadlessPrompts prompts(ctx, createOutbox);
    if (core::Main(ctx, prompts) != core::StartResult::Running) {
        if (prompts.message().empty())
            return 0;
        std::cerr << "vesk-console: " << prompts.message() << '\n';
        return 2;
    }
    front.run();
    core::ShutDown(ctx);
    return 0;
}
