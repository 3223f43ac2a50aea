#pragma once

#include <string>

class QWidget;

namespace vesk {
class Clock;
class EventPump;
} // namespace vesk

namespace vesk::ui {

// A chosen folder that already holds data files: asks whether to keep them; fresh files get the
// old settings, inbox, rules and address book imported, with the import status on screen.
// Returns true when the files were rebuilt.
bool RebuildDataFolder(QWidget* parent, const std::string& folder, const std::string& templateFolder,
    Clock& clock, EventPump& pump);

} // namespace vesk::ui
