#include "core/AppLog.h"
#include "core/ConsoleView.h"
#include "core/HeadlessView.h"

#include "FakeClock.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

using namespace vesk::core;

namespace {

// A list view that keeps what it shows, measured in one pixel per character.
class ListView final : public LogListView, public TextMeasure
{
public:
    void lineAdded(const LogLine& line) override { rows.insert(rows.begin(), line.text); }
    void oldestRemoved() override { rows.pop_back(); }
    void cleared() override { rows.clear(); }
    int columnCount() const override { return 3; }
    int columnWidth(int c) const override { return widths[static_cast<std::size_t>(c)]; }
    void setColumnWidth(int c, int w) override { widths[static_cast<std::size_t>(c)] = w; }
    int listWidth() const override { return width; }
    int textWidth(std::string_view text) const override { return static_cast<int>(text.size()); }

    std::vector<std::string> rows;
    std::vector<int> widths {0, 0, 0};
    int width = 300;
};

} // namespace

TEST(AppLog, LongTextWidensTheInfoColumnAndResizeDoesNotShrinkIt)
{
    vesk::testing::FakeClock clock;
    AppLog log(clock);
    ListView view;
    log.Form(&view);
    log.Control(&view);
    EXPECT_EQ(view.widths[0], 13 + 20); // "wdd.Www 00:00" and its margin
    EXPECT_EQ(view.widths[1], 15); // a 15-character international number
    EXPECT_EQ(view.widths[2], 300 - 33 - 15 - 22);

    log.Log(1, "", std::string(400, 'x'));
    EXPECT_EQ(view.widths[2], 416); // beyond the list: it scrolls sideways
    view.width = 600;
    log.AutoSizeLastColumn();
    EXPECT_EQ(view.widths[2], 600 - 48 - 22);
    view.width = 200;
    log.AutoSizeLastColumn();
    EXPECT_EQ(view.widths[2], 600 - 48 - 22) << "a narrower window leaves it as it is";
}

TEST(HeadlessView, PrintsTimeLevelAddressAndText)
{
    vesk::testing::FakeClock clock(vesk::DateTime::fromParts(2026, 3, 5, 14, 7, 0));
    std::ostringstream out;
    HeadlessView view(out);
    AppLog log(clock);
    log.Control(&view);
    log.Log(10, "+15550123", "Hello there");
    log.Log(3, "", "Could not open port");
    log.Log(42, "", "odd icon");
    EXPECT_EQ(out.str(),
        "05 Mar 14:07  inbound +15550123       Hello there\n"
        "05 Mar 14:07  error                   Could not open port\n"
        "05 Mar 14:07  [42]                    odd icon\n");
}

TEST(HeadlessView, ForTheJournalStartsWithThePriorityAndLeavesTheTimeOut)
{
    struct Case
    {
        int icon;
        const char* line;
    };
    constexpr Case kCases[] = {
        {3, "<3>error                   text\n"},
        {2, "<4>warn                    text\n"},
        {8, "<4>failed                  text\n"},
        {1, "<6>info                    text\n"},
        {5, "<6>send                    text\n"},
        {42, "<7>[42]                    text\n"},
    };
    vesk::testing::FakeClock clock(vesk::DateTime::fromParts(2026, 3, 5, 14, 7, 0));
    for (const auto& c : kCases) {
        SCOPED_TRACE(c.icon);
        std::ostringstream out;
        HeadlessView view(out, true);
        AppLog log(clock);
        log.Control(&view);
        log.Log(c.icon, "", "text");
        EXPECT_EQ(out.str(), c.line);
    }
}
