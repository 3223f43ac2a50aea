#pragma once

#include <string>
#include <string_view>

namespace vesk::store {

// What is wrong with a number that should read "+" country code, area code, number.
enum class NumberProblem { None, Empty, NoPlus, BadCharacter };

NumberProblem CheckInternationalNumber(std::string_view number);
inline bool IsValidInternationalNumber(std::string_view number)
{
    return CheckInternationalNumber(number) == NumberProblem::None;
}
// The explanation shown to a user who typed the number; empty for a good one.
std::string NumberProblemText(NumberProblem problem);

} // namespace vesk::store
