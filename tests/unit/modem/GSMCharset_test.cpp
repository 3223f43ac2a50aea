#include "modem/GSMCharset.h"

#include <gtest/gtest.h>

using namespace vesk::modem;

TEST(Gsm7, EmptyTextStaysEmpty)
{
    EXPECT_EQ(ToGSMCharset(""), "");
    EXPECT_EQ(GSMLength(""), 0);
}
