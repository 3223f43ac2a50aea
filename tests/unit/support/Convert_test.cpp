#include "support/Convert.h"

#include <gtest/gtest.h>

using namespace vesk;

TEST(LenientValues, NullAndJunkNeverRaise)
{
    EXPECT_EQ(TextOf(std::nullopt), "");
    EXPECT_EQ(TextOf(DbValue("O'Brien #1")), "O'Brien #1");
    EXPECT_EQ(IntOf(std::nullopt), 0);
    EXPECT_EQ(IntOf(DbValue("abc")), 0);
    EXPECT_EQ(IntOf(DbValue("42")), 42);
    EXPECT_EQ(IntOf(DbValue("99999")), 0);
    EXPECT_EQ(IntOfDefault(std::nullopt, -1), -1);
    EXPECT_EQ(IntOfDefault(DbValue("5"), -1), 5);
    EXPECT_TRUE(DateOf(std::nullopt).isZero());
    EXPECT_TRUE(DateOf(DbValue("not a date")).isZero());
    EXPECT_EQ(DateOf(DbValue("2026-03-05 14:07:09")), DateTime::fromParts(2026, 3, 5, 14, 7, 9));
    EXPECT_FALSE(BoolOf(std::nullopt));
    EXPECT_TRUE(BoolOf(DbValue("1")));
    EXPECT_TRUE(BoolOf(DbValue("-1")));
    EXPECT_FALSE(BoolOf(DbValue("0")));
}

TEST(SettingConversions, StrictWhereTheStoreHoldsJunk)
{
    EXPECT_EQ(ToInt16("3"), 3);
    EXPECT_EQ(ToInt16(" 2.5 "), 2); // half to even
    EXPECT_EQ(ToInt16("3.5"), 4);
    EXPECT_FALSE(ToInt16("3 hours"));
    EXPECT_FALSE(ToInt16("40000"));
    EXPECT_EQ(ToByte("2"), 2);
    EXPECT_FALSE(ToByte("-1"));
    EXPECT_FALSE(ToByte("256"));
    EXPECT_EQ(ToSingle(".5"), 0.5f);
    EXPECT_FALSE(ToSingle("fast"));
    EXPECT_EQ(ToBool("0"), false);
    EXPECT_EQ(ToBool("1"), true);
    EXPECT_EQ(ToBool("7"), true);
    EXPECT_EQ(ToBool("True"), true);
    EXPECT_FALSE(ToBool("yes"));
    EXPECT_FALSE(ToBool(""));
}

TEST(SettingConversions, LeadingNumberStopsAtTheFirstNonDigit)
{
    EXPECT_EQ(LeadingNumber("15 seconds"), 15);
    EXPECT_EQ(LeadingNumber("soon"), 0);
    EXPECT_EQ(LeadingNumber(" 2.5x"), 2.5);
    EXPECT_EQ(LeadingNumber("5.6.0.8820"), 5.6);
    EXPECT_EQ(LeadingNumber(""), 0);
}
