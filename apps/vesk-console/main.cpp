// vesk-console: builds the context, picks the front end and runs the console.
#include "core/Context.h"
#include "core/HeadlessView.h"
#include "core/SettingsStore.h"
#include "support/Clock.h"
#include "support/Convert.h"
#include "support/EventPump.h"
#include "support/Platform.h"

#include <cstring>
#include <iostream>
#include <string>

namespace {

void printHelp()
{
    std::cout << "Usage: vesk-console [options]\n"
                 "  --headless   run without a window; the activity log goes to standard output\n"
                 "  --help       show this text\n"
                 "  --version    show the version\n"
                 "The settings file is named by VESK_SETTINGS, else\n"
                 "$XDG_CONFIG_HOME/Quillon/Quillon Vesk Console.conf.\n";
}

} // namespace

int main(int argc, char** argv)
{
    using namespace vesk;
    std::string commandLine;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            printHelp();
            return 0;
        }
        if (arg == "--version") {
            std::cout << "vesk-console " << core::VersionText() << '\n';
            return 0;
        }
        if (arg != "--headless" && arg.rfind("/", 0) != 0) {
            std::cerr << "vesk-console: unknown option " << arg << " (see --help)\n";
            return 2;
        }
        commandLine += (commandLine.empty() ? "" : " ") + arg;
    }

    core::SettingsStore settings(core::SettingsStore::DefaultPath());
    SingleInstanceLock instance(settings.path());
    if (!instance.acquired()) {
        std::cerr << "vesk-console: another console is already running with the settings file "
                  << settings.path() << '\n';
        return 1;
    }

    SystemClock clock;
    NullPump pump;
    core::Context ctx(clock, pump, settings);
    ctx.commandLine = ToLower(commandLine);
    core::HeadlessView view(std::cout);
    ctx.app.setView(&view);
    ctx.app.log().Control(&view);

    ctx.app.LoadEnvironment(ctx.config, ctx.DataFolder);
    SetAppPriority(ctx.config.AppPriority);
    ctx.app.setMode(core::mode::kInitialising);
    ctx.app.Log(icon::kInfo, "", "Application started " + core::VersionText());

    // Shut down in order: the settings are written back before the process ends.
    ctx.app.setMode(core::mode::kStopping);
    ctx.app.SaveEnviroment(ctx.config, ctx.DataFolder);
    return 0;
}
