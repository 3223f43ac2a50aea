#pragma once

#include <string>
#include <string_view>

namespace vesk::core {

struct LogLine;

// The window side of the application object: status-bar panels, mode icon and signal bar.
// Panels by number: 1 mode icon, 2 mode text, 3 feedback, 4 queue size.
class StatusView
{
public:
    virtual ~StatusView() = default;
    virtual void setPanelText(int panel, const std::string& text) = 0;
    virtual void setModeIcon(int image) = 0; // 1-based image of the mode image list
    virtual void refreshStatus() = 0;
    virtual void showSignal(int percent) = 0; // -1 when unknown
};

// The list that shows the activity log, newest line at the top. Widths are in pixels.
class LogListView
{
public:
    virtual ~LogListView() = default;
    virtual void lineAdded(const LogLine& line) = 0; // inserted at the top, scrolled into view
    virtual void oldestRemoved() = 0;
    virtual void cleared() = 0;
    virtual int columnCount() const = 0;
    virtual int columnWidth(int column) const = 0; // 0-based
    virtual void setColumnWidth(int column, int width) = 0;
    virtual int listWidth() const = 0;
};

// Measures text in the window's current font.
class TextMeasure
{
public:
    virtual ~TextMeasure() = default;
    virtual int textWidth(std::string_view text) const = 0;
};

} // namespace vesk::core
