#include "store/PhoneNumber.h"

#include "support/Convert.h"

namespace vesk::store {

NumberProblem CheckInternationalNumber(std::string_view number)
{
    const std::string n = Trim(number);
    if (n.empty() || n == "+")
        return NumberProblem::Empty;
    if (n.front() != '+')
        return NumberProblem::NoPlus;
    for (std::size_t i = 1; i < n.size(); ++i)
        if (n[i] < '0' || n[i] > '9')
            return NumberProblem::BadCharacter;
    return NumberProblem::None;
}

std::string NumberProblemText(NumberProblem problem)
{
    switch (problem) {
    case NumberProblem::Empty:
        return "You must provide the phone number associated with the SIM card";
    case NumberProblem::NoPlus:
        return "You must enter the phone numbers is the following format:\n+<CountryCode><AreaCode><Number>";
    case NumberProblem::BadCharacter:
        return "Invalid Number. Not in format +<Country><AreaCode><Number>";
    case NumberProblem::None:
        break;
    }
    return "";
}

} // namespace vesk::store
