#pragma once

#include <string>

namespace vesk::modem {

// Where the port search shows its progress: the main window's status bar, or nothing.
class StatusDisplay
{
public:
    virtual ~StatusDisplay() = default;
    virtual void SetPanelText(int panel, const std::string& text) = 0; // panels count from 1
    virtual void Refresh() = 0;
};

} // namespace vesk::modem
