#pragma once

#include "core/ConsoleView.h"

#include <ostream>

namespace vesk::core {

// The console without a window: each activity-log line goes to a stream as it is logged;
// the status bar has nowhere to show and stays silent. Written for the journal, a line starts
// with its syslog priority and leaves the time stamp to the journal.
class HeadlessView final : public StatusView, public LogListView
{
public:
    explicit HeadlessView(std::ostream& out, bool journal = false)
        : m_out(out)
        , m_journal(journal)
    {
    }

    // True when the descriptor is the stream the service manager named in $JOURNAL_STREAM.
    static bool IsJournalStream(int fd);
    // "<3>" errors, "<4>" warnings and failures, "<6>" the rest of the activity, "<7>" unknown.
    static std::string SyslogPrefix(int icon);

    void setPanelText(int, const std::string&) override { }
    void setModeIcon(int) override { }
    void refreshStatus() override { }
    void showSignal(int) override { }

    void lineAdded(const LogLine& line) override;
    void oldestRemoved() override { }
    void cleared() override { }
    int columnCount() const override { return 3; }
    int columnWidth(int) const override { return 0; }
    void setColumnWidth(int, int) override { }
    int listWidth() const override { return 0; }

    static std::string LevelName(int icon);

private:
    std::ostream& m_out;
    bool m_journal;
};

} // namespace vesk::core
