#pragma once

#include <string>

namespace vesk::core {
class SettingsStore;
struct RunOverrides;
} // namespace vesk::core

namespace vesk::ui {

// True when a window can be shown: a display server is named, or Qt is told which platform to use.
bool HasDisplay();

// Runs the console with its main window until the window unloads; the process exit code.
int RunConsoleWindow(int& argc, char** argv, core::SettingsStore& settings, const std::string& commandLine,
    const core::RunOverrides& overrides);

} // namespace vesk::ui
