// What the operator sees of the application: its modes on the status bar and its log lines.
#include "core/AppLog.h"
#include "core/ConsoleApp.h"
#include "core/ConsoleView.h"
#include "core/HeadlessView.h"
#include "core/SettingsStore.h"

#include "FakeClock.h"
#include "TempDir.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

using namespace vesk::core;

namespace {

// What the operator would see on the status bar.
class StatusBar final : public StatusView
{
public:
    void setPanelText(int panel, const std::string& text) override { panels[panel] = text; }
    void setModeIcon(int) override { }
    void refreshStatus() override { }
    void showSignal(int) override { }

    std::map<int, std::string> panels;
};

class ConsoleAppTest : public ::testing::Test
{
protected:
    ConsoleAppTest() { app.setView(&bar); }

    vesk::testing::TempDir dir;
    vesk::testing::FakeClock clock;
    SettingsStore settings {dir.file("s.conf")};
    ConsoleApp app {clock, settings};
    StatusBar bar;
};

} // namespace

TEST_F(ConsoleAppTest, OnlyIdleCountsAsIdle)
{
    EXPECT_EQ(app.mode(), mode::kInitialising);
    app.setMode(mode::kTimerPass);
    EXPECT_FALSE(app.IsIdle());
    EXPECT_FALSE(app.AppPause()) << "a pass is running";
    app.setMode(mode::kIdle);
    EXPECT_TRUE(app.IsIdle());
    EXPECT_TRUE(app.AppPause());
    EXPECT_TRUE(app.IsPaused());
    EXPECT_EQ(bar.panels[2], "Idle") << "pausing leaves the redraw to the caller";
    EXPECT_FALSE(app.AppPause());
    EXPECT_TRUE(app.AppResume());
    EXPECT_TRUE(app.IsIdle());
    EXPECT_FALSE(app.AppResume());
}

TEST_F(ConsoleAppTest, NestedAndGuardedModesAndFeedbackReturnToTheFirst)
{
    app.setMode(mode::kIdle);
    app.setFeedback("ready");
    app.PushMode(mode::kBusy, "Reading messages");
    EXPECT_EQ(bar.panels[3], "Reading messages");
    app.PushMode(mode::kSending, "Sending 3");
    EXPECT_EQ(app.mode(), mode::kSending);
    app.PopMode();
    EXPECT_EQ(app.mode(), mode::kBusy);
    EXPECT_EQ(app.Feedback(), "Reading messages");
    app.PopMode();
    EXPECT_EQ(app.mode(), mode::kIdle);
    EXPECT_EQ(app.Feedback(), "ready");
    EXPECT_EQ(bar.panels[3], "ready");

    app.PopMode(); // empty stack: nothing changes
    EXPECT_EQ(app.mode(), mode::kIdle);
    EXPECT_EQ(app.Feedback(), "ready");

    // Pushed feedback is shown but not stored.
    app.PushFeedback("Updating friendly name cache from address book...");
    EXPECT_EQ(bar.panels[3], "Updating friendly name cache from address book...");
    EXPECT_EQ(app.Feedback(), "ready");
    app.PopFeedback();
    EXPECT_EQ(bar.panels[3], "ready");
    app.PopFeedback(); // empty: nothing happens
    EXPECT_EQ(app.Feedback(), "ready");

    // A guarded mode is popped on every way out.
    try {
        ModeGuard busy {app, mode::kBusy, "working"};
        throw 1;
    } catch (int) {
    }
    EXPECT_EQ(app.mode(), mode::kIdle);
    EXPECT_EQ(app.Feedback(), "ready");
}

// Each line as a terminal shows it, and for the journal: its priority first and no time.
TEST(HeadlessView, PrintsTimeLevelAddressAndTextOrThePriorityForTheJournal)
{
    struct Case
    {
        int icon;
        const char* address;
        const char* priority;
        const char* line; // after the time or the priority
    };
    constexpr Case kCases[] = {
        {10, "+15550123", "<6>", "inbound +15550123       text\n"},
        {3, "", "<3>", "error                   text\n"},
        {2, "", "<4>", "warn                    text\n"},
        {8, "", "<4>", "failed                  text\n"},
        {1, "", "<6>", "info                    text\n"},
        {5, "", "<6>", "send                    text\n"},
        {42, "", "<7>", "[42]                    text\n"},
    };
    vesk::testing::FakeClock clock(vesk::DateTime::fromParts(2026, 3, 5, 14, 7, 0));
    for (const auto& c : kCases) {
        for (const bool journal : {false, true}) {
            SCOPED_TRACE(std::to_string(c.icon) + (journal ? " journal" : " terminal"));
            std::ostringstream out;
            HeadlessView view(out, journal);
            AppLog log(clock);
            log.Control(&view);
            log.Log(c.icon, c.address, "text");
            EXPECT_EQ(out.str(), (journal ? c.priority : "05 Mar 14:07  ") + std::string(c.line));
        }
    }
}
