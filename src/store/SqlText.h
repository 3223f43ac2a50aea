#pragma once

#include "support/DateTime.h"

#include <cstddef>
#include <string>
#include <string_view>

namespace vesk::store {

// Pieces of the statements the console builds as text.
std::string Quote(std::string_view text); // inner apostrophes doubled, no quotes around
std::string DateLiteral(DateTime t); // "#dd/mmm/yyyy hh:nn:ss#"
std::string BoolLiteral(bool v); // "TRUE" or "FALSE"
// The text between two marks, as "'" + text + "'".
std::string Enclosed(std::string_view mark, std::string_view text);
// The first n characters of a UTF-8 text; never splits a character.
std::string Left(std::string_view text, std::size_t n);
// The last n characters of a UTF-8 text.
std::string Right(std::string_view text, std::size_t n);

} // namespace vesk::store
