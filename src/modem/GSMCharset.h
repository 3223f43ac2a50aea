#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The bridge between the console's text (UTF-8) and the GSM 7-bit default alphabet.
namespace vesk::modem {

// The text as alphabet codes, one byte per septet (0 to 127 for every character the alphabet
// knows): "@" "£" "$" get their alphabet codes, the nine extension characters become the escape
// code 27 followed by their extension code, "_" becomes "-". Any other character keeps its own
// code, of which the packing keeps the low seven bits (a character above 255 keeps its low byte).
std::string ToGSMCharset(std::string_view text);

// Septets the text will take once converted: one per character, two per extension character.
// Saturates at 32767.
std::int16_t GSMLength(std::string_view text);

// True for the nine characters that need the escape code: € [ ] ^ { } ~ | and backslash.
bool IsGSMExtension(char32_t ch);
// The same test on the first character of a UTF-8 text (false for the empty text).
bool IsGSMExtension(std::string_view character);

// Takes one character from the front of a non-empty UTF-8 text. A byte that does not start a
// well-formed sequence stands for itself.
char32_t TakeCharacter(std::string_view& text);

// Character-wise helpers for cutting texts where lengths are counted in characters, not bytes.
// A byte that does not start a valid UTF-8 sequence counts as one character of its own.
std::size_t characterCount(std::string_view text);
// The first `count` characters of the text (all of it when it is shorter).
std::string_view leadingCharacters(std::string_view text, std::size_t count);

} // namespace vesk::modem
