#pragma once

namespace vesk::core {

// What the engine asks of the main window beyond the status bar: the signal bar, the buttons
// and the automatic stop. The headless front end implements it without a window.
class ConsoleWindow
{
public:
    virtual ~ConsoleWindow() = default;
    virtual void Signal(int percent) = 0;
    virtual void EnableAllButtons(bool enabled) = 0;
    // Pause button caption and tool tip, Configure and Send Test usable only while paused.
    virtual void showPaused(bool paused) = 0;
    // Let the window show what changed (the headless front end has nothing to redraw).
    virtual void refresh() = 0;
    // The automatic stop: the window unloads, which shuts the console down.
    virtual void Unload() = 0;
};

} // namespace vesk::core
