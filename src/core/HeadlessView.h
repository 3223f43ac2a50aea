#pragma once

#include "core/ConsoleView.h"

#include <ostream>

namespace vesk::core {

// The console without a window: each activity-log line goes to a stream as it is logged;
// the status bar has nowhere to show and stays silent.
class HeadlessView final : public StatusView, public LogListView
{
public:
    explicit HeadlessView(std::ostream& out)
        : m_out(out)
    {
    }

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
};

} // namespace vesk::core
