#include "core/AppLog.h"
#include "core/HeadlessView.h"

#include "FakeClock.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace vesk::core;

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
