#include "support/Convert.h"

#include <gtest/gtest.h>

#include <optional>

using namespace vesk;

TEST(LenientValues, NullAndJunkNeverRaise)
{
    for (const auto& [value, number] :
        {std::pair<DbValue, int> {std::nullopt, 0}, {"abc", 0}, {"42", 42}, {"99999", 0}})
        EXPECT_EQ(IntOf(value), number) << value.value_or("NULL");
    EXPECT_EQ(IntOfDefault(std::nullopt, -1), -1);
    EXPECT_EQ(IntOfDefault(DbValue("5"), -1), 5);
    EXPECT_TRUE(DateOf(std::nullopt).isZero());
    EXPECT_TRUE(DateOf(DbValue("not a date")).isZero());
    EXPECT_EQ(DateOf(DbValue("2026-03-05 14:07:09")), DateTime::fromParts(2026, 3, 5, 14, 7, 9));
    for (const auto& [value, flag] :
        {std::pair<DbValue, bool> {std::nullopt, false}, {"1", true}, {"-1", true}, {"0", false}})
        EXPECT_EQ(BoolOf(value), flag) << value.value_or("NULL");
}

TEST(SettingConversions, StrictWhereTheStoreHoldsJunk)
{
    // Halves round to even; out of range or trailing text is refused.
    for (const auto& [text, number] : {std::pair<const char*, std::optional<int>> {"3", 3}, {" 2.5 ", 2},
             {"3.5", 4}, {"3 hours", std::nullopt}, {"40000", std::nullopt}})
        EXPECT_EQ(ToInt16(text), number) << text;
    EXPECT_EQ(ToByte("2"), 2);
    EXPECT_FALSE(ToByte("-1"));
    EXPECT_FALSE(ToByte("256"));
    EXPECT_EQ(ToSingle(".5"), 0.5f);
    EXPECT_FALSE(ToSingle("fast"));
    for (const auto& [text, flag] : {std::pair<const char*, std::optional<bool>> {"0", false}, {"1", true},
             {"7", true}, {"True", true}, {"yes", std::nullopt}, {"", std::nullopt}})
        EXPECT_EQ(ToBool(text), flag) << text;
}

TEST(SettingConversions, LeadingNumberStopsAtTheFirstNonDigit)
{
    for (const auto& [text, number] : {std::pair<const char*, double> {"15 seconds", 15}, {"soon", 0},
             {" 2.5x", 2.5}, {"5.6.0.8820", 5.6}, {"", 0}})
        EXPECT_EQ(LeadingNumber(text), number) << text;
}
