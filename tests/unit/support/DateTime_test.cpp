#include "support/DateTime.h"

#include <gtest/gtest.h>

using vesk::DateTime;
using vesk::Format;

TEST(DateTime, ZeroDateIsThirtiethOfDecember1899)
{
    const DateTime zero;
    EXPECT_TRUE(zero.isZero());
    EXPECT_EQ(Format(zero, "dd/mmm/yyyy hh:nn:ss"), "30/Dec/1899 00:00:00");
    EXPECT_EQ(DateTime::fromParts(1899, 12, 30), zero);
}
