#pragma once

#include "core/ConsoleWindow.h"
#include "support/EventPump.h"

#include <chrono>

namespace vesk::core {

struct Context;

// The console without a window: a one-second timer, and SIGTERM/SIGINT (stop in order) and
// SIGUSR1 (pause or resume) read through a signal descriptor, so no handler state is global.
class HeadlessConsole final : public ConsoleWindow, public EventPump
{
public:
    HeadlessConsole();
    ~HeadlessConsole() override;
    HeadlessConsole(const HeadlessConsole&) = delete;
    HeadlessConsole& operator=(const HeadlessConsole&) = delete;

    void attach(Context& ctx) { m_ctx = &ctx; }
    // Ticks until the console is told to stop; returns when it has stopped running passes.
    void run();

    // EventPump: signals are taken and a due tick fires (it does nothing while a pass runs).
    void runPending() override;

    // ConsoleWindow: nothing to show.
    void Signal(int) override { }
    void EnableAllButtons(bool) override { }
    void showPaused(bool) override { }
    void refresh() override { }
    void Unload() override;

private:
    void takeSignals(int waitMs);

    Context* m_ctx = nullptr;
    int m_signalFd = -1;
    std::chrono::steady_clock::time_point m_nextTick;
};

} // namespace vesk::core
