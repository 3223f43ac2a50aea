#pragma once

#include "support/DateTime.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesk {

// A value as it comes out of a database column: absent for NULL, else its text.
using DbValue = std::optional<std::string>;

// Lenient reading of database values: NULL or junk never raises.
std::string TextOf(const DbValue& v); // NULL gives ""
std::int16_t IntOf(const DbValue& v); // NULL or unconvertible gives 0
std::int16_t IntOfDefault(const DbValue& v, std::int16_t fallback); // NULL gives the fallback
std::int32_t LongOf(const DbValue& v); // counts; NULL or junk gives 0
// Row ids are 64-bit from the database to the window; NULL or junk gives 0.
using RowId = std::int64_t;
RowId RowIdOf(const DbValue& v);
DateTime DateOf(const DbValue& v); // NULL or unconvertible gives the zero date
bool BoolOf(const DbValue& v); // NULL or unconvertible gives false

// Strict conversions of settings text; nullopt where the text does not convert.
std::optional<double> ToNumber(std::string_view text); // whole text a decimal number (blanks around allowed)
std::optional<std::int16_t> ToInt16(std::string_view text); // rounded half to even, range checked
std::optional<std::uint8_t> ToByte(std::string_view text);
std::optional<float> ToSingle(std::string_view text);
std::optional<bool> ToBool(std::string_view text); // "0" false, other numbers true, "True"/"False"

// The leading number of a text: "12abc" is 12, "abc" is 0, " 2.5" is 2.5.
double LeadingNumber(std::string_view text);

// Number text forms written to settings and SQL.
std::string NumberText(double v); // shortest form, "2", "0.5", "-1"
std::string NumberTextNoLeadingZero(double v); // as above but ".5" for half
std::string BoolText(bool v); // "1" or "0"

// Text helpers used across the console.
std::string Trim(std::string_view s);
std::string ToLower(std::string_view s);
std::string ToUpper(std::string_view s);
bool EqualsNoCase(std::string_view a, std::string_view b);
std::string ReplaceAll(std::string text, std::string_view from, std::string_view to);
// Control characters shown as escapes ("\\n", "\\x1b"), so a text stays on one line and cannot
// steer a terminal; the C1 controls of UTF-8 too.
std::string EscapeControls(std::string_view text);

// "{APP}" and "{SUITE}" in window texts.
inline constexpr std::string_view kAppTitle = "Quillon Vesk Console";
inline constexpr std::string_view kSuiteTitle = "Quillon Business";
std::string ReplacePlaceholders(std::string text);

} // namespace vesk
