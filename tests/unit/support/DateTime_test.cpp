#include "support/DateTime.h"

#include <gtest/gtest.h>

#include <optional>

using vesk::DateTime;
using vesk::Format;
using vesk::ParseDateTime;

TEST(DateTime, FormatsEveryPatternTheConsoleWrites)
{
    const DateTime t = DateTime::fromParts(2026, 3, 5, 14, 7, 9); // a Thursday
    const std::pair<const char*, const char*> cases[] = {{"dd/mmm/yyyy hh:nn:ss", "05/Mar/2026 14:07:09"},
        {"dd/mmm/yy hh:nn:ss", "05/Mar/26 14:07:09"}, {"dd/mmm/yyyy", "05/Mar/2026"},
        {"dd mmm hh:nn", "05 Mar 14:07"}, {"dd.mm hh:nn:ss", "05.03 14:07:09"}, {"hh:nn", "14:07"},
        {"HH:NN", "14:07"}, {"hh:nn dd Mmm yyyy", "14:07 05 Mar 2026"}, {"dddd", "Thursday"},
        {"Dd/MMM/YYYY", "05/Mar/2026"}, {"d/m/yy h:n:s", "5/3/26 14:7:9"}, {"mmmm ddd", "March Thu"}};
    for (const auto& [pattern, expected] : cases) {
        SCOPED_TRACE(pattern);
        EXPECT_EQ(Format(t, pattern), expected);
    }
}

TEST(DateTime, ArithmeticDaysFormAndTheZeroDate)
{
    const DateTime t = DateTime::fromParts(2026, 12, 31, 23, 59, 30);
    EXPECT_EQ(Format(t.addSeconds(30), "dd/mmm/yyyy hh:nn:ss"), "01/Jan/2027 00:00:00");
    EXPECT_EQ(Format(DateTime::fromParts(2024, 2, 28).addDays(1), "dd/mm"), "29/02");
    EXPECT_EQ(Format(DateTime::fromParts(2023, 2, 28).addDays(1), "dd/mm"), "01/03");
    EXPECT_EQ(Format(DateTime::fromParts(2026, 3, 5, 22, 30).addHours(3), "hh:nn dddd"), "01:30 Friday");
    EXPECT_EQ(vesk::SecondsBetween(t, t.addMinutes(5)), 300);
    EXPECT_EQ(t.dateOnly(), DateTime::fromParts(2026, 12, 31));

    const DateTime noon = DateTime::fromParts(2026, 3, 5, 12, 0, 0);
    EXPECT_DOUBLE_EQ(noon.days(), 46086.5);
    EXPECT_EQ(DateTime::fromDays(46086.5), noon);
    EXPECT_TRUE(DateTime::fromDays(1e300).isZero());
    // The zero date means "none".
    EXPECT_EQ(DateTime::fromParts(1899, 12, 30), DateTime());
    EXPECT_EQ(Format(DateTime(), "dd/mmm/yyyy hh:nn:ss"), "30/Dec/1899 00:00:00");
}

TEST(DateTime, ParsesTheFormsItWritesAndStoresReadBackAndNothingElse)
{
    const DateTime want = DateTime::fromParts(2026, 3, 5, 14, 7, 9);
    const std::optional<DateTime> none;
    const std::pair<const char*, std::optional<DateTime>> cases[]
        = {{"05/Mar/2026 14:07:09", want}, {"5/mar/26 14:07:09", want}, {"2026-03-05 14:07:09", want},
            {"2026-03-05T14:07:09", want}, {"#05/Mar/2026 14:07:09#", want}, {"05/03/2026 2:07:09 PM", want},
            {"05/Mar/2026", DateTime::fromParts(2026, 3, 5)},
            {"14:07", DateTime().addSeconds(14 * 3600 + 7 * 60)},
            {"01/01/99", DateTime::fromParts(1999, 1, 1)}, {"", none}, {"hello", none}, {"31/Feb/2026", none},
            {"2026-13-01", none}, {"05/Mar/2026 25:00:00", none}, {"12", none}, {"1:2:3:4:5", none},
            {"99999999999/1/1", none}, {"05/Mar/2026 14:07 xyz", none}};
    for (const auto& [text, parsed] : cases) {
        SCOPED_TRACE(text);
        EXPECT_EQ(ParseDateTime(text), parsed);
    }
}
