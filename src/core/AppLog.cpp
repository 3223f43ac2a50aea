#include "core/AppLog.h"

#include "core/ConsoleView.h"
#include "support/Clock.h"
#include "support/Convert.h"

#include <algorithm>

namespace vesk::core {
namespace {

constexpr int kTimeMargin = 20; // pixels after the widest time stamp
constexpr int kTextMargin = 16; // pixels after an Info text
constexpr int kScrollBarRoom = 22; // vertical scroll bar and borders

} // namespace

std::string LogLine::timeText() const
{
    return Format(time, "dd mmm hh:nn");
}

void AppLog::Control(LogListView* list)
{
    m_list = list;
    if (!m_list)
        return;
    m_columnCount = m_list->columnCount();
    if (m_measure && m_columnCount >= 3) {
        m_list->setColumnWidth(0, m_measure->textWidth("wdd.Www 00:00") + kTimeMargin);
        m_list->setColumnWidth(1, m_measure->textWidth("+00000000000000"));
    }
    AutoSizeLastColumn();
}

void AppLog::AutoSizeLastColumn()
{
    if (!m_list || m_columnCount < 1)
        return;
    int others = 0;
    for (int c = 0; c < m_columnCount - 1; ++c)
        others += m_list->columnWidth(c);
    const int last = m_columnCount - 1;
    const int lowerLimit = std::min(m_lastColumnWidth, m_widestText);
    const int free = m_list->listWidth() - others - kScrollBarRoom;
    if (free > lowerLimit)
        m_list->setColumnWidth(last, free);
    m_lastColumnWidth = m_list->columnWidth(last);
}

void AppLog::Log(int icon, const std::string& address, const std::string& text)
{
    // The oldest line goes before the new one arrives, so the list never holds more than 500.
    if (m_lines.size() >= kMaxLines) {
        m_lines.pop_back();
        if (m_list)
            m_list->oldestRemoved();
    }
    // Texts from the network and the outbox may hold line breaks or terminal escapes: one event
    // stays one line.
    m_lines.push_front(LogLine {m_clock.now(), icon, EscapeControls(address), EscapeControls(text)});
    if (m_list)
        m_list->lineAdded(m_lines.front());
    if (m_measure && m_list && m_columnCount > 0) {
        const int needed = m_measure->textWidth(m_lines.front().text) + kTextMargin;
        m_widestText = std::max(m_widestText, needed);
        if (needed > m_lastColumnWidth) {
            m_list->setColumnWidth(m_columnCount - 1, needed);
            m_lastColumnWidth = needed;
        }
    }
}

void AppLog::Clear()
{
    m_lines.clear();
    if (m_list)
        m_list->cleared();
}

} // namespace vesk::core
