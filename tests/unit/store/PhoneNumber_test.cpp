#include "store/PhoneNumber.h"
#include "store/SqlText.h"

#include <gtest/gtest.h>

namespace vesk::store {
namespace {

TEST(PhoneNumber, AcceptsOnlyPlusAndDigits)
{
    const std::pair<std::string, NumberProblem> cases[] = {{"+447700900123", NumberProblem::None},
        {"  +447700900123 ", NumberProblem::None}, {"", NumberProblem::Empty}, {" + ", NumberProblem::Empty},
        {"07700900123", NumberProblem::NoPlus}, {"+44 7700 900123", NumberProblem::BadCharacter},
        {"+44-7700", NumberProblem::BadCharacter}, {"+4477009001x", NumberProblem::BadCharacter},
        {"++44", NumberProblem::BadCharacter}, {"+٤٤", NumberProblem::BadCharacter}};
    for (const auto& [number, problem] : cases) {
        SCOPED_TRACE(number);
        EXPECT_EQ(CheckInternationalNumber(number), problem);
    }
}

// Right-hand cuts of a modem's id and quoting are read back from real outboxes in the store suites.
TEST(SqlText, CutsByCharactersNeverSplittingOne)
{
    EXPECT_EQ(Left("héllo wörld", 5), "héllo");
    EXPECT_EQ(Left("✓✓✓", 2), "✓✓");
    EXPECT_EQ(Left("abc", 10), "abc");
    EXPECT_EQ(Right("ab", 7), "ab");
}

} // namespace
} // namespace vesk::store
