#pragma once

#include "core/CConfig.h"
#include "core/ConsoleApp.h"
#include "support/DateTime.h"

#include <string>

namespace vesk {
class Clock;
class EventPump;
} // namespace vesk

namespace vesk::core {

class SettingsStore;

// Everything that lives from start-up to shutdown. main owns one; tests build as many as they
// need (two consoles sharing one outbox are two contexts).
struct Context
{
    Context(Clock& clock, EventPump& pump, SettingsStore& settings)
        : clock(clock)
        , pump(pump)
        , settings(settings)
        , app(clock, settings)
    {
    }

    Clock& clock;
    EventPump& pump;
    SettingsStore& settings;
    ConsoleApp app;
    CConfig config;
    std::string DataFolder;
    std::string commandLine; // lower-cased, for the start-up switches
    DateTime EndTime; // zero unless the console stops by itself
    int MaxMessageSize = 160;
    std::string AgentIMEI;
};

// "V.1.2.3"
std::string VersionText();

} // namespace vesk::core
