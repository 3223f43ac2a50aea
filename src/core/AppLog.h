#pragma once

#include "support/DateTime.h"

#include <cstddef>
#include <deque>
#include <string>

namespace vesk {
class Clock;
}

namespace vesk::core {

class LogListView;
class TextMeasure;

struct LogLine
{
    DateTime time;
    int icon = 0;
    std::string address;
    std::string text;

    std::string timeText() const; // "dd mmm hh:nn"
};

// The activity log: on screen only, at most 500 lines, newest first.
class AppLog
{
public:
    static constexpr std::size_t kMaxLines = 500;

    explicit AppLog(const Clock& clock)
        : m_clock(clock)
    {
    }

    void Form(const TextMeasure* measure) { m_measure = measure; }
    void Control(LogListView* list);
    void AutoSizeLastColumn();
    void SmallIcons() { } // icons are the view's business; the number travels with each line
    void Log(int icon, const std::string& address, const std::string& text);
    void Clear();

    const std::deque<LogLine>& lines() const { return m_lines; } // newest first
    int lastColumnWidth() const { return m_lastColumnWidth; }
    int widestText() const { return m_widestText; }

private:
    const Clock& m_clock;
    std::deque<LogLine> m_lines;
    const TextMeasure* m_measure = nullptr;
    LogListView* m_list = nullptr;
    int m_columnCount = 0;
    int m_lastColumnWidth = 0;
    int m_widestText = 0;
};

} // namespace vesk::core
