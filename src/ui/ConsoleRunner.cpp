#include "ui/ConsoleRunner.h"

#include "core/Context.h"
#include "core/Engine.h"
#include "core/Startup.h"
#include "support/Clock.h"
#include "support/Platform.h"
#include "ui/QtEventPump.h"
#include "ui/SignalWatcher.h"
#include "ui/WindowPrompts.h"
#include "ui/frmConfigNew.h"
#include "ui/frmMain.h"

#include <QApplication>

#include <cstdlib>

namespace vesk::ui {

bool HasDisplay()
{
    const auto set = [](const char* name) {
        const char* value = std::getenv(name);
        return value && *value;
    };
    return set("DISPLAY") || set("WAYLAND_DISPLAY") || set("QT_QPA_PLATFORM");
}

int RunConsoleWindow(int& argc, char** argv, core::SettingsStore& settings, const std::string& commandLine,
    const core::RunOverrides& overrides)
{
    SignalWatcher signals_; // before QApplication starts any thread
    QApplication application(argc, argv);
    application.setQuitOnLastWindowClosed(false);
    SystemClock clock;
    QtEventPump pump;
    core::Context ctx(clock, pump, settings, ProgramFolder());
    ctx.commandLine = commandLine;
    ctx.overrides = overrides;
    int result = 0;
    {
        frmMain window(ctx);
        window.attach();
        window.setConfigureDialog([&ctx](QWidget& owner) {
            frmConfigNew dialog(ctx, &owner);
            dialog.exec();
            return frmMain::ConfigureResult {dialog.IsDirty(), dialog.IsModemDirty()};
        });
        WindowPrompts prompts(ctx, window);
        if (core::Main(ctx, prompts) != core::StartResult::Running)
            return 0; // start-up ended before the console ran: nothing to save
        // The window may have been closed while start-up was still running.
        if (!ctx.stopRequested) {
            QObject::connect(&window, &frmMain::unloaded, &application, &QApplication::quit);
            QObject::connect(
                &signals_, &SignalWatcher::stopRequested, &window, [&window] { window.Unload(); });
            QObject::connect(
                &signals_, &SignalWatcher::pauseRequested, &window, [&ctx] { core::TogglePause(ctx); });
            signals_.watch();
            window.startTimer();
            result = application.exec();
        }
    }
    core::ShutDown(ctx);
    return result;
}

} // namespace vesk::ui
