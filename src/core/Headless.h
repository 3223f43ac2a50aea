#pragma once

#include "core/ConsoleWindow.h"
#include "support/EventPump.h"

#include <chrono>

namespace vesk::core {

struct Context;

class ServiceMonitor;

// The console without a window: a one-second timer, and SIGTERM/SIGINT (stop in order), SIGUSR1
// (pause or resume) and SIGHUP (reload the settings after the pass) read through a signal
// descriptor, so no handler state is global.
class HeadlessConsole final : public ConsoleWindow, public EventPump
{
public:
    HeadlessConsole();
    ~HeadlessConsole() override;
    HeadlessConsole(const HeadlessConsole&) = delete;
    HeadlessConsole& operator=(const HeadlessConsole&) = delete;

    void attach(Context& ctx) { m_ctx = &ctx; }
    // The service side hears every tick and signal level.
    void attach(ServiceMonitor& monitor) { m_monitor = &monitor; }
    // Ticks until the console is told to stop; returns when it has stopped running passes.
    void run();

    // EventPump: signals are taken and a due tick fires (it does nothing while a pass runs).
    void runPending() override;

    // ConsoleWindow: nothing to show.
    void Signal(int percent) override;
    void EnableAllButtons(bool) override { }
    void showPaused(bool) override { }
    void refresh() override { }
    void Unload() override;

private:
    void takeSignals(int waitMs);
    void tick();

    Context* m_ctx = nullptr;
    ServiceMonitor* m_monitor = nullptr;
    bool m_reloadRequested = false;
    int m_signalFd = -1;
    std::chrono::steady_clock::time_point m_nextTick;
};

} // namespace vesk::core
