#pragma once

#include "support/SteadyTime.h"

#include <cstdint>
#include <string>

namespace vesk::core {

struct Context;

// What this console tells the outbox's console table about itself, gathered as the engine works.
struct ConsoleFigures
{
    std::string kind = "window"; // "service" for the headless front end
    std::string model;
    std::string network;
    std::string registration;
    int signal = -1;
    std::int64_t started = 0;
    std::int64_t lastSend = 0;
    long received = 0;
    std::string rowId; // the row this console registered; empty until it did
    SteadyTime nextRow; // the row is refreshed by this time even without a pass
};

// Refreshes this console's row on the outbox handle, which the pass holds open. One statement
// that never waits: a busy outbox skips it.
void KeepConsoleRow(Context& ctx);
// Between passes (paused, or passes that do not open the outbox): refreshes the row once it is
// due, opening the outbox for that alone.
void KeepConsoleRowAlive(Context& ctx);
// On an orderly stop: the row says "stopped".
void MarkConsoleRowStopped(Context& ctx);

// The registration state as the console table keeps it.
std::string RegistrationText(int state);

} // namespace vesk::core
