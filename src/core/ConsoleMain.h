#pragma once

#include "core/Context.h"

#include <string>

namespace vesk::core {

class SettingsStore;

// What the command line asked for; both console programs read it the same way.
struct ConsoleOptions
{
    enum class Action { Run, Help, Version, CheckConfig, Refused };
    Action action = Action::Run;
    bool headless = false;
    bool createOutbox = false;
    RunOverrides overrides;
    std::string metricsFile;
    std::string commandLine; // lower-cased, for the start-up switches
    std::string message; // why the command line was refused
};

ConsoleOptions ParseConsoleOptions(int argc, char** argv, const std::string& program);

// The window front end, for the program that has one.
class WindowFrontEnd
{
public:
    virtual ~WindowFrontEnd() = default;
    virtual bool available() const = 0;
    virtual int run(int& argc, char** argv, SettingsStore& settings, const ConsoleOptions& options) = 0;
};

// The whole console program: options, the single-instance lock, then the window (when one is
// given and can be shown) or the headless engine. Returns the exit code.
int ConsoleMain(int argc, char** argv, const std::string& program, WindowFrontEnd* window);

} // namespace vesk::core
